// The application-bar shell on an X11 desktop, after the freedesktop.org window-manager
// conventions: a bar is a window of type _NET_WM_WINDOW_TYPE_DOCK that reserves its
// strip with _NET_WM_STRUT_PARTIAL (and _NET_WM_STRUT for older window managers); the
// window manager shrinks _NET_WORKAREA accordingly. Auto-hide registrations are kept in
// a property of the root window so that every bar on the display sees them. Full-screen
// programs are noticed through _NET_ACTIVE_WINDOW and its _NET_WM_STATE_FULLSCREEN.
//
// The shell talks to the server over a connection of its own, so that the events it
// selects on the root and on other programs' windows never disturb Qt's.
#include "platform/desktop/appbar_x11.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/message.h"

namespace {

enum Atom {
    kNetWmWindowType,
    kNetWmWindowTypeDock,
    kNetWmStrut,
    kNetWmStrutPartial,
    kNetWorkarea,
    kNetCurrentDesktop,
    kNetClientList,
    kNetActiveWindow,
    kNetWmState,
    kNetWmStateFullscreen,
    kNetWmStateAbove,
    kNetWmStateBelow,
    kNetWmDesktop,
    kNetSupportingWmCheck,
    kOwnBar,
    kAutoHideBars,
    kXSettingsSelection,
    kXSettingsSettings,
    kAtomCount
};

template <typename T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* r) : p(r) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// A 32-bit property value that a window manager may have left at any length.
std::vector<uint32_t> Values32(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32)
        return {};
    const int n = xcb_get_property_value_length(reply) / 4;
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    return std::vector<uint32_t>(data, data + n);
}

class X11AppBarShell : public AppBarShell {
public:
    X11AppBarShell(xcb_connection_t* c, xcb_screen_t* screen, int screenNumber)
        : c_(c), screen_(screen), root_(screen->root), screenNumber_(screenNumber) {
        static const char* const names[kAtomCount] = {"_NET_WM_WINDOW_TYPE",
                                                      "_NET_WM_WINDOW_TYPE_DOCK",
                                                      "_NET_WM_STRUT",
                                                      "_NET_WM_STRUT_PARTIAL",
                                                      "_NET_WORKAREA",
                                                      "_NET_CURRENT_DESKTOP",
                                                      "_NET_CLIENT_LIST",
                                                      "_NET_ACTIVE_WINDOW",
                                                      "_NET_WM_STATE",
                                                      "_NET_WM_STATE_FULLSCREEN",
                                                      "_NET_WM_STATE_ABOVE",
                                                      "_NET_WM_STATE_BELOW",
                                                      "_NET_WM_DESKTOP",
                                                      "_NET_SUPPORTING_WM_CHECK",
                                                      "_TONEDECK_APPBAR",
                                                      "_TONEDECK_AUTOHIDE_BARS",
                                                      nullptr,
                                                      "_XSETTINGS_SETTINGS"};
        const QByteArray selection = "_XSETTINGS_S" + QByteArray::number(screenNumber_);
        xcb_intern_atom_cookie_t cookies[kAtomCount];
        for (int i = 0; i < kAtomCount; ++i) {
            const char* name = i == kXSettingsSelection ? selection.constData() : names[i];
            cookies[i] = xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name);
        }
        for (int i = 0; i < kAtomCount; ++i) {
            Reply r(xcb_intern_atom_reply(c_, cookies[i], nullptr));
            atoms_[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);

        notifier_ = new QSocketNotifier(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { DrainEvents(); });
        WatchActiveWindow();
        WatchPanel();
    }

    ~X11AppBarShell() override {
        delete notifier_;
        xcb_disconnect(c_);
    }

    const char* Name() const override { return "x11"; }

    uintptr_t Message(DWORD dwMessage, APPBARDATA* pData) override;
    RECT ScreenRect(QWindow* window) override;
    RECT WorkArea(QWindow* window) override;
    void SetZOrder(QObject* bar, QWindow* window, AppBarZOrder order) override;
    bool AnimationsEnabled() override;
    void Flush() override {
        FlushQt();
        xcb_flush(c_);
    }

private:
    struct Bar {
        QPointer<QObject> receiver;
        UINT callback = 0;
        QPointer<QWindow> window;
        bool fullScreenReported = false;
        std::vector<uint32_t> othersSignature;
    };

