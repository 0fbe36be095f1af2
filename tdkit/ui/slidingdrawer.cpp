#include "tdkit/ui/slidingdrawer.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWidget>

#include <utility>

#include "tdkit/ui/drawergeometry.h"

namespace {

// Frames of a slide come this often; each places the drawer for the time that has
// actually passed, so a slow machine shows fewer frames, never a longer slide.
constexpr int kSlideFrameMilliseconds = 10;

std::function<int64_t()>& SlideClock() {
    static std::function<int64_t()> clock;
    return clock;
}

int64_t Now() {
    if (SlideClock())
        return SlideClock()();
    static QElapsedTimer monotonic = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return monotonic.elapsed();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CDrawerToolTip

CDrawerToolTip::CDrawerToolTip(QWidget* drawer) : QObject(drawer), m_pDrawer(drawer) {
    // Tooltip requests go to the widget under the pointer, which may be any child of
    // the drawer; the application-wide filter sees them all.
    qApp->installEventFilter(this);
}

CDrawerToolTip::~CDrawerToolTip() {
    qApp->removeEventFilter(this);
}

void CDrawerToolTip::AddTool(QWidget* tool, const QString& text) {
    if (tool)
        tool->setToolTip(text);
}

void CDrawerToolTip::Activate(BOOL active) {
    m_bActive = active ? 1 : 0;
    if (!m_bActive && QToolTip::isVisible())
        QToolTip::hideText();
}

bool CDrawerToolTip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || m_bActive)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && (widget == m_pDrawer || m_pDrawer->isAncestorOf(widget));
}

// ---------------------------------------------------------------------------------------
// CSlidingDrawer

CSlidingDrawer::CSlidingDrawer(UINT templateId, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint),
      MessageReceiver(this),
      m_nTemplateId(templateId) {
    setModal(false);
    // A slide places and shows the drawer without taking the focus from where it is.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Drawers are seldom the active window (they never take the focus when they slide
    // out); their tooltips show whichever window is active.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    // Content stays clear of the frame.
    setContentsMargins(kDrawerFrameWidth, kDrawerFrameWidth, kDrawerFrameWidth, kDrawerFrameWidth);
    m_SlideTimer.setTimerType(Qt::PreciseTimer);
    m_SlideTimer.setInterval(kSlideFrameMilliseconds);
    QObject::connect(&m_SlideTimer, &QTimer::timeout, this, [this] { StepSlide(); });

    OnMessage(WM_SLIDE_DRAWER, [this](WPARAM w, LPARAM l) { return OnSlide(w, l); });
    OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
        OnClose();
        return LRESULT(0);
    });
    OnMessage(WM_QUERYENDSESSION, [this](WPARAM, LPARAM) { return LRESULT(OnQueryEndSession()); });
    OnMessage(WM_DRAWCLIPBOARD, [this](WPARAM, LPARAM) {
        OnDrawClipboard();
        return LRESULT(0);
    });
}

CSlidingDrawer::~CSlidingDrawer() {
    m_SlideTimer.stop();
    LeaveClipboardViewer();
    if (m_nTimerID)
        killTimer(m_nTimerID);
}

BOOL CSlidingDrawer::Create() {
    if (m_bCreated)
        return 0;
    m_bCreated = 1;
    return OnInitDialog();
}

BOOL CSlidingDrawer::OnInitDialog() {
    m_nTimerID = 0;
    if (GetDrawerStartAndEnd()) {
        PostMessage(this, WM_SLIDE_DRAWER);
    } else {
        // Without a bar edge there is nothing to slide out of: the drawer is shown where
        // it stands rather than staying invisible with its button down.
        show();
    }
    m_bInitialised = 1;
    return 1;
}

void CSlidingDrawer::SetAnchorFromBar(const QPoint& clientPoint) {
    const QWidget* bar = parentWidget() ? parentWidget()->window() : nullptr;
    m_ptAnchor = bar ? bar->mapToGlobal(clientPoint) : clientPoint;
}

int CSlidingDrawer::GetWndCXStart() {
    return m_ptAnchor.x();
}

