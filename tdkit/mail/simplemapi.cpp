#include "tdkit/mail/simplemapi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/notice.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "tdkit/mail/decode.h"
#include "tdkit/settings/paths.h"

namespace {

std::mutex g_noticeLock;
MailNoticeHandler g_notice;
std::atomic<TDMAPIPROMPT> g_logonDialog{nullptr};
std::atomic<TDMAPIADDRESSDIALOG> g_addressDialog{nullptr};
std::atomic<TDMAPIDETAILSDIALOG> g_detailsDialog{nullptr};

void Notice(const QString& text, const QString& caption = QString()) {
    MailNoticeHandler handler;
    {
        std::lock_guard guard(g_noticeLock);
        handler = g_notice;
    }
    if (handler)
        handler(text, caption);
    else
        ShowNotice(nullptr, caption, text,
                   caption.isEmpty() ? NoticeKind::Information : NoticeKind::Warning);
}

enum Entry {
    kLogon,
    kLogoff,
    kSendMail,
    kSendDocuments,
    kFindNext,
    kReadMail,
    kSaveMail,
    kDeleteMail,
    kFreeBuffer,
    kAddress,
    kDetails,
    kResolveName
};

// Copies text into a buffer of size bytes; false (and an empty buffer) when it does not
// fit.
bool CopyBounded(char* out, std::size_t size, const QByteArray& text) {
    if (!out || size == 0)
        return false;
    if (static_cast<std::size_t>(text.size()) >= size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, text.constData(), static_cast<std::size_t>(text.size()) + 1);
    return true;
}

char* NewString(const QString& text) {
    if (text.isEmpty())
        return nullptr;
    const QByteArray bytes = text.toUtf8();
    char* out = new char[static_cast<std::size_t>(bytes.size()) + 1];
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return out;
}

// A list of NUL-terminated strings ended by an empty one.
char* NewList(const QStringList& items) {
    QByteArray bytes;
    for (const QString& item : items)
        bytes += item.toUtf8() + '\0';
    bytes += '\0';
    char* out = new char[static_cast<std::size_t>(bytes.size())];
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return out;
}

QStringList ParseList(const char* list) {
    QStringList items;
    for (const char* p = list; p && *p; p += std::strlen(p) + 1)
        items << QString::fromUtf8(p);
    return items;
}

bool IsWavPath(const QString& path) {
    return path.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive);
}

bool HasWaveHeader(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(80);
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

QString StripSmtp(const char* address) {
    QString a = address ? QString::fromUtf8(address) : QString();
    if (a.startsWith(QStringLiteral("SMTP:"), Qt::CaseInsensitive))
        a = a.mid(5);
    return a;
}

// "YYYY/MM/DD HH:MM" as a local time; invalid when it does not read.
QDateTime ParseReceived(const char* text) {
    if (!text)
        return {};
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy/MM/dd HH:mm"));
}

}  // namespace

void MailNotice(const QString& text, const QString& caption) {
    Notice(text, caption);
}

void SetMailNoticeHandler(MailNoticeHandler handler) {
    std::lock_guard guard(g_noticeLock);
    g_notice = std::move(handler);
}

