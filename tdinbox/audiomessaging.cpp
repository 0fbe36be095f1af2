#include "tdinbox/audiomessaging.h"

#include <QDir>
#include <QDirIterator>
#include <QMetaObject>
#include <QThread>

#include <cstring>

#include "platform/message.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"

namespace {

// Messages the inbox answers besides the play list's.
constexpr UINT kDescriptionBuffer = 256;

}  // namespace

CAudioMessaging::CAudioMessaging(QObject* bar, MAILPROPERTIES* mail, MESSAGEPROPERTIES* messages,
                                 CSimpleMapi* mapi)
    : CWndPlayList(bar), bar_(bar), mail_(mail), messages_(messages), mapi_(mapi) {
    // No drawer of its own holds the session open yet: the inbox never objects.
    OnMessage(WM_QUERYENDSESSION, [](WPARAM, LPARAM) { return LRESULT(1); });
    // A voicegram was queued for America Online: the list may have changed.
    OnMessage(WM_BAR_AOLMAILQUEUED, [this](WPARAM, LPARAM) {
        CreateMailListThread();
        return LRESULT(0);
    });
}

CAudioMessaging::~CAudioMessaging() {
    WaitForThreads(20000);
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
