// The bar on a real X server (Xvfb), with and without a window manager (openbox), read
// back with xprop and xwininfo as any other program on the desktop would see it.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

namespace {

// Waits up to `ms` for `done`; every wait in these tests has such a bound.
bool WaitUntil(const std::function<bool()>& done, int ms = 8000) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

class XDesktop {
public:
    ~XDesktop() {
        for (auto& p : programs_)
            Stop(*p);
        if (openbox_)
            Stop(*openbox_);
        if (xvfb_)
            Stop(*xvfb_);
    }

    static bool Available(bool windowManager) {
        for (const char* tool : {"Xvfb", "xprop", "xwininfo", "xdotool"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return false;
        return !windowManager || !QStandardPaths::findExecutable("openbox").isEmpty();
    }

    // Starts Xvfb on a free display and, if asked, openbox; empty, or what went wrong.
    QString Start(bool windowManager) {
        QString error;
        for (int attempt = 0; attempt < 3; ++attempt) {
            error = TryStart(windowManager);
            if (error.isEmpty())
                break;
            if (openbox_)
                Stop(*openbox_);
            if (xvfb_)
                Stop(*xvfb_);
        }
        return error;
    }

    QString TryStart(bool windowManager) {
        if (!dir_.isValid())
            return "no temporary directory";
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        xvfb_ = std::make_unique<QProcess>();
        xvfb_->start("Xvfb",
                     {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!xvfb_->waitForStarted(5000))
            return "Xvfb did not start";
        QByteArray number;
        WaitUntil([&] {
            xvfb_->waitForReadyRead(100);
            number += xvfb_->readAllStandardOutput();
            return number.contains('\n');
        });
        if (!number.contains('\n'))
            return "Xvfb gave no display: " + QString::fromLocal8Bit(xvfb_->readAllStandardError());
        display_ = ":" + QString::fromLatin1(number.trimmed());
        if (!windowManager)
            return {};

        QFile rc(dir_.filePath("rc.xml"));
        if (!rc.open(QIODevice::WriteOnly))
            return "cannot write the openbox configuration";
        rc.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
</openbox_config>
)");
        rc.close();
        openbox_ = std::make_unique<QProcess>();
        openbox_->setProcessEnvironment(Environment());
        openbox_->start("openbox", {"--config-file", rc.fileName()});
        if (!openbox_->waitForStarted(5000))
            return "openbox did not start";
        if (!WaitUntil([&] {
                return Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
            }))
            return "openbox did not take the display: " +
                   QString::fromLocal8Bit(openbox_->readAllStandardError());
        return {};
    }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_RUNTIME_DIR", dir_.path());
        env.remove("XAUTHORITY");
        return env;
    }

    QString Run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    // The numbers of a root or window property as xprop prints them.
    std::vector<long> Numbers(const QStringList& args) {
        const QString out = Run("xprop", args);
        std::vector<long> n;
        const int eq = out.indexOf('=');
        if (eq < 0)
            return n;
        for (const QString& part : out.mid(eq + 1).split(',', Qt::SkipEmptyParts)) {
            bool ok = false;
            const long v = part.trimmed().toLong(&ok);
            if (ok)
                n.push_back(v);
        }
        return n;
    }

    std::vector<long> WorkArea() {
        std::vector<long> n = Numbers({"-root", "_NET_WORKAREA"});
        n.resize(std::min<size_t>(n.size(), 4));
        return n;
    }

    // x, y, width, height of a window on the root.
    std::vector<long> Geometry(const QString& window) {
        const QString out = Run("xwininfo", {"-id", window});
        std::vector<long> g;
        for (const char* key :
             {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"}) {
            QRegularExpression re(QRegularExpression::escape(key) + "\\s*(-?\\d+)");
            const auto m = re.match(out);
            if (m.hasMatch())
                g.push_back(m.captured(1).toLong());
        }
        return g;
    }

    // Starts the bar program (or, with --window, another program's window).
    QProcess* Launch(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Environment());
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->start(TONEDECK_APPBAR_DEMO, args);
        p->waitForStarted(5000);
        programs_.push_back(std::move(p));
        return programs_.back().get();
    }

    // The next line of a program's output that starts with `prefix`.
    static QString Expect(QProcess* p, const QString& prefix, int ms = 10000) {
        QString found;
        WaitUntil(
            [&] {
                while (p->canReadLine()) {
                    const QString line = QString::fromLocal8Bit(p->readLine()).trimmed();
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                p->waitForReadyRead(100);
                return false;
            },
            ms);
        return found;
    }

    static void Send(QProcess* p, const QByteArray& line) {
        p->write(line + "\n");
        p->waitForBytesWritten(2000);
    }

    static QString WindowOf(const QString& line) {
        const auto m = QRegularExpression("window=(\\d+)").match(line);
        return m.hasMatch() ? m.captured(1) : QString();
    }

private:
    static void Stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }

    QTemporaryDir dir_;
    QString display_;
    std::unique_ptr<QProcess> xvfb_, openbox_;
    std::vector<std::unique_ptr<QProcess>> programs_;
};

using Longs = std::vector<long>;

#define START_DESKTOP(desktop, wm)                                  \
    if (!XDesktop::Available(wm))                                   \
        GTEST_SKIP() << "Xvfb, openbox or the X tools are missing"; \
    ASSERT_EQ((desktop).Start(wm), QString())

TEST(AppBarX11, DocksReservesMovesAndAutoHidesUnderAWindowManager) {
    XDesktop desktop;
    START_DESKTOP(desktop, true);
    QProcess* bar = desktop.Launch({"--edge", "0", "--thickness", "40"});
    const QString window = XDesktop::WindowOf(XDesktop::Expect(bar, "ready"));
    ASSERT_FALSE(window.isEmpty());

    EXPECT_TRUE(desktop.Run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"})
                    .contains("_NET_WM_WINDOW_TYPE_DOCK"));
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.WorkArea() == Longs{40, 0, 984, 768};
    })) << "work area shrinks by the thickness";
    EXPECT_EQ(desktop.Geometry(window), (Longs{0, 0, 40, 768}));

    XDesktop::Send(bar, "edge 2");
    ASSERT_FALSE(XDesktop::Expect(bar, "edge").isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return desktop.WorkArea() == Longs{0, 0, 984, 768}; }));
    EXPECT_EQ(desktop.Geometry(window), (Longs{984, 0, 40, 768}));

    // Drag it by hand to the top of the screen.
    desktop.Run("xdotool",
                {"mousemove", "1000", "400", "mousedown", "1", "mousemove", "990", "390", "sleep",
                 "0.2", "mousemove", "512", "5", "sleep", "0.3", "mouseup", "1"});
    EXPECT_FALSE(XDesktop::Expect(bar, "statechange proposed=0 edge=1").isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return desktop.WorkArea() == Longs{0, 40, 1024, 728}; }));
    EXPECT_EQ(desktop.Geometry(window), (Longs{0, 0, 1024, 40}));

    XDesktop::Send(bar, "autohide 1");
    ASSERT_FALSE(XDesktop::Expect(bar, "autohide edge=1 autohide=1").isEmpty());
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.WorkArea() == Longs{0, 0, 1024, 768};
    })) << "an auto-hidden bar reserves nothing";
    EXPECT_TRUE(desktop.Numbers({"-id", window, "_NET_WM_STRUT_PARTIAL"}).empty());
    desktop.Run("xdotool", {"mousemove", "512", "500"});
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.Geometry(window) == Longs{0, -38, 1024, 40};
    })) << "hidden to a strip two pixels high";
    desktop.Run("xdotool", {"mousemove", "512", "0"});
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.Geometry(window) == Longs{0, 0, 1024, 40};
    })) << "touching the strip slides it out";

    // A second bar may not hide on the same edge.
    QProcess* second = desktop.Launch({"--edge", "1", "--autohide"});
    EXPECT_FALSE(XDesktop::Expect(second, "forcedoff edge=1 autohide=0").isEmpty());
}

