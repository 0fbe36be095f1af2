#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/drives.h"
#include "platform/registry.h"

namespace {

const char* const kMounts =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw shared:7 - sysfs sysfs rw\n"
    "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "30 27 8:3 / /home rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
    "31 27 0:40 / /run rw - tmpfs tmpfs rw,mode=755\n"
    "40 27 0:50 / /mnt/music rw - nfs4 fileserver:/export/music/ rw,vers=4.2\n"
    "41 27 0:51 / /mnt/office\\040share rw - cifs //nas/Office\\040Docs rw\n"
    "42 31 8:17 / /run/media/ann/STICK rw master:3 - vfat /dev/sdb1 rw\n"
    "43 31 11:0 / /run/media/ann/AUDIO_CD ro - iso9660 /dev/sr0 ro\n"
    "44 27 8:3 /ann/shared /srv/shared rw - ext4 /dev/sda3 rw\n"
    "45 27 0:60 / /mnt/remote rw - fuse.sshfs ann@box.example:/data rw\n"
    "46 27 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
    "47 27 8:33 / /mnt/card rw - exfat /dev/sdc1 rw\n"
    "48 27 0:45 /@data /data rw - btrfs /dev/nvme0n1p3 rw\n"
    "49 27 0:50 /jazz /mnt/jazz rw - nfs4 fileserver:/export/music/jazz rw\n"
    "garbage line\n";

class Drives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("registry").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
        sources_.mountinfo = dir_.filePath("mountinfo");
        sources_.udevData = dir_.filePath("udev");
        sources_.sysfs = dir_.filePath("sys");
        sources_.diskByUuid = dir_.filePath("by-uuid");
        sources_.checkMountPoints = false;
        WriteMounts(kMounts);
        Write("udev/b8:17",
              "S:disk/by-id/usb-Stick\nE:ID_BUS=usb\nE:ID_FS_LABEL=MY_STICK\n"
              "E:ID_FS_LABEL_ENC=MY\\x20STICK\nE:ID_FS_UUID=1234-ABCD\n");
        Write("udev/b11:0", "E:ID_CDROM=1\nE:ID_FS_LABEL=AUDIO_CD\n");
        Write("udev/b259:3", "E:ID_FS_UUID=9a8b7c6d-0000-4000-8000-000000000000\n");
        // A card reader known to sysfs only: its disk says it is removable.
        Write("sys/devices/pci/block/sdc/removable", "1\n");
        Write("sys/devices/pci/block/sdc/sdc1/partition", "1\n");
        Write("sys/devices/pci/block/sda/removable", "0\n");
        Write("sys/class/block/nvme0n1p3/dev", "259:3\n");
        QDir().mkpath(dir_.filePath("sys/dev/block"));
        QFile::link("../../devices/pci/block/sdc/sdc1", dir_.filePath("sys/dev/block/8:33"));
        QDir().mkpath(dir_.filePath("by-uuid"));
        QFile::link("../../sda2", dir_.filePath("by-uuid/0f3c6a52-1111-2222-3333-444455556666"));
        // Letters are saved once the product is installed.
        ASSERT_TRUE(RegKey::Create(RegRoot::CurrentUser, kDrivesParentKey));
    }
    void TearDown() override {
        qunsetenv("TONEDECK_REGISTRY_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void Write(const QString& name, const QByteArray& text) {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    void WriteMounts(const QByteArray& text) { Write("mountinfo", text); }
    std::string Letters() {
        QString out;
        for (const Drive& d : LoadDriveTable(sources_))
            out += QString(QChar(d.letter)) + u'=' + d.mountPoint + u' ';
        return out.trimmed().toStdString();
    }

    QTemporaryDir dir_;
    DriveSources sources_;
};

TEST_F(Drives, RealMountsGetLettersTypesAndNames) {
    std::vector<std::string> seen;
    for (const Drive& d : LoadDriveTable(sources_))
        seen.push_back(QStringLiteral("%1 %2 %3|%4|%5|%6")
                           .arg(QChar(d.letter), DriveTypeName(d.type), d.mountPoint, d.label)
                           .arg(d.serial, 0, 16)
                           .arg(d.universalName)
                           .toStdString());
    const std::vector<std::string> expected{
        "C fixed /||f3c6a52|",  // serial from the by-uuid links when udev knows nothing
        "D fixed /home||0|",
        "E remote /mnt/music||0|//fileserver/export/music",
        "F remote /mnt/office share||0|//nas/Office Docs",
        "G removable /run/media/ann/STICK|MY STICK|1234abcd|",
        "H cdrom /run/media/ann/AUDIO_CD|AUDIO_CD|0|",
        "I remote /mnt/remote||0|//box.example/data",
        "J removable /mnt/card||0|",  // sysfs says the card's disk is removable
        "K fixed /data||9a8b7c6d|",   // btrfs's anonymous device found through sysfs
        "L remote /mnt/jazz||0|//fileserver/export/music/jazz",
    };
    EXPECT_EQ(seen, expected);

    EXPECT_EQ(DriveForLetter('f', sources_)->source, "//nas/Office Docs");
    EXPECT_FALSE(DriveForLetter('Z', sources_));
    EXPECT_EQ(DriveForPath("/homework", sources_)->letter, 'C');
    EXPECT_EQ(DriveForPath("/mnt/music/../remote/x", sources_)->letter, 'I');
}

TEST_F(Drives, LettersStayWithTheirMountPoints) {
    Letters();
    // Next boot: /home is not mounted, a new mount comes first, the card is elsewhere.
    WriteMounts(
        "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
        "2 1 8:5 / /mnt/new rw - ext4 /dev/sda5 rw\n"
        "3 1 0:50 / /mnt/music rw - nfs fileserver:/export/music rw\n"
        "4 1 8:33 / /mnt/card rw - exfat /dev/sdc1 rw\n");
    EXPECT_EQ(Letters(), "C=/ E=/mnt/music J=/mnt/card M=/mnt/new");
    EXPECT_EQ(Letters(), "C=/ E=/mnt/music J=/mnt/card M=/mnt/new");

    // The user binds letters; a bound mount point moves, the root may go elsewhere.
    ASSERT_TRUE(BindDriveLetter('x', "/mnt/music/"));
    ASSERT_TRUE(BindDriveLetter('C', "/mnt/new"));
    EXPECT_EQ(Letters(), "C=/mnt/new E=/ J=/mnt/card X=/mnt/music")
        << "the root takes the first free letter: D still belongs to /home";
}

TEST_F(Drives, LettersAreNotSavedBeforeInstallation) {
    QFile::remove(RegistryFilePath(RegRoot::CurrentUser));
    EXPECT_EQ(Letters().substr(0, 13), "C=/ D=/home E");
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, kDrivesParentKey));
    EXPECT_FALSE(BindDriveLetter('X', "/mnt/music"));
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, kDrivesParentKey));
}

TEST(DriveNames, UniversalNamesComeFromTheMountSource) {
    EXPECT_EQ(UniversalNameOf("server:/export/a/"), "//server/export/a");
    EXPECT_EQ(UniversalNameOf("[fe80::1]:/x"), "//[fe80::1]/x");
    EXPECT_EQ(UniversalNameOf("\\\\nas\\share"), "//nas/share");
    EXPECT_EQ(UniversalNameOf("box:"), "//box");
    EXPECT_EQ(UniversalNameOf("ann@box:music"), "//box/music");
    EXPECT_EQ(UniversalNameOf("https://dav.example/remote.php/dav"),
              "//dav.example/remote.php/dav");
    EXPECT_EQ(UniversalNameOf("no-server-here"), "");
    EXPECT_EQ(UniversalNameOf("///share"), "");
}

}  // namespace
