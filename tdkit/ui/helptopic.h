// Opens the bar's help pages in the desktop's browser at one topic ("#topic-N").
#pragma once

#include <QObject>

#include <functional>

class QWidget;

void OpenHelpTopic(unsigned context);
// The program may open topics its own way (installing missing pages, telling the user when
// no browser starts); null: straight to the desktop's browser.
void SetHelpTopicOpener(std::function<void(unsigned context)> open);

// Makes F1 in a dialog open its topic.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(QWidget* dialog, unsigned context);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    unsigned context_;
};
