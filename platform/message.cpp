#include "platform/message.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// What a cross-thread SendMessage waits on.
struct Reply {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    LRESULT result = 0;
};

const QEvent::Type kWindowMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(UINT message, WPARAM wParam, LPARAM lParam,
                       std::shared_ptr<Reply> reply = nullptr)
        : QEvent(kWindowMessageEvent),
          message(message),
          wParam(wParam),
          lParam(lParam),
          reply(std::move(reply)) {}
    ~WindowMessageEvent() override {
        // A sent message whose receiver vanished before answering still frees its sender.
        if (reply)
            Answer(0);
    }
    void Answer(LRESULT value) {
        std::lock_guard lock(reply->mutex);
        if (!reply->answered) {
            reply->answered = true;
            reply->result = value;
        }
        reply->done.notify_all();
    }

    const UINT message;
    const WPARAM wParam;
    const LPARAM lParam;
    std::shared_ptr<Reply> reply;
    LRESULT result = 0;
};

// Sits on the receiving object and turns WindowMessageEvents into WindowProc calls.
class MessageFilter : public QObject {
public:
    MessageFilter(QObject* parent, MessageReceiver* receiver)
        : QObject(parent), receiver_(receiver) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != kWindowMessageEvent)
            return false;
        auto* e = static_cast<WindowMessageEvent*>(event);
        e->result = receiver_->WindowProc(e->message, e->wParam, e->lParam);
        if (e->reply) {
            e->Answer(e->result);
            e->reply.reset();
        }
        return true;
    }

private:
    MessageReceiver* receiver_;
};

}  // namespace

MessageReceiver::MessageReceiver(QObject* self)
    : self_(self), filter_(new MessageFilter(self, this)) {
    self_->installEventFilter(filter_);
}

MessageReceiver::~MessageReceiver() {
    // The filter is a child of self_; while both still exist, remove it now so no message
    // reaches a receiver that is being destroyed.
    if (self_ && filter_)
        self_->removeEventFilter(filter_);
    delete filter_.data();
}

void MessageReceiver::OnMessage(UINT message, Handler handler) {
    handlers_[message] = std::move(handler);
}

bool MessageReceiver::HasHandler(UINT message) const {
    return handlers_.count(message) != 0;
}

LRESULT MessageReceiver::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = handlers_.find(message);
    return it == handlers_.end() ? 0 : it->second(wParam, lParam);
}

LRESULT SendMessage(QObject* target, UINT message, WPARAM wParam, LPARAM lParam, int timeoutMs) {
    if (!target)
        return 0;
    if (target->thread() == QThread::currentThread()) {
        WindowMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &event);
        return event.result;
    }
    auto reply = std::make_shared<Reply>();
    QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam, reply),
                                Qt::HighEventPriority);
    std::unique_lock lock(reply->mutex);
    if (!reply->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return reply->answered; }))
        return 0;
    return reply->result;
}

bool PostMessage(QObject* target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!target)
        return false;
    QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam));
    return true;
}

UINT RegisterWindowMessage(const char* name) {
    static std::mutex mutex;
    static std::unordered_map<std::string, UINT> numbers;
    if (!name || !*name)
        return 0;
    std::lock_guard lock(mutex);
    auto [it, added] = numbers.try_emplace(name, UINT(0xC000 + numbers.size()));
    return it->second;
}