QString CSimpleMapi::ProviderName() {
    if (const auto key =
            RegKey::Open(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck\\Mail")))
        if (const auto name = key->QueryString(QStringLiteral("Provider"));
            name && !name->isEmpty())
            return *name;
    return QString::fromLatin1(kDefaultMailProvider);
}

void CSimpleMapi::SetDialogs(TDMAPIPROMPT logon, TDMAPIADDRESSDIALOG address,
                             TDMAPIDETAILSDIALOG details) {
    g_logonDialog = logon;
    g_addressDialog = address;
    g_detailsDialog = details;
}

int CSimpleMapi::IsMAPIEnabled() const {
    std::lock_guard guard(lock_);
    return enabled_ ? 1 : 0;
}

bool CSimpleMapi::Load() {
    if (!library_.Load(ProviderName()) || !IsMAPIInstalled()) {
        library_.Unload();
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        entries_[i] = library_.Resolve(kEntryPoints[i]);
        if (!entries_[i]) {
            library_.Unload();
            return false;
        }
    }
    lastError_ = reinterpret_cast<TDMAPILASTERROR>(library_.Resolve("TdMapiLastError"));
    if (auto set = reinterpret_cast<TDMAPISETPROMPT>(library_.Resolve("TdMapiSetPrompt")))
        set(g_logonDialog.load());
    if (auto set =
            reinterpret_cast<TDMAPISETADDRESSDIALOG>(library_.Resolve("TdMapiSetAddressDialog")))
        set(g_addressDialog.load());
    if (auto set =
            reinterpret_cast<TDMAPISETDETAILSDIALOG>(library_.Resolve("TdMapiSetDetailsDialog")))
        set(g_detailsDialog.load());
    return true;
}

bool CSimpleMapi::Logon(FLAGS flags) {
    LHANDLE session = 0;
    const ULONG rc =
        reinterpret_cast<MAPILOGON>(entries_[kLogon])(0, nullptr, nullptr, flags, 0, &session);
    if (rc != SUCCESS_SUCCESS) {
        session_ = 0;
        return false;
    }
    session_ = session;
    enabled_ = true;
    return true;
}

void CSimpleMapi::Start() {
    std::lock_guard guard(lock_);
    if (enabled_ || !Load())
        return;
    if (!Logon(MAPI_LOGON_UI)) {
        library_.Unload();
        Notice(QStringLiteral("MAPI Logon Failed"));
    }
}

bool CSimpleMapi::StartQuietly(QString* error) {
    std::lock_guard guard(lock_);
    if (enabled_)
        return true;
    if (!Load()) {
        if (error)
            *error =
                IsMAPIInstalled()
                    ? QStringLiteral("the mail provider %1 cannot be loaded").arg(ProviderName())
                    : QStringLiteral("mail is not set up on this machine");
        return false;
    }
    if (!Logon(0)) {
        library_.Unload();
        if (error)
            *error = QStringLiteral("mail log-on failed (server, user name or password)");
        return false;
    }
    return true;
}

void CSimpleMapi::End() {
    std::lock_guard guard(lock_);
    if (forward_ && entries_[kFreeBuffer])
        reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer])(forward_);
    forward_ = nullptr;
    forwardSeed_.clear();
    if (enabled_ && session_ && entries_[kLogoff])
        reinterpret_cast<MAPILOGOFF>(entries_[kLogoff])(session_, 0, 0, 0);
    session_ = 0;
    enabled_ = false;
    lastError_ = nullptr;
    std::fill(std::begin(entries_), std::end(entries_), nullptr);
    library_.Unload();
}

QString CSimpleMapi::LastErrorLocked() const {
    if (!lastFailure_.isEmpty())
        return lastFailure_;
    if (lastError_ && session_)
        return QString::fromUtf8(lastError_(session_));
    return QString();
}

QString CSimpleMapi::LastError() const {
    std::lock_guard guard(lock_);
    return LastErrorLocked();
}

bool CSimpleMapi::IsVoicegramSubject(const char* subject) {
    return subject && std::strncmp(subject, kVoicegramMarker, std::strlen(kVoicegramMarker)) == 0;
}

// ---------------------------------------------------------------------------------------
// Sending

int CSimpleMapi::Address(const char* caption, MapiRecipDesc** out, ULONG* outCount,
                         MapiRecipDesc* in, ULONG inCount) {
    LHANDLE session;
    MAPIADDRESS address;
    {
        std::lock_guard guard(lock_);
        if (!enabled_ || !out || !outCount)
            return 0;
        session = session_;
        address = reinterpret_cast<MAPIADDRESS>(entries_[kAddress]);
    }
    // The dialog runs outside the lock: the inbox's threads go on meanwhile.
    *out = nullptr;
    *outCount = 0;
    const ULONG rc =
        address(session, 0, caption, 2, nullptr, inCount, in, MAPI_LOGON_UI, 0, outCount, out);
    return rc == SUCCESS_SUCCESS ? 1 : 0;
}

