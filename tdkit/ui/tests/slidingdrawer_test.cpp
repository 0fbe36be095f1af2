#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QObject>
#include <QScreen>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWidget>

#include <utility>
#include <vector>

#include "platform/message.h"
#include "tdkit/ui/slidingdrawer.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_ui_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// Stands in for the bar: a window at a known place that counts the messages drawers send.
class Bar : public QWidget, public MessageReceiver {
public:
    explicit Bar(QRect where) : MessageReceiver(this) {
        setWindowFlags(Qt::FramelessWindowHint);
        setGeometry(where);
        show();
        OnMessage(WM_BAR_DRAWERSOUND, [this](WPARAM, LPARAM) { return LRESULT(++sounds); });
        OnMessage(WM_BAR_RECORDERCLOSED, [this](WPARAM, LPARAM) {
            ++closed;
            return LRESULT(0);
        });
    }
    int sounds = 0;
    int closed = 0;
};

class TestDrawer : public CSlidingDrawer {
public:
    TestDrawer(Bar* bar, UINT edge, QPoint anchor, QSize size) : CSlidingDrawer(149, bar) {
        m_pOwner = bar;
        m_nEdge = edge;
        m_ptAnchor = anchor;
        setFixedSize(size);
    }
    using CSlidingDrawer::CreateToolTipControl;
    using CSlidingDrawer::JoinClipboardViewer;
    using CSlidingDrawer::LeaveClipboardViewer;

    int clipboardChanges = 0;
    std::vector<std::pair<QContextMenuEvent::Reason, QPoint>> menus;

protected:
    void OnDrawClipboard() override { ++clipboardChanges; }
    void contextMenuEvent(QContextMenuEvent* event) override {
        menus.emplace_back(event->reason(), event->pos());
    }
    void OnDestroyed() override { SendMessage(m_pOwner, WM_BAR_RECORDERCLOSED); }
};

// Every test drives the slides by a clock of its own.
class SlidingDrawerTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        CSlidingDrawer::SetSlideClock([this] { return now; });
    }
    void TearDown() override { CSlidingDrawer::SetSlideClock(nullptr); }

    // Creates the drawer and lets its posted opening slide begin.
    void Open(TestDrawer& d) {
        ASSERT_TRUE(d.Create());
        QCoreApplication::processEvents();
    }
    void Advance(int64_t ms, TestDrawer& d) {
        now += ms;
        d.StepSlide();
    }

    int64_t now = 5000;
};

TEST_F(SlidingDrawerTest, OpensOverOneSecondWithOneDrawerSound) {
    Bar bar(QRect(0, 500, 800, 40));  // along the bottom, top at 500
    TestDrawer d(&bar, 3, QPoint(120, 0), QSize(300, 200));
    Open(d);
    EXPECT_EQ(bar.sounds, 1);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.geometry(), QRect(120, 499, 300, 1));

    Advance(500, d);
    EXPECT_EQ(d.geometry(), QRect(120, 400, 300, 100));
    Advance(499, d);
    EXPECT_TRUE(d.IsSliding());
    Advance(1, d);
    EXPECT_FALSE(d.IsSliding());
    EXPECT_EQ(d.geometry(), QRect(120, 300, 300, 200));
    EXPECT_EQ(d.minimumSize(), QSize(300, 200)) << "size limits are back";
    Advance(400, d);
    EXPECT_EQ(bar.sounds, 1);
}

TEST_F(SlidingDrawerTest, EveryFrameShowsTheContentWhereItStaysInsideARaisedFrame) {
    Bar bar(QRect(0, 0, 40, 700));  // along the left edge
    TestDrawer d(&bar, 0, QPoint(0, 100), QSize(300, 200));
    auto* layout = new QVBoxLayout(&d);
    auto* title = new QLabel(QStringLiteral("Title"), &d);
    layout->addWidget(title, 0, Qt::AlignTop | Qt::AlignHCenter);
    layout->addStretch();
    Open(d);
    Advance(500, d);  // half way: 150 of 300 pixels out
    ASSERT_EQ(d.width(), 150);
    const QRect midTitle = title->geometry();
    const QImage mid = d.grab().toImage();
    Advance(500, d);
    ASSERT_FALSE(d.IsSliding());
    EXPECT_EQ(title->geometry(), midTitle) << "the title does not jump at the end";
    EXPECT_GT(midTitle.center().x(), 140) << "laid out for the full width, not the sliver";
    const QImage full = d.grab().toImage();
    // What shows mid-slide is the drawer as it will stand, less the frame's far edge.
    const QRect shared(kDrawerFrameWidth, kDrawerFrameWidth, 150 - 2 * kDrawerFrameWidth,
                       200 - 2 * kDrawerFrameWidth);
    EXPECT_EQ(mid.copy(shared), full.copy(shared));
    // The frame: light along the top and left, dark along the bottom and right, and both
    // unlike the face.
    const QRgb face = full.pixel(150, 150);
    const auto grey = [](QRgb c) { return qGray(c); };
    EXPECT_GT(grey(full.pixel(0, 100)), grey(face));
    EXPECT_GT(grey(full.pixel(150, 0)), grey(face));
    EXPECT_LT(grey(full.pixel(299, 100)), grey(face));
    EXPECT_LT(grey(full.pixel(150, 199)), grey(face));
    EXPECT_NE(face, bar.palette().color(QPalette::Window).rgb()) << "apart from the bar";
}

