#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "platform/namedlock.h"

namespace {

// The test program doubles as the other process: started with TONEDECK_LOCK_CHILD set it
// plays one part and exits before any test runs.
//   open NAME TIMEOUT     exit 0 when it got the mutex, 1 on time-out, 3 when Open failed
//   hold NAME             take the mutex, say "held", keep it until stdin closes
//   instance NAME DISPLAY say "held" or "busy"; a holder keeps the lock until stdin closes
int RunChild(const std::string& role, const QString& name, const QString& arg) {
    if (role == "open") {
        auto mutex = NamedMutex::Open(name);
        if (!mutex)
            return 3;
        return mutex->Wait(arg.toUInt()) ? 0 : 1;
    }
    std::string line;
    if (role == "hold") {
        auto mutex = NamedMutex::Open(name);
        if (!mutex)
            return 3;
        if (!mutex->Wait(10000))
            return 1;
        std::cout << "held" << std::endl;
        std::getline(std::cin, line);
        return mutex->Release() ? 0 : 2;
    }
    if (role == "instance") {
        SingleInstanceLock lock(name, arg);
        const bool held = lock.TryAcquire();
        std::cout << (held ? "held" : "busy") << std::endl;
        if (held)
            std::getline(std::cin, line);
        return 0;
    }
    return 9;
}

const bool g_isChild = [] {
    const char* spec = std::getenv("TONEDECK_LOCK_CHILD");
    if (!spec)
        return false;
    const QStringList words = QString::fromLocal8Bit(spec).split(u' ');
    const int rc = RunChild(words.value(0).toStdString(), words.value(1), words.value(2));
    std::fflush(stdout);
    ::_exit(rc);
}();

class NamedLock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    }
    void TearDown() override {
        for (QProcess* p : children_) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // Starts the test program in one of its child parts.
    QProcess* Start(const QString& words) {
        auto* p = new QProcess;
        children_.push_back(p);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TONEDECK_LOCK_CHILD", words);
        p->setProcessEnvironment(env);
        p->start(QFile::symLinkTarget("/proc/self/exe"), {});
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    static QString ReadLine(QProcess* p) {
        while (!p->canReadLine() && p->waitForReadyRead(10000)) {
        }
        return QString::fromLocal8Bit(p->readLine()).trimmed();
    }
    static int ExitCode(QProcess* p) {
        EXPECT_TRUE(p->waitForFinished(20000));
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }
    int RunOpen(const QString& name, int timeoutMs) {
        return ExitCode(Start(QStringLiteral("open %1 %2").arg(name).arg(timeoutMs)));
    }

    QTemporaryDir dir_;
    std::vector<QProcess*> children_;
};

TEST_F(NamedLock, OpenFindsOnlyNamesSomeoneHolds) {
    EXPECT_FALSE(NamedMutex::Open("ECHOMEMOSMUTEX"));
    EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 0), 3);
    {
        auto created = NamedMutex::Create("ECHOMEMOSMUTEX");
        ASSERT_TRUE(created);
        EXPECT_FALSE(created->AlreadyExisted());
        auto again = NamedMutex::Create("ECHOMEMOSMUTEX", true);
        ASSERT_TRUE(again);
        EXPECT_TRUE(again->AlreadyExisted());
        EXPECT_TRUE(NamedMutex::Open("ECHOMEMOSMUTEX"));
        EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 0), 0) << "created unowned, and again not owned";
        EXPECT_EQ(RunOpen("echomemosmutex", 0), 3) << "names are case-sensitive";
    }
    // Every handle closed: the name is gone, though its files remain.
    EXPECT_FALSE(NamedMutex::Open("ECHOMEMOSMUTEX"));
    EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 0), 3);
    // Names that are no file names are still names.
    auto odd = NamedMutex::Create("../a b/Ü");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(NamedMutex::Open("../a b/Ü"));
    EXPECT_FALSE(NamedMutex::Open("../a b/U"));
}

