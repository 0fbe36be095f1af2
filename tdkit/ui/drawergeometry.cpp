#include "tdkit/ui/drawergeometry.h"

namespace {

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

// Linear interpolation in 64-bit so that large coordinates cannot overflow.
int Along(int from, int to, int64_t elapsedMs) {
    return from + static_cast<int>((int64_t(to) - from) * elapsedMs / kDrawerSlideMilliseconds);
}

}  // namespace

bool DrawerOpeningRects(UINT edge, const RECT& bar, int width, int height, int x, int y,
                        RECT* start, RECT* end) {
    switch (edge) {
        case 0:  // left: grows rightward from the bar's right edge
            *start = {bar.right, y, bar.right, y + height};
            *end = {bar.right, y, bar.right + width, y + height};
            return true;
        case 1:  // top: grows downward from the bar's bottom edge
            *start = {x, bar.bottom, x + width, bar.bottom + 1};
            *end = {x, bar.bottom, x + width, bar.bottom + height};
            return true;
        case 2:  // right: grows leftward from the bar's left edge
            *start = {bar.left, y, bar.left + 1, y + height};
            *end = {bar.left - width, y, bar.left, y + height};
            return true;
        case 3:  // bottom: grows upward from the bar's top edge
            *start = {x, bar.top - 1, x + width, bar.top};
            *end = {x, bar.top - height, x + width, bar.top};
            return true;
        default:
            return false;
    }
}

bool DrawerClosingEnd(UINT edge, const RECT& bar, const RECT& current, RECT* end) {
    switch (edge) {
        case 0:
            *end = {bar.right, current.top, bar.right, current.bottom};
            return true;
        case 1:
            *end = {current.left, bar.bottom - 1, current.right, bar.bottom};
            return true;
        case 2:
            *end = {bar.left, current.top, bar.left, current.bottom};
            return true;
        case 3:
            *end = {current.left, bar.top, current.right, bar.top};
            return true;
        default:
            return false;
    }
}

int DrawerTopOnScreen(int y, int height, int screenBottom) {
    return y + height > screenBottom ? screenBottom - height : y;
}

RECT DrawerSlideFrame(const RECT& start, const RECT& end, int64_t elapsedMs) {
    if (elapsedMs >= kDrawerSlideMilliseconds)
        return end;
    if (elapsedMs <= 0)
        return start;
    const int left = Along(start.left, end.left, elapsedMs);
    const int top = Along(start.top, end.top, elapsedMs);
    const int width = Along(Width(start), Width(end), elapsedMs);
    const int height = Along(Height(start), Height(end), elapsedMs);
    return {left, top, left + width, top + height};
}

RECT ConstrainDrawerDrag(UINT edge, const RECT& current, const RECT& proposed, const RECT& bar) {
    RECT p = proposed;
    if (edge == 0 || edge == 2) {
        p.left = current.left;
        p.right = current.right;
        const int height = Height(current);
        if (p.top < bar.top)
            p.top = bar.top;
        else if (p.top + height > bar.bottom)
            p.top = bar.bottom - height;
        p.bottom = p.top + height;
    } else if (edge == 1 || edge == 3) {
        p.top = current.top;
        p.bottom = current.bottom;
        const int width = Width(current);
        if (p.left < bar.left)
            p.left = bar.left;
        else if (p.left + width > bar.right)
            p.left = bar.right - width;
        p.right = p.left + width;
    }
    return p;
}
