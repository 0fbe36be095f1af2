#include "platform/mailaccount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/registry.h"

namespace {

QString Value(const RegKey& key, const char* name) {
    return key.QueryString(QString::fromLatin1(name)).value_or(QString()).trimmed();
}

QString DataHome() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

}  // namespace

MailAccount LoadMailAccount() {
    MailAccount account;
    const auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kMailKey));
    if (!key)
        return account;
    account.store = Value(*key, "Store").compare(QStringLiteral("imap"), Qt::CaseInsensitive) == 0
                        ? MailStoreKind::Imap
                        : MailStoreKind::Maildir;
    account.imapUrl = Value(*key, "ImapUrl");
    account.smtpUrl = Value(*key, "SmtpUrl");
    account.user = Value(*key, "User");
    account.from = Value(*key, "From");
    account.plainLoopback =
        Value(*key, "Security").compare(QStringLiteral("plain-loopback"), Qt::CaseInsensitive) == 0;
    account.caFile = Value(*key, "CAFile");
    return account;
}

QString LoginName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString SenderAddress(const MailAccount& account) {
    if (!account.from.isEmpty())
        return account.from;
    if (account.store == MailStoreKind::Maildir)
        return LoginName();
    if (account.user.contains(u'@'))
        return account.user;
    const QString host = QUrl(account.smtpUrl).host();
    return account.user + u'@' + (host.isEmpty() ? QStringLiteral("localhost") : host);
}

QString MailPasswordFilePath() {
    return QFileInfo(RegistryFilePath(RegRoot::CurrentUser)).absolutePath() +
           QStringLiteral("/mail-password");
}

std::optional<QByteArray> ReadMailPassword() {
    const QByteArray path = QFile::encodeName(MailPasswordFilePath());
    struct stat st {};
    // Only a private file of the user's own counts.
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0 || st.st_size > 1024)
        return std::nullopt;
    QFile f(MailPasswordFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray password = f.readAll();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    return password;
}

bool WriteMailPassword(const QByteArray& password) {
    if (password.contains('\n') || password.contains('\r') || password.size() > 1000)
        return false;
    const QString path = MailPasswordFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written to a private file beside the target (mode 0600 from its creation) and
    // renamed over it.
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temp = target + ".new" + QByteArray::number(::getpid());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray line = password + '\n';
    const bool ok =
        ::write(fd, line.constData(), static_cast<size_t>(line.size())) == line.size() &&
        ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

bool ForgetMailPassword() {
    const QString path = MailPasswordFilePath();
    return !QFile::exists(path) || QFile::remove(path);
}

QString OwnMaildir() {
    return DataHome() + QStringLiteral("/tonedeck/Maildir");
}

QString LocalUserMaildir(const QString& login) {
    if (login.isEmpty() || login.contains(u'/') || login.startsWith(u'.'))
        return QString();
    if (login == LoginName())
        return OwnMaildir();
    const QString users = qEnvironmentVariable("TONEDECK_MAILDIR_USERS");
    if (!users.isEmpty())
        return users + u'/' + login + QStringLiteral("/tonedeck/Maildir");
    const passwd* pw = ::getpwnam(login.toLocal8Bit().constData());
    if (!pw || !pw->pw_dir)
        return QString();
    return QString::fromLocal8Bit(pw->pw_dir) + QStringLiteral("/.local/share/tonedeck/Maildir");
}
