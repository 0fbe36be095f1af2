#include "tonedeck/appbarlogic.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/message.h"

Q_LOGGING_CATEGORY(lcAppBar, "tonedeck.appbar", QtInfoMsg)

namespace {

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool Contains(const RECT& r, QPoint p) {
    return p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom;
}

bool IsDockEdge(int edge) {
    return edge >= 0 && edge <= 3;
}

bool IsVertical(int edge) {
    return edge == int(ABE_LEFT) || edge == int(ABE_RIGHT);
}

// Diagnostics for whoever watches the debug output (QT_LOGGING_RULES=tonedeck.appbar=true).
void Trace(const char* line) {
    qCDebug(lcAppBar, "%s", line);
}

}  // namespace

CAppBarLogic::CAppBarLogic() {
    m_abs.dwSize = kDockStateSize;
    m_abs.nEdge = ABE_UNKNOWN;
    m_abs.bAlwaysOnTop = 1;
}

CAppBarLogic::~CAppBarLogic() = default;

AppBarShell* CAppBarLogic::Shell() const {
    return CurrentAppBarShell();
}

uintptr_t CAppBarLogic::AppBarMessage(DWORD msg, int edge, RECT* rc, LPARAM lParam) {
    APPBARDATA abd{};
    abd.cbSize = sizeof(APPBARDATA);
    abd.hWnd = m_receiver;
    abd.uCallbackMessage = m_uCallbackMsg;
    abd.uEdge = UINT(edge);
    if (rc)
        abd.rc = *rc;
    abd.lParam = lParam;
    abd.window = m_window;
    const uintptr_t result = SHAppBarMessage(msg, &abd);
    if (rc)
        *rc = abd.rc;
    return result;
}

// --- Docking state -----------------------------------------------------------------

int CAppBarLogic::ValidEdge(int edge) const {
    if (IsDockEdge(edge)) {
        const bool allowed = IsVertical(edge) ? (m_fdwOptions & ABF_ALLOWLEFTRIGHT)
                                              : (m_fdwOptions & ABF_ALLOWTOPBOTTOM);
        if (allowed)
            return edge;
    }
    if (edge == ABE_FLOAT && (m_fdwOptions & ABF_ALLOWFLOAT))
        return edge;
    if (m_fdwOptions & ABF_ALLOWLEFTRIGHT)
        return ABE_LEFT;
    if (m_fdwOptions & ABF_ALLOWTOPBOTTOM)
        return ABE_TOP;
    return ABE_FLOAT;
}

void CAppBarLogic::ApplySettings(const DOCKSTATE* state) {
    if (!state)
        return;
    const size_t n = std::min<size_t>(state->dwSize, kDockStateSize);
    std::memcpy(&m_abs, state, n);
    m_abs.dwSize = kDockStateSize;
    // A settings file may hold anything here; the bar only ever docks where it may.
    m_abs.nEdge = ValidEdge(m_abs.nEdge);
    if (m_bRegistered)
        SetEdge(GetEdge());
}

void CAppBarLogic::GetDockState(DOCKSTATE* state) const {
    if (!state)
        return;
    *state = m_abs;
    state->dwSize = kDockStateSize;
}

int CAppBarLogic::Thickness(int edge, const RECT& screen) const {
    // A damaged settings record must not give a bar of no size or larger than the screen.
    const int limit = IsVertical(edge) ? screen.right - screen.left : screen.bottom - screen.top;
    // A copy of the packed field: std::clamp must not take a reference to it.
    const int thickness = m_abs.nThickness[edge];
    return std::clamp(thickness, 1, std::max(1, limit));
}

RECT CAppBarLogic::DockedRect(int edge) {
    const RECT screen = Shell()->ScreenRect(m_window);
    RECT rc = screen;
    if (!IsDockEdge(edge))
        return m_abs.rcFloat;
    if (!m_abs.bAutoHide)
        AppBarMessage(ABM_QUERYPOS, edge, &rc);
    return EdgeStrip(rc, edge, Thickness(edge, screen));
}

RECT CAppBarLogic::AutoHideRect(int edge, const RECT& rc, BOOL bShown) {
    if (!IsDockEdge(edge) || !m_abs.bAutoHide)
        return rc;
    const RECT screen = Shell()->ScreenRect(m_window);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    const int stripW = 2 * m_metrics.borderWidth;
    const int stripH = 2 * m_metrics.borderHeight;
    int x = screen.left, y = screen.top;
    switch (edge) {
        case ABE_LEFT:
            x = bShown ? screen.left : screen.left + stripW - w;
            break;
        case ABE_TOP:
            y = bShown ? screen.top : screen.top + stripH - h;
            break;
        case ABE_RIGHT:
            x = bShown ? screen.right - w : screen.right - stripW;
            break;
        case ABE_BOTTOM:
            y = bShown ? screen.bottom - h : screen.bottom - stripH;
            break;
    }
    return RECT{x, y, x + w, y + h};
}