TEST(AppBarX11, FullScreenProgramsAndThePanelAreReported) {
    XDesktop desktop;
    START_DESKTOP(desktop, true);
    QProcess* panel = desktop.Launch({"--window", "--panel"});
    const QString panelWindow = XDesktop::WindowOf(XDesktop::Expect(panel, "ready"));
    ASSERT_FALSE(panelWindow.isEmpty());
    desktop.Run("xprop", {"-id", panelWindow, "-f", "_NET_WM_STRUT", "32c", "-set", "_NET_WM_STRUT",
                          "0,0,0,30"});
    ASSERT_TRUE(WaitUntil([&] { return desktop.WorkArea() == Longs{0, 0, 1024, 738}; }));

    QProcess* bar = desktop.Launch({"--edge", "3", "--thickness", "40"});
    const QString window = XDesktop::WindowOf(XDesktop::Expect(bar, "ready"));
    EXPECT_EQ(desktop.Geometry(window), (Longs{0, 698, 1024, 40})) << "above the panel";

    // The panel starts hiding itself: the bar hears of it and moves down to the edge.
    desktop.Run("xprop", {"-id", panelWindow, "-remove", "_NET_WM_STRUT"});
    EXPECT_FALSE(XDesktop::Expect(bar, "shellstate changed=1 state=3").isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return desktop.Geometry(window) == Longs{0, 728, 1024, 40}; }));
    XDesktop::Send(bar, "autohide 1");
    EXPECT_FALSE(XDesktop::Expect(bar, "forcedoff edge=3 autohide=0").isEmpty())
        << "the panel hides on that edge already";

    QProcess* other = desktop.Launch({"--window"});
    ASSERT_FALSE(XDesktop::Expect(other, "ready").isEmpty());
    XDesktop::Send(other, "fullscreen 1");
    EXPECT_FALSE(XDesktop::Expect(bar, "fullscreen-opened").isEmpty());
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.Run("xprop", {"-id", window, "_NET_WM_STATE"})
            .contains("_NET_WM_STATE_BELOW");
    }));
    XDesktop::Send(other, "fullscreen 0");
    EXPECT_FALSE(XDesktop::Expect(bar, "fullscreen-closed").isEmpty());
    EXPECT_TRUE(WaitUntil([&] {
        return desktop.Run("xprop", {"-id", window, "_NET_WM_STATE"})
            .contains("_NET_WM_STATE_ABOVE");
    }));
}

