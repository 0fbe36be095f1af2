#include <gtest/gtest.h>

#include "tdkit/ui/drawergeometry.h"

namespace {

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

::testing::AssertionResult Is(const RECT& actual, const RECT& expected) {
    if (Same(actual, expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.left << ", " << actual.top << ", " << actual.right << ", "
           << actual.bottom << ") instead of (" << expected.left << ", " << expected.top << ", "
           << expected.right << ", " << expected.bottom << ")";
}

TEST(DrawerGeometry, OpeningGrowsOutOfTheBarsInnerEdge) {
    RECT start{}, end{};
    // Bar along the bottom with its top at 700: a 300 x 200 drawer at x 40.
    ASSERT_TRUE(DrawerOpeningRects(3, {0, 700, 1024, 768}, 300, 200, 40, 0, &start, &end));
    EXPECT_TRUE(Is(start, {40, 699, 340, 700}));
    EXPECT_TRUE(Is(end, {40, 500, 340, 700}));

    ASSERT_TRUE(DrawerOpeningRects(1, {0, 0, 1024, 48}, 300, 200, 40, 0, &start, &end));
    EXPECT_TRUE(Is(start, {40, 48, 340, 49}));
    EXPECT_TRUE(Is(end, {40, 48, 340, 248}));

    ASSERT_TRUE(DrawerOpeningRects(0, {0, 0, 48, 768}, 300, 200, 0, 90, &start, &end));
    EXPECT_TRUE(Is(start, {48, 90, 48, 290}));
    EXPECT_TRUE(Is(end, {48, 90, 348, 290}));

    ASSERT_TRUE(DrawerOpeningRects(2, {976, 0, 1024, 768}, 300, 200, 0, 90, &start, &end));
    EXPECT_TRUE(Is(start, {976, 90, 977, 290}));
    EXPECT_TRUE(Is(end, {676, 90, 976, 290}));

    // No bar edge, no slide, and the rectangles stay as they were.
    RECT keep{1, 2, 3, 4};
    start = end = keep;
    EXPECT_FALSE(DrawerOpeningRects(4, {0, 0, 48, 768}, 300, 200, 0, 0, &start, &end));
    EXPECT_FALSE(DrawerOpeningRects(UINT(-2), {0, 0, 48, 768}, 300, 200, 0, 0, &start, &end));
    EXPECT_TRUE(Is(start, keep));
    EXPECT_TRUE(Is(end, keep));
}

TEST(DrawerGeometry, ClosingCollapsesAgainstTheBar) {
    const RECT drawer{100, 150, 400, 350};
    RECT end{};
    ASSERT_TRUE(DrawerClosingEnd(0, {0, 0, 48, 768}, drawer, &end));
    EXPECT_TRUE(Is(end, {48, 150, 48, 350}));
    ASSERT_TRUE(DrawerClosingEnd(1, {0, 0, 1024, 48}, drawer, &end));
    EXPECT_TRUE(Is(end, {100, 47, 400, 48}));
    ASSERT_TRUE(DrawerClosingEnd(2, {976, 0, 1024, 768}, drawer, &end));
    EXPECT_TRUE(Is(end, {976, 150, 976, 350}));
    ASSERT_TRUE(DrawerClosingEnd(3, {0, 700, 1024, 768}, drawer, &end));
    EXPECT_TRUE(Is(end, {100, 700, 400, 700}));
    EXPECT_FALSE(DrawerClosingEnd(7, {0, 700, 1024, 768}, drawer, &end));
}

TEST(DrawerGeometry, SlideFramesMoveEdgesAndSizeInProportionTruncating) {
    // A right bar's opening: the left edge travels away while the width grows.
    const RECT start{976, 90, 977, 290}, end{676, 90, 976, 290};
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 0), start));
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, -5), start));
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 500), {826, 90, 826 + 150, 290}));
    // 976 - 300 * 333 / 1000 = 976 - 99.9 -> 877 (truncated toward the start); width
    // 1 + 299 * 333 / 1000 = 1 + 99.567 -> 100.
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 333), {877, 90, 977, 290}));
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 999), {677, 90, 677 + 299, 290}));
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 1000), end));
    EXPECT_TRUE(Is(DrawerSlideFrame(start, end, 5000), end));

    // Closing a bottom drawer: the top comes down to the bar and the height shrinks.
    const RECT open{40, 500, 340, 700}, shut{40, 700, 340, 700};
    EXPECT_TRUE(Is(DrawerSlideFrame(open, shut, 250), {40, 550, 340, 700}));

    // Coordinates far out on a wide desktop do not overflow.
    const RECT far0{2000000000, 0, 2000000001, 10}, far1{1000000000, 0, 2000000000, 10};
    EXPECT_TRUE(Is(DrawerSlideFrame(far0, far1, 500), {1500000000, 0, 2000000000, 10}));
}

TEST(DrawerGeometry, TopIsRaisedOnlyWhenTheDrawerWouldPassTheScreenBottom) {
    EXPECT_EQ(DrawerTopOnScreen(300, 200, 768), 300);
    EXPECT_EQ(DrawerTopOnScreen(568, 200, 768), 568);  // ends exactly at the bottom
    EXPECT_EQ(DrawerTopOnScreen(600, 200, 768), 568);
    EXPECT_EQ(DrawerTopOnScreen(1100, 200, 1080 + 768), 1100);  // second screen below
}

TEST(DrawerGeometry, DragStaysAlongTheBarForEveryEdge) {
    // Left and right bars: the drawer keeps its left and right and stays within the
    // bar's top and bottom.
    for (UINT edge : {0u, 2u}) {
        const RECT bar = edge == 0 ? RECT{0, 0, 48, 768} : RECT{976, 0, 1024, 768};
        const RECT d = edge == 0 ? RECT{48, 100, 348, 300} : RECT{676, 100, 976, 300};
        SCOPED_TRACE(edge);
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {d.left + 70, -40, d.right + 70, 160}, bar),
                       {d.left, 0, d.right, 200}));
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {d.left - 30, 700, d.right - 30, 900}, bar),
                       {d.left, 568, d.right, 768}));
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {d.left + 5, 250, d.right + 5, 450}, bar),
                       {d.left, 250, d.right, 450}));
    }
    // Top and bottom bars: the drawer keeps its top and bottom and stays within the bar's
    // left and right.
    for (UINT edge : {1u, 3u}) {
        const RECT bar = edge == 1 ? RECT{0, 0, 1024, 48} : RECT{0, 720, 1024, 768};
        const RECT d = edge == 1 ? RECT{100, 48, 400, 248} : RECT{100, 520, 400, 720};
        SCOPED_TRACE(edge);
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {-50, d.top + 9, 250, d.bottom + 9}, bar),
                       {0, d.top, 300, d.bottom}));
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {900, d.top - 9, 1200, d.bottom - 9}, bar),
                       {724, d.top, 1024, d.bottom}));
        EXPECT_TRUE(Is(ConstrainDrawerDrag(edge, d, {500, d.top, 800, d.bottom}, bar),
                       {500, d.top, 800, d.bottom}));
    }
    // A bar shorter than the drawer: the drawer's top stays at the bar's top.
    EXPECT_TRUE(Is(ConstrainDrawerDrag(0, {48, 0, 348, 300}, {48, -10, 348, 290}, {0, 0, 48, 200}),
                   {48, 0, 348, 300}));
}

}  // namespace
