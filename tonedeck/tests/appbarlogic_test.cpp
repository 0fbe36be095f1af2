// The docking rules on the virtual desktop shell, with a window that only remembers
// where it was put.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <vector>

#include "platform/desktop/appbar_virtual.h"
#include "platform/message.h"
#include "tonedeck/appbarlogic.h"
#include "tonedeck/tests/testapp.h"

namespace {

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

::testing::AssertionResult RectIs(const RECT& r, int l, int t, int rr, int b) {
    if (Same(r, RECT{l, t, rr, b}))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "rect is " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
}

class FakeBar : public QObject, public MessageReceiver, public CAppBarLogic {
public:
    FakeBar() : MessageReceiver(this) {
        Register(this, nullptr);
        OnMessage(CallbackMessage(), [this](WPARAM w, LPARAM l) { return OnAppBarNotify(w, l); });
    }
    ~FakeBar() override { Unregister(); }

    // Docks with the bar's own options: all four edges, never floating.
    void Dock(int edge, int thickness = 40, bool autoHide = false, bool onTop = true) {
        DOCKSTATE s{};
        s.dwSize = sizeof s;
        s.nEdge = edge;
        s.bAutoHide = autoHide;
        s.bAlwaysOnTop = onTop;
        s.bShowHideSound = 1;
        for (std::size_t i = 0; i < sizeof s.nThickness / sizeof s.nThickness[0]; ++i)
            s.nThickness[i] = thickness;
        s.rcFloat = RECT{100, 100, 300, 140};
        ApplySettings(&s);
    }

    RECT rect{10, 10, 60, 60};
    QPoint cursor{500, 400};
    int64_t clock = 0;
    int places = 0, sounds = 0, forcedOff = 0, activations = 0;
    bool busy = false;
    std::vector<std::pair<BOOL, int>> stateChanges;

    BOOL IsBusy() override { return busy; }
    void PlayShowHideSound() override { ++sounds; }
    void OnForcedOffAutoHide() override { ++forcedOff; }
    void OnStateChange(BOOL proposed, int edge) override {
        stateChanges.emplace_back(proposed, edge);
    }

protected:
    RECT WindowRect() const override { return rect; }
    void PlaceWindow(const RECT& rc) override {
        rect = rc;
        ++places;
    }
    void ActivateWindow() override { ++activations; }
    QPoint CursorPos() const override {
        ++cursorReads;
        return cursor;
    }
    int64_t TickCount() const override { return clock; }
    void WaitForNextFrame() override { clock += 25; }

public:
    mutable int cursorReads = 0;
};

class AppBarLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        shell.SetAnimationsEnabled(false);
        SetAppBarShell(&shell);
    }
    void TearDown() override { SetAppBarShell(nullptr); }
    void Deliver() { QCoreApplication::processEvents(); }

    VirtualAppBarShell shell{RECT{0, 0, 1024, 768}};  // taskbar at the bottom, 28 high
};

TEST_F(AppBarLogicTest, DocksOnEachEdgeAndReservesItsStrip) {
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 40, 740)) << "clear of the taskbar";
    EXPECT_TRUE(RectIs(shell.Reserved(&bar), 0, 0, 40, 740));
    EXPECT_TRUE(RectIs(shell.WorkArea(), 40, 0, 1024, 740));
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::Topmost);
    EXPECT_EQ(bar.sounds, 1) << "the move from the dialog's place to the edge";

    bar.SetEdge(ABE_TOP);
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 1024, 40));
    EXPECT_TRUE(RectIs(shell.WorkArea(), 0, 40, 1024, 740));
    bar.SetEdge(ABE_RIGHT);
    EXPECT_TRUE(RectIs(bar.rect, 984, 0, 1024, 740));
    bar.SetEdge(ABE_BOTTOM);
    EXPECT_TRUE(RectIs(bar.rect, 0, 700, 1024, 740)) << "stacked above the taskbar";
    ASSERT_FALSE(bar.stateChanges.empty());
    EXPECT_EQ(bar.stateChanges.back(), (std::pair<BOOL, int>{0, ABE_BOTTOM}));

    bar.SetEdge(ABE_UNKNOWN);
    EXPECT_FALSE(shell.IsRegistered(&bar));
    EXPECT_TRUE(RectIs(shell.WorkArea(), 0, 0, 1024, 740));
}

