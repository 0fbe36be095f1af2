#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/registry.h"
#include "platform/tempfile.h"
#include "tdkit/audio/acm.h"
#include "tdkit/audio/record.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/paths.h"

namespace {

// Signal-to-noise ratio of a copy against its reference, 16-bit samples, in dB.
double SnrDb(const QByteArray& reference, const QByteArray& copy) {
    const qsizetype n = std::min(reference.size(), copy.size()) / 2;
    double signal = 0, noise = 0;
    for (qsizetype i = 0; i < n; ++i) {
        int16_t a, b;
        std::memcpy(&a, reference.constData() + 2 * i, 2);
        std::memcpy(&b, copy.constData() + 2 * i, 2);
        signal += double(a) * a;
        noise += double(a - b) * (a - b);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

// A progress display that asks to stop after a number of pieces.
class StopAfter : public CACMProgress {
public:
    StopAfter(int pieces, std::vector<int>* positions) : left_(pieces), positions_(positions) {}
    void SetPos(int percent) override { positions_->push_back(percent); }
    bool Cancelled() override { return left_ >= 0 && --left_ <= 0; }

private:
    int left_;
    std::vector<int>* positions_;
};

class Acm : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        CACM::SetProgressFactory({});
        CACM::SetOfferQuestion({});
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    static void Run(const QString& program, const QStringList& args) {
        ASSERT_EQ(QProcess::execute(program, args), 0) << program.toStdString();
    }
    // Spoken English at 8000 Hz, 16-bit mono.
    QString Speech() {
        const QString raw = Path("speech22.wav"), speech = Path("speech.wav");
        if (!QFile::exists(speech)) {
            Run("espeak-ng", {"-w", raw,
                              "Recordings are compressed before mailing. Imported "
                              "sounds are converted to the recorder's format."});
            Run("sox", {raw, "-r", "8000", "-b", "16", speech});
        }
        return speech;
    }
    // A file's sound as sox decodes it, 16-bit samples at its own rate and channels.
    QByteArray Decoded(const QString& path) {
        const QString raw = Path("decoded.raw");
        Run("sox", {path, "-t", "raw", "-e", "signed", "-b", "16", raw});
        QFile f(raw);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QString Soxi(const QString& what, const QString& path) {
        QProcess p;
        p.start("sox", {"--i", what, path});
        p.waitForFinished(30000);
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }
    // Entries of the folder other than the named ones.
    QStringList Others(const QString& folder, const QStringList& known) {
        QStringList names =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& k : known)
            names.removeAll(k);
        return names;
    }
    QStringList TempFiles() {
        const auto temp = PrivateTempDirectory();
        return temp ? QDir(*temp).entryList({"TMP*"}, QDir::Files) : QStringList();
    }

    QTemporaryDir dir;
};

TEST_F(Acm, RoundTripsKeepSpeechAboveTheirNoiseFloor) {
    const QString speech = Speech();
    const QByteArray original = Decoded(speech);
    const WaveFormatBytes pcm = MakePcmFormat(1, 8000, 16);
    struct Case {
        WORD tag;
        double floorDb;
    };
    // Measured on this speech: ADPCM about 20 dB (sox's own encoder about 21 dB), GSM 6.10
    // about 11 dB (a speech coder keeps the sound more than the waveform). The floors sit
    // 2 dB below; a wrong channel order, a lost block or a shifted sample drops far lower.
    for (const Case& c : {Case{WAVE_FORMAT_ADPCM, 18.0}, Case{WAVE_FORMAT_GSM610, 9.0}}) {
        const QString packed = Path(QStringLiteral("packed%1.wav").arg(c.tag));
        const QString back = Path(QStringLiteral("back%1.wav").arg(c.tag));
        const WaveFormatBytes target = MakeCodecFormat(c.tag, 1, 8000);
        CACM acm;
        ASSERT_EQ(acm.ConvertFileFormat(speech, packed, AsFormat(target)), 1)
            << acm.LastError().toStdString();
        const CACMFormatPtr written = CACM::GetFormatFromFile(packed);
        ASSERT_TRUE(written);
        EXPECT_EQ(std::memcmp(written.get(), target.data(), target.size()), 0);
        ASSERT_EQ(acm.ConvertFileFormat(packed, back, AsFormat(pcm)), 1)
            << acm.LastError().toStdString();
        const QByteArray copy = Decoded(back);
        // ADPCM keeps the length to a frame; GSM fills its last 320-frame block.
        if (c.tag == WAVE_FORMAT_ADPCM)
            EXPECT_NEAR(copy.size(), original.size(), 2);
        else
            EXPECT_EQ(copy.size(), (original.size() / 2 + 319) / 320 * 320 * 2);
        const double snr = SnrDb(original, copy);
        RecordProperty(c.tag == WAVE_FORMAT_ADPCM ? "adpcm_snr_db" : "gsm_snr_db",
                       std::to_string(snr));
        EXPECT_GT(snr, c.floorDb) << "tag " << c.tag;
        // sox reads what was written, to the same sound.
        EXPECT_GT(SnrDb(copy, Decoded(packed)), 35.0);
    }
}

TEST_F(Acm, FilesWrittenBySoxConvertThroughEveryPath) {
    const QString speech = Speech();
    const QByteArray original = Decoded(speech);
    const QStringList before = TempFiles();
    for (const char* encoding : {"ms-adpcm", "gsm-full-rate"}) {
        const QString in = Path(QStringLiteral("sox-%1.wav").arg(encoding));
        Run("sox", {speech, "-e", encoding, in});
        // Same shape: one step.
        const QString pcm = Path("pcm.wav");
        CACM acm;
        ASSERT_EQ(acm.ConvertFileFormat(in, pcm, AsFormat(MakePcmFormat(1, 8000, 16))), 1);
        EXPECT_GT(SnrDb(Decoded(in), Decoded(pcm)), 40.0) << encoding;
        // Another rate and width: through 16-bit PCM in a temporary file.
        const QString radio = Path("radio.wav");
        ASSERT_EQ(acm.ConvertFileFormat(in, radio, AsFormat(MakePcmFormat(2, 11025, 8))), 1)
            << acm.LastError().toStdString();
        EXPECT_EQ(Soxi("-r", radio), "11025");
        EXPECT_EQ(Soxi("-c", radio), "2");
        EXPECT_EQ(Soxi("-b", radio), "8");
        EXPECT_NEAR(Soxi("-D", radio).toDouble(), Soxi("-D", in).toDouble(), 0.01);
    }
    // Between the two compressed formats: ADPCM at 22050 Hz stereo to GSM at 8000 Hz.
    const QString stereo = Path("stereo.wav"), gsm = Path("gsm.wav");
    Run("sox", {speech, "-r", "22050", "-c", "2", "-e", "ms-adpcm", stereo});
    CACM acm;
    ASSERT_EQ(
        acm.ConvertFileFormat(stereo, gsm, AsFormat(MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000))),
        1)
        << acm.LastError().toStdString();
    EXPECT_EQ(Soxi("-e", gsm), "GSM");
    EXPECT_NEAR(Soxi("-D", gsm).toDouble(), Soxi("-D", speech).toDouble(), 0.05);
    EXPECT_EQ(TempFiles(), before) << "intermediate files are removed";
}

TEST_F(Acm, ElevenKilohertzEightBitGoesThroughAnIntermediateFormat) {
    const QString radio = Path("am.wav");
    Run("sox", {Speech(), "-r", "11025", "-b", "8", radio});
    const WaveFormatBytes gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000);
    const CACMFormatPtr source = CACM::GetFormatFromFile(radio);
    ASSERT_TRUE(source);
    ASSERT_EQ(acmStreamOpen(nullptr, source.get(), AsFormat(gsm), ACM_STREAMOPENF_QUERY),
              ACMERR_NOTPOSSIBLE);
    const QStringList before = TempFiles();
    CACM acm;
    ASSERT_EQ(acm.ConvertFileFormat(radio, Path("gsm.wav"), AsFormat(gsm)), 1)
        << acm.LastError().toStdString();
    EXPECT_EQ(Soxi("-e", Path("gsm.wav")), "GSM");
    EXPECT_NEAR(Soxi("-D", Path("gsm.wav")).toDouble(), Soxi("-D", radio).toDouble(), 0.05);

