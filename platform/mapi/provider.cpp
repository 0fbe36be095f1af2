// libtdmapi.so: the system's Simple MAPI provider. Each log-on opens a session on the
// store the account names (IMAP + SMTP, or the local Maildir); every call on a session
// holds that session's lock. Buffers handed out (messages read, recipients resolved) are
// released with MAPIFreeBuffer and nothing else.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/mailaccount.h"
#include "platform/mapi.h"
#include "platform/mapi/addressbook.h"
#include "platform/mapi/mime.h"
#include "platform/mapi/store.h"
#include "platform/tempfile.h"
#include "platform/trace.h"

#define TDMAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Session {
    std::mutex lock;
    MailAccount account;
    std::unique_ptr<MailStore> store;
    std::string lastError;
};

std::mutex g_sessionsLock;
std::map<LHANDLE, std::shared_ptr<Session>> g_sessions;
LHANDLE g_nextSession = 1;
TDMAPIPROMPT g_prompt = nullptr;
TDMAPIADDRESSDIALOG g_addressDialog = nullptr;
TDMAPIDETAILSDIALOG g_detailsDialog = nullptr;

std::shared_ptr<Session> Find(LHANDLE handle) {
    std::lock_guard guard(g_sessionsLock);
    const auto it = g_sessions.find(handle);
    return it == g_sessions.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------
// Buffers: each one owns its strings and arrays; the pointer handed out is the key.

struct Buffer {
    std::vector<std::unique_ptr<char[]>> strings;
    std::vector<MapiRecipDesc> recips;
    std::vector<MapiFileDesc> files;
    MapiRecipDesc originator{};
    MapiMessage message{};

    char* Keep(const QByteArray& text) {
        auto copy = std::make_unique<char[]>(static_cast<size_t>(text.size()) + 1);
        std::memcpy(copy.get(), text.constData(), static_cast<size_t>(text.size()));
        copy[static_cast<size_t>(text.size())] = '\0';
        strings.push_back(std::move(copy));
        return strings.back().get();
    }
    char* Keep(const QString& text) { return Keep(text.toUtf8()); }
};

std::mutex g_buffersLock;
std::map<void*, std::unique_ptr<Buffer>> g_buffers;

void* Hand(std::unique_ptr<Buffer> buffer, void* pointer) {
    std::lock_guard guard(g_buffersLock);
    g_buffers[pointer] = std::move(buffer);
    return pointer;
}

QString Text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

MapiRecipDesc Recip(Buffer& b, ULONG kind, const QString& name, const QString& address) {
    MapiRecipDesc r{};
    r.ulRecipClass = kind;
    r.lpszName = b.Keep(name.isEmpty() ? address : name);
    r.lpszAddress = b.Keep(address.isEmpty() ? QString() : QStringLiteral("SMTP:") + address);
    return r;
}

ULONG Fail(Session& s, ULONG code, const QString& why) {
    s.lastError = why.toStdString();
    Trace(QStringLiteral("mail: %1\n").arg(why));
    return code;
}

// The extension of an attachment's own name, kept when it is plain and short.
QString SafeExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || name.size() - dot > 9)
        return QString();
    const QString ext = name.mid(dot + 1);
    for (QChar c : ext)
        if (!c.isLetterOrNumber() || c.unicode() >= 0x80)
            return QString();
    return ext.isEmpty() ? QString() : u'.' + ext;
}

