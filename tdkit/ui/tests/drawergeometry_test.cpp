#include <gtest/gtest.h>

#include <tuple>

#include "tdkit/ui/drawergeometry.h"

namespace {

auto T(const RECT& r) {
    return std::make_tuple(r.left, r.top, r.right, r.bottom);
}

TEST(DrawerGeometry, OpeningAndClosingRectanglesForEveryEdge) {
    // edge, bar, opening start and end of a 300 x 200 drawer at x 40 / y 90, closing end
    // from the drawer's open place.
    struct Case {
        UINT edge;
        RECT bar, start, end, shut;
    } cases[] = {
        {0, {0, 0, 48, 768}, {48, 90, 48, 290}, {48, 90, 348, 290}, {48, 90, 48, 290}},
        {1, {0, 0, 1024, 48}, {40, 48, 340, 49}, {40, 48, 340, 248}, {40, 47, 340, 48}},
        {2, {976, 0, 1024, 768}, {976, 90, 977, 290}, {676, 90, 976, 290}, {976, 90, 976, 290}},
        {3, {0, 700, 1024, 768}, {40, 699, 340, 700}, {40, 500, 340, 700}, {40, 700, 340, 700}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        RECT start{}, end{}, shut{};
        ASSERT_TRUE(DrawerOpeningRects(c.edge, c.bar, 300, 200, 40, 90, &start, &end));
        EXPECT_EQ(T(start), T(c.start));
        EXPECT_EQ(T(end), T(c.end));
        ASSERT_TRUE(DrawerClosingEnd(c.edge, c.bar, end, &shut));
        EXPECT_EQ(T(shut), T(c.shut));
    }
    RECT keep{1, 2, 3, 4}, start = keep, end = keep;
    EXPECT_FALSE(DrawerOpeningRects(UINT(-2), {0, 0, 48, 768}, 300, 200, 0, 0, &start, &end));
    EXPECT_FALSE(DrawerClosingEnd(4, {0, 0, 48, 768}, keep, &end));
    EXPECT_EQ(T(start), T(keep));
    EXPECT_EQ(T(end), T(keep));

    EXPECT_EQ(DrawerTopOnScreen(568, 200, 768), 568);
    EXPECT_EQ(DrawerTopOnScreen(600, 200, 768), 568);
}

TEST(DrawerGeometry, SlideFramesMoveEdgesAndSizeInProportionTruncating) {
    // A right bar's opening: the left edge travels away while the width grows.
    const RECT start{976, 90, 977, 290}, end{676, 90, 976, 290};
    EXPECT_EQ(T(DrawerSlideFrame(start, end, -5)), T(start));
    EXPECT_EQ(T(DrawerSlideFrame(start, end, 500)), T({826, 90, 976, 290}));
    // 976 - 99.9 -> 877 (toward the start); width 1 + 99.567 -> 100.
    EXPECT_EQ(T(DrawerSlideFrame(start, end, 333)), T({877, 90, 977, 290}));
    EXPECT_EQ(T(DrawerSlideFrame(start, end, 999)), T({677, 90, 976, 290}));
    EXPECT_EQ(T(DrawerSlideFrame(start, end, 5000)), T(end));
    // Coordinates far out on a wide desktop do not overflow.
    EXPECT_EQ(
        T(DrawerSlideFrame({2000000000, 0, 2000000001, 10}, {1000000000, 0, 2000000000, 10}, 500)),
        T({1500000000, 0, 2000000000, 10}));
}

TEST(DrawerGeometry, DragStaysAlongTheBarForEveryEdge) {
    // Left and right bars: the drawer keeps its left and right, within the bar's length.
    for (UINT edge : {0u, 2u}) {
        SCOPED_TRACE(edge);
        const RECT bar = edge == 0 ? RECT{0, 0, 48, 768} : RECT{976, 0, 1024, 768};
        const RECT d = edge == 0 ? RECT{48, 100, 348, 300} : RECT{676, 100, 976, 300};
        auto drag = [&](int dx, int top) {
            return T(
                ConstrainDrawerDrag(edge, d, {d.left + dx, top, d.right + dx, top + 200}, bar));
        };
        EXPECT_EQ(drag(70, -40), T({d.left, 0, d.right, 200}));
        EXPECT_EQ(drag(-30, 700), T({d.left, 568, d.right, 768}));
        EXPECT_EQ(drag(5, 250), T({d.left, 250, d.right, 450}));
    }
    // Top and bottom bars: the drawer keeps its top and bottom, within the bar's length.
    for (UINT edge : {1u, 3u}) {
        SCOPED_TRACE(edge);
        const RECT bar = edge == 1 ? RECT{0, 0, 1024, 48} : RECT{0, 720, 1024, 768};
        const RECT d = edge == 1 ? RECT{100, 48, 400, 248} : RECT{100, 520, 400, 720};
        auto drag = [&](int left, int dy) {
            return T(
                ConstrainDrawerDrag(edge, d, {left, d.top + dy, left + 300, d.bottom + dy}, bar));
        };
        EXPECT_EQ(drag(-50, 9), T({0, d.top, 300, d.bottom}));
        EXPECT_EQ(drag(900, -9), T({724, d.top, 1024, d.bottom}));
        EXPECT_EQ(drag(500, 0), T({500, d.top, 800, d.bottom}));
    }
}

}  // namespace
