// The widget application every test of the bar's test program shares, made on first use
// (not while the test list is read, which may run without any display), and a pump for
// its events. Offscreen unless the test was given a platform, as the X11 runs are.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

inline QApplication& App() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tonedeck_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Handles events until done() holds or ms milliseconds have passed; done()'s last answer.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}
