#include "tdmemo/ui/echomemos.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QMessageBox>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/strings.h"
#include "platform/trace.h"
#include "tdkit/settings/paths.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/memoplayer.h"
#include "tdmemo/strings.h"
#include "tdmemo/ui/drawerechomemos.h"

namespace {

// How long the controller waits for a worker to end.
constexpr int kThreadEndWait = 30000;
// New memos that find the list busy are tried again this often, this many times.
constexpr int kPendingRetryMs = 1000;
constexpr int kPendingRetries = 60;
constexpr std::size_t kPendingLimit = 256;
// Played records kept for their notifications while the user-interface thread is busy.
constexpr std::size_t kPlayedLimit = 1024;
// Building passes tried in a row when the lock stays busy.
constexpr int kBuildAttempts = 3;
// Successive notification windows step down and right, back to the origin after ten.
constexpr int kCascadeSteps = 10;
// How long a memo file that another writer holds open is waited for.
constexpr qint64 kMemoFileBusyWaitMs = 1000;
// The longest path a WM_BAR_TOMEMOS sender can mean.
constexpr std::size_t kMessagePathLimit = 4096;

bool HasWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The files of dir whose names match pattern whatever their case, in name order.
QStringList MemoFiles(const QString& dir, const QString& pattern) {
    QDir d(dir);
    d.setNameFilters({pattern});
    d.setFilter(QDir::Files);
    d.setSorting(QDir::Name | QDir::IgnoreCase);
    return d.entryList();
}

// A memo file's list record without its next playing time; false when the file holds no
// readable memo or its path does not fit the record.
bool ReadMemoEntry(const QString& path, SOUNDFILETYPE type, ECHOMEMOLISTENTRY* entry) {
    ECHOMEMOLISTENTRY built{};
    if (!SetMemoListPath(&built, path))
        return false;
    WAVEFILETYPE fileType = WAVEFILETYPE_SOUND;
    DWORD seconds = 0;
    // A description an older writer stored longer than the field is listed cut to it.
    // Another writer (the player marking the memo played, the manager rescheduling it)
    // holds the file only for one short write: a busy file is read again once it is free.
    QElapsedTimer waited;
    waited.start();
    while (!GetNoteInfoFromRIFFFile(path, fileType, built.description, sizeof built.description,
                                    seconds, &built.memo, type, LongDescription::Cut)) {
        if (LastChunkError() != ChunkError::Busy || waited.elapsed() >= kMemoFileBusyWaitMs)
            return false;
        QThread::msleep(5);
    }
    built.description[sizeof built.description - 1] = '\0';
    built.length = static_cast<int32_t>(std::min<DWORD>(seconds, INT32_MAX));
    built.fileType = type;
    *entry = built;
    return true;
}

}  // namespace

CEchoMemos::CEchoMemos(QObject* bar, ECHOMEMOSPROPERTIES* settings, Clock clock)
    : CWndPlayList(bar),
      bar_(bar),
      settings_(settings),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      earliestTime_(NEVER_TIME()) {
    pendingTimer_ = new QTimer(this);
    pendingTimer_->setSingleShot(true);
    pendingTimer_->setInterval(kPendingRetryMs);
    QObject::connect(pendingTimer_, &QTimer::timeout, this, [this] { AddPendingMemos(); });

    OnMessage(WM_QUERYENDSESSION, [this](WPARAM, LPARAM) { return OnQueryEndSession(); });
    OnMessage(WM_BAR_MEMOMANAGERCLOSED,
              [this](WPARAM, LPARAM) { return OnDrawerEchoMemosClosed(); });
    OnMessage(WM_BAR_DRAWERSOUND, [this](WPARAM, LPARAM) { return OnDrawerSound(); });
    OnMessage(WM_BAR_TOMEMOS, [this](WPARAM w, LPARAM l) { return OnNewEchoMemo(w, l); });
    OnMessage(WM_ECHOMEMO_CHANGED, [](WPARAM, LPARAM) { return LRESULT(0); });
    OnMessage(WM_ECHOMEMO_NOTIFYPLAYBACK,
              [this](WPARAM w, LPARAM) { return OnNotifyUponPlayback(static_cast<int>(w)); });
    OnMessage(WM_PLAYLIST_STATECHANGED, [this](WPARAM, LPARAM) { return OnPlayListChange(); });
    OnMessage(WM_PLAYLIST_TRACKCHANGED, [this](WPARAM w, LPARAM) {
        return OnPlayListTrackChange(static_cast<int>(static_cast<intptr_t>(w)));
    });
    OnMessage(WM_ECHOMEMO_HOLDALL, [this](WPARAM, LPARAM) {
        queue_.clear();
        StopList();
        PurgePlayList();
        return LRESULT(0);
    });
    OnMessage(WM_ECHOMEMO_PASSSTARTED, [this](WPARAM, LPARAM) {
        if (!IsSomethingPlaying())
            PurgePlayList();
        return LRESULT(0);
    });
    OnMessage(WM_ECHOMEMO_LISTBUILT, [this](WPARAM, LPARAM) {
        // The list file was replaced: an open manager reads it again.
        if (drawer_)
            PostMessage(drawer_, WM_ECHOMEMO_CHANGED, 1, -1);
        AddPendingMemos();
        return LRESULT(0);
    });
    InitEchoMemos();
}

