// The lock of the memo list: the named mutex "ECHOMEMOSMUTEX", which the bar creates for
// its whole run. Everything that reads or writes EMLIST.LST holds it meanwhile. Every
// wait is bounded; a wait that runs out leaves the lock unheld and the caller skips its
// step, never touching the list without it.
#pragma once

#include <atomic>
#include <memory>

#include "platform/types.h"

class NamedMutex;

inline constexpr char kEchoMemosMutexName[] = "ECHOMEMOSMUTEX";

// How long each kind of operation waits for the lock.
inline constexpr DWORD kMemoLockBuildWait = 20000;  // building the list, playing due memos
inline constexpr DWORD kMemoLockTrackWait = 5000;   // finding the memo that plays
inline constexpr DWORD kMemoLockLoadWait = 4000;    // loading the list, adding a new memo
inline constexpr DWORD kMemoLockShortWait = 2000;   // sorting, reading one record

class CMemoListLock {
public:
    // Opens the mutex by name (creating it when the bar has not, as for a tool or a test)
    // and waits up to timeoutMs for it. A set cancel flag ends the wait early.
    explicit CMemoListLock(DWORD timeoutMs, const std::atomic<bool>* cancel = nullptr);
    ~CMemoListLock();
    CMemoListLock(const CMemoListLock&) = delete;
    CMemoListLock& operator=(const CMemoListLock&) = delete;

    bool IsHeld() const { return held_; }

private:
    std::unique_ptr<NamedMutex> mutex_;
    bool held_ = false;
};
