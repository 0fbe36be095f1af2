// CDrawerVGram: the one drawer behind the Recorder, Send Voicegram and Create EchoMemo
// task buttons. It records from the microphone into a temporary WAV work file, shows and
// plays it, and turns it into an Echo Memo, a saved file, a file on the desktop, clipboard
// data or a voicegram; sounds pasted or dropped into it replace, extend, precede or mix
// with the recording. The bar makes one for each opening, calls CreateDrawer, and deletes
// it (deleteLater) when the drawer reports that it has closed with its type's message.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

#include "platform/types.h"
#include "tdkit/audio/record.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/clipboard.h"
#include "tdkit/ui/shareddialogs.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdpost/recorderrules.h"

struct AOLAddressing;
class CMixMgr;
class CSimpleMapi;
class CToggleWnd;
class CVUWnd;
class CWaveformDisplay;
class CWaveformShell;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QToolBar;
class WorkFileHold;

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

// One voicegram ready for the mail path: the temporary mail copy (deleted by the drawer
// afterwards) and what the user chose.
struct VoicegramSending {
    QString file;
    QString subject;  // "VOICEGRAM " and the user's subject
    BOOL compress = 0;
    BOOL receipt = 0;
    MAILPROPERTIES services{};
    QString replyToName, replyToAddress;
};

class CDrawerVGram : public CSlidingDrawer {
    Q_OBJECT
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

    // Imports a sound file into the recording; 1 when the recording changed.
    int PasteWAVFile(const QString& path);
    // Prepares a reply for the inbox; 0 at once when the drawer holds a recording.
    int SetWAVFileForReply(int ask, const char* received, const char* subject, const char* toName,
                           const char* toAddress, const char* ccNames, const char* ccAddresses);
    // The same for the inbox, which reaches the drawer by name through the bar.
    Q_INVOKABLE int SetWAVFileForReply(int ask, const QString& received, const QString& subject,
                                       const QString& toName, const QString& toAddress,
                                       const QStringList& ccNames, const QStringList& ccAddresses);

    // Runs a command as its button would.
    void OnCommand(int command);
    // The enabling rules over the drawer's present state.
    RecorderEnabling CurrentEnabling() const;
    void UpdateToolBar();

    // The 100 ms timer's work, also called by tests.
    void OnTimer();

    // State tests and the bar look at.
    BOOL IsRecording() const { return m_bRecording; }
    BOOL IsPlaying() const { return m_bPlaying; }
    BOOL IsModified() const { return m_bModified; }
    QString GetWorkFile() const { return m_strWorkFile; }
    CRecord& Recorder() { return m_Record; }
    CWaveformDisplay* Waveform() const { return m_pWaveform; }
    QAction* Action(int command) const;
    BOOL IsDropRegistered() const { return m_Drop.IsRegistered(); }
    BOOL IsMailAvailable() const { return m_bMailAvailable; }
    QString GetTimeText() const { return m_strTime; }
    DWORD LastSample() const { return m_nLastSample; }

    // Where the drawer's questions go. Defaults show the dialogs and message boxes; tests
    // answer them. The drawer is marked busy while any of them is open.
    std::function<int(const QString& caption, const QString& text, int buttons, int icon)>
        messageBox;
    std::function<bool(ECHOMEMOSTRUCT* memo, QString* description)> askSchedule;
    std::function<bool(PASTETYPE* type)> askPasteType;
    std::function<QString()> askSaveFileName;
    std::function<bool(VoicegramSending* sending)> askSubject;
    // The mail path: Simple MAPI or CompuServe through the mail wrapper, America Online
    // through its address dialog; without any, it says that mail is not set up. Nonzero
    // when sent.
    std::function<int(const VoicegramSending& sending)> sendVoicegram;
    // The America Online address dialog; empty: the dialog itself.
    std::function<bool(AOLAddressing* addressing)> askAOLAddress;
    // What a found work file of a crashed session gets: 1 to take it back.
    std::function<int(const QString& path, DWORD samples)> offerRecovered;