// The mail of a MapiMessage: sender, recipients (the envelope gets every address the
// message goes to), texts and the attached files read whole. SUCCESS_SUCCESS or the
// failure, with the session's last error set.
ULONG Compose(Session& s, const MapiMessage& message, OutgoingMail& mail, QStringList& envelope) {
    mail.from.address = SenderAddress(s.account);
    mail.from.name = mail.from.address;
    mail.subject = Text(message.lpszSubject);
    mail.noteText = Text(message.lpszNoteText);
    mail.messageType = Text(message.lpszMessageType);
    mail.receipt = (message.flFlags & MAPI_RECEIPT_REQUESTED) != 0;
    for (ULONG i = 0; message.lpRecips && i < message.nRecipCount; ++i) {
        const MapiRecipDesc& r = message.lpRecips[i];
        MailAddress a;
        a.name = Text(r.lpszName);
        a.address = CleanAddress(r.lpszAddress ? Text(r.lpszAddress) : a.name);
        if (!IsPlainAddress(a.address))
            return Fail(s, MAPI_E_UNKNOWN_RECIPIENT,
                        QStringLiteral("\"%1\" is not a mail address").arg(OneLine(a.address)));
        if (r.ulRecipClass == MAPI_TO)
            mail.to.push_back(a);
        else if (r.ulRecipClass == MAPI_CC)
            mail.cc.push_back(a);
        else if (r.ulRecipClass != MAPI_BCC)
            continue;
        envelope << a.address;
    }
    qint64 total = 0;
    for (ULONG i = 0; message.lpFiles && i < message.nFileCount; ++i) {
        const MapiFileDesc& f = message.lpFiles[i];
        const QString path = Text(f.lpszPathName);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return Fail(s, MAPI_E_ATTACHMENT_OPEN_FAILURE,
                        QStringLiteral("cannot read the attachment %1").arg(path));
        total += file.size();
        if (total > kMaxMailBytes / 2)
            return Fail(s, MAPI_E_ATTACHMENT_OPEN_FAILURE,
                        QStringLiteral("the attachments are too large"));
        MailAttachment a;
        a.name =
            f.lpszFileName && *f.lpszFileName ? Text(f.lpszFileName) : QFileInfo(path).fileName();
        a.bytes = file.readAll();
        if (a.bytes.size() != file.size())
            return Fail(s, MAPI_E_ATTACHMENT_OPEN_FAILURE,
                        QStringLiteral("cannot read the attachment %1").arg(path));
        mail.attachments.push_back(std::move(a));
    }
    return SUCCESS_SUCCESS;
}

// The login name an address stands for on this machine, or "" when it is not local:
// "name", "name@localhost" or "name@" this host.
QString LocalLogin(const QString& address) {
    const qsizetype at = address.indexOf(u'@');
    if (at < 0)
        return address;
    const QString host = address.mid(at + 1).toLower();
    char own[256] = {};
    ::gethostname(own, sizeof own - 1);
    if (host == QStringLiteral("localhost") || host == QStringLiteral("localhost.localdomain") ||
        host == QString::fromLocal8Bit(own).toLower())
        return address.left(at);
    return QString();
}

std::optional<QString> AttachmentFolder() {
    const auto tmp = PrivateTempDirectory();
    if (!tmp)
        return std::nullopt;
    const QString dir = *tmp + QStringLiteral("/mail");
    if (!EnsurePrivateDirectory(dir))
        return std::nullopt;
    return dir;
}

}  // namespace

// ---------------------------------------------------------------------------------------

