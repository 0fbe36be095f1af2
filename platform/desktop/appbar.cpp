#include "platform/desktop/appbar.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <cstdio>
#include <memory>

#include "platform/desktop/appbar_virtual.h"
#include "platform/desktop/appbar_x11.h"

namespace {

AppBarShell* g_override = nullptr;

AppBarShell* AutomaticShell() {
    static std::unique_ptr<AppBarShell> shell = [] {
        std::unique_ptr<AppBarShell> chosen;
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            chosen = CreateX11AppBarShell();
        if (!chosen) {
            RECT screen{0, 0, 1024, 768};
            if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
                if (const QScreen* primary = QGuiApplication::primaryScreen()) {
                    const QRect g = primary->geometry();
                    screen = RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
                }
            std::fprintf(stderr,
                         "Tonedeck: no X11 desktop to dock on; the bar uses a virtual shell\n");
            chosen = std::make_unique<VirtualAppBarShell>(screen);
        }
        return chosen;
    }();
    return shell.get();
}

}  // namespace

AppBarShell* CurrentAppBarShell() {
    return g_override ? g_override : AutomaticShell();
}

void SetAppBarShell(AppBarShell* shell) {
    g_override = shell;
}

uintptr_t SHAppBarMessage(DWORD dwMessage, APPBARDATA* pData) {
    return CurrentAppBarShell()->Message(dwMessage, pData);
}

const char* AppBarEdgeName(int edge) {
    switch (edge) {
        case 0:
            return "left";
        case 1:
            return "top";
        case 2:
            return "right";
        case 3:
            return "bottom";
        case -2:
            return "floating";
    }
    return "none";
}
