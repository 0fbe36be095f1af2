#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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
        ASSERT_TRUE(dir_.isValid());
        runtime_ = dir_.filePath("runtime");
        ASSERT_TRUE(QDir().mkdir(runtime_));
        qputenv("XDG_RUNTIME_DIR", runtime_.toLocal8Bit());
        qputenv("TMPDIR", dir_.filePath("tmp").toLocal8Bit());
        ASSERT_TRUE(QDir().mkdir(dir_.filePath("tmp")));
    }
    void TearDown() override {
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("TMPDIR");
    }
    QTemporaryDir dir_;
    QString runtime_;
};

TEST_F(TempFiles, DirectoriesArePrivateToTheUser) {
    const auto temp = PrivateTempDirectory();
    ASSERT_TRUE(temp);
    EXPECT_EQ(*temp, runtime_ + "/tonedeck/tmp");
    EXPECT_EQ(Mode(runtime_ + "/tonedeck"), 0700u);
    EXPECT_EQ(Mode(*temp), 0700u);
    EXPECT_EQ(PrivateLockDirectory().value_or(""), runtime_ + "/tonedeck/locks");

    // A folder of the user's own that was left open is narrowed.
    ASSERT_EQ(::chmod(QFile::encodeName(*temp).constData(), 0777), 0);
    EXPECT_TRUE(PrivateTempDirectory());
    EXPECT_EQ(Mode(*temp), 0700u);

    // Without a runtime directory the base lies in the temporary directory, named by uid.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = dir_.filePath("tmp/tonedeck-%1").arg(::geteuid());
    EXPECT_EQ(PrivateUserDirectory().value_or(""), fallback);
    EXPECT_EQ(Mode(fallback), 0700u);
}

TEST_F(TempFiles, PlantedDirectoriesAreRefused) {
    qunsetenv("XDG_RUNTIME_DIR");
    const QString base = dir_.filePath("tmp/tonedeck-%1").arg(::geteuid());
    // A link to a directory of the user's own is refused all the same: it was planted.
    const QString target = dir_.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkdir(target));
    ASSERT_TRUE(QFile::link(target, base));
    EXPECT_FALSE(PrivateUserDirectory());
    EXPECT_FALSE(PrivateTempDirectory());
    EXPECT_FALSE(QFileInfo::exists(target + "/tmp"));
    ASSERT_TRUE(QFile::remove(base));

    // A file where the directory should be.
    QFile file(base);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(PrivateUserDirectory());
    ASSERT_TRUE(QFile::remove(base));

    // A directory of somebody else's (only the superuser can make one to test with).
    ASSERT_TRUE(QDir().mkdir(base));
    if (::chown(QFile::encodeName(base).constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "cannot give a directory away";
    EXPECT_FALSE(PrivateUserDirectory());
    EXPECT_FALSE(EnsurePrivateDirectory(base));
}

TEST_F(TempFiles, UniqueFilesAreNewAndBounded) {
    const auto temp = PrivateTempDirectory();
    ASSERT_TRUE(temp);
    QSet<QString> names;
    for (int i = 0; i < 200; ++i) {
        const auto path = CreateUniqueFile(*temp, "VG", ".WAV");
        ASSERT_TRUE(path);
        const QString name = QFileInfo(*path).fileName();
        EXPECT_TRUE(QRegularExpression("^VG[0-9A-F]{1,4}\\.WAV$").match(name).hasMatch())
            << name.toStdString();
        EXPECT_EQ(Mode(*path), 0600u);
        EXPECT_EQ(QFileInfo(*path).size(), 0);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 200) << "no name is handed out twice while its file stands";

    // The bound counts the longest name the call could make, NUL included.
    const std::size_t longest = QFile::encodeName(*temp + "/VGFFFF.WAV").size() + 1;
    EXPECT_TRUE(CreateUniqueFile(*temp, "VG", ".WAV", longest));
    EXPECT_FALSE(CreateUniqueFile(*temp, "VG", ".WAV", longest - 1));
    EXPECT_FALSE(CreateUniqueFile(*temp, "a/b", ".WAV"));
    EXPECT_FALSE(CreateUniqueFile(dir_.filePath("missing"), "VG", ".WAV"));
}

}  // namespace
