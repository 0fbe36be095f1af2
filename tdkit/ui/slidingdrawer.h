// CSlidingDrawer: the base of every drawer. A drawer is a modeless, frameless tool window
// that slides out of the docked bar beside the task button that opened it, stays glued to
// the bar while the user drags it, and slides back into the bar when it closes.
//
// A derived drawer:
//  - sets m_pOwner (the window told about slides, normally the bar), m_ptAnchor (a
//    screen point; SetAnchorFromBar takes the bar's client point) and m_nEdge, and gives
//    the window its size (setFixedSize) before calling Create();
//  - overrides OnInitDialog (calling the base first) to build its content;
//  - overrides OnClose when it has something to ask first, and OnDestroyed to report
//    to the bar that it has closed;
//  - calls JoinClipboardViewer when it watches the clipboard (OnDrawClipboard then runs
//    on every clipboard change) and CreateToolTipControl when it has tooltips.
//
// Closing is asynchronous: DestroyWindow starts the one-second closing slide and, when it
// ends, hides the window and calls OnDestroyed. Whoever deletes a drawer in answer to its
// closing report uses deleteLater(), since the report comes from inside the drawer.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

#include <cstdint>
#include <functional>

#include "platform/message.h"
#include "platform/types.h"

class QEvent;
class QWidget;

// The width of a drawer's raised frame; its content sits inside it.
inline constexpr int kDrawerFrameWidth = 2;

// Posted by a drawer to itself once it is initialised: runs the opening slide.
inline constexpr UINT WM_SLIDE_DRAWER = WM_USER + 1015;

inline RECT ToRECT(const QRect& r) {
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}
inline QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The tooltips of one drawer, switched on and off together. Tools are the drawer's own
// widgets with a tooltip text; while the control is inactive no tooltip of the drawer or
// of any widget inside it is shown.
class CDrawerToolTip : public QObject {
public:
    explicit CDrawerToolTip(QWidget* drawer);
    ~CDrawerToolTip() override;

    void AddTool(QWidget* tool, const QString& text);
    void Activate(BOOL active);
    BOOL IsActive() const { return m_bActive; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_pDrawer;
    BOOL m_bActive = 1;
};

class CSlidingDrawer : public QDialog, public MessageReceiver {
public:
    CSlidingDrawer(UINT templateId, QWidget* parent);
    ~CSlidingDrawer() override;

    // Builds the drawer: runs OnInitDialog once. The result is OnInitDialog's; 0 when the
    // drawer was already created.
    BOOL Create();

    // Fills m_rcStart and m_rcEnd for the opening slide from the window's size and the
    // bar's rectangle; 0 for an edge other than 0 to 3 (or without a bar), else 1.
    int GetDrawerStartAndEnd();

    // Starts a slide from m_rcStart to m_rcEnd. Always 0.
    LRESULT OnSlide(WPARAM, LPARAM);

    // Moves a running slide to the present moment; the slide timer calls it, tests may
    // too. False once the slide has ended (or when none runs).
    bool StepSlide();

    int IsSliding() const { return m_bSliding; }
    BOOL IsInitialised() const { return m_bInitialised; }
    // A closing slide runs.
    BOOL IsClosing() const { return m_bClosing; }
    // The window is gone (closing slide done); the object waits to be deleted.
    BOOL IsDestroyed() const { return m_bDestroyed; }

    // Left edge of the drawer when the bar lies at the top or bottom.
    virtual int GetWndCXStart();
    // Top edge of the drawer when the bar lies at the left or right, raised so the drawer
    // ends at the bottom of the screen when it would pass it (stored back in m_ptAnchor).
    virtual int GetWndCYStart();

    // Takes the point the bar gives (the centre of the task button, in the bar's client
    // coordinates) to the screen and keeps it as the anchor.
    void SetAnchorFromBar(const QPoint& clientPoint);

    // Tooltips wanted or not; applied at once when the tooltip control exists.
    void EnableToolTips(BOOL enable);

    // Keeps a user drag along the bar: proposed is replaced by the allowed rectangle.
    LRESULT OnMoving(WPARAM, RECT* proposed);