TEST_F(AppBarLogicTest, YieldsToBarsThatCameFirstAndFollowsWhenTheyMove) {
    const uintptr_t other = shell.AddOtherBar(ABE_LEFT, 30);
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    EXPECT_TRUE(RectIs(bar.rect, 30, 0, 70, 740));

    shell.RemoveOtherBar(other);
    Deliver();  // ABN_POSCHANGED
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 40, 740));

    shell.SetTaskbar(ABE_LEFT, 50);
    Deliver();
    EXPECT_TRUE(RectIs(bar.rect, 50, 0, 90, 768));
}

TEST_F(AppBarLogicTest, DiagonalRuleChoosesTheEdge) {
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    // Screen 1024x768, centre (512, 384).
    EXPECT_EQ(bar.EdgeFromPoint({512, 10}, false), int(ABE_TOP));
    EXPECT_EQ(bar.EdgeFromPoint({512, 760}, false), int(ABE_BOTTOM));
    EXPECT_EQ(bar.EdgeFromPoint({5, 384}, false), int(ABE_LEFT));
    EXPECT_EQ(bar.EdgeFromPoint({1000, 384}, false), int(ABE_RIGHT));
    // Near the top-left corner the diagonal decides: (100, 60) lies in the top triangle.
    EXPECT_EQ(bar.EdgeFromPoint({100, 60}, false), int(ABE_TOP));
    EXPECT_EQ(bar.EdgeFromPoint({60, 100}, false), int(ABE_LEFT));
    EXPECT_EQ(bar.EdgeFromPoint({500, 384}, true), int(ABE_LEFT)) << "Ctrl means nothing here";

    bar.SetOptions(ABF_ALLOWLEFTRIGHT);
    EXPECT_EQ(bar.EdgeFromPoint({900, 10}, false), int(ABE_RIGHT));
    bar.SetOptions(ABF_ALLOWLEFTRIGHT | ABF_ALLOWTOPBOTTOM | ABF_ALLOWFLOAT);
    EXPECT_EQ(bar.EdgeFromPoint({5, 384}, true), ABE_FLOAT);
    EXPECT_EQ(bar.EdgeFromPoint({512, 384}, false), ABE_FLOAT) << "inside the work area";
    EXPECT_EQ(bar.EdgeFromPoint({5, 384}, false), int(ABE_LEFT));
}

// A bar that does not hide has nothing to do on the timer's tick: it never asks where the
// pointer is, which costs a round trip to the X server.
TEST_F(AppBarLogicTest, OnlyAnAutoHiddenBarWatchesThePointer) {
    FakeBar bar;
    bar.Dock(ABE_RIGHT, 40, false);
    bar.cursor = {100, 300};
    for (int i = 0; i < 20; ++i)
        bar.OnAutoHideTick();
    EXPECT_EQ(bar.cursorReads, 0);
    EXPECT_TRUE(bar.IsShown());
    bar.Dock(ABE_RIGHT, 40, true);
    bar.OnPointerOverBar();
    bar.cursorReads = 0;
    bar.OnAutoHideTick();
    EXPECT_EQ(bar.cursorReads, 1);
}

TEST_F(AppBarLogicTest, AutoHideReservesNothingAndSlidesInAndOut) {
    FakeBar bar;
    bar.Dock(ABE_RIGHT, 40, true);
    EXPECT_TRUE(RectIs(shell.Reserved(&bar), 0, 0, 0, 0));
    EXPECT_TRUE(RectIs(shell.WorkArea(), 0, 0, 1024, 740));
    EXPECT_TRUE(RectIs(bar.rect, 1022, 0, 1062, 768)) << "a strip two borders wide";
    APPBARDATA abd{sizeof abd};
    abd.uEdge = ABE_RIGHT;
    EXPECT_EQ(SHAppBarMessage(ABM_GETAUTOHIDEBAR, &abd), reinterpret_cast<uintptr_t>(&bar));

    bar.cursor = {1023, 300};
    bar.OnPointerOverBar();
    EXPECT_TRUE(bar.IsShown());
    EXPECT_TRUE(RectIs(bar.rect, 984, 0, 1024, 768));
    EXPECT_EQ(bar.activations, 1);

    // Near the bar (within twice the double-click width) it stays out.
    bar.cursor = {984 - 7, 300};
    for (int i = 0; i < 10; ++i)
        bar.OnAutoHideTick();
    EXPECT_TRUE(bar.IsShown());
    // Away from it: hidden on the fifth tick.
    bar.cursor = {500, 300};
    for (int i = 0; i < 4; ++i)
        bar.OnAutoHideTick();
    EXPECT_TRUE(bar.IsShown());
    bar.OnAutoHideTick();
    EXPECT_FALSE(bar.IsShown());
    EXPECT_TRUE(RectIs(bar.rect, 1022, 0, 1062, 768));

    // Losing activation hides it at once; a busy bar stays out.
    bar.OnPointerOverBar();
    bar.busy = true;
    bar.OnActivate(false);
    for (int i = 0; i < 10; ++i)
        bar.OnAutoHideTick();
    EXPECT_TRUE(bar.IsShown());
    bar.busy = false;
    bar.OnActivate(false);
    EXPECT_FALSE(bar.IsShown());

    // Moving to the left edge moves the registration along.
    bar.SetEdge(ABE_LEFT);
    EXPECT_TRUE(RectIs(bar.rect, -38, 0, 2, 768));
    abd.uEdge = ABE_RIGHT;
    EXPECT_EQ(SHAppBarMessage(ABM_GETAUTOHIDEBAR, &abd), 0u);
}

