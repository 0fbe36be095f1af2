// CAudioMessaging: the Voicegram Box's controller, which the bar holds for its whole run.
// It keeps the list of received voicegrams (the WAV files with a mail record in the
// user's voicegram directory), tells the bar whether any is new, and plays them through
// its play list.
#pragma once

#include <QPoint>
#include <QString>

#include <atomic>
#include <mutex>
#include <vector>

#include "tdkit/audio/wndplaylist.h"
#include "tdkit/settings/properties.h"

class CFrameDrawer;
class CMixMgr;
class CSimpleMapi;
class QThread;
class QWidget;

// One received voicegram.
struct VoicegramEntry {
    QString path;
    QString description;
    DWORD seconds = 0;
    bool heard = false;
};

class CAudioMessaging : public CWndPlayList {
public:
    CAudioMessaging(QObject* bar, MAILPROPERTIES* mail, MESSAGEPROPERTIES* messages,
                    CSimpleMapi* mapi);
    ~CAudioMessaging() override;

    // Reads the voicegram directory into the list on a worker thread and reports the
    // inbox state (new voicegrams or none) to the bar. Returns at once; a call while a
    // reading runs is ignored.
    void CreateMailListThread();
    // Looks for new voicegrams in the mail system on a worker thread (0 at start, 1 at
    // each poll). Returns at once; nothing happens while mail is not enabled.
    void FindVoicegramThread(int polling);

    // Opens the Voicegram Box drawer beside the task button (anchor: its centre in the
    // bar's client coordinates); nothing when one is open. The drawer reports its closing
    // to the bar with WM_BAR_INBOXCLOSED.
    void CreateDrawer(UINT edge, const QPoint& anchor, MESSAGEPROPERTIES* messages,
                      RECORDPROPERTIES* sendProps, MAILPROPERTIES* mail, int showSendVoicegram,
                      VOXPROPERTIES* vox, CMixMgr* mixer, int toolTips, QWidget* bar);
    void DestroyDrawer();
    void EnableToolTips(int enable);
    bool IsDrawerOpen() const { return drawer_ != nullptr; }

    // The list as last read, and the state last reported (1: new voicegrams).
    std::vector<VoicegramEntry> Voicegrams() const;
    int InboxState() const { return state_; }
    // Waits (bounded) for the worker threads; true when none is left running.
    bool WaitForThreads(int timeoutMs);

    // Reads the directory: the entries, and whether any of them is unheard. Runs on the
    // worker; public so that it can be checked directly.
    static std::vector<VoicegramEntry> ReadVoicegramDirectory(const QString& directory);

private:
    void ApplyList(std::vector<VoicegramEntry> list);

    QObject* bar_;
    CFrameDrawer* drawer_ = nullptr;
    MAILPROPERTIES* mail_;
    MESSAGEPROPERTIES* messages_;
    CSimpleMapi* mapi_;
    std::atomic<bool> listRunning_{false};
    QThread* listThread_ = nullptr;
    mutable std::mutex listMutex_;
    std::vector<VoicegramEntry> list_;
    int state_ = 0;
};