int CSlidingDrawer::GetWndCYStart() {
    m_ptAnchor.setY(DrawerTopOnScreen(m_ptAnchor.y(), height(), GetScreenBottom()));
    return m_ptAnchor.y();
}

int CSlidingDrawer::GetDrawerStartAndEnd() {
    if (!IsDrawerEdge(m_nEdge) || !parentWidget())
        return 0;
    const RECT bar = GetBarRect();
    const bool across = m_nEdge == 1 || m_nEdge == 3;  // the drawer's x comes from the anchor
    const int x = across ? GetWndCXStart() : 0;
    const int y = across ? 0 : GetWndCYStart();
    return DrawerOpeningRects(m_nEdge, bar, width(), height(), x, y, &m_rcStart, &m_rcEnd) ? 1 : 0;
}

RECT CSlidingDrawer::GetBarRect() const {
    const QWidget* bar = parentWidget() ? parentWidget()->window() : nullptr;
    return bar ? ToRECT(bar->frameGeometry()) : RECT{};
}

int CSlidingDrawer::GetScreenBottom() const {
    const QWidget* bar = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* screen = bar ? bar->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return INT32_MAX;
    const QRect g = screen->geometry();
    return g.y() + g.height();
}

LRESULT CSlidingDrawer::OnSlide(WPARAM, LPARAM) {
    // A slide already running, or a drawer closing before its opening slide came round,
    // has no use for another.
    if (m_bSliding || m_bDestroyed)
        return 0;
    m_nSlideStart = Now();
    SendMessage(m_pOwner, WM_BAR_DRAWERSOUND);
    m_bSliding = 1;
    BeginSlideGeometry();
    PlaceAt(m_rcStart);
    show();
    raise();
    m_SlideTimer.start();
    return 0;
}

bool CSlidingDrawer::StepSlide() {
    if (!m_bSliding)
        return false;
    const int64_t elapsed = Now() - m_nSlideStart;
    if (elapsed < kDrawerSlideMilliseconds) {
        PlaceAt(DrawerSlideFrame(m_rcStart, m_rcEnd, elapsed));
        repaint();
        return true;
    }
    PlaceAt(m_rcEnd);
    m_SlideTimer.stop();
    m_bSliding = 0;
    if (m_bClosing) {
        FinishDestroy();  // may end with the drawer deleted
    } else {
        EndSlideGeometry();
    }
    return false;
}

void CSlidingDrawer::PlaceAt(const RECT& rect) {
    setGeometry(ToQRect(rect));
}

void CSlidingDrawer::BeginSlideGeometry() {
    // The drawer passes through every size from a sliver to its own; its size limits and
    // its layout (which would squeeze the content into the sliver) rest meanwhile. The
    // content is laid out at the drawer's own size first, so every frame of the slide
    // shows it where it will stay.
    if (m_bSlideGeometry)
        return;
    m_bSlideGeometry = true;
    m_SavedMinimum = minimumSize();
    m_SavedMaximum = maximumSize();
    if (layout()) {
        const QSize full =
            m_bClosing ? size() : QSize(m_rcEnd.right - m_rcEnd.left, m_rcEnd.bottom - m_rcEnd.top);
        if (!m_bClosing && !full.isEmpty() && size() != full)
            resize(full);
        layout()->activate();
        layout()->setGeometry(QRect(QPoint(0, 0), full));
        layout()->setEnabled(false);
    }
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void CSlidingDrawer::EndSlideGeometry() {
    if (!m_bSlideGeometry)
        return;
    m_bSlideGeometry = false;
    setMinimumSize(m_SavedMinimum);
    setMaximumSize(m_SavedMaximum);
    if (layout()) {
        layout()->setEnabled(true);
        layout()->activate();
    }
}

BOOL CSlidingDrawer::DestroyWindow() {
    if (m_bClosing || m_bDestroyed)
        return 0;
    m_bClosing = 1;
    m_bDragging = false;
    RECT end{};
    if (m_bInitialised && isVisible() && IsDrawerEdge(m_nEdge) && parentWidget() &&
        DrawerClosingEnd(m_nEdge, GetBarRect(), ToRECT(geometry()), &end)) {
        // An opening slide still running gives way: the drawer slides back from where it
        // has got to.
        m_rcStart = ToRECT(geometry());
        m_SlideTimer.stop();
        m_bSliding = 0;
        m_rcEnd = end;
        OnSlide(0, 0);
    } else {
        FinishDestroy();
    }
    return 1;
}

void CSlidingDrawer::FinishDestroy() {
    m_SlideTimer.stop();
    m_bSliding = 0;
    if (m_nTimerID) {
        killTimer(m_nTimerID);
        m_nTimerID = 0;
    }
    LeaveClipboardViewer();
    hide();
    m_bClosing = 0;
    m_bDestroyed = 1;
    OnDestroyed();
}

void CSlidingDrawer::OnClose() {
    if (IsInModal())
        return;
    DestroyWindow();
}

BOOL CSlidingDrawer::OnQueryEndSession() {
    return IsInModal() ? 0 : 1;
}

void CSlidingDrawer::reject() {
    OnClose();
}

void CSlidingDrawer::accept() {}

void CSlidingDrawer::closeEvent(QCloseEvent* event) {
    // The window manager's close goes the drawer's own way: confirmations, the slide, the
    // report to the bar. The window itself stays until that is done.
    event->ignore();
    if (!m_bClosing && !m_bDestroyed)
        OnClose();
}

void CSlidingDrawer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    // A face a shade darker than the bar's, framed by a raised two-pixel bevel: light
    // along the top and left, dark along the bottom and right.
    p.fillRect(rect(), pal.color(QPalette::Window).darker(104));
    qDrawWinPanel(&p, rect(), pal, false);
}

