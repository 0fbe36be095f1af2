#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/audiobackend.h"
#include "platform/levels.h"
#include "platform/message.h"
#include "platform/playsound.h"
#include "platform/registry.h"
#include "platform/wave.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

WAVEFORMATEX Pcm(DWORD rate, WORD bits, WORD channels = 1) {
    const WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

QByteArray WavImage(const WAVEFORMATEX& f, const QByteArray& data) {
    auto le32 = [](uint32_t v) {
        char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        return QByteArray(b, 4);
    };
    QByteArray image = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16);
    image.append(reinterpret_cast<const char*>(&f), 16);
    return image + "data" + le32(data.size()) + data;
}

QByteArray Pattern(int bytes) {
    QByteArray b(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        b[i] = char((i * 7 + i / 256) & 0xFF);
    return b;
}

// Collects the device notifications posted to it.
class Window : public QObject, public MessageReceiver {
public:
    Window() : MessageReceiver(this) {
        for (UINT m :
             {MM_WIM_OPEN, MM_WIM_CLOSE, MM_WIM_DATA, MM_WOM_OPEN, MM_WOM_CLOSE, MM_WOM_DONE})
            OnMessage(m, [this, m](WPARAM, LPARAM l) {
                seen.push_back(m);
                if (m == MM_WIM_DATA || m == MM_WOM_DONE)
                    headers.push_back(reinterpret_cast<WAVEHDR*>(l));
                return LRESULT(0);
            });
    }
    // Runs the event loop until n buffers came back, or 10 s passed.
    bool WaitBuffers(std::size_t n) {
        QDeadlineTimer deadline(10000);
        while (headers.size() < n && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return headers.size() >= n;
    }
    std::vector<UINT> seen;
    std::vector<WAVEHDR*> headers;
};

struct Buffer {
    explicit Buffer(int bytes) : data(bytes, 0) {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<DWORD>(bytes);
    }
    QByteArray data;
    WAVEHDR header{};
};

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        qputenv("TONEDECK_REGISTRY_DIR", dir.path().toLocal8Bit());
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        SetVirtualCapture(64 << 20);
        TakeVirtualOutput();
    }
    void TearDown() override {
        ForceAudioBackend(std::nullopt);
        SetAlsaConfigText({});
        SetVirtualInput({});
    }
    QTemporaryDir dir;
};

TEST_F(WaveTest, VirtualInputDeliversTheFileSampleForSampleInOrder) {
    const WAVEFORMATEX f = Pcm(8000, 8);
    const QByteArray samples = Pattern(8000);
    const QString path = dir.filePath("in.wav");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WavImage(f, samples));
    file.close();
    VirtualInput in;
    in.kind = VirtualInput::Kind::File;
    in.path = path;
    SetVirtualInput(in);
    CurrentPeak(LevelSource::Input);  // a meter reads the input, so its peaks are measured

    Window window;
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(2000));
        WAVEHDR* h = &buffers.back()->header;
        EXPECT_EQ(waveInAddBuffer(device, h, sizeof *h), WAVERR_UNPREPARED);
        ASSERT_EQ(waveInPrepareHeader(device, h, sizeof *h), 0u);
        ASSERT_EQ(waveInAddBuffer(device, h, sizeof *h), 0u);
    }
    ASSERT_EQ(waveInStart(device), 0u);
    ASSERT_TRUE(window.WaitBuffers(4));
    QByteArray got;
    for (WAVEHDR* h : window.headers) {
        EXPECT_TRUE(h->dwFlags & WHDR_DONE);
        EXPECT_FALSE(h->dwFlags & WHDR_INQUEUE);
        got.append(h->lpData, h->dwBytesRecorded);
    }
    EXPECT_EQ(got, samples);
    EXPECT_GT(CurrentPeak(LevelSource::Input).left, 0);

    // Past its end the file gives silence.
    WAVEHDR* h = window.headers[0];
    ASSERT_EQ(waveInAddBuffer(device, h, sizeof *h), 0u);
    ASSERT_TRUE(window.WaitBuffers(5));
    EXPECT_EQ(QByteArray(h->lpData, h->dwBytesRecorded), QByteArray(2000, char(128)));

    // A closed device with buffers queued refuses to close until reset returns them.
    ASSERT_EQ(waveInStop(device), 0u);
    ASSERT_EQ(waveInAddBuffer(device, h, sizeof *h), 0u);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInReset(device), 0u);
    ASSERT_TRUE(window.WaitBuffers(6));
    EXPECT_EQ(window.headers[5]->dwBytesRecorded, 0u);
    EXPECT_EQ(waveInClose(device), 0u);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.seen.front(), MM_WIM_OPEN);
    EXPECT_EQ(window.seen.back(), MM_WIM_CLOSE);
}

