#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
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

void PrintTo(const Zone& z, std::ostream* os) {
    *os << z.name;
}

std::string Local(time_t t) {
    tm f{};
    localtime_r(&t, &f);
    char s[40];
    strftime(s, sizeof s, "%Y-%m-%d %H:%M:%S %a", &f);
    return s;
}

ECHOMEMOSTRUCT Memo(int kind, int32_t time, int a = 0, int b = 0) {
    ECHOMEMOSTRUCT m{};
    m.frequency = kind;
    m.hourlyTime = m.dailyTime = m.weeklyTime = m.monthlyTime = m.yearlyTime = time;
    m.dailyDays = static_cast<uint16_t>(a);
    m.weeklyDay = m.monthlyDay = static_cast<uint16_t>(a);
    m.yearlyMonth = static_cast<uint16_t>(a);
    m.yearlyDay = static_cast<uint16_t>(b);
    return m;
}

class Schedule : public ::testing::TestWithParam<Zone> {
protected:
    void SetUp() override {
        setenv("TZ", GetParam().tz, 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
    static time_t At(int y, int mo, int d, int h, int mi, int s = 0) {
        return MakeLocalTime(y, mo, d, h, mi, s);
    }
    static std::string Next(const ECHOMEMOSTRUCT& m, time_t now, int wantScheduled = 1) {
        int scheduled = -1;
        const time_t next = NextPlayTime(m, now, &scheduled);
        EXPECT_EQ(scheduled, wantScheduled);
        return Local(next);
    }
    // Runs the player's rule at every whole minute of [from, to): a due memo plays and
    // its next time is computed afresh at that minute.
    static std::vector<time_t> Plays(ECHOMEMOSTRUCT m, time_t from, time_t to) {
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
};

TEST_P(Schedule, HourlyDailyWeekly) {
    const ECHOMEMOSTRUCT hourly = Memo(MEMO_HOURLY, 15 * 60);
    EXPECT_EQ(Next(hourly, At(2025, 6, 4, 10, 15)), "2025-06-04 11:15:00 Wed");
    EXPECT_EQ(Next(hourly, At(2025, 6, 4, 10, 14, 59)), "2025-06-04 10:15:00 Wed");
    EXPECT_EQ(Next(hourly, At(2025, 6, 4, 23, 40)), "2025-06-05 00:15:00 Thu");
    EXPECT_EQ(Next(hourly, At(2025, 12, 31, 23, 40)), "2026-01-01 00:15:00 Thu");

    const int32_t nine = 9 * 3600;
    EXPECT_EQ(Next(Memo(MEMO_DAILY, nine, 1 << 1), At(2025, 6, 2, 9, 0)),
              "2025-06-09 09:00:00 Mon");
    EXPECT_EQ(Next(Memo(MEMO_DAILY, nine, 1 << 1), At(2025, 6, 2, 8, 59)),
              "2025-06-02 09:00:00 Mon");
    EXPECT_EQ(Next(Memo(MEMO_DAILY, nine, 1 << 6 | 1 << 1), At(2025, 6, 7, 10, 0)),
              "2025-06-09 09:00:00 Mon");
    EXPECT_EQ(Next(Memo(MEMO_DAILY, nine, 127), At(2025, 12, 31, 22, 0)),
              "2026-01-01 09:00:00 Thu");

    const int32_t evening = 20 * 3600;
    EXPECT_EQ(Next(Memo(MEMO_WEEKLY, evening, 1), At(2026, 1, 29, 12, 0)),
              "2026-02-01 20:00:00 Sun");
    EXPECT_EQ(Next(Memo(MEMO_WEEKLY, evening, 1), At(2025, 11, 30, 21, 0)),
              "2025-12-07 20:00:00 Sun");
    EXPECT_EQ(Next(Memo(MEMO_WEEKLY, evening, 1), At(2025, 11, 30, 19, 59)),
              "2025-11-30 20:00:00 Sun");
    EXPECT_EQ(Next(Memo(MEMO_WEEKLY, evening, 7), At(2025, 11, 30, 19, 0)),
              "2025-12-06 20:00:00 Sat");
}

TEST_P(Schedule, MonthlyYearlyOnce) {
    const int32_t ten = 10 * 3600;
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 31), At(2025, 4, 10, 12, 0)), "2025-05-01 10:00:00 Thu");
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 15), At(2025, 12, 15, 10, 0)),
              "2026-01-15 10:00:00 Thu");
    // Last day of the month.
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 32), At(2025, 4, 10, 12, 0)), "2025-04-30 10:00:00 Wed");
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 40), At(2025, 4, 30, 12, 0)), "2025-05-31 10:00:00 Sat");
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 32), At(2024, 1, 31, 12, 0)), "2024-02-29 10:00:00 Thu");
    EXPECT_EQ(Next(Memo(MEMO_MONTHLY, ten, 32), At(2025, 2, 28, 9, 0)), "2025-02-28 10:00:00 Fri");

    EXPECT_EQ(Next(Memo(MEMO_YEARLY, ten, 3, 5), At(2025, 3, 20, 12, 0)),
              "2026-03-05 10:00:00 Thu");
    EXPECT_EQ(Next(Memo(MEMO_YEARLY, ten, 3, 5), At(2025, 3, 5, 9, 59)), "2025-03-05 10:00:00 Wed");
    EXPECT_EQ(Next(Memo(MEMO_YEARLY, ten, 2, 29), At(2025, 1, 1, 0, 0)), "2025-03-01 10:00:00 Sat");

    ECHOMEMOSTRUCT once = Memo(MEMO_ONCE, 0);
    once.onceTime = ten + 30;
    once.onceYear = 2025, once.onceMonth = 2, once.onceDay = 3;
    EXPECT_EQ(Next(once, At(2025, 6, 1, 0, 0)), "2025-02-03 10:00:30 Mon") << "past: due at once";
    once.played = 1;
    int scheduled = -1;
    EXPECT_EQ(ListEntryNextTime(once, At(2025, 6, 1, 0, 0), &scheduled), NEVER_TIME());
    EXPECT_EQ(scheduled, 0);
    once.onceYear = 2040, once.played = 0;
    EXPECT_EQ(Next(once, At(2025, 6, 1, 0, 0)), "2037-12-31 23:59:59 Thu");
    EXPECT_EQ(Next(Memo(MEMO_YEARLY, ten, 3, 5), At(2037, 3, 6, 0, 0)), "2037-12-31 23:59:59 Thu");
    EXPECT_EQ(Next(Memo(MEMO_USER_INITIATED, ten), At(2025, 6, 1, 0, 0), 0),
              "2037-12-31 23:59:59 Thu");
}

