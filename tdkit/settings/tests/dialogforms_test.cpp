#include <gtest/gtest.h>

#include <QDateTime>

#include <cstring>

#include "tdkit/settings/dialogforms.h"

namespace {

TEST(DescTimeForms, TwelveHourFormStoresMidnightAndNoonHoursRight) {
    // 12:05 AM is five minutes after midnight, 12:05 PM five after noon.
    EXPECT_EQ(DescTimeToSeconds({12, 5, 0}, false), 300);
    EXPECT_EQ(DescTimeToSeconds({12, 5, 1}, false), 43500);
    EXPECT_EQ(DescTimeToSeconds({1, 0, 1}, false), 13 * 3600);
    EXPECT_EQ(DescTimeToSeconds({11, 59, 1}, false), 23 * 3600 + 59 * 60);
    EXPECT_EQ(DescTimeToSeconds({0, 30, 0}, true), 1800);
    EXPECT_EQ(DescTimeToSeconds({23, 59, 0}, true), 86340);

    // And back: every minute of the day survives the round trip in both forms.
    for (int s = 0; s < 86400; s += 60) {
        for (bool h24 : {false, true}) {
            const DescTime t = SecondsToDescTime(s, h24);
            ASSERT_EQ(DescTimeToSeconds(t, h24), s) << s << " h24 " << h24;
            if (!h24) {
                ASSERT_TRUE(t.hours >= 1 && t.hours <= 12) << s;
            }
        }
    }
    const DescTime noon = SecondsToDescTime(12 * 3600, false);
    EXPECT_EQ(noon.hours, 12);
    EXPECT_EQ(noon.pm, 1);
    const DescTime midnight = SecondsToDescTime(0, false);
    EXPECT_EQ(midnight.hours, 12);
    EXPECT_EQ(midnight.pm, 0);
}

TEST(DescTimeForms, UpDownEndsWrap) {
    EXPECT_EQ(WrapMinutes(60), 0);
    EXPECT_EQ(WrapMinutes(-1), 59);
    EXPECT_EQ(WrapMinutes(59), 59);
    EXPECT_EQ(WrapMinutes(0), 0);
    EXPECT_EQ(WrapHours(24, true), 0);
    EXPECT_EQ(WrapHours(-1, true), 23);
    EXPECT_EQ(WrapHours(23, true), 23);
    EXPECT_EQ(WrapHours(0, true), 0);
    EXPECT_EQ(WrapHours(13, false), 1);
    EXPECT_EQ(WrapHours(0, false), 12);
    EXPECT_EQ(WrapHours(12, false), 12);
    EXPECT_EQ(WrapHours(1, false), 1);
    EXPECT_EQ(WrapMonth(13), 1);
    EXPECT_EQ(WrapMonth(0), 12);
    EXPECT_EQ(WrapMonth(7), 7);
}

TEST(DescTimeForms, ReadoutFormsByFrequencyAndClock) {
    EXPECT_EQ(FormatTimeReadout(MEMO_HOURLY, {7, 5, 0}, false), "00:05");
    EXPECT_EQ(FormatTimeReadout(MEMO_DAILY, {7, 5, 0}, true), "07:05");
    EXPECT_EQ(FormatTimeReadout(MEMO_DAILY, {7, 5, 0}, false), " 7:05");
    EXPECT_EQ(FormatTimeReadout(MEMO_ONCE, {12, 0, 1}, false), "12:00");
}

TEST(DescTimeForms, OkStoresOnlyTheFrequencysOwnFieldAndClearsPlayed) {
    ECHOMEMOSTRUCT m{};
    m.played = 1;
    m.onceTime = 111;
    m.dailyTime = 222;
    m.weeklyTime = 333;
    m.monthlyTime = 444;
    m.yearlyTime = 555;
    m.hourlyTime = 60;
    ECHOMEMOSTRUCT hourly = m;
    StoreDescTime(hourly, MEMO_HOURLY, {3, 45, 1}, false, true);
    EXPECT_EQ(hourly.hourlyTime, 2700);
    EXPECT_EQ(hourly.onceTime, 111);
    EXPECT_EQ(hourly.dailyTime, 222);
    EXPECT_EQ(hourly.yearlyTime, 555);
    EXPECT_EQ(hourly.played, 0);
    EXPECT_EQ(hourly.notify, 1);
    EXPECT_EQ(hourly.frequency, MEMO_HOURLY);

    const struct {
        int frequency;
        int32_t ECHOMEMOSTRUCT::*field;
    } kinds[] = {{MEMO_ONCE, &ECHOMEMOSTRUCT::onceTime},
                 {MEMO_DAILY, &ECHOMEMOSTRUCT::dailyTime},
                 {MEMO_WEEKLY, &ECHOMEMOSTRUCT::weeklyTime},
                 {MEMO_MONTHLY, &ECHOMEMOSTRUCT::monthlyTime},
                 {MEMO_YEARLY, &ECHOMEMOSTRUCT::yearlyTime}};
    for (const auto& k : kinds) {
        ECHOMEMOSTRUCT r = m;
        StoreDescTime(r, k.frequency, {2, 30, 1}, false, false);
        EXPECT_EQ(r.*k.field, 14 * 3600 + 1800) << k.frequency;
        EXPECT_EQ(FrequencyTimeField(r, k.frequency), 14 * 3600 + 1800);
        EXPECT_EQ(r.hourlyTime, 60);
        int changed = 0;
        for (const auto& other : kinds)
            changed += r.*other.field != m.*other.field;
        EXPECT_EQ(changed, 1) << k.frequency;
        EXPECT_EQ(r.notify, 0);
    }
    ECHOMEMOSTRUCT user = m;
    StoreDescTime(user, MEMO_USER_INITIATED, {2, 30, 1}, false, false);
    EXPECT_EQ(0, std::memcmp(&user.onceTime, &m.onceTime, 40));
}

TEST(ScheduleChecks, EmptyDailyMaskAndYearsPastTheListsEndAreRefused) {
    ECHOMEMOSTRUCT m =
        DefaultNewMemo(QDateTime(QDate(2030, 5, 17), QTime(9, 0)).toSecsSinceEpoch());
    EXPECT_TRUE(ScheduleProblem(m).isEmpty());
    EXPECT_EQ(m.frequency, MEMO_ONCE);
    EXPECT_EQ(m.onceYear, 2030);
    EXPECT_EQ(m.onceMonth, 5);
    EXPECT_EQ(m.onceDay, 17);
    EXPECT_EQ(m.onceTime, 9 * 3600 + 60);
    EXPECT_EQ(m.weeklyDay, 6);  // a Friday

    m.frequency = MEMO_DAILY;
    m.dailyDays = 0;
    EXPECT_FALSE(ScheduleProblem(m).isEmpty());
    m.dailyDays = 0x80;  // no real day
    EXPECT_FALSE(ScheduleProblem(m).isEmpty());
    m.dailyDays = 1;
    EXPECT_TRUE(ScheduleProblem(m).isEmpty());

    m.frequency = MEMO_ONCE;
    m.onceYear = 2038;
    EXPECT_FALSE(ScheduleProblem(m).isEmpty());
    m.onceYear = 2037;
    m.onceMonth = 12;
    m.onceDay = 31;
    EXPECT_TRUE(ScheduleProblem(m).isEmpty());
    m.onceMonth = 2;
    m.onceDay = 30;
    EXPECT_FALSE(ScheduleProblem(m).isEmpty());
    EXPECT_EQ(ClampOnceYear(2100), 2037);
    EXPECT_EQ(ClampOnceYear(1900), 1970);
    EXPECT_EQ(ClampOnceYear(2024), 2024);

    m.frequency = MEMO_YEARLY;
    m.yearlyMonth = 2;
    m.yearlyDay = 29;
    EXPECT_TRUE(ScheduleProblem(m).isEmpty());
    m.yearlyDay = 30;
    EXPECT_FALSE(ScheduleProblem(m).isEmpty());
}

TEST(MonthGrid, MonthsStartingLateInTheWeekNeedSixRows) {
    // August 2020 starts on a Saturday: 6 + 31 cells.
    EXPECT_EQ(FirstWeekdayOfMonth(2020, 8), 6);
    EXPECT_EQ(MonthGridRows(2020, 8), 6);
    EXPECT_EQ(MonthGridDay(2020, 8, 0, 6), 1);
    EXPECT_EQ(MonthGridDay(2020, 8, 5, 1), 31);
    EXPECT_EQ(MonthGridDay(2020, 8, 5, 2), 0);
    EXPECT_EQ(MonthGridDay(2020, 8, 0, 5), 0);
    // May 2021 starts on a Saturday too, January 2021 on a Friday with 31 days; February
    // 2021 starts on a Monday.
    EXPECT_EQ(MonthGridRows(2021, 5), 6);
    EXPECT_EQ(MonthGridRows(2021, 1), 6);
    EXPECT_EQ(MonthGridRows(2021, 2), 5);
    // February 2015: 28 days from a Sunday.
    EXPECT_EQ(MonthGridRows(2015, 2), 4);
    EXPECT_EQ(MonthGridDay(2015, 2, 3, 6), 28);
    // Every day of every month of a few years has exactly one cell.
    for (int y : {2024, 2025, 2037})
        for (int mo = 1; mo <= 12; ++mo) {
            int seen = 0;
            for (int r = 0; r < MonthGridRows(y, mo); ++r)
                for (int c = 0; c < 7; ++c)
                    if (int d = MonthGridDay(y, mo, r, c)) {
                        ASSERT_EQ(d, ++seen);
                    }
            ASSERT_EQ(seen, DaysInMonth(y, mo));
        }
}

TEST(MonthGrid, MonthlyCellsAndTheLastDayField) {
    EXPECT_EQ(MonthlyCellValue(0), 1);
    EXPECT_EQ(MonthlyCellValue(30), 31);
    EXPECT_EQ(MonthlyCellValue(31), 32);
    EXPECT_EQ(MonthlyCellValue(34), 35);
    EXPECT_EQ(MonthlyCellValue(35), 0);
    EXPECT_EQ(MonthlyCellValue(-1), 0);
    int first = 0, last = 0;
    MonthlyCellSpan(33, &first, &last);
    EXPECT_EQ(first, 31);
    EXPECT_EQ(last, 34);
    MonthlyCellSpan(30, &first, &last);
    EXPECT_EQ(first, 30);
    EXPECT_EQ(last, 30);
    EXPECT_EQ(CalendarTypeForFrequency(MEMO_ONCE), CALENDAR_ONCE);
    EXPECT_EQ(CalendarTypeForFrequency(MEMO_YEARLY), CALENDAR_YEARLY);
    EXPECT_EQ(CalendarTypeForFrequency(MEMO_HOURLY), -1);
}

TEST(MailServicesChoice, OnlyAvailableServicesAreWritten) {
    MAILPROPERTIES available{};
    available.bMAPI = 1;
    available.bAOL = 1;
    MAILPROPERTIES out{};
    out.bCompuServe = 1;  // must stay whatever the checks say
    MailChoice c;
    c.mapi = 0;
    c.aol = 1;
    c.compuServe = 0;
    StoreChosenMailServices(available, c, &out);
    EXPECT_EQ(out.bMAPI, 0);
    EXPECT_EQ(out.bAOL, 1);
    EXPECT_EQ(out.bCompuServe, 1);
    EXPECT_FALSE(AnyMailServiceChosen(MailChoice{}));
    EXPECT_TRUE(AnyMailServiceChosen(c));
}

TEST(DeleteConfirmation, CountOrTheNameAfterTheLastSeparator) {
    auto many = ConfirmFileDeleteText(true, 3, QString());
    EXPECT_EQ(many.title, "Confirm Multiple File Delete");
    EXPECT_EQ(many.text, "Are you sure you want to delete these 3 items?");
    auto one = ConfirmFileDeleteText(false, 1, "/home/a/sounds/ding.wav");
    EXPECT_EQ(one.title, "Confirm File Delete");
    EXPECT_EQ(one.text, "Are you sure you want to delete 'ding.wav'?");
    EXPECT_EQ(ConfirmFileDeleteText(false, 1, "c:\\x\\y.wav").text,
              "Are you sure you want to delete 'y.wav'?");
    EXPECT_EQ(ConfirmFileDeleteText(false, 1, "plain.wav").text,
              "Are you sure you want to delete 'plain.wav'?");
}

}  // namespace
