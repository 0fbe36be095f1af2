// The IMAP + SMTP store through libcurl. Encrypted by default: imaps:// and smtps://
// connect with TLS at once, imap:// and smtp:// must switch to TLS with STARTTLS; the
// server's certificate and name are checked. Only an account marked "plain-loopback" may
// talk without encryption, and only to 127.0.0.1 or ::1. Every transfer has a time limit.
#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/mapi/store.h"
#include "platform/trace.h"

namespace {

constexpr long kConnectSeconds = 20;
constexpr long kTransferSeconds = 300;

std::once_flag g_curlInit;

struct Sink {
    QByteArray data;
    bool overflow = false;
};

size_t WriteSink(char* ptr, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (sink->data.size() + static_cast<qint64>(bytes) > kMaxMailBytes) {
        sink->overflow = true;
        return 0;  // stops the transfer
    }
    sink->data.append(ptr, static_cast<qsizetype>(bytes));
    return bytes;
}

struct Source {
    const QByteArray* data;
    qsizetype pos = 0;
};

size_t ReadSource(char* ptr, size_t size, size_t count, void* user) {
    auto* src = static_cast<Source*>(user);
    const qsizetype left = src->data->size() - src->pos;
    const qsizetype n = std::min<qsizetype>(left, static_cast<qsizetype>(size * count));
    std::memcpy(ptr, src->data->constData() + src->pos, static_cast<size_t>(n));
    src->pos += n;
    return static_cast<size_t>(n);
}

// The next transfer of curl sends src's bytes to the server.
void UploadFrom(CURL* curl, Source* src) {
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadSource);
    curl_easy_setopt(curl, CURLOPT_READDATA, src);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(src->data->size()));
}

bool IsLoopback(const QString& host) {
    return host == QStringLiteral("127.0.0.1") || host == QStringLiteral("::1") ||
           host == QStringLiteral("[::1]");
}

QByteArray Uid(const QByteArray& id) {
    QByteArray digits = id;
    while (digits.size() > 1 && digits.startsWith('0'))
        digits.remove(0, 1);
    return digits;
}

QByteArray IdOf(const QByteArray& uid) {
    return uid.rightJustified(10, '0');
}

// The UIDs of the "* SEARCH" lines of a server's answer, as the server wrote them; words
// that are not a 32-bit UID are left out.
std::vector<QByteArray> SearchedUids(const QByteArray& answer) {
    std::vector<QByteArray> uids;
    for (const QByteArray& line : answer.split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.startsWith("* SEARCH"))
            continue;
        for (const QByteArray& word : t.mid(8).simplified().split(' ')) {
            bool ok = false;
            word.toUInt(&ok);
            if (ok && !word.isEmpty() && word.size() <= 10)
                uids.push_back(word);
        }
    }
    return uids;
}

// "08-Dec-2026 21:22:31 +0000" as seconds since the epoch; 0 when unreadable.
std::time_t ParseInternalDate(const QByteArray& text) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int day = 0, year = 0, h = 0, m = 0, s = 0, zone = 0;
    char mon[4] = {};
    if (std::sscanf(text.trimmed().constData(), "%d-%3s-%d %d:%d:%d %d", &day, mon, &year, &h, &m,
                    &s, &zone) != 7)
        return 0;
    int month = -1;
    for (int i = 0; i < 12; ++i)
        if (qstrcmp(mon, kMonths[i]) == 0)
            month = i + 1;
    if (month < 0)
        return 0;
    const QDateTime utc(QDate(year, month, day), QTime(h, m, s), QTimeZone::utc());
    const int offset = (zone / 100) * 3600 + (zone % 100) * 60;
    return utc.toSecsSinceEpoch() - offset;
}

// The value of a header in the head of raw ("" when absent); names match without regard
// to case.
QByteArray HeaderValue(const QByteArray& raw, const QByteArray& name) {
    qsizetype end = raw.indexOf("\r\n\r\n");
    const QByteArray head = "\r\n" + (end < 0 ? raw : raw.left(end));
    const QByteArray wanted = "\r\n" + name.toLower() + ':';
    const qsizetype at = head.toLower().indexOf(wanted);
    if (at < 0)
        return QByteArray();
    const qsizetype from = at + wanted.size();
    end = head.indexOf("\r\n", from);
    return head.mid(from, end < 0 ? -1 : end - from).trimmed();
}

class ImapStore : public MailStore {
public:
    ImapStore(MailAccount account, QByteArray password)
        : account_(std::move(account)), password_(std::move(password)) {
        std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        imap_ = curl_easy_init();
        smtp_ = curl_easy_init();
        QString url = account_.imapUrl;
        while (url.endsWith(u'/'))
            url.chop(1);
        const QUrl parsed(url);
        mailbox_ = parsed.path().isEmpty() || parsed.path() == QStringLiteral("/")
                       ? url + QStringLiteral("/INBOX")
                       : url;
    }
    ~ImapStore() override {
        if (imap_)
            curl_easy_cleanup(imap_);
        if (smtp_)
            curl_easy_cleanup(smtp_);
        password_.fill('\0');
    }

