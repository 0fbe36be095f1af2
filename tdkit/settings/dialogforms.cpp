#include "tdkit/settings/dialogforms.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>

namespace {

constexpr int kDaySeconds = 24 * 3600;

}  // namespace

int CalendarTypeForFrequency(int frequency) {
    switch (frequency) {
        case MEMO_ONCE:
            return CALENDAR_ONCE;
        case MEMO_DAILY:
            return CALENDAR_DAILY;
        case MEMO_WEEKLY:
            return CALENDAR_WEEKLY;
        case MEMO_MONTHLY:
            return CALENDAR_MONTHLY;
        case MEMO_YEARLY:
            return CALENDAR_YEARLY;
        default:
            return -1;
    }
}

DescTime SecondsToDescTime(int seconds, bool h24) {
    seconds %= kDaySeconds;
    if (seconds < 0)
        seconds += kDaySeconds;
    DescTime t;
    t.minutes = (seconds % 3600) / 60;
    t.hours = seconds / 3600;
    if (!h24) {
        t.pm = t.hours >= 12 ? 1 : 0;
        t.hours %= 12;
        if (t.hours == 0)
            t.hours = 12;
    }
    return t;
}

int DescTimeToSeconds(const DescTime& t, bool h24) {
    int hours = t.hours;
    if (!h24) {
        if (!t.pm && hours == 12)
            hours = 0;
        else if (t.pm && hours < 12)
            hours += 12;
    }
    return hours * 3600 + t.minutes * 60;
}

int WrapMinutes(int minutes) {
    if (minutes >= 60)
        return 0;
    if (minutes < 0)
        return 59;
    return minutes;
}

int WrapHours(int hours, bool h24) {
    if (h24) {
        if (hours >= 24)
            return 0;
        if (hours < 0)
            return 23;
        return hours;
    }
    if (hours >= 13)
        return 1;
    if (hours == 0)
        return 12;
    if (hours < 0)
        return 11;
    return hours;
}

QString FormatTimeReadout(int frequency, const DescTime& t, bool h24) {
    if (frequency == MEMO_HOURLY)
        return QString::asprintf("00:%02i", t.minutes);
    if (h24)
        return QString::asprintf("%02i:%02i", t.hours, t.minutes);
    return QString::asprintf("%2i:%02i", t.hours, t.minutes);
}

int FrequencyTimeField(const ECHOMEMOSTRUCT& m, int frequency) {
    switch (frequency) {
        case MEMO_ONCE:
            return m.onceTime;
        case MEMO_HOURLY:
            return m.hourlyTime;
        case MEMO_DAILY:
            return m.dailyTime;
        case MEMO_WEEKLY:
            return m.weeklyTime;
        case MEMO_MONTHLY:
            return m.monthlyTime;
        case MEMO_YEARLY:
            return m.yearlyTime;
        default:
            return 0;
    }
}

void StoreDescTime(ECHOMEMOSTRUCT& m, int frequency, const DescTime& t, bool h24, bool notify) {
    m.notify = notify ? 1 : 0;
    m.frequency = frequency;
    m.played = 0;
    if (frequency == MEMO_HOURLY) {
        m.hourlyTime = t.minutes * 60;
        return;
    }
    const int seconds = DescTimeToSeconds(t, h24);
    switch (frequency) {
        case MEMO_ONCE:
            m.onceTime = seconds;
            break;
        case MEMO_DAILY:
            m.dailyTime = seconds;
            break;
        case MEMO_WEEKLY:
            m.weeklyTime = seconds;
            break;
        case MEMO_MONTHLY:
            m.monthlyTime = seconds;
            break;
        case MEMO_YEARLY:
            m.yearlyTime = seconds;
            break;
        default:
            break;
    }
}

int ClampOnceYear(int year) {
    return year < kOnceYearFirst ? kOnceYearFirst : year > kOnceYearLast ? kOnceYearLast : year;
}