TEST_F(WaveTest, VirtualOutputCapturesEveryByteAndResetReturnsTheRest) {
    const WAVEFORMATEX f = Pcm(22050, 16, 2);
    CurrentPeak(LevelSource::Output);
    Window window;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    std::vector<std::unique_ptr<Buffer>> buffers;
    QByteArray all;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(4000));
        buffers.back()->data = Pattern(4000).mid(i) + QByteArray(i, 'x');
        WAVEHDR* h = &buffers.back()->header;
        h->lpData = buffers.back()->data.data();
        all += buffers.back()->data;
        ASSERT_EQ(waveOutPrepareHeader(device, h, sizeof *h), 0u);
        ASSERT_EQ(waveOutWrite(device, h, sizeof *h), 0u);
    }
    ASSERT_TRUE(window.WaitBuffers(3));
    EXPECT_EQ(window.headers[0], &buffers[0]->header) << "buffers come back in order";
    MMTIME t{TIME_BYTES, 0};
    ASSERT_EQ(waveOutGetPosition(device, &t, sizeof t), 0u);
    EXPECT_EQ(t.value, 12000u);
    EXPECT_GT(CurrentPeak(LevelSource::Output).right, 0);

    // Paused, a written buffer stays queued; reset hands it back and the position restarts.
    ASSERT_EQ(waveOutPause(device), 0u);
    ASSERT_EQ(waveOutWrite(device, &buffers[0]->header, sizeof(WAVEHDR)), 0u);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(window.headers.size(), 3u);
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveOutReset(device), 0u);
    ASSERT_TRUE(window.WaitBuffers(4));
    ASSERT_EQ(waveOutGetPosition(device, &t, sizeof t), 0u);
    EXPECT_EQ(t.value, 0u);
    ASSERT_EQ(waveOutClose(device), 0u);
    WAVEFORMATEX captured{};
    EXPECT_EQ(TakeVirtualOutput(&captured), all);
    EXPECT_EQ(captured.nChannels, 2);
}

// Peaks cost a pass over every sample: a device measures them only while a meter reads
// the levels. Time is stepped by hand, far past any read made by the other tests.
std::atomic<int64_t> g_levelNow{0};
TEST_F(WaveTest, PeaksAreMeasuredOnlyWhileAMeterReadsThem) {
    SetLevelClock([] { return g_levelNow.load(); });
    g_levelNow = int64_t(1) << 50;
    const WAVEFORMATEX f = Pcm(22050, 16, 2);
    Window window;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    Buffer loud(4000);
    loud.data = QByteArray(4000, char(0x40));
    loud.header.lpData = loud.data.data();
    ASSERT_EQ(waveOutPrepareHeader(device, &loud.header, sizeof(WAVEHDR)), 0u);
    auto play = [&](std::size_t n) {
        EXPECT_EQ(waveOutWrite(device, &loud.header, sizeof(WAVEHDR)), 0u);
        return window.WaitBuffers(n);
    };
    EXPECT_FALSE(PeakWanted(LevelSource::Output));
    ASSERT_TRUE(play(1));
    EXPECT_EQ(CurrentPeak(LevelSource::Output).left, 0) << "measured with no meter reading";
    EXPECT_TRUE(PeakWanted(LevelSource::Output)) << "the read marks the source as watched";
    EXPECT_FALSE(PeakWanted(LevelSource::Input)) << "the sources are apart";
    ASSERT_TRUE(play(2));
    EXPECT_EQ(CurrentPeak(LevelSource::Output).left, 0x4040);
    g_levelNow += 5000;
    EXPECT_TRUE(PeakWanted(LevelSource::Output));
    g_levelNow += 1;
    EXPECT_FALSE(PeakWanted(LevelSource::Output)) << "no read for over five seconds";
    ASSERT_EQ(waveOutClose(device), 0u);
    SetLevelClock(nullptr);
}