CEchoMemos::~CEchoMemos() {
    stopping_ = true;
    if (!WaitForThreads(kThreadEndWait)) {
        // A worker stuck in the file system: its thread object is left behind rather than
        // destroyed while it runs.
        Trace("EchoMemos: a worker did not end\n");
        if (builder_ && builder_->isRunning())
            (void)builder_.release();
        if (player_ && player_->isRunning())
            (void)player_.release();
    }
    for (const QPointer<CPlaybackNotifyDlg>& window : windows_)
        delete window.data();
    delete drawer_.data();
}

// ---------------------------------------------------------------------------------------
// Starting and ending the workers

void CEchoMemos::InitEchoMemos() {
    // A pass of the player or the builder that runs meanwhile moves the earliest memo: the
    // state is reset between passes, never in the middle of one.
    CMemoListLock lock(kMemoLockBuildWait, &stopping_);
    listReady_ = false;
    cascade_ = 0;
    RefreshHoldAll();
    if (!lock.IsHeld()) {
        // The list stays not ready; the next building pass resets the earliest memo.
        Trace("EchoMemos: InitEchoMemos could not take the list\n");
        return;
    }
    ResetEarliest();
}

void CEchoMemos::GetEchoMemosThread() {
    if (stopping_)
        return;
    buildAgain_ = true;
    if (building_.exchange(true))
        return;  // the running pass builds once more
    if (builder_ && !builder_->wait(QDeadlineTimer(kThreadEndWait))) {
        Trace("EchoMemos: the last building thread did not end\n");
        (void)builder_.release();
    }
    builder_.reset(QThread::create([this] { BuildLoop(); }));
    builder_->start(QThread::LowestPriority);
}

void CEchoMemos::PlayEchoMemosThread() {
    RefreshHoldAll();
    if (HoldAll() || stopping_)
        return;
    if (playing_.exchange(true))
        return;
    if (player_ && !player_->wait(QDeadlineTimer(kThreadEndWait))) {
        Trace("EchoMemos: the last playing thread did not end\n");
        (void)player_.release();
    }
    player_.reset(QThread::create([this] {
        PlayDueMemos();
        playing_ = false;
    }));
    player_->start(QThread::NormalPriority);
}

bool CEchoMemos::WaitForThreads(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (QThread* thread : {builder_.get(), player_.get()}) {
        if (thread && !thread->wait(deadline))
            return false;
    }
    return !building_ && !playing_;
}

// ---------------------------------------------------------------------------------------
// The list builder

void CEchoMemos::BuildLoop() {
    for (;;) {
        buildAgain_ = false;  // this pass serves every request made so far
        bool built = false;
        for (int attempt = 0; attempt < kBuildAttempts && !built && !stopping_; ++attempt)
            built = BuildList();
        if (built && !buildAgain_)
            listReady_ = true;
        building_ = false;
        // A request that came after the pass began wants another, unless a new starter
        // has already taken the building over.
        if (stopping_ || !buildAgain_ || building_.exchange(true))
            break;
    }
    PostMessage(this, WM_ECHOMEMO_LISTBUILT);
}

