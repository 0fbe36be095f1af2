#include "tdseek/ui/sonoscout.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QSaveFile>
#include <QThread>
#include <QWidget>

#include "platform/message.h"
#include "platform/trace.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"
#include "tdseek/ui/drawersonoscout.h"

namespace {

constexpr DWORD kYear = 365 * 24 * 3600;
constexpr DWORD kMinInterval = 60;

// Local midnight of the day `days` after the day of `now`, plus secondsOfDay; daylight
// saving is decided for that date.
time_t LocalDayAt(time_t now, int days, DWORD secondsOfDay) {
    tm local{};
    localtime_r(&now, &local);
    local.tm_mday += days;
    local.tm_hour = static_cast<int>(secondsOfDay / 3600);
    local.tm_min = static_cast<int>(secondsOfDay % 3600 / 60);
    local.tm_sec = static_cast<int>(secondsOfDay % 60);
    local.tm_isdst = -1;
    return mktime(&local);
}

DWORD ClampTime(int64_t t) {
    if (t < 0)
        return 0;
    if (t > 0xFFFFFFFFLL)
        return 0xFFFFFFFFu;
    return static_cast<DWORD>(t);
}

}  // namespace

CSonoscout::CSonoscout(QObject* parent, SONOSCOUTPROPERTIES* settings, MAILPROPERTIES* mail,
                       CSimpleMapi* mapi, Clock clock)
    : CWndPlayList(parent),
      parent_(parent),
      settings_(settings),
      mail_(mail),
      mapi_(mapi),
      clock_(clock ? std::move(clock) : Clock([] { return time(nullptr); })) {
    SetNextSearchTime(1);
    GetSonoscoutSearchFilePath(dataFile_);
    OnMessage(WM_QUERYENDSESSION, [this](WPARAM, LPARAM) {
        // A search cut short by the end of the session keeps the old list.
        if (searching_) {
            StopSearch(1);
            WaitForSearch(20000);
        }
        return drawer_ ? SendMessage(drawer_, WM_QUERYENDSESSION) : LRESULT(1);
    });
    OnMessage(WM_BAR_SONOSCOUTCLOSED, [this](WPARAM, LPARAM) {
        // The report comes from inside the drawer: it is deleted once control has left
        // it, and forgotten now, so the next press of the button opens a new one.
        if (drawer_)
            drawer_->deleteLater();
        drawer_ = nullptr;
        return SendMessage(parent_, WM_BAR_SONOSCOUTCLOSED);
    });
    OnMessage(WM_BAR_DRAWERSOUND,
              [this](WPARAM, LPARAM) { return SendMessage(parent_, WM_BAR_DRAWERSOUND); });
    OnMessage(WM_PLAYLIST_TRACKCHANGED, [this](WPARAM w, LPARAM l) {
        if (drawer_)
            PostMessage(drawer_, WM_PLAYLIST_TRACKCHANGED, w, l);
        else if (static_cast<int>(w) == -1)
            PurgePlayList();
        return LRESULT(0);
    });
    OnMessage(WM_PLAYLIST_STATECHANGED, [this](WPARAM, LPARAM) {
        if (drawer_)
            drawer_->UpdateToolBar();
        return LRESULT(0);
    });
    OnMessage(WM_BAR_TOSONOSCOUT, [](WPARAM, LPARAM) { return LRESULT(0); });
}

void CSonoscout::CreateDrawer(UINT edge, const QPoint& anchor, int toolTips) {
    if (drawer_)
        return;
    drawer_ = new CDrawerSonoscout(settings_, mail_, this, qobject_cast<QWidget*>(parent_));
    drawer_->Open(edge, anchor, toolTips);
}

CDrawerSonoscout* CSonoscout::Drawer() const {
    return drawer_.data();
}

void CSonoscout::StartingModelessDlg() {
    if (drawer_)
        drawer_->SetModelessDialog(true);
}

void CSonoscout::EndedModelessDlg() {
    if (drawer_)
        drawer_->SetModelessDialog(false);
}

void CSonoscout::DestroyDrawer() {
    if (drawer_)
        SendMessage(drawer_, WM_CLOSE);
}

void CSonoscout::EnableToolTips(int enable) {
    if (drawer_)
        drawer_->EnableToolTips(enable);
}

CSonoscout::~CSonoscout() {
    delete drawer_;
    if (engine_) {
        StopSearch(1);
        engine_->WaitForWorker(20000);
        engine_.reset();
    }
}

int CSonoscout::IsMapiAvailable() const {
    return mapi_ && mapi_->IsMAPIEnabled() ? 1 : 0;
}

