#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <functional>
#include <vector>

#include <sys/resource.h>

#include "platform/audiobackend.h"
#include "tdkit/audio/record.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/audio/waveformsink.h"
#include "tdkit/ui/waveformdisplay.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_audio_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
}

QByteArray Le32(uint32_t v) {
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

WAVEFORMATEX Pcm(DWORD rate, WORD bits) {
    const WORD align = bits / 8;
    return {WAVE_FORMAT_PCM, 1, rate, rate * align, align, bits, 0};
}

QByteArray Wav(const WAVEFORMATEX& f, const QByteArray& data, const QByteArray& after = {}) {
    QByteArray image = "RIFF" + Le32(36 + data.size() + (data.size() & 1)) + "WAVEfmt " + Le32(16);
    image.append(reinterpret_cast<const char*>(&f), 16);
    image += "data" + Le32(data.size()) + data;
    if (data.size() & 1)
        image += '\0';
    return image + after;
}

QByteArray Samples16(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b += QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF));
    return b;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The data of a WAV file the recorder wrote (its header is always 44 bytes).
QByteArray DataOf(const QString& path) {
    const QByteArray image = Read(path);
    if (image.size() < 44 || image.mid(36, 4) != "data")
        return {};
    uint32_t size = 0;
    std::memcpy(&size, image.constData() + 40, 4);
    return image.mid(44, size);
}