TEST_F(SlidingDrawerTest, ClosingSlidesBackThenReportsOnce) {
    Bar bar(QRect(0, 0, 48, 560));  // along the left
    TestDrawer d(&bar, 0, QPoint(0, 100), QSize(300, 200));
    Open(d);
    Advance(1000, d);
    ASSERT_EQ(d.geometry(), QRect(48, 100, 300, 200));

    SendMessage(&d, WM_CLOSE);
    EXPECT_EQ(bar.sounds, 2);
    EXPECT_EQ(bar.closed, 0) << "the bar hears of it only when the slide is over";
    Advance(250, d);
    EXPECT_EQ(d.geometry(), QRect(48, 100, 225, 200));

    SendMessage(&d, WM_CLOSE);  // a second close while sliding back is not another
    Advance(750, d);
    EXPECT_FALSE(d.isVisible());
    SendMessage(&d, WM_CLOSE);
    Advance(1000, d);
    EXPECT_EQ(bar.closed, 1);
    EXPECT_EQ(bar.sounds, 2);
}

TEST_F(SlidingDrawerTest, ClosingDuringTheOpeningSlideReturnsFromWhereItGot) {
    Bar bar(QRect(752, 0, 48, 560));  // along the right
    TestDrawer d(&bar, 2, QPoint(0, 60), QSize(300, 200));
    Open(d);
    Advance(400, d);
    ASSERT_EQ(d.geometry(), QRect(752 - 120, 60, 120, 200));

    // Escape closes a drawer the way the bar's WM_CLOSE does.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&d, &escape);
    EXPECT_EQ(bar.sounds, 2);
    Advance(500, d);
    EXPECT_EQ(d.geometry(), QRect(752 - 60, 60, 60, 200));
    Advance(500, d);
    EXPECT_EQ(bar.closed, 1);
}

TEST_F(SlidingDrawerTest, ABusyDrawerRefusesToCloseOrEndTheSession) {
    Bar bar(QRect(0, 0, 800, 40));
    TestDrawer d(&bar, 1, QPoint(10, 0), QSize(300, 200));
    Open(d);
    d.BeginModal();
    d.BeginModal();
    EXPECT_EQ(SendMessage(&d, WM_QUERYENDSESSION), 0);
    SendMessage(&d, WM_CLOSE);
    d.close();  // the window manager's close
    d.EndModal();
    EXPECT_FALSE(d.IsClosing());
    EXPECT_EQ(SendMessage(&d, WM_QUERYENDSESSION), 0) << "modal calls nest";
    d.EndModal();
    EXPECT_EQ(SendMessage(&d, WM_QUERYENDSESSION), 1);
    d.close();
    EXPECT_TRUE(d.IsClosing());
}

TEST_F(SlidingDrawerTest, AnchorNearTheScreenBottomIsRaised) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int bottom = screen.y() + screen.height();
    Bar bar(QRect(screen.x(), screen.y(), 48, screen.height()));
    TestDrawer d(&bar, 0, QPoint(999, bottom - 50), QSize(300, 200));
    ASSERT_TRUE(d.GetDrawerStartAndEnd());
    EXPECT_EQ(d.GetAnchor(), QPoint(999, bottom - 200)) << "stored back; x untouched";
    Open(d);
    Advance(1000, d);
    EXPECT_EQ(d.geometry(), QRect(screen.x() + 48, bottom - 200, 300, 200));
}

TEST_F(SlidingDrawerTest, WithoutABarEdgeOrBeforeItsSlideNothingSlides) {
    Bar bar(QRect(100, 100, 300, 40));
    TestDrawer d(&bar, UINT(-2), QPoint(0, 0), QSize(300, 200));
    d.move(150, 200);
    Open(d);
    EXPECT_TRUE(d.IsInitialised());
    EXPECT_TRUE(d.isVisible()) << "shown in place rather than left invisible";
    EXPECT_EQ(d.geometry(), QRect(150, 200, 300, 200));
    SendMessage(&d, WM_CLOSE);
    EXPECT_EQ(bar.closed, 1);

    // Closed before its queued opening slide came round: it never shows.
    TestDrawer early(&bar, 1, QPoint(10, 0), QSize(300, 200));
    ASSERT_TRUE(early.Create());
    SendMessage(&early, WM_CLOSE);
    EXPECT_EQ(bar.closed, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.sounds, 0);
    EXPECT_FALSE(early.isVisible());
}

void Mouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(global - w->geometry().topLeft()), QPointF(global),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

TEST_F(SlidingDrawerTest, DraggingKeepsTheDrawerAlongItsBar) {
    Bar bar(QRect(0, 20, 48, 500));  // left bar from 20 to 520
    TestDrawer d(&bar, 0, QPoint(0, 200), QSize(300, 200));
    Open(d);
    Advance(1000, d);
    ASSERT_EQ(d.geometry(), QRect(48, 200, 300, 200));

    Mouse(&d, QEvent::MouseButtonPress, QPoint(100, 250), Qt::LeftButton);
    Mouse(&d, QEvent::MouseMove, QPoint(160, 200), Qt::LeftButton);
    EXPECT_EQ(d.geometry(), QRect(48, 150, 300, 200)) << "sideways movement is dropped";
    Mouse(&d, QEvent::MouseMove, QPoint(400, -100), Qt::LeftButton);
    EXPECT_EQ(d.geometry(), QRect(48, 20, 300, 200)) << "stops at the bar's top";
    Mouse(&d, QEvent::MouseMove, QPoint(100, 900), Qt::LeftButton);
    EXPECT_EQ(d.geometry(), QRect(48, 320, 300, 200)) << "stops at the bar's bottom";
    Mouse(&d, QEvent::MouseButtonRelease, QPoint(100, 900), Qt::NoButton);
    Mouse(&d, QEvent::MouseMove, QPoint(100, 300), Qt::LeftButton);
    EXPECT_EQ(d.geometry(), QRect(48, 320, 300, 200)) << "the drag ended with the release";
}

TEST_F(SlidingDrawerTest, ToolTipsFollowTheWishAndClipboardWatchersHearChanges) {
    Bar bar(QRect(0, 0, 800, 40));
    TestDrawer d(&bar, 1, QPoint(10, 0), QSize(300, 200));
    auto* label = new QLabel(QStringLiteral("x"), &d);
    label->setGeometry(10, 10, 50, 20);
    d.EnableToolTips(0);  // before the control exists: only the wish is kept
    Open(d);
    Advance(1000, d);

    CDrawerToolTip* tip = d.CreateToolTipControl();
    tip->AddTool(label, QStringLiteral("Record Level Meter"));
    EXPECT_FALSE(tip->IsActive());

    auto askForTip = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(label, &help);
        return QToolTip::isVisible() && QToolTip::text() == QStringLiteral("Record Level Meter");
    };
    EXPECT_FALSE(askForTip());
    d.EnableToolTips(1);
    EXPECT_TRUE(askForTip());

    // Clipboard changes reach a drawer that watches the clipboard, until it leaves.
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    EXPECT_EQ(d.clipboardChanges, 0);
    d.JoinClipboardViewer();
    clipboard->setText(QStringLiteral("one"));
    EXPECT_EQ(d.clipboardChanges, 1);
    SendMessage(&d, WM_DRAWCLIPBOARD);
    EXPECT_EQ(d.clipboardChanges, 2);
    d.LeaveClipboardViewer();
    clipboard->setText(QStringLiteral("two"));
    EXPECT_EQ(d.clipboardChanges, 2);

    // Closing leaves the viewers too.
    d.JoinClipboardViewer();
    SendMessage(&d, WM_CLOSE);
    Advance(1000, d);
    clipboard->setText(QStringLiteral("three"));
    EXPECT_EQ(d.clipboardChanges, 2);
}

}  // namespace

// Shift+F10 pressed anywhere in a drawer opens the drawer's own menu at its middle, as
// the bar does from the keyboard; other keys with F10 open nothing.
TEST_F(SlidingDrawerTest, ShiftF10OpensTheDrawersOwnMenuAtItsMiddle) {
    Bar bar(QRect(0, 0, 40, 700));
    TestDrawer d(&bar, 0, QPoint(20, 200), QSize(300, 120));
    Open(d);
    Advance(2000, d);  // all the way out
    auto* child = new QCheckBox(QStringLiteral("Inside"), &d);  // the key goes to it first
    const auto press = [&](Qt::KeyboardModifiers mods) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F10, mods);
        QCoreApplication::sendEvent(child, &key);
    };
    press(Qt::ShiftModifier);
    ASSERT_EQ(d.menus.size(), 1u);
    EXPECT_EQ(d.menus[0].first, QContextMenuEvent::Keyboard);
    EXPECT_EQ(d.menus[0].second, QPoint(149, 59));
    press(Qt::NoModifier);
    press(Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(d.menus.size(), 1u);
}
