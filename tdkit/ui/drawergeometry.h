// Where a drawer stands while it slides out of the bar, slides back in, or is dragged
// along it. Plain rectangle arithmetic, kept apart from the window so it can be checked
// without a display. Rectangles are left, top, right, bottom with right and bottom
// exclusive; edges are the bar's screen edge: 0 left, 1 top, 2 right, 3 bottom.
#pragma once

#include <cstdint>

#include "platform/types.h"

// How long one slide takes, out or in.
inline constexpr int64_t kDrawerSlideMilliseconds = 1000;

inline constexpr bool IsDrawerEdge(UINT edge) {
    return edge <= 3;
}

// The opening slide of a drawer of size width x height out of the bar rectangle. x is
// the drawer's left edge (bar at the top or bottom), y its top edge (bar at the left or
// right). The drawer starts as a sliver (zero or one pixel thick) against the bar's inner
// edge and ends at full size with its far edge away from the bar. False for an edge
// other than 0 to 3; the rectangles are then left as they were.
bool DrawerOpeningRects(UINT edge, const RECT& bar, int width, int height, int x, int y,
                        RECT* start, RECT* end);

// The end of the closing slide: the drawer's current rectangle collapsed against the bar.
// False for an edge other than 0 to 3.
bool DrawerClosingEnd(UINT edge, const RECT& bar, const RECT& current, RECT* end);

// The top edge for a drawer of the given height, raised so that it ends at the bottom of
// the screen when it would pass it (screenBottom is exclusive).
int DrawerTopOnScreen(int y, int height, int screenBottom);

// The drawer's rectangle elapsedMs into a slide from start to end: the left and top edges
// and the width and height each move in proportion, in whole pixels (truncated). At or
// past the slide's length the answer is end; before its start, start.
RECT DrawerSlideFrame(const RECT& start, const RECT& end, int64_t elapsedMs);

// A drag of the drawer (currently at current) to proposed, kept along the bar: the drawer
// cannot move away from the bar, and it does not pass either end of it while it fits.
// An edge other than 0 to 3 leaves the proposal as it is.
RECT ConstrainDrawerDrag(UINT edge, const RECT& current, const RECT& proposed, const RECT& bar);