int CSimpleMapi::SendMailLocked(const char* subject, const char* noteText, const char* messageType,
                                int receipt, MapiRecipDesc* recips, ULONG recipCount,
                                ULONG fileCount, MapiFileDesc* files, bool notify) {
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>(subject);
    message.lpszNoteText = const_cast<char*>(noteText);
    message.lpszMessageType = const_cast<char*>(messageType);
    message.flFlags = receipt ? MAPI_RECEIPT_REQUESTED : 0;
    message.nRecipCount = recipCount;
    message.lpRecips = recips;
    message.nFileCount = fileCount;
    message.lpFiles = files;
    lastFailure_.clear();
    const ULONG rc =
        reinterpret_cast<MAPISENDMAIL>(entries_[kSendMail])(session_, 0, &message, 0, 0);
    if (rc == SUCCESS_SUCCESS)
        return 1;
    if (notify) {
        const QString why = LastErrorLocked();
        Notice(why.isEmpty() ? QStringLiteral("Could not send Voicegram.")
                             : QStringLiteral("Could not send Voicegram.\n%1").arg(why),
               QStringLiteral("Mail Error"));
    }
    return 0;
}

int CSimpleMapi::SendMail(const char* subject, const char* noteText, const char* messageType,
                          int receipt, MapiRecipDesc* recips, ULONG recipCount, ULONG fileCount,
                          MapiFileDesc* files) {
    std::lock_guard guard(lock_);
    if (!enabled_)
        return 0;
    return SendMailLocked(subject, noteText, messageType, receipt, recips, recipCount, fileCount,
                          files, true);
}

int CSimpleMapi::SendVoicegramTo(const QString& file, const QString& attachName,
                                 const QString& subject, const QString& noteText, int receipt,
                                 const std::vector<MailRecipient>& recipients, int attach,
                                 QString* failed, bool notify) {
    std::lock_guard guard(lock_);
    if (!enabled_ || recipients.empty())
        return 0;
    std::vector<QByteArray> keep;
    keep.reserve(recipients.size() * 2 + 8);
    auto hold = [&keep](const QString& s) {
        keep.push_back(s.toUtf8());
        return keep.back().data();
    };
    std::vector<MapiRecipDesc> recips;
    for (const MailRecipient& r : recipients) {
        MapiRecipDesc d{};
        d.ulRecipClass = r.kind;
        d.lpszName = hold(r.name.isEmpty() ? r.address : r.name);
        d.lpszAddress = r.address.isEmpty() ? nullptr : hold(r.address);
        recips.push_back(d);
    }
    int result = 0;
    if (attach) {
        MapiFileDesc f{};
        f.nPosition = ULONG(-1);
        f.lpszPathName = hold(QString::fromLocal8Bit(QFile::encodeName(file)));
        f.lpszFileName = hold(attachName);
        result = SendMailLocked(hold(subject), hold(noteText), kVoicegramMarker, receipt,
                                recips.data(), static_cast<ULONG>(recips.size()), 1, &f, notify);
    } else {
        // The sound travels UU-encoded in the text; the caller's note is not sent.
        const auto text = CDecode::EncodeUUText(file, attachName);
        if (!text) {
            lastFailure_ = QStringLiteral("cannot read %1").arg(file);
            if (failed)
                *failed = lastFailure_;
            return 0;
        }
        result =
            SendMailLocked(hold(subject), text->c_str(), kVoicegramMarker, receipt, recips.data(),
                           static_cast<ULONG>(recips.size()), 0, nullptr, notify);
    }
    if (!result && failed)
        *failed = LastErrorLocked();
    return result;
}

int CSimpleMapi::SendVoicegram(const char* file, const char* attachName, const char* subject,
                               const char* noteText, int receipt, const char* toName,
                               const char* toAddress, const char* ccNames, const char* ccAddresses,
                               int attach) {
    if (!IsMAPIEnabled() || !file)
        return 0;
    // The recipients the dialog starts with: the reply's first recipient, then the cc
    // list with its addresses in step (a missing address list gives none).
    std::vector<QByteArray> keep;
    std::vector<MapiRecipDesc> prepared;
    const QStringList names = ParseList(ccNames);
    const QStringList addresses = ParseList(ccAddresses);
    keep.reserve(2 + 2 * static_cast<std::size_t>(names.size()));
    auto add = [&](ULONG kind, const QString& name, const QString* address) {
        MapiRecipDesc d{};
        d.ulRecipClass = kind;
        keep.push_back(name.toUtf8());
        d.lpszName = keep.back().data();
        if (address && !address->isEmpty()) {
            keep.push_back(address->toUtf8());
            d.lpszAddress = keep.back().data();
        }
        prepared.push_back(d);
    };
    if (toName && *toName) {
        const QString address = toAddress ? QString::fromUtf8(toAddress) : QString();
        add(MAPI_TO, QString::fromUtf8(toName), &address);
    }
    for (qsizetype i = 0; i < names.size(); ++i)
        add(MAPI_CC, names[i], i < addresses.size() ? &addresses[i] : nullptr);

    MapiRecipDesc* chosen = nullptr;
    ULONG count = 0;
    if (!Address("Address", &chosen, &count, prepared.empty() ? nullptr : prepared.data(),
                 static_cast<ULONG>(prepared.size())) ||
        !chosen || count == 0) {
        FreeBuffer(chosen);
        return 0;
    }
    std::vector<MailRecipient> recipients;
    for (ULONG i = 0; i < count; ++i)
        recipients.push_back({chosen[i].ulRecipClass, QString::fromUtf8(chosen[i].lpszName),
                              StripSmtp(chosen[i].lpszAddress)});
    FreeBuffer(chosen);
    return SendVoicegramTo(QString::fromLocal8Bit(file),
                           QString::fromUtf8(attachName ? attachName : kVoicegramAttachName),
                           QString::fromUtf8(subject ? subject : ""),
                           QString::fromUtf8(noteText ? noteText : ""), receipt, recipients,
                           attach);
}

