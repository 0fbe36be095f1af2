#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
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

// A form with an odd-sized chunk and a large one, written through the buffer.
TEST_F(Riff, CreatedChunksGetTheirSizesAndPadding) {
    const QString path = Path("a.riff");
    std::vector<unsigned char> big(20000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 7);
    {
        auto f = RiffFile::Open(path, RiffFile::Mode::Create);
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
        ASSERT_EQ(f->Close(), RiffError::None);
    }
    const QByteArray bytes = Bytes(path);
    ASSERT_EQ(bytes.size(), 12 + 8 + 4 + 8 + 20000);
    uint32_t formSize;
    std::memcpy(&formSize, bytes.constData() + 4, 4);
    EXPECT_EQ(formSize, 4u + 12 + 8 + 20000);
    EXPECT_EQ(bytes[12 + 8 + 3], '\0');  // pad byte

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

TEST_F(Riff, OneOpenAtATimeAcrossThreads) {
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
    EXPECT_EQ(Bytes(path), QByteArray("data"));
    EXPECT_EQ(writer->Close(), RiffError::None);
    EXPECT_TRUE(RiffFile::Open(path, RiffFile::Mode::Read));
    EXPECT_FALSE(RiffFile::Open(path, RiffFile::Mode::CreateNew, &seen));
    EXPECT_EQ(seen, RiffError::Exists);
    EXPECT_FALSE(RiffFile::Open(Path("missing"), RiffFile::Mode::Read, &seen));
    EXPECT_EQ(seen, RiffError::CannotOpen);
    EXPECT_FALSE(RiffFile::Open(dir_.path(), RiffFile::Mode::Read));
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
