#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>

#include "platform/message.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

QCoreApplication& App() {
    static QCoreApplication* app =
        QCoreApplication::instance() ? static_cast<QCoreApplication*>(QCoreApplication::instance())
                                     : new QCoreApplication(argc, argv);
    return *app;
}

class Receiver : public QObject, public MessageReceiver {
public:
    Receiver() : MessageReceiver(this) {}
};

TEST(Messages, SendAnswersSynchronouslyAndPostQueues) {
    App();
    Receiver r;
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    r.OnMessage(WM_BAR_TOMEMOS, [&](WPARAM w, LPARAM l) {
        seen.emplace_back(w, l);
        return LRESULT(w + 100);
    });
    EXPECT_EQ(SendMessage(&r, WM_BAR_TOMEMOS, 2, 7), 102);
    ASSERT_EQ(seen.size(), 1u);

    EXPECT_TRUE(PostMessage(&r, WM_BAR_TOMEMOS, 1, 9));
    EXPECT_EQ(seen.size(), 1u) << "a posted message waits for the event loop";
    QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], (std::pair<WPARAM, LPARAM>{1, 9}));

    // Unhandled messages and missing targets answer 0.
    EXPECT_EQ(SendMessage(&r, WM_BAR_CANUSEAUDIO), 0);
    EXPECT_EQ(SendMessage(nullptr, WM_BAR_TOMEMOS), 0);
    EXPECT_FALSE(PostMessage(nullptr, WM_BAR_TOMEMOS));
}

TEST(Messages, SendFromAnotherThreadBlocksUntilTheOwnerAnswers) {
    App();
    Receiver r;
    std::atomic<Qt::HANDLE> handledOn{nullptr};
    r.OnMessage(WM_BAR_CANUSEAUDIO, [&](WPARAM, LPARAM l) {
        handledOn = QThread::currentThreadId();
        return LRESULT(l * 2);
    });
    std::atomic<LRESULT> answer{-1};
    std::atomic<bool> finished{false};
    QThread* worker = QThread::create([&] {
        answer = SendMessage(&r, WM_BAR_CANUSEAUDIO, 0, 21);
        finished = true;
    });
    worker->start();
    // The worker's call cannot finish before this thread runs its event loop.
    for (int i = 0; i < 500 && !finished; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    ASSERT_TRUE(worker->wait(5000));
    delete worker;
    EXPECT_TRUE(finished);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(handledOn, QThread::currentThreadId());
}

TEST(Messages, CrossThreadSendTimesOutWhenTheOwnerNeverAnswers) {
    App();
    Receiver r;
    r.OnMessage(WM_BAR_CANUSEAUDIO, [](WPARAM, LPARAM) { return LRESULT(1); });
    LRESULT answer = -1;
    QThread* worker =
        QThread::create([&] { answer = SendMessage(&r, WM_BAR_CANUSEAUDIO, 0, 0, 50); });
    worker->start();
    ASSERT_TRUE(worker->wait(5000));  // this thread never pumps events meanwhile
    delete worker;
    EXPECT_EQ(answer, 0);
    QCoreApplication::processEvents();  // the late message is still handled, harmlessly
}

TEST(Messages, MessagesToADestroyedReceiverAreDropped) {
    App();
    int calls = 0;
    {
        Receiver r;
        r.OnMessage(WM_BAR_TOMEMOS, [&](WPARAM, LPARAM) { return LRESULT(++calls); });
        PostMessage(&r, WM_BAR_TOMEMOS);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

}  // namespace
