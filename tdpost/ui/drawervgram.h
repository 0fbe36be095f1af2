// CDrawerVGram: the one drawer behind the Recorder, Send Voicegram and Create EchoMemo
// task buttons. The bar makes one for each opening, calls CreateDrawer, and deletes it
// (deleteLater) when the drawer reports that it has closed with the closing message of
// its type.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include "platform/types.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/slidingdrawer.h"

class CMixMgr;
class CSimpleMapi;
class QWidget;

// The kind of recorder drawer, chosen by the bar at creation.
enum RECORDERDRAWERTYPE : int {
    RDT_RECORDER = 0,   // "Audio Recorder"
    RDT_VOICEGRAM = 1,  // "Send Voicegram"
    RDT_ECHOMEMO = 2,   // "Create Echo Memos"
};

// What tells the three kinds apart.
struct RecorderDrawerKind {
    UINT nTemplateId;
    const char* szTitle;
    UINT nClosedMessage;  // sent to the bar once the drawer has closed
    UINT nAccelerators;
    UINT nHelpContext;
    QSize size;  // the drawer's fixed size in pixels
};

// The kind's description; null for a value outside the three.
const RecorderDrawerKind* GetRecorderDrawerKind(int type);

class CDrawerVGram : public CSlidingDrawer {
public:
    // anchor: the centre of the task button in the bar's client coordinates. The records
    // and objects belong to the bar, which keeps them alive as long as the drawer.
    CDrawerVGram(const QPoint* anchor, CMixMgr* mixMgr, RECORDPROPERTIES* recordProps,
                 MAILPROPERTIES* mailProps, CSimpleMapi* mapi, QWidget* owner,
                 VOXPROPERTIES* voxProps);
    ~CDrawerVGram() override;

    // Builds the drawer of the given kind on the bar's edge and slides it out. 0 for a
    // kind outside the three or when the drawer was already created.
    int CreateDrawer(UINT edge, RECORDERDRAWERTYPE type, int toolTips);

    RECORDERDRAWERTYPE GetDrawerType() const { return m_nDrawerType; }
    // 1 when the drawer holds no recording.
    int IsRecorderEmpty() const { return m_bHasRecording ? 0 : 1; }
    // 1 unless the drawer is recording or playing.
    int IsRecorderAvailable() const { return (m_bRecording || m_bPlaying) ? 0 : 1; }

protected:
    BOOL OnInitDialog() override;
    void OnDestroyed() override;

    RECORDERDRAWERTYPE m_nDrawerType = RDT_RECORDER;
    CMixMgr* m_pMixMgr;
    CSimpleMapi* m_pMapi;
    RECORDPROPERTIES* m_pRecordProps;
    MAILPROPERTIES* m_pMailProps;
    VOXPROPERTIES* m_pVoxProps;
    BOOL m_bRecording = 0;
    BOOL m_bPlaying = 0;
    BOOL m_bHasRecording = 0;
    BOOL m_bModified = 0;
};