bool CEchoMemos::BuildList() {
    Trace("Enter GetEchoMemos thread\n");
    CMemoListLock lock(kMemoLockBuildWait, &stopping_);
    if (!lock.IsHeld()) {
        Trace("Exit GetEchoMemos thread\n");
        return false;
    }
    QString listPath;
    QString directory;
    bool ok = GetEchoMemosListFilePath(listPath) && GetEchoMemosDirectory(directory);
    if (ok) {
        ResetEarliest();
        std::vector<ECHOMEMOLISTENTRY> entries;
        const struct {
            const char* pattern;
            SOUNDFILETYPE type;
        } passes[] = {{"*.WAV", SOUNDFILETYPE_WAV}, {"*.RMI", SOUNDFILETYPE_RMI}};
        for (const auto& pass : passes) {
            for (const QString& name : MemoFiles(directory, QString::fromLatin1(pass.pattern))) {
                if (stopping_) {
                    ok = false;
                    break;
                }
                ECHOMEMOLISTENTRY entry;
                if (BuildListEntry(directory + u'/' + name, pass.type,
                                   static_cast<int>(entries.size()), &entry))
                    entries.push_back(entry);
            }
        }
        // The whole list is written beside the old one and renamed over it, so a reader
        // never meets half a list and a failed pass leaves the old one.
        ok = ok && WriteMemoListFile(listPath, entries);
        if (!ok) {
            // The earliest time now describes no file: let the next player look at all.
            LowerEarliest(0, -1);
        }
    }
    Trace(ok ? "Exit GetEchoMemos thread\n" : "Exit GetEchoMemos thread exception caused\n");
    return ok;
}

// ---------------------------------------------------------------------------------------
// The player

void CEchoMemos::PlayDueMemos() {
    if (!listReady_)
        return;
    Trace("Enter PlayEchoMemos thread\n");
    CMemoListLock lock(kMemoLockBuildWait, &stopping_);
    if (lock.IsHeld()) {
        const time_t now = clock_();
        if (now >= EarliestTime()) {
            PostMessage(this, WM_ECHOMEMO_PASSSTARTED);
            ResetEarliest();
            QString listPath;
            QFile file;
            bool opened = false;
            if (GetEchoMemosListFilePath(listPath)) {
                file.setFileName(listPath);
                opened = file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
            }
            MemoPassHooks hooks;
            hooks.holdAll = [this] { return HoldAll(); };
            hooks.stop = [this] { return stopping_.load(); };
            hooks.played = [this](const PlayedMemo& memo) {
                {
                    std::lock_guard guard(playedLock_);
                    if (played_.size() >= kPlayedLimit)
                        played_.pop_front();
                    played_.push_back(memo);
                }
                PostMessage(this, WM_ECHOMEMO_NOTIFYPLAYBACK, WPARAM(memo.index));
            };
            const MemoPassResult pass = opened ? RunMemoPlayerPass(&file, now, hooks)
                                               : MemoPassResult{false, false, now, -1};
            if (pass.held)
                PostMessage(this, WM_ECHOMEMO_HOLDALL);
            if (!pass.complete || !file.flush())
                LowerEarliest(now, -1);
            else
                LowerEarliest(pass.earliest, static_cast<int>(pass.earliestIndex));
        }
    }
    Trace("Exit PlayEchoMemos thread\n");
}

// ---------------------------------------------------------------------------------------
// Notifications

bool CEchoMemos::TakePlayedRecord(int index, ECHOMEMOLISTENTRY* entry) {
    (void)index;  // a hint only: the report's own record names the memo
    std::lock_guard guard(playedLock_);
    if (played_.empty())
        return false;
    *entry = played_.front().entry;
    played_.pop_front();
    return true;
}

