#include "platform/trace.h"

#include <QFile>

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex g_traceMutex;
TraceHook g_hook;

}  // namespace

void Trace(const QString& line) {
    TraceHook hook;
    {
        std::lock_guard lock(g_traceMutex);
        hook = g_hook;
        const QByteArray target = qgetenv("TONEDECK_TRACE");
        if (!target.isEmpty() && target != "0") {
            const QByteArray bytes = line.toLocal8Bit();
            if (target == "1") {
                std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
                std::fflush(stderr);
            } else {
                QFile file(QFile::decodeName(target));
                if (file.open(QIODevice::WriteOnly | QIODevice::Append))
                    file.write(bytes);
            }
        }
    }
    // The hook runs outside the lock so that it may trace in turn.
    if (hook)
        hook(line);
}

void Trace(const char* line) {
    Trace(QString::fromLocal8Bit(line ? line : ""));
}

TraceHook SetTraceHook(TraceHook hook) {
    std::lock_guard lock(g_traceMutex);
    return std::exchange(g_hook, std::move(hook));
}