    xcb_atom_t A(Atom a) const { return atoms_[a]; }

    static void FlushQt() {
        if (auto* x11 =
                qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
            if (x11->connection())
                xcb_flush(x11->connection());
    }

    static xcb_window_t Xid(QWindow* window) {
        return window && window->handle() ? xcb_window_t(window->winId())
                                          : xcb_window_t(XCB_WINDOW_NONE);
    }

    static qreal Ratio(QWindow* window) { return window ? window->devicePixelRatio() : 1.0; }

    static RECT ToPixels(const RECT& r, qreal k) {
        return RECT{int(std::lround(r.left * k)), int(std::lround(r.top * k)),
                    int(std::lround(r.right * k)), int(std::lround(r.bottom * k))};
    }

    static RECT FromPixels(const RECT& r, qreal k) { return ToPixels(r, 1.0 / k); }

    std::vector<uint32_t> Property(xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                                   uint32_t maxLength = 1024) {
        if (!w || !property)
            return {};
        Reply r(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, property, type, 0, maxLength),
                                       nullptr));
        return r && r->type == type ? Values32(r.p) : std::vector<uint32_t>{};
    }

    bool WindowExists(xcb_window_t w) {
        if (!w)
            return false;
        Reply r(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
        return bool(r);
    }

    bool HasWindowManager() {
        return !Property(root_, A(kNetSupportingWmCheck), XCB_ATOM_WINDOW, 1).empty();
    }

    // A window's rectangle in root coordinates (pixels).
    bool Geometry(xcb_window_t w, RECT* out) {
        Reply g(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr));
        if (!g)
            return false;
        Reply t(xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, w, root_, 0, 0),
                                                nullptr));
        if (!t)
            return false;
        *out = RECT{t->dst_x, t->dst_y, t->dst_x + g->width, t->dst_y + g->height};
        return true;
    }

    Bar* FindBar(QObject* receiver) {
        for (Bar& bar : bars_)
            if (bar.receiver == receiver)
                return &bar;
        return nullptr;
    }

    bool IsOwnBarWindow(xcb_window_t w) {
        for (const Bar& bar : bars_)
            if (Xid(bar.window) == w)
                return true;
        return false;
    }

    // The struts of the windows the bar yields to: those the window manager listed
    // before it (all of them while it is not listed). Left, right, top, bottom for each.
    std::vector<uint32_t> OtherStruts(xcb_window_t self) {
        std::vector<uint32_t> out;
        for (uint32_t w : Property(root_, A(kNetClientList), XCB_ATOM_WINDOW, 65536)) {
            if (w == self)
                break;
            std::vector<uint32_t> s = Property(w, A(kNetWmStrutPartial), XCB_ATOM_CARDINAL, 12);
            if (s.size() < 4)
                s = Property(w, A(kNetWmStrut), XCB_ATOM_CARDINAL, 4);
            if (s.size() < 4)
                continue;
            out.insert(out.end(), s.begin(), s.begin() + 4);
        }
        return out;
    }

    // Moves rc (pixels) clear of the strips other docks reserve.
    void AdjustForOthers(xcb_window_t self, RECT* rc) {
        if (!Property(root_, A(kNetClientList), XCB_ATOM_WINDOW, 1).empty()) {
            const std::vector<uint32_t> s = OtherStruts(self);
            for (size_t i = 0; i + 3 < s.size(); i += 4) {
                if (s[i])
                    rc->left = std::max(rc->left, int(s[i]));
                if (s[i + 1])
                    rc->right = std::min(rc->right, int(screen_->width_in_pixels - s[i + 1]));
                if (s[i + 2])
                    rc->top = std::max(rc->top, int(s[i + 2]));
                if (s[i + 3])
                    rc->bottom = std::min(rc->bottom, int(screen_->height_in_pixels - s[i + 3]));
            }
            return;
        }
        // A window manager that publishes a work area but no client list: take the work
        // area, giving back what this bar reserves itself.
        RECT wa;
        if (!WorkAreaPixels(&wa))
            return;  // no window manager: the whole screen
        const std::vector<uint32_t> own = Property(self, A(kNetWmStrut), XCB_ATOM_CARDINAL, 4);
        if (own.size() == 4) {
            if (own[0] && wa.left == int(own[0]))
                wa.left = 0;
            if (own[1] && wa.right == int(screen_->width_in_pixels - own[1]))
                wa.right = screen_->width_in_pixels;
            if (own[2] && wa.top == int(own[2]))
                wa.top = 0;
            if (own[3] && wa.bottom == int(screen_->height_in_pixels - own[3]))
                wa.bottom = screen_->height_in_pixels;
        }
        rc->left = std::max(rc->left, wa.left);
        rc->top = std::max(rc->top, wa.top);
        rc->right = std::min(rc->right, wa.right);
        rc->bottom = std::min(rc->bottom, wa.bottom);
    }

    bool WorkAreaPixels(RECT* out) {
        const std::vector<uint32_t> wa = Property(root_, A(kNetWorkarea), XCB_ATOM_CARDINAL, 4096);
        if (wa.size() < 4)
            return false;
        const std::vector<uint32_t> cur =
            Property(root_, A(kNetCurrentDesktop), XCB_ATOM_CARDINAL, 1);
        size_t at = cur.empty() ? 0 : size_t(cur[0]) * 4;
        if (at + 3 >= wa.size())
            at = 0;
        *out = RECT{int(wa[at]), int(wa[at + 1]), int(wa[at] + wa[at + 2]),
                    int(wa[at + 1] + wa[at + 3])};
        return true;
    }

    void SetStrut(xcb_window_t w, UINT edge, const RECT& rc) {
        if (!w)
            return;
        if (IsEmpty(rc)) {
            xcb_delete_property(c_, w, A(kNetWmStrutPartial));
            xcb_delete_property(c_, w, A(kNetWmStrut));
            return;
        }
        const int W = screen_->width_in_pixels;
        const int H = screen_->height_in_pixels;
        uint32_t p[12] = {};
        switch (edge) {
            case ABE_LEFT:
                p[0] = uint32_t(std::max(0, rc.right));
                p[4] = uint32_t(std::max(0, rc.top));
                p[5] = uint32_t(std::max(0, rc.bottom - 1));
                break;
            case ABE_RIGHT:
                p[1] = uint32_t(std::max(0, W - rc.left));
                p[6] = uint32_t(std::max(0, rc.top));
                p[7] = uint32_t(std::max(0, rc.bottom - 1));
                break;
            case ABE_TOP:
                p[2] = uint32_t(std::max(0, rc.bottom));
                p[8] = uint32_t(std::max(0, rc.left));
                p[9] = uint32_t(std::max(0, rc.right - 1));
                break;
            default:
                p[3] = uint32_t(std::max(0, H - rc.top));
                p[10] = uint32_t(std::max(0, rc.left));
                p[11] = uint32_t(std::max(0, rc.right - 1));
                break;
        }
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kNetWmStrutPartial), XCB_ATOM_CARDINAL,
                            32, 12, p);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kNetWmStrut), XCB_ATOM_CARDINAL, 32, 4,
                            p);
    }

    void MarkAsDock(QWindow* window) {
        if (!window)
            return;
        // Qt writes the window type again whenever the window's flags change; this
        // property makes it write the dock type too.
        window->setProperty("_q_xcb_wm_window_type", 0x000004);
        const xcb_window_t w = Xid(window);
        if (!w)
            return;
        const xcb_atom_t dock = A(kNetWmWindowTypeDock);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kNetWmWindowType), XCB_ATOM_ATOM, 32, 1,
                            &dock);
        const uint32_t all = 0xFFFFFFFF, one = 1;
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kNetWmDesktop), XCB_ATOM_CARDINAL, 32,
                            1, &all);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kOwnBar), XCB_ATOM_CARDINAL, 32, 1,
                            &one);
        // Reach the server before Qt maps the window, so the window manager sees a dock.
        Reply r(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }

    // The desktop's own panel: the first dock the window manager lists that is not a bar
    // of this kind.
    xcb_window_t FindPanel() {
        for (uint32_t w : Property(root_, A(kNetClientList), XCB_ATOM_WINDOW, 65536)) {
            if (!Property(w, A(kOwnBar), XCB_ATOM_CARDINAL, 1).empty())
                continue;
            const std::vector<uint32_t> types = Property(w, A(kNetWmWindowType), XCB_ATOM_ATOM, 32);
            if (std::find(types.begin(), types.end(), A(kNetWmWindowTypeDock)) != types.end())
                return w;
        }
        return XCB_WINDOW_NONE;
    }

    // Edge of a panel from where it lies on the root window.
    int PanelEdge(const RECT& r) {
        const int W = screen_->width_in_pixels, H = screen_->height_in_pixels;
        if (r.right - r.left >= r.bottom - r.top)
            return (r.top + r.bottom) / 2 < H / 2 ? int(ABE_TOP) : int(ABE_BOTTOM);
        return (r.left + r.right) / 2 < W / 2 ? int(ABE_LEFT) : int(ABE_RIGHT);
    }

    UINT PanelState(xcb_window_t panel) {
        if (!panel)
            return 0;
        UINT state = 0;
        std::vector<uint32_t> s = Property(panel, A(kNetWmStrutPartial), XCB_ATOM_CARDINAL, 12);
        if (s.size() < 4)
            s = Property(panel, A(kNetWmStrut), XCB_ATOM_CARDINAL, 4);
        const bool reserves = s.size() >= 4 && (s[0] || s[1] || s[2] || s[3]);
        if (!reserves)
            state |= ABS_AUTOHIDE;
        const std::vector<uint32_t> st = Property(panel, A(kNetWmState), XCB_ATOM_ATOM, 64);
        if (std::find(st.begin(), st.end(), A(kNetWmStateBelow)) == st.end())
            state |= ABS_ALWAYSONTOP;
        return state;
    }

    // The window holding the auto-hide registration of each edge, on the root window.
    std::array<uint32_t, 4> AutoHideSlots() {
        std::array<uint32_t, 4> owners{};
        const std::vector<uint32_t> v = Property(root_, A(kAutoHideBars), XCB_ATOM_WINDOW, 4);
        for (size_t i = 0; i < v.size() && i < 4; ++i)
            owners[i] = WindowExists(v[i]) ? v[i] : 0;
        return owners;
    }

    uintptr_t HandleFor(xcb_window_t w) {
        for (const Bar& bar : bars_)
            if (Xid(bar.window) == w && bar.receiver)
                return reinterpret_cast<uintptr_t>(bar.receiver.data());
        return w;
    }

    uintptr_t AutoHideHolder(UINT edge, std::array<uint32_t, 4>* owners) {
        *owners = AutoHideSlots();
        if ((*owners)[edge])
            return (*owners)[edge];
        const xcb_window_t panel = FindPanel();
        RECT r;
        if (panel && (PanelState(panel) & ABS_AUTOHIDE) && Geometry(panel, &r) &&
            PanelEdge(r) == int(edge))
            return panel;
        return 0;
    }

    void WatchActiveWindow() {
        const std::vector<uint32_t> v = Property(root_, A(kNetActiveWindow), XCB_ATOM_WINDOW, 1);
        const xcb_window_t active = v.empty() ? xcb_window_t(XCB_WINDOW_NONE) : v[0];
        if (active == active_)
            return;
        const uint32_t none = 0, props = XCB_EVENT_MASK_PROPERTY_CHANGE;
        if (active_ && active_ != panel_ && WindowExists(active_))
            xcb_change_window_attributes(c_, active_, XCB_CW_EVENT_MASK, &none);
        active_ = active;
        if (active_)
            xcb_change_window_attributes(c_, active_, XCB_CW_EVENT_MASK, &props);
        xcb_flush(c_);
    }

    void WatchPanel() {
        const xcb_window_t panel = FindPanel();
        if (panel != panel_) {
            const uint32_t props = XCB_EVENT_MASK_PROPERTY_CHANGE;
            if (panel)
                xcb_change_window_attributes(c_, panel, XCB_CW_EVENT_MASK, &props);
            panel_ = panel;
        }
        panelState_ = PanelState(panel_);
        xcb_flush(c_);
    }

    void CheckFullScreen();
    void CheckPanel();
    void CheckPositions();
    void DrainEvents();
    void ScheduleDrain();

    xcb_connection_t* c_;
    xcb_screen_t* screen_;
    xcb_window_t root_;
    int screenNumber_;
    xcb_atom_t atoms_[kAtomCount] = {};
    QSocketNotifier* notifier_ = nullptr;
    std::vector<Bar> bars_;
    xcb_window_t active_ = XCB_WINDOW_NONE;
    xcb_window_t panel_ = XCB_WINDOW_NONE;
    UINT panelState_ = 0;
    bool drainScheduled_ = false;
};

