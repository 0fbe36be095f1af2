#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include "tdmemo/echomemos.h"
#include "tdmemo/memolist.h"

namespace {

ECHOMEMOLISTENTRY Entry(const char* path, int kind, uint32_t next, int played = 0) {
    ECHOMEMOLISTENTRY e{};
    std::strncpy(e.path, path, sizeof e.path - 1);
    e.memo.frequency = kind;
    e.memo.played = played;
    e.nextTime = next;
    e.fileType = SOUNDFILETYPE_WAV;
    return e;
}

QByteArray Bytes(std::initializer_list<ECHOMEMOLISTENTRY> entries) {
    QByteArray b;
    for (const auto& e : entries)
        b.append(reinterpret_cast<const char*>(&e), sizeof e);
    return b;
}

TEST(MemoList, ReadsWholeRecordsWithAPathAndKeepsTheirPlaces) {
    QTemporaryDir dir;
    const QString name = dir.filePath("EMLIST.LST");
    ECHOMEMOLISTENTRY full = Entry("", MEMO_DAILY, 7);
    std::memset(full.path, 'x', sizeof full.path);  // no NUL: read up to the field's end
    std::strcpy(full.description, "Call home");
    ASSERT_TRUE(WriteMemoListFile(
        name, {Entry("/m/a.WAV", MEMO_DAILY, 5), Entry("", MEMO_DAILY, 1), full}, nullptr));
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(QByteArray(599, 'z'));  // a partial record left by an interrupted writer
    f.close();

    std::vector<MemoListRecord> records;
    QString error;
    ASSERT_TRUE(ReadMemoListFile(name, &records, &error)) << error.toStdString();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].index, 0);
    EXPECT_EQ(MemoListPath(records[0].entry), "/m/a.WAV");
    EXPECT_EQ(records[1].index, 2);
    EXPECT_EQ(MemoListPath(records[1].entry), QString(260, 'x'));
    EXPECT_EQ(MemoListDescription(records[1].entry), "Call home");

    // Appending goes over the partial tail, after the last whole record.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(AppendMemoListRecord(&f, Entry("/m/b.RMI", MEMO_ONCE, 9)));
    EXPECT_EQ(f.size(), 4 * 600);
    ECHOMEMOLISTENTRY back;
    ASSERT_TRUE(ReadMemoListRecord(&f, 3, &back));
    EXPECT_EQ(MemoListPath(back), "/m/b.RMI");
    EXPECT_FALSE(ReadMemoListRecord(&f, 4, &back));
    EXPECT_FALSE(ReadMemoListFile(dir.filePath("missing"), &records, &error));
}

TEST(MemoList, TextsThatDoNotFitAreRefusedNotCut) {
    ECHOMEMOLISTENTRY e = Entry("/keep", MEMO_DAILY, 0);
    EXPECT_FALSE(SetMemoListPath(&e, "/" + QString(259, 'a')));
    EXPECT_EQ(MemoListPath(e), "/keep");
    EXPECT_TRUE(SetMemoListPath(&e, "/" + QString(258, 'a')));
    EXPECT_EQ(MemoListPath(e).size(), 259);
    EXPECT_FALSE(SetMemoListDescription(&e, QString(130, QChar(0x00E9))));  // 260 UTF-8 bytes
    EXPECT_TRUE(SetMemoListDescription(&e, QString(129, QChar(0x00E9))));
    EXPECT_EQ(ToListTime(-5), 0u);
}

TEST(MemoList, FindNextNoteToPlayTakesTheFirstOfTheEarliest) {
    CEchoMemos memos([] { return time_t{1000}; });
    QBuffer file;
    file.setData(Bytes({Entry("/a", MEMO_USER_INITIATED, 10), Entry("/b", MEMO_DAILY, 50),
                        Entry("", MEMO_DAILY, 20), Entry("/d", MEMO_ONCE, 30, 1),
                        Entry("/e", MEMO_WEEKLY, 40), Entry("/f", MEMO_HOURLY, 40)}) +
                 QByteArray(100, '\0'));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    memos.FindNextNoteToPlay(&file);
    EXPECT_EQ(memos.EarliestTime(), 40);
    EXPECT_EQ(memos.EarliestIndex(), 4);

    QBuffer empty;
    ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
    memos.FindNextNoteToPlay(&empty);
    EXPECT_EQ(memos.EarliestTime(), NEVER_TIME());
    EXPECT_EQ(memos.EarliestIndex(), -1);
}

TEST(MemoList, ScheduleListEntryLowersTheEarliestOnlyForScheduledMemos) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const time_t now = MakeLocalTime(2025, 6, 4, 12, 0, 0);
    CEchoMemos memos([now] { return now; });
    ECHOMEMOLISTENTRY once = Entry("/o", MEMO_ONCE, 0, 1);
    once.memo.onceYear = 2025, once.memo.onceMonth = 1, once.memo.onceDay = 1;
    memos.ScheduleListEntry(&once, 0);
    EXPECT_EQ(once.nextTime, NEVER_TIME()) << "played for good";
    ECHOMEMOLISTENTRY hourly = Entry("/h", MEMO_HOURLY, 0);
    memos.ScheduleListEntry(&hourly, 1);
    EXPECT_EQ(hourly.nextTime, now + 3600);
    ECHOMEMOLISTENTRY user = Entry("/u", MEMO_USER_INITIATED, 0);
    memos.ScheduleListEntry(&user, 2);
    EXPECT_EQ(memos.EarliestIndex(), 1);
    EXPECT_EQ(memos.EarliestTime(), now + 3600);
    unsetenv("TZ");
    tzset();
}

}  // namespace
