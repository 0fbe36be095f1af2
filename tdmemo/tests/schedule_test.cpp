#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "tdmemo/schedule.h"

namespace {

struct Zone {
    const char* name;
    const char* tz;
    int spring[3], fall[3];  // days the clock goes forward and back in 2024
    int gapHour, repeatedHour;
};

std::string Local(time_t t) {
    tm f{};
    localtime_r(&t, &f);
    char s[40];
    strftime(s, sizeof s, "%Y-%m-%d %H:%M:%S %a", &f);
    return s;
}

time_t At(const char* text) {
    int y, mo, d, h, mi, s = 0;
    EXPECT_GE(sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s), 5) << text;
    return MakeLocalTime(y, mo, d, h, mi, s);
}

ECHOMEMOSTRUCT Memo(int kind, int32_t time, int a = 0, int b = 0) {
    ECHOMEMOSTRUCT m{};
    m.frequency = kind;
    m.hourlyTime = m.dailyTime = m.weeklyTime = m.monthlyTime = m.yearlyTime = time;
    m.dailyDays = m.weeklyDay = m.monthlyDay = m.yearlyMonth = static_cast<uint16_t>(a);
    m.yearlyDay = static_cast<uint16_t>(b);
    m.onceYear = a, m.onceMonth = m.onceDay = static_cast<uint16_t>(b), m.onceTime = time;
    return m;
}

std::string Next(const ECHOMEMOSTRUCT& m, time_t now, int wantScheduled = 1) {
    int scheduled = -1;
    const time_t next = NextPlayTime(m, now, &scheduled);
    EXPECT_EQ(scheduled, wantScheduled);
    return Local(next);
}

// Runs the player's rule at every whole minute of [from, to): a due memo plays and its
// next time is computed afresh at that minute.
std::vector<time_t> Plays(ECHOMEMOSTRUCT m, time_t from, time_t to) {
    std::vector<time_t> plays;
    int scheduled;
    time_t next = NextPlayTime(m, from, &scheduled);
    for (time_t t = from - from % 60; t < to; t += 60) {
        if (next > t)
            continue;
        plays.push_back(t);
        m.lastPlayed = static_cast<uint32_t>(t);
        next = NextPlayTime(m, t, &scheduled);
    }
    return plays;
}

class Schedule : public ::testing::TestWithParam<Zone> {
protected:
    void SetUp() override { setenv("TZ", GetParam().tz, 1), tzset(); }
    void TearDown() override { unsetenv("TZ"), tzset(); }
};

constexpr int32_t k9 = 9 * 3600, k10 = 10 * 3600, k20 = 20 * 3600;