// A reset while the device thread moves frames in real time: the reset is not starved by
// the thread taking its lock back between transfers, what was played is a prefix of the
// buffers with no chunk played twice, and nothing plays after the reset has returned.
TEST_F(WaveTest, AResetDuringRealTimePlaybackStopsAtOnceWithoutReplaying) {
    SetVirtualSpeed(1);
    const WAVEFORMATEX f = Pcm(8000, 8);
    Window window;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    const QByteArray data = Pattern(16000);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(4000));
        buffers.back()->data = data.mid(i * 4000, 4000);
        WAVEHDR* h = &buffers.back()->header;
        h->lpData = buffers.back()->data.data();
        ASSERT_EQ(waveOutPrepareHeader(device, h, sizeof *h), 0u);
        ASSERT_EQ(waveOutWrite(device, h, sizeof *h), 0u);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(180));
    ASSERT_EQ(waveOutReset(device), 0u);
    const QByteArray played = TakeVirtualOutput();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(TakeVirtualOutput().isEmpty()) << "frames played after the reset";
    EXPECT_LT(played.size(), data.size());
    EXPECT_EQ(played, data.left(played.size()));
    ASSERT_EQ(waveOutClose(device), 0u);
    SetVirtualSpeed(0);
}

TEST_F(WaveTest, OpenRefusesFormatsAndFlagsItCannotServe) {
    WAVEFORMATEX f = Pcm(11025, 8);
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {}, WAVE_FORMAT_QUERY), 0u);
    EXPECT_EQ(device, nullptr);
    f.nBlockAlign = 2;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {}, 0), WAVERR_BADFORMAT);
    f = Pcm(11025, 24);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &f, {}, 0), WAVERR_BADFORMAT);
    f = Pcm(11025, 16);
    EXPECT_EQ(waveInOpen(&device, 3, &f, {}, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &f, {}, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    VirtualInput missing;
    missing.kind = VirtualInput::Kind::File;
    missing.path = dir.filePath("none.wav");
    SetVirtualInput(missing);
    EXPECT_NE(waveInOpen(&device, WAVE_MAPPER, &f, {}, 0), 0u);
}

TEST_F(WaveTest, TheBackendFollowsTheEnvironmentThenTheRegistry) {
    ForceAudioBackend(std::nullopt);
    ResetAudioBackendChoice();
    qputenv("TONEDECK_AUDIO", "virtual");
    EXPECT_EQ(ChosenAudioBackend(), AudioBackend::Virtual);
    qunsetenv("TONEDECK_AUDIO");
    ResetAudioBackendChoice();
    auto key = RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Audio");
    ASSERT_TRUE(key);
    key->SetString("Backend", "alsa");
    key->SetString("Device", "hw:7");
    key->SetString("InputDevice", "mic");
    EXPECT_EQ(ChosenAudioBackend(), AudioBackend::Alsa);
    EXPECT_EQ(AlsaOutputDeviceName(), "hw:7");
    EXPECT_EQ(AlsaInputDeviceName(), "mic");
    ResetAudioBackendChoice();
    RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Audio")->DeleteValue("Backend");
}

// The peak of each channel is the largest distance from silence, whatever the width,
// the channel count and a length that ends inside a frame; full-scale negative samples
// read 32768.
TEST(Peak, IsTheLargestDistanceFromSilencePerChannel) {
    uint32_t seed = 7;
    for (WORD bits : {WORD(8), WORD(16)}) {
        for (WORD channels : {WORD(1), WORD(2)}) {
            const WAVEFORMATEX f = Pcm(8000, bits, channels);
            for (int length : {0, 1, 2, 3, 7, 64, 1001}) {
                QByteArray bytes(length, 0);
                for (char& b : bytes) {
                    seed = seed * 1664525u + 1013904223u;
                    b = char(seed >> 24);
                }
                if (length >= 2 && bits == 16) {  // the last whole sample: -32768
                    bytes[length / 2 * 2 - 2] = 0;
                    bytes[length / 2 * 2 - 1] = char(0x80);
                }
                int want[2] = {0, 0};
                const int size = bits / 8;
                for (int i = 0; i + size <= length; i += size) {
                    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + i);
                    const int v =
                        bits == 8 ? (int(p[0]) - 128) * 256 : int(int16_t(p[0] | p[1] << 8));
                    int& w = want[channels == 2 ? (i / size) % 2 : 0];
                    w = std::max(w, std::abs(v));
                }
                const PcmPeak peak = MeasurePeak(f, bytes.constData(), std::size_t(length));
                EXPECT_EQ(peak.left, std::min(want[0], 32768))
                    << bits << "/" << channels << "/" << length;
                EXPECT_EQ(peak.right, std::min(want[channels == 2 ? 1 : 0], 32768))
                    << bits << "/" << channels << "/" << length;
            }
        }
    }
}

