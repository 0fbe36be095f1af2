#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include "tdkit/settings/properties.h"

namespace {

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // An empty registry store: no mail system is installed.
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("TONEDECK_REGISTRY_DIR"); }
    QString File(const char* name) { return dir_.path() + "/" + name; }
    QTemporaryDir dir_;
};

template <typename T>
T At(const PROPERTIES& p, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char*>(&p) + offset, sizeof value);
    return value;
}

TEST_F(Properties, DefaultsLandAtTheirOffsets) {
    const PROPERTIES p = DefaultProperties({100, 0, 156, 480});
    EXPECT_EQ(At<uint32_t>(p, 0), 56u);
    EXPECT_EQ(At<int32_t>(p, 12), 1) << "always on top";
    // rcFloat has the width doubled.
    EXPECT_EQ(At<int32_t>(p, 40), 100);
    EXPECT_EQ(At<int32_t>(p, 44), 0);
    EXPECT_EQ(At<int32_t>(p, 48), 212);
    EXPECT_EQ(At<int32_t>(p, 52), 480);
    EXPECT_EQ(At<int32_t>(p, 84), 0) << "extra button";
    EXPECT_EQ(At<int32_t>(p, 88), 1);
    EXPECT_EQ(At<int32_t>(p, 140), 30) << "poll seconds";
    EXPECT_EQ(At<uint8_t>(p, 144), 5);
    EXPECT_EQ(At<uint32_t>(p, 148), 5000u);
    EXPECT_EQ(At<uint8_t>(p, 152), 4);
    // Recorder qualities 1, 0, 1 and five-minute limits.
    EXPECT_EQ(At<int32_t>(p, 668 + 24), 1);
    EXPECT_EQ(At<int32_t>(p, 700 + 24), 0);
    EXPECT_EQ(At<int32_t>(p, 732 + 24), 1);
    EXPECT_EQ(At<int32_t>(p, 732), 5);
    // Inbox record: five zeros, five ones, a zero.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(At<uint32_t>(p, 764 + 4 * i), 0u);
        EXPECT_EQ(At<uint32_t>(p, 784 + 4 * i), 1u);
    }
    // Sonoscout: at start-up, drive C only, weekdays.
    EXPECT_EQ(At<int32_t>(p, 1848 + 12), 2);
    for (int d = 0; d < 26; ++d)
        EXPECT_EQ(At<int32_t>(p, 1848 + 16 + 4 * d), d == 2 ? 1 : 0);
    EXPECT_EQ(At<uint32_t>(p, 1848 + 136), 7200u);
    EXPECT_EQ(At<uint32_t>(p, 1848 + 140), 28800u);
    EXPECT_EQ(At<uint16_t>(p, 1848 + 144), 62);
    EXPECT_EQ(At<uint32_t>(p, 1996), 1u);
    EXPECT_EQ(At<uint32_t>(p, 2004), 10u);
    EXPECT_EQ(At<int32_t>(p, 2016 + 4), 1) << "notify";
    // No mail system on this store; remember password, reserved 2 and 1.
    EXPECT_EQ(At<int32_t>(p, 2056), 0);
    EXPECT_EQ(At<int32_t>(p, 2060), 0);
    EXPECT_EQ(At<int32_t>(p, 2064), 0);
    EXPECT_EQ(At<int32_t>(p, 2056 + 72), 1);
    EXPECT_EQ(At<int32_t>(p, 2056 + 76), 2);
    EXPECT_EQ(At<int32_t>(p, 2056 + 80), 1);
}

TEST_F(Properties, DefaultsLeaveTheUnsetFieldsAlone) {
    PROPERTIES p;
    std::memset(&p, 0xAB, sizeof p);
    SetDefaultProperties(&p, {0, 0, 56, 480});
    EXPECT_EQ(p.DockState.nThickness[3], static_cast<int32_t>(0xABABABAB));
    EXPECT_EQ(p.dwReserved136, 0xABABABABu);
    EXPECT_EQ(p.SendVoicegramProps.bCompress, static_cast<int32_t>(0xABABABAB));
    EXPECT_EQ(p.SonoscoutProps.dwNextSearchTime, 0xABABABABu);
    EXPECT_EQ(p.dwReserved1996[4], 0xABABABABu);
    EXPECT_EQ(p.szDrawerSound[0], 0);
    EXPECT_EQ(static_cast<unsigned char>(p.szDrawerSound[1]), 0xAB) << "bytes after the NUL stay";
}

TEST_F(Properties, FilesOfAnyOtherSizeAreRefusedWhole) {
    PROPERTIES original = DefaultProperties({0, 0, 56, 480});
    original.DockState.dwSize = 99;
    original.DockState.nEdge = 3;
    std::strcpy(original.MailProps.szAOLPassword, "secret");
    ASSERT_TRUE(WritePropertiesFile(File("TDPROP.PRP"), original));
    QFile written(File("TDPROP.PRP"));
    EXPECT_EQ(written.size(), 2140);
    EXPECT_EQ(written.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());

    PROPERTIES read;
    std::memset(&read, 0, sizeof read);
    ASSERT_TRUE(ReadPropertiesFile(File("TDPROP.PRP"), &read));
    EXPECT_EQ(read.DockState.dwSize, 56u) << "saved as 56 whatever the live copy held";
    EXPECT_EQ(read.DockState.nEdge, 3);
    EXPECT_STREQ(read.MailProps.szAOLPassword, "secret");
    EXPECT_EQ(original.DockState.dwSize, 99u) << "the caller's record is not changed";

    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    written.close();
    for (int size : {2139, 2141, 0}) {
        QFile f(File("odd.PRP"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(size <= 2140 ? bytes.left(size) : bytes + "x");
        f.close();
        PROPERTIES untouched;
        std::memset(&untouched, 0x5A, sizeof untouched);
        QString error;
        EXPECT_FALSE(ReadPropertiesFile(File("odd.PRP"), &untouched, &error)) << size;
        EXPECT_TRUE(error.contains("2140")) << error.toStdString();
        EXPECT_EQ(static_cast<unsigned char>(reinterpret_cast<char*>(&untouched)[100]), 0x5A);
    }
    EXPECT_FALSE(ReadPropertiesFile(File("missing.PRP"), &read));
    EXPECT_FALSE(WritePropertiesFile(File("no/such/dir/TDPROP.PRP"), original));
}

TEST_F(Properties, WeekdayMasks) {
    // Bit 0 Sunday ... bit 6 Saturday.
    const auto days = [](uint16_t mask) {
        std::string s;
        for (int d = 0; d < 7; ++d)
            if (mask & (1 << d))
                s += "SMTWTFS"[d];
        return s;
    };
    EXPECT_EQ(days(DefaultProperties({}).SonoscoutProps.wDays), "MTWTF");
    EXPECT_EQ(days(65), "SS");
}

}  // namespace
