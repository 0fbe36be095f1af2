#include "tdpost/ui/drawervgram.h"

#include <QWidget>

namespace {

// Template ids, titles, accelerator tables and help topics of the three kinds. The
// Send Voicegram drawer is taller: it carries the subject line and "Return Receipt".
const RecorderDrawerKind kKinds[] = {
    {149, "Audio Recorder", WM_BAR_RECORDERCLOSED, 11137, 2501, QSize(420, 180)},
    {176, "Send Voicegram", WM_BAR_VOICEGRAMCLOSED, 11135, 5504, QSize(420, 220)},
    {178, "Create Echo Memos", WM_BAR_MEMOCREATORCLOSED, 11136, 1501, QSize(420, 180)},
};

}  // namespace

const RecorderDrawerKind* GetRecorderDrawerKind(int type) {
    return type >= 0 && type < 3 ? &kKinds[type] : nullptr;
}

CDrawerVGram::CDrawerVGram(const QPoint* anchor, CMixMgr* mixMgr, RECORDPROPERTIES* recordProps,
                           MAILPROPERTIES* mailProps, CSimpleMapi* mapi, QWidget* owner,
                           VOXPROPERTIES* voxProps)
    : CSlidingDrawer(kKinds[RDT_RECORDER].nTemplateId, owner),
      m_pMixMgr(mixMgr),
      m_pMapi(mapi),
      m_pRecordProps(recordProps),
      m_pMailProps(mailProps),
      m_pVoxProps(voxProps) {
    m_pOwner = owner;
    SetAnchorFromBar(anchor ? *anchor : QPoint());
}

CDrawerVGram::~CDrawerVGram() = default;

int CDrawerVGram::CreateDrawer(UINT edge, RECORDERDRAWERTYPE type, int toolTips) {
    const RecorderDrawerKind* kind = GetRecorderDrawerKind(type);
    if (!kind || IsInitialised())
        return 0;
    m_nEdge = edge;
    m_nDrawerType = type;
    SetTemplateId(kind->nTemplateId);
    m_bToolTips = toolTips ? 1 : 0;
    setWindowTitle(QString::fromLatin1(kind->szTitle));
    setFixedSize(kind->size);
    return Create();
}

BOOL CDrawerVGram::OnInitDialog() {
    m_bRecording = m_bPlaying = m_bHasRecording = m_bModified = 0;
    CSlidingDrawer::OnInitDialog();
    CreateToolTipControl();
    return 1;
}

void CDrawerVGram::OnDestroyed() {
    // The bar may delete the drawer in answer; nothing of it is touched afterwards.
    SendMessage(m_pOwner, GetRecorderDrawerKind(m_nDrawerType)->nClosedMessage);
}
