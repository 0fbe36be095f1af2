#include "platform/process.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kExecWaitMs = 5000;

void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        p += done;
        n -= static_cast<size_t>(done);
    }
}

}  // namespace

bool StartDetachedWithInput(const QString& program, const QStringList& args,
                            const QByteArray& input) {
    // Everything the child needs is prepared before fork: it only calls async-safe
    // functions afterwards.
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int in[2], status[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(status, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        for (int fd : {in[0], in[1], status[0], status[1]})
            ::close(fd);
        return false;
    }
    if (child == 0) {
        // The first child starts a session and forks the program, then leaves at once,
        // so the program is adopted by init and never becomes our zombie.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        ::dup2(in[0], STDIN_FILENO);  // dup2 clears close-on-exec on the copy
        ::signal(SIGPIPE, SIG_DFL);
        ::execvp(argv[0], argv.data());
        const int why = errno;
        WriteAll(status[1], reinterpret_cast<const char*>(&why), sizeof why);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(status[1]);
    int rc = 0;
    while (::waitpid(child, &rc, 0) < 0 && errno == EINTR) {
    }
    // The status pipe closes on a successful exec; an errno arrives when it failed.
    bool started = false;
    pollfd p{status[0], POLLIN, 0};
    if (::poll(&p, 1, kExecWaitMs) > 0) {
        int why = 0;
        const ssize_t n = ::read(status[0], &why, sizeof why);
        started = n == 0;
    }
    ::close(status[0]);
    if (started) {
        // A program that does not read its input must not stop us: SIGPIPE is ignored
        // for the write and the pipe is non-blocking.
        struct sigaction ignore {
        }, old{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &old);
        ::fcntl(in[1], F_SETFL, O_NONBLOCK);
        WriteAll(in[1], input.constData(), static_cast<size_t>(input.size()));
        ::sigaction(SIGPIPE, &old, nullptr);
    }
    ::close(in[1]);
    return started;
}