// ---------------------------------------------------------------------------------------
// Receiving

int CSimpleMapi::FindMailLocked(const char* seedID, char* foundID, const char* messageType,
                                int unreadOnly) {
    char found[kMapiMessageIdSize + 1] = {};
    const ULONG rc = reinterpret_cast<MAPIFINDNEXT>(entries_[kFindNext])(
        session_, 0, messageType, seedID, unreadOnly ? MAPI_UNREAD_ONLY : 0, 0, found);
    if (rc != SUCCESS_SUCCESS)
        return 0;
    found[kMapiMessageIdSize] = '\0';
    std::memcpy(foundID, found, std::strlen(found) + 1);
    return 1;
}

int CSimpleMapi::FindMail(char* seedID, char* foundID, const char* messageType, int unreadOnly) {
    std::lock_guard guard(lock_);
    if (!enabled_ || !foundID)
        return 0;
    return FindMailLocked(seedID, foundID, messageType, unreadOnly);
}

int CSimpleMapi::Read(MapiMessage** msg, char* id, int peek, int withAttachments) {
    std::lock_guard guard(lock_);
    if (!enabled_ || !msg || !id)
        return 0;
    const FLAGS flags = (peek ? MAPI_PEEK : 0) | (withAttachments ? 0 : MAPI_SUPPRESS_ATTACH);
    return reinterpret_cast<MAPIREADMAIL>(entries_[kReadMail])(session_, 0, id, flags, 0, msg) ==
                   SUCCESS_SUCCESS
               ? 1
               : 0;
}

int CSimpleMapi::DeleteMail(const char* id) {
    std::lock_guard guard(lock_);
    if (!enabled_ || !id)
        return 0;
    return reinterpret_cast<MAPIDELETEMAIL>(entries_[kDeleteMail])(session_, 0, id, 0, 0) ==
                   SUCCESS_SUCCESS
               ? 1
               : 0;
}

int CSimpleMapi::MarkRead(const char* id) {
    MapiMessage* message = nullptr;
    // Reading without peek and without attachments marks it read.
    if (!Read(&message, const_cast<char*>(id), 0, 0))
        return 0;
    FreeBuffer(message);
    return 1;
}

void CSimpleMapi::FreeBuffer(void* buffer) {
    if (!buffer)
        return;
    std::lock_guard guard(lock_);
    if (entries_[kFreeBuffer])
        reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer])(buffer);
}

void CSimpleMapi::IncrementMessageID(char* id) {
    if (!id)
        return;
    std::size_t n = std::strlen(id);
    if (n == 0)
        return;  // nothing to continue from
    // Identifiers order as strings: the result sorts after every identifier that starts
    // with the given one. A first character that carries past '9' stays ':' (after every
    // digit) rather than wrapping round to an earlier identifier.
    for (;;) {
        ++id[n - 1];
        if (id[n - 1] != '9' + 1 || n == 1)
            return;
        id[--n] = '\0';
    }
}

