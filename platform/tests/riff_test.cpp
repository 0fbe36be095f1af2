#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "platform/riff.h"

namespace {

class Riff : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir_.filePath(name); }
    QByteArray Bytes(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir_;
};

// A form with an odd-sized chunk and a large one, written through the buffer over bytes
// that are not zero, so a pad byte the writer leaves out cannot pass for one.
TEST_F(Riff, CreatedChunksGetTheirSizesAndPadding) {
    const QString path = Path("a.riff");
    std::vector<unsigned char> big(20000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 7);
    {
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(QByteArray(12 + 8 + 4 + 8 + 20000 + 8 + 6, '\xEE'));
    }
    {
        auto f = RiffFile::Open(path, RiffFile::Mode::ReadWrite);
        ASSERT_TRUE(f);
        RiffChunk form;
        form.fccType = RiffFourCC("TEST");
        ASSERT_EQ(f->Create(form, RiffCreate::Riff), RiffError::None);
        RiffChunk odd;
        odd.ckid = RiffFourCC("odd ");
        ASSERT_EQ(f->Create(odd), RiffError::None);
        ASSERT_TRUE(f->WriteExact("abc", 3));
        ASSERT_EQ(f->Ascend(odd), RiffError::None);
        EXPECT_EQ(odd.cksize, 3u);
        RiffChunk large;
        large.ckid = RiffFourCC("big ");
        ASSERT_EQ(f->Create(large), RiffError::None);
        ASSERT_TRUE(f->WriteExact(big.data(), static_cast<int64_t>(big.size())));
        ASSERT_EQ(f->Ascend(large), RiffError::None);
        ASSERT_EQ(f->Ascend(form), RiffError::None);
        // An odd chunk last in the file: its pad is written past the old end.
        f->Seek(0, SEEK_END);
        RiffChunk last;
        last.ckid = RiffFourCC("last");
        ASSERT_EQ(f->Create(last), RiffError::None);
        ASSERT_TRUE(f->WriteExact("12345", 5));
        ASSERT_EQ(f->Ascend(last), RiffError::None);
        ASSERT_EQ(f->Close(), RiffError::None);
    }
    const QByteArray bytes = Bytes(path);
    const qsizetype formEnd = 12 + 8 + 4 + 8 + 20000;
    ASSERT_EQ(bytes.size(), formEnd + 8 + 6 + 8 + 6);
    uint32_t formSize;
    std::memcpy(&formSize, bytes.constData() + 4, 4);
    EXPECT_EQ(formSize, 4u + 12 + 8 + 20000);
    EXPECT_EQ(bytes[12 + 8 + 3], '\0') << "the odd chunk's pad byte";
    EXPECT_EQ(bytes.mid(12 + 8 + 4, 4), QByteArray("big "));
    EXPECT_EQ(bytes.back(), '\0') << "the last chunk's pad byte";

    auto f = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(f);
    RiffChunk form;
    form.fccType = RiffFourCC("TEST");
    ASSERT_EQ(f->Descend(form, nullptr, RiffFind::Riff), RiffError::None);
    RiffChunk chunk;
    chunk.ckid = RiffFourCC("big ");
    ASSERT_EQ(f->Descend(chunk, &form, RiffFind::Chunk), RiffError::None);
    ASSERT_EQ(chunk.cksize, 20000u);
    std::vector<unsigned char> back(20000);
    ASSERT_TRUE(f->ReadExact(back.data(), 20000));
    EXPECT_EQ(back, big);
    // Inside the form nothing follows; at the top level neither.
    ASSERT_EQ(f->Ascend(chunk), RiffError::None);
    RiffChunk none;
    none.ckid = RiffFourCC("odd ");
    EXPECT_EQ(f->Descend(none, &form, RiffFind::Chunk), RiffError::NotFound);
    f->Seek(0);
    EXPECT_EQ(f->Descend(none, nullptr, RiffFind::Chunk), RiffError::NotFound);
}

TEST_F(Riff, SizesThatRunPastTheFileOrParentEndTheSearch) {
    const QString path = Path("bad.riff");
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    // A form claiming 100 bytes holding a chunk that claims 0xFFFFFFF0, then a good one.
    const char form[] = "RIFF\x64\0\0\0TESThuge\xF0\xFF\xFF\xFF";
    raw.write(form, sizeof form - 1);
    raw.write(QByteArray(88, 'x'));
    raw.write("tail\x02\0\0\0ok", 10);
    raw.close();

    auto f = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(f);
    RiffChunk c;
    c.ckid = RiffFourCC("tail");
    ASSERT_EQ(f->Descend(c, nullptr, RiffFind::Chunk), RiffError::None);
    EXPECT_EQ(c.dataOffset, 8 + 100 + 8);
    f->Seek(0);
    RiffChunk outer;
    outer.fccType = RiffFourCC("TEST");
    ASSERT_EQ(f->Descend(outer, nullptr, RiffFind::Riff), RiffError::None);
    RiffChunk inner;
    EXPECT_EQ(f->Descend(inner, &outer, RiffFind::Next), RiffError::NotFound);
    // A header cut short by the end of the file is not a chunk either.
    f->Seek(f->Size() - 4);
    EXPECT_EQ(f->Descend(inner, nullptr, RiffFind::Next), RiffError::NotFound);
}