QString Sox(const QStringList& args) {
    QProcess p;
    p.start("sox", args);
    if (!p.waitForFinished(30000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Runs the event loop until done() or 60 s.
bool Pump(const std::function<bool()>& done) {
    QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        qputenv("TONEDECK_REGISTRY_DIR", dir.path().toLocal8Bit());
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        SetVirtualCapture(64 << 20);
        VirtualInput tone;
        tone.kind = VirtualInput::Kind::Tone;
        tone.amplitude = 12000;
        SetVirtualInput(tone);
        TakeVirtualOutput();
        CRecord::SetErrorReporter([this](const QString&, const QString& text) { errors << text; });
    }
    void TearDown() override {
        CRecord::SetErrorReporter(nullptr);
        ForceAudioBackend(std::nullopt);
        SetVirtualInput({});
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QStringList errors;
};

TEST_F(RecordTest, EachFormatRecordsUntilTheMaximumLengthStopsIt) {
    const int rates[] = {8000, 11025, 22050, 44100};
    for (int format = 0; format <= 3; ++format) {
        SCOPED_TRACE(format);
        CRecord rec;
        rec.Start(nullptr, format, 5);
        EXPECT_EQ(rec.GetMaxSamples(), DWORD(5 * rates[format]));
        ASSERT_EQ(rec.IsRecordAvailable(format), 1);
        const QString path = Path("take.wav");
        ASSERT_EQ(rec.CreateNewWAVFile(path), 0u);
        ASSERT_EQ(rec.RecordToFile(0, 0), 0u);
        ASSERT_TRUE(Pump([&] { return !rec.StillRecording(); }));
        // It stops at the first quarter-second buffer that leaves less than four buffers'
        // room: at about 4 of the 5 seconds.
        const int quarter = rates[format] / 4;
        const int expected = ((5 * rates[format] + quarter - 1) / quarter - 4) * quarter;
        EXPECT_EQ(rec.SamplesRecorded(), DWORD(expected));
        EXPECT_EQ(Sox({"--i", "-r", path}), QString::number(rates[format]));
        EXPECT_EQ(Sox({"--i", "-b", path}), format == 3 ? "16" : "8");
        EXPECT_EQ(Sox({"--i", "-c", path}), "1");
        EXPECT_EQ(Sox({"--i", "-s", path}), QString::number(expected));
        EXPECT_EQ(Read(path).size(), 44 + expected * (format == 3 ? 2 : 1))
            << "no description chunk after a stop at the maximum";
    }
}

TEST_F(RecordTest, StoppingWithATypeAppendsTheDescriptionAndPauseDropsAudio) {
    CRecord rec;
    CWaveformDisplay display;
    display.resize(200, 40);
    display.SetRange(60 * 11025);
    rec.Start(nullptr, RECORDFORMAT_AMRADIO, 60, &display);
    const QString path = Path("desc.wav");
    ASSERT_EQ(rec.CreateNewWAVFile(path), 0u);
    ASSERT_EQ(rec.RecordToFile(0, 0), 0u);
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= 11025; }));
    EXPECT_EQ(rec.SetPauseState(1), 0);
    const uint64_t pausedAt = rec.InputSamples();
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= 3 * 11025; }));
    rec.SetPauseState(0);
    const uint64_t resumedAt = rec.InputSamples();
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= 4 * 11025; }));
    const uint64_t total = rec.InputSamples();
    EXPECT_EQ(rec.SamplesRecorded(), total - (resumedAt - pausedAt));
    EXPECT_EQ(display.GetPos(), rec.SamplesRecorded());
    EXPECT_EQ(DWORD(display.DrawnColumns()),
              (rec.SamplesRecorded() + display.GetResolution() - 1) / display.GetResolution());

    // Audio keeps coming until the stop, which keeps it all: the file holds what was
    // recorded at the stop, not at the last look.
    const WAVEFILETYPE type = WAVEFILETYPE_WORKING;
    ASSERT_EQ(rec.StopRecordToFile(&type, nullptr), 0u);
    EXPECT_FALSE(rec.StillRecording());
    const DWORD kept = rec.SamplesRecorded();
    EXPECT_GE(kept, DWORD(total - (resumedAt - pausedAt)));
    EXPECT_EQ(DataOf(path).size(), qsizetype(kept));
    WAVEFILETYPE readType{};
    char text[64] = {};
    DWORD seconds = 0;
    ASSERT_EQ(GetInfoFromRIFFFile(path, readType, text, sizeof text, seconds, nullptr), 1);
    EXPECT_EQ(readType, WAVEFILETYPE_WORKING);
    EXPECT_STREQ(text, "WAVE FILE");
    EXPECT_EQ(seconds, kept / 11025);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(RecordTest, RecordingInsideAFileOverwritesFromThereAndLeavesNothingStale) {
    const QByteArray old(3 * 11025, char(100));
    const QString path = Path("old.wav");
    ASSERT_TRUE(
        Write(path, Wav(Pcm(11025, 8), old, "DESC" + Le32(14) + Le32(5) + "a memo\0\0\0\0"_qba)));
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_TELEPHONE, 60);
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    EXPECT_EQ(rec.GetSamplesPerSec(), 11025u) << "the file's format wins";
    EXPECT_EQ(rec.FileSamples(), DWORD(old.size()));
    ASSERT_EQ(rec.RecordToFile(11025, 0), 0u);
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= 11025 / 2; }));
    ASSERT_EQ(rec.StopRecordToFile(), 0u);
    const DWORD kept = rec.SamplesRecorded();
    EXPECT_EQ(kept, 11025 + rec.InputSamples());
    const QByteArray data = DataOf(path);
    ASSERT_EQ(data.size(), qsizetype(kept));
    EXPECT_EQ(data.left(11025), old.left(11025));
    EXPECT_NE(data.at(11025 + 100), char(100));
    EXPECT_EQ(Read(path).size(), 44 + kept + (kept & 1)) << "the old tail and chunk are gone";
}