TEST_P(Schedule, EachKindFindsItsNextTime) {
    const struct {
        ECHOMEMOSTRUCT memo;
        const char* now;
        const char* next;
    } cases[] = {
        {Memo(MEMO_HOURLY, 900), "2025-06-04 10:15:00", "2025-06-04 11:15:00 Wed"},
        {Memo(MEMO_HOURLY, 900), "2025-06-04 10:14:59", "2025-06-04 10:15:00 Wed"},
        {Memo(MEMO_HOURLY, 900), "2025-12-31 23:40", "2026-01-01 00:15:00 Thu"},
        {Memo(MEMO_DAILY, k9, 1 << 1), "2025-06-02 09:00", "2025-06-09 09:00:00 Mon"},
        {Memo(MEMO_DAILY, k9, 1 << 1), "2025-06-02 08:59", "2025-06-02 09:00:00 Mon"},
        {Memo(MEMO_DAILY, k9, 1 << 6 | 1 << 1), "2025-06-07 10:00", "2025-06-09 09:00:00 Mon"},
        {Memo(MEMO_WEEKLY, k20, 1), "2026-01-29 12:00", "2026-02-01 20:00:00 Sun"},
        {Memo(MEMO_WEEKLY, k20, 1), "2025-11-30 21:00", "2025-12-07 20:00:00 Sun"},
        {Memo(MEMO_WEEKLY, k20, 1), "2025-11-30 19:59", "2025-11-30 20:00:00 Sun"},
        {Memo(MEMO_WEEKLY, k20, 7), "2025-11-30 19:00", "2025-12-06 20:00:00 Sat"},
        {Memo(MEMO_MONTHLY, k10, 31), "2025-04-10 12:00", "2025-05-01 10:00:00 Thu"},
        // Above 31: the month's last day.
        {Memo(MEMO_MONTHLY, k10, 32), "2025-04-10 12:00", "2025-04-30 10:00:00 Wed"},
        {Memo(MEMO_MONTHLY, k10, 40), "2025-04-30 12:00", "2025-05-31 10:00:00 Sat"},
        {Memo(MEMO_MONTHLY, k10, 32), "2024-01-31 12:00", "2024-02-29 10:00:00 Thu"},
        {Memo(MEMO_YEARLY, k10, 3, 5), "2025-03-20 12:00", "2026-03-05 10:00:00 Thu"},
        {Memo(MEMO_YEARLY, k10, 2, 29), "2025-01-01 00:00", "2025-03-01 10:00:00 Sat"},
        {Memo(MEMO_ONCE, k10 + 30, 2025, 3), "2025-06-01 00:00", "2025-03-03 10:00:30 Mon"},
        // Nothing lies past NEVER_TIME.
        {Memo(MEMO_ONCE, k10, 2040, 3), "2025-06-01 00:00", "2037-12-31 23:59:59 Thu"},
        {Memo(MEMO_YEARLY, k10, 3, 5), "2037-03-06 00:00", "2037-12-31 23:59:59 Thu"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Next(c.memo, At(c.now)), c.next) << c.memo.frequency << " at " << c.now;

    EXPECT_EQ(Next(Memo(MEMO_USER_INITIATED, k10), 0, 0), "2037-12-31 23:59:59 Thu");
}

// A "Once" memo on the last day of a long month is a date like any other; day 32 is not.
TEST_P(Schedule, OnceOnTheThirtyFirstIsInRange) {
    ECHOMEMOSTRUCT once{};
    once.frequency = MEMO_ONCE;
    once.onceTime = k10;
    once.onceYear = 2025;
    once.onceMonth = 12;
    once.onceDay = 31;
    EXPECT_EQ(Next(once, At("2025-06-01 00:00")), "2025-12-31 10:00:00 Wed");
    once.onceMonth = 1;
    EXPECT_EQ(Next(once, At("2025-01-30 12:00")), "2025-01-31 10:00:00 Fri");
    once.onceDay = 32;
    int scheduled = -1;
    EXPECT_EQ(Local(NextPlayTime(once, At("2025-01-30 12:00"), &scheduled)),
              "2037-12-31 23:59:59 Thu");
}

TEST_P(Schedule, CatchUpWithNotificationAndOutOfRangeFields) {
    ECHOMEMOSTRUCT daily = Memo(MEMO_DAILY, k9, 127);
    const time_t now = At("2025-06-04 12:00:07");
    daily.lastPlayed = static_cast<uint32_t>(now - 86401);
    EXPECT_EQ(Next(daily, now), "2025-06-05 09:00:00 Thu") << "without notification";
    daily.notify = 1;
    EXPECT_EQ(Next(daily, now), "2025-06-04 12:00:07 Wed");
    daily.lastPlayed += 2;
    EXPECT_EQ(Next(daily, now), "2025-06-05 09:00:00 Thu");
    // In March a monthly memo compares with February's length: 29 days in 2024, 28 in 2025.
    ECHOMEMOSTRUCT monthly = Memo(MEMO_MONTHLY, 0, 20);
    monthly.notify = 1;
    for (const char* march : {"2024-03-10 12:00", "2025-03-10 12:00"}) {
        monthly.lastPlayed = static_cast<uint32_t>(At(march) - 29 * 86400);
        EXPECT_EQ(Next(monthly, At(march)).substr(0, 10),
                  march[3] == '4' ? "2024-03-20" : "2025-03-10");
    }

    // Kind, time and the two day fields of Memo(): each memo has one out of range.
    // clang-format off
    const int bad[] = {7, k9, 0, 0,  -1, k9, 0, 0,  MEMO_WEEKLY, k9, 0, 0,  MEMO_WEEKLY, k9, 8, 0,
                       MEMO_YEARLY, k9, 13, 1,  MEMO_YEARLY, k9, 1, 0,  MEMO_MONTHLY, k9, 0, 0,
                       MEMO_DAILY, 86400, 127, 0,  MEMO_DAILY, -60, 127, 0,  MEMO_DAILY, k9, 0, 0,
                       MEMO_DAILY, k9, 0x80, 0,  MEMO_HOURLY, 3600, 0, 0,  MEMO_ONCE, k9, 2025, 0,
                       MEMO_ONCE, 86400, 2025, 1};
    // clang-format on
    for (std::size_t i = 0; i < std::size(bad); i += 4) {
        ECHOMEMOSTRUCT m = Memo(bad[i], bad[i + 1], bad[i + 2], bad[i + 3]);
        m.notify = 1;  // the catch-up rule must not make them due either
        EXPECT_EQ(Next(m, now, 0), "2037-12-31 23:59:59 Thu") << "memo " << i / 4;
    }
}

TEST_P(Schedule, ATimeWithSecondsPlaysOncePerPeriod) {
    const int32_t t = k10 + 30;
    for (ECHOMEMOSTRUCT m : {Memo(MEMO_DAILY, t, 1 << 4), Memo(MEMO_WEEKLY, t, 5),
                             Memo(MEMO_MONTHLY, t, 5), Memo(MEMO_YEARLY, t, 6, 5)}) {
        int scheduled;
        const time_t first = NextPlayTime(m, At("2025-06-01 00:00"), &scheduled);
        EXPECT_EQ(Local(first), "2025-06-05 10:00:00 Thu") << m.frequency;
        EXPECT_GT(NextPlayTime(m, first, &scheduled), first + 86400) << m.frequency;
        EXPECT_GT(NextPlayTime(m, first + 45, &scheduled), first + 86400) << m.frequency;
    }
}

TEST_P(Schedule, DaylightSavingChanges) {
    const Zone& z = GetParam();
    for (const int* day : {z.spring, z.fall}) {
        const auto midnight = [&](int days) {
            return MakeLocalTime(day[0], day[1], day[2] + days, 0, 0, 0);
        };
        // At its local time on every day, so 23 or 25 hours apart across the change.
        const auto daily = Plays(Memo(MEMO_DAILY, k10, 127), midnight(-1), midnight(2));
        ASSERT_EQ(daily.size(), 3u);
        for (time_t p : daily)
            EXPECT_EQ(Local(p).substr(11, 8), "10:00:00");
        EXPECT_EQ(daily[1] - daily[0], day == z.spring ? 23 * 3600 : 25 * 3600);
        EXPECT_EQ(daily[2] - daily[1], 24 * 3600);
        // Once on the day itself at a time in the skipped or repeated hour (the first of a
        // repeated time), and once in every real hour for an hourly memo.
        const int hour = day == z.spring ? z.gapHour : z.repeatedHour;
        const int32_t odd = hour * 3600 + 30 * 60;
        const auto plays = Plays(Memo(MEMO_DAILY, odd, 127), midnight(0), midnight(1));
        ASSERT_EQ(plays.size(), 1u);
        EXPECT_EQ(plays[0] - midnight(0), odd) << Local(plays[0]);
        char want[16];
        snprintf(want, sizeof want, "%02d:30:00", day == z.spring ? hour + 1 : hour);
        EXPECT_EQ(Local(plays[0]).substr(11, 8), want);
        if (day == z.fall) {  // reckoned in the hour's second pass: its second 30 minutes
            EXPECT_EQ(Plays(Memo(MEMO_DAILY, odd, 127), plays[0] + 3000, midnight(1)),
                      std::vector<time_t>{plays[0] + 3600});
        }
        const auto hourly = Plays(Memo(MEMO_HOURLY, 15 * 60), midnight(0), midnight(1));
        EXPECT_EQ(hourly.size(), day == z.spring ? 23u : 25u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Zones, Schedule,
    ::testing::Values(Zone{"NewYork", "America/New_York", {2024, 3, 10}, {2024, 11, 3}, 2, 1},
                      Zone{"Berlin", "Europe/Berlin", {2024, 3, 31}, {2024, 10, 27}, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
