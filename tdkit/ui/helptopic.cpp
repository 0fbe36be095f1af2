#include "tdkit/ui/helptopic.h"

#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QUrl>
#include <QWidget>

#include "tdkit/settings/paths.h"

namespace {
std::function<void(unsigned)>& TopicOpener() {
    static std::function<void(unsigned)> open;
    return open;
}
}  // namespace

void SetHelpTopicOpener(std::function<void(unsigned context)> open) {
    TopicOpener() = std::move(open);
}

void OpenHelpTopic(unsigned context) {
    if (TopicOpener()) {
        TopicOpener()(context);
        return;
    }
    QString path;
    if (!GetTonedeckHelpFilePath(path))
        return;
    QUrl url = QUrl::fromLocalFile(path);
    if (context)
        url.setFragment(QStringLiteral("topic-%1").arg(context));
    QDesktopServices::openUrl(url);
}

HelpKeyFilter::HelpKeyFilter(QWidget* dialog, unsigned context)
    : QObject(dialog), context_(context) {
    dialog->installEventFilter(this);
}

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        OpenHelpTopic(context_);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
