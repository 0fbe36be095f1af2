// The arithmetic behind the shared dialogs, kept apart from their widgets: the schedule
// dialog's time fields (12- and 24-hour forms, up-down wrap, the read-out, what OK stores),
// the date control's month grids, the multiple-mail-services choice and the wording of a
// file-delete confirmation.
#pragma once

#include <QString>

#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/properties.h"

// What the date control shows, by the memo's frequency.
enum CALENDARTYPE : int {
    CALENDAR_ONCE = 0,
    CALENDAR_DAILY = 1,
    CALENDAR_WEEKLY = 2,
    CALENDAR_MONTHLY = 3,
    CALENDAR_YEARLY = 4,
};

// The calendar type of a frequency index; -1 for "User Initiated", "Hourly" and values
// outside the list (they have no date).
int CalendarTypeForFrequency(int frequency);

// The time fields as the dialog shows them.
struct DescTime {
    int hours = 0;    // 0-23 in 24-hour form, 1-12 in 12-hour form
    int minutes = 0;  // 0-59
    int pm = 0;       // 12-hour form only: 1 for PM
};

// Seconds after midnight (out-of-range values are taken modulo a day) in the dialog's form.
DescTime SecondsToDescTime(int seconds, bool h24);
// The dialog's fields back to seconds after midnight: in 12-hour form 12 AM is hour 0 and
// PM adds 12 below 12.
int DescTimeToSeconds(const DescTime& t, bool h24);

// Up-down ranges: the ends one past the real values, so a step there wraps.
inline constexpr int kMinutesLow = -1, kMinutesHigh = 60;
inline constexpr int kHours24Low = -1, kHours24High = 24;
inline constexpr int kHours12Low = -1, kHours12High = 13;
// A step onto an end wraps: minutes 60 → 0, −1 → 59; 24-hour 24 → 0, −1 → 23; 12-hour
// 13 → 1, 0 → 12 (and −1, below the lowest reachable value, → 11).
int WrapMinutes(int minutes);
int WrapHours(int hours, bool h24);

// The read-out: "00:%02i" for "Hourly", "%02i:%02i" in 24-hour form, "%2i:%02i" in
// 12-hour form.
QString FormatTimeReadout(int frequency, const DescTime& t, bool h24);

// OK of the schedule dialog: frequency, notification flag and the time of the frequency's
// own field ("Hourly": minutes × 60 in hourlyTime); the other time fields stay. played
// always becomes 0, so a rescheduled memo plays again.
void StoreDescTime(ECHOMEMOSTRUCT& memo, int frequency, const DescTime& t, bool h24, bool notify);

// The time of day the dialog starts from for a frequency: its own field (hourlyTime for
// "Hourly"); 0 for "User Initiated".
int FrequencyTimeField(const ECHOMEMOSTRUCT& memo, int frequency);

// Years a "Once" memo may be set to: the memo list's "never" time lies at the end of 2037,
// so a date beyond it could never play.
inline constexpr int kOnceYearFirst = 1970;
inline constexpr int kOnceYearLast = 2037;
int ClampOnceYear(int year);

// Why the schedule cannot be confirmed as it stands; empty when it can. A "Daily" memo
// needs at least one day; a "Once" date must be a real date within the years above.
QString ScheduleProblem(const ECHOMEMOSTRUCT& memo);

// Month grids of the Once and Yearly panels: 7 columns, Sunday first.
int DaysInMonth(int year, int month);
// 0 Sunday ... 6 Saturday of the first day of the month.
int FirstWeekdayOfMonth(int year, int month);
// Rows the grid needs: 5, or 6 when the month starts late in the week (4 for a February
// of 28 days starting on a Sunday).
int MonthGridRows(int year, int month);
// The day in a cell, 0 for a cell outside the month.
int MonthGridDay(int year, int month, int row, int column);
// Month up-down with wrap-around: 13 → 1, 0 → 12.
int WrapMonth(int month);

// The Monthly panel: 5 rows × 7 cells; cells 0-30 the days 1-31, cells 31-34 one field
// "Last Day of Month". The value a press-and-release on a cell reports (cell + 1); 0 for a
// cell outside the grid.
int MonthlyCellValue(int cell);
// The cells drawn as one when pressing the given cell: [first, last].
void MonthlyCellSpan(int cell, int* first, int* last);

// Daily mask bits: bit 0 Sunday ... bit 6 Saturday.
inline constexpr uint16_t kDailyAllDays = 0x7F;

// The multiple-mail-services choice: the three check states go to out only for the
// services that were available; the others in out stay as they were.
struct MailChoice {
    BOOL mapi = 0, aol = 0, compuServe = 0;
};
bool AnyMailServiceChosen(const MailChoice& checks);
void StoreChosenMailServices(const MAILPROPERTIES& available, const MailChoice& checks,
                             MAILPROPERTIES* out);

// The delete confirmation's title and text.
struct DeleteConfirmText {
    QString title;
    QString text;
};
DeleteConfirmText ConfirmFileDeleteText(bool multiple, int count, const QString& path);

// A new memo's record before the schedule dialog: "Once" today, every kind's date fields
// on today (every day for "Daily"), and every time of day on the next whole minute.
ECHOMEMOSTRUCT DefaultNewMemo(qint64 now);
