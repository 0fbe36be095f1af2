// CEchoMemos: the Echo Memos controller the bar holds for its whole run, a hidden play
// list window. It builds the memo list EMLIST.LST on a worker thread, plays the memos
// that are due from a second worker once a minute, shows a notification window when a
// memo asks for one, queues memos that fall due together, adds memos that other drawers
// post, and owns the EchoMemos Manager drawer. The schedule rules live in schedule.h.
//
// Threads: the workers touch the list file and the memo files only, always under the
// list's lock (memolistlock.h), and reach the user-interface thread by posting messages
// to this object. The play list, the drawer and the notification windows are used on the
// user-interface thread alone.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>

#include <atomic>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "tdkit/audio/wndplaylist.h"
#include "tdkit/settings/properties.h"
#include "tdmemo/memolist.h"
#include "tdmemo/memoplayer.h"
#include "tdmemo/schedule.h"
#include "tdmemo/ui/playbacknotifydlg.h"

class QIODevice;
class QThread;
class QTimer;
class CDrawerEchoMemos;

// Messages of the controller's window besides the bar's.
// To the drawer: wParam 0 a memo has just played, 100 it no longer plays, 101 it plays
// now, other values redraw it; lParam the record index.
inline constexpr UINT WM_ECHOMEMO_CHANGED = WM_USER + 1068;
// From the player: the memo of record wParam has just played.
inline constexpr UINT WM_ECHOMEMO_NOTIFYPLAYBACK = WM_USER + 1069;
// From the player: "Hold All Scheduled Playback" was switched on during a pass.
inline constexpr UINT WM_ECHOMEMO_HOLDALL = WM_USER + 1071;
// From the builder: a building pass has ended.
inline constexpr UINT WM_ECHOMEMO_LISTBUILT = WM_USER + 1073;
// From the player, before its reports: memos fall due, an idle play list is emptied.
inline constexpr UINT WM_ECHOMEMO_PASSSTARTED = WM_USER + 1074;
// To the bar: "Hold All Scheduled Playback" was switched; wParam 1 held, 0 released.
inline constexpr UINT WM_ECHOMEMO_HOLDCHANGED = WM_USER + 1077;
// The drawer's answer to the list growing by one record uses WM_BAR_TOMEMOS.

class CEchoMemos : public CWndPlayList {
public:
    // Gives the current time; the system clock unless a test sets another. The workers
    // call it too, so it must be safe to call from any thread.
    using Clock = std::function<time_t()>;

    // bar: the bar's window, told about the drawer. settings belongs to the bar and
    // outlives the controller. Both may be null (a tool or a test without a bar).
    CEchoMemos(QObject* bar, ECHOMEMOSPROPERTIES* settings, Clock clock = {});
    // Waits (bounded) for the workers to end.
    ~CEchoMemos() override;

    // --- what the bar calls -----------------------------------------------------------
    // Forgets the earliest memo and marks the list as not ready (before a rebuild).
    void InitEchoMemos();
    // Starts building the list at the lowest priority; when a pass already runs, that
    // pass builds once more when it ends (the user or the settings may have changed).
    void GetEchoMemosThread();
    // Starts the player unless "Hold All Scheduled Playback" is set or a player runs.
    void PlayEchoMemosThread();
    // Opens the EchoMemos Manager on the bar's edge at anchor (the task button's centre in
    // the bar's client coordinates). Refused, with "Please Try Again", until the first
    // list has been built. 1 when a drawer is open afterwards.
    int CreateDrawer(UINT edge, const QPoint* anchor, int toolTips);
    // Asks the open drawer to close (it slides in and then reports its closing).
    void DestroyDrawer();
    int IsDrawerOpen() const { return drawer_ ? 1 : 0; }
    void PostMessageToDrawer(UINT message, WPARAM wParam, LPARAM lParam);
    void EnableToolTips(int enable);
    // 1 while the play list is idle.
    int IsRecorderAvailable() const { return IsSomethingPlaying() ? 0 : 1; }

    // --- message handlers (also reachable as window messages) --------------------------
    // WM_BAR_TOMEMOS: wParam the sound file type (1 WAV, 2 RMI), lParam a const char* to
    // the NUL-terminated full path in the file system's encoding. Adds the memo's record
    // (or renews the record of the same file); 1 when the memo is in the list or queued
    // to be added once the list is free, 0 when the file holds no memo.
    LRESULT OnNewEchoMemo(WPARAM type, LPARAM path);
    int AddEchoMemo(SOUNDFILETYPE type, const QString& path);
    // WM_ECHOMEMO_NOTIFYPLAYBACK: a memo has just played. The player's reports are taken
    // oldest first with the record the player wrote (its path and description), so a
    // rebuild of the list meanwhile cannot make another memo play; index is read from
    // the list only when no report waits.
    LRESULT OnNotifyUponPlayback(int index);
    LRESULT OnPlayListChange();
    LRESULT OnPlayListTrackChange(int track);
    // WM_QUERYENDSESSION: waits (bounded) for the workers; then the drawer's answer, or 1.
    LRESULT OnQueryEndSession();
    LRESULT OnDrawerEchoMemosClosed();
    LRESULT OnDrawerSound();

