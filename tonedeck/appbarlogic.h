// The docking logic of the bar: which edge it sits on, the rectangle it takes there,
// auto hide, always on top, dragging to another edge, sliding in and out, and the
// conversation with the desktop's application-bar service. It knows nothing of pixels
// on screen: the window it drives is reached through a few primitives that the dialog
// (CAppBarDlg) implements with Qt and tests implement with a fake window.
#pragma once

#include <QPoint>

#include <cstdint>

#include "platform/desktop/appbar.h"
#include "tdkit/settings/properties.h"

class QObject;
class QWindow;

// Docking options (bit set).
inline constexpr DWORD ABF_ALLOWLEFTRIGHT = 0x0001;
inline constexpr DWORD ABF_ALLOWTOPBOTTOM = 0x0002;
inline constexpr DWORD ABF_ALLOWFLOAT = 0x0004;
inline constexpr DWORD ABF_MIMICTASKBARAUTOHIDE = 0x0010;
inline constexpr DWORD ABF_MIMICTASKBARALWAYSONTOP = 0x0020;

// Edges beyond the four screen edges.
inline constexpr int ABE_UNKNOWN = -1;  // not registered with the shell
inline constexpr int ABE_FLOAT = -2;    // floating

// Milliseconds a slide in or out takes.
inline constexpr int kAppBarSlideMs = 400;
// Timer ticks (of 100 ms) the pointer may be away before an auto-hidden bar hides.
inline constexpr int kAppBarHideTicks = 5;

// Sizes of the desktop the docking rules depend on.
struct AppBarMetrics {
    int borderWidth = 1;  // a hidden bar leaves two of these on screen
    int borderHeight = 1;
    int doubleClickWidth = 4;  // the pointer may wander twice this far from the bar
    int doubleClickHeight = 4;
    int vScrollWidth = 16;  // margins of the work area that still dock while floating
    int hScrollHeight = 16;
};

class CAppBarLogic {
public:
    CAppBarLogic();
    virtual ~CAppBarLogic();
    CAppBarLogic(const CAppBarLogic&) = delete;
    CAppBarLogic& operator=(const CAppBarLogic&) = delete;

    // --- Docking state -------------------------------------------------------------

    // Copies min(dwSize, 56) bytes of `state` into the live docking state, forces its
    // size to 56 and, once the bar is registered with the shell, docks at its edge. An
    // edge the options do not allow (a damaged settings file) docks left.
    void ApplySettings(const DOCKSTATE* state);
    // The live docking state, size 56, as it is saved.
    void GetDockState(DOCKSTATE* state) const;
    const DOCKSTATE& DockState() const { return m_abs; }

    // Moves the bar to an edge (0 to 3), floats it (-2) or unregisters it (-1).
    void SetEdge(int edge);
    // The proposed edge while a drag is going on, the docked edge otherwise.
    int GetEdge() const { return m_nProposedEdge != ABE_UNKNOWN ? m_nProposedEdge : m_abs.nEdge; }

    void SetOptions(DWORD options) { m_fdwOptions = options; }
    DWORD GetOptions() const { return m_fdwOptions; }
    void SetSizeIncrements(int cx, int cy) { m_cxWidthInc = cx, m_cyHeightInc = cy; }
    void SetMetrics(const AppBarMetrics& metrics) { m_metrics = metrics; }
    const AppBarMetrics& Metrics() const { return m_metrics; }

    BOOL IsAutoHide() const { return m_abs.bAutoHide != 0; }
    BOOL IsAlwaysOnTop() const { return m_abs.bAlwaysOnTop != 0; }
    BOOL IsShown() const { return m_bShown; }
    BOOL IsFullScreenAppOpen() const { return m_bFullScreenAppOpen; }
    BOOL IsDragging() const { return m_bDragging; }
    BOOL IsRegistered() const { return m_bRegistered; }
    UINT CallbackMessage() const { return m_uCallbackMsg; }
    DWORD LastShellState() const { return m_dwLastState; }

    // --- Geometry -------------------------------------------------------------------

    // The rectangle the bar takes on an edge: the screen, cut by the shell to keep clear
    // of other bars (not with auto hide), then the bar's thickness from that edge.
    RECT DockedRect(int edge);
    // Where a docked rectangle goes when auto hide has the bar shown or hidden; other
    // rectangles are returned as they are.
    RECT AutoHideRect(int edge, const RECT& rc, BOOL bShown);
    // The edge a drag would dock to with the pointer at `pt` (the diagonal rule).
    int EdgeFromPoint(QPoint pt, bool ctrlHeld);
    // The window's place `elapsedMs` into a slide from `from` to `to`.
    static RECT SlideStep(const RECT& from, const RECT& to, int64_t elapsedMs);

