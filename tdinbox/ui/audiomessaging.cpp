#include "tdinbox/ui/audiomessaging.h"

#include <QDir>
#include <QDirIterator>
#include <QMetaObject>
#include <QThread>

#include <cstring>

#include "platform/mailaccount.h"
#include "platform/message.h"
#include "tdinbox/ui/drawerinbox.h"
#include "tdinbox/ui/propertiesaudiomessaging.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"

namespace {}  // namespace

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

CDrawerInbox* CAudioMessaging::Drawer() const {
    return drawer_;
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
    drawer_ = new CDrawerInbox(this, bar);
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
    // Fetching from the mail system needs an enabled mail session.
    if (!mapi_ || !mapi_->IsMAPIEnabled())
        return;
    bool expected = false;
    if (!fetchRunning_.compare_exchange_strong(expected, true))
        return;
    if (fetchThread_) {
        fetchThread_->wait(1000);
        delete fetchThread_;
    }
    QString directory;
    if (!GetAudioMessagingDirectory(directory)) {
        fetchRunning_ = false;
        return;
    }
    // The messages property's first word: nonzero removes fetched voicegrams from the
    // mail system, zero (the default) leaves them there marked read.
    const bool deleteFromServer = messages_ && messages_->dwReserved0[0] != 0;
    fetchThread_ = QThread::create([this, directory, deleteFromServer] {
        const int stored = FetchNewVoicegrams(*mapi_, directory, deleteFromServer);
        if (stored > 0)
            QMetaObject::invokeMethod(
                this, [this] { CreateMailListThread(); }, Qt::QueuedConnection);
        fetchRunning_ = false;
    });
    fetchThread_->start(QThread::LowestPriority);
}

void CAudioMessaging::ApplyList(std::vector<VoicegramEntry> list) {
    int unheard = 0;
    for (const VoicegramEntry& e : list)
        unheard += e.heard ? 0 : 1;
    {
        std::lock_guard lock(listMutex_);
        list_ = std::move(list);
    }
    // New voicegrams light the bar's indicator unless the settings page turned it off.
    state_ = unheard > 0 && (!messages_ || InboxIndicatorWanted(*messages_)) ? 1 : 0;
    SendMessage(bar_, WM_BAR_INBOXSTATE, WPARAM(state_));
    if (drawer_)
        drawer_->Refresh();
}

std::vector<VoicegramEntry> CAudioMessaging::Voicegrams() const {
    std::lock_guard lock(listMutex_);
    return list_;
}

bool CAudioMessaging::WaitForThreads(int timeoutMs) {
    bool done = true;
    for (QThread** thread : {&fetchThread_, &listThread_}) {
        if (!*thread)
            continue;
        if ((*thread)->wait(timeoutMs)) {
            delete *thread;
            *thread = nullptr;
        } else {
            done = false;
        }
    }
    return done;
}

bool CAudioMessaging::Find(const QString& path, VoicegramEntry& out) const {
    std::lock_guard lock(listMutex_);
    for (const VoicegramEntry& e : list_)
        if (e.path == path) {
            out = e;
            return true;
        }
    return false;
}

void CAudioMessaging::Reread() {
    QString directory;
    if (GetAudioMessagingDirectory(directory))
        ApplyList(ReadVoicegramDirectory(directory));
}

int CAudioMessaging::PlayVoicegram(const QString& path) {
    VoicegramEntry e;
    if (!Find(path, e))
        return 0;
    PurgePlayList();
    AddToPlayList(path);
    PlayList(0);
    if (!e.heard)
        MarkVoicegramHeard(path, true);
    Reread();
    return 1;
}

bool CAudioMessaging::ToggleHeard(const QString& path) {
    VoicegramEntry e;
    if (!Find(path, e) || !MarkVoicegramHeard(path, !e.heard))
        return false;
    Reread();
    return true;
}

bool CAudioMessaging::DeleteEntry(const QString& path) {
    VoicegramEntry e;
    if (!Find(path, e))
        return false;
    QStringList playing;
    GetPlayIndexes(playing);
    if (playing.contains(path))
        StopList();
    const bool deleted = DeleteVoicegram(path);
    Reread();
    return deleted;
}

bool CAudioMessaging::Reply(const QString& path) {
    VoicegramEntry e;
    if (!Find(path, e))
        return false;
    const ReplyAddress reply = MakeReply(e, SenderAddress(LoadMailAccount()));
    if (replyHandler_)
        return replyHandler_(e, reply);
    // The bar opens the Send Voicegram drawer (or says it holds a recording), and hands
    // it over for the reply.
    if (!SendMessage(bar_, WM_BAR_OPENVOICEGRAM))
        return false;
    auto* drawer = reinterpret_cast<CSlidingDrawer*>(SendMessage(bar_, WM_BAR_GETVOICEGRAMDRAWER));
    if (!drawer)
        return false;
    int taken = 0;
    const bool invoked = QMetaObject::invokeMethod(
        drawer, "SetWAVFileForReply", Qt::DirectConnection, Q_RETURN_ARG(int, taken), Q_ARG(int, 1),
        Q_ARG(QString, path), Q_ARG(QString, reply.subject), Q_ARG(QString, reply.toName),
        Q_ARG(QString, reply.toAddress), Q_ARG(QStringList, reply.ccNames),
        Q_ARG(QStringList, reply.ccAddresses));
    return invoked && taken != 0;
}

QString CAudioMessaging::Forward(const QString& path, const QString& addresses) {
    VoicegramEntry e;
    if (!Find(path, e))
        return QStringLiteral("The voicegram is gone.");
    if (!mapi_ || !mapi_->IsMAPIEnabled())
        return QStringLiteral("Mail is not available.");
    std::vector<MailRecipient> to;
    for (const QString& a : addresses.split(u',', Qt::SkipEmptyParts))
        to.push_back({MAPI_TO, a.trimmed(), a.trimmed()});
    const VoicegramSendResult result = ForwardVoicegram(*mapi_, e, to);
    Reread();
    if (!result.sent)
        return QStringLiteral("Could not forward: %1").arg(result.error);
    return result.notice.isEmpty() ? QStringLiteral("Forwarded.") : result.notice;
}
