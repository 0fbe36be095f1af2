#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/tempfile.h"

namespace {

mode_t Mode(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

class TempFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid() && QDir().mkdir(dir_.filePath("tmp")));
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
        qputenv("TMPDIR", dir_.filePath("tmp").toLocal8Bit());
    }
    void TearDown() override {
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("TMPDIR");
    }
    QTemporaryDir dir_;
    // Where the base lies without a runtime directory.
    QString fallback_ = dir_.filePath("tmp/tonedeck-%1").arg(::geteuid());
};

TEST_F(TempFiles, DirectoriesArePrivateToTheUser) {
    const auto temp = PrivateTempDirectory();
    ASSERT_EQ(temp.value_or(""), dir_.filePath("tonedeck/tmp"));
    EXPECT_EQ(Mode(dir_.filePath("tonedeck")), 0700u);
    ASSERT_EQ(::chmod(QFile::encodeName(*temp).constData(), 0777), 0);
    EXPECT_TRUE(PrivateTempDirectory());
    EXPECT_EQ(Mode(*temp), 0700u) << "a folder of the user's own left open is narrowed";

    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PrivateLockDirectory().value_or(""), fallback_ + "/locks");
    EXPECT_EQ(Mode(fallback_), 0700u);
}

TEST_F(TempFiles, PlantedDirectoriesAreRefused) {
    qunsetenv("XDG_RUNTIME_DIR");
    // A link is refused even when it leads to a directory of the user's own.
    ASSERT_TRUE(QDir().mkdir(dir_.filePath("elsewhere")));
    ASSERT_TRUE(QFile::link(dir_.filePath("elsewhere"), fallback_));
    EXPECT_FALSE(PrivateTempDirectory());
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("elsewhere/tmp")));
    // The refusal says what is wrong and where, not that something is busy.
    QString problem = PrivateDirectoryProblem();
    EXPECT_TRUE(problem.contains(fallback_) && problem.contains("symbolic link"))
        << problem.toStdString();
    ASSERT_TRUE(QFile::remove(fallback_));
    EXPECT_EQ(PrivateDirectoryProblem(), QString());

    ASSERT_TRUE(QDir().rmdir(fallback_ + "/tmp") && QDir().rmdir(fallback_ + "/locks") &&
                QDir().rmdir(fallback_));
    ASSERT_TRUE(QDir().mkdir(fallback_));
    if (::chown(QFile::encodeName(fallback_).constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "only the superuser can give a directory away";
    EXPECT_FALSE(PrivateUserDirectory()) << "somebody else's directory";
    problem = PrivateDirectoryProblem();
    EXPECT_TRUE(problem.contains(fallback_) && problem.contains("belongs to user 65534"))
        << problem.toStdString();
}

TEST_F(TempFiles, UniqueFilesAreNewAndBounded) {
    const QString temp = PrivateTempDirectory().value_or("");
    ASSERT_FALSE(temp.isEmpty());
    QFile planted(temp + "/VG1.WAV");
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write("x");
    planted.close();
    QSet<QString> names;
    for (int i = 0; i < 100; ++i)
        names.insert(CreateUniqueFile(temp, "VG", ".WAV").value_or(""));
    EXPECT_EQ(names.size(), 100);
    EXPECT_FALSE(names.contains(planted.fileName()) || names.contains(""));
    EXPECT_EQ(planted.size(), 1) << "an existing file is never handed out";
    EXPECT_EQ(Mode(*names.begin()), 0600u);

    // The bound counts the longest name the call could make, NUL included.
    const std::size_t longest = QFile::encodeName(temp + "/VGFFFF.WAV").size() + 1;
    EXPECT_TRUE(CreateUniqueFile(temp, "VG", ".WAV", longest));
    EXPECT_FALSE(CreateUniqueFile(temp, "VG", ".WAV", longest - 1));
    EXPECT_FALSE(CreateUniqueFile(temp, "a/b", ".WAV"));
}

}  // namespace