TEST_F(AppBarLogicTest, AutoHideRefusedWhereTheTaskbarOrAnotherBarHidesIsSwitchedOff) {
    shell.SetTaskbarState(ABS_AUTOHIDE | ABS_ALWAYSONTOP);
    FakeBar bar;
    bar.Dock(ABE_BOTTOM, 40, true);
    EXPECT_EQ(bar.forcedOff, 1);
    EXPECT_FALSE(bar.IsAutoHide());
    EXPECT_TRUE(RectIs(bar.rect, 0, 728, 1024, 768)) << "docked normally";
    EXPECT_TRUE(RectIs(shell.Reserved(&bar), 0, 728, 1024, 768));

    shell.AddOtherBar(ABE_TOP, 30, true);
    DOCKSTATE s;
    bar.GetDockState(&s);
    s.nEdge = ABE_TOP;
    s.bAutoHide = 1;
    bar.ApplySettings(&s);
    EXPECT_EQ(bar.forcedOff, 2);
    EXPECT_FALSE(bar.IsAutoHide());
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 1024, 40));
}

TEST_F(AppBarLogicTest, ChangingTheAutoHideEdgeRaisesTheBarLikeTheTaskbar) {
    FakeBar bar;
    bar.Dock(ABE_LEFT, 40, true, false);
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::NotTopmost);
    bar.SetEdge(ABE_TOP);
    EXPECT_TRUE(bar.IsAlwaysOnTop()) << "taskbar state has always on top";
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::Topmost);

    shell.SetTaskbarState(0);
    DOCKSTATE s;
    bar.GetDockState(&s);
    s.bAlwaysOnTop = 0;
    bar.ApplySettings(&s);
    bar.SetEdge(ABE_RIGHT);
    EXPECT_FALSE(bar.IsAlwaysOnTop());
}

TEST_F(AppBarLogicTest, FullScreenProgramPutsAnAlwaysOnTopBarToTheBottom) {
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    shell.OpenFullScreenApp();
    Deliver();
    EXPECT_TRUE(bar.IsFullScreenAppOpen());
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::Bottom);
    shell.OpenFullScreenApp();  // a second one is not news
    shell.CloseFullScreenApp();
    Deliver();
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::Bottom);
    shell.CloseFullScreenApp();
    Deliver();
    EXPECT_EQ(shell.ZOrder(&bar), AppBarZOrder::Topmost);
}

TEST_F(AppBarLogicTest, DraggingProposesEdgesAndDocksWhereReleased) {
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    bar.stateChanges.clear();
    bar.BeginDrag({20, 300});
    EXPECT_EQ(bar.GetEdge(), int(ABE_LEFT));
    EXPECT_TRUE(RectIs(bar.DragTo({30, 320}, false), 0, 0, 40, 740));
    EXPECT_TRUE(bar.stateChanges.empty()) << "still the same edge";
    const RECT top = bar.DragTo({512, 5}, false);
    EXPECT_TRUE(RectIs(top, 0, 0, 1024, 40));
    EXPECT_EQ(bar.GetEdge(), int(ABE_TOP));
    EXPECT_EQ(bar.DockState().nEdge, int(ABE_LEFT)) << "not docked until released";
    ASSERT_EQ(bar.stateChanges.size(), 1u);
    EXPECT_EQ(bar.stateChanges[0], (std::pair<BOOL, int>{1, ABE_TOP}));
    bar.EndDrag(top);
    EXPECT_EQ(bar.DockState().nEdge, int(ABE_TOP));
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 1024, 40));
    EXPECT_EQ(bar.stateChanges.back(), (std::pair<BOOL, int>{0, ABE_TOP}));

    // Released on the edge it had: the present thickness is kept for that edge.
    bar.rect.bottom = 52;
    bar.BeginDrag({10, 10});
    bar.EndDrag(bar.DragTo({600, 20}, false));
    EXPECT_EQ(bar.DockState().nThickness[ABE_TOP], 52);
    EXPECT_EQ(bar.DockState().nThickness[ABE_LEFT], 40);

    // A cancelled drag leaves the bar where it was and says so.
    bar.BeginDrag({10, 10});
    bar.DragTo({5, 400}, false);
    bar.CancelDrag();
    EXPECT_EQ(bar.GetEdge(), int(ABE_TOP));
    EXPECT_EQ(bar.stateChanges.back(), (std::pair<BOOL, int>{0, ABE_TOP}));
}