TEST_F(Riff, ReadersShareAndAWriterIsAlone) {
    const QString path = Path("lock.riff");
    auto writer = RiffFile::Open(path, RiffFile::Mode::Create);
    ASSERT_TRUE(writer);
    RiffError seen = RiffError::None;
    std::thread([&] { RiffFile::Open(path, RiffFile::Mode::Read, &seen); }).join();
    EXPECT_EQ(seen, RiffError::Busy);
    // A second create must not empty the file under its holder.
    ASSERT_TRUE(writer->WriteExact("data", 4));
    ASSERT_EQ(writer->Flush(), RiffError::None);
    EXPECT_FALSE(RiffFile::Open(path, RiffFile::Mode::Create, &seen));
    EXPECT_EQ(seen, RiffError::Busy);
    EXPECT_EQ(Bytes(path), QByteArray("data"));
    EXPECT_EQ(writer->Close(), RiffError::None);

    // Readers do not keep each other out, but they keep a writer out.
    auto reader = RiffFile::Open(path, RiffFile::Mode::Read, &seen);
    ASSERT_TRUE(reader);
    std::unique_ptr<RiffFile> second;
    std::thread([&] { second = RiffFile::Open(path, RiffFile::Mode::Read, &seen); }).join();
    EXPECT_TRUE(second) << RiffErrorText(seen);
    EXPECT_FALSE(RiffFile::Open(path, RiffFile::Mode::ReadWrite, &seen));
    EXPECT_EQ(seen, RiffError::Busy);
    reader.reset();
    second.reset();
    EXPECT_TRUE(RiffFile::Open(path, RiffFile::Mode::ReadWrite));

    EXPECT_FALSE(RiffFile::Open(path, RiffFile::Mode::CreateNew, &seen));
    EXPECT_EQ(seen, RiffError::Exists);
    EXPECT_FALSE(RiffFile::Open(Path("missing"), RiffFile::Mode::Read, &seen));
    EXPECT_EQ(seen, RiffError::CannotOpen);
    EXPECT_FALSE(RiffFile::Open(dir_.path(), RiffFile::Mode::Read, &seen));
    EXPECT_EQ(seen, RiffError::NotRegular);
}

// A FIFO named like a sound file has no writer: opening it must not wait for one.
TEST_F(Riff, AFifoIsRefusedWithoutWaiting) {
    const QString path = Path("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    for (auto mode : {RiffFile::Mode::Read, RiffFile::Mode::ReadWrite, RiffFile::Mode::Create}) {
        RiffError seen = RiffError::None;
        EXPECT_FALSE(RiffFile::Open(path, mode, &seen));
        EXPECT_EQ(seen, RiffError::NotRegular);
    }
    EXPECT_EQ(::access("/dev/zero", R_OK), 0);
    RiffError seen = RiffError::None;
    EXPECT_FALSE(RiffFile::Open("/dev/zero", RiffFile::Mode::Read, &seen));
    EXPECT_EQ(seen, RiffError::NotRegular);
}

// A chunk of odd size is followed by its pad byte; the walk steps over it to the next.
TEST_F(Riff, AnOddChunkBeforeDataIsSteppedOverWithItsPad) {
    const QString path = Path("odd.wav");
    QByteArray body("WAVE");
    body += QByteArray("odd \x03\0\0\0xyz\0", 12);
    body += QByteArray("data\x04\0\0\0\x01\x02\x03\x04", 12);
    QByteArray file = QByteArray("RIFF") + QByteArray(4, '\0') + body;
    const uint32_t size = static_cast<uint32_t>(body.size());
    std::memcpy(file.data() + 4, &size, 4);
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(file);
    raw.close();

    auto f = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(f);
    RiffChunk form;
    form.fccType = RiffFourCC("WAVE");
    ASSERT_EQ(f->Descend(form, nullptr, RiffFind::Riff), RiffError::None);
    RiffChunk data;
    data.ckid = RiffFourCC("data");
    ASSERT_EQ(f->Descend(data, &form, RiffFind::Chunk), RiffError::None);
    EXPECT_EQ(data.dataOffset, 12 + 12 + 8);
    EXPECT_EQ(data.cksize, 4u);
}

