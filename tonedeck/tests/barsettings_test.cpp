#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/registry.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tonedeck/barsettings.h"

namespace {

class BarSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        ASSERT_TRUE(GetTonedeckPropertiesFilePath(path_));
    }
    void TearDown() override { qunsetenv("TONEDECK_REGISTRY_DIR"); }
    QTemporaryDir dir_;
    QString path_;
};

TEST_F(BarSettings, AnUnusableFileIsReplacedByDefaultsAndMarksAFirstStart) {
    PROPERTIES record = DefaultProperties({0, 0, 56, 480});
    SettingsLoad load = LoadBarSettings(&record);
    EXPECT_TRUE(load.firstStart);
    EXPECT_TRUE(load.written);
    EXPECT_EQ(QFile(path_).size(), 2140);

    // A file one byte short is not used and is overwritten with the defaults.
    PROPERTIES saved = record;
    saved.DockState.nEdge = 2;
    ASSERT_TRUE(WritePropertiesFile(path_, saved));
    QFile f(path_);
    ASSERT_TRUE(f.resize(2139));
    record = DefaultProperties({0, 0, 56, 480});
    load = LoadBarSettings(&record);
    EXPECT_TRUE(load.firstStart);
    EXPECT_EQ(record.DockState.nEdge, 0);
    EXPECT_EQ(QFile(path_).size(), 2140);

    // A good file is used as it stands.
    ASSERT_TRUE(WritePropertiesFile(path_, saved));
    load = LoadBarSettings(&record);
    EXPECT_FALSE(load.firstStart);
    EXPECT_EQ(record.DockState.nEdge, 2);
}

TEST_F(BarSettings, WithoutARootTheDefaultsServeAndNothingIsWritten) {
    RegKey::Open(RegRoot::CurrentUser, kProductKey)->DeleteValue("RootPath");
    PROPERTIES record = DefaultProperties({0, 0, 56, 480});
    const SettingsLoad load = LoadBarSettings(&record);
    EXPECT_TRUE(load.firstStart);
    EXPECT_FALSE(load.written);
    EXPECT_TRUE(load.path.isEmpty());
}

TEST_F(BarSettings, BadDockingValuesAreRepairedSilently) {
    const std::vector<QRect> screens{QRect(0, 0, 1024, 768), QRect(1024, 0, 800, 600)};
    const RECT fallback{0, 0, 112, 480};
    DOCKSTATE dock{};
    for (int edge : {-2, -1, 4, 1000}) {
        dock.nEdge = edge;
        RepairDockState(dock, screens, fallback);
        EXPECT_EQ(dock.nEdge, 0) << edge;
    }
    dock.nEdge = 3;
    dock.rcFloat = {1500, 100, 1600, 200};  // on the second screen
    RepairDockState(dock, screens, fallback);
    EXPECT_EQ(dock.nEdge, 3);
    EXPECT_EQ(dock.rcFloat.left, 1500);
    for (RECT bad :
         {RECT{5000, 5000, 5100, 5100}, RECT{10, 10, 10, 50}, RECT{INT32_MIN, 0, INT32_MAX, 10}}) {
        dock.rcFloat = bad;
        RepairDockState(dock, screens, fallback);
        EXPECT_EQ(dock.rcFloat.right, 112);
    }

    SetBarThickness(dock, 3000, 0);
    EXPECT_EQ(dock.nThickness[0], 56);
    EXPECT_EQ(dock.nThickness[2], 56);
    EXPECT_EQ(dock.nThickness[1], 1);
    SetBarThickness(dock, 40, 480);
    EXPECT_EQ(dock.nThickness[0], 40);
    EXPECT_EQ(dock.nThickness[3], 56);
}

