// The local Maildir store: the user's own Maildir holds received mail; sending delivers
// into the Maildir of each local recipient.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utime.h>

#include "platform/mapi/store.h"

namespace {

std::atomic<unsigned> g_deliveries{0};

QByteArray UniqueName() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    QByteArray h(host);
    h.replace('/', "\\057").replace(':', "\\072");
    if (h.isEmpty())
        h = "localhost";
    // Seconds first, zero-padded, so that names order as the messages arrived.
    return QByteArray::number(qint64(tv.tv_sec)).rightJustified(10, '0') + ".M" +
           QByteArray::number(qint64(tv.tv_usec)).rightJustified(6, '0') + 'P' +
           QByteArray::number(::getpid()) + 'Q' + QByteArray::number(++g_deliveries) + '.' + h;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(fd, p, static_cast<size_t>(left));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        left -= done;
    }
    return true;
}

// Writes raw into the Maildir the Maildir way: into tmp/ under a unique name, synced,
// then linked into new/ (unread) or cur/ with the seen flag, never over another message.
// A nonzero `when` becomes the message's time of arrival. name gets the unique name.
bool WriteMessage(const QString& maildir, const QByteArray& raw, bool seen, std::time_t when,
                  QByteArray& name, QString& error) {
    const QByteArray root = QFile::encodeName(maildir);
    struct stat st {};
    const QByteArray folder = seen ? "/cur/" : "/new/";
    if (::stat((root + folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::stat((root + "/tmp").constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = QStringLiteral("%1 is not a mail folder").arg(maildir);
        return false;
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        name = UniqueName();
        const QByteArray tmp = root + "/tmp/" + name;
        const QByteArray target = root + folder + name + (seen ? ":2,S" : "");
        const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = QStringLiteral("cannot write into %1").arg(maildir);
            return false;
        }
        const bool ok = WriteAll(fd, raw) && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !ok) {
            ::unlink(tmp.constData());
            error = QStringLiteral("cannot write into %1").arg(maildir);
            return false;
        }
        if (when > 0) {
            const utimbuf times{when, when};
            ::utime(tmp.constData(), &times);
        }
        // link() never replaces an existing message; a taken name tries a new one.
        if (::link(tmp.constData(), target.constData()) == 0) {
            ::unlink(tmp.constData());
            return true;
        }
        const int why = errno;
        ::unlink(tmp.constData());
        if (why != EEXIST) {
            error = QStringLiteral("cannot deliver into %1").arg(maildir);
            return false;
        }
    }
    error = QStringLiteral("cannot deliver into %1").arg(maildir);
    return false;
}

QString Base(const QString& fileName) {
    return fileName.section(u':', 0, 0);
}

class MaildirStore : public MailStore {
public:
    explicit MaildirStore(QString maildir) : maildir_(std::move(maildir)) {}

    bool Open(QString& error) override {
        if (!EnsureMaildir(maildir_)) {
            error = QStringLiteral("cannot use the mail folder %1").arg(maildir_);
            return false;
        }
        return true;
    }

    bool List(bool unreadOnly, std::vector<QByteArray>& ids, QString& error) override {
        std::map<QString, Entry> entries;
        if (!Scan(entries, error))
            return false;
        ids.clear();
        for (const auto& [id, e] : entries)
            if (!unreadOnly || !e.seen)
                ids.push_back(id.toLocal8Bit());
        return true;
    }

    bool Fetch(const QByteArray& id, bool markSeen, FetchedMail& mail, QString& error) override {
        Entry e;
        if (!Find(id, e, error))
            return false;
        QFile f(e.path);
        if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxMailBytes) {
            error = QStringLiteral("cannot read message %1").arg(QString::fromLocal8Bit(id));
            return false;
        }
        mail.raw = f.readAll();
        mail.received = QFileInfo(e.path).lastModified().toSecsSinceEpoch();
        mail.seen = e.seen;
        if (markSeen && !e.seen)
            return SetSeen(e, error);
        return true;
    }

    bool MarkSeen(const QByteArray& id, QString& error) override {
        Entry e;
        return Find(id, e, error) && (e.seen || SetSeen(e, error));
    }

    bool Delete(const QByteArray& id, QString& error) override {
        Entry e;
        if (!Find(id, e, error))
            return false;
        if (!QFile::remove(e.path)) {
            error = QStringLiteral("cannot delete message %1").arg(QString::fromLocal8Bit(id));
            return false;
        }
        return true;
    }

    bool Send(const QString&, const QStringList& recipients, const QByteArray& raw,
              QStringList& failed, QString& error) override {
        for (const QString& r : recipients) {
            // Local users only: "name", "name@localhost" or "name@" this host.
            QString login = r;
            if (const qsizetype at = r.indexOf(u'@'); at >= 0) {
                const QString host = r.mid(at + 1).toLower();
                char own[256] = {};
                ::gethostname(own, sizeof own - 1);
                if (host != QStringLiteral("localhost") &&
                    host != QStringLiteral("localhost.localdomain") &&
                    host != QString::fromLocal8Bit(own).toLower()) {
                    failed << r;
                    continue;
                }
                login = r.left(at);
            }
            const QString dir = LocalUserMaildir(login);
            QString why;
            if (dir.isEmpty() || !(dir == maildir_ ? EnsureMaildir(dir) : true) ||
                !DeliverToMaildir(dir, raw, why))
                failed << r;
        }
        if (!failed.isEmpty())
            error =
                QStringLiteral("could not deliver to %1").arg(failed.join(QStringLiteral(", ")));
        return failed.isEmpty();
    }

    bool Save(const QByteArray& raw, bool seen, std::time_t when, QByteArray& id,
              QString& error) override {
        if (raw.size() > kMaxMailBytes) {
            error = QStringLiteral("the message is too large");
            return false;
        }
        return WriteMessage(maildir_, raw, seen, when, id, error);
    }

private:
    struct Entry {
        QString path;
        QString folder;  // "new" or "cur"
        QString name;
        bool seen = false;
    };

    bool Scan(std::map<QString, Entry>& entries, QString& error) {
        for (const char* folder : {"new", "cur"}) {
            QDir dir(maildir_ + u'/' + QLatin1String(folder));
            if (!dir.exists()) {
                error = QStringLiteral("no mail folder at %1").arg(maildir_);
                return false;
            }
            for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
                if (name.startsWith(u'.'))
                    continue;
                Entry e;
                e.path = dir.filePath(name);
                e.folder = QLatin1String(folder);
                e.name = name;
                const QString info = name.section(u':', 1);
                e.seen = info.startsWith(QStringLiteral("2,")) && info.mid(2).contains(u'S');
                entries[Base(name)] = e;
            }
        }
        return true;
    }

    bool Find(const QByteArray& id, Entry& out, QString& error) {
        std::map<QString, Entry> entries;
        if (!Scan(entries, error))
            return false;
        const auto it = entries.find(QString::fromLocal8Bit(id));
        if (it == entries.end()) {
            error = QStringLiteral("no message %1").arg(QString::fromLocal8Bit(id));
            return false;
        }
        out = it->second;
        return true;
    }

    bool SetSeen(const Entry& e, QString& error) {
        QString info = e.name.section(u':', 1);
        QString flags = info.startsWith(QStringLiteral("2,")) ? info.mid(2) : QString();
        flags += u'S';
        std::sort(flags.begin(), flags.end());
        const QString target =
            maildir_ + QStringLiteral("/cur/") + Base(e.name) + QStringLiteral(":2,") + flags;
        if (::rename(QFile::encodeName(e.path).constData(),
                     QFile::encodeName(target).constData()) != 0) {
            error = QStringLiteral("cannot mark %1 read").arg(Base(e.name));
            return false;
        }
        return true;
    }

    QString maildir_;
};

}  // namespace

bool EnsureMaildir(const QString& maildir) {
    if (!QDir().mkpath(maildir))
        return false;
    const QByteArray root = QFile::encodeName(maildir);
    ::chmod(root.constData(), 0711);
    for (const auto& [folder, mode] : {std::pair{"tmp", 01733}, {"new", 01733}, {"cur", 0700}}) {
        const QByteArray path = root + '/' + folder;
        if (::mkdir(path.constData(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            return false;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
        if (st.st_uid == ::geteuid())
            ::chmod(path.constData(), static_cast<mode_t>(mode));
    }
    return true;
}

bool DeliverToMaildir(const QString& maildir, const QByteArray& raw, QString& error) {
    QByteArray name;
    return WriteMessage(maildir, raw, false, 0, name, error);
}

std::unique_ptr<MailStore> MakeMaildirStore(const QString& maildir) {
    return std::make_unique<MaildirStore>(maildir);
}
