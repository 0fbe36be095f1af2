// CAudioMessaging: the Voicegram Box's controller, which the bar holds for its whole run.
// It keeps the list of received voicegrams (the WAV files with a mail record in the
// user's voicegram directory), tells the bar whether any is new, and plays them through
// its play list.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "tdinbox/ui/drawerinbox.h"
#include "tdinbox/voicegrambox.h"
#include "tdkit/audio/wndplaylist.h"
#include "tdkit/settings/properties.h"

class CMixMgr;
class CSimpleMapi;
class QThread;
class QWidget;

class CAudioMessaging : public CWndPlayList {
public:
    CAudioMessaging(QObject* bar, MAILPROPERTIES* mail, MESSAGEPROPERTIES* messages,
                    CSimpleMapi* mapi);
    ~CAudioMessaging() override;

    // Reads the voicegram directory into the list on a worker thread and reports the
    // inbox state (new voicegrams or none) to the bar. Returns at once; a call while a
    // reading runs is ignored.
    void CreateMailListThread();
    // Fetches new voicegrams from the mail system into the voicegram folder on a worker
    // thread (0 at start, 1 at each poll), then reads the list again. Returns at once;
    // nothing happens while mail is not enabled or a fetch still runs.
    void FindVoicegramThread(int polling);

    // Opens the Voicegram Box drawer beside the task button (anchor: its centre in the
    // bar's client coordinates); nothing when one is open. The drawer reports its closing
    // to the bar with WM_BAR_INBOXCLOSED.
    void CreateDrawer(UINT edge, const QPoint& anchor, MESSAGEPROPERTIES* messages,
                      RECORDPROPERTIES* sendProps, MAILPROPERTIES* mail, int showSendVoicegram,
                      VOXPROPERTIES* vox, CMixMgr* mixer, int toolTips, QWidget* bar);
    void DestroyDrawer();
    void EnableToolTips(int enable);
    bool IsDrawerOpen() const { return !drawer_.isNull(); }

    // What the drawer does with a voicegram of the list (path as listed).
    // Plays it through the play list and marks it heard; 1 when it started.
    int PlayVoicegram(const QString& path);
    // Marks it heard, or new again when it was heard.
    bool ToggleHeard(const QString& path);
    // Moves it to the trash.
    bool DeleteEntry(const QString& path);
    // Opens the Send Voicegram drawer as a reply to it; false when the drawer holds a
    // recording of its own (or cannot take the reply).
    bool Reply(const QString& path);
    // Forwards it to addresses (separated by commas) and marks it forwarded; the text
    // tells the user how it went.
    QString Forward(const QString& path, const QString& addresses);
    // Replaces the way a reply reaches the Send Voicegram drawer (the bar's messages by
    // default); the handler answers whether the drawer took it.
    using ReplyHandler = std::function<bool(const VoicegramEntry&, const ReplyAddress&)>;
    void SetReplyHandler(ReplyHandler handler) { replyHandler_ = std::move(handler); }
    CDrawerInbox* Drawer() const;

    // The list as last read, and the state last reported (1: new voicegrams).
    std::vector<VoicegramEntry> Voicegrams() const;
    int InboxState() const { return state_; }
    // Waits (bounded) for the worker threads; true when none is left running.
    bool WaitForThreads(int timeoutMs);

    // Reads the directory: the entries, and whether any of them is unheard. Runs on the
    // worker; public so that it can be checked directly.
    static std::vector<VoicegramEntry> ReadVoicegramDirectory(const QString& directory) {
        return ::ReadVoicegramDirectory(directory);
    }

private:
    void ApplyList(std::vector<VoicegramEntry> list);
    bool Find(const QString& path, VoicegramEntry& out) const;
    // Reads the folder again at once (after a change the drawer made).
    void Reread();
    ReplyHandler replyHandler_;

    QObject* bar_;
    // The open drawer; a child of the bar's window, which may take it along at exit.
    QPointer<CDrawerInbox> drawer_;
    MAILPROPERTIES* mail_;
    MESSAGEPROPERTIES* messages_;
    CSimpleMapi* mapi_;
    std::atomic<bool> listRunning_{false};
    QThread* listThread_ = nullptr;
    std::atomic<bool> fetchRunning_{false};
    QThread* fetchThread_ = nullptr;
    mutable std::mutex listMutex_;
    std::vector<VoicegramEntry> list_;
    int state_ = 0;
};
