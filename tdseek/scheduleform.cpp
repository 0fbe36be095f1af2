#include "tdseek/scheduleform.h"

int FrequencyToPosition(int code) {
    switch (code) {
        case 1:
            return 1;
        case 24:
            return 2;
        case 2:
            return 3;
        default:
            return 0;
    }
}

int PositionToFrequency(int position) {
    static const int kCodes[] = {0, 1, 24, 2};
    return position >= 0 && position < 4 ? kCodes[position] : 0;
}

ClockTime DailyClock(DWORD seconds) {
    seconds %= 24 * 3600;
    const int hour = int(seconds / 3600);
    ClockTime t;
    t.minutes = int(seconds % 3600 / 60);
    t.pm = hour >= 12;
    t.hours = hour % 12 == 0 ? 12 : hour % 12;
    return t;
}

DWORD DailySeconds(const ClockTime& t) {
    const int hour = (t.hours % 12) + (t.pm ? 12 : 0);
    return DWORD(hour * 3600 + t.minutes * 60);
}

ClockTime IntervalClock(DWORD seconds) {
    ClockTime t;
    t.hours = int(seconds / 3600);
    t.minutes = int(seconds % 3600 / 60);
    return t;
}

DWORD IntervalSeconds(const ClockTime& t) {
    return DWORD(t.hours * 3600 + t.minutes * 60);
}

int WrapSpin(int value, int low, int high) {
    if (value > high)
        return low;
    if (value < low)
        return high;
    return value;
}
