// tonedeck: the bar. One copy runs per desktop; a second one ends at once.
#include <QApplication>
#include <QElapsedTimer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

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

// The splash stays for a moment while the bar gets ready; it is drawn, not waited on blindly.
void ShowSplash() {
    CSplashDlg splash;
    splash.show();
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
        QThread::msleep(10);
    }
}

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
    ShowSplash();

    CBarDlg bar;
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
    bar.show();
    bar.exec();
    return 0;
}
