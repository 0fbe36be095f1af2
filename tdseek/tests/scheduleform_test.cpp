#include <gtest/gtest.h>

#include "tdseek/scheduleform.h"

namespace {

TEST(ScheduleForm, FrequencyPositionsAndCodesRoundTrip) {
    EXPECT_EQ(PositionToFrequency(0), 0);
    EXPECT_EQ(PositionToFrequency(1), 1);
    EXPECT_EQ(PositionToFrequency(2), 24);
    EXPECT_EQ(PositionToFrequency(3), 2);
    for (int code : {0, 1, 2, 24})
        EXPECT_EQ(PositionToFrequency(FrequencyToPosition(code)), code);
    EXPECT_EQ(FrequencyToPosition(3), 0) << "an unknown code shows as User Initiated";
    EXPECT_EQ(PositionToFrequency(4), 0);
    EXPECT_EQ(PositionToFrequency(-1), 0);
}

TEST(ScheduleForm, TwelveOClockIsMidnightAMAndNoonPM) {
    struct Case {
        DWORD seconds;
        int hours, minutes;
        bool pm;
    };
    const Case cases[] = {{0, 12, 0, false},        {30 * 60, 12, 30, false},
                          {3600, 1, 0, false},      {11 * 3600 + 59 * 60, 11, 59, false},
                          {12 * 3600, 12, 0, true}, {12 * 3600 + 15 * 60, 12, 15, true},
                          {13 * 3600, 1, 0, true},  {23 * 3600 + 59 * 60, 11, 59, true}};
    for (const Case& c : cases) {
        const ClockTime t = DailyClock(c.seconds);
        EXPECT_EQ(t.hours, c.hours) << c.seconds;
        EXPECT_EQ(t.minutes, c.minutes) << c.seconds;
        EXPECT_EQ(t.pm, c.pm) << c.seconds;
        EXPECT_EQ(DailySeconds(t), c.seconds) << "round trip of " << c.seconds;
    }
}

TEST(ScheduleForm, IntervalsAndSpins) {
    const ClockTime t = IntervalClock(5400);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 30);
    EXPECT_EQ(IntervalSeconds(t), 5400u);
    EXPECT_EQ(WrapSpin(13, 1, 12), 1);
    EXPECT_EQ(WrapSpin(0, 1, 12), 12);
    EXPECT_EQ(WrapSpin(60, 0, 59), 0);
    EXPECT_EQ(WrapSpin(-1, 0, 59), 59);
    EXPECT_EQ(WrapSpin(12, 1, 12), 12);
}

}  // namespace
