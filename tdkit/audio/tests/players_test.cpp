#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <vector>

#include "platform/audiobackend.h"
#include "platform/media.h"
#include "platform/message.h"
#include "tdkit/audio/players.h"

namespace {

QCoreApplication& App() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "players_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QApplication(argc, argv);
    return *app;
}

QByteArray Le32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray WavImage(const QByteArray& data) {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    QByteArray image = "RIFF" + Le32(36 + data.size()) + "WAVEfmt " + Le32(16);
    image.append(reinterpret_cast<const char*>(&f), 16);
    return image + "data" + Le32(data.size()) + data;
}

// A half-second note: a format 0 standard MIDI file.
QByteArray SmallSong() {
    const QByteArray track = QByteArray::fromHex(
        "00903c64"
        "60803c00"
        "00ff2f00");
    return "MThd" + QByteArray::fromHex("00000006000000010060") + "MTrk" +
           QByteArray::fromHex("000000") + char(track.size()) + track;
}

// Collects the players' end reports.
class Owner : public QObject, public MessageReceiver {
public:
    Owner() : MessageReceiver(this) {
        OnMessage(MM_PLAYDONE, [this](WPARAM w, LPARAM) {
            reports.push_back(static_cast<int>(w));
            return LRESULT(0);
        });
    }
    std::vector<int> reports;
};

class Players : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        SetVirtualCapture(64 << 20);
        TakeVirtualOutput();
        ASSERT_TRUE(dir.isValid());
    }
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Runs the event loop until done() holds (bounded).
    template <typename F>
    bool PumpUntil(F done) {
        QDeadlineTimer deadline(30000);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        QCoreApplication::processEvents();
        return done();
    }
    QTemporaryDir dir;
    Owner owner;
};

TEST_F(Players, WaveAndMidiPlayersReportTheEndToTheirOwner) {
    CMCIWaveOut wave(&owner);
    CMidiOut midi(&owner);
    EXPECT_EQ(wave.IsDeviceReady(), 1);
    EXPECT_EQ(midi.IsDeviceReady(), 1);
    EXPECT_EQ(wave.Play(Write("readme", "text")), 0);
    EXPECT_EQ(midi.Play(dir.filePath("gone.mid")), 0);
    EXPECT_EQ(wave.StillPlaying(), 0);

    ASSERT_EQ(wave.Play(Write("note.wav", WavImage(QByteArray(5000, 'a')))), 1);
    ASSERT_TRUE(PumpUntil([&] { return !owner.reports.empty(); }));
    EXPECT_EQ(owner.reports, std::vector<int>{1});
    EXPECT_EQ(wave.StillPlaying(), 0);
    EXPECT_EQ(TakeVirtualOutput(), QByteArray(5000, 'a'));
    EXPECT_EQ(wave.StopPlay(), 1);
}

TEST_F(Players, CdPlayerWithoutADiscIsNotReady) {
    SetCdAudioSource(dir.filePath("no-disc.cue"));
    CCDOut cd(&owner);
    EXPECT_EQ(cd.IsDeviceReady(), 0);
    EXPECT_EQ(cd.PlayTracks(1, 2), 0);
    EXPECT_EQ(cd.StillPlaying(), 0);
    EXPECT_EQ(cd.StopPlay(), 1);
    SetCdAudioSource({});
}

TEST_F(Players, PlayListPlaysItsFilesInOrderThroughTheRealPlayers) {
    struct List : CWndPlayList {
        void ShowPlayError(const QString& text) override { errors << text; }
        QStringList errors;
    } list;
    std::vector<int> tracks;
    list.OnMessage(WM_PLAYLIST_TRACKCHANGED, [&](WPARAM w, LPARAM) {
        tracks.push_back(static_cast<int>(w));
        return LRESULT(0);
    });
    list.AddToPlayList(Write("one.wav", WavImage(QByteArray(3000, 'x'))));
    list.AddToPlayList(Write("TWO.WAV", WavImage(QByteArray(2000, 'y'))));
    list.AddToPlayList(Write("SONG.MID", SmallSong()));
    list.PlayList(0);
    EXPECT_TRUE(list.IsSomethingPlaying());
    ASSERT_TRUE(PumpUntil([&] { return !tracks.empty() && tracks.back() == -1; }));
    EXPECT_EQ(tracks, (std::vector<int>{0, 1, 2, -1}));
    EXPECT_FALSE(list.IsSomethingPlaying());
    // The two WAV files as they are, then the song rendered in 16-bit stereo.
    WAVEFORMATEX format{};
    const QByteArray out = TakeVirtualOutput(&format);
    EXPECT_TRUE(out.startsWith(QByteArray(3000, 'x') + QByteArray(2000, 'y')));
    EXPECT_GE(out.size() - 5000, 44100 * 4 / 2);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_TRUE(list.errors.isEmpty());
}

}  // namespace