TEST_F(AppBarLogicTest, SlideIsTimedAndSkippedWithoutAnimationsOrWhenBusy) {
    shell.SetAnimationsEnabled(true);
    FakeBar bar;
    bar.rect = RECT{0, 0, 40, 740};
    bar.Dock(ABE_LEFT);
    EXPECT_EQ(bar.places, 1) << "already there: placed once, no animation";
    EXPECT_EQ(bar.sounds, 0);

    bar.SetEdge(ABE_TOP);
    EXPECT_EQ(bar.places, 1 + 16 + 1) << "frames every 25 ms for 400 ms, then the target";
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 1024, 40));
    EXPECT_EQ(bar.sounds, 1);
    EXPECT_TRUE(
        RectIs(CAppBarLogic::SlideStep({0, 0, 40, 740}, {0, 0, 1024, 40}, 200), 0, 0, 532, 390));

    shell.SetAnimationsEnabled(false);
    bar.SetEdge(ABE_RIGHT);
    EXPECT_EQ(bar.places, 19);

    bar.busy = true;
    bar.SetEdge(ABE_BOTTOM);
    EXPECT_EQ(bar.places, 19) << "a busy bar does not move";
    EXPECT_EQ(bar.DockState().nEdge, int(ABE_BOTTOM));
}

TEST_F(AppBarLogicTest, FollowsTheTaskbarOnlyWhenAskedTo) {
    FakeBar bar;
    bar.Dock(ABE_LEFT);
    shell.SetTaskbarState(ABS_AUTOHIDE | ABS_ALWAYSONTOP);
    Deliver();
    EXPECT_FALSE(bar.IsAutoHide()) << "the bar's own options follow nothing";
    EXPECT_EQ(bar.LastShellState(), ABS_AUTOHIDE | ABS_ALWAYSONTOP);

    bar.SetOptions(ABF_ALLOWLEFTRIGHT | ABF_ALLOWTOPBOTTOM | ABF_MIMICTASKBARAUTOHIDE);
    shell.SetTaskbarState(ABS_ALWAYSONTOP);
    Deliver();
    shell.SetTaskbarState(ABS_AUTOHIDE | ABS_ALWAYSONTOP);
    Deliver();
    EXPECT_TRUE(bar.IsAutoHide());
    EXPECT_FALSE(bar.IsShown()) << "hidden after following";
    EXPECT_TRUE(RectIs(bar.rect, -38, 0, 2, 768));
}

TEST_F(AppBarLogicTest, SettingsAreCopiedByTheirSizeAndDamagedValuesAreMended) {
    FakeBar bar;
    DOCKSTATE s{};
    s.dwSize = 8;  // only the size and the edge
    s.nEdge = ABE_RIGHT;
    s.bAutoHide = 1;
    bar.ApplySettings(&s);
    DOCKSTATE out;
    bar.GetDockState(&out);
    EXPECT_EQ(out.dwSize, 56u);
    EXPECT_EQ(out.nEdge, int(ABE_RIGHT));
    EXPECT_EQ(out.bAutoHide, 0);
    EXPECT_TRUE(RectIs(bar.rect, 1023, 0, 1024, 740)) << "no thickness: one pixel, not none";

    s.dwSize = 56;
    s.nEdge = 7;
    for (std::size_t i = 0; i < sizeof s.nThickness / sizeof s.nThickness[0]; ++i)
        s.nThickness[i] = 100000;
    s.bAutoHide = 0;
    bar.ApplySettings(&s);
    EXPECT_EQ(bar.DockState().nEdge, int(ABE_LEFT));
    EXPECT_TRUE(RectIs(bar.rect, 0, 0, 1024, 740));
}

}  // namespace
