#include "tdinbox/ui/audiomessaging.h"

#include <QDir>
#include <QDirIterator>
#include <QMetaObject>
#include <QThread>

#include <cstring>

#include "platform/message.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/framedrawer.h"

namespace {

constexpr UINT kDescriptionBuffer = 256;
constexpr UINT kInboxDrawerTemplate = 300;

}  // namespace

CAudioMessaging::CAudioMessaging(QObject* bar, MAILPROPERTIES* mail, MESSAGEPROPERTIES* messages,
                                 CSimpleMapi* mapi)
    : CWndPlayList(bar), bar_(bar), mail_(mail), messages_(messages), mapi_(mapi) {
    // The session may end unless the open drawer objects.
    OnMessage(WM_QUERYENDSESSION, [this](WPARAM, LPARAM) {
        return drawer_ ? SendMessage(drawer_, WM_QUERYENDSESSION) : LRESULT(1);
    });
    OnMessage(WM_BAR_DRAWERSOUND,
              [this](WPARAM, LPARAM) { return SendMessage(bar_, WM_BAR_DRAWERSOUND); });
    OnMessage(WM_BAR_INBOXCLOSED, [this](WPARAM, LPARAM) {
        if (drawer_)
            drawer_->deleteLater();
        drawer_ = nullptr;
        return SendMessage(bar_, WM_BAR_INBOXCLOSED);
    });
    // A voicegram was queued for America Online: the list may have changed.
    OnMessage(WM_BAR_AOLMAILQUEUED, [this](WPARAM, LPARAM) {
        CreateMailListThread();
        return LRESULT(0);
    });
}

CAudioMessaging::~CAudioMessaging() {
    delete drawer_;
    WaitForThreads(20000);
}

void CAudioMessaging::CreateDrawer(UINT edge, const QPoint& anchor, MESSAGEPROPERTIES*,
                                   RECORDPROPERTIES*, MAILPROPERTIES*, int, VOXPROPERTIES*,
                                   CMixMgr*, int toolTips, QWidget* bar) {
    if (drawer_)
        return;
    drawer_ = new CFrameDrawer(kInboxDrawerTemplate, QStringLiteral("Voicegram Box"),
                               QSize(460, 260), this, bar, WM_BAR_INBOXCLOSED);
    drawer_->Open(edge, anchor, toolTips);
}

void CAudioMessaging::DestroyDrawer() {
    if (drawer_)
        SendMessage(drawer_, WM_CLOSE);
}

void CAudioMessaging::EnableToolTips(int enable) {
    if (drawer_)
        drawer_->EnableToolTips(enable);
}

std::vector<VoicegramEntry> CAudioMessaging::ReadVoicegramDirectory(const QString& directory) {
    std::vector<VoicegramEntry> list;
    QDir dir(directory);
    const QStringList names = dir.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        WAVEFILETYPE type{};
        char description[kDescriptionBuffer] = {};
        DWORD seconds = 0;
        VOICEGRAMINFOSTRUCT info{};
        if (!GetInfoFromRIFFFile(path, type, description, kDescriptionBuffer, seconds, &info))
            continue;  // not a voicegram: no mail record
        VoicegramEntry entry;
        entry.path = path;
        entry.description =
            QString::fromLocal8Bit(description, strnlen(description, kDescriptionBuffer));
        entry.seconds = seconds;
        entry.heard = info.heard != 0;
        FreeVoicegramInfo(&info);
        list.push_back(std::move(entry));
    }
    return list;
}

void CAudioMessaging::CreateMailListThread() {
    bool expected = false;
    if (!listRunning_.compare_exchange_strong(expected, true))
        return;
    if (listThread_) {
        listThread_->wait(1000);
        delete listThread_;
    }
    QString directory;
    if (!GetAudioMessagingDirectory(directory)) {
        listRunning_ = false;
        return;
    }
    listThread_ = QThread::create([this, directory] {
        std::vector<VoicegramEntry> list = ReadVoicegramDirectory(directory);
        // Hand the list to the user-interface thread, which owns the state.
        QMetaObject::invokeMethod(
            this, [this, list = std::move(list)]() mutable { ApplyList(std::move(list)); },
            Qt::QueuedConnection);
        listRunning_ = false;
    });
    listThread_->start(QThread::LowestPriority);
}

void CAudioMessaging::FindVoicegramThread(int) {
    // Fetching from the mail system needs an enabled mail session; without one there is
    // nothing to look for.
    if (!mapi_ || !mapi_->IsMAPIEnabled())
        return;
}

void CAudioMessaging::ApplyList(std::vector<VoicegramEntry> list) {
    int unheard = 0;
    for (const VoicegramEntry& e : list)
        unheard += e.heard ? 0 : 1;
    {
        std::lock_guard lock(listMutex_);
        list_ = std::move(list);
    }
    state_ = unheard > 0 ? 1 : 0;
    SendMessage(bar_, WM_BAR_INBOXSTATE, WPARAM(state_));
}

std::vector<VoicegramEntry> CAudioMessaging::Voicegrams() const {
    std::lock_guard lock(listMutex_);
    return list_;
}

bool CAudioMessaging::WaitForThreads(int timeoutMs) {
    if (!listThread_)
        return true;
    const bool done = listThread_->wait(timeoutMs);
    if (done) {
        delete listThread_;
        listThread_ = nullptr;
    }
    return done;
}