    bool Open(QString& error) override {
        if (!imap_ || !smtp_) {
            error = QStringLiteral("cannot start the mail connection");
            return false;
        }
        if (!Allowed(account_.imapUrl, {"imap", "imaps"}, error) ||
            !Allowed(account_.smtpUrl, {"smtp", "smtps"}, error))
            return false;
        Sink sink;
        return Imap("NOOP", QByteArray(), sink, error);
    }

    bool List(bool unreadOnly, std::vector<QByteArray>& ids, QString& error) override {
        Sink sink;
        if (!Imap(unreadOnly ? "UID SEARCH UNSEEN" : "UID SEARCH ALL", QByteArray(), sink, error))
            return false;
        ids.clear();
        for (const QByteArray& uid : SearchedUids(sink.data))
            ids.push_back(IdOf(uid));
        std::sort(ids.begin(), ids.end());
        return true;
    }

    bool Fetch(const QByteArray& id, bool markSeen, FetchedMail& mail, QString& error) override {
        const QByteArray uid = Uid(id);
        if (uid.isEmpty() || uid.size() > 10) {
            error = QStringLiteral("no message %1").arg(QString::fromLatin1(id));
            return false;
        }
        Sink flags;
        if (!Imap("UID FETCH " + uid + " (FLAGS INTERNALDATE)", QByteArray(), flags, error))
            return false;
        if (!flags.data.contains("UID " + uid + ' ') && !flags.data.contains("UID " + uid + ')')) {
            error = QStringLiteral("no message %1").arg(QString::fromLatin1(id));
            return false;
        }
        mail.seen = flags.data.contains("\\Seen");
        const qsizetype at = flags.data.indexOf("INTERNALDATE \"");
        if (at >= 0) {
            const qsizetype close = flags.data.indexOf('"', at + 14);
            mail.received = ParseInternalDate(flags.data.mid(at + 14, close - at - 14));
        }
        // Fetching the whole message by its UID marks it read on the server; a peek
        // puts the flag back as it was.
        Sink body;
        if (!Imap(QByteArray(), ";UID=" + uid, body, error))
            return false;
        if (body.overflow) {
            error = QStringLiteral("message %1 is too large").arg(QString::fromLatin1(id));
            return false;
        }
        mail.raw = std::move(body.data);
        if (!markSeen && !mail.seen) {
            Sink ignored;
            Imap("UID STORE " + uid + " -FLAGS (\\Seen)", QByteArray(), ignored, error);
        }
        return true;
    }

    bool MarkSeen(const QByteArray& id, QString& error) override {
        Sink sink;
        return Imap("UID STORE " + Uid(id) + " +FLAGS (\\Seen)", QByteArray(), sink, error);
    }

    bool Delete(const QByteArray& id, QString& error) override {
        Sink sink;
        if (!Imap("UID STORE " + Uid(id) + " +FLAGS (\\Deleted)", QByteArray(), sink, error))
            return false;
        if (!sink.data.contains("FETCH")) {
            error = QStringLiteral("no message %1").arg(QString::fromLatin1(id));
            return false;
        }
        Sink expunge;
        if (Imap("UID EXPUNGE " + Uid(id), QByteArray(), expunge, error))
            return true;
        return Imap("EXPUNGE", QByteArray(), expunge, error);
    }

    bool Send(const QString& from, const QStringList& recipients, const QByteArray& raw,
              QStringList& failed, QString& error) override {
        // One transaction per recipient, so that a refused address fails alone and the
        // caller learns which ones did.
        for (const QString& r : recipients) {
            QString why;
            if (!SendOne(from, r, raw, why)) {
                failed << r;
                Trace(QStringLiteral("mail: not sent to %1: %2\n").arg(r, why));
            }
        }
        if (!failed.isEmpty())
            error = QStringLiteral("could not send to %1").arg(failed.join(QStringLiteral(", ")));
        return failed.isEmpty();
    }

