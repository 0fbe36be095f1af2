// When an Echo Memo plays next: the schedule rules over an ECHOMEMOSTRUCT, free of any
// window, thread or clock so that they can be driven with any "now" and any time zone.
//
// Times are seconds since 1970-01-01 UTC. Dates and times of day in a memo are local
// time; every local time is formed from its local fields with daylight saving decided
// by the system for that date, never taken over from the current moment.
#pragma once

#include <ctime>

#include "tdkit/audio/riffinfo.h"

// 31 December 2037 23:59:59 local time: "not scheduled", later than any real due time.
// Follows the process's time zone, so it is computed on every call.
time_t NEVER_TIME();

// The next moment at or after now's minute at which the memo is due by its own kind.
// scheduled becomes 1 for the scheduled kinds and 0 for "User Initiated" and for a memo
// whose fields of its kind are out of range (it is then never due: NEVER_TIME). The
// result never lies past NEVER_TIME nor before 1970. A "Once" memo gives its date even
// when that has passed or the memo has played.
time_t NextPlayTime(const ECHOMEMOSTRUCT& memo, time_t now, int* scheduled);

// True for a "Once" or "User Initiated" memo that has played: it stays in the list but
// is never due again.
bool HasPlayedForGood(const ECHOMEMOSTRUCT& memo);

// The next time as the memo list records it: NEVER_TIME, not scheduled, for a memo that
// has played for good, else NextPlayTime.
time_t ListEntryNextTime(const ECHOMEMOSTRUCT& memo, time_t now, int* scheduled);

// A local date and time of day as a time, daylight saving decided for that date; days
// and months beyond their range carry into the next (31 April is 1 May). -1 if the
// system cannot represent it.
time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);
