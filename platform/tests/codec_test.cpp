#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/audiobackend.h"
#include "platform/codec.h"
#include "platform/media.h"
#include "platform/message.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

QByteArray Le32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

// A WAV image with the given "fmt " chunk body and data.
QByteArray WavImage(const QByteArray& fmt, const QByteArray& data) {
    QByteArray body = "WAVEfmt " + Le32(fmt.size()) + fmt;
    if (fmt.size() & 1)
        body += '\0';
    body += "data" + Le32(data.size()) + data;
    return "RIFF" + Le32(body.size()) + body;
}

QByteArray FormatBytes(const WaveFormatBytes& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

WAVEFORMATEX Header(WORD tag, WORD channels, DWORD rate, WORD align, WORD bits, WORD extra = 0) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * align;
    f.nBlockAlign = align;
    f.wBitsPerSample = bits;
    f.cbSize = extra;
    return f;
}

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

class Codec : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        ASSERT_TRUE(dir.isValid());
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static void Run(const QString& program, const QStringList& args) {
        ASSERT_EQ(QProcess::execute(program, args), 0) << program.toStdString();
    }
    // Spoken English at 8000 Hz, 16-bit mono, and its samples.
    QString Speech() {
        const QString raw = Path("speech22.wav"), speech = Path("speech.wav");
        if (!QFile::exists(speech)) {
            Run("espeak-ng", {"-w", raw,
                              "Every sound plays, imports and converts, whatever "
                              "its codec. Seven silver swans swam south."});
            Run("sox", {raw, "-r", "8000", "-b", "16", speech});
        }
        return speech;
    }
    // The whole of a file's sound through the decoder.
    static QByteArray DecodeAll(const QString& path, WAVEFORMATEX* pcm = nullptr) {
        WaveFileError error;
        auto d = WaveDecoder::Open(path, &error);
        EXPECT_TRUE(d) << WaveFileErrorText(error);
        if (!d)
            return {};
        if (pcm)
            *pcm = d->PcmFormat();
        QByteArray all;
        std::vector<char> buffer(3001);  // not a whole number of frames on purpose
        for (;;) {
            const int64_t n = d->Read(buffer.data(), int64_t(buffer.size()));
            EXPECT_GE(n, 0);
            if (n <= 0)
                break;
            all.append(buffer.data(), qsizetype(n));
        }
        EXPECT_EQ(all.size(), d->Frames() * d->PcmFormat().nBlockAlign);
        return all;
    }
    // sox's own decoding of a file to raw 16-bit samples.
    QByteArray SoxDecode(const QString& path) {
        const QString raw = Path("sox.raw");
        Run("sox", {path, "-t", "raw", "-e", "signed", "-b", "16", raw});
        QFile f(raw);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    QTemporaryDir dir;
};

TEST_F(Codec, FormatRecordsOfEachCodec) {
    const WaveFormatBytes adpcm = MakeCodecFormat(WAVE_FORMAT_ADPCM, 1, 8000);
    ASSERT_EQ(adpcm.size(), 50u);
    const WAVEFORMATEX* a = AsFormat(adpcm);
    EXPECT_EQ(a->nBlockAlign, 256);
    EXPECT_EQ(a->wBitsPerSample, 4);
    EXPECT_EQ(adpcm[18] | adpcm[19] << 8, 500);  // samples per block
    EXPECT_EQ(adpcm[20], 7);                     // coefficient pairs
    EXPECT_EQ(AsFormat(MakeCodecFormat(WAVE_FORMAT_ADPCM, 2, 44100))->nBlockAlign, 2048);

    const WaveFormatBytes gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000);
    ASSERT_EQ(gsm.size(), 20u);
    EXPECT_EQ(AsFormat(gsm)->nBlockAlign, 65);
    EXPECT_EQ(AsFormat(gsm)->nAvgBytesPerSec, 1625u);
    EXPECT_TRUE(MakeCodecFormat(WAVE_FORMAT_GSM610, 2, 8000).empty());
    EXPECT_TRUE(MakeCodecFormat(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 11025).empty());
    EXPECT_TRUE(MakeCodecFormat(WAVE_FORMAT_IMA_ADPCM, 1, 8000).empty());

    // The compression format, byte for byte.
    const WaveFormatBytes ts = MakeCodecFormat(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000);
    const QByteArray want = QByteArray::fromHex(
                                "2200"
                                "0100"
                                "401f0000"
                                "2b040000"
                                "2000"
                                "0100"
                                "2000"
                                "0100"
                                "f000") +
                            QByteArray(28, '\0');
    EXPECT_EQ(FormatBytes(ts).toHex().toStdString(), want.toHex().toStdString());
    EXPECT_EQ(acmFormatMaxSize(), 50u);
    EXPECT_STREQ(acmFormatTagName(WAVE_FORMAT_IMA_ADPCM), "IMA ADPCM");
    EXPECT_STREQ(acmFormatTagName(WAVE_FORMAT_GSM610), "GSM 6.10");
}