QString ScheduleProblem(const ECHOMEMOSTRUCT& m) {
    if (m.frequency == MEMO_DAILY && (m.dailyDays & kDailyAllDays) == 0)
        return QStringLiteral("Choose at least one day on which the memo plays.");
    if (m.frequency == MEMO_ONCE) {
        if (m.onceYear < kOnceYearFirst || m.onceYear > kOnceYearLast)
            return QStringLiteral("Choose a year from %1 to %2.")
                .arg(kOnceYearFirst)
                .arg(kOnceYearLast);
        if (!QDate::isValid(m.onceYear, m.onceMonth, m.onceDay))
            return QStringLiteral("Choose a date on which the memo plays.");
    }
    if (m.frequency == MEMO_WEEKLY && (m.weeklyDay < 1 || m.weeklyDay > 7))
        return QStringLiteral("Choose the day of the week on which the memo plays.");
    if (m.frequency == MEMO_MONTHLY && m.monthlyDay < 1)
        return QStringLiteral("Choose the day of the month on which the memo plays.");
    if (m.frequency == MEMO_YEARLY &&
        (m.yearlyMonth < 1 || m.yearlyMonth > 12 || m.yearlyDay < 1 ||
         m.yearlyDay > DaysInMonth(2000, m.yearlyMonth)))  // a leap year allows 29 February
        return QStringLiteral("Choose the date on which the memo plays.");
    return QString();
}

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12)
        return 0;
    return QDate(year, month, 1).daysInMonth();
}

int FirstWeekdayOfMonth(int year, int month) {
    return QDate(year, month, 1).dayOfWeek() % 7;  // Qt: Monday 1 ... Sunday 7
}

int MonthGridRows(int year, int month) {
    const int cells = FirstWeekdayOfMonth(year, month) + DaysInMonth(year, month);
    return (cells + 6) / 7;
}

int MonthGridDay(int year, int month, int row, int column) {
    if (row < 0 || column < 0 || column > 6)
        return 0;
    const int day = row * 7 + column - FirstWeekdayOfMonth(year, month) + 1;
    return day >= 1 && day <= DaysInMonth(year, month) ? day : 0;
}

int WrapMonth(int month) {
    if (month > 12)
        return 1;
    if (month < 1)
        return 12;
    return month;
}

int MonthlyCellValue(int cell) {
    return cell >= 0 && cell < 35 ? cell + 1 : 0;
}

void MonthlyCellSpan(int cell, int* first, int* last) {
    if (cell >= 31 && cell < 35) {
        *first = 31;
        *last = 34;
    } else {
        *first = *last = cell;
    }
}

bool AnyMailServiceChosen(const MailChoice& c) {
    return c.mapi || c.aol || c.compuServe;
}

void StoreChosenMailServices(const MAILPROPERTIES& available, const MailChoice& c,
                             MAILPROPERTIES* out) {
    if (available.bMAPI)
        out->bMAPI = c.mapi ? 1 : 0;
    if (available.bAOL)
        out->bAOL = c.aol ? 1 : 0;
    if (available.bCompuServe)
        out->bCompuServe = c.compuServe ? 1 : 0;
}

DeleteConfirmText ConfirmFileDeleteText(bool multiple, int count, const QString& path) {
    if (multiple)
        return {QStringLiteral("Confirm Multiple File Delete"),
                QStringLiteral("Are you sure you want to delete these %1 items?").arg(count)};
    // The name after the last separator, whichever kind the path uses.
    const int cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return {QStringLiteral("Confirm File Delete"),
            QStringLiteral("Are you sure you want to delete '%1'?").arg(path.mid(cut + 1))};
}

ECHOMEMOSTRUCT DefaultNewMemo(qint64 now) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(now).addSecs(60);
    const QDate d = local.date();
    const int seconds = local.time().hour() * 3600 + local.time().minute() * 60;
    ECHOMEMOSTRUCT m{};
    m.frequency = MEMO_ONCE;
    m.onceTime = m.dailyTime = m.weeklyTime = m.monthlyTime = m.yearlyTime = seconds;
    m.hourlyTime = local.time().minute() * 60;
    m.onceYear = ClampOnceYear(d.year());
    m.onceMonth = static_cast<uint16_t>(d.month());
    m.onceDay = static_cast<uint16_t>(d.day());
    m.dailyDays = kDailyAllDays;
    m.weeklyDay = static_cast<uint16_t>(d.dayOfWeek() % 7 + 1);
    m.monthlyDay = static_cast<uint16_t>(d.day());
    m.yearlyMonth = static_cast<uint16_t>(d.month());
    m.yearlyDay = static_cast<uint16_t>(d.day());
    return m;
}
