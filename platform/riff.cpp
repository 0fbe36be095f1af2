#include "platform/riff.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Window of the file kept in memory.
constexpr int64_t kBufferSize = 8192;

uint32_t GetLE32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace

const char* RiffErrorText(RiffError error) {
    switch (error) {
        case RiffError::None:
            return "no error";
        case RiffError::NotFound:
            return "chunk not found";
        case RiffError::CannotOpen:
            return "cannot open the file";
        case RiffError::Busy:
            return "the file is in use";
        case RiffError::Exists:
            return "the file exists";
        case RiffError::Read:
            return "cannot read the file";
        case RiffError::Write:
            return "cannot write the file";
        case RiffError::Seek:
            return "bad file position";
        case RiffError::TooLarge:
            return "chunk too large";
        case RiffError::NotRegular:
            return "not a regular file";
        case RiffError::Stopped:
            return "stopped";
    }
    return "unknown error";
}

namespace {

// Opens name without waiting on a FIFO or a device, and keeps the descriptor only when it
// is a regular file; *st receives its status.
int OpenRegular(const QByteArray& name, int flags, struct stat* st, RiffError* error) {
    int fd;
    do {
        fd = ::open(name.constData(), flags | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = errno == EEXIST                     ? RiffError::Exists
                 : errno == ENXIO || errno == EISDIR ? RiffError::NotRegular
                                                     : RiffError::CannotOpen;
        return -1;
    }
    if (::fstat(fd, st) != 0) {
        ::close(fd);
        *error = RiffError::CannotOpen;
        return -1;
    }
    if (!S_ISREG(st->st_mode)) {
        ::close(fd);
        *error = RiffError::NotRegular;
        return -1;
    }
    // Reads and writes of a regular file wait as usual from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Takes the lock without waiting; false with *error set when someone else holds it.
bool LockNow(int fd, int how, RiffError* error) {
    int locked;
    do {
        locked = ::flock(fd, how | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0)
        return true;
    *error = errno == EWOULDBLOCK ? RiffError::Busy : RiffError::CannotOpen;
    return false;
}

// Whether name still names the file open on fd: a writer that replaced it while this
// open waited for its lock has made the descriptor stale.
bool StillNamed(const QByteArray& name, const struct stat& open) {
    struct stat now {};
    return ::stat(name.constData(), &now) == 0 && now.st_dev == open.st_dev &&
           now.st_ino == open.st_ino;
}

}  // namespace

std::unique_ptr<RiffFile> RiffFile::Open(const QString& path, Mode mode, RiffError* error) {
    RiffError why = RiffError::None;
    auto fail = [error](RiffError e) {
        if (error)
            *error = e;
        return nullptr;
    };
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return fail(RiffError::CannotOpen);
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            // Not O_TRUNC: a file that someone else holds must not be emptied.
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    // A file replaced by a writer between our open and our lock is opened afresh.
    for (int attempt = 0; attempt < 8; ++attempt) {
        struct stat st {};
        const int fd = OpenRegular(name, flags, &st, &why);
        if (fd < 0)
            return fail(why);
        if (!LockNow(fd, mode == Mode::Read ? LOCK_SH : LOCK_EX, &why)) {
            ::close(fd);
            return fail(why);
        }
        if (!StillNamed(name, st)) {
            ::close(fd);
            if (mode == Mode::CreateNew)
                return fail(RiffError::Busy);
            continue;
        }
        int64_t size = st.st_size;
        if (mode == Mode::Create) {
            if (::ftruncate(fd, 0) != 0) {
                ::close(fd);
                return fail(RiffError::Write);
            }
            size = 0;
        }
        if (error)
            *error = RiffError::None;
        return std::unique_ptr<RiffFile>(new RiffFile(fd, mode != Mode::Read, size));
    }
    return fail(RiffError::Busy);
}

std::unique_ptr<RiffFile> RiffFile::OpenReplacement(const QString& path, RiffError* error) {
    auto fail = [error](RiffError e) {
        if (error)
            *error = e;
        return nullptr;
    };
    if (path.isEmpty())
        return fail(RiffError::CannotOpen);
    // The file behind a link is the one replaced; the link stays a link.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        target = info.canonicalFilePath();
        if (target.isEmpty())
            return fail(RiffError::CannotOpen);
    }
    const QFileInfo targetInfo(target);
    const QString dir = targetInfo.absolutePath();
    const QString base = targetInfo.fileName();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString temp = dir + QStringLiteral("/.") + base +
                             QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(),
                                                           8, 16, QLatin1Char('0'));
        const QByteArray tempName = QFile::encodeName(temp);
        int fd;
        do {
            fd = ::open(tempName.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(RiffError::CannotOpen);
        }
        RiffError why = RiffError::None;
        if (!LockNow(fd, LOCK_EX, &why)) {
            ::close(fd);
            ::unlink(tempName.constData());
            return fail(why);
        }
        std::unique_ptr<RiffFile> file(new RiffFile(fd, true, 0));
        file->replaces_ = QFile::encodeName(QFileInfo(target).absoluteFilePath());
        file->tempName_ = tempName;
        if (error)
            *error = RiffError::None;
        return file;
    }
    return fail(RiffError::CannotOpen);
}

RiffError RiffFile::CommitReplacement(const RiffFile* original) {
    if (fd_ < 0 || tempName_.isEmpty())
        return RiffError::Write;
    auto abandon = [this](RiffError e) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        ::unlink(tempName_.constData());
        tempName_.clear();
        return e;
    };
    if (Flush() != RiffError::None || failed_)
        return abandon(RiffError::Write);
    if (original && original->fd_ >= 0) {
        struct stat st {};
        if (::fstat(original->fd_, &st) != 0)
            return abandon(RiffError::Write);
        struct stat mine {};
        if (::fstat(fd_, &mine) != 0)
            return abandon(RiffError::Write);
        if ((mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) &&
            ::fchown(fd_, st.st_uid, st.st_gid) != 0)
            return abandon(RiffError::Write);
        if (::fchmod(fd_, st.st_mode & 07777) != 0)
            return abandon(RiffError::Write);
    }
    // On disk before it has the name, so a crash leaves the old file or the new one.
    if (::fsync(fd_) != 0)
        return abandon(RiffError::Write);
    if (::rename(tempName_.constData(), replaces_.constData()) != 0)
        return abandon(RiffError::Write);
    tempName_.clear();
    const QByteArray dir =
        QFile::encodeName(QFileInfo(QFile::decodeName(replaces_)).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed == 0 ? RiffError::None : RiffError::Write;
}

int64_t RiffFile::StoredSize() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return -1;
    return st.st_size;
}

