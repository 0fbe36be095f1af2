// The arithmetic of Sonoscout's settings page: list positions of the frequency codes, and
// the time of the page's 12-hour clock to and from the stored seconds.
#pragma once

#include "platform/types.h"

// List positions 0 "User Initiated", 1 "Time Interval", 2 "Daily", 3 "Tonedeck Startup".
int FrequencyToPosition(int code);
int PositionToFrequency(int position);

struct ClockTime {
    int hours = 12;  // 1 to 12 (an interval may show 0)
    int minutes = 0;
    bool pm = false;
};

// A daily time (seconds after midnight) on the 12-hour clock: midnight is 12 AM, noon
// 12 PM.
ClockTime DailyClock(DWORD seconds);
DWORD DailySeconds(const ClockTime& time);
// An interval as hours and minutes (no half of the day).
ClockTime IntervalClock(DWORD seconds);
DWORD IntervalSeconds(const ClockTime& time);
// A spin's value moved past one end continues at the other.
int WrapSpin(int value, int low, int high);
