#include "platform/desktop/appbar_virtual.h"

#include <QObject>

#include <algorithm>

#include "platform/message.h"

namespace {

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Moves rc clear of a strip reserved on `edge`.
void Avoid(UINT edge, const RECT& strip, RECT* rc) {
    switch (edge) {
        case ABE_LEFT:
            rc->left = std::max(rc->left, strip.right);
            break;
        case ABE_TOP:
            rc->top = std::max(rc->top, strip.bottom);
            break;
        case ABE_RIGHT:
            rc->right = std::min(rc->right, strip.left);
            break;
        case ABE_BOTTOM:
            rc->bottom = std::min(rc->bottom, strip.top);
            break;
    }
}

uintptr_t HandleOf(QObject* bar) {
    return reinterpret_cast<uintptr_t>(bar);
}

}  // namespace

VirtualAppBarShell::VirtualAppBarShell(RECT screen) : screen_(screen) {}

VirtualAppBarShell::~VirtualAppBarShell() = default;

VirtualAppBarShell::Bar* VirtualAppBarShell::Find(uintptr_t handle) {
    for (Bar& bar : bars_)
        if (bar.handle == handle)
            return &bar;
    return nullptr;
}

const VirtualAppBarShell::Bar* VirtualAppBarShell::Find(uintptr_t handle) const {
    for (const Bar& bar : bars_)
        if (bar.handle == handle)
            return &bar;
    return nullptr;
}

RECT VirtualAppBarShell::TaskbarRect() const {
    RECT r = EdgeStrip(screen_, int(taskbarEdge_), taskbarThickness_);
    return r;
}

bool VirtualAppBarShell::TaskbarReserves() const {
    return taskbarPresent_ && !(taskbarState_ & ABS_AUTOHIDE);
}

void VirtualAppBarShell::Adjust(uintptr_t handle, RECT* rc) const {
    // The taskbar keeps its edge first; then each bar yields to those that registered
    // before it, so two bars on one edge stack instead of chasing each other.
    if (TaskbarReserves())
        Avoid(taskbarEdge_, TaskbarRect(), rc);
    for (const Bar& bar : bars_) {
        if (bar.handle == handle)
            break;
        if (bar.reserving)
            Avoid(bar.edge, bar.rc, rc);
    }
}

uintptr_t VirtualAppBarShell::AutoHideBar(UINT edge) const {
    if (edge > ABE_BOTTOM)
        return 0;
    if (autoHide_[edge])
        return autoHide_[edge];
    if (taskbarPresent_ && (taskbarState_ & ABS_AUTOHIDE) && UINT(taskbarEdge_) == edge)
        return kTaskbarHandle;
    return 0;
}

void VirtualAppBarShell::NotifyAll(WPARAM code, LPARAM lParam, uintptr_t except) {
    for (const Bar& bar : bars_)
        if (bar.handle != except && bar.receiver)
            PostMessage(bar.receiver, bar.callback, code, lParam);
}

uintptr_t VirtualAppBarShell::Message(DWORD dwMessage, APPBARDATA* pData) {
    if (!pData)
        return 0;
    ++requests_[dwMessage];
    const uintptr_t handle = HandleOf(pData->hWnd);
    Bar* bar = Find(handle);

    switch (dwMessage) {
        case ABM_NEW:
            if (bar || !pData->hWnd)
                return 0;
            bars_.push_back(Bar{handle, pData->hWnd, pData->uCallbackMessage});
            return 1;

        case ABM_REMOVE: {
            if (!bar)
                return 0;
            const bool reserved = bar->reserving;
            for (uintptr_t& slot : autoHide_)
                if (slot == handle)
                    slot = 0;
            bars_.erase(bars_.begin() + (bar - bars_.data()));
            zOrder_.erase(pData->hWnd);
            if (reserved)
                NotifyAll(ABN_POSCHANGED, 0);
            return 1;
        }

        case ABM_QUERYPOS:
            if (!bar)
                return 0;
            Adjust(handle, &pData->rc);
            return 1;

        case ABM_SETPOS: {
            if (!bar || pData->uEdge > ABE_BOTTOM)
                return 0;
            const Bar before = *bar;
            if (IsEmpty(pData->rc)) {
                bar->reserving = false;
                bar->rc = RECT{};
            } else {
                Adjust(handle, &pData->rc);
                bar->reserving = !IsEmpty(pData->rc);
                bar->rc = bar->reserving ? pData->rc : RECT{};
            }
            bar->edge = pData->uEdge;
            if (before.reserving != bar->reserving ||
                (bar->reserving && (before.edge != bar->edge || !SameRect(before.rc, bar->rc))))
                NotifyAll(ABN_POSCHANGED, 0, handle);
            return 1;
        }

        case ABM_GETSTATE:
            return taskbarPresent_ ? taskbarState_ : 0;

        case ABM_GETTASKBARPOS:
            if (!taskbarPresent_)
                return 0;
            pData->uEdge = UINT(taskbarEdge_);
            pData->rc = TaskbarRect();
            return 1;

        case ABM_ACTIVATE:
        case ABM_WINDOWPOSCHANGED:
            return bar ? 1 : 0;

        case ABM_GETAUTOHIDEBAR:
            return AutoHideBar(pData->uEdge);

        case ABM_SETAUTOHIDEBAR: {
            if (!bar || pData->uEdge > ABE_BOTTOM)
                return 0;
            const uintptr_t holder = AutoHideBar(pData->uEdge);
            if (pData->lParam) {
                if (holder && holder != handle)
                    return 0;
                autoHide_[pData->uEdge] = handle;
                return 1;
            }
            if (holder != handle)
                return holder == 0;
            autoHide_[pData->uEdge] = 0;
            return 1;
        }
    }
    return 0;
}

