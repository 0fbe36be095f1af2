#include <gtest/gtest.h>

#include <atomic>

#include "platform/levels.h"

namespace {

std::atomic<int64_t> fakeNow{1000};
int64_t FakeClock() {
    return fakeNow.load();
}

// A level is the last one reported for its source until a quarter second has passed
// without another; then it reads as silence.
TEST(Levels, APeakGoesStaleAfterAQuarterSecond) {
    SetLevelClock(FakeClock);
    fakeNow = 1000;
    ReportPeak(LevelSource::Input, 1200, 3400);
    PeakLevel p = CurrentPeak(LevelSource::Input);
    EXPECT_EQ(p.left, 1200);
    EXPECT_EQ(p.right, 3400);
    EXPECT_EQ(CurrentPeak(LevelSource::Output).left, 0) << "the sources are apart";
    fakeNow = 1250;
    EXPECT_EQ(CurrentPeak(LevelSource::Input).right, 3400);
    fakeNow = 1251;
    p = CurrentPeak(LevelSource::Input);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.right, 0);
    ReportPeak(LevelSource::Input, 7, 8);
    EXPECT_EQ(CurrentPeak(LevelSource::Input).left, 7) << "a new report is fresh again";
    SetLevelClock(nullptr);
}

}  // namespace