    // --- Overridable operations -----------------------------------------------------

    // Slides an auto-hidden bar out (TRUE) or back to its strip (FALSE).
    virtual void ShowHidden(BOOL bShow);
    // The bar's edge was set (bProposed FALSE) or a drag proposes one (TRUE).
    virtual void OnStateChange(BOOL bProposed, int edge);
    // The shell refused auto hide on the bar's edge; auto hide is off again.
    virtual void OnForcedOffAutoHide();
    // A full-screen program opened (TRUE) or closed on this monitor.
    virtual void OnFullScreenApp(BOOL bOpen);
    // Other bars or the taskbar moved.
    virtual void OnPosChanged();
    // The taskbar's auto-hide (1) or always-on-top (2) bits changed.
    virtual void OnShellStateChange(DWORD changed, DWORD state);
    // The desktop starts (TRUE) or ends arranging windows.
    virtual void OnWindowArrange(BOOL bBeginning);
    virtual void PlayShowHideSound();
    // A busy bar does not hide, slide, start a drag or toggle auto hide.
    virtual BOOL IsBusy();
    // An animated slide to `target` begins (the window is still where it was) or has
    // ended; the window may ready its content for the frames between.
    virtual void OnSlideBegin(const RECT& target);
    virtual void OnSlideEnd();
    BOOL IsSliding() const { return m_bSliding; }

    // --- What the window reports ----------------------------------------------------

    // The window exists: registers with the shell (ABM_NEW) under the "AppBarNotify"
    // callback message. The caller then runs OnShellStateChange(3, LastShellState()).
    BOOL Register(QObject* receiver, QWindow* window);
    // The window is going away: unregisters (edge -1). Safe to call twice.
    void Unregister();
    // The callback message from the shell.
    LRESULT OnAppBarNotify(WPARAM wParam, LPARAM lParam);
    void OnActivate(bool active);
    void OnWindowPosChanged();
    // Every 100 ms tick: hides an auto-hidden bar the pointer has left.
    void OnAutoHideTick();
    // The pointer moved over the bar (or over the strip of a hidden one).
    void OnPointerOverBar();
    // Dragging: begin, each pointer position (returns the rectangle to outline), end
    // with the outline's last rectangle, or cancel (the bar stays where it was).
    void BeginDrag(QPoint pointer);
    RECT DragTo(QPoint pointer, bool ctrlHeld);
    void EndDrag(const RECT& outline);
    void CancelDrag();

protected:
    // --- The window ---------------------------------------------------------------
    virtual RECT WindowRect() const = 0;
    // Moves and sizes the window without changing z-order or activation, and draws it
    // at its new place at once.
    virtual void PlaceWindow(const RECT& rc) = 0;
    virtual void ActivateWindow() = 0;
    virtual QPoint CursorPos() const = 0;
    // A monotonic clock in milliseconds, and a short pause between two slide frames.
    virtual int64_t TickCount() const = 0;
    virtual void WaitForNextFrame() = 0;
    // Puts the window in the stacking order (through the shell by default).
    virtual void SetWindowZOrder(AppBarZOrder order);

    // Sends one request about this bar to the shell.
    uintptr_t AppBarMessage(DWORD msg, int edge = -1, RECT* rc = nullptr, LPARAM lParam = 0);
    // Moves the window to `target`, animated unless the desktop turned animations off.
    void Slide(const RECT& target);
    AppBarShell* Shell() const;
    QObject* Receiver() const { return m_receiver; }
    QWindow* Window() const { return m_window; }

    DOCKSTATE m_abs{};        // live docking state
    DWORD m_dwLastState = 0;  // last ABM_GETSTATE answer
    DWORD m_fdwOptions = ABF_ALLOWLEFTRIGHT | ABF_ALLOWTOPBOTTOM;
    int m_cxWidthInc = 0, m_cyHeightInc = 0;
    int m_nProposedEdge = ABE_UNKNOWN;
    BOOL m_bFullScreenAppOpen = 0;
    BOOL m_bShown = 0;
    int m_nHideCountdown = kAppBarHideTicks;
    UINT m_uCallbackMsg = 0;
    AppBarMetrics m_metrics;

private:
    int ValidEdge(int edge) const;
    int Thickness(int edge, const RECT& screen) const;

    QObject* m_receiver = nullptr;
    QWindow* m_window = nullptr;
    BOOL m_bRegistered = 0;
    BOOL m_bDragging = 0;
    BOOL m_bSliding = 0;
    QPoint m_dragGrab;  // pointer offset inside the floating rectangle
    AppBarZOrder m_zOrder = AppBarZOrder::NotTopmost;

protected:
    AppBarZOrder CurrentZOrder() const { return m_zOrder; }
};