uintptr_t X11AppBarShell::Message(DWORD dwMessage, APPBARDATA* pData) {
    if (!pData)
        return 0;
    FlushQt();
    Bar* bar = FindBar(pData->hWnd);
    if (bar && pData->window)
        bar->window = pData->window;
    QWindow* window = bar ? bar->window.data() : pData->window;
    const xcb_window_t self = Xid(window);
    const qreal k = Ratio(window);
    uintptr_t result = 0;

    switch (dwMessage) {
        case ABM_NEW:
            if (bar || !pData->hWnd)
                break;
            bars_.push_back(Bar{pData->hWnd, pData->uCallbackMessage, pData->window});
            MarkAsDock(pData->window);
            bars_.back().othersSignature = OtherStruts(self);
            result = 1;
            break;

        case ABM_REMOVE: {
            if (!bar)
                break;
            SetStrut(self, 0, RECT{});
            std::array<uint32_t, 4> owners = AutoHideSlots();
            bool changed = false;
            for (uint32_t& slot : owners)
                if (self && slot == self)
                    slot = 0, changed = true;
            if (changed)
                xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, A(kAutoHideBars),
                                    XCB_ATOM_WINDOW, 32, 4, owners.data());
            bars_.erase(bars_.begin() + (bar - bars_.data()));
            result = 1;
            break;
        }

        case ABM_QUERYPOS: {
            if (!bar)
                break;
            RECT rc = ToPixels(pData->rc, k);
            AdjustForOthers(self, &rc);
            pData->rc = FromPixels(rc, k);
            result = 1;
            break;
        }

        case ABM_SETPOS: {
            if (!bar || pData->uEdge > ABE_BOTTOM)
                break;
            RECT rc = ToPixels(pData->rc, k);
            if (!IsEmpty(rc)) {
                AdjustForOthers(self, &rc);
                pData->rc = FromPixels(rc, k);
            }
            SetStrut(self, pData->uEdge, rc);
            result = 1;
            break;
        }

        case ABM_GETSTATE:
            result = PanelState(FindPanel());
            break;

        case ABM_GETTASKBARPOS: {
            const xcb_window_t panel = FindPanel();
            RECT r;
            if (!panel || !Geometry(panel, &r))
                break;
            pData->uEdge = UINT(PanelEdge(r));
            pData->rc = FromPixels(r, k);
            result = 1;
            break;
        }

        case ABM_ACTIVATE:
            result = bar ? 1 : 0;
            break;

        case ABM_WINDOWPOSCHANGED:
            result = bar ? 1 : 0;
            if (bar)
                CheckFullScreen();
            break;

        case ABM_GETAUTOHIDEBAR: {
            if (pData->uEdge > ABE_BOTTOM)
                break;
            std::array<uint32_t, 4> owners;
            const uintptr_t holder = AutoHideHolder(pData->uEdge, &owners);
            result = holder ? HandleFor(xcb_window_t(holder)) : 0;
            break;
        }

        case ABM_SETAUTOHIDEBAR: {
            if (!bar || !self || pData->uEdge > ABE_BOTTOM)
                break;
            // Hold the server so that two bars cannot take one edge at the same time.
            xcb_grab_server(c_);
            std::array<uint32_t, 4> owners;
            const uintptr_t holder = AutoHideHolder(pData->uEdge, &owners);
            if (pData->lParam) {
                if (!holder || holder == self) {
                    owners[pData->uEdge] = self;
                    result = 1;
                }
            } else if (holder == self) {
                owners[pData->uEdge] = 0;
                result = 1;
            } else {
                result = holder == 0;
            }
            if (result)
                xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, A(kAutoHideBars),
                                    XCB_ATOM_WINDOW, 32, 4, owners.data());
            xcb_ungrab_server(c_);
            break;
        }
    }
    xcb_flush(c_);
    ScheduleDrain();
    return result;
}

