#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

struct Outcome {
    bool killed = false;
    int status = -1;
};

// Runs the writer, killing it as it is about to make change number killAfter + 1 to a
// file (killAfter < 0: never).
Outcome RunWriter(const QStringList& args, long killAfter, const QString& registry) {
    std::vector<std::string> words{TD_CRASHWRITER};
    for (const QString& a : args)
        words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string kill = std::to_string(killAfter);
    const std::string dir = registry.toStdString();
    const pid_t child = ::fork();
    if (child == 0) {
        if (killAfter >= 0)
            ::setenv("TD_KILL_AFTER", kill.c_str(), 1);
        else
            ::unsetenv("TD_KILL_AFTER");
        ::setenv("TONEDECK_REGISTRY_DIR", dir.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome outcome;
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return outcome;
    outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

class CrashSafety : public ::testing::Test {
protected:
    // Runs the rewrite once to learn the new file, then again from the old file killed at
    // every point in turn: the file must then be the old one or the new one, whole.
    void KillAtEveryPoint(const QString& file, const QByteArray& old, const QStringList& args,
                          const std::function<void()>& prepare = {}) {
        Write(file, old);
        if (prepare)
            prepare();
        const Outcome whole = RunWriter(args, -1, dir.path());
        ASSERT_FALSE(whole.killed);
        ASSERT_EQ(whole.status, 0);
        const QByteArray fresh = Read(file);
        ASSERT_NE(fresh, old);
        int kills = 0;
        for (long n = 0; n < 5000; ++n) {
            Write(file, old);
            if (prepare)
                prepare();
            const Outcome o = RunWriter(args, n, dir.path());
            const QByteArray now = Read(file);
            if (!o.killed) {
                EXPECT_EQ(o.status, 0);
                EXPECT_EQ(now, fresh) << "after " << n << " changes";
                break;
            }
            ++kills;
            EXPECT_TRUE(now == old || now == fresh)
                << "killed after " << n << " changes: " << now.size() << " bytes, old "
                << old.size() << ", new " << fresh.size();
            if (now != old && now != fresh)
                return;
        }
        EXPECT_GT(kills, 0);
    }
    QTemporaryDir dir;
};

QByteArray Le32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray Wave(int bytes) {
    QByteArray fmt = QByteArray("\x01\x00\x01\x00", 4) + Le32(11025) + Le32(11025) +
                     QByteArray("\x01\x00\x08\x00", 4);
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        data[i] = char(i * 13);
    QByteArray body = "WAVEfmt " + Le32(16) + fmt + "data" + Le32(bytes) + data;
    return "RIFF" + Le32(body.size()) + body;
}

TEST_F(CrashSafety, TheSettingsFile) {
    const QString file = dir.filePath("TDPROP.PRP");
    QByteArray old(2140, 'o');
    KillAtEveryPoint(file, old, {"settings", file, "77"});
}

TEST_F(CrashSafety, TheMemoList) {
    const QString file = dir.filePath("EMLIST.LST");
    KillAtEveryPoint(file, QByteArray(3 * 600, 'o'), {"memolist", file, "200"});
}

TEST_F(CrashSafety, AMemoFilesChunks) {
    const QString file = dir.filePath("memo.wav");
    // A large sound, so the new file takes many writes, and a foreign chunk after it.
    const QByteArray old = Wave(300001) + "LIST" + Le32(4) + "INFO";
    KillAtEveryPoint(file, old, {"note", file, "Water the plants"});
}

TEST_F(CrashSafety, AnRmiFileWrappedOverAnOldOne) {
    const QString midi = dir.filePath("song.mid");
    QByteArray song = "MThd" + Le32(6) + QByteArray(200000, 'm');
    Write(midi, song);
    const QString file = dir.filePath("song.rmi");
    KillAtEveryPoint(file, "RIFF" + Le32(4) + "RMID", {"rmi", midi, file});
}

TEST_F(CrashSafety, TheSearchDataFile) {
    // A finished search of 400 records (several blocks of the copy) over an older one.
    const QString found = dir.filePath("found.tmp");
    QByteArray records;
    for (int i = 0; i < 400; ++i) {
        QByteArray record(792, '\0');
        const QByteArray name = "sound" + QByteArray::number(i) + ".wav";
        record.replace(0, name.size(), name);
        record.replace(532, 7 + name.size(), "/songs/" + name);
        records += record;
    }
    Write(found, records);
    const QString file = dir.filePath("TDSEARCH.PRP");
    QByteArray old(3 * 792, 'o');
    KillAtEveryPoint(file, old, {"search", found, file});
    EXPECT_EQ(Read(found), records) << "the finished search is left as it was";
}

TEST_F(CrashSafety, TheRegistryStore) {
    const QString file = dir.filePath("user.ini");
    QByteArray old = "[SOFTWARE\\Tonedeck]\nRootPath=/td\n";
    for (int i = 0; i < 2000; ++i)
        old += "Other" + QByteArray::number(i) + "=" + QByteArray(40, 'v') + "\n";
    KillAtEveryPoint(file, old, {"registry", "new value"});
}

}  // namespace