// Speech with long and short pauses, spoken by espeak-ng, as the microphone.
TEST_F(RecordTest, VoxSuspendsOnSilenceAndCutsTheQuietTail) {
    const QString speech = Path("speech.wav");
    ASSERT_EQ(QProcess::execute("espeak-ng", {"-w", speech, "testing one two three"}), 0);
    DWORD speechFrames = 0;
    CRecord probe;
    ASSERT_EQ(probe.SamplesInFile(speech, speechFrames), 1);
    ASSERT_GT(speechFrames, 0u);
    // speech, 8 s of silence, speech, 2 s of silence, speech, 7 s of silence.
    ASSERT_EQ(QProcess::execute("sox", {speech, Path("gap8.wav"), "pad", "0", "8"}), 0);
    ASSERT_EQ(
        QProcess::execute("sox", {Path("gap8.wav"), speech, Path("gap2.wav"), "pad", "0", "2"}), 0);
    ASSERT_EQ(
        QProcess::execute("sox", {Path("gap2.wav"), speech, Path("voice.wav"), "pad", "0", "7"}),
        0);
    ASSERT_EQ(
        QProcess::execute("sox", {Path("voice.wav"), "-r", "11025", "-b", "8", Path("mic.wav")}),
        0);
    DWORD micFrames = 0;
    ASSERT_EQ(probe.SamplesInFile(Path("mic.wav"), micFrames), 1);
    VirtualInput mic;
    mic.kind = VirtualInput::Kind::File;
    mic.path = Path("mic.wav");
    SetVirtualInput(mic);

    CRecord rec;
    CWaveformDisplay display;
    display.resize(300, 40);
    display.SetRange(120 * 11025);
    rec.Start(nullptr, RECORDFORMAT_AMRADIO, 120, &display, nullptr);
    const QString path = Path("vox.wav");
    ASSERT_EQ(rec.CreateNewWAVFile(path), 0u);
    ASSERT_EQ(rec.RecordToFile(0, 1), 0u);
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= micFrames; }));
    EXPECT_TRUE(rec.StillRecording()) << "a suspended recording is still a recording";
    EXPECT_EQ(display.GetPos(), rec.SamplesRecorded());
    ASSERT_EQ(rec.StopRecordToFile(), 0u);

    // Find the quiet stretches of what was kept: every pause long enough to suspend now
    // holds about one second (silence 5 s minus trim 4 s, plus at most the quiet lead-in of
    // the buffer that resumed); the 2 s pause is kept whole.
    const QByteArray data = DataOf(path);
    ASSERT_EQ(data.size(), qsizetype(rec.SamplesRecorded()));
    std::vector<double> gaps;
    int run = 0;
    for (char c : data) {
        if (std::abs((128 - int(uint8_t(c))) * 256) <= 5000) {
            run++;
        } else {
            if (run > 11025 * 3 / 4)
                gaps.push_back(run / 11025.0);
            run = 0;
        }
    }
    const double tail = run / 11025.0;
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_GE(gaps[0], 1.0);
    EXPECT_LE(gaps[0], 1.5) << "the 8 s pause was cut back";
    EXPECT_GE(gaps[1], 2.0);
    EXPECT_LE(gaps[1], 3.0) << "the 2 s pause was kept";
    EXPECT_GE(tail, 1.0);
    EXPECT_LE(tail, 1.5) << "the final silence was cut back too";
    EXPECT_LT(data.size(), qsizetype(micFrames) - 11 * 11025);
}

// A stop keeps everything the device captured up to it: the buffers it filled that were
// not yet handled, and the one it was filling.
TEST_F(RecordTest, AStopKeepsWhatTheDeviceCaptured) {
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_CD, 60);
    const QString path = Path("stop.wav");
    ASSERT_EQ(rec.CreateNewWAVFile(path), 0u);
    ASSERT_EQ(rec.RecordToFile(0, 0), 0u);
    ASSERT_TRUE(Pump(
        [&] { return rec.InputSamples() >= 11025 && rec.CapturedSamples() > rec.InputSamples(); }));
    const uint64_t captured = rec.CapturedSamples();
    ASSERT_EQ(rec.StopRecordToFile(), 0u);
    EXPECT_GE(rec.SamplesRecorded(), captured);
    EXPECT_EQ(rec.SamplesRecorded(), rec.InputSamples());
    EXPECT_EQ(DataOf(path).size(), qsizetype(rec.SamplesRecorded()) * 2);

    // An owner that asked for an exact length gets exactly that, whatever was captured.
    CRecord exact;
    exact.Start(nullptr, RECORDFORMAT_AMRADIO, 60);
    ASSERT_EQ(exact.CreateNewWAVFile(Path("exact.wav")), 0u);
    ASSERT_EQ(exact.RecordToFile(0, 0), 0u);
    exact.LimitSamples(11025 + 100);
    ASSERT_TRUE(Pump([&] { return exact.InputSamples() >= 2 * 11025; }));
    ASSERT_EQ(exact.StopRecordToFile(), 0u);
    EXPECT_EQ(exact.SamplesRecorded(), 11025u + 100);
    EXPECT_EQ(DataOf(Path("exact.wav")).size(), 11025 + 100);
}

