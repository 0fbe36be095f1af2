// The desktop's application-bar service: a bar registers with the shell, asks where it
// may dock, reserves a strip of the work area, and hears from the shell through its
// callback message when the taskbar, other bars or full-screen programs change.
//
// Requests go through SHAppBarMessage; the shell that answers them is chosen once per
// process: the X11 shell on an X display, an in-process virtual shell everywhere else.
#pragma once

#include <cstdint>

#include "platform/types.h"

class QObject;
class QWindow;

// Requests.
inline constexpr DWORD ABM_NEW = 0x00000000;
inline constexpr DWORD ABM_REMOVE = 0x00000001;
inline constexpr DWORD ABM_QUERYPOS = 0x00000002;
inline constexpr DWORD ABM_SETPOS = 0x00000003;
inline constexpr DWORD ABM_GETSTATE = 0x00000004;
inline constexpr DWORD ABM_GETTASKBARPOS = 0x00000005;
inline constexpr DWORD ABM_ACTIVATE = 0x00000006;
inline constexpr DWORD ABM_GETAUTOHIDEBAR = 0x00000007;
inline constexpr DWORD ABM_SETAUTOHIDEBAR = 0x00000008;
inline constexpr DWORD ABM_WINDOWPOSCHANGED = 0x00000009;

// Notifications: the code is the wParam of the bar's callback message.
inline constexpr WPARAM ABN_STATECHANGE = 0x0000000;
inline constexpr WPARAM ABN_POSCHANGED = 0x0000001;
inline constexpr WPARAM ABN_FULLSCREENAPP = 0x0000002;  // lParam: opened (1) or closed (0)
inline constexpr WPARAM ABN_WINDOWARRANGE = 0x0000003;  // lParam: starting (1) or done (0)

// Bits of the taskbar state (ABM_GETSTATE).
inline constexpr UINT ABS_AUTOHIDE = 0x0000001;
inline constexpr UINT ABS_ALWAYSONTOP = 0x0000002;

// Screen edges.
inline constexpr UINT ABE_LEFT = 0;
inline constexpr UINT ABE_TOP = 1;
inline constexpr UINT ABE_RIGHT = 2;
inline constexpr UINT ABE_BOTTOM = 3;

// One request. hWnd names the bar and receives its callback messages (a QObject that
// mixes in MessageReceiver); window is the bar's top-level window, which the shell marks
// as a dock and on which it reserves the strip (null in the virtual shell is fine).
struct APPBARDATA {
    DWORD cbSize;
    QObject* hWnd;
    UINT uCallbackMessage;
    UINT uEdge;
    RECT rc;
    LPARAM lParam;
    QWindow* window;
};

// Sends one request to the shell. Answers as the shell's protocol defines them: TRUE or
// FALSE, the state bits, or for ABM_GETAUTOHIDEBAR the handle of the bar registered on
// that edge (a bar's hWnd as a number, another program's window id, or 0 for none).
uintptr_t SHAppBarMessage(DWORD dwMessage, APPBARDATA* pData);

// Where a bar sits in the stacking order.
enum class AppBarZOrder { Topmost, NotTopmost, Bottom };

// The shell behind SHAppBarMessage. Everything in screen pixels of the bar's monitor.
class AppBarShell {
public:
    virtual ~AppBarShell() = default;

    virtual uintptr_t Message(DWORD dwMessage, APPBARDATA* pData) = 0;
    // The screen the bar docks on (the monitor of its window, or the primary one).
    virtual RECT ScreenRect(QWindow* window) = 0;
    // The desktop's work area on that screen.
    virtual RECT WorkArea(QWindow* window) = 0;
    // Puts the bar's window at the given place of the stacking order.
    virtual void SetZOrder(QObject* bar, QWindow* window, AppBarZOrder order) = 0;
    // False when the desktop has window animations switched off.
    virtual bool AnimationsEnabled() = 0;
    // Makes window changes made so far visible on the display.
    virtual void Flush() {}
    virtual const char* Name() const = 0;
};

// The shell of this process: the X11 shell when the program runs on an X display and it
// can be reached, otherwise a virtual shell (said once on standard error).
AppBarShell* CurrentAppBarShell();

// Puts another shell in place (tests); null returns to the automatic choice. The caller
// keeps ownership and must reset it before deleting the shell.
void SetAppBarShell(AppBarShell* shell);

// Name of an edge for traces ("left", "top", "right", "bottom").
const char* AppBarEdgeName(int edge);

// The strip of `area` along an edge, `thickness` pixels deep (the bottom edge for any edge
// but left, top and right).
inline RECT EdgeStrip(RECT area, int edge, int thickness) {
    switch (edge) {
        case 0:  // left
            area.right = area.left + thickness;
            break;
        case 1:  // top
            area.bottom = area.top + thickness;
            break;
        case 2:  // right
            area.left = area.right - thickness;
            break;
        default:
            area.top = area.bottom - thickness;
            break;
    }
    return area;
}