// Zero-filled or foreign bytes are not walked through eight bytes at a time: an id that
// is not four printable characters ends the walk, and a stop flag ends it too.
TEST_F(Riff, JunkEndsTheWalkAndAStopFlagIsHonoured) {
    const QString path = Path("junk.bin");
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray(1 << 20, '\0'));
    raw.write(QByteArray("DESC\x04\0\0\0abcd", 12));
    raw.close();
    auto f = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(f);
    RiffChunk c;
    c.ckid = RiffFourCC("DESC");
    EXPECT_EQ(f->Descend(c, nullptr, RiffFind::Chunk), RiffError::NotFound);
    EXPECT_TRUE(RiffFile::IsPlausibleId(RiffFourCC("fmt ")));
    EXPECT_FALSE(RiffFile::IsPlausibleId(0));
    EXPECT_FALSE(
        RiffFile::IsPlausibleId(RiffFourCC("ab\x7F"
                                           "c")));

    // Many empty chunks: the walk ends at once when its stop flag is up.
    QByteArray many;
    for (int i = 0; i < 1000; ++i)
        many += QByteArray("JUNK\0\0\0\0", 8);
    many += QByteArray("DESC\0\0\0\0", 8);
    const QString manyPath = Path("many.bin");
    QFile m(manyPath);
    ASSERT_TRUE(m.open(QIODevice::WriteOnly));
    m.write(many);
    m.close();
    auto g = RiffFile::Open(manyPath, RiffFile::Mode::Read);
    ASSERT_TRUE(g);
    std::atomic<bool> stop{false};
    g->SetStopFlag(&stop);
    RiffChunk d;
    d.ckid = RiffFourCC("DESC");
    ASSERT_EQ(g->Descend(d, nullptr, RiffFind::Chunk), RiffError::None);
    EXPECT_EQ(d.dataOffset, 1000 * 8 + 8);
    stop = true;
    g->Seek(0);
    EXPECT_EQ(g->Descend(d, nullptr, RiffFind::Chunk), RiffError::Stopped);
}

// A replacement is a new file beside the old one: a reader of the old file keeps the old
// bytes, the new file takes the old one's mode, and one never committed leaves nothing.
TEST_F(Riff, AReplacementTakesThePlaceOfTheOldFileWhole) {
    const QString path = Path("r.wav");
    {
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write("old contents");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    QFile oldReader(path);
    ASSERT_TRUE(oldReader.open(QIODevice::ReadOnly));

    auto original = RiffFile::Open(path, RiffFile::Mode::ReadWrite);
    ASSERT_TRUE(original);
    {
        auto abandoned = RiffFile::OpenReplacement(path);
        ASSERT_TRUE(abandoned);
        ASSERT_TRUE(abandoned->WriteExact("never", 5));
    }
    auto out = RiffFile::OpenReplacement(path);
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->CopyFrom(*original, 0, 3));
    ASSERT_TRUE(out->WriteExact(" and new", 8));
    EXPECT_EQ(Bytes(path), QByteArray("old contents")) << "nothing shows before the commit";
    ASSERT_EQ(out->CommitReplacement(original.get()), RiffError::None);
    original.reset();

    EXPECT_EQ(Bytes(path), QByteArray("old and new"));
    EXPECT_EQ(oldReader.readAll(), QByteArray("old contents"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

TEST_F(Riff, WritesPastTheEndAndTruncation) {
    const QString path = Path("gap.bin");
    auto f = RiffFile::Open(path, RiffFile::Mode::Create);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->WriteExact("ab", 2));
    f->Seek(10);
    ASSERT_TRUE(f->WriteExact("z", 1));
    EXPECT_EQ(f->Size(), 11);
    char back[11];
    f->Seek(0);
    ASSERT_TRUE(f->ReadExact(back, 11));
    EXPECT_EQ(QByteArray(back, 11), QByteArray("ab\0\0\0\0\0\0\0\0z", 11));
    f->Seek(1);
    ASSERT_EQ(f->Truncate(), RiffError::None);
    EXPECT_EQ(f->Read(back, 5), 0);
    ASSERT_EQ(f->Close(), RiffError::None);
    EXPECT_EQ(Bytes(path), QByteArray("a"));

    auto ro = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(ro);
    EXPECT_EQ(ro->Write("x", 1), -1);
    RiffChunk c;
    EXPECT_NE(ro->Create(c), RiffError::None);
}

}  // namespace
