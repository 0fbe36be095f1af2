// Named locks shared by the user's processes: lock files in the private lock folder
// (platform/tempfile.h) held with flock, so the system drops a lock when its holder dies.
#pragma once

#include <QString>

#include <memory>

#include "platform/types.h"

// A mutex known by name to every process of the user, owned by one thread at a time.
// The owning thread may wait on it again; it stays owned until released as many times.
// Every handle to the same name in one process refers to the same mutex. The name
// exists while any process holds a handle to it: Open fails for a name nobody created
// or whose handles have all been closed. Closing the last handle of a process gives up
// what the process owned; so does the process's death.
class NamedMutex {
public:
    // A handle to the mutex, created when missing. initiallyOwned makes the calling thread
    // its owner, but only when this call created it. nullptr when the lock folder is
    // refused or the name cannot be a file name.
    static std::unique_ptr<NamedMutex> Create(const QString& name, bool initiallyOwned = false);
    // A handle to an existing mutex; nullptr when the name does not exist.
    static std::unique_ptr<NamedMutex> Open(const QString& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Waits up to timeoutMs for ownership; true when the calling thread owns the mutex.
    bool Wait(DWORD timeoutMs);
    // Gives up one count of the calling thread's ownership; false when it owns nothing.
    bool Release();
    // True when Create found the mutex already there (and for every Open).
    bool AlreadyExisted() const { return existed_; }
    const QString& name() const { return name_; }

    struct State;

private:
    NamedMutex(QString name, std::shared_ptr<State> state, bool existed);
    static std::unique_ptr<NamedMutex> Get(const QString& name, bool create, bool initiallyOwned);

    QString name_;
    std::shared_ptr<State> state_;
    bool existed_;
};

// One copy per desktop: a lock named after the program and the X display. Two holders
// never exist at once, whether in two processes or in one.
class SingleInstanceLock {
public:
    SingleInstanceLock(const QString& name, const QString& display);
    // For the desktop this process runs on ($DISPLAY, else $WAYLAND_DISPLAY).
    explicit SingleInstanceLock(const QString& name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock without waiting; true when this is now the holder (or already was).
    bool TryAcquire();
    void Release();
    bool IsHeld() const { return fd_ >= 0; }

    // The desktop a display name stands for: the host (none for the local machine,
    // "unix" or "localhost") and the display number, without the screen: "unix:0.1"
    // and ":0" are the same desktop.
    static QString Desktop(const QString& display);

private:
    QString name_;
    QString desktop_;
    int fd_ = -1;
};
