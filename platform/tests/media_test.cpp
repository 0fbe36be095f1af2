#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QThread>

#include <vector>

#include "platform/audiobackend.h"
#include "platform/media.h"
#include "platform/message.h"
#include "platform/wave.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

constexpr UINT kDone = WM_USER + 77;

QByteArray Le32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray WavImage(DWORD rate, const QByteArray& data) {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
    QByteArray image = "RIFF" + Le32(36 + data.size()) + "WAVEfmt " + Le32(16);
    image.append(reinterpret_cast<const char*>(&f), 16);
    return image + "data" + Le32(data.size()) + data;
}

QByteArray Ramp(int bytes) {
    QByteArray b(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        b[i] = char((i * 5 + i / 512) & 0xFF);
    return b;
}

// One half-second middle C on a piano: a format 0 standard MIDI file.
QByteArray SmallSong() {
    const QByteArray track = QByteArray::fromHex(
        "00c000"
        "00903c64"
        "60803c00"
        "00ff2f00");
    return "MThd" + QByteArray::fromHex("00000006000000010060") + "MTrk" +
           QByteArray::fromHex("000000") + char(track.size()) + track;
}

QByteArray RmidImage(const QByteArray& smf) {
    QByteArray data = "data" + Le32(smf.size()) + smf;
    if (smf.size() & 1)
        data += '\0';
    return "RIFF" + Le32(4 + data.size()) + "RMID" + data;
}

class Owner : public QObject, public MessageReceiver {
public:
    Owner() : MessageReceiver(this) {
        OnMessage(kDone, [this](WPARAM w, LPARAM) {
            reports.push_back(static_cast<int>(w));
            return LRESULT(0);
        });
    }
    std::vector<int> reports;
};

class Media : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        SetVirtualCapture(64 << 20);
        TakeVirtualOutput();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        SetMidiSoundFontPath({});
        SetCdAudioSource({});
    }
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Runs the event loop until the owner has heard `count` reports (bounded).
    bool WaitReports(std::size_t count) {
        QDeadlineTimer deadline(30000);
        while (owner.reports.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        QCoreApplication::processEvents();
        return owner.reports.size() >= count;
    }

    QTemporaryDir dir;
    Owner owner;
};

TEST_F(Media, WavePlaysToTheEndAndReportsIt) {
    const QByteArray samples = Ramp(30000);
    const QString path = Write("note.wav", WavImage(8000, samples));
    MediaPlayer player(MediaDevice::WaveAudio);
    player.SetNotify(&owner, kDone);
    ASSERT_EQ(player.PlayFile(path), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(owner.reports, std::vector<int>{1});
    EXPECT_FALSE(player.IsPlaying());
    WAVEFORMATEX format{};
    EXPECT_EQ(TakeVirtualOutput(&format), samples);
    EXPECT_EQ(format.nSamplesPerSec, 8000u);
    // Stopping a finished player tells nothing more.
    player.Stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.reports.size(), 1u);
}

