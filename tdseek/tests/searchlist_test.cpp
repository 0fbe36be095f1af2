#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include <sys/stat.h>

#include "tdseek/searchengine.h"
#include "tdseek/searchlist.h"

namespace {

SOUNDSTRUCT Record(const char* name, const char* path) {
    SOUNDSTRUCT r{};
    std::strncpy(r.szName, name, sizeof r.szName - 1);
    std::strncpy(r.szPath, path, sizeof r.szPath - 1);
    r.nType = 1;
    return r;
}

QByteArray Bytes(const SOUNDSTRUCT& r) {
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The data file's records are listed with every text inside its field, cleared records
// left out; a record is cleared in the file in its place.
TEST(SearchList, ListsTheRecordsOfTheDataFileAndClearsThemInPlace) {
    QTemporaryDir dir;
    const QString data = dir.filePath("TDSEARCH.PRP");
    SOUNDSTRUCT full = Record("", "/x");
    std::memset(full.szName, 'n', sizeof full.szName);  // no zero in the field
    Write(data, Bytes(Record("a.wav", "/s/a.wav")) + Bytes(Record("gone.wav", "")) + Bytes(full) +
                    QByteArray(100, 'p'));  // a record cut short is not listed
    CSearchList list;
    ASSERT_TRUE(list.Open(data));
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.Path(0), "/s/a.wav");
    EXPECT_EQ(list.RecordIndex(1), 2);
    EXPECT_EQ(list.Text(1, CSearchList::kName), QString(int(sizeof full.szName) - 1, 'n'));

    EXPECT_TRUE(list.ClearRecord(0));
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_FALSE(list.ClearRecord(1)) << "a record that is not listed";
    list.Close();
    const auto records = ReadSearchFile(data);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].szPath, "/x");
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), qint64(3 * sizeof(SOUNDSTRUCT) + 100));
}

// A FIFO or a directory named like the data file is refused at once: nothing waits for a
// writer at the other end, and nothing is published over or from it.
TEST(SearchList, AFifoNamedLikeTheDataFileIsRefusedWithoutWaiting) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("TDSEARCH.PRP");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    CSearchList list;
    EXPECT_FALSE(list.Open(fifo));
    EXPECT_FALSE(list.IsOpen());
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_TRUE(ReadSearchFile(fifo).empty());

    const QString data = dir.filePath("data.PRP");
    Write(data, Bytes(Record("a.wav", "/s/a.wav")));
    EXPECT_FALSE(PublishSearchFile(fifo, data));
    EXPECT_EQ(ReadSearchFile(data).size(), 1u) << "the data file is left as it was";

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.PRP"));
    EXPECT_FALSE(list.Open(dir.filePath("folder.PRP")));
    EXPECT_FALSE(list.Open(dir.filePath("missing.PRP")));
}

}  // namespace