TEST(VirtualInputText, Parses) {
    EXPECT_EQ(ParseVirtualInput("")->kind, VirtualInput::Kind::Silence);
    auto tone = ParseVirtualInput("tone:1000:20000");
    ASSERT_TRUE(tone);
    EXPECT_EQ(tone->kind, VirtualInput::Kind::Tone);
    EXPECT_EQ(tone->frequency, 1000);
    EXPECT_EQ(tone->amplitude, 20000);
    EXPECT_FALSE(ParseVirtualInput("tone:loud"));
    EXPECT_EQ(ParseVirtualInput("noise:300")->amplitude, 300);
    EXPECT_EQ(ParseVirtualInput("/x/y.wav")->path, "/x/y.wav");
}

// The ALSA backend against ALSA's file plugin: playback goes to a file byte for byte and
// capture reads from an input file. The null device behind them does not keep time, so
// the checks count bytes.
class AlsaFileTest : public WaveTest {
protected:
    void SetUp() override {
        WaveTest::SetUp();
        out = dir.filePath("played.raw");
        in = dir.filePath("mic.raw");
        const QString conf = QStringLiteral(
                                 "pcm.tdtest { type asym\n"
                                 " playback.pcm { type file slave.pcm { type null } file \"%1\" "
                                 "format raw }\n"
                                 " capture.pcm { type file slave.pcm { type null } file "
                                 "\"/dev/null\" infile \"%2\" format raw } }\n")
                                 .arg(out, in);
        SetAlsaConfigText(conf.toUtf8());
        auto key = RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Audio");
        key->SetString("Device", "tdtest");
        ForceAudioBackend(AudioBackend::Alsa);
    }
    QString out, in;
};

TEST_F(AlsaFileTest, PlaybackWritesTheExactBytes) {
    const WAVEFORMATEX f = Pcm(44100, 16);
    Window window;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    Buffer a(22051), b(9000);
    a.data = Pattern(22050) + 'z';  // odd length: the last byte is not a frame
    a.header.lpData = a.data.data();
    b.data = Pattern(9000).right(9000);
    b.header.lpData = b.data.data();
    for (Buffer* x : {&a, &b}) {
        ASSERT_EQ(waveOutPrepareHeader(device, &x->header, sizeof(WAVEHDR)), 0u);
        ASSERT_EQ(waveOutWrite(device, &x->header, sizeof(WAVEHDR)), 0u);
    }
    ASSERT_TRUE(window.WaitBuffers(2));
    ASSERT_EQ(waveOutClose(device), 0u);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray played = file.readAll();
    EXPECT_EQ(played, a.data.left(22050) + b.data);
}

