#include "platform/namedlock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/tempfile.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lock names become file names: letters, digits, '_', '-' and '.' stay, every other byte
// of the name's UTF-8 is written %XX. Names that would make too long a file are refused.
std::optional<QString> FileName(const QString& name, const char* ending) {
    if (name.isEmpty())
        return std::nullopt;
    QString out;
    for (const char c : name.toUtf8()) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                           (b >= '0' && b <= '9') || b == '_' || b == '-' ||
                           (b == '.' && !out.isEmpty());
        if (plain)
            out += QChar(b);
        else
            out += QStringLiteral("%%1").arg(b, 2, 16, QChar(u'0')).toUpper();
    }
    out += QString::fromLatin1(ending);
    if (out.size() > 240)
        return std::nullopt;
    return out;
}

int OpenLockFile(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                  0600);
}

// Tries flock(op | LOCK_NB) until it succeeds or the deadline passes, sleeping a little
// longer after each refusal.
bool FlockUntil(int fd, int op, Clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, op | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
}

// How long creating or opening a name may wait for another process doing the same.
constexpr auto kGuardWait = std::chrono::seconds(2);

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

// What one process knows of one mutex: the lock file it holds while a thread of the
// process owns the mutex, the marker it holds shared while it has handles, and which of
// its threads owns the mutex how many times.
struct NamedMutex::State {
    ~State() {
        if (lockFd >= 0)
            ::close(lockFd);
        if (markerFd >= 0)
            ::close(markerFd);
    }
    int lockFd = -1;
    int markerFd = -1;
    std::mutex m;
    std::condition_variable cv;
    std::thread::id owner;
    unsigned count = 0;
    bool acquiring = false;  // a thread of the process is after the lock file
};

namespace {

std::mutex g_statesMutex;
std::map<QString, std::weak_ptr<NamedMutex::State>> g_states;

}  // namespace

NamedMutex::NamedMutex(QString name, std::shared_ptr<State> state, bool existed)
    : name_(std::move(name)), state_(std::move(state)), existed_(existed) {}

NamedMutex::~NamedMutex() = default;

std::unique_ptr<NamedMutex> NamedMutex::Create(const QString& name, bool initiallyOwned) {
    return Get(name, true, initiallyOwned);
}

std::unique_ptr<NamedMutex> NamedMutex::Open(const QString& name) {
    return Get(name, false, false);
}

std::unique_ptr<NamedMutex> NamedMutex::Get(const QString& name, bool create, bool initiallyOwned) {
    const auto lockName = FileName(name, ".lock");
    const auto markerName = FileName(name, ".name");
    const auto dir = PrivateLockDirectory();
    if (!lockName || !markerName || !dir)
        return nullptr;
    const QString lockPath = *dir + u'/' + *lockName;

    std::lock_guard statesLock(g_statesMutex);
    if (const auto it = g_states.find(lockPath); it != g_states.end()) {
        if (auto state = it->second.lock())
            return std::unique_ptr<NamedMutex>(new NamedMutex(name, std::move(state), true));
    }

    // Whether any other process holds the name is asked of its marker: every holder keeps
    // it locked shared, so an exclusive lock succeeds only when nobody does. The guard
    // keeps two processes from asking and answering at the same moment.
    Fd guard(OpenLockFile(*dir + QStringLiteral("/names.guard")));
    if (guard.get() < 0 || !FlockUntil(guard.get(), LOCK_EX, Clock::now() + kGuardWait))
        return nullptr;
    Fd marker(OpenLockFile(*dir + u'/' + *markerName));
    if (marker.get() < 0)
        return nullptr;
    bool existed = false;
    if (::flock(marker.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return nullptr;
        existed = true;
    }
    if (!existed && !create)
        return nullptr;
    if (::flock(marker.get(), LOCK_SH | LOCK_NB) != 0)
        return nullptr;
    Fd lockFile(OpenLockFile(lockPath));
    if (lockFile.get() < 0)
        return nullptr;

    auto state = std::make_shared<State>();
    state->markerFd = marker.release();
    state->lockFd = lockFile.release();
    if (initiallyOwned && !existed && ::flock(state->lockFd, LOCK_EX | LOCK_NB) == 0) {
        state->owner = std::this_thread::get_id();
        state->count = 1;
    }
    g_states[lockPath] = state;
    return std::unique_ptr<NamedMutex>(new NamedMutex(name, std::move(state), existed));
}

bool NamedMutex::Wait(DWORD timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto me = std::this_thread::get_id();
    State& s = *state_;
    std::unique_lock lock(s.m);
    if (s.owner == me) {
        ++s.count;
        return true;
    }
    // Threads of this process take turns at the lock file; flock would let them share it.
    if (!s.cv.wait_until(lock, deadline,
                         [&] { return s.owner == std::thread::id() && !s.acquiring; }))
        return false;
    s.acquiring = true;
    lock.unlock();
    const bool got = FlockUntil(s.lockFd, LOCK_EX, deadline);
    lock.lock();
    s.acquiring = false;
    if (got) {
        s.owner = me;
        s.count = 1;
    } else {
        s.cv.notify_all();
    }
    return got;
}

bool NamedMutex::Release() {
    State& s = *state_;
    std::lock_guard lock(s.m);
    if (s.owner != std::this_thread::get_id() || s.count == 0)
        return false;
    if (--s.count == 0) {
        ::flock(s.lockFd, LOCK_UN);
        s.owner = std::thread::id();
        s.cv.notify_all();
    }
    return true;
}

SingleInstanceLock::SingleInstanceLock(const QString& name, const QString& display)
    : name_(name), desktop_(Desktop(display)) {}

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : SingleInstanceLock(name, [] {
          QByteArray display = qgetenv("DISPLAY");
          if (display.isEmpty())
              display = qgetenv("WAYLAND_DISPLAY");
          return QString::fromLocal8Bit(display);
      }()) {}

SingleInstanceLock::~SingleInstanceLock() {
    Release();
}

bool SingleInstanceLock::TryAcquire() {
    if (fd_ >= 0)
        return true;
    const auto fileName = FileName(name_ + u'@' + desktop_, ".instance");
    const auto dir = PrivateLockDirectory();
    if (!fileName || !dir)
        return false;
    Fd fd(OpenLockFile(*dir + u'/' + *fileName));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    fd_ = fd.release();
    return true;
}

void SingleInstanceLock::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

QString SingleInstanceLock::Desktop(const QString& display) {
    const qsizetype colon = display.lastIndexOf(u':');
    if (colon < 0)
        return display;
    QString host = display.left(colon);
    QString number = display.mid(colon + 1);
    const qsizetype dot = number.indexOf(u'.');
    if (dot >= 0)
        number.truncate(dot);
    bool numeric = false;
    number.toUInt(&numeric);
    if (!numeric)
        return display;
    if (host == QStringLiteral("unix") || host == QStringLiteral("localhost"))
        host.clear();
    return host + u':' + number;
}