int CAppBarLogic::EdgeFromPoint(QPoint pt, bool ctrlHeld) {
    if ((m_fdwOptions & ABF_ALLOWFLOAT) && ctrlHeld)
        return ABE_FLOAT;
    if (m_fdwOptions & ABF_ALLOWFLOAT) {
        RECT inner = Shell()->WorkArea(m_window);
        inner.left += m_metrics.vScrollWidth;
        inner.right -= m_metrics.vScrollWidth;
        inner.top += m_metrics.hScrollHeight;
        inner.bottom -= m_metrics.hScrollHeight;
        if (Contains(inner, pt))
            return ABE_FLOAT;
    }
    if (!(m_fdwOptions & (ABF_ALLOWLEFTRIGHT | ABF_ALLOWTOPBOTTOM)))
        return ABE_FLOAT;

    const RECT screen = Shell()->ScreenRect(m_window);
    const int64_t W = screen.right - screen.left;
    const int64_t H = screen.bottom - screen.top;
    const int64_t dx = pt.x() - (screen.left + W / 2);
    const int64_t dy = pt.y() - (screen.top + H / 2);
    const int horizontal = dx < 0 ? ABE_LEFT : ABE_RIGHT;
    const int vertical = dy < 0 ? ABE_TOP : ABE_BOTTOM;
    // Cut the screen along its diagonals: the pointer in the top or bottom triangle
    // docks the bar there, in the left or right triangle at that side.
    if (std::llabs(dy) * W > std::llabs(dx) * H)
        return (m_fdwOptions & ABF_ALLOWTOPBOTTOM) ? vertical : horizontal;
    return (m_fdwOptions & ABF_ALLOWLEFTRIGHT) ? horizontal : vertical;
}

RECT CAppBarLogic::SlideStep(const RECT& from, const RECT& to, int64_t elapsedMs) {
    const int64_t t = std::clamp<int64_t>(elapsedMs, 0, kAppBarSlideMs);
    auto at = [t](int a, int b) { return int(a + t * (int64_t(b) - a) / kAppBarSlideMs); };
    const int left = at(from.left, to.left);
    const int top = at(from.top, to.top);
    const int width = at(from.right - from.left, to.right - to.left);
    const int height = at(from.bottom - from.top, to.bottom - to.top);
    return RECT{left, top, left + width, top + height};
}

void CAppBarLogic::Slide(const RECT& target) {
    const RECT start = WindowRect();
    const bool moves = !SameRect(start, target);
    if (moves && m_abs.bShowHideSound)
        PlayShowHideSound();
    const bool animate = moves && Shell()->AnimationsEnabled() && !m_bSliding;
    if (animate) {
        m_bSliding = 1;
        OnSlideBegin(target);
        const int64_t t0 = TickCount();
        // The frame count bounds the loop should the clock stand still.
        for (int frame = 0; frame < kAppBarSlideMs; ++frame) {
            const int64_t t = TickCount() - t0;
            if (t >= kAppBarSlideMs)
                break;
            PlaceWindow(SlideStep(start, target, t));
            WaitForNextFrame();
        }
    }
    PlaceWindow(target);
    if (animate) {
        m_bSliding = 0;
        OnSlideEnd();
    }
}

void CAppBarLogic::OnSlideBegin(const RECT&) {}

void CAppBarLogic::OnSlideEnd() {}

void CAppBarLogic::SetWindowZOrder(AppBarZOrder order) {
    Shell()->SetZOrder(m_receiver, m_window, order);
}

