// Notices the user must see: the message boxes of the engine. The engine runs without a
// screen, so it only says what to show; the desktop library installs a handler that
// shows a message box, and without one the notice goes to standard error.
#pragma once

#include <QString>

#include <functional>

class QObject;

enum class NoticeKind { Information, Warning };

// owner: the window the notice belongs to, or null. The handler runs on the caller's
// thread, which for every notice of the engine is the user-interface thread.
using NoticeHandler = std::function<void(QObject* owner, const QString& caption,
                                         const QString& text, NoticeKind kind)>;

// Installs the handler and returns the previous one; an empty handler restores the
// standard-error default.
NoticeHandler SetNoticeHandler(NoticeHandler handler);

void ShowNotice(QObject* owner, const QString& caption, const QString& text,
                NoticeKind kind = NoticeKind::Warning);