// A device that takes frames faster than it plays them (null under a file) gets its
// buffers back in batches: every buffer still comes back once per write and in the order
// written, refilled at once it plays on, and the sound reaches the device whole and in order.
TEST_F(AlsaFileTest, BuffersRefilledAsTheyComeBackPlayWholeAndInOrder) {
    const WAVEFORMATEX f = Pcm(44100, 16, 2);
    constexpr int kBuffers = 4, kWrites = 40, kBytes = 44100;  // a quarter second each
    const QByteArray sound = Pattern(kWrites * kBytes);
    QObject receiver;
    MessageReceiver messages(&receiver);
    HWAVEOUT device = nullptr;
    std::vector<std::unique_ptr<Buffer>> buffers;
    std::vector<int> returned;  // the index of each buffer as it came back
    int written = 0;
    auto write = [&](Buffer* b) {
        b->data = sound.mid(written * kBytes, kBytes);
        b->header.lpData = b->data.data();
        ++written;
        return waveOutWrite(device, &b->header, sizeof(WAVEHDR));
    };
    messages.OnMessage(MM_WOM_DONE, [&](WPARAM, LPARAM l) {
        auto* h = reinterpret_cast<WAVEHDR*>(l);
        for (int i = 0; i < kBuffers; ++i)
            if (&buffers[i]->header == h)
                returned.push_back(i);
        EXPECT_TRUE(h->dwFlags & WHDR_DONE);
        if (written < kWrites) {
            EXPECT_EQ(write(buffers[returned.back()].get()), 0u);
        }
        return LRESULT(0);
    });
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&receiver}, CALLBACK_WINDOW), 0u);
    for (int i = 0; i < kBuffers; ++i) {
        buffers.push_back(std::make_unique<Buffer>(kBytes));
        ASSERT_EQ(waveOutPrepareHeader(device, &buffers[i]->header, sizeof(WAVEHDR)), 0u);
        ASSERT_EQ(write(buffers[i].get()), 0u);
    }
    QDeadlineTimer deadline(20000);
    while (returned.size() < std::size_t(kWrites) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(returned.size(), std::size_t(kWrites));
    for (int i = 0; i < kWrites; ++i)
        EXPECT_EQ(returned[i], i % kBuffers) << "buffer " << i << " came back out of turn";
    MMTIME t{TIME_BYTES, 0};
    ASSERT_EQ(waveOutGetPosition(device, &t, sizeof t), 0u);
    EXPECT_EQ(t.value, DWORD(sound.size()));
    ASSERT_EQ(waveOutClose(device), 0u);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == sound) << "the sound reached the device changed";
}

TEST_F(AlsaFileTest, ASoundShorterThanTheStartThresholdIsPlayedBeforeItComesBack) {
    const WAVEFORMATEX f = Pcm(44100, 16);
    Window window;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    Buffer a(200);  // 100 frames: far less than the period the device starts at
    a.data = Pattern(200);
    a.header.lpData = a.data.data();
    ASSERT_EQ(waveOutPrepareHeader(device, &a.header, sizeof(WAVEHDR)), 0u);
    ASSERT_EQ(waveOutWrite(device, &a.header, sizeof(WAVEHDR)), 0u);
    ASSERT_TRUE(window.WaitBuffers(1));
    ASSERT_EQ(waveOutClose(device), 0u);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), a.data);
}

TEST_F(AlsaFileTest, CaptureReadsTheInputFile) {
    const QByteArray mic = Pattern(12000);
    QFile file(in);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(mic);
    file.close();
    const WAVEFORMATEX f = Pcm(8000, 16);
    Window window;
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &f, {&window}, CALLBACK_WINDOW), 0u);
    Buffer a(4000), b(4000), c(4000);
    for (Buffer* x : {&a, &b, &c}) {
        ASSERT_EQ(waveInPrepareHeader(device, &x->header, sizeof(WAVEHDR)), 0u);
        ASSERT_EQ(waveInAddBuffer(device, &x->header, sizeof(WAVEHDR)), 0u);
    }
    ASSERT_EQ(waveInStart(device), 0u);
    ASSERT_TRUE(window.WaitBuffers(3));
    ASSERT_EQ(waveInReset(device), 0u);
    ASSERT_EQ(waveInClose(device), 0u);
    EXPECT_EQ(a.data + b.data + c.data, mic);
}

TEST_F(AlsaFileTest, AMissingDeviceIsReportedAndTheChoiceFallsBack) {
    RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Audio")->SetString("Device", "none");
    const WAVEFORMATEX f = Pcm(8000, 8);
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, {}, 0), MMSYSERR_NODRIVER);
    ForceAudioBackend(std::nullopt);
    ResetAudioBackendChoice();
    qunsetenv("TONEDECK_AUDIO");
    EXPECT_EQ(ChosenAudioBackend(), AudioBackend::Virtual);
    ResetAudioBackendChoice();
}

