// CDrawerEchoMemos: the EchoMemos Manager drawer, created and deleted by CEchoMemos. For
// now it is the drawer's frame: it slides out of the bar at the manager's size, goes
// back when closed and reports its closing to CEchoMemos, which tells the bar. The memo
// list view and its commands are not part of it yet.
#pragma once

#include <QPoint>
#include <QSize>

#include "platform/types.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/slidingdrawer.h"

class CEchoMemos;
class QWidget;

// The manager's dialog template and its size in pixels (five list columns and toolbars).
inline constexpr UINT IDD_ECHOMEMOS_MANAGER = 2002;
inline constexpr QSize kEchoMemosManagerSize(480, 250);

class CDrawerEchoMemos : public CSlidingDrawer {
public:
    // anchor: the centre of the task button in the bar's client coordinates. bar is the
    // bar's window; memos owns the drawer and hears its slides and its closing.
    CDrawerEchoMemos(const QPoint* anchor, ECHOMEMOSPROPERTIES* settings, CEchoMemos* memos,
                     QWidget* bar);
    ~CDrawerEchoMemos() override;

    // Builds the drawer on the bar's edge and slides it out; 0 when already created.
    int CreateDrawer(UINT edge, int toolTips);

protected:
    BOOL OnInitDialog() override;
    void OnDestroyed() override;

    ECHOMEMOSPROPERTIES* m_pSettings;
    CEchoMemos* m_pEchoMemos;
};