TEST(AppBarX11, DocksWithoutAWindowManager) {
    XDesktop desktop;
    START_DESKTOP(desktop, false);
    QProcess* bar = desktop.Launch({"--edge", "2", "--thickness", "40"});
    const QString window = XDesktop::WindowOf(XDesktop::Expect(bar, "ready"));
    ASSERT_FALSE(window.isEmpty());
    EXPECT_TRUE(desktop.WorkArea().empty());
    EXPECT_EQ(desktop.Geometry(window), (Longs{984, 0, 40, 768})) << "the whole screen's edge";
    EXPECT_EQ(desktop.Numbers({"-id", window, "_NET_WM_STRUT"}), (Longs{0, 40, 0, 0}));
    // The strip runs from the top row to the last one, both inclusive.
    EXPECT_EQ(desktop.Numbers({"-id", window, "_NET_WM_STRUT_PARTIAL"}),
              (Longs{0, 40, 0, 0, 0, 0, 0, 767, 0, 0, 0, 0}));

    XDesktop::Send(bar, "edge 3");
    ASSERT_FALSE(XDesktop::Expect(bar, "edge").isEmpty());
    EXPECT_EQ(desktop.Geometry(window), (Longs{0, 728, 1024, 40}));
    EXPECT_EQ(desktop.Numbers({"-id", window, "_NET_WM_STRUT"}), (Longs{0, 0, 0, 40}));
    EXPECT_EQ(desktop.Numbers({"-id", window, "_NET_WM_STRUT_PARTIAL"}),
              (Longs{0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 1023}));
}

}  // namespace