RECT X11AppBarShell::ScreenRect(QWindow* window) {
    const QScreen* s =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return RECT{0, 0, screen_->width_in_pixels, screen_->height_in_pixels};
    const QRect g = s->geometry();
    return RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

RECT X11AppBarShell::WorkArea(QWindow* window) {
    const RECT screen = ScreenRect(window);
    RECT wa;
    if (!WorkAreaPixels(&wa))
        return screen;
    wa = FromPixels(wa, Ratio(window));
    return RECT{std::max(wa.left, screen.left), std::max(wa.top, screen.top),
                std::min(wa.right, screen.right), std::min(wa.bottom, screen.bottom)};
}

void X11AppBarShell::SetZOrder(QObject*, QWindow* window, AppBarZOrder order) {
    const xcb_window_t w = Xid(window);
    if (!w)
        return;
    FlushQt();
    ScheduleDrain();
    if (!HasWindowManager()) {
        const uint32_t mode =
            order == AppBarZOrder::Bottom ? XCB_STACK_MODE_BELOW : XCB_STACK_MODE_ABOVE;
        if (order != AppBarZOrder::NotTopmost)
            xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
        xcb_flush(c_);
        return;
    }
    auto send = [&](uint32_t action, xcb_atom_t state) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = A(kNetWmState);
        e.data.data32[0] = action;  // 0 remove, 1 add
        e.data.data32[1] = state;
        e.data.data32[3] = 1;  // from an application
        xcb_send_event(c_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&e));
    };
    const bool above = order == AppBarZOrder::Topmost;
    const bool below = order == AppBarZOrder::Bottom;
    send(above ? 1 : 0, A(kNetWmStateAbove));
    send(below ? 1 : 0, A(kNetWmStateBelow));

    // A window that is not mapped yet carries its wish in the property itself.
    Reply attr(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
    if (attr && attr->map_state == XCB_MAP_STATE_UNMAPPED) {
        std::vector<uint32_t> st = Property(w, A(kNetWmState), XCB_ATOM_ATOM, 64);
        st.erase(std::remove_if(st.begin(), st.end(),
                                [&](uint32_t a) {
                                    return a == A(kNetWmStateAbove) || a == A(kNetWmStateBelow);
                                }),
                 st.end());
        if (above)
            st.push_back(A(kNetWmStateAbove));
        if (below)
            st.push_back(A(kNetWmStateBelow));
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, A(kNetWmState), XCB_ATOM_ATOM, 32,
                            uint32_t(st.size()), st.data());
    }
    xcb_flush(c_);
}