    bool Save(const QByteArray& raw, bool seen, std::time_t, QByteArray& id,
              QString& error) override {
        // The server gives the appended message no name we can read back through
        // libcurl, so it is found again by its Message-ID.
        const QByteArray messageId = HeaderValue(raw, "Message-ID");
        if (messageId.isEmpty() || messageId.contains('"') || messageId.contains('\\') ||
            messageId.size() > 250) {
            error = QStringLiteral("the message has no usable Message-ID");
            return false;
        }
        if (!Prepare(imap_, account_.imapUrl, error))
            return false;
        const QByteArray url = mailbox_.toUtf8();
        curl_easy_setopt(imap_, CURLOPT_URL, url.constData());
        curl_easy_setopt(imap_, CURLOPT_PROTOCOLS_STR, "imap,imaps");
        Source src{&raw};
        UploadFrom(imap_, &src);
        const CURLcode rc = curl_easy_perform(imap_);
        if (rc != CURLE_OK) {
            error = QStringLiteral("IMAP: %1").arg(QString::fromUtf8(curl_easy_strerror(rc)));
            return false;
        }
        Sink found;
        if (!Imap("UID SEARCH HEADER Message-ID \"" + messageId + '"', QByteArray(), found, error))
            return false;
        // The newest message of that Message-ID is the one just appended.
        QByteArray uid;
        for (const QByteArray& candidate : SearchedUids(found.data))
            if (IdOf(candidate) > IdOf(uid))
                uid = candidate;
        if (uid.isEmpty()) {
            error = QStringLiteral("the saved message was not found on the server");
            return false;
        }
        // libcurl appends messages as read.
        Sink ignored;
        if (!seen && !Imap("UID STORE " + uid + " -FLAGS (\\Seen)", QByteArray(), ignored, error))
            return false;
        id = IdOf(uid);
        return true;
    }

private:
    bool Allowed(const QString& url, std::initializer_list<const char*> schemes, QString& error) {
        const QUrl u(url);
        const QString scheme = u.scheme().toLower();
        bool known = false;
        for (const char* s : schemes)
            known = known || scheme == QLatin1String(s);
        if (!u.isValid() || u.host().isEmpty() || !known) {
            error = QStringLiteral("the mail server address \"%1\" is not usable").arg(url);
            return false;
        }
        return true;
    }

    // Connection settings shared by both protocols.
    bool Prepare(CURL* curl, const QString& url, QString& error) {
        const QUrl u(url);
        const QString scheme = u.scheme().toLower();
        const bool implicitTls = scheme.endsWith(u's');
        long useSsl = CURLUSESSL_ALL;
        if (!implicitTls && account_.plainLoopback) {
            if (!IsLoopback(u.host())) {
                error = QStringLiteral("unencrypted mail is allowed only to 127.0.0.1");
                return false;
            }
            useSsl = CURLUSESSL_NONE;
        }
        curl_easy_reset(curl);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferSeconds);
        curl_easy_setopt(curl, CURLOPT_USE_SSL, useSsl);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!account_.caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, account_.caFile.toLocal8Bit().constData());
        if (!account_.user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, account_.user.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.constData());
        }
        return true;
    }

    bool Imap(const QByteArray& command, const QByteArray& urlSuffix, Sink& sink, QString& error) {
        if (!Prepare(imap_, account_.imapUrl, error))
            return false;
        const QByteArray url = mailbox_.toUtf8() + urlSuffix;
        curl_easy_setopt(imap_, CURLOPT_URL, url.constData());
        curl_easy_setopt(imap_, CURLOPT_PROTOCOLS_STR, "imap,imaps");
        if (!command.isEmpty())
            curl_easy_setopt(imap_, CURLOPT_CUSTOMREQUEST, command.constData());
        curl_easy_setopt(imap_, CURLOPT_WRITEFUNCTION, WriteSink);
        curl_easy_setopt(imap_, CURLOPT_WRITEDATA, &sink);
        const CURLcode rc = curl_easy_perform(imap_);
        if (rc != CURLE_OK) {
            error = QStringLiteral("IMAP: %1").arg(QString::fromUtf8(curl_easy_strerror(rc)));
            Trace(QStringLiteral("mail: %1 (%2)\n").arg(error, QString::fromUtf8(command)));
            return false;
        }
        return true;
    }

    bool SendOne(const QString& from, const QString& to, const QByteArray& raw, QString& error) {
        if (!Prepare(smtp_, account_.smtpUrl, error))
            return false;
        const QByteArray url = account_.smtpUrl.toUtf8();
        curl_easy_setopt(smtp_, CURLOPT_URL, url.constData());
        curl_easy_setopt(smtp_, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        const QByteArray sender = '<' + from.toUtf8() + '>';
        curl_easy_setopt(smtp_, CURLOPT_MAIL_FROM, sender.constData());
        const QByteArray rcpt = '<' + to.toUtf8() + '>';
        curl_slist* list = curl_slist_append(nullptr, rcpt.constData());
        curl_easy_setopt(smtp_, CURLOPT_MAIL_RCPT, list);
        Source src{&raw};
        UploadFrom(smtp_, &src);
        const CURLcode rc = curl_easy_perform(smtp_);
        curl_easy_setopt(smtp_, CURLOPT_MAIL_RCPT, nullptr);
        curl_slist_free_all(list);
        if (rc != CURLE_OK) {
            error = QStringLiteral("SMTP: %1").arg(QString::fromUtf8(curl_easy_strerror(rc)));
            return false;
        }
        return true;
    }

    MailAccount account_;
    QByteArray password_;
    QString mailbox_;
    CURL* imap_ = nullptr;
    CURL* smtp_ = nullptr;
};

}  // namespace

std::unique_ptr<MailStore> MakeImapStore(const MailAccount& account, const QByteArray& password) {
    return std::make_unique<ImapStore>(account, password);
}