    // Message box buttons and icons, as the platform's.
    enum { MB_OK = 0, MB_YESNO = 4, MB_ICONEXCLAMATION = 0x30, MB_ICONQUESTION = 0x20 };
    enum { IDOK = 1, IDYES = 6, IDNO = 7 };

protected:
    BOOL OnInitDialog() override;
    void OnClose() override;
    BOOL OnQueryEndSession() override;
    void OnDrawClipboard() override;
    void OnDestroyed() override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    int Box(const QString& caption, const QString& text, int buttons, int icon);
    void RegisterDrop();
    void WithdrawDrop();
    int OnDropCallback(const QMimeData* data);
    void StopForAction(const char* description, WAVEFILETYPE type);
    void RefreshLastSample();
    bool NewWorkFile(UINT prefixId);
    void ForgetRecording();
    void SetWorkFile(const QString& path);
    void OpenRedrawClose(bool toEnd);
    int ConvertForImport(const QString& source, QString* converted);
    bool ConfirmLength(DWORD samples);
    void TryRecover();

    void OnRecord();
    void OnStop();
    void OnPlay();
    void OnPause();
    void OnSkipToStart();
    void OnSkipToEnd();
    void OnPost();
    void OnSaveAsFile();
    void OnPlaceOnDesktop();
    void OnCopy();
    void OnPaste();
    void OnSend();
    void OnHelp();
    void OnProperties();
    void OnCheckAgc();
    LRESULT OnToggle(int step, WPARAM control, LPARAM position);
    LRESULT OnMuteDown();
    LRESULT OnWFDMouseDown(WPARAM position);

    RECORDERDRAWERTYPE m_nDrawerType = RDT_RECORDER;
    CRecord m_Record;
    CMixMgr* m_pMixMgr;
    CSimpleMapi* m_pMapi;
    RECORDPROPERTIES* m_pRecordProps;
    MAILPROPERTIES* m_pMailProps;
    VOXPROPERTIES* m_pVoxProps;
    QString m_strWorkFile;
    std::unique_ptr<WorkFileHold> m_pWorkHold;
    DWORD m_nLastSample = 0;
    BOOL m_bRecording = 0;
    BOOL m_bPlaying = 0;
    BOOL m_bHasRecording = 0;
    BOOL m_bModified = 0;
    BOOL m_bMailAvailable = 0;
    BOOL m_bAutoLevel = 0;
    BOOL m_bVoiceActivated = 0;
    BOOL m_bCompress = 0;
    BOOL m_bSettingsUsable = 1;
    bool m_bMaxTimeShown = false;
    QString m_strTime;
    QString m_strReplyToName, m_strReplyToAddress;
    QStringList m_ReplyCcNames, m_ReplyCcAddresses;

    CClipboard m_Clipboard;
    CDrop m_Drop;
    bool m_bClipboardHasWav = false;
    bool m_bIgnoreFirstClipboard = true;
    QPoint m_ptPress;
    bool m_bPressForDrag = false;

    QToolBar* m_pLeftBar = nullptr;
    QToolBar* m_pTransportBar = nullptr;
    QToolBar* m_pRightBar = nullptr;
    std::map<int, QAction*> m_Actions;
    CWaveformShell* m_pShell = nullptr;
    CWaveformDisplay* m_pWaveform = nullptr;
    CVUWnd* m_pMeterLeft = nullptr;
    CVUWnd* m_pMeterRight = nullptr;
    CToggleWnd* m_pToggle = nullptr;
    QCheckBox* m_pAutoLevel = nullptr;
    QCheckBox* m_pVoiceDetect = nullptr;
    QCheckBox* m_pCompress = nullptr;
    QLabel* m_pTime = nullptr;
    QLineEdit* m_pSubject = nullptr;
    QCheckBox* m_pReceipt = nullptr;
    int m_nTransportY = 0;
};
