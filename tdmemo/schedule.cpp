#include "tdmemo/schedule.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace {

constexpr int kSecondsPerDay = 86400;
constexpr int kSecondsPerHour = 3600;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days of month (1-12) of year; a month past December is January of the next year.
int DaysInMonth(int year, int month) {
    year += (month - 1) / 12;
    month = (month - 1) % 12 + 1;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsTimeOfDay(int32_t t) {
    return t >= 0 && t < kSecondsPerDay;
}

// Whether the fields of the memo's own kind describe a time that can come. A memo that
// fails this is never due, rather than due at a time made up from out-of-range fields.
bool HasValidSchedule(const ECHOMEMOSTRUCT& m) {
    switch (m.frequency) {
        case MEMO_ONCE:
            return IsTimeOfDay(m.onceTime) && m.onceMonth >= 1 && m.onceMonth <= 12 &&
                   m.onceDay >= 1 && m.onceDay <= 31 && m.onceYear >= 1970 && m.onceYear <= 9999;
        case MEMO_HOURLY:
            return m.hourlyTime >= 0 && m.hourlyTime < kSecondsPerHour;
        case MEMO_DAILY:
            return IsTimeOfDay(m.dailyTime) && (m.dailyDays & 0x7F) != 0;
        case MEMO_WEEKLY:
            return IsTimeOfDay(m.weeklyTime) && m.weeklyDay >= 1 && m.weeklyDay <= 7;
        case MEMO_MONTHLY:
            return IsTimeOfDay(m.monthlyTime) && m.monthlyDay >= 1;
        case MEMO_YEARLY:
            return IsTimeOfDay(m.yearlyTime) && m.yearlyMonth >= 1 && m.yearlyMonth <= 12 &&
                   m.yearlyDay >= 1 && m.yearlyDay <= 31;
        default:
            return false;
    }
}

// Forms a local time from its fields, daylight saving decided by the system for that
// date. In the hour that repeats when the clock goes back the same wall-clock time exists
// twice: the first of them not before notBefore is taken, so a time of day that the rules
// found still ahead on the wall clock is neither placed in the past nor an hour late.
time_t FormLocalTime(int year, int month, int day, int hour, int minute, int second,
                     time_t notBefore) {
    tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    tm chosen = fields;
    const time_t t = mktime(&chosen);
    if (t == -1 || chosen.tm_isdst < 0)
        return t;
    // The same wall-clock time under the other daylight-saving state, if it exists.
    tm other = fields;
    other.tm_isdst = chosen.tm_isdst ? 0 : 1;
    const time_t u = mktime(&other);
    const bool twice = u != -1 && u != t && other.tm_isdst != chosen.tm_isdst &&
                       other.tm_year == chosen.tm_year && other.tm_mon == chosen.tm_mon &&
                       other.tm_mday == chosen.tm_mday && other.tm_hour == chosen.tm_hour &&
                       other.tm_min == chosen.tm_min && other.tm_sec == chosen.tm_sec;
    if (!twice)
        return t;
    const time_t earlier = std::min(t, u);
    const time_t later = std::max(t, u);
    return earlier >= notBefore || later < notBefore ? earlier : later;
}

// The rules' view of the current moment, taken once.
struct Moment {
    time_t now;
    tm local;
    int secondsToday;    // hour and minute of now in seconds; now's seconds ignored
    time_t minuteStart;  // now without its seconds

    explicit Moment(time_t t) : now(t), local{} {
        localtime_r(&now, &local);
        secondsToday = local.tm_hour * kSecondsPerHour + local.tm_min * 60;
        minuteStart = now - local.tm_sec;
    }
    int Year() const { return local.tm_year + 1900; }
    int Month() const { return local.tm_mon + 1; }

    // Today's date moved by days, at the time of day t to the minute.
    time_t DayAt(int days, int32_t t) const { return At(Year(), Month(), local.tm_mday + days, t); }
    // A date at the time of day t to the minute.
    time_t At(int year, int month, int day, int32_t t) const {
        return FormLocalTime(year, month, day, t / kSecondsPerHour, (t % kSecondsPerHour) / 60, 0,
                             minuteStart);
    }
};

// A time of day as the rules use it: to the minute. Comparing the memo's seconds with a
// "seconds today" that has none would find 10:00:30 still ahead at 10:00:00 and hand
// back today's 10:00 again right after it played, so the memo would play twice.
int32_t ToMinute(int32_t t) {
    return t - t % 60;
}

// Catch-up period of a kind: how long a memo with notification may go unplayed before
// it is due at once.
int64_t CatchUpPeriod(int32_t kind, const Moment& m) {
    switch (kind) {
        case MEMO_HOURLY:
            return kSecondsPerHour;
        case MEMO_DAILY:
            return kSecondsPerDay;
        case MEMO_WEEKLY:
            return 7 * kSecondsPerDay;
        case MEMO_MONTHLY: {
            // The calendar month before the current one.
            const int month = m.Month() == 1 ? 12 : m.Month() - 1;
            const int year = m.Month() == 1 ? m.Year() - 1 : m.Year();
            return int64_t{DaysInMonth(year, month)} * kSecondsPerDay;
        }
        default:
            return int64_t{365} * kSecondsPerDay;
    }
}

time_t Hourly(const ECHOMEMOSTRUCT& memo, const Moment& m) {
    // Counted from now in real seconds, so that an hourly memo plays once in every hour
    // that passes, the repeated hour of the change to winter time included.
    const int minute = memo.hourlyTime / 60;
    const time_t hourStart = m.now - m.local.tm_min * 60 - m.local.tm_sec;
    const time_t thisHour = hourStart + minute * 60;
    return m.local.tm_min < minute ? thisHour : thisHour + kSecondsPerHour;
}

time_t Daily(const ECHOMEMOSTRUCT& memo, const Moment& m) {
    const int32_t t = ToMinute(memo.dailyTime);
    const int today = m.local.tm_wday;
    const auto plays = [&](int weekday) { return (memo.dailyDays >> weekday) & 1; };
    if (plays(today) && t > m.secondsToday)
        return m.DayAt(0, t);
    // Tomorrow first, round the week to today's weekday a week later.
    for (int days = 1; days <= 7; ++days)
        if (plays((today + days) % 7))
            return m.DayAt(days, t);
    return -1;  // an empty mask was refused before
}

time_t Weekly(const ECHOMEMOSTRUCT& memo, const Moment& m) {
    const int32_t t = ToMinute(memo.weeklyTime);
    const int today = m.local.tm_wday;
    const int weekday = memo.weeklyDay - 1;
    if (weekday == today)
        return m.DayAt(m.secondsToday < t ? 0 : 7, t);
    int days = weekday - today;
    if (days <= 0)
        days += 7;
    return m.DayAt(days, t);
}

time_t Monthly(const ECHOMEMOSTRUCT& memo, const Moment& m) {
    const int32_t t = ToMinute(memo.monthlyTime);
    // A day above 31 stands for the last day of the month. Other days are taken as they
    // stand: the 31st of a 30-day month is the 1st of the next.
    const auto dayIn = [&](int year, int month) {
        return memo.monthlyDay > 31 ? DaysInMonth(year, month) : int{memo.monthlyDay};
    };
    const int day = dayIn(m.Year(), m.Month());
    if (m.local.tm_mday < day)
        return m.At(m.Year(), m.Month(), day, t);
    if (m.local.tm_mday == day && m.secondsToday < t)
        return m.DayAt(0, t);
    return m.At(m.Year(), m.Month() + 1, dayIn(m.Year(), m.Month() + 1), t);
}

time_t Yearly(const ECHOMEMOSTRUCT& memo, const Moment& m) {
    const int32_t t = ToMinute(memo.yearlyTime);
    const int month = memo.yearlyMonth;
    const int day = memo.yearlyDay;
    bool thisYear;
    if (m.Month() != month)
        thisYear = m.Month() < month;
    else
        thisYear = m.local.tm_mday < day || (m.local.tm_mday == day && m.secondsToday < t);
    return m.At(m.Year() + (thisYear ? 0 : 1), month, day, t);
}

}  // namespace