TEST_P(Schedule, CatchUpWithNotification) {
    ECHOMEMOSTRUCT daily = Memo(MEMO_DAILY, 9 * 3600, 127);
    const time_t now = At(2025, 6, 4, 12, 0, 7);
    daily.lastPlayed = static_cast<uint32_t>(now - 86401);
    EXPECT_EQ(Next(daily, now), "2025-06-05 09:00:00 Thu") << "without notification";
    daily.notify = 1;
    EXPECT_EQ(Next(daily, now), "2025-06-04 12:00:07 Wed");
    daily.lastPlayed += 2;
    EXPECT_EQ(Next(daily, now), "2025-06-05 09:00:00 Thu");
    // In March a monthly memo compares with February's length: 29 days in 2024, 28 in 2025.
    ECHOMEMOSTRUCT monthly = Memo(MEMO_MONTHLY, 0, 20);
    monthly.notify = 1;
    for (int year : {2024, 2025}) {
        const time_t march = At(year, 3, 10, 12, 0);
        monthly.lastPlayed = static_cast<uint32_t>(march - 29 * 86400);
        EXPECT_EQ(Next(monthly, march).substr(0, 10), year == 2024 ? "2024-03-20" : "2025-03-10");
    }
}

TEST_P(Schedule, OutOfRangeFieldsAreNeverDue) {
    const int32_t t = 3600;
    ECHOMEMOSTRUCT bad[] = {Memo(7, t),
                            Memo(-1, t),
                            Memo(MEMO_WEEKLY, t, 0),
                            Memo(MEMO_WEEKLY, t, 8),
                            Memo(MEMO_YEARLY, t, 13, 1),
                            Memo(MEMO_YEARLY, t, 1, 0),
                            Memo(MEMO_MONTHLY, t, 0),
                            Memo(MEMO_DAILY, 86400, 127),
                            Memo(MEMO_DAILY, -60, 127),
                            Memo(MEMO_DAILY, t, 0),
                            Memo(MEMO_DAILY, t, 0x80),
                            Memo(MEMO_HOURLY, 3600),
                            Memo(MEMO_ONCE, t)};  // month and day 0
    for (ECHOMEMOSTRUCT& m : bad) {
        m.notify = 1;  // the catch-up rule must not make them due either
        EXPECT_EQ(Next(m, At(2025, 6, 4, 12, 0), 0), "2037-12-31 23:59:59 Thu") << m.frequency;
    }
}

