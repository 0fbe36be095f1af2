// A bar with nothing on it but its name, docked with the application-bar base class.
// It reads commands from standard input, one a line, and answers on standard output:
//   edge N | autohide 0/1 | ontop 0/1 | show 0/1 | state | quit
// Every answer and every event ends with the bar's state:
//   "<what> edge=E autohide=A ontop=T shown=S rect=X,Y,W,H window=ID"
// Options: --edge N, --thickness T, --autohide.
// With --window it shows a plain window instead, another program's window for the bar
// to notice; it takes "fullscreen 0/1" and prints "window=ID". With --panel as well the
// window is a dock 30 pixels high along the bottom, as a desktop's own panel is.
#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "tonedeck/appbardlg.h"

namespace {

class DemoBar : public CAppBarDlg {
public:
    DemoBar() { setWindowTitle(QStringLiteral("Tonedeck")); }

    void Report(const char* what) {
        const QRect g = geometry();
        std::printf("%s edge=%d autohide=%d ontop=%d shown=%d rect=%d,%d,%d,%d window=%llu\n", what,
                    DockState().nEdge, DockState().bAutoHide, DockState().bAlwaysOnTop, IsShown(),
                    g.x(), g.y(), g.width(), g.height(),
                    static_cast<unsigned long long>(windowHandle() ? windowHandle()->winId() : 0));
        std::fflush(stdout);
    }

    void Change(const std::string& field, int value) {
        DOCKSTATE state;
        GetDockState(&state);
        if (field == "edge")
            state.nEdge = value;
        if (field == "autohide")
            state.bAutoHide = value;
        if (field == "ontop")
            state.bAlwaysOnTop = value;
        ApplySettings(&state);
    }

    void OnStateChange(BOOL bProposed, int edge) override {
        std::printf("statechange proposed=%d edge=%d\n", bProposed, edge);
        std::fflush(stdout);
    }
    void OnForcedOffAutoHide() override { Report("forcedoff"); }
    void OnShellStateChange(DWORD changed, DWORD state) override {
        std::printf("shellstate changed=%u state=%u\n", changed, state);
        std::fflush(stdout);
        CAppBarDlg::OnShellStateChange(changed, state);
    }
    void OnFullScreenApp(BOOL bOpen) override {
        CAppBarDlg::OnFullScreenApp(bOpen);
        Report(bOpen ? "fullscreen-opened" : "fullscreen-closed");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(192, 192, 192));
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("Tonedeck"));
    }
};

// Reads command lines from standard input and hands each to `run`; ends the
// application at "quit" or at the end of the input.
void ReadCommands(QApplication& app, std::function<void(const std::string&, int)> run) {
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    auto pending = std::make_shared<std::string>();
    QObject::connect(input, &QSocketNotifier::activated, [&app, pending, run] {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending->append(buf, size_t(n));
        for (size_t eol; (eol = pending->find('\n')) != std::string::npos;) {
            const std::string line = pending->substr(0, eol);
            pending->erase(0, eol + 1);
            char word[32] = {};
            int value = 0;
            const int got = std::sscanf(line.c_str(), "%31s %d", word, &value);
            const std::string cmd = got >= 1 ? word : "";
            if (cmd == "quit") {
                app.quit();
                return;
            }
            run(cmd, value);
        }
    });
}

int ShowPlainWindow(QApplication& app, bool panel) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Another program"));
    window.resize(300, 200);
    QWindow dock;  // the panel: a bare window Qt marks as a dock before mapping it
    QWindow* shown = window.windowHandle();
    if (panel) {
        dock.setProperty("_q_xcb_wm_window_type", 0x000004);
        dock.setFlags(Qt::Window | Qt::FramelessWindowHint);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        dock.setGeometry(screen.left(), screen.bottom() + 1 - 30, screen.width(), 30);
        dock.show();
        shown = &dock;
    } else {
        window.show();
        window.activateWindow();
        shown = window.windowHandle();
    }
    auto report = [&](const std::string& what) {
        std::printf("%s window=%llu\n", what.c_str(),
                    static_cast<unsigned long long>(shown->winId()));
        std::fflush(stdout);
    };
    report("ready");
    ReadCommands(app, [&](const std::string& cmd, int value) {
        if (cmd == "fullscreen") {
            if (value)
                window.showFullScreen();
            else
                window.showNormal();
            window.activateWindow();
        }
        report(cmd);
    });
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool panel = false;
    for (int i = 1; i < argc; ++i)
        panel = panel || !std::strcmp(argv[i], "--panel");
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--window"))
            return ShowPlainWindow(app, panel);
    DemoBar bar;

    DOCKSTATE state{};
    state.dwSize = sizeof(DOCKSTATE);
    state.nEdge = 0;
    state.bAlwaysOnTop = 1;
    int thickness = 40;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--edge") && i + 1 < argc)
            state.nEdge = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--thickness") && i + 1 < argc)
            thickness = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--autohide"))
            state.bAutoHide = 1;
    }
    for (std::size_t i = 0; i < sizeof state.nThickness / sizeof state.nThickness[0]; ++i)
        state.nThickness[i] = thickness;
    state.rcFloat = RECT{100, 100, 400, 100 + thickness};
    bar.resize(thickness, thickness);
    bar.ApplySettings(&state);
    bar.show();
    bar.Report("ready");

    ReadCommands(app, [&](const std::string& cmd, int value) {
        if (cmd == "edge" || cmd == "autohide" || cmd == "ontop")
            bar.Change(cmd, value);
        if (cmd == "show")
            bar.ShowHidden(value);
        bar.Report(cmd.c_str());
    });
    return app.exec();
}