TEST_F(Media, TheOwnerMayDestroyThePlayerOnItsReport) {
    auto* player = new MediaPlayer(MediaDevice::WaveAudio);
    player->SetNotify(&owner, kDone);
    owner.OnMessage(kDone, [&](WPARAM w, LPARAM) {
        owner.reports.push_back(static_cast<int>(w));
        delete player;
        player = nullptr;
        return LRESULT(0);
    });
    ASSERT_EQ(player->PlayFile(Write("a.wav", WavImage(8000, Ramp(2000)))), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(player, nullptr);
    EXPECT_EQ(owner.reports, std::vector<int>{1});
}

TEST_F(Media, StopCutsThePlaybackShortAndANewPlayReplacesIt) {
    SetVirtualSpeed(1);
    const QByteArray samples = Ramp(8000 * 2 * 20);  // twenty seconds
    const QString path = Write("long.wav", WavImage(8000, samples));
    MediaPlayer player(MediaDevice::WaveAudio);
    player.SetNotify(&owner, kDone);
    ASSERT_EQ(player.PlayFile(path), MediaError::None);
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_EQ(player.PlayFile(path), MediaError::None);  // the first is cut short
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    ASSERT_TRUE(WaitReports(2));
    EXPECT_EQ(owner.reports, (std::vector<int>{0, 0}));
    EXPECT_LT(TakeVirtualOutput().size(), samples.size());
}

TEST_F(Media, FilesThatCannotPlayFailWithoutAReport) {
    MediaPlayer wave(MediaDevice::WaveAudio), midi(MediaDevice::Sequencer);
    wave.SetNotify(&owner, kDone);
    midi.SetNotify(&owner, kDone);
    const QString readme = Write("readme", "Nothing to hear here.\n");
    EXPECT_EQ(wave.PlayFile(dir.filePath("missing.wav")), MediaError::NoFile);
    EXPECT_EQ(wave.PlayFile(readme), MediaError::BadFormat);
    EXPECT_EQ(midi.PlayFile(readme), MediaError::BadFormat);
    // A WAV whose data chunk claims more than the file holds plays what is there; an odd
    // chunk before the format is stepped over with its pad byte.
    QByteArray cut = WavImage(8000, Ramp(1000));
    cut.insert(12, "LIST" + Le32(3) + "abc" + '\0');
    cut.replace(4, 4, Le32(cut.size() - 8));
    cut.chop(600);
    ASSERT_EQ(wave.PlayFile(Write("cut.wav", cut)), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(TakeVirtualOutput(), Ramp(400));
    EXPECT_FALSE(wave.IsPlaying() || midi.IsPlaying());
}

TEST_F(Media, MidiRendersSoundAndEnds) {
    ASSERT_TRUE(MediaDeviceReady(MediaDevice::Sequencer));
    MediaPlayer player(MediaDevice::Sequencer);
    player.SetNotify(&owner, kDone);
    ASSERT_EQ(player.PlayFile(Write("SONG.MID", SmallSong())), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(owner.reports, std::vector<int>{1});
    WAVEFORMATEX format{};
    const QByteArray out = TakeVirtualOutput(&format);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.wBitsPerSample, 16);
    // At least the half-second note, and not a silent rendering.
    ASSERT_GE(out.size(), 44100 * 4 / 2);
    const PcmPeak peak = MeasurePeak(format, out.constData(), static_cast<size_t>(out.size()));
    EXPECT_GT(peak.left, 500);
}

TEST_F(Media, RiffMidiIsUnwrapped) {
    const QByteArray smf = SmallSong();
    EXPECT_EQ(UnwrapRiffMidi(smf), smf);
    EXPECT_EQ(UnwrapRiffMidi(RmidImage(smf)), smf);
    // A data chunk larger than its form, or a form without one, gives nothing.
    QByteArray lying = RmidImage(smf);
    lying.replace(16, 4, Le32(0x7FFFFFF0));
    EXPECT_TRUE(UnwrapRiffMidi(lying).isEmpty());
    EXPECT_TRUE(UnwrapRiffMidi("RIFF" + Le32(4) + "RMID").isEmpty());
    EXPECT_TRUE(UnwrapRiffMidi("RIFF").isEmpty());

    MediaPlayer player(MediaDevice::Sequencer);
    player.SetNotify(&owner, kDone);
    ASSERT_EQ(player.PlayFile(Write("song.rmi", RmidImage(smf))), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(owner.reports, std::vector<int>{1});
}

TEST_F(Media, MidiWithoutItsSoundFontIsNotReady) {
    SetMidiSoundFontPath(dir.filePath("none.sf2"));
    EXPECT_FALSE(MediaDeviceReady(MediaDevice::Sequencer));
    EXPECT_TRUE(MediaDeviceReady(MediaDevice::WaveAudio));
    MediaPlayer player(MediaDevice::Sequencer);
    EXPECT_EQ(player.PlayFile(Write("a.mid", SmallSong())), MediaError::NotReady);
}

TEST_F(Media, CdTracksPlayFromAnImage) {
    // Two audio tracks of 30 sectors each, told apart by their bytes.
    constexpr int kSector = 2352;
    Write("disc.bin", QByteArray(30 * kSector, '\x11') + QByteArray(30 * kSector, '\x22'));
    const QString cue = Write("disc.cue",
                              "FILE \"disc.bin\" BINARY\n"
                              "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:00:30\n");
    SetCdAudioSource(cue);
    ASSERT_TRUE(MediaDeviceReady(MediaDevice::CdAudio));
    MediaPlayer player(MediaDevice::CdAudio);
    player.SetNotify(&owner, kDone);
    EXPECT_EQ(player.PlayFile(cue), MediaError::BadFormat);
    EXPECT_EQ(player.PlayTracks(3, 4), MediaError::NoTrack);
    ASSERT_EQ(player.PlayTracks(1, 2), MediaError::None);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(TakeVirtualOutput(), QByteArray(30 * kSector, '\x11'));
    ASSERT_EQ(player.PlayTracks(1, 9), MediaError::None);  // to the end of the disc
    ASSERT_TRUE(WaitReports(2));
    EXPECT_EQ(TakeVirtualOutput().size(), 60 * kSector);

    SetCdAudioSource(dir.filePath("nothing.cue"));
    EXPECT_FALSE(MediaDeviceReady(MediaDevice::CdAudio));
    EXPECT_EQ(player.PlayTracks(1, 2), MediaError::NotReady);
}

}  // namespace