LRESULT CEchoMemos::OnNotifyUponPlayback(int index) {
    ECHOMEMOLISTENTRY record;
    if (!TakePlayedRecord(index, &record)) {
        // A report that did not come from the player: the record is read from the list.
        CMemoListLock lock(kMemoLockShortWait);
        QString listPath;
        if (!lock.IsHeld() || !GetEchoMemosListFilePath(listPath))
            return 0;
        QFile file(listPath);
        if (!file.open(QIODevice::ReadOnly) || !ReadMemoListRecord(&file, index, &record) ||
            !HasMemoListPath(record))
            return 0;
    }
    RefreshHoldAll();
    if (HoldAll())
        return 0;  // held after the player took it: it does not play now
    CPlaybackNotification note;
    note.record = record;
    note.index = index;
    note.raised = clock_();
    note.b24Hour = settings_ ? settings_->b24Hour : 0;
    note.notify = record.memo.notify;
    const int step = cascade_;
    cascade_ = (cascade_ + 1) % kCascadeSteps;
    const int extent =
        HasWidgets() ? QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
    note.position = QPoint(step * extent, step * extent);
    if (!queue_.empty() || IsSomethingPlaying())
        queue_.push_back(note);
    else
        StartNotification(note);
    return 0;
}

void CEchoMemos::StartNotification(const CPlaybackNotification& note) {
    PurgePlayList();
    AddToPlayList(MemoListPath(note.record));
    if (!IsSomethingPlaying())
        PlayList(0);
    if (drawer_)
        PostMessage(drawer_, WM_ECHOMEMO_CHANGED, 0, note.index);
    if (!note.notify || !HasWidgets())
        return;
    auto* window = new CPlaybackNotifyDlg(note, this);
    window->move(note.position);
    window->show();
    lastNotification_ = window;
    std::erase_if(windows_, [](const QPointer<CPlaybackNotifyDlg>& w) { return w.isNull(); });
    windows_.emplace_back(window);
}

LRESULT CEchoMemos::OnPlayListChange() {
    if (!IsSomethingPlaying() && !queue_.empty()) {
        RefreshHoldAll();
        if (HoldAll()) {
            queue_.clear();
        } else {
            const CPlaybackNotification note = queue_.front();
            queue_.pop_front();
            StartNotification(note);
        }
    }
    RefreshDrawer();
    return 0;
}