RECT VirtualAppBarShell::ScreenRect(QWindow*) {
    return screen_;
}

RECT VirtualAppBarShell::WorkArea(QWindow*) {
    return WorkArea();
}

RECT VirtualAppBarShell::WorkArea() const {
    RECT wa = screen_;
    if (TaskbarReserves())
        Avoid(taskbarEdge_, TaskbarRect(), &wa);
    for (const Bar& bar : bars_)
        if (bar.reserving)
            Avoid(bar.edge, bar.rc, &wa);
    return wa;
}

void VirtualAppBarShell::SetZOrder(QObject* bar, QWindow*, AppBarZOrder order) {
    if (bar)
        zOrder_[bar] = order;
}

void VirtualAppBarShell::SetScreen(RECT screen) {
    screen_ = screen;
    NotifyAll(ABN_POSCHANGED, 0);
}

void VirtualAppBarShell::SetTaskbar(int edge, int thickness) {
    taskbarPresent_ = true;
    taskbarEdge_ = std::clamp(edge, 0, 3);
    taskbarThickness_ = std::max(0, thickness);
    NotifyAll(ABN_POSCHANGED, 0);
}

void VirtualAppBarShell::SetTaskbarState(UINT state) {
    state &= ABS_AUTOHIDE | ABS_ALWAYSONTOP;
    if (state == taskbarState_)
        return;
    const bool reservedBefore = TaskbarReserves();
    taskbarState_ = state;
    NotifyAll(ABN_STATECHANGE, 0);
    if (reservedBefore != TaskbarReserves())
        NotifyAll(ABN_POSCHANGED, 0);
}

void VirtualAppBarShell::RemoveTaskbar() {
    if (!taskbarPresent_)
        return;
    taskbarPresent_ = false;
    NotifyAll(ABN_STATECHANGE, 0);
    NotifyAll(ABN_POSCHANGED, 0);
}

uintptr_t VirtualAppBarShell::AddOtherBar(int edge, int thickness, bool autoHide) {
    Bar other{nextOtherHandle_++};
    other.edge = UINT(std::clamp(edge, 0, 3));
    if (autoHide) {
        if (AutoHideBar(other.edge))
            return 0;
        autoHide_[other.edge] = other.handle;
    } else {
        RECT rc = screen_;
        Adjust(other.handle, &rc);
        other.rc = rc = EdgeStrip(rc, int(other.edge), thickness);
        other.reserving = !IsEmpty(rc);
    }
    bars_.push_back(other);
    if (other.reserving)
        NotifyAll(ABN_POSCHANGED, 0, other.handle);
    return other.handle;
}

void VirtualAppBarShell::RemoveOtherBar(uintptr_t handle) {
    Bar* bar = Find(handle);
    if (!bar || bar->receiver)
        return;
    const bool reserved = bar->reserving;
    for (uintptr_t& slot : autoHide_)
        if (slot == handle)
            slot = 0;
    bars_.erase(bars_.begin() + (bar - bars_.data()));
    if (reserved)
        NotifyAll(ABN_POSCHANGED, 0);
}

void VirtualAppBarShell::OpenFullScreenApp() {
    if (fullScreenApps_++ == 0)
        NotifyAll(ABN_FULLSCREENAPP, 1);
}

void VirtualAppBarShell::CloseFullScreenApp() {
    if (fullScreenApps_ == 0)
        return;
    if (--fullScreenApps_ == 0)
        NotifyAll(ABN_FULLSCREENAPP, 0);
}

void VirtualAppBarShell::ArrangeWindows(bool starting) {
    NotifyAll(ABN_WINDOWARRANGE, starting ? 1 : 0);
}

bool VirtualAppBarShell::IsRegistered(QObject* bar) const {
    return Find(HandleOf(bar)) != nullptr;
}

RECT VirtualAppBarShell::Reserved(QObject* bar) const {
    const Bar* b = Find(HandleOf(bar));
    return b && b->reserving ? b->rc : RECT{};
}

AppBarZOrder VirtualAppBarShell::ZOrder(QObject* bar) const {
    auto it = zOrder_.find(bar);
    return it == zOrder_.end() ? AppBarZOrder::NotTopmost : it->second;
}

int VirtualAppBarShell::RequestCount(DWORD dwMessage) const {
    auto it = requests_.find(dwMessage);
    return it == requests_.end() ? 0 : it->second;
}
