// An in-process desktop shell for the application-bar service: a screen, a work area, a
// taskbar whose edge and state can be set, bars of other programs and full-screen
// programs. Used where no X display is available and by tests, which drive the desktop
// through the methods below and watch what the bars asked for.
#pragma once

#include <QPointer>

#include <map>
#include <vector>

#include "platform/desktop/appbar.h"

class VirtualAppBarShell : public AppBarShell {
public:
    explicit VirtualAppBarShell(RECT screen = {0, 0, 1024, 768});
    ~VirtualAppBarShell() override;

    uintptr_t Message(DWORD dwMessage, APPBARDATA* pData) override;
    RECT ScreenRect(QWindow* window) override;
    RECT WorkArea(QWindow* window) override;
    void SetZOrder(QObject* bar, QWindow* window, AppBarZOrder order) override;
    bool AnimationsEnabled() override { return animations_; }
    const char* Name() const override { return "virtual"; }

    // The desktop, as a test or a headless run wants it. Every change that moves the
    // work area or the taskbar tells the registered bars (ABN_POSCHANGED); a change of
    // the taskbar's state bits tells them ABN_STATECHANGE. Notifications are posted.
    void SetScreen(RECT screen);
    void SetTaskbar(int edge, int thickness);
    void SetTaskbarState(UINT state);  // ABS_AUTOHIDE | ABS_ALWAYSONTOP
    void RemoveTaskbar();
    // A bar of another program: reserves a strip of `thickness` on `edge` (or, with auto
    // hide, only claims the edge). Returns its handle.
    uintptr_t AddOtherBar(int edge, int thickness, bool autoHide = false);
    void RemoveOtherBar(uintptr_t handle);
    // Full-screen programs on this screen: the first opened and the last closed are told.
    void OpenFullScreenApp();
    void CloseFullScreenApp();
    // Windows being cascaded or tiled (starting true) and done (false).
    void ArrangeWindows(bool starting);
    void SetAnimationsEnabled(bool on) { animations_ = on; }

    // What the bars did.
    RECT WorkArea() const;
    bool IsRegistered(QObject* bar) const;
    // The strip the bar reserves; empty when it reserves none.
    RECT Reserved(QObject* bar) const;
    AppBarZOrder ZOrder(QObject* bar) const;
    int RequestCount(DWORD dwMessage) const;
    uintptr_t TaskbarHandle() const { return kTaskbarHandle; }

private:
    static constexpr uintptr_t kTaskbarHandle = 1;

    struct Bar {
        uintptr_t handle;
        QPointer<QObject> receiver;  // null for bars of other programs
        UINT callback = 0;
        bool reserving = false;
        UINT edge = ABE_LEFT;
        RECT rc{};
    };

    Bar* Find(uintptr_t handle);
    const Bar* Find(uintptr_t handle) const;
    RECT TaskbarRect() const;
    bool TaskbarReserves() const;
    // Moves rc clear of the strips of the taskbar and of the bars registered before
    // `handle` (all bars when it is not registered).
    void Adjust(uintptr_t handle, RECT* rc) const;
    uintptr_t AutoHideBar(UINT edge) const;
    void NotifyAll(WPARAM code, LPARAM lParam, uintptr_t except = 0);

    RECT screen_;
    bool taskbarPresent_ = true;
    int taskbarEdge_ = ABE_BOTTOM;
    int taskbarThickness_ = 28;
    UINT taskbarState_ = ABS_ALWAYSONTOP;
    std::vector<Bar> bars_;  // in registration order
    uintptr_t autoHide_[4] = {0, 0, 0, 0};
    uintptr_t nextOtherHandle_ = 0x100;
    int fullScreenApps_ = 0;
    bool animations_ = true;
    std::map<QObject*, AppBarZOrder> zOrder_;
    std::map<DWORD, int> requests_;
};
