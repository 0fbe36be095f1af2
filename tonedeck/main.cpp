// tonedeck: the bar. One copy runs per desktop; a second one ends at once.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <memory>

#include "platform/namedlock.h"
#include "tdkit/ui/descdlg.h"
#include "tdkit/ui/togglewnd.h"
#include "tdkit/ui/vuwnd.h"
#include "tdkit/ui/waveformdisplay.h"
#include "tonedeck/artwork.h"
#include "tonedeck/bardlg.h"
#include "tonedeck/dialogs.h"

namespace {

int g_signalPipe[2] = {-1, -1};

// How long a new copy waits for one that is ending.
constexpr int kEndingCopyWaitMs = 20000;

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT reach the bar's thread through a socket, so the bar closes on its own
// thread without asking anyone, as at the end of the desktop session.
void CatchTermination(CBarDlg* bar) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, bar);
    QObject::connect(notifier, &QSocketNotifier::activated, bar, [bar] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        bar->CloseBar();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// How long the splash stays; the bar is built meanwhile.
constexpr int kSplashMs = 1500;

// The splash while the bar is built behind it. A window that opens meanwhile (the mail
// system's logon asking for a password) is not left under the splash: the splash makes way.
class Splash : public QObject {
public:
    Splash() {
        shown_.start();
        dialog_.show();
        qApp->installEventFilter(this);
        // Drawn before the bar's building keeps the event loop busy: wait (bounded) until
        // the window system has it on the screen.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 500 && dialog_.isVisible() &&
               !(dialog_.windowHandle() && dialog_.windowHandle()->isExposed()))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~Splash() override { qApp->removeEventFilter(this); }

    // Keeps the splash up for the rest of its time, then closes it.
    void Finish() {
        const qint64 left = kSplashMs - shown_.elapsed();
        if (dialog_.isVisible() && left > 0) {
            QEventLoop wait;
            QTimer::singleShot(int(left), &wait, &QEventLoop::quit);
            wait.exec(QEventLoop::ExcludeUserInputEvents);
        }
        dialog_.close();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched != &dialog_ && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            dialog_.hide();
        return false;
    }

private:
    CSplashDlg dialog_;
    QElapsedTimer shown_;
};

// A copy that is still ending (its Exit was chosen a moment ago) is waited for, a bounded
// while, so starting again right after ending is not lost; a copy that runs is left alone.
bool WaitForEndingCopy(SingleInstanceLock& instance, SingleInstanceLock& ending) {
    if (ending.TryAcquire()) {
        ending.Release();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kEndingCopyWaitMs) {
        if (instance.TryAcquire())
            return true;
        QThread::msleep(50);
    }
    return instance.TryAcquire();
}

}  // namespace

int main(int argc, char** argv) {
    // The bar places its own window at a screen edge, which needs an X server (XWayland
    // is fine).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            std::fprintf(
                stderr,
                "tonedeck: no X display (DISPLAY is not set); the bar needs an X11 desktop\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tonedeck"));
    app.setQuitOnLastWindowClosed(false);
    app.setWindowIcon(TonedeckIcon());

    // A copy that is ending holds this while it closes its drawers and saves its settings;
    // it gives the instance up first, so this outlives the instance lock.
    SingleInstanceLock ending(QStringLiteral("TONEDECK_ENDING"));
    SingleInstanceLock instance(QStringLiteral("TONEDECK_INSTANCE"));
    if (!instance.TryAcquire() && !WaitForEndingCopy(instance, ending))
        return 0;  // a copy runs on this desktop already

    if (!CVUWnd::RegisterVUMeterWindowsClass() || !CToggleWnd::RegisterToggleWindowsClass() ||
        !CWaveformDisplay::RegisterWaveformDisplayWindowsClass() ||
        !CWaveformShell::RegisterWaveformShellWindowsClass() ||
        !CComboCalendar::RegisterComboCalendarClass())
        return 1;

    InstallHelpPages();
    // The bar is built (settings, controllers, panel, the first reading of the lists) while
    // the splash shows, so the splash's end shows a bar that docks at once. The notices of
    // the start wait until the bar is on the screen.
    auto splash = std::make_unique<Splash>();

    CBarDlg bar;
    bar.HoldStartNotices();
    bar.onClosing = [&ending] { ending.TryAcquire(); };
    CatchTermination(&bar);
    // The desktop session asks before it ends: the bar asks its drawers and may refuse.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &bar,
                     [&bar](QSessionManager& manager) {
                         if (!bar.OnSessionEnding() && manager.allowsInteraction())
                             manager.cancel();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &bar, [&bar] {
        if (!bar.IsClosing())
            bar.CloseBar();
    });
    if (!bar.Initialise())
        return 0;
    splash->Finish();
    splash.reset();
    bar.show();
    bar.ShowStartNotices();
    bar.exec();
    return 0;
}