TEST_F(BarSettings, SavingTakesTheLiveDockingState) {
    PROPERTIES record = DefaultProperties({0, 0, 56, 480});
    DOCKSTATE live = record.DockState;
    live.dwSize = 12;
    live.nEdge = 1;
    live.bAutoHide = 1;
    ASSERT_TRUE(SaveBarSettings(path_, record, live));
    PROPERTIES read;
    ASSERT_TRUE(ReadPropertiesFile(path_, &read));
    EXPECT_EQ(read.DockState.dwSize, 56u);
    EXPECT_EQ(read.DockState.nEdge, 1);
    EXPECT_EQ(read.DockState.bAutoHide, 1);
}

TEST_F(BarSettings, AFileReplacedWhileTheBarRanIsNotWrittenOver) {
    PROPERTIES record = DefaultProperties({0, 0, 56, 480});
    SettingsLoad load = LoadBarSettings(&record);
    ASSERT_TRUE(load.stamp.exists);
    EXPECT_TRUE(SettingsFileIsOurs(path_, load.stamp));
    // Rewritten in place with other content of the same length, then replaced by a
    // shorter file (a user asking for a fresh start): neither is the bar's any more.
    {
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(100);
        f.write("x");
    }
    EXPECT_FALSE(SettingsFileIsOurs(path_, load.stamp));
    load = LoadBarSettings(&record);
    EXPECT_TRUE(SettingsFileIsOurs(path_, load.stamp));
    QFile::remove(path_);
    {
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2139, '\0'));
    }
    EXPECT_FALSE(SettingsFileIsOurs(path_, load.stamp));
    // Removed altogether: the bar writes it again.
    QFile::remove(path_);
    EXPECT_TRUE(SettingsFileIsOurs(path_, load.stamp));
}

TEST(BarTicksTest, PollsAndChecksAtTheirIntervals) {
    BarTicks ticks;
    ticks.Reset(2);
    int polls = 0, checks = 0;
    for (int i = 0; i < 60; ++i) {
        const auto a = ticks.Tick(true, 2, 1000, false);
        polls += a.poll;
        checks += a.secondCheck;
    }
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(checks, 6);
    // Without a panel there is no polling.
    polls = 0;
    for (int i = 0; i < 60; ++i)
        polls += ticks.Tick(false, 2, 1000, false).poll;
    EXPECT_EQ(polls, 0);
}

TEST(BarTicksTest, MemosStartOncePerMinuteWithoutSkippingAny) {
    BarTicks ticks;
    ticks.Reset(30);
    // Second checks that drift against the clock: every 1.1 s, starting mid-minute.
    std::vector<int64_t> startedMinutes;
    double clock = 6000 * 60 + 37.5;
    for (int check = 0; check < 400; ++check) {
        for (int t = 0; t < 9; ++t)
            ticks.Tick(true, 30, int64_t(clock), false);
        const auto a = ticks.Tick(true, 30, int64_t(clock), false);
        ASSERT_TRUE(a.secondCheck);
        if (a.playMemos)
            startedMinutes.push_back(int64_t(clock) / 60);
        clock += 1.1;
    }
    ASSERT_FALSE(startedMinutes.empty());
    EXPECT_EQ(startedMinutes.front(), 6001) << "not in the minute the bar started";
    for (size_t i = 1; i < startedMinutes.size(); ++i)
        EXPECT_EQ(startedMinutes[i], startedMinutes[i - 1] + 1);
}

TEST(BarTicksTest, NoMemosDuringTheFirstStart) {
    BarTicks ticks;
    int64_t now = 120 * 60;
    bool played = false;
    for (int i = 0; i < 1200; ++i, now += (i % 10 == 0))
        played |= ticks.Tick(true, 30, now, true).playMemos;
    EXPECT_FALSE(played);
    bool afterWelcome = false;
    for (int i = 0; i < 1300; ++i, now += (i % 10 == 0))
        afterWelcome |= ticks.Tick(true, 30, now, false).playMemos;
    EXPECT_TRUE(afterWelcome);
}

}  // namespace