bool CSimpleMapi::ReadVoicegramLocked(const QByteArray& id, ReceivedVoicegram& out, bool peek,
                                      bool withFiles, const QString& decodeDir) {
    MapiMessage* m = nullptr;
    const FLAGS flags = (peek ? MAPI_PEEK : 0) | (withFiles ? 0 : MAPI_SUPPRESS_ATTACH);
    if (reinterpret_cast<MAPIREADMAIL>(entries_[kReadMail])(session_, 0, id.constData(), flags, 0,
                                                            &m) != SUCCESS_SUCCESS ||
        !m)
        return false;
    std::unique_ptr<MapiMessage, std::function<void(MapiMessage*)>> hold(
        m, [this](MapiMessage* p) { reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer])(p); });
    // Saved attachments: their paths and the names the message gives them.
    QStringList saved, names;
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i)
        if (m->lpFiles[i].lpszPathName) {
            saved << QString::fromLocal8Bit(m->lpFiles[i].lpszPathName);
            names << QString::fromUtf8(m->lpFiles[i].lpszFileName ? m->lpFiles[i].lpszFileName
                                                                  : "");
        }
    if (!IsVoicegramSubject(m->lpszSubject)) {
        for (const QString& p : saved)
            QFile::remove(p);
        return false;
    }
    out = ReceivedVoicegram();
    out.id = id;
    out.received = ParseReceived(m->lpszDateReceived);
    out.unread = (m->flFlags & MAPI_UNREAD) != 0;
    if (m->lpOriginator) {
        out.fromName =
            QString::fromUtf8(m->lpOriginator->lpszName ? m->lpOriginator->lpszName : "");
        out.fromAddress = StripSmtp(m->lpOriginator->lpszAddress);
    }
    out.subject = QString::fromUtf8(m->lpszSubject ? m->lpszSubject : "");
    out.noteText = QString::fromUtf8(m->lpszNoteText ? m->lpszNoteText : "");
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i)
        out.recipients.push_back(
            {m->lpRecips[i].ulRecipClass,
             QString::fromUtf8(m->lpRecips[i].lpszName ? m->lpRecips[i].lpszName : ""),
             StripSmtp(m->lpRecips[i].lpszAddress)});
    if (!withFiles)
        return true;
    // The sound: the first WAV attachment, by name or by its header (which then gets
    // ".WAV" appended to its name).
    QString soundName;
    for (qsizetype i = 0; i < saved.size(); ++i) {
        QString& path = saved[i];
        if (!IsWavPath(path) && HasWaveHeader(path)) {
            const QString renamed = path + QStringLiteral(".WAV");
            if (!QFile::exists(renamed) && QFile::rename(path, renamed))
                path = renamed;
        }
        if (IsWavPath(path)) {
            out.sound = path;
            soundName = names[i];
            break;
        }
    }
    if (out.sound.isEmpty() && saved.isEmpty()) {
        // No attachments: the sound may be in the text, as MIME base64 or as UU.
        const QByteArray text = out.noteText.toUtf8();
        char path[kDecodePathSize];
        if (CDecode::DecodeMIMEToWAV(text.constData(), static_cast<std::size_t>(text.size()),
                                     decodeDir, path, sizeof path) ||
            CDecode::DecodeUU(text.constData(), static_cast<std::size_t>(text.size()), decodeDir,
                              path, sizeof path)) {
            out.sound = QString::fromLocal8Bit(path);
            saved << out.sound;
        }
    } else if (!out.sound.isEmpty() && !decodeDir.isEmpty()) {
        // The caller wants the sound in its folder, under the plain form of its own name.
        QString wanted = CDecode::PlainFileName(soundName.toLocal8Bit());
        if (wanted.isEmpty())
            wanted = QString::fromLatin1(kVoicegramAttachName);
        if (!IsWavPath(wanted))
            wanted += QStringLiteral(".WAV");
        QFile in(out.sound);
        const auto moved =
            in.open(QIODevice::ReadOnly)
                ? CDecode::WriteNewFile(decodeDir, wanted, in.readAll(), kDecodePathSize)
                : std::nullopt;
        in.close();
        if (moved) {
            QFile::remove(out.sound);
            saved.replaceInStrings(out.sound, *moved);
            out.sound = *moved;
        } else {
            out.sound.clear();
        }
    }
    if (out.sound.isEmpty()) {
        for (const QString& p : saved)
            QFile::remove(p);
        return false;
    }
    out.files = saved;
    return true;
}