TEST_F(Codec, FormatCheckBoundsEveryField) {
    auto valid = [](WAVEFORMATEX f, std::size_t size = sizeof(WAVEFORMATEX)) {
        return acmFormatValid(&f, size);
    };
    EXPECT_TRUE(valid(Header(1, 1, 8000, 1, 8)));
    EXPECT_TRUE(valid(Header(1, 2, 44100, 4, 16)));
    EXPECT_FALSE(valid(Header(1, 0, 8000, 1, 8)));   // no channels
    EXPECT_FALSE(valid(Header(1, 3, 8000, 3, 8)));   // three
    EXPECT_FALSE(valid(Header(1, 1, 8000, 0, 8)));   // no block
    EXPECT_FALSE(valid(Header(1, 1, 8000, 2, 8)));   // block not the frame
    EXPECT_FALSE(valid(Header(1, 1, 8000, 3, 24)));  // width
    EXPECT_TRUE(valid(Header(1, 1, 1000, 1, 8)));
    EXPECT_FALSE(valid(Header(1, 1, 999, 1, 8)));
    EXPECT_TRUE(valid(Header(1, 1, 192000, 1, 8)));
    EXPECT_FALSE(valid(Header(1, 1, 192001, 1, 8)));
    EXPECT_FALSE(valid(Header(1, 1, 0xFFFFFFFF, 1, 8)));
    // Compressed formats: their blocks, and extra bytes that must be there.
    EXPECT_TRUE(valid(Header(2, 1, 8000, 8, 4)));
    EXPECT_FALSE(valid(Header(2, 1, 8000, 7, 4)));   // a header and no sound
    EXPECT_FALSE(valid(Header(2, 2, 8000, 14, 4)));  // the same for two channels
    EXPECT_FALSE(valid(Header(2, 1, 8000, 256, 4, 32), 18 + 31));
    EXPECT_TRUE(valid(Header(2, 1, 8000, 256, 4, 32), 18 + 32));
    EXPECT_FALSE(valid(Header(2, 1, 8000, 256, 4), 16));  // no extra size field
    EXPECT_TRUE(valid(Header(49, 1, 8000, 65, 0)));
    EXPECT_FALSE(valid(Header(49, 1, 8000, 64, 0)));
    EXPECT_FALSE(valid(Header(49, 2, 8000, 65, 0)));
    EXPECT_TRUE(valid(Header(34, 1, 8000, 32, 1)));
    EXPECT_FALSE(valid(Header(34, 1, 8000, 0, 1)));
    EXPECT_FALSE(valid(Header(17, 1, 8000, 256, 4)));  // not a format of this layer
}

