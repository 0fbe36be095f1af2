// Opens the bar's help pages in the desktop's browser at one topic ("#topic-N").
#pragma once

#include <QObject>

class QWidget;

void OpenHelpTopic(unsigned context);

// Makes F1 in a dialog open its topic.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(QWidget* dialog, unsigned context);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    unsigned context_;
};
