#include "tdmemo/memolistlock.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>

#include "platform/namedlock.h"

CMemoListLock::CMemoListLock(DWORD timeoutMs, const std::atomic<bool>* cancel) {
    const QString name = QString::fromLatin1(kEchoMemosMutexName);
    mutex_ = NamedMutex::Open(name);
    if (!mutex_)
        mutex_ = NamedMutex::Create(name);
    if (!mutex_)
        return;
    // Waits in slices so that a controller going away need not sit out the whole wait.
    constexpr qint64 kSlice = 100;
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        const qint64 left = qint64(timeoutMs) - elapsed.elapsed();
        if (left <= 0 || (cancel && cancel->load()))
            return;
        if (mutex_->Wait(static_cast<DWORD>(std::min(left, kSlice)))) {
            held_ = true;
            return;
        }
    }
}

CMemoListLock::~CMemoListLock() {
    if (held_)
        mutex_->Release();
}