    // Closes the drawer: the closing slide (when initialised), then the window is hidden,
    // the derived timer killed and OnDestroyed called. 0 when closing already runs or is
    // done.
    BOOL DestroyWindow();

    // The drawer shows a message box or modal dialog; it refuses to close or to let the
    // session end meanwhile. Calls nest.
    void BeginModal() { ++m_nModal; }
    void EndModal() {
        if (m_nModal > 0)
            --m_nModal;
    }
    BOOL IsInModal() const { return m_nModal > 0; }

    UINT GetTemplateId() const { return m_nTemplateId; }
    UINT GetEdge() const { return m_nEdge; }
    QPoint GetAnchor() const { return m_ptAnchor; }
    QObject* GetOwner() const { return m_pOwner; }
    BOOL GetToolTipsWanted() const { return m_bToolTips; }
    CDrawerToolTip* GetToolTip() const { return m_pToolTip; }

    // The time source of every slide, in milliseconds; null restores the monotonic clock.
    static void SetSlideClock(std::function<int64_t()> clock);

    // QDialog's own ending would hide the drawer behind the bar's back: Escape and the
    // window manager's close go through OnClose, and Enter does nothing.
    void reject() override;
    void accept() override;

protected:
    // Initialises the drawer and queues the opening slide. Derived drawers call it first.
    virtual BOOL OnInitDialog();
    // WM_CLOSE, Escape, the window's close button: closes unless a modal dialog is open.
    virtual void OnClose();
    // WM_QUERYENDSESSION: nonzero when the session may end; 0 while a modal dialog is open.
    virtual BOOL OnQueryEndSession();
    // The clipboard changed (for drawers that joined the clipboard viewers).
    virtual void OnDrawClipboard() {}
    // The closing slide has ended and the window is hidden. Nothing may touch the drawer
    // after the bar has been told (it may delete the object).
    virtual void OnDestroyed() {}

    // The bar's window rectangle on the screen: the parent window's frame.
    virtual RECT GetBarRect() const;
    // The bottom (exclusive) of the screen the bar is on.
    virtual int GetScreenBottom() const;

    // A drawer whose kind is chosen after construction names its template then.
    void SetTemplateId(UINT templateId) { m_nTemplateId = templateId; }

    // Makes m_pToolTip, active as m_bToolTips says.
    CDrawerToolTip* CreateToolTipControl();

    void JoinClipboardViewer();
    void LeaveClipboardViewer();
    BOOL IsClipboardViewer() const { return m_bClipboardViewer; }

    void closeEvent(QCloseEvent* event) override;
    // The drawer's face and its raised frame, which sets it apart from the bar and from
    // the drawers beside it.
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Shift+F10 opens the drawer's own menu, as the menu key does, at the middle of the
    // drawer (the bar opens its menu from the keyboard at its middle the same way).
    void keyPressEvent(QKeyEvent* event) override;

    RECT m_rcStart{};
    RECT m_rcEnd{};
    QObject* m_pOwner = nullptr;
    int m_nTimerID = 0;
    QPoint m_ptAnchor;
    UINT m_nEdge = 0;
    BOOL m_bToolTips = 1;
    CDrawerToolTip* m_pToolTip = nullptr;
    BOOL m_bToolTipCreated = 0;
    BOOL m_bSliding = 0;
    BOOL m_bInitialised = 0;

private:
    void PlaceAt(const RECT& rect);
    void BeginSlideGeometry();
    void EndSlideGeometry();
    void FinishDestroy();

    UINT m_nTemplateId;
    BOOL m_bCreated = 0;
    BOOL m_bClosing = 0;
    BOOL m_bDestroyed = 0;
    BOOL m_bClipboardViewer = 0;
    int m_nModal = 0;
    int64_t m_nSlideStart = 0;
    QTimer m_SlideTimer;
    bool m_bSlideGeometry = false;
    QSize m_SavedMinimum;
    QSize m_SavedMaximum;
    bool m_bDragging = false;
    QPoint m_ptDragOffset;
    QMetaObject::Connection m_ClipboardConnection;
};