TEST_F(WaveTest, PlaySoundPlaysInTheBackgroundAndIgnoresMissingFiles) {
    EXPECT_EQ(PlaySound(dir.filePath("missing.wav")), 0);
    EXPECT_FALSE(IsSoundPlaying());
    const WAVEFORMATEX f = Pcm(11025, 8);
    const QByteArray data = Pattern(30000);
    const QString path = dir.filePath("ding.wav");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WavImage(f, data));
    file.close();
    EXPECT_EQ(PlaySound(path), 1);
    ASSERT_TRUE(WaitForSound(10000));
    EXPECT_EQ(TakeVirtualOutput(), data);

    EXPECT_EQ(PlaySoundMemory("RIFF"), 0);
    EXPECT_EQ(PlaySoundMemory(WavImage(f, data.left(501))), 1);
    ASSERT_TRUE(WaitForSound(10000));
    EXPECT_EQ(TakeVirtualOutput(), data.left(501));

    // Only regular files of a bounded size: a FIFO named in the settings must not block
    // the caller, and a huge file is not read into memory.
    const QString fifo = dir.filePath("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(PlaySound(fifo), 0);
    const QString huge = dir.filePath("huge.wav");
    QFile big(huge);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(WavImage(f, data.left(100)));
    ASSERT_TRUE(big.resize(33 << 20));  // sparse: a valid header, then 33 MB
    big.close();
    EXPECT_EQ(PlaySound(huge), 0);
    EXPECT_FALSE(IsSoundPlaying());
}

TEST_F(WaveTest, TheCaptureIsOffUnlessAskedForAndKeepsNoMoreThanItsCap) {
    const WAVEFORMATEX f = Pcm(8000, 8);
    const QByteArray data = Pattern(3000);
    SetVirtualCapture(0);
    ASSERT_EQ(PlaySoundMemory(WavImage(f, data)), 1);
    ASSERT_TRUE(WaitForSound(10000));
    EXPECT_TRUE(TakeVirtualOutput().isEmpty());

    SetVirtualCapture(1000);
    ASSERT_EQ(PlaySoundMemory(WavImage(f, data)), 1);
    ASSERT_TRUE(WaitForSound(10000));
    EXPECT_EQ(TakeVirtualOutput(), data.left(1000));

    // The output file is written as the device plays, whole and with its sizes.
    const QString path = dir.filePath("out.wav");
    SetVirtualOutputFile(path);
    ASSERT_EQ(PlaySoundMemory(WavImage(f, data.left(1001))), 1);
    ASSERT_TRUE(WaitForSound(10000));
    SetVirtualOutputFile({});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray want = WavImage(f, data.left(1001));
    want[4] = char(want[4] + 1);  // the pad byte belongs to the form
    EXPECT_EQ(file.readAll(), want + QByteArray(1, '\0'));
}

// A one-shot sound still playing when the process exits: the player's thread closes its
// device during static destruction and must find everything it touches alive. The child
// turns the capture on only after the player exists, the order that once let the device
// write into a freed buffer; the device's WAV file must come out whole.
TEST(PlaySoundAtExit, ASoundStillPlayingWhenTheProcessEndsClosesCleanly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test afresh: it finds the parent's file name in the environment.
    QTemporaryDir dir;
    if (qEnvironmentVariableIsEmpty("TD_EXIT_TEST_OUTPUT"))
        qputenv("TD_EXIT_TEST_OUTPUT", dir.filePath("exit.wav").toLocal8Bit());
    const QString path = qEnvironmentVariable("TD_EXIT_TEST_OUTPUT");
    const WAVEFORMATEX f = Pcm(8000, 8);
    const QByteArray data = Pattern(40000);  // 5 s: still playing at exit
    EXPECT_EXIT(
        {
            App();
            ForceAudioBackend(AudioBackend::Virtual);
            qputenv("TONEDECK_VIRTUAL_SPEED", "1");
            qputenv("TONEDECK_VIRTUAL_OUTPUT", path.toLocal8Bit());
            PlaySoundMemory(WavImage(f, data));
            while (!IsSoundPlaying())
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            SetVirtualCapture(1 << 20);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    qunsetenv("TD_EXIT_TEST_OUTPUT");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    ASSERT_GT(image.size(), 44);
    EXPECT_LT(image.size(), 44 + data.size()) << "the sound was cut short at exit";
    const qsizetype played = image.size() - 44;
    EXPECT_EQ(image, WavImage(f, data.left(played)));
}

}  // namespace