bool X11AppBarShell::AnimationsEnabled() {
    ScheduleDrain();
    if (!A(kXSettingsSelection))
        return true;
    Reply owner(xcb_get_selection_owner_reply(
        c_, xcb_get_selection_owner(c_, A(kXSettingsSelection)), nullptr));
    if (!owner || !owner->owner)
        return true;
    Reply r(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, owner->owner, A(kXSettingsSettings), XCB_ATOM_ANY, 0, 65536),
        nullptr));
    if (!r || r->format != 8)
        return true;
    return XSettingsAnimationsEnabled(static_cast<const uint8_t*>(xcb_get_property_value(r.p)),
                                      size_t(xcb_get_property_value_length(r.p)));
}

void X11AppBarShell::CheckFullScreen() {
    bool fullScreen = false;
    RECT app{};
    if (active_ && !IsOwnBarWindow(active_)) {
        const std::vector<uint32_t> st = Property(active_, A(kNetWmState), XCB_ATOM_ATOM, 64);
        fullScreen = std::find(st.begin(), st.end(), A(kNetWmStateFullscreen)) != st.end() &&
                     Geometry(active_, &app);
    }
    for (Bar& bar : bars_) {
        bool on = false;
        if (fullScreen) {
            // Only a full-screen program on the bar's own monitor counts.
            const RECT s = ToPixels(ScreenRect(bar.window), Ratio(bar.window));
            on = std::max(s.left, app.left) < std::min(s.right, app.right) &&
                 std::max(s.top, app.top) < std::min(s.bottom, app.bottom);
        }
        if (on != bar.fullScreenReported && bar.receiver) {
            bar.fullScreenReported = on;
            PostMessage(bar.receiver, bar.callback, ABN_FULLSCREENAPP, on ? 1 : 0);
        }
    }
}