time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    return FormLocalTime(year, month, day, hour, minute, second, 0);
}

time_t NEVER_TIME() {
    return MakeLocalTime(2037, 12, 31, 23, 59, 59);
}

time_t NextPlayTime(const ECHOMEMOSTRUCT& memo, time_t now, int* scheduled) {
    *scheduled = 0;
    const time_t never = NEVER_TIME();
    if (memo.frequency == MEMO_USER_INITIATED || !HasValidSchedule(memo))
        return never;

    const Moment m(now);
    time_t next;
    if (memo.frequency == MEMO_ONCE) {
        // The exact moment, seconds included, past or not: a past one is due at once.
        const int32_t t = memo.onceTime;
        next = MakeLocalTime(memo.onceYear, memo.onceMonth, memo.onceDay, t / kSecondsPerHour,
                             (t % kSecondsPerHour) / 60, t % 60);
    } else if (memo.notify != 0 &&
               int64_t{now} - int64_t{memo.lastPlayed} > CatchUpPeriod(memo.frequency, m)) {
        next = now;  // missed a whole period while nobody was listening: play it now
    } else {
        switch (memo.frequency) {
            case MEMO_HOURLY:
                next = Hourly(memo, m);
                break;
            case MEMO_DAILY:
                next = Daily(memo, m);
                break;
            case MEMO_WEEKLY:
                next = Weekly(memo, m);
                break;
            case MEMO_MONTHLY:
                next = Monthly(memo, m);
                break;
            default:
                next = Yearly(memo, m);
                break;
        }
    }
    if (next == -1)
        return never;  // not representable here
    *scheduled = 1;
    if (next > never)
        return never;
    return next < 0 ? 0 : next;
}

bool HasPlayedForGood(const ECHOMEMOSTRUCT& memo) {
    return (memo.frequency == MEMO_ONCE || memo.frequency == MEMO_USER_INITIATED) &&
           memo.played == 1;
}

time_t ListEntryNextTime(const ECHOMEMOSTRUCT& memo, time_t now, int* scheduled) {
    if (HasPlayedForGood(memo)) {
        *scheduled = 0;
        return NEVER_TIME();
    }
    return NextPlayTime(memo, now, scheduled);
}
