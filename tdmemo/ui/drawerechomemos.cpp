#include "tdmemo/ui/drawerechomemos.h"

#include <QString>
#include <QWidget>

#include "platform/message.h"
#include "tdmemo/ui/echomemos.h"

CDrawerEchoMemos::CDrawerEchoMemos(const QPoint* anchor, ECHOMEMOSPROPERTIES* settings,
                                   CEchoMemos* memos, QWidget* bar)
    : CSlidingDrawer(IDD_ECHOMEMOS_MANAGER, bar), m_pSettings(settings), m_pEchoMemos(memos) {
    m_pOwner = memos;
    SetAnchorFromBar(anchor ? *anchor : QPoint());
}

CDrawerEchoMemos::~CDrawerEchoMemos() = default;

int CDrawerEchoMemos::CreateDrawer(UINT edge, int toolTips) {
    if (IsInitialised())
        return 0;
    m_nEdge = edge;
    m_bToolTips = toolTips ? 1 : 0;
    setWindowTitle(QStringLiteral("Echo Memos Manager"));
    setFixedSize(kEchoMemosManagerSize);
    return Create();
}

BOOL CDrawerEchoMemos::OnInitDialog() {
    CSlidingDrawer::OnInitDialog();
    CreateToolTipControl();
    return 1;
}

void CDrawerEchoMemos::OnDestroyed() {
    // CEchoMemos deletes the drawer in answer; nothing of it is touched afterwards.
    SendMessage(m_pEchoMemos, WM_BAR_MEMOMANAGERCLOSED);
}