int CSimpleMapi::GetVoicegram(QByteArray& seedID, ReceivedVoicegram& out, int deleteAfter,
                              const QString& decodeDir) {
    std::lock_guard guard(lock_);
    if (!enabled_)
        return 0;
    for (;;) {
        char found[kMapiMessageIdSize + 1] = {};
        if (!FindMailLocked(seedID.constData(), found, nullptr, 1))
            return 0;
        seedID = QByteArray(found);
        if (!ReadVoicegramLocked(seedID, out, true, true, decodeDir))
            continue;
        // Delete a voicegram that carried nothing else; otherwise mark it read.
        const bool onlySound = out.files.size() == 1;
        if (deleteAfter && onlySound) {
            reinterpret_cast<MAPIDELETEMAIL>(entries_[kDeleteMail])(session_, 0, found, 0, 0);
        } else {
            MapiMessage* m = nullptr;
            if (reinterpret_cast<MAPIREADMAIL>(entries_[kReadMail])(
                    session_, 0, found, MAPI_SUPPRESS_ATTACH, 0, &m) == SUCCESS_SUCCESS)
                reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer])(m);
        }
        return 1;
    }
}

int CSimpleMapi::GetVoicegram(char* seedID, char* foundID, QDateTime& received, char* fromName,
                              char* fromAddress, char** subject, char** noteText, ULONG* recipCount,
                              char** recipNames, char** recipAddresses, ULONG* fileCount,
                              char** files, char** reserved, int deleteAfter) {
    if (reserved)
        *reserved = nullptr;
    if (!seedID || !foundID)
        return 0;
    QByteArray seed(seedID);
    ReceivedVoicegram v;
    const int result = GetVoicegram(seed, v, deleteAfter);
    // The search goes on from the last message looked at.
    if (static_cast<std::size_t>(seed.size()) < kMapiMessageIdSize) {
        std::memcpy(seedID, seed.constData(), static_cast<std::size_t>(seed.size()) + 1);
        std::memcpy(foundID, seed.constData(), static_cast<std::size_t>(seed.size()) + 1);
    }
    if (!result)
        return 0;
    received = v.received;
    CopyBounded(fromName, kMailTextSize, v.fromName.toUtf8());
    CopyBounded(fromAddress, kMailTextSize, v.fromAddress.toUtf8());
    if (subject)
        *subject = NewString(v.subject);
    if (noteText)
        *noteText = NewString(v.noteText);
    QStringList names, addresses;
    for (const MailRecipient& r : v.recipients) {
        names << r.name;
        addresses << r.address;
    }
    if (recipCount)
        *recipCount = static_cast<ULONG>(v.recipients.size());
    if (recipNames)
        *recipNames = NewList(names);
    if (recipAddresses)
        *recipAddresses = NewList(addresses);
    // The sound first, then the other attachments, kMailTextSize bytes each.
    QStringList ordered{v.sound};
    for (const QString& f : v.files)
        if (f != v.sound)
            ordered << f;
    if (fileCount)
        *fileCount = static_cast<ULONG>(ordered.size());
    if (files) {
        *files = new char[kMailTextSize * static_cast<std::size_t>(ordered.size())]();
        for (qsizetype i = 0; i < ordered.size(); ++i)
            CopyBounded(*files + kMailTextSize * static_cast<std::size_t>(i), kMailTextSize,
                        QFile::encodeName(ordered[i]));
    }
    return 1;
}

void CSimpleMapi::FreeVoicegram(char** subject, char** noteText, char** recipNames,
                                char** recipAddresses, char** files) {
    for (char** p : {subject, noteText, recipNames, recipAddresses, files})
        if (p) {
            delete[] * p;
            *p = nullptr;
        }
}

std::vector<ReceivedVoicegram> CSimpleMapi::ListVoicegrams() {
    std::lock_guard guard(lock_);
    std::vector<ReceivedVoicegram> list;
    if (!enabled_)
        return list;
    QByteArray seed;
    for (;;) {
        char found[kMapiMessageIdSize + 1] = {};
        if (!FindMailLocked(seed.constData(), found, nullptr, 0))
            break;
        seed = QByteArray(found);
        ReceivedVoicegram v;
        if (ReadVoicegramLocked(seed, v, true, false, QString()))
            list.push_back(std::move(v));
    }
    return list;
}

bool CSimpleMapi::FetchVoicegram(const QByteArray& id, ReceivedVoicegram& out, const QString& dir,
                                 bool peek) {
    std::lock_guard guard(lock_);
    if (!enabled_)
        return false;
    return ReadVoicegramLocked(id, out, peek, true, dir);
}

