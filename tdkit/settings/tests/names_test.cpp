#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstring>

#include "platform/drives.h"
#include "platform/registry.h"
#include "platform/strings.h"
#include "tdkit/settings/names.h"
#include "tdkit/settings/strings.h"

namespace {

class Names : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("registry").toLocal8Bit());
        ASSERT_TRUE(RegKey::Create(RegRoot::CurrentUser, kDrivesParentKey));
        runtime_ = dir_.filePath("runtime");
        ASSERT_TRUE(QDir().mkdir(runtime_));
        qputenv("XDG_RUNTIME_DIR", runtime_.toLocal8Bit());
        QFile mounts(dir_.filePath("mountinfo"));
        ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
        mounts.write(
            "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
            "2 1 0:50 / /srv/music rw - nfs4 fileserver:/export/music rw\n"
            "3 1 8:3 / /srv/music/local rw - ext4 /dev/sda3 rw\n"
            "4 1 0:51 / /mnt/office rw - cifs //nas/office rw\n");
        mounts.close();
        qputenv("TONEDECK_MOUNTINFO", mounts.fileName().toLocal8Bit());
        qputenv("TONEDECK_UDEV_DATA", dir_.filePath("none").toLocal8Bit());
        qputenv("TONEDECK_SYSFS", dir_.filePath("none").toLocal8Bit());
        qputenv("TONEDECK_DISK_BY_UUID", dir_.filePath("none").toLocal8Bit());
        std::memset(out_, 'x', sizeof out_);
        out_[sizeof out_ - 1] = 0;
    }
    void TearDown() override {
        for (const char* name : {"TONEDECK_REGISTRY_DIR", "XDG_RUNTIME_DIR", "TONEDECK_MOUNTINFO",
                                 "TONEDECK_UDEV_DATA", "TONEDECK_SYSFS", "TONEDECK_DISK_BY_UUID"})
            qunsetenv(name);
    }
    std::string Universal(const QString& path, int expected) {
        EXPECT_EQ(GetUniversalName(out_, path), expected) << path.toStdString();
        return out_;
    }

    QTemporaryDir dir_;
    QString runtime_;
    char out_[kNameBufferSize];
};

TEST_F(Names, TempNamesAreNewFilesInThePrivateFolder) {
    ASSERT_EQ(GetTempFilePathAndName(out_, IDS_TEMPPREFIX_VOICEGRAM, IDS_TEMPEXTENSION_WAV), 1);
    const QFileInfo made(QString::fromLocal8Bit(out_));
    EXPECT_EQ(made.path(), runtime_ + "/tonedeck/tmp");
    EXPECT_TRUE(QRegularExpression("^VG[0-9A-F]{1,4}\\.WAV$").match(made.fileName()).hasMatch());
    EXPECT_TRUE(made.exists()) << "the name is held by an empty file of the caller's";

    // A prefix holding "TMP" (here the program's text, which wins) keeps its digits.
    RegisterStringTable(StringLayer::Program, "names-test", {{IDS_TEMPPREFIX_AUDIO, "TMPX"}});
    char second[kNameBufferSize];
    ASSERT_EQ(GetTempFilePathAndName(second, IDS_TEMPPREFIX_AUDIO, IDS_TEMPEXTENSION_WAV), 1);
    UnregisterStringTable("names-test");
    EXPECT_TRUE(QRegularExpression("/TMP[0-9A-F]{1,4}\\.WAV$").match(second).hasMatch()) << second;

    // Unknown strings and a folder whose names would not fit give 0 and leave out alone.
    std::strcpy(out_, "kept");
    EXPECT_EQ(GetTempFilePathAndName(out_, 999999, IDS_TEMPEXTENSION_WAV), 0);
    EXPECT_EQ(GetTempFilePathAndName(out_, IDS_TEMPPREFIX_VOICEGRAM, 999999), 0);
    const QString deep = runtime_ + '/' + QString(240, u'd');
    ASSERT_TRUE(QDir().mkdir(deep));
    qputenv("XDG_RUNTIME_DIR", deep.toLocal8Bit());
    EXPECT_EQ(GetTempFilePathAndName(out_, IDS_TEMPPREFIX_VOICEGRAM, IDS_TEMPEXTENSION_WAV), 0);
    EXPECT_STREQ(out_, "kept");
}

TEST_F(Names, UniversalNamesOfRemoteDrives) {
    // C: /, D: /srv/music, E: /srv/music/local, F: /mnt/office
    EXPECT_EQ(Universal("d:\\MUSIC\\a.wav", 1), "//fileserver/export/music");
    EXPECT_EQ(Universal("/srv/music/jazz/a.wav", 1), "//fileserver/export/music");
    EXPECT_EQ(Universal("F:/x", 1), "//nas/office");
    std::strcpy(out_, "kept");
    for (const char* path :
         {"c:\\music\\a.wav", "E:/a.wav", "/srv/music/local/a.wav", "G:\\unmapped.wav",
          "\\\\nas\\office\\a.wav", "//nas/office/a.wav", "d:music", "music/a.wav"})
        Universal(path, 0);
    EXPECT_STREQ(out_, "kept");

    // A universal name that would not fit the buffer is refused, not cut.
    QFile mounts(qEnvironmentVariable("TONEDECK_MOUNTINFO"));
    ASSERT_TRUE(mounts.open(QIODevice::Append));
    mounts.write("5 1 0:52 / /mnt/long rw - cifs //nas/" + QByteArray(260, 's') + " rw\n");
    mounts.close();
    Universal("G:/a.wav", 0);
    EXPECT_STREQ(out_, "kept");
}

}  // namespace