TEST_P(Schedule, ATimeWithSecondsPlaysOncePerPeriod) {
    const int32_t t = 10 * 3600 + 30;
    for (ECHOMEMOSTRUCT m : {Memo(MEMO_DAILY, t, 1 << 4), Memo(MEMO_WEEKLY, t, 5),
                             Memo(MEMO_MONTHLY, t, 5), Memo(MEMO_YEARLY, t, 6, 5)}) {
        int scheduled;
        const time_t first = NextPlayTime(m, At(2025, 6, 1, 0, 0), &scheduled);
        EXPECT_EQ(Local(first), "2025-06-05 10:00:00 Thu") << m.frequency;
        EXPECT_GT(NextPlayTime(m, first, &scheduled), first + 86400) << m.frequency;
        EXPECT_GT(NextPlayTime(m, first + 45, &scheduled), first + 86400) << m.frequency;
    }
    EXPECT_EQ(Plays(Memo(MEMO_DAILY, t, 127), At(2025, 6, 1, 0, 0), At(2025, 6, 4, 0, 0)).size(),
              3u);
}

TEST_P(Schedule, DaylightSavingChanges) {
    const Zone& z = GetParam();
    for (const int* day : {z.spring, z.fall}) {
        const time_t start = At(day[0], day[1], day[2] - 1, 0, 0);
        const time_t end = At(day[0], day[1], day[2] + 2, 0, 0);
        // At its local time on every day, so 23 or 25 hours apart across the change.
        const auto daily = Plays(Memo(MEMO_DAILY, 10 * 3600, 127), start, end);
        ASSERT_EQ(daily.size(), 3u);
        for (time_t p : daily)
            EXPECT_EQ(Local(p).substr(11, 8), "10:00:00");
        EXPECT_EQ(daily[1] - daily[0], day == z.spring ? 23 * 3600 : 25 * 3600);
        EXPECT_EQ(daily[2] - daily[1], 24 * 3600);
        // Once on the day itself at a time of the skipped or repeated hour, and once in
        // every real hour for an hourly memo.
        const time_t dayStart = At(day[0], day[1], day[2], 0, 0);
        const time_t dayEnd = At(day[0], day[1], day[2] + 1, 0, 0);
        const int hour = day == z.spring ? z.gapHour : z.repeatedHour;
        const int32_t odd = hour * 3600 + 30 * 60;
        const auto plays = Plays(Memo(MEMO_DAILY, odd, 127), dayStart, dayEnd);
        ASSERT_EQ(plays.size(), 1u);
        EXPECT_EQ(plays[0] - dayStart, odd) << "the first " << Local(plays[0]);
        char want[16];
        snprintf(want, sizeof want, "%02d:30:00", day == z.spring ? hour + 1 : hour);
        EXPECT_EQ(Local(plays[0]).substr(11, 8), want);
        if (day == z.fall) {  // reckoned in the hour's second pass: its second 30 minutes
            EXPECT_EQ(Plays(Memo(MEMO_DAILY, odd, 127), plays[0] + 3000, dayEnd),
                      std::vector<time_t>{plays[0] + 3600});
        }
        const auto hourly = Plays(Memo(MEMO_HOURLY, 15 * 60), dayStart, dayEnd);
        EXPECT_EQ(hourly.size(), (dayEnd - dayStart) / 3600);
        EXPECT_EQ(hourly.size(), day == z.spring ? 23u : 25u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Zones, Schedule,
    ::testing::Values(Zone{"NewYork", "America/New_York", {2024, 3, 10}, {2024, 11, 3}, 2, 1},
                      Zone{"Berlin", "Europe/Berlin", {2024, 3, 31}, {2024, 10, 27}, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