TDMAPI_EXPORT ULONG MAPILogon(ULONG_PTR, const char*, const char* password, FLAGS flags, ULONG,
                              LHANDLE* handle) {
    if (!handle)
        return MAPI_E_FAILURE;
    *handle = 0;
    auto session = std::make_shared<Session>();
    session->account = LoadMailAccount();
    QString error;
    if (session->account.store == MailStoreKind::Imap) {
        QByteArray secret = password && *password ? QByteArray(password) : QByteArray();
        bool remember = false;
        if (secret.isEmpty())
            secret = ReadMailPassword().value_or(QByteArray());
        if (secret.isEmpty() && (flags & MAPI_LOGON_UI) && g_prompt) {
            char buffer[256] = {};
            int keep = 0;
            const QByteArray who =
                session->account.user.toUtf8() + " on " + session->account.imapUrl.toUtf8();
            if (!g_prompt(who.constData(), buffer, sizeof buffer, &keep))
                return MAPI_USER_ABORT;
            secret = QByteArray(buffer, static_cast<qsizetype>(strnlen(buffer, sizeof buffer)));
            std::memset(buffer, 0, sizeof buffer);
            remember = keep != 0;
        }
        session->store = MakeImapStore(session->account, secret);
        if (!session->store->Open(error)) {
            Trace(QStringLiteral("mail: log-on failed: %1\n").arg(error));
            return MAPI_E_LOGIN_FAILURE;
        }
        if (remember)
            WriteMailPassword(secret);
        secret.fill('\0');
    } else {
        session->store = MakeMaildirStore(OwnMaildir());
        if (!session->store->Open(error)) {
            Trace(QStringLiteral("mail: log-on failed: %1\n").arg(error));
            return MAPI_E_LOGIN_FAILURE;
        }
    }
    std::lock_guard guard(g_sessionsLock);
    *handle = g_nextSession++;
    g_sessions[*handle] = std::move(session);
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPILogoff(LHANDLE handle, ULONG_PTR, FLAGS, ULONG) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard guard(g_sessionsLock);
        const auto it = g_sessions.find(handle);
        if (it == g_sessions.end())
            return MAPI_E_INVALID_SESSION;
        session = std::move(it->second);
        g_sessions.erase(it);
    }
    // Wait for a call still running on it.
    std::lock_guard guard(session->lock);
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPISendMail(LHANDLE handle, ULONG_PTR, MapiMessage* message, FLAGS, ULONG) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    std::lock_guard guard(session->lock);
    session->lastError.clear();
    if (!message)
        return Fail(*session, MAPI_E_INVALID_MESSAGE, QStringLiteral("no message"));
    OutgoingMail mail;
    QStringList envelope;
    if (const ULONG rc = Compose(*session, *message, mail, envelope); rc != SUCCESS_SUCCESS)
        return rc;
    if (envelope.isEmpty())
        return Fail(*session, MAPI_E_INVALID_RECIPS, QStringLiteral("no recipients"));
    const QByteArray raw = BuildMail(mail, std::time(nullptr));
    QStringList failed;
    QString error;
    const bool sent = session->store->Send(mail.from.address, envelope, raw, failed, error);
    // The recipients reached go to the address book of recent recipients.
    std::vector<MailAddress> reached;
    for (const auto* list : {&mail.to, &mail.cc})
        for (const MailAddress& a : *list)
            if (!failed.contains(a.address))
                reached.push_back(a);
    RememberRecipients(reached);
    if (!sent)
        return Fail(
            *session, failed.isEmpty() ? MAPI_E_FAILURE : MAPI_E_UNKNOWN_RECIPIENT,
            failed.isEmpty()
                ? error
                : QStringLiteral("could not send to: %1").arg(failed.join(QStringLiteral(", "))));
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPIFindNext(LHANDLE handle, ULONG_PTR, const char* messageType,
                                 const char* seedId, FLAGS flags, ULONG, char* messageId) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!messageId)
        return MAPI_E_FAILURE;
    std::lock_guard guard(session->lock);
    session->lastError.clear();
    std::vector<QByteArray> ids;
    QString error;
    if (!session->store->List((flags & MAPI_UNREAD_ONLY) != 0, ids, error))
        return Fail(*session, MAPI_E_FAILURE, error);
    const QByteArray seed = seedId ? QByteArray(seedId) : QByteArray();
    const QString type = Text(messageType);
    for (const QByteArray& id : ids) {
        if (!seed.isEmpty() && !(id > seed))
            continue;
        if (id.size() >= static_cast<qsizetype>(kMapiMessageIdSize))
            continue;
        if (!type.isEmpty()) {
            FetchedMail fetched;
            if (!session->store->Fetch(id, false, fetched, error))
                continue;
            const auto parsed = ParseMail(fetched.raw, kMaxMailBytes);
            if (!parsed || parsed->messageType != type)
                continue;
        }
        std::memcpy(messageId, id.constData(), static_cast<size_t>(id.size()) + 1);
        return SUCCESS_SUCCESS;
    }
    return MAPI_E_NO_MESSAGES;
}