// Voice-operated trimming cuts the quiet tail back, but never past the frame the
// recording started at: the sound before it stays.
TEST_F(RecordTest, VoxTrimmingStopsAtTheStartOfTheRecording) {
    SetVirtualInput({});  // silence
    const QByteArray old(3 * 11025, char(100));
    const QString path = Path("before.wav");
    ASSERT_TRUE(Write(path, Wav(Pcm(11025, 8), old)));
    CRecord rec;
    VOXPROPERTIES vox{};
    vox.bySilenceSeconds = 2;
    vox.dwThreshold = 5000;
    vox.byTrimSeconds = 4;
    rec.Start(nullptr, RECORDFORMAT_AMRADIO, 60, nullptr, &vox);
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    ASSERT_EQ(rec.RecordToFile(2 * 11025, 1), 0u);
    ASSERT_TRUE(Pump([&] { return rec.InputSamples() >= 4 * 11025; }));
    EXPECT_EQ(rec.GetCurrentSample(), DWORD(2 * 11025)) << "cut back to the start, no further";
    ASSERT_EQ(rec.StopRecordToFile(), 0u);
    const QByteArray data = DataOf(path);
    ASSERT_EQ(data.size(), 2 * 11025);
    EXPECT_EQ(data, old.left(2 * 11025));
}

// A recording whose file cannot be written (here: a file-size limit standing for a full
// disk) stops, says so, and keeps a readable file of what reached the disk.
TEST_F(RecordTest, AFailedWriteStopsTheRecordingAndSaysSo) {
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_CD, 60);
    const QString path = Path("full.wav");
    ASSERT_EQ(rec.CreateNewWAVFile(path), 0u);
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 50000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_EQ(rec.RecordToFile(0, 0), 0u);
    const bool stopped = Pump([&] { return !rec.StillRecording(); });
    rec.StopRecordToFile();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(rec.WriteFailed());
    EXPECT_TRUE(errors.contains(QString::fromLatin1(CRecord::kWriteFailedText)))
        << errors.join('|').toStdString();
    EXPECT_LE(44 + qint64(rec.SamplesRecorded()) * 2, 50000);
    EXPECT_GT(rec.SamplesRecorded(), 0u);
    EXPECT_EQ(DataOf(path).size(), qsizetype(rec.SamplesRecorded()) * 2);
    EXPECT_EQ(Sox({"--i", "-s", path}), QString::number(rec.SamplesRecorded()));
}