void X11AppBarShell::CheckPanel() {
    const UINT before = panelState_;
    WatchPanel();
    if (panelState_ != before)
        for (const Bar& bar : bars_)
            if (bar.receiver)
                PostMessage(bar.receiver, bar.callback, ABN_STATECHANGE, 0);
}

void X11AppBarShell::CheckPositions() {
    for (Bar& bar : bars_) {
        std::vector<uint32_t> now = OtherStruts(Xid(bar.window));
        if (now != bar.othersSignature) {
            bar.othersSignature = std::move(now);
            if (bar.receiver)
                PostMessage(bar.receiver, bar.callback, ABN_POSCHANGED, 0);
        }
    }
}

void X11AppBarShell::DrainEvents() {
    drainScheduled_ = false;
    // Answering the events takes round trips, during which xcb may queue new events
    // without the socket becoming readable again; go round until none is left.
    for (int round = 0; round < 16; ++round) {
        bool active = false, panel = false, positions = false, any = false;
        while (xcb_generic_event_t* e =
                   round == 0 ? xcb_poll_for_event(c_) : xcb_poll_for_queued_event(c_)) {
            any = true;
            if ((e->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
                if (p->window == root_) {
                    if (p->atom == A(kNetActiveWindow))
                        active = true;
                    if (p->atom == A(kNetClientList))
                        panel = positions = true;
                    if (p->atom == A(kNetWorkarea))
                        positions = true;
                } else {
                    if (p->window == active_ && p->atom == A(kNetWmState))
                        active = true;
                    if (p->window == panel_) {
                        panel = true;
                        if (p->atom == A(kNetWmStrutPartial) || p->atom == A(kNetWmStrut))
                            positions = true;
                    }
                }
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c_)) {
            notifier_->setEnabled(false);
            return;
        }
        if (!any && round > 0)
            return;
        if (active) {
            WatchActiveWindow();
            CheckFullScreen();
        }
        if (panel)
            CheckPanel();
        if (positions)
            CheckPositions();
    }
}

void X11AppBarShell::ScheduleDrain() {
    // Replies read while answering a request may have brought events along with them.
    if (drainScheduled_)
        return;
    drainScheduled_ = true;
    QTimer::singleShot(0, notifier_, [this] { DrainEvents(); });
}

}  // namespace