TDMAPI_EXPORT ULONG MAPIReadMail(LHANDLE handle, ULONG_PTR, const char* messageId, FLAGS flags,
                                 ULONG, MapiMessage** out) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!messageId || !out)
        return MAPI_E_FAILURE;
    *out = nullptr;
    std::lock_guard guard(session->lock);
    session->lastError.clear();
    FetchedMail fetched;
    QString error;
    if (!session->store->Fetch(QByteArray(messageId), (flags & MAPI_PEEK) == 0, fetched, error))
        return Fail(*session, MAPI_E_INVALID_MESSAGE, error);
    const auto parsed = ParseMail(fetched.raw, kMaxMailBytes);
    if (!parsed)
        return Fail(*session, MAPI_E_INVALID_MESSAGE, QStringLiteral("the message is too large"));

    auto buffer = std::make_unique<Buffer>();
    Buffer& b = *buffer;
    MapiMessage& m = b.message;
    m.lpszSubject = b.Keep(parsed->subject);
    m.lpszMessageType = b.Keep(parsed->messageType);
    m.lpszDateReceived = b.Keep(FormatReceived(fetched.received));
    m.flFlags = (fetched.seen ? 0 : MAPI_UNREAD) | (parsed->receipt ? MAPI_RECEIPT_REQUESTED : 0);
    b.originator = Recip(b, MAPI_ORIG, parsed->from.name, parsed->from.address);
    m.lpOriginator = &b.originator;
    if (flags & MAPI_ENVELOPE_ONLY) {
        m.lpszNoteText = nullptr;
    } else {
        m.lpszNoteText = b.Keep(parsed->noteText);
    }
    for (const auto& [list, kind] : {std::pair{&parsed->to, MAPI_TO}, {&parsed->cc, MAPI_CC}})
        for (const MailAddress& a : *list)
            b.recips.push_back(Recip(b, kind, a.name, a.address));
    m.nRecipCount = static_cast<ULONG>(b.recips.size());
    m.lpRecips = b.recips.empty() ? nullptr : b.recips.data();
    if (!(flags & (MAPI_ENVELOPE_ONLY | MAPI_SUPPRESS_ATTACH)) && !parsed->attachments.empty()) {
        const auto folder = AttachmentFolder();
        if (!folder)
            return Fail(*session, MAPI_E_ATTACHMENT_WRITE_FAILURE,
                        QStringLiteral("no private folder for attachments"));
        std::vector<QString> written;
        for (const MailAttachment& a : parsed->attachments) {
            const auto path =
                CreateUniqueFile(*folder, QStringLiteral("MA"), SafeExtension(a.name), 260);
            QFile f(path.value_or(QString()));
            if (!path || !f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                f.write(a.bytes) != a.bytes.size() || !f.flush()) {
                if (path)
                    QFile::remove(*path);
                for (const QString& p : written)
                    QFile::remove(p);
                return Fail(*session, MAPI_E_ATTACHMENT_WRITE_FAILURE,
                            QStringLiteral("cannot save an attachment"));
            }
            written.push_back(*path);
            MapiFileDesc d{};
            d.nPosition = ULONG(-1);
            d.lpszPathName = b.Keep(QFile::encodeName(*path));
            d.lpszFileName = b.Keep(a.name);
            b.files.push_back(d);
        }
        m.nFileCount = static_cast<ULONG>(b.files.size());
        m.lpFiles = b.files.data();
    }
    *out = static_cast<MapiMessage*>(Hand(std::move(buffer), &m));
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPISaveMail(LHANDLE handle, ULONG_PTR, MapiMessage* message, FLAGS, ULONG,
                                 char* messageId) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!message || !messageId)
        return MAPI_E_INVALID_MESSAGE;
    std::lock_guard guard(session->lock);
    session->lastError.clear();
    const std::size_t length = strnlen(messageId, kMapiMessageIdSize);
    if (length == kMapiMessageIdSize)
        return Fail(*session, MAPI_E_INVALID_MESSAGE, QStringLiteral("the message id is too long"));
    // A message named by its id is replaced: it must exist, and it goes only once the new
    // one is stored.
    const QByteArray old(messageId, qsizetype(length));
    QString error;
    if (!old.isEmpty()) {
        std::vector<QByteArray> ids;
        if (!session->store->List(false, ids, error))
            return Fail(*session, MAPI_E_FAILURE, error);
        if (std::find(ids.begin(), ids.end(), old) == ids.end())
            return Fail(*session, MAPI_E_INVALID_MESSAGE,
                        QStringLiteral("no message %1").arg(QString::fromLatin1(old)));
    }
    OutgoingMail mail;
    QStringList envelope;
    if (const ULONG rc = Compose(*session, *message, mail, envelope); rc != SUCCESS_SUCCESS)
        return rc;
    if (const MapiRecipDesc* o = message->lpOriginator) {
        const QString address = CleanAddress(Text(o->lpszAddress));
        if (IsPlainAddress(address))
            mail.from = {Text(o->lpszName).isEmpty() ? address : Text(o->lpszName), address};
    }
    std::time_t when = std::time(nullptr);
    if (message->lpszDateReceived) {
        const QDateTime t = QDateTime::fromString(QString::fromLatin1(message->lpszDateReceived),
                                                  QStringLiteral("yyyy/MM/dd HH:mm"));
        if (t.isValid())
            when = t.toSecsSinceEpoch();
    }
    QByteArray id;
    if (!session->store->Save(BuildMail(mail, when), (message->flFlags & MAPI_UNREAD) == 0, when,
                              id, error))
        return Fail(*session, MAPI_E_FAILURE, error);
    QString ignored;
    if (id.size() >= qsizetype(kMapiMessageIdSize)) {
        session->store->Delete(id, ignored);
        return Fail(*session, MAPI_E_FAILURE, QStringLiteral("the store's message id is too long"));
    }
    if (!old.isEmpty() && !session->store->Delete(old, error)) {
        // Both would be left: take the new one back, so the store is as it was.
        session->store->Delete(id, ignored);
        return Fail(*session, MAPI_E_FAILURE, error);
    }
    std::memcpy(messageId, id.constData(), std::size_t(id.size()) + 1);
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPIDeleteMail(LHANDLE handle, ULONG_PTR, const char* messageId, FLAGS, ULONG) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!messageId)
        return MAPI_E_INVALID_MESSAGE;
    std::lock_guard guard(session->lock);
    session->lastError.clear();
    QString error;
    if (!session->store->Delete(QByteArray(messageId), error))
        return Fail(*session, MAPI_E_INVALID_MESSAGE, error);
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPIFreeBuffer(void* pointer) {
    if (!pointer)
        return SUCCESS_SUCCESS;
    std::unique_ptr<Buffer> buffer;
    {
        std::lock_guard guard(g_buffersLock);
        const auto it = g_buffers.find(pointer);
        if (it == g_buffers.end())
            return MAPI_E_FAILURE;  // not ours: never freed
        buffer = std::move(it->second);
        g_buffers.erase(it);
    }
    return SUCCESS_SUCCESS;
}