TEST_F(RecordTest, MixingClipsAndLengthens) {
    const QString dst = Path("dst.wav"), src = Path("src.wav");
    CRecord rec;
    ASSERT_TRUE(Write(dst, Wav(Pcm(22050, 16), Samples16({30000, -30000, 100}),
                               "DESC" + Le32(6) + Le32(2) + "x\0"_qba)));
    ASSERT_TRUE(Write(src, Wav(Pcm(22050, 16), Samples16({30000, -30000, -50, 7, 8}))));
    ASSERT_EQ(rec.MixFiles(src, dst), 1);
    EXPECT_EQ(DataOf(dst), Samples16({32767, -32767, 50, 7, 8}));
    EXPECT_EQ(Read(dst).size(), 44 + 10) << "the overwritten chunk's remains are cut off";
    WAVEFILETYPE type{};
    char text[8];
    DWORD seconds = 0;
    EXPECT_EQ(GetInfoFromRIFFFile(dst, type, text, sizeof text, seconds, nullptr), 1);

    // A shorter source leaves the destination's length and its description alone.
    ASSERT_TRUE(Write(dst, Wav(Pcm(11025, 8), QByteArray("\xC8\x14\x80\x10", 4),
                               "DESC" + Le32(6) + Le32(2) + "x\0"_qba)));
    ASSERT_TRUE(Write(src, Wav(Pcm(11025, 8), QByteArray("\xC8\x32\x64", 3))));
    ASSERT_EQ(rec.MixFiles(src, dst), 1);
    EXPECT_EQ(DataOf(dst), QByteArray("\xFF\x00\x64\x10", 4));  // 255, 0, 100, untouched
    ASSERT_EQ(GetInfoFromRIFFFile(dst, type, text, sizeof text, seconds, nullptr), 1);
    EXPECT_STREQ(text, "x");

    EXPECT_EQ(rec.MixFiles(Path("missing.wav"), dst), 0);
    ASSERT_TRUE(Write(src, "RIFF\x04\0\0\0WAVE"_qba));
    EXPECT_EQ(rec.MixFiles(src, dst), 0);
}

TEST_F(RecordTest, AppendingStopsAtTheMaximumLength) {
    const QString dst = Path("a.wav"), src = Path("b.wav");
    ASSERT_TRUE(Write(dst, Wav(Pcm(8000, 8), QByteArray(7000, 'a'))));
    ASSERT_TRUE(Write(src, Wav(Pcm(8000, 8), QByteArray(3000, 'b'))));
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_TELEPHONE, 1);
    ASSERT_EQ(rec.AppendFile(src, dst), 1);
    EXPECT_EQ(DataOf(dst), QByteArray(7000, 'a') + QByteArray(1000, 'b'));
    DWORD frames = 0;
    ASSERT_EQ(rec.SamplesInFile(dst, frames), 1);
    EXPECT_EQ(frames, 8000u);
    // Full already: nothing more goes in (and no count runs below zero).
    ASSERT_EQ(rec.AppendFile(src, dst), 1);
    EXPECT_EQ(DataOf(dst).size(), 8000);
    rec.Start(nullptr, RECORDFORMAT_TELEPHONE, 60);
    ASSERT_EQ(rec.AppendFile(src, dst), 1);
    EXPECT_EQ(DataOf(dst), QByteArray(7000, 'a') + QByteArray(1000, 'b') + QByteArray(3000, 'b'));
    EXPECT_EQ(rec.AppendFile(Path("none.wav"), dst), 0);
    EXPECT_EQ(rec.AppendFile(dst, dst), 0) << "a file cannot be appended to itself";
}

// A waveform that remembers every position it is moved to.
class StepSink : public WaveformSink {
public:
    unsigned long GetResolution() const override { return 1; }
    unsigned long GetPos() const override { return pos; }
    void SetPos(unsigned long p) override {
        steps.push_back(p - pos);
        pos = p;
    }
    void SetPixelValue(int, int) override {}
    void ErasePastCurrentLocation() override {}
    QObject* SinkObject() override { return &object; }
    unsigned long pos = 0;
    std::vector<unsigned long> steps;
    QObject object;
};

// With a waveform to move, playback hands back a quarter second at a time, so the
// position line moves smoothly; without one it reads larger pieces.
TEST_F(RecordTest, PlaybackMovesAShownWaveformAQuarterSecondAtATime) {
    const QString path = Path("steps.wav");
    ASSERT_TRUE(Write(path, Wav(Pcm(11025, 8), QByteArray(3 * 11025 + 100, '\x80'))));
    StepSink sink;
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_AMRADIO, 600, &sink);
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    ASSERT_EQ(rec.PlayFromFile(0), 0u);
    ASSERT_TRUE(Pump([&] { return !rec.StillPlaying(); }));
    ASSERT_EQ(rec.StopPlayFromFile(), 0u);
    EXPECT_EQ(sink.pos, 3u * 11025 + 100);
    ASSERT_EQ(sink.steps.size(), 13u);
    for (std::size_t i = 0; i + 1 < sink.steps.size(); ++i)
        EXPECT_EQ(sink.steps[i], 11025u / 4) << "step " << i;
    EXPECT_EQ(sink.steps.back(), 3u * 11025 + 100 - 12 * (11025 / 4));
}

