#include "tonedeck/audioarith.h"

#include <algorithm>

namespace {

DWORD Clamp16(int64_t v) {
    return DWORD(std::clamp<int64_t>(v, 0, kLevelMax));
}

}  // namespace

int MeterIndex(int32_t reading) {
    const int64_t magnitude = reading < 0 ? -int64_t(reading) : int64_t(reading);
    // A full-scale negative peak doubles to 0x10000: it counts as the top of the scale,
    // not as silence.
    const DWORD v = Clamp16(magnitude * 2);
    return int(std::min<DWORD>(v / kImageStep, 9));
}

int LevelImage(DWORD level) {
    return int(std::min<DWORD>(Clamp16(level) / kImageStep, 10));
}

int NextSrsMode(int mode) {
    switch (mode) {
        case 1:
            return 0;
        case 0:
            return 2;
        default:
            return 1;
    }
}

QRect BalanceBarRect(const QRect& strip, DWORD balance) {
    // Edges as half-open spans (right and bottom not included).
    const int stripLeft = strip.left();
    const int innerLeft = stripLeft + 3;
    const int innerRight = stripLeft + strip.width() - 3;
    const int innerTop = strip.top() + 2;
    const int innerBottom = strip.top() + strip.height() - 1;
    const int w = innerRight - innerLeft;
    const int middle = stripLeft + strip.width() / 2;
    const DWORD b = Clamp16(balance);
    const int at = innerLeft + int(int64_t(w) * b / kLevelMax);
    int x1 = middle - 1, x2 = middle + 2;
    if (b < kBalanceCentre)
        x1 = at;
    else if (b > kBalanceCentre)
        x2 = at;
    while (x2 - x1 <= 3) {
        --x1;
        ++x2;
    }
    return QRect(x1, innerTop, x2 - x1, innerBottom - innerTop);
}

QRect ToneBarRect(const QRect& control, DWORD value) {
    const int top = control.top() + 3;
    const int bottom = control.top() + control.height() - 2;
    const int h = int(int64_t(bottom - top) * Clamp16(value) / kLevelMax);
    return QRect(control.left() + 2, bottom - h, 4, h);
}
