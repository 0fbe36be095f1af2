#include "tonedeck/appbardlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <QStyleHints>
#include <QThread>
#include <QTimer>
#include <QWindow>

namespace {

// Time between two frames of a slide.
constexpr int kFrameMs = 10;

QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

RECT ToRECT(const QRect& r) {
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The outline shown while the bar is dragged: a frame three pixels wide, drawn in a
// window that takes no input and stays above everything.
class DockOutline : public QWidget {
public:
    DockOutline()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

protected:
    void resizeEvent(QResizeEvent*) override {
        const QRect all = rect();
        setMask(QRegion(all).subtracted(QRegion(all.adjusted(kFrame, kFrame, -kFrame, -kFrame))));
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QBrush(palette().color(QPalette::Highlight), Qt::Dense4Pattern));
    }

private:
    static constexpr int kFrame = 3;
};

}  // namespace

CAppBarDlg::CAppBarDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), MessageReceiver(this) {
    m_clock.start();
    setMouseTracking(true);
    // A dock is never the desktop's active window; its tooltips show all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    AppBarMetrics metrics;
    metrics.doubleClickWidth = metrics.doubleClickHeight =
        std::max(1, QGuiApplication::styleHints()->mouseDoubleClickDistance());
    metrics.vScrollWidth = metrics.hScrollHeight = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    SetMetrics(metrics);

    // The shell marks the window as a dock before it is ever shown.
    winId();
    Register(this, windowHandle());
    OnMessage(CallbackMessage(), [this](WPARAM w, LPARAM l) { return OnAppBarNotify(w, l); });

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
    m_timer->start();

    // Follow the taskbar once the derived dialog is complete and can hear about it.
    QTimer::singleShot(0, this, [this] { OnShellStateChange(3, LastShellState()); });
}

CAppBarDlg::~CAppBarDlg() {
    DestroyAppBar();
    delete m_outline;
}

void CAppBarDlg::DestroyAppBar() {
    if (m_timer)
        m_timer->stop();
    Unregister();
}

QString CAppBarDlg::ForcedOffAutoHideText() {
    return QStringLiteral(
        "There is a taskbar, in auto hide mode,\nlocated on this edge of the screen.\n"
        "Tonedeck will need to turn off its\nAuto Hide function.");
}

void CAppBarDlg::OnForcedOffAutoHide() {
    QMessageBox::critical(nullptr, windowTitle(), ForcedOffAutoHideText());
}

void CAppBarDlg::OnTimer() {
    // A slide in progress lets events through between its frames; the timer's work waits.
    if (IsSliding())
        return;
    if (IsDragging() && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        // The button went up somewhere the bar did not hear of: end the move there.
        FinishDrag(false);
    }
    OnAutoHideTick();
}

RECT CAppBarDlg::WindowRect() const {
    return ToRECT(geometry());
}

void CAppBarDlg::PlaceWindow(const RECT& rc) {
    setGeometry(ToQRect(rc));
    if (isVisible())
        repaint();
    Shell()->Flush();
}

void CAppBarDlg::ActivateWindow() {
    if (isVisible())
        activateWindow();
}

QPoint CAppBarDlg::CursorPos() const {
    return QCursor::pos();
}

int64_t CAppBarDlg::TickCount() const {
    return m_clock.elapsed();
}

void CAppBarDlg::WaitForNextFrame() {
    // The window manager places the window when it gets round to it, and the parts of it
    // that come into view are drawn when the display says so: let both happen before the
    // next frame, so every frame shows the bar as it is. The user's input waits.
    QElapsedTimer frame;
    frame.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
        if (frame.elapsed() < kFrameMs)
            QThread::msleep(1);
    } while (frame.elapsed() < kFrameMs);
}

void CAppBarDlg::mousePressEvent(QMouseEvent* event) {
    // A press anywhere on the bar that no child took may start a drag; a busy bar
    // stays where it is.
    if (event->button() == Qt::LeftButton && !IsBusy()) {
        m_pressed = true;
        m_pressPos = event->globalPosition().toPoint();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CAppBarDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->globalPosition().toPoint();
    if (IsDragging()) {
        if (!(event->buttons() & Qt::LeftButton)) {
            FinishDrag(false);
            return;
        }
        m_outlineRect = DragTo(pos, event->modifiers() & Qt::ControlModifier);
        m_outline->setGeometry(ToQRect(m_outlineRect));
        return;
    }
    if (m_pressed && (event->buttons() & Qt::LeftButton)) {
        if ((pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_pressed = false;
        StartUserDrag(m_pressPos);
        ContinueUserDrag(pos, event->modifiers() & Qt::ControlModifier);
        return;
    }
    m_pressed = false;
    OnPointerOverBar();
    QDialog::mouseMoveEvent(event);
}

void CAppBarDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_pressed = false;
    if (IsDragging() && event->button() == Qt::LeftButton) {
        FinishDrag(false);
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void CAppBarDlg::keyPressEvent(QKeyEvent* event) {
    if (IsDragging() && event->key() == Qt::Key_Escape) {
        FinishDrag(true);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CAppBarDlg::StartUserDrag(QPoint globalPos) {
    if (IsDragging() || IsBusy())
        return;
    BeginDrag(globalPos);
    grabMouse(Qt::SizeAllCursor);
    if (!m_outline)
        m_outline = new DockOutline;
    m_outlineRect = DragTo(globalPos, false);
    m_outline->setGeometry(ToQRect(m_outlineRect));
    m_outline->show();
}

void CAppBarDlg::ContinueUserDrag(QPoint globalPos, bool ctrlHeld) {
    if (!IsDragging())
        return;
    m_outlineRect = DragTo(globalPos, ctrlHeld);
    m_outline->setGeometry(ToQRect(m_outlineRect));
}

void CAppBarDlg::EndUserDrag() {
    if (IsDragging())
        FinishDrag(false);
}

void CAppBarDlg::FinishDrag(bool cancel) {
    releaseMouse();
    if (m_outline)
        m_outline->hide();
    if (cancel)
        CancelDrag();
    else
        EndDrag(m_outlineRect);
}

void CAppBarDlg::enterEvent(QEnterEvent* event) {
    OnPointerOverBar();
    QDialog::enterEvent(event);
}

void CAppBarDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange)
        OnActivate(isActiveWindow());
    QDialog::changeEvent(event);
}

void CAppBarDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    OnWindowPosChanged();
}

void CAppBarDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    OnWindowPosChanged();
}

void CAppBarDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Mapping the window sets its stacking wishes afresh; give the shell ours again.
    if (IsRegistered())
        SetWindowZOrder(CurrentZOrder());
}