// ---------------------------------------------------------------------------------------
// Documents and forwarding

int CSimpleMapi::SendDocuments(const char* paths, const char* fileNames) {
    MAPISENDDOCUMENTS send;
    {
        std::lock_guard guard(lock_);
        if (!enabled_) {
            Notice(QStringLiteral("MAPI session not enabled"));
            return 0;
        }
        send = reinterpret_cast<MAPISENDDOCUMENTS>(entries_[kSendDocuments]);
    }
    return send(0, ";", paths, fileNames, 0) == SUCCESS_SUCCESS ? 1 : 0;
}

int CSimpleMapi::SetForwardingAddress(char* address, std::size_t size) {
    std::lock_guard guard(lock_);
    if (!enabled_ || !address)
        return 0;
    auto freeBuffer = reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer]);
    if (forward_)
        freeBuffer(forward_);
    forward_ = nullptr;
    MapiRecipDesc* resolved = nullptr;
    if (reinterpret_cast<MAPIRESOLVENAME>(entries_[kResolveName])(
            session_, 0, address, MAPI_DIALOG, 0, &resolved) != SUCCESS_SUCCESS ||
        !resolved)
        return 0;
    const QByteArray text = StripSmtp(resolved->lpszAddress).toUtf8();
    if (!CopyBounded(address, size, text)) {
        freeBuffer(resolved);
        return 0;
    }
    forward_ = resolved;
    return 1;
}

int CSimpleMapi::ReadAndForwardMail(ULONG* count, int withAttachments) {
    std::lock_guard guard(lock_);
    if (count)
        *count = 0;
    if (!enabled_ || !forward_)
        return 0;
    auto read = reinterpret_cast<MAPIREADMAIL>(entries_[kReadMail]);
    auto freeBuffer = reinterpret_cast<MAPIFREEBUFFER>(entries_[kFreeBuffer]);
    for (;;) {
        char found[kMapiMessageIdSize + 1] = {};
        if (!FindMailLocked(forwardSeed_.constData(), found, nullptr, 1))
            break;
        forwardSeed_ = QByteArray(found);
        MapiMessage* m = nullptr;
        const FLAGS flags = MAPI_PEEK | (withAttachments ? 0 : MAPI_SUPPRESS_ATTACH);
        if (read(session_, 0, found, flags, 0, &m) != SUCCESS_SUCCESS || !m)
            continue;
        QStringList names;
        for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i)
            names << QString::fromUtf8(m->lpRecips[i].lpszName ? m->lpRecips[i].lpszName : "");
        const QString note =
            QStringLiteral("-------------\nFrom:") +
            QString::fromUtf8(
                m->lpOriginator && m->lpOriginator->lpszName ? m->lpOriginator->lpszName : "") +
            QStringLiteral("\nTo:") + names.join(u';') + QStringLiteral("\nSubject:") +
            QString::fromUtf8(m->lpszSubject ? m->lpszSubject : "") + QStringLiteral("\nDate:") +
            QString::fromUtf8(m->lpszDateReceived ? m->lpszDateReceived : "") + u'\n' +
            QString::fromUtf8(m->lpszNoteText ? m->lpszNoteText : "");
        const QByteArray noteBytes = note.toUtf8();
        MapiMessage copy = *m;
        copy.lpszNoteText = const_cast<char*>(noteBytes.constData());
        copy.lpRecips = forward_;
        copy.nRecipCount = 1;
        copy.lpOriginator = nullptr;
        const bool sent = reinterpret_cast<MAPISENDMAIL>(entries_[kSendMail])(session_, 0, &copy, 0,
                                                                              0) == SUCCESS_SUCCESS;
        // Saved attachments were only needed for the copy.
        for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i)
            if (m->lpFiles[i].lpszPathName)
                QFile::remove(QString::fromLocal8Bit(m->lpFiles[i].lpszPathName));
        freeBuffer(m);
        if (sent) {
            // What was forwarded is marked read, so it is not forwarded again.
            MapiMessage* again = nullptr;
            if (read(session_, 0, found, MAPI_SUPPRESS_ATTACH, 0, &again) == SUCCESS_SUCCESS)
                freeBuffer(again);
            if (count)
                ++*count;
        }
    }
    return 0;
}
