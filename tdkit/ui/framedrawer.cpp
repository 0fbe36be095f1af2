#include "tdkit/ui/framedrawer.h"

#include <QLabel>
#include <QVBoxLayout>

CFrameDrawer::CFrameDrawer(UINT templateId, const QString& title, QSize size, QObject* controller,
                           QWidget* barWindow, UINT closedMessage)
    : CSlidingDrawer(templateId, barWindow),
      title_(title),
      controller_(controller),
      closedMessage_(closedMessage) {
    m_pOwner = controller;
    setWindowTitle(title);
    setFixedSize(size);
}

int CFrameDrawer::Open(UINT edge, const QPoint& anchor, BOOL toolTips) {
    m_nEdge = edge;
    SetAnchorFromBar(anchor);
    EnableToolTips(toolTips);
    return Create();
}

BOOL CFrameDrawer::OnInitDialog() {
    if (!CSlidingDrawer::OnInitDialog())
        return 0;
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(title_, this);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    layout->addWidget(label, 0, Qt::AlignTop | Qt::AlignHCenter);
    layout->addStretch();
    return 1;
}

void CFrameDrawer::OnDestroyed() {
    SendMessage(controller_, closedMessage_);
}