// Reads Gtk/EnableAnimations from an XSETTINGS blob; true when it is absent. Every
// length in the blob is checked against its end.
bool XSettingsAnimationsEnabled(const uint8_t* data, size_t size) {
    if (size < 12)
        return true;
    const bool big = data[0] != 0;
    auto card16 = [&](size_t at) -> uint32_t {
        return big ? (data[at] << 8) | data[at + 1] : data[at] | (data[at + 1] << 8);
    };
    auto card32 = [&](size_t at) -> uint32_t {
        return big ? (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) |
                         (uint32_t(data[at + 2]) << 8) | data[at + 3]
                   : data[at] | (uint32_t(data[at + 1]) << 8) | (uint32_t(data[at + 2]) << 16) |
                         (uint32_t(data[at + 3]) << 24);
    };
    auto pad4 = [](size_t n) { return (n + 3) & ~size_t(3); };
    const uint32_t count = card32(8);
    size_t at = 12;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 4 > size)
            return true;
        const uint8_t type = data[at];
        const size_t nameLen = card16(at + 2);
        const size_t nameAt = at + 4;
        at = nameAt + pad4(nameLen);
        if (at + 4 > size)
            return true;
        at += 4;  // serial of the last change
        const std::string_view name(reinterpret_cast<const char*>(data + nameAt), nameLen);
        if (type == 0) {
            if (at + 4 > size)
                return true;
            if (name == "Gtk/EnableAnimations")
                return card32(at) != 0;
            at += 4;
        } else if (type == 1) {
            if (at + 4 > size)
                return true;
            const size_t len = card32(at);
            if (len > size)
                return true;
            at += 4 + pad4(len);
        } else if (type == 2) {
            at += 8;
        } else {
            return true;
        }
    }
    return true;
}

std::unique_ptr<AppBarShell> CreateX11AppBarShell() {
    int screenNumber = 0;
    const QByteArray display = qgetenv("DISPLAY");
    xcb_connection_t* c =
        xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::make_unique<X11AppBarShell>(c, it.data, screenNumber);
}