namespace {

// Recipients as an array in a buffer of their own.
MapiRecipDesc* HandRecips(const std::vector<std::pair<ULONG, MailAddress>>& list) {
    auto buffer = std::make_unique<Buffer>();
    for (const auto& [kind, a] : list)
        buffer->recips.push_back(Recip(*buffer, kind, a.name, a.address));
    if (buffer->recips.empty())
        return nullptr;
    MapiRecipDesc* first = buffer->recips.data();
    return static_cast<MapiRecipDesc*>(Hand(std::move(buffer), first));
}

QString ListText(const MapiRecipDesc* recips, ULONG count, ULONG kind) {
    QStringList parts;
    for (ULONG i = 0; recips && i < count; ++i)
        if (recips[i].ulRecipClass == kind) {
            const QString address = CleanAddress(Text(recips[i].lpszAddress));
            parts << (address.isEmpty() ? Text(recips[i].lpszName) : address);
        }
    return parts.join(QStringLiteral("; "));
}

// "a; b, c" as resolved recipients; false with the first name that does not resolve.
bool ResolveList(const QString& text, ULONG kind, std::vector<std::pair<ULONG, MailAddress>>& out,
                 QString& bad) {
    for (QString item : text.split(QRegularExpression(QStringLiteral("[;,]")))) {
        item = item.trimmed();
        if (item.isEmpty())
            continue;
        const auto found = ResolveRecipient(item);
        if (found.size() != 1) {
            bad = item;
            return false;
        }
        out.emplace_back(kind, found.front());
    }
    return true;
}

}  // namespace