TEST_F(Codec, SuggestionsPairWithTheirSource) {
    std::vector<uint8_t> buffer(acmFormatMaxSize());
    auto* out = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    const WaveFormatBytes adpcm = MakeCodecFormat(WAVE_FORMAT_ADPCM, 2, 22050);
    // A compressed format suggests its own 16-bit PCM.
    ASSERT_EQ(acmFormatSuggest(AsFormat(adpcm), out, DWORD(buffer.size()), 0), MMSYSERR_NOERROR);
    EXPECT_EQ(out->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(out->nChannels, 2);
    EXPECT_EQ(out->nSamplesPerSec, 22050u);
    EXPECT_EQ(out->wBitsPerSample, 16);
    // The PCM that TrueSpeech pairs with.
    alignas(WAVEFORMATEX) uint8_t ts[50];
    std::memcpy(ts, MakeCodecFormat(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000).data(), 50);
    std::memset(out, 0, buffer.size());
    out->wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(reinterpret_cast<WAVEFORMATEX*>(ts), out, DWORD(buffer.size()),
                               ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(out->nSamplesPerSec, 8000u);
    EXPECT_EQ(out->nChannels, 1);
    EXPECT_EQ(out->wBitsPerSample, 16);
    // 8-bit PCM at 11025 Hz pairs with no GSM format; GSM at 8000 Hz pairs with 16-bit
    // PCM at 8000 Hz.
    const WaveFormatBytes pcm8 = MakePcmFormat(1, 11025, 8);
    out->wFormatTag = WAVE_FORMAT_GSM610;
    EXPECT_EQ(
        acmFormatSuggest(AsFormat(pcm8), out, DWORD(buffer.size()), ACM_FORMATSUGGESTF_WFORMATTAG),
        ACMERR_NOTPOSSIBLE);
    // Constraints hold, and an answer that does not fit the buffer is refused.
    const WaveFormatBytes pcm16 = MakePcmFormat(1, 11025, 16);
    out->wFormatTag = WAVE_FORMAT_ADPCM;
    EXPECT_EQ(acmFormatSuggest(AsFormat(pcm16), out, 49, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_INVALPARAM);
    out->wFormatTag = WAVE_FORMAT_ADPCM;
    out->nSamplesPerSec = 22050;
    EXPECT_EQ(acmFormatSuggest(AsFormat(pcm16), out, 50,
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
              ACMERR_NOTPOSSIBLE);
    out->wFormatTag = WAVE_FORMAT_ADPCM;
    ASSERT_EQ(acmFormatSuggest(AsFormat(pcm16), out, 50, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(out->nSamplesPerSec, 11025u);

    // Enumeration: what 16-bit PCM at 8000 Hz mono converts to in one step.
    const WaveFormatBytes phone = MakePcmFormat(1, 8000, 16);
    std::vector<WORD> tags;
    ASSERT_EQ(acmFormatEnum(AsFormat(phone), ACM_FORMATENUMF_CONVERT,
                            [&](const WAVEFORMATEX* f) {
                                if (f->wFormatTag != WAVE_FORMAT_PCM)
                                    tags.push_back(f->wFormatTag);
                                return true;
                            }),
              MMSYSERR_NOERROR);
    std::vector<WORD> want = {WAVE_FORMAT_ADPCM, WAVE_FORMAT_GSM610};
    if (acmFormatTagEncodes(WAVE_FORMAT_DSPGROUP_TRUESPEECH))
        want.push_back(WAVE_FORMAT_DSPGROUP_TRUESPEECH);
    EXPECT_EQ(tags, want);
}

TEST_F(Codec, StreamsOpenOnlyForOneStepConversions) {
    const WaveFormatBytes pcm16 = MakePcmFormat(1, 8000, 16), pcm8 = MakePcmFormat(1, 8000, 8),
                          pcm44 = MakePcmFormat(2, 44100, 16);
    const WaveFormatBytes adpcm = MakeCodecFormat(WAVE_FORMAT_ADPCM, 1, 8000),
                          gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000),
                          ts = MakeCodecFormat(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000);
    auto open = [](const WaveFormatBytes& a, const WaveFormatBytes& b) {
        return acmStreamOpen(nullptr, AsFormat(a), AsFormat(b), ACM_STREAMOPENF_QUERY);
    };
    EXPECT_EQ(open(pcm8, pcm44), MMSYSERR_NOERROR);
    EXPECT_EQ(open(pcm16, adpcm), MMSYSERR_NOERROR);
    EXPECT_EQ(open(gsm, pcm16), MMSYSERR_NOERROR);
    EXPECT_EQ(open(ts, pcm16), MMSYSERR_NOERROR);
    EXPECT_EQ(open(pcm8, adpcm), ACMERR_NOTPOSSIBLE);  // the codec takes 16 bits
    EXPECT_EQ(open(adpcm, pcm8), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(open(adpcm, pcm44), ACMERR_NOTPOSSIBLE);  // another rate
    EXPECT_EQ(open(adpcm, gsm), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(open(ts, gsm), ACMERR_NOTPOSSIBLE);
    if (!acmFormatTagEncodes(WAVE_FORMAT_DSPGROUP_TRUESPEECH)) {
        EXPECT_EQ(open(pcm16, ts), ACMERR_NOTPOSSIBLE);
        EXPECT_TRUE(acmLastErrorText().contains("TrueSpeech"));
    }
    WAVEFORMATEX ima = Header(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 256, 4);
    EXPECT_EQ(acmStreamOpen(nullptr, &ima, AsFormat(pcm16), ACM_STREAMOPENF_QUERY),
              ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX broken = Header(WAVE_FORMAT_PCM, 0, 8000, 1, 8);
    EXPECT_EQ(acmStreamOpen(nullptr, &broken, AsFormat(pcm16), ACM_STREAMOPENF_QUERY),
              WAVERR_BADFORMAT);
    HACMSTREAM s = nullptr;
    EXPECT_EQ(acmStreamOpen(&s, AsFormat(adpcm), AsFormat(gsm), 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(s, nullptr);
}

// Converts all of in through a stream, dstSize bytes of output per call.
QByteArray ConvertAll(const WaveFormatBytes& from, const WaveFormatBytes& to, const QByteArray& in,
                      DWORD piece, DWORD dstSize) {
    HACMSTREAM s = nullptr;
    EXPECT_EQ(acmStreamOpen(&s, AsFormat(from), AsFormat(to), 0), MMSYSERR_NOERROR);
    if (!s)
        return {};
    std::vector<uint8_t> out(dstSize);
    QByteArray result;
    qsizetype at = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        const DWORD n = DWORD(std::min<qsizetype>(piece, in.size() - at));
        const bool last = at + n >= in.size();
        ACMSTREAMHEADER h;
        h.pbSrc = reinterpret_cast<const BYTE*>(in.constData() + at);
        h.cbSrcLength = n;
        h.pbDst = out.data();
        h.cbDstLength = dstSize;
        EXPECT_EQ(acmStreamPrepareHeader(s, &h, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamConvert(s, &h, last ? ACM_STREAMCONVERTF_END : 0), MMSYSERR_NOERROR);
        result.append(reinterpret_cast<const char*>(out.data()), h.cbDstLengthUsed);
        at += h.cbSrcLengthUsed;
        if (last && h.cbSrcLengthUsed == n && h.cbDstLengthUsed == 0)
            break;
    }
    acmStreamClose(s, 0);
    return result;
}

TEST_F(Codec, OutputHeldBackWhenTheBufferIsSmallIsNeverLost) {
    QByteArray tone(8000 * 2, '\0');
    for (int i = 0; i < 8000; ++i) {
        const auto v = int16_t(9000 * std::sin(i * 0.07) + 3000 * std::sin(i * 0.9));
        tone[2 * i] = char(v & 0xFF);
        tone[2 * i + 1] = char((v >> 8) & 0xFF);
    }
    const WaveFormatBytes pcm = MakePcmFormat(1, 8000, 16);
    const WaveFormatBytes pcm11 = MakePcmFormat(2, 11025, 8);
    const WaveFormatBytes adpcm = MakeCodecFormat(WAVE_FORMAT_ADPCM, 1, 8000);
    const WaveFormatBytes gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000);
    for (const WaveFormatBytes* to : {&pcm11, &adpcm, &gsm}) {
        const QByteArray big = ConvertAll(pcm, *to, tone, 10000, 100000);
        const QByteArray small = ConvertAll(pcm, *to, tone, 4000, 7);
        EXPECT_FALSE(big.isEmpty());
        EXPECT_EQ(big, small) << AsFormat(*to)->wFormatTag;
    }
    // The rate change keeps the length, give or take a frame.
    const QByteArray up = ConvertAll(pcm, pcm11, tone, 10000, 100000);
    EXPECT_NEAR(double(up.size()) / 2, 8000.0 * 11025 / 8000, 2);
    // A last ADPCM block of a few frames is cut to those frames.
    const QByteArray part = ConvertAll(pcm, adpcm, tone.left(2 * 510), 10000, 100000);
    EXPECT_EQ(part.size(), 256 + 7 + 4);  // 500 frames, then 10: 2 in the header, 8 in 4 bytes
}

TEST_F(Codec, HeadersOfDamagedFilesAreRefusedOrBounded) {
    const QByteArray pcm = QByteArray::fromHex("01000100401f0000401f000001000800");
    WaveFileError error;
    auto info = [&](const QByteArray& image, WaveFileInfo* out = nullptr) {
        const QString path = Write("h.wav", image);
        std::FILE* f = OpenRegularFile(path, &error);
        EXPECT_TRUE(f);
        WaveFileInfo i;
        const WaveFileError e = ReadWaveFileInfo(f, &i, 50);
        std::fclose(f);
        if (out)
            *out = i;
        return e;
    };
    EXPECT_EQ(info(WavImage(pcm, "abcd")), WaveFileError::None);
    // The data size is cut to what the file holds.
    QByteArray longData = WavImage(pcm, "abcd");
    longData.replace(longData.size() - 8, 4, Le32(1000000));
    WaveFileInfo i;
    EXPECT_EQ(info(longData, &i), WaveFileError::None);
    EXPECT_EQ(i.dataSize, 4);
    // Extra bytes: never more than the chunk holds or the caller takes.
    WAVEFORMATEX adpcm = Header(2, 1, 8000, 256, 4, 60000);
    QByteArray fmt(reinterpret_cast<const char*>(&adpcm), 18);
    EXPECT_EQ(info(WavImage(fmt + QByteArray(40, 'x'), "d"), &i), WaveFileError::None);
    EXPECT_EQ(i.format.size(), 50u);
    EXPECT_EQ(AsFormat(i.format)->cbSize, 32);
    EXPECT_EQ(info(WavImage(fmt + QByteArray(10, 'x'), "d"), &i), WaveFileError::None);
    EXPECT_EQ(AsFormat(i.format)->cbSize, 10);
    // Zero channels, zero block alignment, an absurd rate.
    for (const WAVEFORMATEX& bad : {Header(1, 0, 8000, 1, 8), Header(1, 1, 8000, 0, 8),
                                    Header(1, 1, 0xFFFFFFFF, 1, 8), Header(49, 1, 8000, 0, 0)}) {
        const QByteArray f(reinterpret_cast<const char*>(&bad), 18);
        EXPECT_EQ(info(WavImage(f, "data")), WaveFileError::BadFormat);
    }
    // A short "fmt ", a missing "data", another form, another tag.
    EXPECT_EQ(info(WavImage(pcm.left(14), "data")), WaveFileError::BadFormat);
    EXPECT_EQ(info("RIFF" + Le32(28) + "WAVEfmt " + Le32(16) + pcm), WaveFileError::NotWave);
    EXPECT_EQ(info("RIFF" + Le32(4) + "AVI "), WaveFileError::NotWave);
    WAVEFORMATEX ima = Header(17, 1, 8000, 256, 4);
    EXPECT_EQ(info(WavImage(QByteArray(reinterpret_cast<const char*>(&ima), 18), "d")),
              WaveFileError::Unsupported);
}

// A FILE over an image in memory that counts the reads stdio makes of it.
struct CountedImage {
    QByteArray bytes;
    qint64 at = 0;
    int reads = 0;
};

std::FILE* OpenCounted(CountedImage& image) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, size_t size) -> ssize_t {
        auto* m = static_cast<CountedImage*>(c);
        ++m->reads;
        const qint64 n = std::clamp<qint64>(m->bytes.size() - m->at, 0, qint64(size));
        std::memcpy(buf, m->bytes.constData() + m->at, size_t(n));
        m->at += n;
        return n;
    };
    io.seek = [](void* c, off64_t* offset, int whence) {
        auto* m = static_cast<CountedImage*>(c);
        const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes.size();
        m->at = base + *offset;
        *offset = m->at;
        return 0;
    };
    return fopencookie(&image, "rb", io);
}

TEST_F(Codec, TheChunkWalkReadsHeadersInWindowsAndStopsAtJunk) {
    const QByteArray pcm = QByteArray::fromHex("01000100401f0000401f000001000800");
    auto info = [](CountedImage& image, WaveFileInfo& i) {
        std::FILE* f = OpenCounted(image);
        EXPECT_TRUE(f);
        const WaveFileError e = ReadWaveFileInfo(f, &i, 50);
        std::fclose(f);
        return e;
    };
    // Two thousand empty foreign chunks, one odd-sized with its pad, before the data: all
    // walked, in a handful of reads rather than one or more per header.
    QByteArray body = "WAVEfmt " + Le32(16) + pcm;
    for (int n = 0; n < 2000; ++n)
        body += "JUNK" + Le32(0);
    body += "odd " + Le32(3) + "xyz" + '\0';
    body += "data" + Le32(4) + "abcd";
    CountedImage many{"RIFF" + Le32(body.size()) + body};
    WaveFileInfo i;
    EXPECT_EQ(info(many, i), WaveFileError::None);
    EXPECT_EQ(i.dataOffset, many.bytes.size() - 4);
    EXPECT_EQ(i.dataSize, 4);
    EXPECT_LT(many.reads, 20);
    // Zeros where a header should stand end the walk: a data chunk behind them is not
    // looked for, and the zeros are not read header by header.
    QByteArray zeros = "WAVEfmt " + Le32(16) + pcm + QByteArray(1 << 20, '\0');
    zeros += "data" + Le32(4) + "abcd";
    CountedImage holed{"RIFF" + Le32(zeros.size()) + zeros};
    EXPECT_EQ(info(holed, i), WaveFileError::NotWave);
    EXPECT_LT(holed.reads, 10);
    // An id of three letters and a control byte is junk too.
    QByteArray ctl = "WAVEfmt " + Le32(16) + pcm + "LIS\x01" + Le32(0) + "data" + Le32(0);
    CountedImage control{"RIFF" + Le32(ctl.size()) + ctl};
    EXPECT_EQ(info(control, i), WaveFileError::NotWave);
}

TEST_F(Codec, OnlyRegularFilesAreOpened) {
    WaveFileError error = WaveFileError::None;
    EXPECT_EQ(OpenRegularFile(dir.path(), &error), nullptr);
    EXPECT_EQ(error, WaveFileError::NotRegular);
    const QString fifo = Path("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Refused at once: nobody writes to the FIFO, so a blocking open would hang here.
    EXPECT_EQ(OpenRegularFile(fifo, &error), nullptr);
    EXPECT_EQ(error, WaveFileError::NotRegular);
    EXPECT_EQ(WaveDecoder::Open(fifo, &error), nullptr);
    EXPECT_EQ(error, WaveFileError::NotRegular);
    EXPECT_EQ(OpenRegularFile(Path("missing.wav"), &error), nullptr);
    EXPECT_EQ(error, WaveFileError::NoFile);
}

TEST_F(Codec, FilesWrittenBySoxDecodeAsSoxDecodesThem) {
    const QString speech = Speech();
    for (const char* encoding : {"ms-adpcm", "gsm-full-rate"}) {
        const QString path = Path(QStringLiteral("sox-%1.wav").arg(encoding));
        Run("sox", {speech, "-e", encoding, path});
        WAVEFORMATEX pcm{};
        const QByteArray ours = DecodeAll(path, &pcm);
        EXPECT_EQ(pcm.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(pcm.wBitsPerSample, 16);
        EXPECT_EQ(pcm.nSamplesPerSec, 8000u);
        const QByteArray theirs = SoxDecode(path);
        ASSERT_EQ(ours.size(), theirs.size()) << encoding;
        // GSM 6.10 decodes bit for bit; the two ADPCM decoders round their predictions
        // differently, a sample or two apart.
        if (std::strcmp(encoding, "gsm-full-rate") == 0)
            EXPECT_TRUE(ours == theirs);
        else
            EXPECT_GT(SnrDb(theirs, ours), 40.0);
    }
    // Stereo ADPCM at 22050 Hz, with a last block cut short.
    const QString stereo = Path("stereo.wav");
    Run("sox", {speech, "-r", "22050", "-c", "2", "-e", "ms-adpcm", stereo});
    const QByteArray ours = DecodeAll(stereo);
    const QByteArray theirs = SoxDecode(stereo);
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_GT(SnrDb(theirs, ours), 40.0);
}

TEST_F(Codec, DamagedCompressedDataEndsTheReadNotTheProgram) {
    const QString speech = Speech();
    const QString path = Path("adpcm.wav");
    Run("sox", {speech, "-e", "ms-adpcm", path});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray image = f.readAll();
    // Predictor numbers above 6 in every block header.
    const qsizetype data = image.indexOf("data") + 8;
    for (qsizetype at = data; at < image.size(); at += 256)
        image[at] = char(0x7F);
    f.seek(0);
    f.write(image);
    f.close();
    WaveFileError error;
    auto d = WaveDecoder::Open(path, &error);
    ASSERT_TRUE(d);
    std::vector<char> buffer(4096);
    EXPECT_EQ(d->Read(buffer.data(), int64_t(buffer.size())), -1);
}

constexpr UINT kDone = WM_USER + 77;

class Owner : public QObject, public MessageReceiver {
public:
    Owner() : MessageReceiver(this) {
        OnMessage(kDone, [this](WPARAM w, LPARAM) {
            reports.push_back(int(w));
            return LRESULT(0);
        });
    }
    std::vector<int> reports;
};

TEST_F(Codec, TheWavePlayerPlaysCompressedFilesDecodedAsTheyPlay) {
    ForceAudioBackend(AudioBackend::Virtual);
    SetVirtualSpeed(0);
    SetVirtualCapture(64 << 20);
    const QString gsm = Path("memo.wav");
    Run("sox", {Speech(), "-e", "gsm-full-rate", gsm});
    Owner owner;
    MediaPlayer player(MediaDevice::WaveAudio);
    player.SetNotify(&owner, kDone);
    ASSERT_EQ(player.PlayFile(gsm), MediaError::None);
    QDeadlineTimer deadline(30000);
    while (owner.reports.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    ASSERT_EQ(owner.reports, std::vector<int>{1});
    WAVEFORMATEX format{};
    const QByteArray played = TakeVirtualOutput(&format);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nSamplesPerSec, 8000u);
    EXPECT_TRUE(played == SoxDecode(gsm));
    // IMA ADPCM is not a format of the layer: the player refuses it.
    const QString ima = Path("ima.wav");
    Run("sox", {Speech(), "-e", "ima-adpcm", ima});
    EXPECT_EQ(player.PlayFile(ima), MediaError::BadFormat);
}

}  // namespace