    // --- state ------------------------------------------------------------------------
    int IsListReady() const { return listReady_ ? 1 : 0; }
    int IsBuilding() const { return building_ ? 1 : 0; }
    int IsPlaying() const { return playing_ ? 1 : 0; }
    // Waits up to timeoutMs for both workers to end; true when none runs.
    bool WaitForThreads(int timeoutMs);
    // The record index of the memo the play list plays; -1 when none.
    int GetCurrentMemo() const { return currentMemo_; }
    // The most recent notification window, while it is open.
    CPlaybackNotifyDlg* GetLastNotification() const { return lastNotification_; }
    // Memos that have played and wait for the play list to become idle.
    int QueuedNotifications() const { return static_cast<int>(queue_.size()); }
    CDrawerEchoMemos* GetDrawer() const;

    // --- the schedule -----------------------------------------------------------------
    // Reads the clock once and writes the memo's next playing time to next; scheduled
    // becomes 1 for a memo of a scheduled kind and 0 for "User Initiated" (and for a memo
    // whose schedule fields are out of range, which is then never due).
    void GetNextPlayTime(const ECHOMEMOSTRUCT* memo, time_t* next, int* scheduled) const;

    // The record builder: fills a list record from the memo file at path (its path,
    // description, length, schedule and type) and gives it its next playing time by
    // ScheduleListEntry, as record index of the list. 1 on success; 0, with entry and the
    // earliest time untouched, when the file's memo information cannot be read (a
    // description longer than the record's field included) or the path does not fit the
    // record, which would then name another file.
    int BuildListEntry(const QString& path, SOUNDFILETYPE type, int index, ECHOMEMOLISTENTRY* entry,
                       int* scheduled = nullptr);

    // Gives a list record its next playing time: NEVER_TIME for a "Once" or "User
    // Initiated" memo that has played, else GetNextPlayTime's. A scheduled time earlier
    // than the earliest one known becomes the earliest, at record index. Returns whether
    // the memo is scheduled.
    int ScheduleListEntry(ECHOMEMOLISTENTRY* entry, int index);

    // Rescans an open list file from its start for the earliest due memo: the earliest
    // time and its index (NEVER_TIME and -1 when none). Ties keep the earlier record.
    void FindNextNoteToPlay(QIODevice* file);

    time_t EarliestTime() const;
    int EarliestIndex() const;
    // Forgets the earliest memo: NEVER_TIME and -1.
    void ResetEarliest();
    // Makes time the earliest, at index, when it is earlier than the earliest known.
    void LowerEarliest(time_t time, int index);

    time_t Now() const { return clock_(); }
    // Takes "Hold All Scheduled Playback" over from the settings for the workers; a change
    // is told to the bar (WM_ECHOMEMO_HOLDCHANGED), which shows it on the manager's button.
    void RefreshHoldAll();

protected:
    // Shows a message box; a test may replace it.
    virtual void ShowMessage(const QString& text, const QString& caption);
    void timerEvent(QTimerEvent* event) override;

private:
    // Worker bodies.
    void BuildLoop();
    bool BuildList();
    void PlayDueMemos();
    // The user-interface side of a played memo.
    void StartNotification(const CPlaybackNotification& note);
    bool TakePlayedRecord(int index, ECHOMEMOLISTENTRY* entry);
    void AddPendingMemos();
    void KeepPending(SOUNDFILETYPE type, const QString& path, bool retryLater);
    int AddToListFile(SOUNDFILETYPE type, const QString& path);
    void RefreshDrawer();
    bool HoldAll() const { return holdAll_; }

    QObject* bar_;
    ECHOMEMOSPROPERTIES* settings_;
    Clock clock_;

    // The earliest due memo; the workers and the user-interface thread all move it, and
    // the time and its index change together.
    mutable std::mutex earliestLock_;
    time_t earliestTime_;
    int earliestIndex_ = -1;

    std::atomic<bool> listReady_{false};
    std::atomic<bool> building_{false};
    std::atomic<bool> buildAgain_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    // "Hold All Scheduled Playback" as the workers see it; the user-interface thread
    // copies it from the settings.
    std::atomic<bool> holdAll_{false};
    std::unique_ptr<QThread> builder_;
    std::unique_ptr<QThread> player_;

    // Records of memos the player has just played, for their notifications.
    std::mutex playedLock_;
    std::deque<PlayedMemo> played_;

    // New memos that could not be added yet (a building pass ran or the lock was busy).
    std::vector<std::pair<SOUNDFILETYPE, QString>> pending_;
    int pendingRetries_ = 0;
    QTimer* pendingTimer_ = nullptr;

    // The open drawer; it is a child of the bar's window, which may take it along.
    QPointer<QObject> drawer_;
    std::deque<CPlaybackNotification> queue_;
    QPointer<CPlaybackNotifyDlg> lastNotification_;
    std::vector<QPointer<CPlaybackNotifyDlg>> windows_;
    int cascade_ = 0;
    int currentMemo_ = -1;
};