void CAppBarLogic::SetEdge(int edge) {
    // Leave the edge where the bar holds auto hide, if any.
    int autoHideEdge = ABE_UNKNOWN;
    for (int e = 0; e < 4 && m_receiver; ++e) {
        if (AppBarMessage(ABM_GETAUTOHIDEBAR, e) == reinterpret_cast<uintptr_t>(m_receiver)) {
            autoHideEdge = e;
            AppBarMessage(ABM_SETAUTOHIDEBAR, e, nullptr, 0);
            break;
        }
    }

    m_abs.nEdge = edge;

    if (edge == ABE_FLOAT) {
        RECT empty{};
        AppBarMessage(ABM_SETPOS, edge, &empty);
        PlaceWindow(m_abs.rcFloat);
    } else if (edge == ABE_UNKNOWN) {
        AppBarMessage(ABM_REMOVE);
        m_bRegistered = 0;
    } else if (IsDockEdge(edge)) {
        if (m_abs.bAutoHide) {
            if (!AppBarMessage(ABM_SETAUTOHIDEBAR, edge, nullptr, 1)) {
                m_abs.bAutoHide = 0;
                OnForcedOffAutoHide();
            } else if (autoHideEdge != ABE_UNKNOWN && autoHideEdge != edge &&
                       (AppBarMessage(ABM_GETSTATE) & ABS_ALWAYSONTOP) && !m_abs.bAlwaysOnTop) {
                m_abs.bAlwaysOnTop = 1;
            }
        }
        RECT rc = DockedRect(edge);
        if (m_abs.bAutoHide) {
            RECT empty{};
            AppBarMessage(ABM_SETPOS, ABE_LEFT, &empty);
        } else {
            AppBarMessage(ABM_SETPOS, edge, &rc);
        }
        rc = AutoHideRect(edge, rc, m_bShown);
        if (!IsBusy())
            Slide(rc);
    }

    if (edge != ABE_UNKNOWN) {
        m_zOrder = !m_abs.bAlwaysOnTop    ? AppBarZOrder::NotTopmost
                   : m_bFullScreenAppOpen ? AppBarZOrder::Bottom
                                          : AppBarZOrder::Topmost;
        SetWindowZOrder(m_zOrder);
        AppBarMessage(ABM_ACTIVATE);
    }
    OnStateChange(0, edge);
}

// --- Overridable operations ----------------------------------------------------------

void CAppBarLogic::ShowHidden(BOOL bShow) {
    if (IsBusy())
        return;
    RECT rc = WindowRect();
    m_bShown = 1;
    const int edge = GetEdge();
    if (!IsDockEdge(edge) || !m_abs.bAutoHide)
        return;
    rc = AutoHideRect(edge, rc, bShow);
    m_bShown = bShow;
    Slide(rc);
    if (bShow)
        ActivateWindow();
}

void CAppBarLogic::OnStateChange(BOOL, int) {}

void CAppBarLogic::OnForcedOffAutoHide() {}

void CAppBarLogic::OnFullScreenApp(BOOL bOpen) {
    m_bFullScreenAppOpen = bOpen ? 1 : 0;
    SetEdge(GetEdge());
}

void CAppBarLogic::OnPosChanged() {
    const int edge = GetEdge();
    if (!IsDockEdge(edge) || m_abs.bAutoHide)
        return;
    if (!SameRect(DockedRect(edge), WindowRect()))
        SetEdge(edge);
}

void CAppBarLogic::OnShellStateChange(DWORD changed, DWORD state) {
    bool followed = false;
    if ((changed & ABS_AUTOHIDE) && (m_fdwOptions & ABF_MIMICTASKBARAUTOHIDE)) {
        const BOOL autoHide = (state & ABS_AUTOHIDE) ? 1 : 0;
        if (autoHide != (m_abs.bAutoHide ? 1 : 0)) {
            m_abs.bAutoHide = autoHide;
            followed = true;
        }
    }
    if ((changed & ABS_ALWAYSONTOP) && (m_fdwOptions & ABF_MIMICTASKBARALWAYSONTOP)) {
        const BOOL onTop = (state & ABS_ALWAYSONTOP) ? 1 : 0;
        if (onTop != (m_abs.bAlwaysOnTop ? 1 : 0)) {
            m_abs.bAlwaysOnTop = onTop;
            followed = true;
        }
    }
    if (followed) {
        SetEdge(GetEdge());
        ShowHidden(0);
    }
}

void CAppBarLogic::OnWindowArrange(BOOL) {}

void CAppBarLogic::PlayShowHideSound() {}

BOOL CAppBarLogic::IsBusy() {
    return 0;
}

// --- What the window reports ---------------------------------------------------------

BOOL CAppBarLogic::Register(QObject* receiver, QWindow* window) {
    if (m_bRegistered)
        return 1;
    m_receiver = receiver;
    m_window = window;
    static const UINT callback = RegisterWindowMessage("AppBarNotify");
    m_uCallbackMsg = callback;
    m_bRegistered = AppBarMessage(ABM_NEW) ? 1 : 0;
    // Start from the taskbar's present state, so that the first state change reports
    // only the bits that really changed.
    if (m_bRegistered)
        m_dwLastState = DWORD(AppBarMessage(ABM_GETSTATE));
    return m_bRegistered;
}

void CAppBarLogic::Unregister() {
    if (m_bRegistered)
        SetEdge(ABE_UNKNOWN);
}

