// CFrameDrawer: a drawer with a title and nothing else yet, for the controllers whose own
// drawer content comes later. It slides like every drawer and tells its controller, with
// the controller's closing message, when it has closed.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include "tdkit/ui/slidingdrawer.h"

class CFrameDrawer : public CSlidingDrawer {
public:
    // controller hears closedMessage once the closing slide has ended and the slide
    // notices (WM_BAR_DRAWERSOUND); barWindow is the bar the drawer slides out of.
    CFrameDrawer(UINT templateId, const QString& title, QSize size, QObject* controller,
                 QWidget* barWindow, UINT closedMessage);

    // Slides the drawer out at the anchor (the task button's centre in the bar's client
    // coordinates) on the bar's edge. 0 when it was already created.
    int Open(UINT edge, const QPoint& anchor, BOOL toolTips);

protected:
    BOOL OnInitDialog() override;
    void OnDestroyed() override;

private:
    QString title_;
    QObject* controller_;
    UINT closedMessage_;
};