TDMAPI_EXPORT ULONG MAPIAddress(LHANDLE handle, ULONG_PTR, const char* caption, ULONG, const char*,
                                ULONG recipCount, MapiRecipDesc* recips, FLAGS, ULONG,
                                ULONG* newCount, MapiRecipDesc** newRecips) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!newCount || !newRecips)
        return MAPI_E_FAILURE;
    *newCount = 0;
    *newRecips = nullptr;
    QString to = ListText(recips, recipCount, MAPI_TO);
    QString cc = ListText(recips, recipCount, MAPI_CC);
    if (g_addressDialog) {
        std::vector<char> toOut(4096), ccOut(4096);
        if (!g_addressDialog(caption ? caption : "", to.toUtf8().constData(),
                             cc.toUtf8().constData(), toOut.data(), ccOut.data(),
                             static_cast<ULONG>(toOut.size())))
            return MAPI_USER_ABORT;
        toOut.back() = ccOut.back() = '\0';
        to = QString::fromUtf8(toOut.data());
        cc = QString::fromUtf8(ccOut.data());
    } else if (to.isEmpty() && cc.isEmpty()) {
        return MAPI_E_NOT_SUPPORTED;  // nobody to show a dialog and nothing to confirm
    }
    std::vector<std::pair<ULONG, MailAddress>> list;
    QString bad;
    std::lock_guard guard(session->lock);
    if (!ResolveList(to, MAPI_TO, list, bad) || !ResolveList(cc, MAPI_CC, list, bad))
        return Fail(*session, MAPI_E_UNKNOWN_RECIPIENT,
                    QStringLiteral("\"%1\" is not a known recipient").arg(bad));
    if (list.empty())
        return MAPI_E_INVALID_RECIPS;
    *newCount = static_cast<ULONG>(list.size());
    *newRecips = HandRecips(list);
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPIDetails(LHANDLE handle, ULONG_PTR, MapiRecipDesc* recip, FLAGS flags,
                                ULONG) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!g_detailsDialog)
        return MAPI_E_NOT_SUPPORTED;
    if (!recip)
        return MAPI_E_INVALID_RECIPS;
    // The recipient: its address when it has one, else what its name resolves to.
    MailAddress who;
    const QString address = CleanAddress(Text(recip->lpszAddress));
    if (address.isEmpty()) {
        const auto found = ResolveRecipient(Text(recip->lpszName));
        if (found.size() > 1)
            return MAPI_E_AMBIGUOUS_RECIPIENT;
        if (found.empty())
            return MAPI_E_INVALID_RECIPS;
        who = found.front();
    } else {
        if (!IsPlainAddress(address))
            return MAPI_E_INVALID_RECIPS;
        who = {Text(recip->lpszName), address};
    }
    bool inBook = false;
    for (const MailAddress& a : LoadAddressBook())
        if (a.address.compare(who.address, Qt::CaseInsensitive) == 0) {
            inBook = true;
            if (who.name.isEmpty() || who.name == who.address)
                who.name = a.name;
        }
    if (who.name.isEmpty())
        who.name = who.address;
    QString about;
    if (session->account.store == MailStoreKind::Maildir) {
        const QString login = LocalLogin(who.address);
        about = !login.isEmpty() && !LocalUserMaildir(login).isEmpty()
                    ? QStringLiteral("A user of this computer: delivered into their mail folder.")
                    : QStringLiteral("Not a user of this computer: local mail cannot reach it.");
    } else {
        about = QStringLiteral("Internet mail, sent through %1.")
                    .arg(QUrl(session->account.smtpUrl).host());
    }
    about += inBook ? QStringLiteral("\nIn your list of recent recipients.")
                    : QStringLiteral("\nNot in your list of recent recipients.");
    // Only a name of our own list can be changed.
    const int modify = inBook && !(flags & MAPI_AB_NOMODIFY) ? 1 : 0;
    std::vector<char> name(256);
    if (!g_detailsDialog(who.name.toUtf8().constData(), who.address.toUtf8().constData(),
                         about.toUtf8().constData(), modify, name.data(), ULONG(name.size())))
        return MAPI_USER_ABORT;
    name.back() = '\0';
    const QString renamed = OneLine(QString::fromUtf8(name.data())).remove(u'\t').trimmed();
    if (modify && !renamed.isEmpty() && renamed != who.name &&
        !RenameRecipient(who.address, renamed)) {
        std::lock_guard guard(session->lock);
        return Fail(*session, MAPI_E_FAILURE, QStringLiteral("cannot change the address list"));
    }
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT ULONG MAPIResolveName(LHANDLE handle, ULONG_PTR, const char* name, FLAGS, ULONG,
                                    MapiRecipDesc** out) {
    const auto session = Find(handle);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    if (!name || !out)
        return MAPI_E_FAILURE;
    *out = nullptr;
    const auto found = ResolveRecipient(QString::fromUtf8(name));
    if (found.empty())
        return MAPI_E_UNKNOWN_RECIPIENT;
    if (found.size() > 1)
        return MAPI_E_AMBIGUOUS_RECIPIENT;
    *out = HandRecips({{MAPI_TO, found.front()}});
    return SUCCESS_SUCCESS;
}