    // Compression to TrueSpeech takes the same path; without an encoder it is not possible,
    // and says so.
    const int compressed = acm.CompressFile(radio, Path("ts.wav"));
    if (acmFormatTagEncodes(WAVE_FORMAT_DSPGROUP_TRUESPEECH)) {
        EXPECT_EQ(compressed, 1);
        alignas(WAVEFORMATEX) uint8_t want[50];
        const CACMFormatPtr written = CACM::GetFormatFromFile(Path("ts.wav"));
        ASSERT_TRUE(written);
        EXPECT_EQ(std::memcmp(written.get(), CACM::GetCompressFormat(want), 50), 0);
    } else {
        EXPECT_EQ(compressed, 0);
        EXPECT_TRUE(acm.LastError().contains("TrueSpeech")) << acm.LastError().toStdString();
        EXPECT_FALSE(QFile::exists(Path("ts.wav")));
    }
    EXPECT_EQ(TempFiles(), before);
    EXPECT_EQ(Others(dir.path(),
                     {"speech.wav", "speech22.wav", "am.wav", "gsm.wav", "ts.wav", "decoded.raw"}),
              QStringList());
}

TEST_F(Acm, TheSameFileIsNeverBothEnds) {
    const QString speech = Speech();
    QFile::copy(speech, Path("Memo.wav"));
    QFile f(Path("Memo.wav"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    const WaveFormatBytes pcm = MakePcmFormat(1, 11025, 8);
    CACM acm;
    EXPECT_EQ(acm.ConvertFileFormat(Path("Memo.wav"), Path("MEMO.WAV"), AsFormat(pcm)), 0);
    EXPECT_EQ(acm.ConvertFileFormat(Path("Memo.wav"), dir.path() + "/./Memo.wav", AsFormat(pcm)),
              0);
    ASSERT_EQ(::symlink(QFile::encodeName(Path("Memo.wav")).constData(),
                        QFile::encodeName(Path("link.wav")).constData()),
              0);
    EXPECT_EQ(acm.ConvertFileFormat(Path("Memo.wav"), Path("link.wav"), AsFormat(pcm)), 0);
    EXPECT_EQ(acm.CompressFile(Path("Memo.wav"), Path("memo.WAV")), 0);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == bytes);
    EXPECT_EQ(Others(dir.path(), {"speech.wav", "speech22.wav", "Memo.wav", "link.wav"}),
              QStringList());
}

TEST_F(Acm, CancelLeavesNeitherAPartialDestinationNorATemporaryFile) {
    const QString speech = Speech();
    const QString radio = Path("am.wav");
    Run("sox", {speech, "-r", "11025", "-b", "8", radio});
    // An older destination stays as it was.
    {
        QFile old(Path("out.wav"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    std::vector<int> positions;
    CACM::SetProgressFactory([&](QObject*) { return std::make_unique<StopAfter>(3, &positions); });
    QObject window;
    const QStringList before = TempFiles();
    const WaveFormatBytes gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000);
    CACM acm;
    EXPECT_EQ(acm.ConvertFileFormat(radio, Path("out.wav"), AsFormat(gsm), &window), 0);
    EXPECT_EQ(positions.size(), 4u);  // 0 at the start, then three pieces
    QFile old(Path("out.wav"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old contents");
    EXPECT_EQ(acm.ConvertFileFormat(radio, Path("new.wav"), AsFormat(gsm), &window), 0);
    EXPECT_FALSE(QFile::exists(Path("new.wav")));
    EXPECT_EQ(Others(dir.path(), {"speech.wav", "speech22.wav", "am.wav", "out.wav"}),
              QStringList());
    EXPECT_EQ(TempFiles(), before);

    // Not cancelled: the display runs from 0 to 100; without a window there is none.
    positions.clear();
    CACM::SetProgressFactory([&](QObject*) { return std::make_unique<StopAfter>(-1, &positions); });
    ASSERT_EQ(acm.ConvertFileFormat(speech, Path("out.wav"), AsFormat(gsm), &window), 1);
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_EQ(positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    positions.clear();
    ASSERT_EQ(acm.ConvertFileFormat(speech, Path("out.wav"), AsFormat(gsm)), 1);
    EXPECT_TRUE(positions.empty());
}

TEST_F(Acm, UnsupportedFormatsGetTheOfferAndDamagedOnesFail) {
    const QString speech = Speech();
    const QString ima = Path("ima.wav");
    Run("sox", {speech, "-e", "ima-adpcm", ima});
    int asked = 0;
    CACM::SetOfferQuestion([&](QObject*, const QString& caption, const QString& text) {
        ++asked;
        EXPECT_EQ(caption, "Format Not Supported");
        EXPECT_TRUE(text.startsWith("Tonedeck does not support the format of this file.\n"));
        return false;
    });
    const WaveFormatBytes pcm = MakePcmFormat(1, 8000, 16);
    CACM acm;
    EXPECT_EQ(acm.ConvertFileFormat(ima, Path("out.wav"), AsFormat(pcm)), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(acm.CompressFile(ima, Path("out.wav")), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(QFile::exists(Path("out.wav")));
    // The format of an unsupported file is still read, for the caller to decide on.
    const CACMFormatPtr imaFormat = CACM::GetFormatFromFile(ima);
    ASSERT_TRUE(imaFormat);
    EXPECT_EQ(imaFormat->wFormatTag, WAVE_FORMAT_IMA_ADPCM);

    // Damaged records, a FIFO and a directory fail without the offer.
    QFile f(speech);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray image = f.readAll();
    const qsizetype fmt = image.indexOf("fmt ") + 8;
    for (const auto& [offset, value] : {std::pair{2, 0}, std::pair{12, 0}, std::pair{4, 0xFF}}) {
        QByteArray bad = image;
        bad[fmt + offset] = char(value);
        if (offset == 4)
            bad[fmt + 7] = char(0xFF);  // about 4.3 billion samples a second
        QFile out(Path("bad.wav"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bad);
        out.close();
        EXPECT_EQ(acm.ConvertFileFormat(Path("bad.wav"), Path("out.wav"), AsFormat(pcm)), 0);
        EXPECT_EQ(CACM::GetFormatFromFile(Path("bad.wav")), nullptr);
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe.wav")).constData(), 0600), 0);
    EXPECT_EQ(acm.ConvertFileFormat(Path("pipe.wav"), Path("out.wav"), AsFormat(pcm)), 0);
    EXPECT_TRUE(acm.LastError().contains("not a regular file"));
    EXPECT_EQ(CACM::GetFormatFromFile(Path("pipe.wav")), nullptr);
    EXPECT_EQ(acm.ConvertFileFormat(dir.path(), Path("out.wav"), AsFormat(pcm)), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(QFile::exists(Path("out.wav")));
    // A destination that cannot be written leaves nothing either.
    EXPECT_EQ(acm.ConvertFileFormat(speech, Path("none/out.wav"), AsFormat(pcm)), 0);
}

TEST_F(Acm, FormatsReadFromFilesAreBoundedToTheLargestRecord) {
    const QString speech = Speech();
    DWORD size = 0;
    const CACMFormatPtr pcm = CACM::GetFormatFromFile(speech, &size);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(size, 50u);
    EXPECT_EQ(pcm->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm->cbSize, 0);
    Run("sox", {speech, "-e", "ms-adpcm", Path("adpcm.wav")});
    const CACMFormatPtr adpcm = CACM::GetFormatFromFile(Path("adpcm.wav"), &size);
    ASSERT_TRUE(adpcm);
    EXPECT_EQ(adpcm->cbSize, 32);
    EXPECT_EQ(adpcm->nBlockAlign, 256);
    EXPECT_EQ(CACM::GetFormatFromFile(Path("missing.wav")), nullptr);
    alignas(WAVEFORMATEX) uint8_t compress[50];
    const WAVEFORMATEX* c = CACM::GetCompressFormat(compress);
    EXPECT_EQ(c->wFormatTag, 34);
    EXPECT_EQ(c->nAvgBytesPerSec, 1067u);
    EXPECT_EQ(c->cbSize, 32);
    EXPECT_EQ(CACM::GetCompressFormatSize(), 50u);
}

TEST_F(Acm, TheRecorderImportsCompressedFilesDecoded) {
    const QString speech = Speech();
    const QString gsm = Path("gsm.wav");
    Run("sox", {speech, "-e", "gsm-full-rate", gsm});
    const QByteArray decoded = Decoded(gsm);
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_TELEPHONE, 600);
    DWORD frames = 0;
    ASSERT_EQ(rec.SamplesInFile(gsm, frames), 1);
    EXPECT_EQ(qsizetype(frames) * 2, decoded.size());
    // Appended to a 16-bit recording at 8000 Hz: the decoded samples follow its own.
    const QString dst = Path("work.wav");
    Run("sox", {"-n", "-r", "8000", "-b", "16", "-c", "1", dst, "trim", "0", "0.5"});
    ASSERT_EQ(rec.AppendFile(gsm, dst), 1);
    const QByteArray joined = Decoded(dst);
    ASSERT_EQ(joined.size(), 8000 + decoded.size());
    EXPECT_TRUE(joined.mid(8000) == decoded);
}

TEST_F(Acm, TrueSpeechFilesDecodeAndConvert) {
    // Three blocks of TrueSpeech (sox writes none): 720 frames of sound.
    alignas(WAVEFORMATEX) uint8_t format[50];
    CACM::GetCompressFormat(format);
    QByteArray data(96, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 37 + 11) & 0xFF);
    QByteArray image = "WAVEfmt " + QByteArray("\x32\0\0\0", 4) +
                       QByteArray(reinterpret_cast<const char*>(format), 50) + "data" +
                       QByteArray("\x60\0\0\0", 4) + data;
    const qsizetype size = image.size();
    image.prepend(QByteArray(reinterpret_cast<const char*>(&size), 4));
    image.prepend("RIFF");
    QFile f(Path("ts.wav"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();
    WaveFileError error;
    auto decoder = WaveDecoder::Open(Path("ts.wav"), &error);
    ASSERT_TRUE(decoder) << WaveFileErrorText(error);
    EXPECT_EQ(decoder->Frames(), 720);
    std::vector<char> pcm(4000);
    EXPECT_EQ(decoder->Read(pcm.data(), int64_t(pcm.size())), 1440);
    // To the recorder's AM radio format: through 16-bit PCM at 8000 Hz.
    CACM acm;
    ASSERT_EQ(
        acm.ConvertFileFormat(Path("ts.wav"), Path("am.wav"), AsFormat(MakePcmFormat(1, 11025, 8))),
        1)
        << acm.LastError().toStdString();
    EXPECT_EQ(Soxi("-r", Path("am.wav")), "11025");
    EXPECT_NEAR(Soxi("-s", Path("am.wav")).toInt(), 720 * 11025 / 8000, 2);
}

TEST_F(Acm, YesToTheOfferStartsTheSoundEditorWithTheFile) {
    qputenv("TONEDECK_REGISTRY_DIR", QFile::encodeName(dir.path()));
    const QString script = Path("editor.sh"), log = Path("editor.log");
    {
        QFile s(script);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > '%1.tmp'\n"
                               "mv '%1.tmp' '%1'\n")
                    .arg(log)
                    .toLocal8Bit());
        s.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    auto key = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kProductKey));
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetString("SoundEditor", script + " --import"));
    const QString ima = Path("odd name; $(x).wav");
    Run("sox", {Speech(), "-e", "ima-adpcm", ima});
    CACM::SetOfferQuestion([](QObject*, const QString&, const QString&) { return true; });
    CACM acm;
    EXPECT_EQ(acm.ConvertFileFormat(ima, Path("out.wav"), AsFormat(MakePcmFormat(1, 8000, 16))), 0);
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(log) && !deadline.hasExpired())
        QThread::msleep(20);
    QFile l(log);
    ASSERT_TRUE(l.open(QIODevice::ReadOnly));
    // One argument for the option, one for the path as it stands: no shell in between.
    EXPECT_EQ(QString::fromLocal8Bit(l.readAll()), "[--import]\n[" + ima + "]\n");
    EXPECT_FALSE(QFile::exists(Path("out.wav")));
    qunsetenv("TONEDECK_REGISTRY_DIR");
}

TEST_F(Acm, LengthsOfCompressedFilesCountTheFramesOfTheirBlocks) {
    const QString speech = Speech();
    // Speech padded to 7.5 seconds: every format must say 7, not 0 or the byte count's
    // idea of it.
    const QString longer = Path("longer.wav");
    Run("sox", {speech, longer, "pad", "0", QString::number(7.5 - Soxi("-D", speech).toDouble())});
    for (const char* encoding : {"signed-integer", "ms-adpcm", "gsm-full-rate"}) {
        const QString path = Path(QStringLiteral("len-%1.wav").arg(encoding));
        Run("sox", {longer, "-e", encoding, path});
        WAVEFILETYPE type;
        char description[64];
        DWORD seconds = 99;
        ASSERT_TRUE(
            GetInfoFromRIFFFile(path, type, description, sizeof description, seconds, nullptr))
            << encoding;
        EXPECT_EQ(seconds, 7u) << encoding;
    }
}

}  // namespace
