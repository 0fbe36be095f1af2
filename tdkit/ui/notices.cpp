// Shows the engine's notices as message boxes whenever a widget application runs. The
// handler is installed when this library is loaded, so every program with a desktop
// shows them; a program without widgets keeps the standard-error default.
#include "platform/notice.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>

namespace {

void ShowAsMessageBox(QObject* owner, const QString& caption, const QString& text,
                      NoticeKind kind) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const QByteArray line = (caption + QStringLiteral(": ") + text).toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
        return;
    }
    QWidget* parent = qobject_cast<QWidget*>(owner);
    if (kind == NoticeKind::Information)
        QMessageBox::information(parent, caption, text);
    else
        QMessageBox::warning(parent, caption, text);
}

const bool installed = [] {
    SetNoticeHandler(ShowAsMessageBox);
    return true;
}();

}  // namespace
