#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "platform/namedlock.h"

namespace {

// The test program doubles as the other process: with TONEDECK_LOCK_CHILD set it plays
// one part and exits before any test runs.
//   open NAME MS         exit 0 when it got the mutex within MS, 1 if not, 3 when Open failed
//   hold NAME            take the mutex, say "held", release it when stdin closes
//   instance NAME DISP   say "held" or "busy"; a holder keeps the lock until stdin closes
int RunChild(const QStringList& w) {
    std::string line;
    if (w[0] == "instance") {
        SingleInstanceLock lock(w[1], w[2]);
        const bool held = lock.TryAcquire();
        std::cout << (held ? "held" : "busy") << std::endl;
        if (held)
            std::getline(std::cin, line);
        return 0;
    }
    auto mutex = NamedMutex::Open(w[1]);
    if (!mutex)
        return 3;
    if (w[0] == "open")
        return mutex->Wait(w[2].toUInt()) ? 0 : 1;
    if (!mutex->Wait(10000))
        return 1;
    std::cout << "held" << std::endl;
    std::getline(std::cin, line);
    return mutex->Release() ? 0 : 2;
}

const bool g_isChild = [] {
    if (const char* words = std::getenv("TONEDECK_LOCK_CHILD"))
        ::_exit(RunChild(QString::fromLocal8Bit(words).split(u' ')));
    return false;
}();

class NamedLock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    }
    void TearDown() override {
        for (auto& p : children_)
            p->kill(), p->waitForFinished(5000);
        qunsetenv("XDG_RUNTIME_DIR");
    }
    QProcess* Start(const QString& words) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TONEDECK_LOCK_CHILD", words);
        auto& p = children_.emplace_back(std::make_unique<QProcess>());
        p->setProcessEnvironment(env);
        p->start(QFile::symLinkTarget("/proc/self/exe"), {});
        EXPECT_TRUE(p->waitForStarted(10000));
        return p.get();
    }
    static QString ReadLine(QProcess* p) {
        while (!p->canReadLine() && p->waitForReadyRead(10000)) {
        }
        return QString::fromLocal8Bit(p->readLine()).trimmed();
    }
    int RunOpen(const QString& name, int ms) {
        QProcess* p = Start(QStringLiteral("open %1 %2").arg(name).arg(ms));
        EXPECT_TRUE(p->waitForFinished(20000));
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }

    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> children_;
};

TEST_F(NamedLock, NamesLiveWhileSomeoneHoldsThem) {
    EXPECT_FALSE(NamedMutex::Open("ECHOMEMOSMUTEX"));
    {
        auto created = NamedMutex::Create("ECHOMEMOSMUTEX");
        ASSERT_TRUE(created);
        EXPECT_FALSE(created->AlreadyExisted());
        auto again = NamedMutex::Create("ECHOMEMOSMUTEX", true);
        EXPECT_TRUE(again->AlreadyExisted());
        EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 0), 0) << "created unowned, and again not owned";
        EXPECT_EQ(RunOpen("echomemosmutex", 0), 3) << "names are case-sensitive";
    }
    EXPECT_EQ(RunOpen("ECHOMEMOSMUTEX", 0), 3) << "every handle closed: the name is gone";
    auto odd = NamedMutex::Create("../a b/Ü");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(NamedMutex::Open("../a b/Ü"));
    EXPECT_FALSE(NamedMutex::Open("../a b/U"));
}

TEST_F(NamedLock, OwnershipCrossesProcessesAndDiesWithTheHolder) {
    auto mine = NamedMutex::Create("AUDIOMESSAGINGMUTEX", true);
    ASSERT_TRUE(mine);
    EXPECT_EQ(RunOpen("AUDIOMESSAGINGMUTEX", 50), 1) << "owned here from creation";
    ASSERT_TRUE(mine->Release());
    EXPECT_FALSE(mine->Release());

    QProcess* holder = Start("hold AUDIOMESSAGINGMUTEX");
    ASSERT_EQ(ReadLine(holder), "held");
    EXPECT_FALSE(mine->Wait(50));
    holder->closeWriteChannel();  // the holder releases and exits
    EXPECT_TRUE(mine->Wait(10000));
    ASSERT_TRUE(mine->Release());

    QProcess* killed = Start("hold AUDIOMESSAGINGMUTEX");
    ASSERT_EQ(ReadLine(killed), "held");
    EXPECT_FALSE(mine->Wait(0));
    killed->kill();
    EXPECT_TRUE(mine->Wait(10000)) << "a holder that dies gives the mutex up";
}

TEST_F(NamedLock, TheOwningThreadMayWaitAgain) {
    auto mutex = NamedMutex::Create("ECHOMEMOSMUTEX");
    auto other = NamedMutex::Open("ECHOMEMOSMUTEX");
    ASSERT_TRUE(mutex->Wait(0));
    ASSERT_TRUE(other->Wait(0)) << "another handle of the same mutex, same thread";
    ASSERT_TRUE(mutex->Release());

    std::atomic<int> stage{0};
    std::atomic<bool> gotWhileOwned{true}, gotAfter{false}, foreignRelease{true};
    std::thread thread([&] {
        auto handle = NamedMutex::Open("ECHOMEMOSMUTEX");
        foreignRelease = handle->Release();
        gotWhileOwned = handle->Wait(50);
        for (stage = 1; stage != 2;)
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