TEST_F(RecordTest, PlaybackPlaysEveryByteAndAPauseHoldsIt) {
    QByteArray data(100 * 44100 * 2 + 1000, 0);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 13 % 251);
    const QString path = Path("long.wav");
    ASSERT_TRUE(Write(path, Wav(Pcm(44100, 16), data)));
    CRecord rec;
    rec.Start(nullptr, RECORDFORMAT_CD, 600);
    ASSERT_EQ(rec.PlayFromFile(0), 0u) << "no file open: nothing plays";
    EXPECT_FALSE(rec.StillPlaying());
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    ASSERT_EQ(rec.PlayFromFile(0), 0u);
    ASSERT_TRUE(rec.StillPlaying());
    // Seconds of audio are queued at once, but none has come back yet: the position stays
    // where playing began rather than at the end of what was read ahead.
    EXPECT_EQ(rec.GetCurrentSample(), 0u);
    EXPECT_EQ(rec.GetCurrentMillisecond(), 0u);
    ASSERT_TRUE(Pump([&] { return rec.GetCurrentSample() > 44100; }));
    rec.SetPauseState(1);
    const DWORD pausedAt = rec.GetCurrentSample();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(rec.GetCurrentSample(), pausedAt);
    EXPECT_TRUE(rec.StillPlaying());
    rec.SetPauseState(0);
    ASSERT_TRUE(Pump([&] { return !rec.StillPlaying(); }));
    QString text;
    rec.GetCurrentMillisecond(&text);
    EXPECT_EQ(text, "001:40:011");  // 4,410,500 frames: the count passes 2^32 / 1000
    rec.GetCurrentCentisecond(&text);
    EXPECT_EQ(text, "001:40:01");
    rec.GetCurrentSecond(&text);
    EXPECT_EQ(text, "001:40");
    ASSERT_EQ(rec.StopPlayFromFile(), 0u);
    EXPECT_TRUE(TakeVirtualOutput() == data);

    // From a frame in the middle, and from past the end.
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    ASSERT_EQ(rec.PlayFromFile(4410000), 0u);
    ASSERT_TRUE(Pump([&] { return !rec.StillPlaying(); }));
    ASSERT_EQ(rec.StopPlayFromFile(), 0u);
    EXPECT_TRUE(TakeVirtualOutput() == data.mid(4410000 * 2));
    ASSERT_EQ(rec.OpenWAVFile(path), 0u);
    ASSERT_EQ(rec.PlayFromFile(5000000), 0u);
    EXPECT_FALSE(rec.StillPlaying());
    EXPECT_EQ(rec.StopPlayFromFile(), 0u);
}

TEST(RecordFormats, StandardAndSameFormats) {
    WAVEFORMATEX a = Pcm(22050, 16), b = Pcm(22050, 16);
    b.nBlockAlign = 4;
    EXPECT_EQ(CRecord::IsSameFormat(&a, &b), 1);
    b.nSamplesPerSec = 22000;
    EXPECT_EQ(CRecord::IsSameFormat(&a, &b), 0);
    EXPECT_EQ(CRecord::IsStandardFormat(&a), 1);
    EXPECT_EQ(CRecord::IsStandardFormat(&b), 0);
    CRecord rec;
    EXPECT_EQ(rec.GetSamplesPerSec(), 11025u) << "a new recorder has format 1";
    rec.SetRecordFormat(7);
    EXPECT_EQ(rec.GetSamplesPerSec(), 11025u);
    rec.SetRecordFormat(RECORDFORMAT_CD);
    EXPECT_EQ(rec.GetRecordFormat()->nBlockAlign, 2);
}

}  // namespace
