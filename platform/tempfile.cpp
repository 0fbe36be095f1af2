#include "platform/tempfile.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

QByteArray Encoded(const QString& path) {
    return QFile::encodeName(path);
}

// A directory the user may build on: absolute, a real directory, the user's own.
bool UsableRuntimeDirectory(const QString& path) {
    if (!path.startsWith(u'/'))
        return false;
    struct stat st {};
    if (::lstat(Encoded(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

std::optional<QString> Below(const QString& name) {
    const auto base = PrivateUserDirectory();
    if (!base)
        return std::nullopt;
    const QString path = *base + u'/' + name;
    if (!EnsurePrivateDirectory(path))
        return std::nullopt;
    return path;
}

}  // namespace

bool EnsurePrivateDirectory(const QString& path) {
    const QByteArray name = Encoded(path);
    if (name.isEmpty())
        return false;
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // Whatever stands there now is opened without following a link and checked through
    // the open descriptor, so it cannot be swapped between the check and the change.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 07777) != 0700)
        ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

namespace {

QString BaseDirectory() {
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && UsableRuntimeDirectory(runtime))
        return runtime + QStringLiteral("/tonedeck");
    QString tmp = QFile::decodeName(qgetenv("TMPDIR"));
    if (!tmp.startsWith(u'/'))
        tmp = QStringLiteral("/tmp");
    while (tmp.size() > 1 && tmp.endsWith(u'/'))
        tmp.chop(1);
    return tmp + QStringLiteral("/tonedeck-") + QString::number(::geteuid());
}

// What is wrong with one level of the private directories, or nothing.
QString LevelProblem(const QString& path) {
    if (EnsurePrivateDirectory(path))
        return {};
    struct stat st {};
    if (::lstat(Encoded(path).constData(), &st) != 0)
        return QStringLiteral("%1 cannot be created: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    QString what;
    if (S_ISLNK(st.st_mode))
        what = QStringLiteral("it is a symbolic link");
    else if (!S_ISDIR(st.st_mode))
        what = QStringLiteral("it is not a folder");
    else if (st.st_uid != ::geteuid())
        what = QStringLiteral("it belongs to user %1, not to you (user %2)")
                   .arg(st.st_uid)
                   .arg(::geteuid());
    else
        what = QStringLiteral("its permissions cannot be set to 0700");
    return QStringLiteral(
               "%1 cannot be used as Tonedeck's private folder: %2. Remove it, or "
               "set XDG_RUNTIME_DIR to a folder of your own")
        .arg(path, what);
}

}  // namespace

QString PrivateDirectoryProblem() {
    const QString base = BaseDirectory();
    for (const QString& level :
         {base, base + QStringLiteral("/tmp"), base + QStringLiteral("/locks")}) {
        const QString problem = LevelProblem(level);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

std::optional<QString> PrivateUserDirectory() {
    const QString base = BaseDirectory();
    if (!EnsurePrivateDirectory(base))
        return std::nullopt;
    return base;
}

std::optional<QString> PrivateTempDirectory() {
    return Below(QStringLiteral("tmp"));
}
std::optional<QString> PrivateLockDirectory() {
    return Below(QStringLiteral("locks"));
}

std::optional<QString> CreateUniqueFile(const QString& dir, const QString& prefix,
                                        const QString& suffix, std::size_t maxBytes) {
    if (dir.isEmpty() || prefix.contains(u'/') || suffix.contains(u'/'))
        return std::nullopt;
    // The bound is checked for the longest name, so whether a call fits does not depend
    // on the number drawn.
    const QString longest = dir + u'/' + prefix + QStringLiteral("FFFF") + suffix;
    if (maxBytes != 0 && static_cast<std::size_t>(Encoded(longest).size()) + 1 > maxBytes)
        return std::nullopt;
    const quint32 start = QRandomGenerator::system()->bounded(0xFFFFu);
    for (quint32 step = 0; step < 0xFFFFu; ++step) {
        const quint32 number = (start + step) % 0xFFFFu + 1;
        const QString path = dir + u'/' + prefix + QString::number(number, 16).toUpper() + suffix;
        const QByteArray name = Encoded(path);
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}