DWORD CSonoscout::NextSearchTime(const SONOSCOUTPROPERTIES& s, time_t now, bool atStartUp) {
    switch (s.nFrequency) {
        case 0:
            return ClampTime(int64_t(now) + kYear);
        case 1: {
            // A shorter interval (0 from a damaged record) would search on every poll. The
            // packed field is copied first: std::max must not take a reference to it.
            const DWORD interval = s.dwIntervalSeconds;
            return ClampTime(int64_t(now) + std::max<DWORD>(interval, kMinInterval));
        }
        case 2:
            return ClampTime(int64_t(now) + (atStartUp ? 30 : kYear));
        case 24: {
            const int mask = s.wDays & 0x7F;
            if (mask == 0 || s.dwTimeOfDay >= 24 * 3600)
                return ClampTime(int64_t(now) + kYear);
            tm local{};
            localtime_r(&now, &local);
            for (int days = 0; days <= 7; ++days) {
                const int weekday = (local.tm_wday + days) % 7;
                if (!(mask & (1 << weekday)))
                    continue;
                const time_t at = LocalDayAt(now, days, s.dwTimeOfDay);
                if (at > now)
                    return ClampTime(at);
            }
            return ClampTime(int64_t(now) + kYear);
        }
        default:
            // A code the page cannot set is treated as "User Initiated" rather than as
            // due at once, which would search on every poll.
            return ClampTime(int64_t(now) + kYear);
    }
}

void CSonoscout::SetNextSearchTime(int atStartUp) {
    settings_->dwNextSearchTime = NextSearchTime(*settings_, clock_(), atStartUp != 0);
}

void CSonoscout::DecideToSearch() {
    const time_t now = clock_();
    if (settings_->bChanged) {
        settings_->bChanged = 0;
        SetNextSearchTime(0);
    }
    if (int64_t(now) < int64_t(settings_->dwNextSearchTime))
        return;
    settings_->dwLastSearchTime = ClampTime(now);
    Trace("Sonoscout: Starting a search for files.\n");
    BeginSearch(1, 1, nullptr, true);
}

void CSonoscout::BeginSearch(int wave, int midi, const BOOL* drives, bool background) {
    if (searching_ || engine_)
        return;
    SetNextSearchTime(0);
    engine_ = std::make_unique<CSoundSearchEngine>();
    searching_ = true;
    keepOldList_ = false;
    if (!drives) {
        wave = settings_->bFindWAV;
        midi = settings_->bFindMIDI;
        drives = settings_->bDrive;
    }
    const bool started = engine_->DoSearch(
        drives, midi, wave, [this](const SOUNDSTRUCT* record, uintptr_t) { SearchUpdate(record); },
        0, background);
    if (!started) {
        // Nothing will ever report the end: the search simply did not happen.
        engine_.reset();
        searching_ = false;
        return;
    }
    PostMessage(parent_, WM_BAR_SONOSCOUTSTATE, 1, 1);
    if (drawer_) {
        drawer_->StartSearchAnimation();
        drawer_->UpdateToolBar();
    }
}

void CSonoscout::StopSearch(int keepOldList) {
    if (!engine_)
        return;
    keepOldList_ = keepOldList != 0;
    engine_->StopSearch();
}

void CSonoscout::SearchUpdate(const SOUNDSTRUCT* record) {
    if (record)
        return;
    // The end of the search, on the worker: everything else happens on the controller's
    // own thread, which owns the drawer and may retire the engine.
    QMetaObject::invokeMethod(
        this, [this] { FinishSearch(); }, Qt::QueuedConnection);
}

void CSonoscout::FinishSearch() {
    if (!engine_)
        return;
    engine_->WaitForWorker(20000);
    if (!keepOldList_) {
        // The drawer lets go of the data file before it is replaced, and lists the new one.
        if (drawer_)
            drawer_->PrepareToUpdateList();
        if (!PublishSearchFile(engine_->GetSearchFilename(), dataFile_))
            Trace("Search Update WARNING: failed to copy files!\n");
        if (drawer_) {
            drawer_->UpdateList();
            drawer_->StopSearchAnimation();
        }
    }
    searching_ = false;
    if (drawer_)
        drawer_->UpdateToolBar();
    SetNextSearchTime(0);
    PostMessage(parent_, WM_BAR_SONOSCOUTSTATE, 0, 0);
    engine_.reset();
}

bool CSonoscout::WaitForSearch(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (engine_ && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return !engine_;
}