LRESULT CEchoMemos::OnPlayListTrackChange(int track) {
    RefreshDrawer();
    if (currentMemo_ >= 0 && drawer_)
        PostMessage(drawer_, WM_ECHOMEMO_CHANGED, 100, currentMemo_);
    currentMemo_ = -1;
    if (track < 0)
        return 0;
    QStringList files;
    GetPlayIndexes(files);
    if (track >= files.size())
        return 0;
    CMemoListLock lock(kMemoLockTrackWait);
    QString listPath;
    if (!lock.IsHeld() || !GetEchoMemosListFilePath(listPath))
        return 0;
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 found = FindMemoListRecord(&file, files[track]);
    if (found < 0)
        found = FindMemoListRecord(&file, files[track], Qt::CaseInsensitive);
    if (found >= 0 && found <= INT32_MAX) {
        currentMemo_ = static_cast<int>(found);
        if (drawer_)
            PostMessage(drawer_, WM_ECHOMEMO_CHANGED, 101, currentMemo_);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// New memos

LRESULT CEchoMemos::OnNewEchoMemo(WPARAM type, LPARAM path) {
    const auto* text = reinterpret_cast<const char*>(path);
    if (!text)
        return 0;
    const QByteArray bytes(text, static_cast<qsizetype>(strnlen(text, kMessagePathLimit)));
    return AddEchoMemo(static_cast<SOUNDFILETYPE>(type), QFile::decodeName(bytes));
}

int CEchoMemos::AddEchoMemo(SOUNDFILETYPE type, const QString& path) {
    if (type != SOUNDFILETYPE_WAV && type != SOUNDFILETYPE_RMI)
        return 0;
    ECHOMEMOLISTENTRY check;
    if (!ReadMemoEntry(path, type, &check))
        return 0;
    // A building pass holds the list for long: the memo joins when it has ended.
    if (building_) {
        KeepPending(type, path, false);
        return 1;
    }
    CMemoListLock lock(kMemoLockLoadWait);
    if (!lock.IsHeld()) {
        KeepPending(type, path, true);
        return 1;
    }
    return AddToListFile(type, path);
}

int CEchoMemos::AddToListFile(SOUNDFILETYPE type, const QString& path) {
    QString listPath;
    if (!GetEchoMemosListFilePath(listPath))
        return 0;
    QFile file(listPath);
    if (!file.open(QIODevice::ReadWrite))
        return 0;
    // A file already in the list (posted again, or found by a building pass meanwhile)
    // has its record renewed: two records would play it twice.
    const qint64 existing = FindMemoListRecord(&file, path);
    const qint64 index = existing >= 0 ? existing : MemoListRecordCount(file.size());
    if (index > INT32_MAX)
        return 0;
    ECHOMEMOLISTENTRY entry;
    if (!BuildListEntry(path, type, static_cast<int>(index), &entry))
        return 0;
    const bool written = existing >= 0 ? RewriteMemoListRecord(&file, existing, entry)
                                       : AppendMemoListRecord(&file, entry);
    if (!written || !file.flush())
        return 0;
    if (drawer_) {
        if (existing >= 0)
            PostMessage(drawer_, WM_ECHOMEMO_CHANGED, 1, static_cast<LPARAM>(existing));
        else
            PostMessage(drawer_, WM_BAR_TOMEMOS);
    }
    return 1;
}

void CEchoMemos::KeepPending(SOUNDFILETYPE type, const QString& path, bool retryLater) {
    const bool known = std::any_of(pending_.begin(), pending_.end(),
                                   [&path](const auto& p) { return p.second == path; });
    if (!known) {
        if (pending_.size() >= kPendingLimit) {
            Trace(QStringLiteral("EchoMemos: not added: %1\n").arg(pending_.front().second));
            pending_.erase(pending_.begin());
        }
        pending_.emplace_back(type, path);
    }
    if (retryLater && !pendingTimer_->isActive())
        pendingTimer_->start();
}

void CEchoMemos::AddPendingMemos() {
    if (pending_.empty() || building_ || stopping_)
        return;
    CMemoListLock lock(kMemoLockShortWait);
    if (!lock.IsHeld()) {
        if (++pendingRetries_ <= kPendingRetries) {
            pendingTimer_->start();
        } else {
            for (const auto& p : pending_)
                Trace(QStringLiteral("EchoMemos: not added: %1\n").arg(p.second));
            pending_.clear();
            pendingRetries_ = 0;
        }
        return;
    }
    pendingRetries_ = 0;
    const auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& [type, path] : pending)
        AddToListFile(type, path);
}

// ---------------------------------------------------------------------------------------
// The drawer

CDrawerEchoMemos* CEchoMemos::GetDrawer() const {
    return static_cast<CDrawerEchoMemos*>(drawer_.data());
}

int CEchoMemos::CreateDrawer(UINT edge, const QPoint* anchor, int toolTips) {
    if (drawer_)
        return 1;
    if (!listReady_) {
        ShowMessage(LoadString(IDS_MEMOS_CONFIGURING), LoadString(IDS_MEMOS_TRY_AGAIN));
        return 0;
    }
    if (!HasWidgets())
        return 0;
    auto* drawer = new CDrawerEchoMemos(anchor, settings_, this, qobject_cast<QWidget*>(bar_));
    drawer_ = drawer;
    drawer->CreateDrawer(edge, toolTips);
    return 1;
}

void CEchoMemos::DestroyDrawer() {
    if (drawer_)
        SendMessage(drawer_, WM_CLOSE);
}

void CEchoMemos::PostMessageToDrawer(UINT message, WPARAM wParam, LPARAM lParam) {
    if (drawer_)
        PostMessage(drawer_, message, wParam, lParam);
}

void CEchoMemos::EnableToolTips(int enable) {
    if (CDrawerEchoMemos* drawer = GetDrawer())
        drawer->EnableToolTips(enable ? 1 : 0);
}

void CEchoMemos::RefreshDrawer() {
    if (CDrawerEchoMemos* drawer = GetDrawer())
        drawer->update();
}

LRESULT CEchoMemos::OnDrawerEchoMemosClosed() {
    SendMessage(bar_, WM_BAR_MEMOMANAGERCLOSED);
    // The report comes from inside the drawer: it goes once control has left it.
    if (drawer_)
        drawer_->deleteLater();
    drawer_ = nullptr;
    return 0;
}

LRESULT CEchoMemos::OnDrawerSound() {
    SendMessage(bar_, WM_BAR_DRAWERSOUND);
    return 0;
}

LRESULT CEchoMemos::OnQueryEndSession() {
    WaitForThreads(kThreadEndWait);
    if (drawer_)
        return SendMessage(drawer_, WM_QUERYENDSESSION);
    return 1;
}

void CEchoMemos::ShowMessage(const QString& text, const QString& caption) {
    if (!HasWidgets())
        return;
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

void CEchoMemos::RefreshHoldAll() {
    const bool held = settings_ && settings_->bHoldAll;
    if (holdAll_.exchange(held) != held && bar_)
        SendMessage(bar_, WM_ECHOMEMO_HOLDCHANGED, held ? 1 : 0);
}

void CEchoMemos::timerEvent(QTimerEvent* event) {
    RefreshHoldAll();
    CWndPlayList::timerEvent(event);
}

// ---------------------------------------------------------------------------------------
// The schedule

void CEchoMemos::GetNextPlayTime(const ECHOMEMOSTRUCT* memo, time_t* next, int* scheduled) const {
    *next = NextPlayTime(*memo, clock_(), scheduled);
}

int CEchoMemos::BuildListEntry(const QString& path, SOUNDFILETYPE type, int index,
                               ECHOMEMOLISTENTRY* entry, int* scheduled) {
    ECHOMEMOLISTENTRY built;
    if (!ReadMemoEntry(path, type, &built))
        return 0;
    const int isScheduled = ScheduleListEntry(&built, index);
    if (scheduled)
        *scheduled = isScheduled;
    *entry = built;
    return 1;
}

int CEchoMemos::ScheduleListEntry(ECHOMEMOLISTENTRY* entry, int index) {
    int scheduled = 0;
    const time_t next = ListEntryNextTime(entry->memo, clock_(), &scheduled);
    entry->nextTime = ToListTime(next);
    if (scheduled)
        LowerEarliest(next, index);
    return scheduled;
}

void CEchoMemos::FindNextNoteToPlay(QIODevice* file) {
    time_t earliest = NEVER_TIME();
    int index = -1;
    const qint64 count = MemoListRecordCount(file->size());
    ECHOMEMOLISTENTRY entry;
    for (qint64 i = 0; i < count && ReadMemoListRecord(file, i, &entry); ++i) {
        if (!HasMemoListPath(entry) || entry.memo.frequency == MEMO_USER_INITIATED ||
            entry.memo.played == 1)
            continue;
        if (time_t{entry.nextTime} < earliest) {
            earliest = entry.nextTime;
            index = static_cast<int>(i);
        }
    }
    std::lock_guard lock(earliestLock_);
    earliestTime_ = earliest;
    earliestIndex_ = index;
}

time_t CEchoMemos::EarliestTime() const {
    std::lock_guard lock(earliestLock_);
    return earliestTime_;
}

int CEchoMemos::EarliestIndex() const {
    std::lock_guard lock(earliestLock_);
    return earliestIndex_;
}

void CEchoMemos::ResetEarliest() {
    const time_t never = NEVER_TIME();
    std::lock_guard lock(earliestLock_);
    earliestTime_ = never;
    earliestIndex_ = -1;
}

void CEchoMemos::LowerEarliest(time_t time, int index) {
    std::lock_guard lock(earliestLock_);
    if (time < earliestTime_) {
        earliestTime_ = time;
        earliestIndex_ = index;
    }
}
