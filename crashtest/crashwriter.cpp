// Performs one whole-file rewrite of the system, for the crash tests:
//
//   crashwriter settings FILE POLLSECONDS   the settings record, its poll time changed
//   crashwriter memolist FILE COUNT         a memo list of COUNT records
//   crashwriter note FILE DESCRIPTION       the description and schedule of a memo file
//   crashwriter rmi MIDI RMI                a MIDI file wrapped into an RMI file
//   crashwriter registry VALUE              a value of the registry store
//   crashwriter search FOUND DATA           a finished search published as the data file
//
// With TD_KILL_AFTER=N in its environment the process kills itself with SIGKILL as it is
// about to make its (N+1)th change to any file: a write, a truncation, a sync or a rename.
// Exit status: 0 when the rewrite succeeded, 1 when it failed, 2 for bad arguments.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/registry.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/properties.h"
#include "tdmemo/memolist.h"
#include "tdseek/searchengine.h"

namespace {

std::atomic<long> g_left{-1};

// One change to a file is about to happen.
void Step() {
    const long left = g_left.load();
    if (left < 0)
        return;
    if (left == 0) {
        ::syscall(SYS_kill, ::syscall(SYS_getpid), SIGKILL);
        for (;;)
            ::pause();
    }
    g_left.store(left - 1);
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count) {
    Step();
    return ::syscall(SYS_write, fd, buffer, count);
}
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    Step();
    return ::syscall(SYS_pwrite64, fd, buffer, count, offset);
}
ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset) {
    Step();
    return ::syscall(SYS_pwrite64, fd, buffer, count, offset);
}
ssize_t writev(int fd, const struct iovec* iov, int count) {
    Step();
    return ::syscall(SYS_writev, fd, iov, count);
}
int ftruncate(int fd, off_t length) {
    Step();
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}
int ftruncate64(int fd, off_t length) {
    Step();
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}
int fsync(int fd) {
    Step();
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
int fdatasync(int fd) {
    Step();
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}
int rename(const char* from, const char* to) {
    Step();
    return static_cast<int>(::syscall(SYS_rename, from, to));
}
int renameat(int fromDir, const char* from, int toDir, const char* to) {
    Step();
    return static_cast<int>(::syscall(SYS_renameat, fromDir, from, toDir, to));
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    Step();
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

}  // extern "C"

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    if (const char* kill = std::getenv("TD_KILL_AFTER"))
        g_left.store(std::atol(kill));
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString a = QString::fromLocal8Bit(argv[2]);
    const QString b = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    bool ok = false;
    if (kind == QStringLiteral("settings")) {
        PROPERTIES p = DefaultProperties({0, 0, 56, 480});
        p.nPollSeconds = b.toInt();
        ok = WritePropertiesFile(a, p);
    } else if (kind == QStringLiteral("memolist")) {
        std::vector<ECHOMEMOLISTENTRY> entries(static_cast<std::size_t>(b.toInt()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::memset(&entries[i], 0, sizeof entries[i]);
            SetMemoListPath(&entries[i], QStringLiteral("/memos/m%1.wav").arg(i));
            entries[i].nextTime = static_cast<uint32_t>(1000 + i);
        }
        ok = WriteMemoListFile(a, entries);
    } else if (kind == QStringLiteral("note")) {
        ECHOMEMOSTRUCT memo{};
        memo.frequency = MEMO_DAILY;
        memo.dailyTime = 3600;
        memo.dailyDays = 127;
        const QByteArray text = b.toLocal8Bit();
        ok = AddNoteInfoToRIFFFile(a, WAVEFILETYPE_ECHOMEMO, text.constData(), &memo,
                                   SOUNDFILETYPE_WAV) != 0;
    } else if (kind == QStringLiteral("rmi")) {
        ok = CreateRMIDFile(a, b) != 0;
    } else if (kind == QStringLiteral("registry")) {
        auto key = RegKey::Create(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck"));
        ok = key && key->SetString(QStringLiteral("Value"), a);
    } else if (kind == QStringLiteral("search")) {
        ok = PublishSearchFile(a, b);
    } else {
        return 2;
    }
    return ok ? 0 : 1;
}