bool RiffFile::IsPlausibleId(FOURCC id) {
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

bool RiffFile::CopyFrom(RiffFile& source, int64_t offset, int64_t length) {
    if (length < 0 || offset < 0 || source.Seek(offset) != offset)
        return false;
    std::vector<unsigned char> block(static_cast<size_t>(std::min<int64_t>(length, 1 << 16)));
    while (length > 0) {
        const int64_t n = std::min<int64_t>(length, static_cast<int64_t>(block.size()));
        if (!source.ReadExact(block.data(), n) || !WriteExact(block.data(), n))
            return false;
        length -= n;
    }
    return true;
}

RiffFile::RiffFile(int fd, bool writable, int64_t size)
    : fd_(fd), writable_(writable), size_(size) {
    buf_.reserve(kBufferSize);
}

RiffFile::~RiffFile() {
    if (fd_ >= 0)
        Close();
    if (!tempName_.isEmpty())
        ::unlink(tempName_.constData());
}

RiffError RiffFile::Flush() {
    if (dirtyEnd_ > dirtyBegin_) {
        const unsigned char* p = buf_.data() + (dirtyBegin_ - bufStart_);
        int64_t left = dirtyEnd_ - dirtyBegin_;
        int64_t at = dirtyBegin_;
        while (left > 0) {
            const ssize_t n = ::pwrite(fd_, p, static_cast<size_t>(left), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                failed_ = true;
                dirtyBegin_ = dirtyEnd_ = 0;
                return RiffError::Write;
            }
            p += n;
            at += n;
            left -= n;
        }
    }
    dirtyBegin_ = dirtyEnd_ = 0;
    return RiffError::None;
}

RiffError RiffFile::Close() {
    if (fd_ < 0)
        return RiffError::None;
    if (!tempName_.isEmpty()) {
        // A replacement closed without its commit is thrown away.
        ::close(fd_);
        fd_ = -1;
        ::unlink(tempName_.constData());
        tempName_.clear();
        return RiffError::Write;
    }
    const RiffError flushed = Flush();
    const int closed = ::close(fd_);
    fd_ = -1;
    if (flushed != RiffError::None || failed_ || closed != 0)
        return RiffError::Write;
    return RiffError::None;
}

bool RiffFile::FillAt(int64_t offset) {
    if (Flush() != RiffError::None)
        return false;
    buf_.resize(static_cast<size_t>(kBufferSize));
    int64_t got = 0;
    while (got < kBufferSize) {
        const ssize_t n =
            ::pread(fd_, buf_.data() + got, static_cast<size_t>(kBufferSize - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            buf_.clear();
            bufStart_ = offset;
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    buf_.resize(static_cast<size_t>(got));
    bufStart_ = offset;
    return true;
}

int64_t RiffFile::Read(void* buffer, int64_t size) {
    if (fd_ < 0 || size < 0)
        return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t total = 0;
    while (total < size && pos_ < size_) {
        const int64_t bufEnd = bufStart_ + static_cast<int64_t>(buf_.size());
        if (pos_ >= bufStart_ && pos_ < bufEnd) {
            const int64_t n = std::min(size - total, bufEnd - pos_);
            std::memcpy(out + total, buf_.data() + (pos_ - bufStart_), static_cast<size_t>(n));
            total += n;
            pos_ += n;
            continue;
        }
        if (size - total >= kBufferSize) {
            // A large read goes straight to the file, past the window.
            if (Flush() != RiffError::None)
                return -1;
            const int64_t want = std::min(size - total, size_ - pos_);
            const ssize_t n = ::pread(fd_, out + total, static_cast<size_t>(want), pos_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            total += n;
            pos_ += n;
            continue;
        }
        if (!FillAt(pos_))
            return -1;
        if (buf_.empty())
            break;
    }
    return total;
}

bool RiffFile::ReadExact(void* buffer, int64_t size) {
    return Read(buffer, size) == size;
}

int64_t RiffFile::Write(const void* buffer, int64_t size) {
    if (fd_ < 0 || !writable_ || size < 0)
        return -1;
    const auto* in = static_cast<const unsigned char*>(buffer);
    int64_t done = 0;
    while (done < size) {
        const int64_t bufEnd = bufStart_ + static_cast<int64_t>(buf_.size());
        const int64_t windowEnd = bufStart_ + kBufferSize;
        if (pos_ >= bufStart_ && pos_ <= bufEnd && pos_ < windowEnd) {
            const int64_t n = std::min(size - done, windowEnd - pos_);
            const int64_t at = pos_ - bufStart_;
            if (at + n > static_cast<int64_t>(buf_.size()))
                buf_.resize(static_cast<size_t>(at + n));
            std::memcpy(buf_.data() + at, in + done, static_cast<size_t>(n));
            if (dirtyEnd_ > dirtyBegin_) {
                dirtyBegin_ = std::min(dirtyBegin_, pos_);
                dirtyEnd_ = std::max(dirtyEnd_, pos_ + n);
            } else {
                dirtyBegin_ = pos_;
                dirtyEnd_ = pos_ + n;
            }
            done += n;
            pos_ += n;
            size_ = std::max(size_, pos_);
            continue;
        }
        // Move the window here: the bytes that stand there, or nothing past the end.
        if (pos_ < size_) {
            if (!FillAt(pos_))
                return -1;
        } else {
            if (Flush() != RiffError::None)
                return -1;
            buf_.clear();
            bufStart_ = pos_;
        }
    }
    return size;
}

int64_t RiffFile::Seek(int64_t offset, int whence) {
    if (fd_ < 0)
        return -1;
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = pos_;
    } else if (whence == SEEK_END) {
        base = size_;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
        return -1;
    pos_ = base + offset;
    return pos_;
}

RiffError RiffFile::Truncate() {
    if (fd_ < 0 || !writable_)
        return RiffError::Write;
    if (Flush() != RiffError::None)
        return RiffError::Write;
    if (::ftruncate(fd_, pos_) != 0)
        return RiffError::Write;
    size_ = pos_;
    buf_.clear();
    bufStart_ = pos_;
    return RiffError::None;
}

// Reads the header at the current position when the whole chunk fits before limit.
RiffError RiffFile::ReadHeader(RiffChunk& chunk, int64_t limit) {
    if (pos_ < 0 || limit - pos_ < 8)
        return RiffError::NotFound;
    unsigned char head[8];
    if (!ReadExact(head, 8))
        return RiffError::Read;
    chunk.ckid = GetLE32(head);
    chunk.cksize = GetLE32(head + 4);
    chunk.fccType = 0;
    chunk.dataOffset = pos_;
    chunk.dirty = false;
    if (!IsPlausibleId(chunk.ckid) || static_cast<int64_t>(chunk.cksize) > limit - chunk.dataOffset)
        return RiffError::NotFound;
    if (chunk.ckid == kFourCCRiff || chunk.ckid == kFourCCList) {
        if (chunk.cksize < 4)
            return RiffError::NotFound;
        unsigned char type[4];
        if (!ReadExact(type, 4))
            return RiffError::Read;
        chunk.fccType = GetLE32(type);
    }
    return RiffError::None;
}

RiffError RiffFile::Descend(RiffChunk& chunk, const RiffChunk* parent, RiffFind find) {
    if (fd_ < 0)
        return RiffError::Read;
    const FOURCC wantId = chunk.ckid;
    const FOURCC wantType = chunk.fccType;
    const int64_t limit = parent ? std::min(parent->end(), size_) : size_;
    for (;;) {
        if (stop_ && stop_->load(std::memory_order_relaxed))
            return RiffError::Stopped;
        const RiffError e = ReadHeader(chunk, limit);
        if (e != RiffError::None)
            return e;
        bool match = false;
        switch (find) {
            case RiffFind::Next:
                match = true;
                break;
            case RiffFind::Chunk:
                match = chunk.ckid == wantId;
                break;
            case RiffFind::Riff:
                match = chunk.ckid == kFourCCRiff && chunk.fccType == wantType;
                break;
            case RiffFind::List:
                match = chunk.ckid == kFourCCList && chunk.fccType == wantType;
                break;
        }
        if (match)
            return RiffError::None;
        // Each step moves forward by at least a header, so the walk ends.
        pos_ = chunk.paddedEnd();
    }
}

RiffError RiffFile::Ascend(RiffChunk& chunk) {
    if (fd_ < 0)
        return RiffError::Seek;
    if (chunk.dirty) {
        if (!writable_)
            return RiffError::Write;
        if (pos_ < chunk.dataOffset)
            return RiffError::Seek;
        const int64_t size = pos_ - chunk.dataOffset;
        if (size > std::numeric_limits<uint32_t>::max())
            return RiffError::TooLarge;
        unsigned char field[4];
        PutLE32(field, static_cast<uint32_t>(size));
        pos_ = chunk.dataOffset - 4;
        if (!WriteExact(field, 4))
            return RiffError::Write;
        chunk.cksize = static_cast<uint32_t>(size);
        if (chunk.cksize & 1) {
            pos_ = chunk.end();
            const unsigned char pad = 0;
            if (!WriteExact(&pad, 1))
                return RiffError::Write;
        }
        chunk.dirty = false;
    }
    pos_ = chunk.paddedEnd();
    return RiffError::None;
}

RiffError RiffFile::Create(RiffChunk& chunk, RiffCreate kind) {
    if (fd_ < 0 || !writable_)
        return RiffError::Write;
    if (kind == RiffCreate::Riff)
        chunk.ckid = kFourCCRiff;
    if (kind == RiffCreate::List)
        chunk.ckid = kFourCCList;
    const bool form = kind != RiffCreate::Chunk;
    unsigned char head[12];
    PutLE32(head, chunk.ckid);
    PutLE32(head + 4, form ? std::max<uint32_t>(chunk.cksize, 4) : chunk.cksize);
    PutLE32(head + 8, chunk.fccType);
    const int64_t start = pos_;
    if (!WriteExact(head, form ? 12 : 8))
        return RiffError::Write;
    chunk.dataOffset = start + 8;
    chunk.dirty = true;
    return RiffError::None;
}
