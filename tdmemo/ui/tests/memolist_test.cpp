#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include <sys/stat.h>

#include "tdmemo/ui/echomemos.h"
#include "tdmemo/ui/tests/testapp.h"

namespace {

ECHOMEMOLISTENTRY Entry(const char* path, int kind, uint32_t next, int played = 0) {
    ECHOMEMOLISTENTRY e{};
    std::strncpy(e.path, path, sizeof e.path - 1);
    e.memo.frequency = kind, e.memo.played = played, e.nextTime = next;
    return e;
}

TEST(MemoList, WholeRecordsWithAPathAreReadInTheirPlaces) {
    QTemporaryDir dir;
    const QString name = dir.filePath("EMLIST.LST");
    ECHOMEMOLISTENTRY full = Entry("", MEMO_DAILY, 7);
    std::memset(full.path, 'x', sizeof full.path);  // no NUL: read up to the field's end
    ASSERT_TRUE(WriteMemoListFile(name, {Entry("/a", MEMO_DAILY, 5), Entry("", 0, 1), full}));
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(QByteArray(599, 'z'));  // a partial record left by an interrupted writer
    f.close();
    std::vector<MemoListRecord> records;
    ASSERT_TRUE(ReadMemoListFile(name, &records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(MemoListPath(records[0].entry), "/a");
    EXPECT_EQ(records[1].index, 2);
    EXPECT_EQ(MemoListPath(records[1].entry), QString(260, 'x'));
    // Appending goes over the partial tail.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(AppendMemoListRecord(&f, Entry("/b", MEMO_ONCE, 9)));
    EXPECT_EQ(f.size(), 4 * 600);
    EXPECT_FALSE(ReadMemoListFile(dir.filePath("missing"), &records));

    ECHOMEMOLISTENTRY e = Entry("/keep", MEMO_DAILY, 0);
    EXPECT_FALSE(SetMemoListPath(&e, "/" + QString(259, 'a'))) << "refused, not cut";
    EXPECT_EQ(MemoListPath(e), "/keep");
    EXPECT_TRUE(SetMemoListPath(&e, "/" + QString(258, 'a')));
    EXPECT_FALSE(SetMemoListDescription(&e, QString(130, QChar(0x00E9))));  // 260 UTF-8 bytes
}

// The list is replaced whole: a reader holding the old file keeps reading the old list,
// and a FIFO named like the list is refused without waiting for a writer.
TEST(MemoList, TheListIsReplacedNotRewrittenInPlace) {
    QTemporaryDir dir;
    const QString name = dir.filePath("EMLIST.LST");
    ASSERT_TRUE(WriteMemoListFile(name, {Entry("/a", MEMO_DAILY, 5), Entry("/b", MEMO_DAILY, 6)}));
    QFile old(name);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    ASSERT_TRUE(WriteMemoListFile(name, {Entry("/c", MEMO_DAILY, 7)}));
    const QByteArray oldBytes = old.readAll();
    ASSERT_EQ(oldBytes.size(), 1200);
    EXPECT_STREQ(reinterpret_cast<const ECHOMEMOLISTENTRY*>(oldBytes.constData() + 600)->path,
                 "/b");
    std::vector<MemoListRecord> records;
    ASSERT_TRUE(ReadMemoListFile(name, &records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(MemoListPath(records[0].entry), "/c");

    const QString fifo = dir.filePath("FIFO.LST");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(ReadMemoListFile(fifo, &records, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
}

TEST(MemoList, RecordsAreRewrittenOnlyWhereTheyStillStand) {
    QBuffer file;
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(AppendMemoListRecord(&file, Entry("/a", MEMO_DAILY, 5)));
    ASSERT_TRUE(AppendMemoListRecord(&file, Entry("/b", MEMO_DAILY, 6)));
    EXPECT_EQ(FindMemoListRecord(&file, "/B"), -1);
    EXPECT_EQ(FindMemoListRecord(&file, "/B", Qt::CaseInsensitive), 1);
    EXPECT_TRUE(RewriteMemoListRecord(&file, 1, Entry("/b", MEMO_DAILY, 60)));
    // Another file's place, a place past the end, a record cut short: nothing is written.
    EXPECT_FALSE(RewriteMemoListRecord(&file, 0, Entry("/b", MEMO_DAILY, 70)));
    EXPECT_FALSE(RewriteMemoListRecord(&file, 2, Entry("/b", MEMO_DAILY, 70)));
    file.buffer().chop(1);
    EXPECT_FALSE(RewriteMemoListRecord(&file, 1, Entry("/b", MEMO_DAILY, 70)));
    EXPECT_EQ(file.size(), 1199);
    ECHOMEMOLISTENTRY e;
    ASSERT_TRUE(ReadMemoListRecord(&file, 0, &e));
    EXPECT_EQ(e.nextTime, 5u);
    EXPECT_EQ(reinterpret_cast<const ECHOMEMOLISTENTRY*>(file.buffer().constData() + 600)->nextTime,
              60u);
}

TEST(MemoList, FindNextNoteToPlayTakesTheFirstOfTheEarliest) {
    TestApp();
    CEchoMemos memos(nullptr, nullptr);
    QBuffer file;
    for (const auto& e : {Entry("/a", MEMO_USER_INITIATED, 10), Entry("/b", MEMO_DAILY, 50),
                          Entry("", MEMO_DAILY, 20), Entry("/d", MEMO_ONCE, 30, 1),
                          Entry("/e", MEMO_WEEKLY, 40), Entry("/f", MEMO_HOURLY, 40)})
        file.buffer().append(reinterpret_cast<const char*>(&e), sizeof e);
    file.buffer().append(100, '\0');
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

// A 2-second 11025 Hz 8-bit mono WAV file carrying note.
QString WriteMemo(const QTemporaryDir& dir, const char* name, const ECHOMEMOSTRUCT& note) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    const uint32_t format[] = {16, 0x00010001, 11025, 11025, 0x00080001};
    f.write("RIFF\x46\x56\0\0WAVEfmt ", 16);
    f.write(reinterpret_cast<const char*>(format), sizeof format);
    f.write("data\x22\x56\0\0", 8);
    f.write(QByteArray(22050, '\x80'));
    f.close();
    EXPECT_EQ(
        AddNoteInfoToRIFFFile(f.fileName(), WAVEFILETYPE_ECHOMEMO, name, &note, SOUNDFILETYPE_WAV),
        1);
    return f.fileName();
}

TEST(MemoList, TheRecordBuilderFillsARecordFromTheMemoFile) {
    setenv("TZ", "Europe/Berlin", 1), tzset();
    const time_t now = MakeLocalTime(2025, 6, 4, 12, 0, 0);
    TestApp();
    CEchoMemos memos(nullptr, nullptr, [now] { return now; });
    QTemporaryDir dir;
    ECHOMEMOSTRUCT note{};
    note.frequency = MEMO_HOURLY, note.hourlyTime = 10 * 60;
    const QString hourly = WriteMemo(dir, "Stretch", note);
    note.frequency = MEMO_ONCE, note.played = 1;
    const QString played = WriteMemo(dir, "Old", note);

    ECHOMEMOLISTENTRY e;
    int scheduled = -1;
    ASSERT_EQ(memos.BuildListEntry(played, SOUNDFILETYPE_WAV, 0, &e, &scheduled), 1);
    EXPECT_EQ(scheduled, 0);
    EXPECT_EQ(e.nextTime, NEVER_TIME());
    ASSERT_EQ(memos.BuildListEntry(hourly, SOUNDFILETYPE_WAV, 3, &e, &scheduled), 1);
    EXPECT_EQ(MemoListPath(e), hourly);
    EXPECT_EQ(MemoListDescription(e), "Stretch");
    EXPECT_EQ(e.length, 2);
    EXPECT_EQ(e.fileType, SOUNDFILETYPE_WAV);
    EXPECT_EQ(e.nextTime, now + 600);
    EXPECT_EQ(memos.EarliestTime(), now + 600);
    EXPECT_EQ(memos.EarliestIndex(), 3);
    // Refused, the record untouched: no schedule in the file, or a path too long.
    EXPECT_EQ(memos.BuildListEntry(dir.filePath("none.WAV"), SOUNDFILETYPE_WAV, 4, &e), 0);
    EXPECT_EQ(memos.BuildListEntry("/" + QString(300, 'a'), SOUNDFILETYPE_WAV, 4, &e), 0);
    EXPECT_EQ(MemoListDescription(e), "Stretch");
    unsetenv("TZ"), tzset();
}

// A memo file whose description an older writer stored longer than the list's field is
// still listed, its description cut to the field.
TEST(MemoList, AMemoWithAnOverlongDescriptionIsListedWithItCut) {
    TestApp();
    CEchoMemos memos(nullptr, nullptr, [] { return time_t(1749117600); });
    QTemporaryDir dir;
    ECHOMEMOSTRUCT note{};
    note.frequency = MEMO_HOURLY, note.hourlyTime = 10 * 60;
    const QString path = WriteMemo(dir, "long.wav", note);
    // Replace the 13-byte "DESC" chunk (type and "long.wav") by one holding 400 bytes of text.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    const qsizetype at = bytes.indexOf("DESC");
    ASSERT_GT(at, 0);
    QByteArray text(400, 'd');
    text[0] = 'D';
    const uint32_t size = 4 + uint32_t(text.size()) + 1;
    QByteArray desc = QByteArray("DESC") + QByteArray(reinterpret_cast<const char*>(&size), 4) +
                      QByteArray("\x05\0\0\0", 4) + text + '\0' + '\0';  // odd: pad byte
    bytes.replace(at, 8 + 14, desc);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();

    ECHOMEMOLISTENTRY e;
    std::memset(&e, '#', sizeof e);
    ASSERT_EQ(memos.BuildListEntry(path, SOUNDFILETYPE_WAV, 0, &e), 1);
    EXPECT_EQ(MemoListPath(e), path);
    EXPECT_EQ(MemoListDescription(e), "D" + QString(kMemoListTextSize - 2, 'd'));
    EXPECT_EQ(e.description[kMemoListTextSize - 1], '\0');
    EXPECT_EQ(e.length, 2);
    EXPECT_EQ(e.memo.hourlyTime, 600);
}

}  // namespace
