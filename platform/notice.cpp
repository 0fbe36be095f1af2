#include "platform/notice.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex handlerMutex;
NoticeHandler handler;
}  // namespace

NoticeHandler SetNoticeHandler(NoticeHandler next) {
    std::lock_guard lock(handlerMutex);
    std::swap(handler, next);
    return next;
}

void ShowNotice(QObject* owner, const QString& caption, const QString& text, NoticeKind kind) {
    NoticeHandler h;
    {
        std::lock_guard lock(handlerMutex);
        h = handler;
    }
    if (h) {
        h(owner, caption, text, kind);
        return;
    }
    const QByteArray line =
        (caption.isEmpty() ? text : caption + QStringLiteral(": ") + text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
}