LRESULT CAppBarLogic::OnAppBarNotify(WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
        case ABN_STATECHANGE: {
            Trace("ABN_STATECHANGE\n");
            const DWORD state = DWORD(AppBarMessage(ABM_GETSTATE));
            OnShellStateChange((state ^ m_dwLastState) & (ABS_AUTOHIDE | ABS_ALWAYSONTOP), state);
            m_dwLastState = state;
            break;
        }
        case ABN_POSCHANGED:
            Trace("ABN_POSCHANGED\n");
            OnPosChanged();
            break;
        case ABN_FULLSCREENAPP:
            OnFullScreenApp(lParam ? 1 : 0);
            break;
        case ABN_WINDOWARRANGE:
            Trace("ABN_WINDOWARRANGE\n");
            OnWindowArrange(lParam ? 1 : 0);
            break;
    }
    return 0;
}

void CAppBarLogic::OnActivate(bool active) {
    AppBarMessage(ABM_ACTIVATE);
    if (!active)
        ShowHidden(0);
}

void CAppBarLogic::OnWindowPosChanged() {
    if (m_bRegistered)
        AppBarMessage(ABM_WINDOWPOSCHANGED);
}

void CAppBarLogic::OnAutoHideTick() {
    // Only a bar that hides watches the pointer: asking where it is costs a round trip to
    // the X server, ten times a second.
    if (!m_abs.bAutoHide || !IsDockEdge(GetEdge())) {
        m_bShown = 1;  // a bar that does not hide is always out
        m_nHideCountdown = kAppBarHideTicks;
        return;
    }
    RECT area = WindowRect();
    area.left -= 2 * m_metrics.doubleClickWidth;
    area.right += 2 * m_metrics.doubleClickWidth;
    area.top -= 2 * m_metrics.doubleClickHeight;
    area.bottom += 2 * m_metrics.doubleClickHeight;
    if (Contains(area, CursorPos())) {
        m_nHideCountdown = kAppBarHideTicks;
        return;
    }
    if (--m_nHideCountdown <= 0) {
        if (m_bShown)
            ShowHidden(0);
        m_nHideCountdown = kAppBarHideTicks;
    }
}

void CAppBarLogic::OnPointerOverBar() {
    if (!m_bShown)
        ShowHidden(1);
    m_nHideCountdown = kAppBarHideTicks;
}

void CAppBarLogic::BeginDrag(QPoint pointer) {
    if (m_nProposedEdge == ABE_UNKNOWN)
        m_nProposedEdge = m_abs.nEdge;
    const RECT w = WindowRect();
    m_dragGrab = QPoint(
        std::clamp(pointer.x() - w.left, 0, std::max(0, m_abs.rcFloat.right - m_abs.rcFloat.left)),
        std::clamp(pointer.y() - w.top, 0, std::max(0, m_abs.rcFloat.bottom - m_abs.rcFloat.top)));
    m_bDragging = 1;
}

RECT CAppBarLogic::DragTo(QPoint pointer, bool ctrlHeld) {
    const int edge = EdgeFromPoint(pointer, ctrlHeld);
    const bool changed = edge != m_nProposedEdge;
    m_nProposedEdge = edge;
    RECT rc;
    if (IsDockEdge(edge)) {
        rc = DockedRect(edge);
    } else {
        // Floating: the floating rectangle, held where the pointer grabbed it.
        const int w = m_abs.rcFloat.right - m_abs.rcFloat.left;
        const int h = m_abs.rcFloat.bottom - m_abs.rcFloat.top;
        const int x = pointer.x() - m_dragGrab.x(), y = pointer.y() - m_dragGrab.y();
        rc = RECT{x, y, x + w, y + h};
    }
    if (changed)
        OnStateChange(1, edge);
    return rc;
}

void CAppBarLogic::EndDrag(const RECT& outline) {
    if (!m_bDragging)
        return;
    m_bDragging = 0;
    const int edge = m_nProposedEdge;
    m_nProposedEdge = ABE_UNKNOWN;
    if (edge == m_abs.nEdge && IsDockEdge(edge)) {
        // Released where it was: keep the bar's present thickness for that edge.
        const RECT w = WindowRect();
        m_abs.nThickness[edge] = IsVertical(edge) ? w.right - w.left : w.bottom - w.top;
    }
    if (edge == ABE_FLOAT)
        m_abs.rcFloat = outline;
    SetEdge(edge);
}

void CAppBarLogic::CancelDrag() {
    if (!m_bDragging)
        return;
    m_bDragging = 0;
    const int proposed = m_nProposedEdge;
    m_nProposedEdge = ABE_UNKNOWN;
    if (proposed != m_abs.nEdge)
        OnStateChange(0, m_abs.nEdge);
}