TDMAPI_EXPORT const char* TdMapiLastError(LHANDLE handle) {
    const auto session = Find(handle);
    if (!session)
        return "";
    std::lock_guard guard(session->lock);
    // Kept in a per-thread copy so that the text outlives the lock.
    thread_local std::string copy;
    copy = session->lastError;
    return copy.c_str();
}

TDMAPI_EXPORT void TdMapiSetPrompt(TDMAPIPROMPT prompt) {
    g_prompt = prompt;
}

TDMAPI_EXPORT void TdMapiSetAddressDialog(TDMAPIADDRESSDIALOG dialog) {
    g_addressDialog = dialog;
}

TDMAPI_EXPORT void TdMapiSetDetailsDialog(TDMAPIDETAILSDIALOG dialog) {
    g_detailsDialog = dialog;
}

TDMAPI_EXPORT ULONG MAPISendDocuments(ULONG_PTR ui, const char* delimiter, const char* paths,
                                      const char* names, ULONG) {
    // The files named (and the names they travel under, when given) go in one message
    // to the recipients the address dialog gives, over a session of its own.
    const QChar separator = delimiter && *delimiter ? QChar::fromLatin1(*delimiter) : QChar(u';');
    const QStringList files = Text(paths).split(separator, Qt::SkipEmptyParts);
    const QStringList titles = names && *names ? Text(names).split(separator) : QStringList();
    std::vector<QByteArray> keep;
    std::vector<MapiFileDesc> attached;
    QStringList shown;
    keep.reserve(2 * std::size_t(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QFileInfo info(files[i]);
        if (!info.isFile() || !info.isReadable()) {
            Trace(QStringLiteral("mail: cannot read the document %1\n").arg(files[i]));
            return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        }
        const QString title = i < titles.size() && !titles[i].trimmed().isEmpty()
                                  ? titles[i].trimmed()
                                  : info.fileName();
        shown << title;
        MapiFileDesc d{};
        d.nPosition = ULONG(-1);
        keep.push_back(QFile::encodeName(files[i]));
        d.lpszPathName = keep.back().data();
        keep.push_back(title.toUtf8());
        d.lpszFileName = keep.back().data();
        attached.push_back(d);
    }
    if (!g_addressDialog)
        return MAPI_E_NOT_SUPPORTED;
    LHANDLE session = 0;
    ULONG rc = MAPILogon(ui, nullptr, nullptr, MAPI_LOGON_UI, 0, &session);
    if (rc != SUCCESS_SUCCESS)
        return rc;
    ULONG count = 0;
    MapiRecipDesc* recips = nullptr;
    rc = MAPIAddress(session, ui, "Send Documents", 2, nullptr, 0, nullptr, 0, 0, &count, &recips);
    if (rc == SUCCESS_SUCCESS) {
        const QByteArray subject = shown.join(QStringLiteral(", ")).toUtf8();
        const QByteArray note =
            QStringLiteral("Attached: %1\n").arg(shown.join(QStringLiteral(", "))).toUtf8();
        MapiMessage m{};
        m.lpszSubject = const_cast<char*>(subject.constData());
        m.lpszNoteText = const_cast<char*>(note.constData());
        m.nRecipCount = count;
        m.lpRecips = recips;
        m.nFileCount = ULONG(attached.size());
        m.lpFiles = attached.empty() ? nullptr : attached.data();
        rc = MAPISendMail(session, ui, &m, 0, 0);
    }
    MAPIFreeBuffer(recips);
    MAPILogoff(session, ui, 0, 0);
    return rc;
}