void CSlidingDrawer::EnableToolTips(BOOL enable) {
    m_bToolTips = enable ? 1 : 0;
    if (m_pToolTip)
        m_pToolTip->Activate(m_bToolTips);
}

CDrawerToolTip* CSlidingDrawer::CreateToolTipControl() {
    if (!m_pToolTip) {
        m_pToolTip = new CDrawerToolTip(this);
        m_bToolTipCreated = 1;
    }
    m_pToolTip->Activate(m_bToolTips);
    return m_pToolTip;
}

void CSlidingDrawer::JoinClipboardViewer() {
    if (m_bClipboardViewer)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    m_ClipboardConnection = QObject::connect(clipboard, &QClipboard::dataChanged, this, [this] {
        if (m_bClipboardViewer)
            SendMessage(this, WM_DRAWCLIPBOARD);
    });
    m_bClipboardViewer = 1;
}

void CSlidingDrawer::LeaveClipboardViewer() {
    if (!m_bClipboardViewer)
        return;
    QObject::disconnect(m_ClipboardConnection);
    m_bClipboardViewer = 0;
}

LRESULT CSlidingDrawer::OnMoving(WPARAM, RECT* proposed) {
    if (proposed && parentWidget())
        *proposed = ConstrainDrawerDrag(m_nEdge, ToRECT(geometry()), *proposed, GetBarRect());
    return 0;
}

void CSlidingDrawer::mousePressEvent(QMouseEvent* event) {
    // The window manager cannot keep a moved window along the bar, so the drawer moves
    // itself: a press on its face (not on a control that takes the press) starts a drag.
    if (event->button() == Qt::LeftButton && !m_bSliding && !m_bClosing && !m_bDestroyed) {
        m_bDragging = true;
        m_ptDragOffset = event->globalPosition().toPoint() - geometry().topLeft();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSlidingDrawer::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging && (event->buttons() & Qt::LeftButton)) {
        RECT proposed = ToRECT(QRect(event->globalPosition().toPoint() - m_ptDragOffset, size()));
        OnMoving(0, &proposed);
        move(proposed.left, proposed.top);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CSlidingDrawer::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bDragging && event->button() == Qt::LeftButton) {
        m_bDragging = false;
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void CSlidingDrawer::keyPressEvent(QKeyEvent* event) {
    const auto mods =
        event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier);
    if (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) {
        const QPoint middle = rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, middle, mapToGlobal(middle),
                               event->modifiers());
        QCoreApplication::sendEvent(this, &menu);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSlidingDrawer::SetSlideClock(std::function<int64_t()> clock) {
    SlideClock() = std::move(clock);
}