TEST_F(NamedLock, OwnershipCrossesProcesses) {
    auto mine = NamedMutex::Create("AUDIOMESSAGINGMUTEX", true);
    ASSERT_TRUE(mine);
    EXPECT_EQ(RunOpen("AUDIOMESSAGINGMUTEX", 50), 1) << "owned here from creation";
    ASSERT_TRUE(mine->Release());
    EXPECT_FALSE(mine->Release()) << "nothing left to release";

    QProcess* holder = Start("hold AUDIOMESSAGINGMUTEX");
    ASSERT_EQ(ReadLine(holder), "held");
    EXPECT_FALSE(mine->Wait(50));
    holder->closeWriteChannel();  // the holder releases and exits
    EXPECT_TRUE(mine->Wait(10000));
    EXPECT_EQ(ExitCode(holder), 0);
    EXPECT_EQ(RunOpen("AUDIOMESSAGINGMUTEX", 50), 1);
    ASSERT_TRUE(mine->Release());

    // A holder that dies without releasing gives the mutex up with its life.
    QProcess* killed = Start("hold AUDIOMESSAGINGMUTEX");
    ASSERT_EQ(ReadLine(killed), "held");
    EXPECT_FALSE(mine->Wait(0));
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(10000));
    EXPECT_TRUE(mine->Wait(10000));
    ASSERT_TRUE(mine->Release());
}

TEST_F(NamedLock, OneOwningThreadMayWaitAgain) {
    auto mutex = NamedMutex::Create("ECHOMEMOSMUTEX");
    auto other = NamedMutex::Open("ECHOMEMOSMUTEX");
    ASSERT_TRUE(mutex && other);
    ASSERT_TRUE(mutex->Wait(0));
    ASSERT_TRUE(other->Wait(0)) << "another handle of the same mutex, same thread";
    ASSERT_TRUE(mutex->Release());

    std::atomic<int> stage{0};
    std::atomic<bool> gotWhileOwned{true}, gotAfter{false}, foreignRelease{true};
    std::thread thread([&] {
        auto handle = NamedMutex::Open("ECHOMEMOSMUTEX");
        foreignRelease = handle->Release();
        gotWhileOwned = handle->Wait(50);
        stage = 1;
        while (stage != 2)
            std::this_thread::yield();
        gotAfter = handle->Wait(10000);
        if (gotAfter)
            handle->Release();
    });
    while (stage != 1)
        std::this_thread::yield();
    EXPECT_FALSE(foreignRelease) << "a thread cannot release what another owns";
    EXPECT_FALSE(gotWhileOwned) << "still owned once: two waits, one release";
    ASSERT_TRUE(other->Release());
    stage = 2;
    thread.join();
    EXPECT_TRUE(gotAfter);
    EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 1000), 0) << "the thread released it";
}

TEST_F(NamedLock, OneCopyPerDesktop) {
    EXPECT_EQ(SingleInstanceLock::Desktop("unix:0.1"), ":0");
    EXPECT_EQ(SingleInstanceLock::Desktop("localhost:10.0"), ":10");
    EXPECT_EQ(SingleInstanceLock::Desktop("box:2"), "box:2");

    SingleInstanceLock first("TONEDECK_INSTANCE", ":7");
    ASSERT_TRUE(first.TryAcquire());
    SingleInstanceLock second("TONEDECK_INSTANCE", ":7.0");
    EXPECT_FALSE(second.TryAcquire()) << "the same desktop, even within one process";
    EXPECT_EQ(ReadLine(Start("instance TONEDECK_INSTANCE :7")), "busy");

    QProcess* other = Start("instance TONEDECK_INSTANCE :8");
    EXPECT_EQ(ReadLine(other), "held") << "another desktop runs its own copy";
    SingleInstanceLock eight("TONEDECK_INSTANCE", ":8");
    EXPECT_FALSE(eight.TryAcquire());
    other->kill();
    ASSERT_TRUE(other->waitForFinished(10000));
    EXPECT_TRUE(eight.TryAcquire());

    first.Release();
    EXPECT_TRUE(second.TryAcquire());
}

}  // namespace
