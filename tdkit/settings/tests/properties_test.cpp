#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "platform/registry.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"

namespace {

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A registry store that says this machine has no mail system.
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
        ASSERT_TRUE(
            RegKey::Create(RegRoot::LocalMachine, kMapiComponentKey)->SetString("Installed", "0"));
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

// Every field the defaults set, read back at its offset from a record that held other
// bytes before: a default that is dropped, or lands elsewhere, shows.
TEST_F(Properties, EveryDefaultIsStoredAtItsOffset) {
    PROPERTIES p;
    std::memset(&p, 0xAB, sizeof p);
    SetDefaultProperties(&p, {100, 7, 156, 480});
    struct Expect {
        std::size_t offset;
        int64_t value;
        int size;  // 1, 2 or 4 bytes
    };
    std::vector<Expect> want = {
        {0, 56, 4},
        {4, 0, 4},
        {8, 0, 4},
        {12, 1, 4},
        {16, 1, 4},
        {20, 1, 4},
        {40, 100, 4},
        {44, 7, 4},
        {48, 212, 4},
        {52, 480, 4},
        {56, 1, 4},
        {60, 1, 4},
        {64, 1, 4},
        {68, 1, 4},
        {72, 1, 4},
        {76, 1, 4},
        {80, 0, 4},
        {84, 0, 4},
        {88, 1, 4},
        {92, 1, 4},
        {96, 1, 4},
        {100, 1, 4},
        {104, 0, 4},
        {108, 0, 4},
        {112, 1, 4},
        {116, 1, 4},
        {120, 1, 4},
        {124, 1, 4},
        {128, 1, 4},
        {132, 0, 4},
        {140, 30, 4},
        {144, 5, 1},
        {148, 5000, 4},
        {152, 4, 1},
        {156, 0, 1},
        {411, 0, 1},
        // Inbox record: five zeros, five ones, a zero, four empty texts.
        {804, 0, 4},
        {808, 0, 1},
        {1068, 0, 1},
        {1328, 0, 1},
        {1588, 0, 1},
        // Sonoscout.
        {1848, 1, 4},
        {1852, 1, 4},
        {1860, 2, 4},
        {1968, 1, 4},
        {1980, 0, 4},
        {1984, 7200, 4},
        {1988, 28800, 4},
        {1992, 62, 2},
        {1996, 1, 4},
        {2000, 0, 4},
        {2004, 10, 4},
        {2008, 10, 4},
        // Echo Memos: 12-hour times, notify, confirm deletes, nothing held, ascending.
        {2016, 0, 4},
        {2020, 1, 4},
        {2024, 1, 4},
        {2028, 0, 4},
        {2052, 0, 4},
        // Mail: no mail system in this store; empty name and password.
        {2056, 0, 4},
        {2060, 0, 4},
        {2064, 0, 4},
        {2068, 0, 1},
        {2098, 0, 1},
        {2128, 1, 4},
        {2132, 2, 4},
        {2136, 1, 4},
    };
    for (int i = 0; i < 5; ++i) {
        want.push_back({764 + 4u * i, 0, 4});
        want.push_back({784 + 4u * i, 1, 4});
        want.push_back({2032 + 4u * i, 1, 4});
    }
    for (int d = 0; d < 26; ++d)
        want.push_back({1864 + 4u * d, d == 2 ? 1 : 0, 4});
    const int quality[] = {1, 0, 1};
    for (int r = 0; r < 3; ++r) {
        const std::size_t base = 668 + 32u * r;
        for (auto [offset, value] : {std::pair<std::size_t, int64_t>{0, 5},
                                     {4, 1},
                                     {8, 0},
                                     {12, 0},
                                     {16, 0},
                                     {24, quality[r]},
                                     {28, 0}})
            want.push_back({base + offset, value, 4});
    }
    for (const Expect& e : want) {
        int64_t got = 0;
        if (e.size == 1)
            got = At<uint8_t>(p, e.offset);
        else if (e.size == 2)
            got = At<uint16_t>(p, e.offset);
        else
            got = At<int32_t>(p, e.offset);
        EXPECT_EQ(got, e.value) << "at offset " << e.offset;
    }
    EXPECT_EQ(p.EchoMemosProps.bConfirmDelete, 1);
}

// The doubled width of a huge rectangle is held to the field instead of overflowing.
TEST_F(Properties, AHugeRectangleDoesNotOverflow) {
    const PROPERTIES p = DefaultProperties({0, 0, 2000000000, 0});
    EXPECT_EQ(p.DockState.rcFloat.right, std::numeric_limits<int32_t>::max());
    const PROPERTIES q = DefaultProperties({2000000000, 0, -2000000000, 0});
    EXPECT_EQ(q.DockState.rcFloat.right, std::numeric_limits<int32_t>::min());
}

// A FIFO named like the settings file is refused without waiting for a writer; the
// settings file is replaced whole, so a reader of the old one keeps it.
TEST_F(Properties, OnlyRegularFilesAreReadAndWritesReplaceTheFile) {
    const QString fifo = File("fifo.PRP");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PROPERTIES p = DefaultProperties({0, 0, 56, 480});
    QString error;
    EXPECT_FALSE(ReadPropertiesFile(fifo, &p, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();

    const QString path = File("TDPROP.PRP");
    ASSERT_TRUE(WritePropertiesFile(path, p));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    PROPERTIES changed = p;
    changed.nPollSeconds = 99;
    ASSERT_TRUE(WritePropertiesFile(path, changed));
    const QByteArray oldBytes = old.readAll();
    ASSERT_EQ(oldBytes.size(), 2140);
    EXPECT_EQ(At<int32_t>(*reinterpret_cast<const PROPERTIES*>(oldBytes.constData()), 140), 30);
    PROPERTIES back;
    ASSERT_TRUE(ReadPropertiesFile(path, &back));
    EXPECT_EQ(back.nPollSeconds, 99);
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
