#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>

#include "tdkit/audio/wndplaylist.h"

namespace {

QCoreApplication& App() {
    // Also when the test list is read, outside the tests' own environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "playlist_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QApplication(argc, argv);
    return *app;
}

// The play list starts its retry timer when it is built, so the application must exist
// (a widget application: other tests of this program make widgets)
// before any fixture does.
const bool kAppReady = (App(), true);

// A player that records what it was asked to play.
struct FakePlayer : IFilePlayer {
    explicit FakePlayer(std::vector<QString>* log, bool* ready) : log(log), ready(ready) {}
    int Play(const QString& path) override {
        log->push_back(path);
        return path.contains("bad") ? 0 : 1;
    }
    int StopPlay() override { return 1; }
    int StillPlaying() override { return 0; }
    int IsDeviceReady() override { return *ready ? 1 : 0; }
    std::vector<QString>* log;
    bool* ready;
};

class PlayList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kAppReady);
        list.SetPlayers(std::make_unique<FakePlayer>(&waves, &waveReady),
                        std::make_unique<FakePlayer>(&midis, &midiReady));
        list.OnMessage(WM_PLAYLIST_TRACKCHANGED, [this](WPARAM w, LPARAM) {
            tracks.push_back(static_cast<int>(w));
            return LRESULT(0);
        });
    }
    void Pump() { QCoreApplication::processEvents(); }

    struct Quiet : CWndPlayList {
        void ShowPlayError(const QString& text) override { errors << text; }
        QStringList errors;
    } list;
    std::vector<QString> waves, midis;
    bool waveReady = true, midiReady = true;
    std::vector<int> tracks;
};

TEST_F(PlayList, PlaysInOrderAndStopsAfterTheLastTrack) {
    for (const char* f : {"/m/a.wav", "/m/SONG.MID", "/m/c.Wav"})
        list.AddToPlayList(f);
    list.PlayList(0);
    list.OnTrackEnded(true);
    list.OnTrackEnded(true);
    EXPECT_TRUE(list.IsSomethingPlaying());
    list.OnTrackEnded(true);
    Pump();
    EXPECT_FALSE(list.IsSomethingPlaying());
    EXPECT_EQ(waves, (std::vector<QString>{"/m/a.wav", "/m/c.Wav"}));
    EXPECT_EQ(midis, (std::vector<QString>{"/m/SONG.MID"}));
    EXPECT_EQ(tracks, (std::vector<int>{0, 1, 2, -1}));
    // Reports of cut-short tracks change nothing.
    list.OnTrackEnded(false);
    EXPECT_EQ(waves.size(), 2u);
}

TEST_F(PlayList, LoopingStartsOverUnlessPaused) {
    list.AddToPlayList("/m/a.wav");
    list.AddToPlayList("/m/b.wav");
    list.PlayList(1);
    list.OnTrackEnded(true);
    list.OnTrackEnded(true);
    EXPECT_EQ(waves, (std::vector<QString>{"/m/a.wav", "/m/b.wav", "/m/a.wav"}));
    EXPECT_EQ(list.GetCurrentTrackIndex(), 0);
    list.NextTrack();
    list.PausePlay();
    list.OnTrackEnded(true);
    EXPECT_FALSE(list.IsSomethingPlaying());
}

TEST_F(PlayList, ASingleChosenTrackPlaysAlone) {
    for (const char* f : {"/m/a.wav", "/m/b.wav", "/m/c.wav"})
        list.AddToPlayList(f);
    list.PlayTrackIndex(1, 0);
    list.OnTrackEnded(true);
    EXPECT_FALSE(list.IsSomethingPlaying());
    EXPECT_EQ(waves, (std::vector<QString>{"/m/b.wav"}));
    list.PlayTrackIndex(7, 1);  // outside the list: ignored
    EXPECT_EQ(waves.size(), 1u);
}

TEST_F(PlayList, FilesWithoutExtensionAndFailuresPlayNothing) {
    list.AddToPlayList("/m/readme");
    list.PlayList(0);
    EXPECT_TRUE(waves.empty());
    EXPECT_TRUE(midis.empty());

    list.PurgePlayList();
    list.AddToPlayList("/m/bad.wav");
    list.PlayList(0);
    ASSERT_EQ(list.errors.size(), 1);
    EXPECT_EQ(list.errors[0], "The file /m/bad.wav could not be played.");
    list.SetWarn(0);
    list.PlayList(0);
    EXPECT_EQ(list.errors.size(), 1) << "warnings off";
}

TEST_F(PlayList, ABusyDeviceIsRetriedUntilItIsFree) {
    waveReady = false;
    list.AddToPlayList("/m/a.wav");
    list.PlayList(0);
    Pump();  // the not-ready notice arms the retry
    EXPECT_TRUE(waves.empty());
    waveReady = true;
    for (int i = 0; i < 400 && waves.empty(); ++i) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(waves, (std::vector<QString>{"/m/a.wav"}));
}

}  // namespace
