#include "platform/regularfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenRegularFile(QFile& file, QIODevice::OpenMode mode, QString* error) {
    const QString path = file.fileName();
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, why);
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return fail(QStringLiteral("no file name"));
    int flags = O_CLOEXEC | O_NONBLOCK;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags |= O_RDWR;
    else if (mode & QIODevice::WriteOnly)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (mode & QIODevice::WriteOnly) {
        if (!(mode & QIODevice::ExistingOnly))
            flags |= O_CREAT;
        if (mode & QIODevice::NewOnly)
            flags |= O_EXCL;
        if ((mode & QIODevice::Truncate) && !(mode & QIODevice::Append))
            flags |= O_TRUNC;
    }
    int fd;
    do {
        fd = ::open(name.constData(), flags & ~O_TRUNC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(errno == ENXIO ? QStringLiteral("it is not a regular file")
                                   : QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("it is not a regular file"));
    }
    // Only a regular file is ever emptied.
    if ((flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) {
        const int e = errno;
        ::close(fd);
        return fail(QString::fromLocal8Bit(std::strerror(e)));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode & ~(QIODevice::Truncate | QIODevice::NewOnly),
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    return true;
}

bool IsRegularFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}
