#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/riff.h"
#include "tdkit/audio/riffinfo.h"

namespace {

QByteArray LE32(uint32_t v) {
    QByteArray b(4, '\0');
    std::memcpy(b.data(), &v, 4);
    return b;
}

QByteArray Chunk(const char* id, const QByteArray& data) {
    QByteArray c = QByteArray(id, 4) + LE32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() & 1)
        c.append('\0');
    return c;
}

// An 11025 Hz 8-bit mono WAV file with dataBytes bytes of sound.
QByteArray Wave(int dataBytes) {
    QByteArray fmt = QByteArray("\x01\x00\x01\x00", 4) + LE32(11025) + LE32(11025) +
                     QByteArray("\x01\x00\x08\x00", 4);
    QByteArray body =
        QByteArray("WAVE") + Chunk("fmt ", fmt) + Chunk("data", QByteArray(dataBytes, '\x80'));
    return Chunk("RIFF", body);
}

class Chunks : public ::testing::Test {
protected:
    QString Write(const char* name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static ECHOMEMOSTRUCT Memo() {
        ECHOMEMOSTRUCT m{};
        m.frequency = MEMO_DAILY;
        m.dailyTime = 8 * 3600;
        m.dailyDays = 127;
        m.notify = 1;
        return m;
    }
    QTemporaryDir dir_;
};

TEST_F(Chunks, PlainWaveReadsAsTypeOneWithItsLength) {
    const QString two = Write("two.wav", Wave(22050));
    const QString one = Write("one.wav", Wave(22049));
    WAVEFILETYPE type = WAVEFILETYPE_WORKING;
    char desc[16] = "junk";
    DWORD seconds = 99;
    ASSERT_TRUE(GetInfoFromRIFFFile(two, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(type, WAVEFILETYPE_SOUND);
    EXPECT_STREQ(desc, "");
    EXPECT_EQ(seconds, 2u);
    ASSERT_TRUE(GetInfoFromRIFFFile(one, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(seconds, 1u);
    // Without "NOTE" it is no memo; without "MAIL" no voicegram.
    ECHOMEMOSTRUCT memo;
    EXPECT_FALSE(
        GetNoteInfoFromRIFFFile(two, type, desc, sizeof desc, seconds, &memo, SOUNDFILETYPE_WAV));
    VOICEGRAMINFOSTRUCT info{};
    EXPECT_FALSE(GetInfoFromRIFFFile(two, type, desc, sizeof desc, seconds, &info));
    EXPECT_FALSE(
        GetInfoFromRIFFFile(dir_.filePath("none.wav"), type, desc, sizeof desc, seconds, nullptr));
}

TEST_F(Chunks, MemoDescriptionRewritesKeepTheScheduleAndLeaveNoStaleBytes) {
    const QByteArray wave = Wave(22050);
    const QString path = Write("memo.wav", wave);
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "Call home", &memo, SOUNDFILETYPE_WAV));
    QByteArray bytes = Read(path);
    ASSERT_EQ(bytes.left(wave.size()), wave);
    EXPECT_EQ(bytes.mid(wave.size()),
              Chunk("DESC", LE32(5) + QByteArray("Call home", 10)) +
                  Chunk("NOTE", QByteArray(reinterpret_cast<const char*>(&memo), 68)));

    for (const char* text : {"A much longer description than before", "", "Short"}) {
        memo.dailyTime += 60;
        ASSERT_TRUE(
            AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, text, &memo, SOUNDFILETYPE_WAV));
        WAVEFILETYPE type;
        char desc[64];
        DWORD seconds;
        ECHOMEMOSTRUCT back{};
        ASSERT_TRUE(GetNoteInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &back,
                                            SOUNDFILETYPE_WAV));
        EXPECT_EQ(type, WAVEFILETYPE_ECHOMEMO);
        EXPECT_STREQ(desc, text);
        EXPECT_EQ(seconds, 2u);
        EXPECT_EQ(std::memcmp(&back, &memo, sizeof memo), 0);
        // The file ends where "NOTE" ends.
        const qsizetype descBytes = 8 + ((4 + std::strlen(text) + 1 + 1) & ~std::size_t{1});
        EXPECT_EQ(Read(path).size(), wave.size() + descBytes + 8 + 68) << text;
    }
}

TEST_F(Chunks, ChunksOfOthersAreKeptAndMarksChangeOnlyTheirFields) {
    const QByteArray foreign = Chunk("LIST", QByteArray("INFOICMT") + LE32(3) + "hi");
    const QString path = Write("keep.wav", Wave(100) + foreign);
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "longer", &memo, SOUNDFILETYPE_WAV));
    QByteArray before = Read(path);
    EXPECT_TRUE(before.endsWith(foreign));

    ASSERT_TRUE(MarkNoteAsAlreadyPlayed(path, 7, 123456));
    QByteArray after = Read(path);
    const qsizetype note = before.indexOf("NOTE") + 8;
    ECHOMEMOSTRUCT back;
    std::memcpy(&back, after.constData() + note, 68);
    EXPECT_EQ(back.played, 1);
    EXPECT_EQ(back.lastPlayed, 123456u);
    EXPECT_EQ(after.left(note), before.left(note));
    EXPECT_EQ(after.mid(note + 12), before.mid(note + 12));
    EXPECT_FALSE(MarkNoteAsAlreadyPlayed(Write("plain.wav", Wave(10)), 1, 1));
}

TEST_F(Chunks, DescriptionBufferMustHoldTheTextAndItsZero) {
    const QString path = Write("d.wav", Wave(10));
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "12345678", &memo, SOUNDFILETYPE_WAV));
    WAVEFILETYPE type;
    DWORD seconds;
    char desc[9];
    EXPECT_TRUE(GetInfoFromRIFFFile(path, type, desc, 9, seconds, nullptr));
    EXPECT_STREQ(desc, "12345678");
    EXPECT_FALSE(GetInfoFromRIFFFile(path, type, desc, 8, seconds, nullptr));
}

TEST_F(Chunks, VoicegramRecordsRoundTrip) {
    VOICEGRAMINFOSTRUCT empty{};
    empty.value2 = 0x01020304;
    empty.heard = 9;
    const std::vector<uint8_t> stored = SerializeVoicegramInfo(empty);
    ASSERT_EQ(stored.size(), 36u);
    EXPECT_EQ(stored[4], 0x04);

    char from[] = "ann@example.org";
    char names[] = "bob\0carol\0";  // a list and its closing double zero
    char none[] = "\0";
    VOICEGRAMINFOSTRUCT info{};
    info.text1 = from;
    info.value2 = 42;
    info.text4 = from;
    info.list7 = names;
    info.list8 = none;
    const QByteArray wave = Wave(50);
    const QString path = Write("vg.wav", wave);
    ASSERT_TRUE(AddInfoToRIFFFile(path, WAVEFILETYPE_SOUND, "Hello", &info));
    EXPECT_EQ(SerializeVoicegramInfo(info).size(), 36u + 16 + 16 + 11 + 2);

    WAVEFILETYPE type;
    char desc[32];
    DWORD seconds;
    VOICEGRAMINFOSTRUCT back{};
    ASSERT_TRUE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &back));
    EXPECT_STREQ(desc, "Hello");
    EXPECT_STREQ(back.text1, from);
    EXPECT_EQ(back.value2, 42u);
    EXPECT_EQ(back.text3, nullptr);
    EXPECT_STREQ(back.text4, from);
    ASSERT_NE(back.list7, nullptr);
    EXPECT_EQ(std::memcmp(back.list7, names, 11), 0);
    EXPECT_EQ(std::memcmp(back.list8, "\0\0", 2), 0);
    EXPECT_EQ(back.heard, 0u);
    FreeVoicegramInfo(&back);
    EXPECT_EQ(back.text1, nullptr);

    const QByteArray before = Read(path);
    ASSERT_TRUE(MarkMailAsHeard(path, 1));
    const QByteArray after = Read(path);
    // The record is 81 bytes: "heard" sits just before the pad byte.
    ASSERT_EQ(after.size(), before.size());
    const qsizetype heard = after.size() - 5;
    EXPECT_EQ(after.left(heard), before.left(heard));
    EXPECT_EQ(after.mid(heard), LE32(1) + '\0');

    // A new record replaces the old one in its place, and the file ends with it.
    info.list7 = nullptr;
    ASSERT_TRUE(AddInfoToRIFFFile(path, WAVEFILETYPE_SOUND, "Hello", &info));
    EXPECT_EQ(Read(path).size(), wave.size() + 8 + 10 + 8 + 36 + 16 + 16 + 2);
    EXPECT_FALSE(MarkMailAsHeard(Write("plain.wav", Wave(10)), 1));
}

TEST_F(Chunks, StoredLengthsAreNotBelieved) {
    // A text length past the end of the record, and a text stored without its zero.
    QByteArray record = LE32(0x7FFFFFFF) + QByteArray(32, '\0');
    VOICEGRAMINFOSTRUCT info{};
    EXPECT_FALSE(ParseVoicegramInfo(record.constData(), record.size(), info));
    EXPECT_EQ(info.text1, nullptr);
    record = LE32(3) + "abc" + QByteArray(32, '\0');
    std::size_t used = 0;
    ASSERT_TRUE(ParseVoicegramInfo(record.constData(), record.size(), info, &used));
    EXPECT_STREQ(info.text1, "abc");
    EXPECT_EQ(used, 39u);
    FreeVoicegramInfo(&info);
    EXPECT_FALSE(ParseVoicegramInfo(record.constData(), 38, info));

    // A "MAIL" chunk whose record claims more than the chunk holds.
    const QString bad = Write(
        "bad.wav", Wave(10) + Chunk("MAIL", LE32(0) + LE32(1) + LE32(60) + QByteArray(40, 'a')));
    WAVEFILETYPE type;
    char desc[8];
    DWORD seconds;
    EXPECT_FALSE(GetInfoFromRIFFFile(bad, type, desc, sizeof desc, seconds, &info));
    EXPECT_FALSE(MarkMailAsHeard(bad, 1));
    // A "DESC" claiming 4 GB, and one too short for its type.
    const QString huge = Write("huge.wav", Wave(10) + QByteArray("DESC") + LE32(0xFFFFFFF0) + "ab");
    EXPECT_TRUE(GetInfoFromRIFFFile(huge, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(type, WAVEFILETYPE_SOUND);
    const QString tiny = Write("tiny.wav", Wave(10) + Chunk("DESC", "ab"));
    EXPECT_FALSE(GetInfoFromRIFFFile(tiny, type, desc, sizeof desc, seconds, nullptr));
    // A form cut short: no length, and no place to put a description after it.
    const QString cut = Write("cut.wav", Wave(1000).left(500));
    ASSERT_TRUE(GetInfoFromRIFFFile(cut, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(seconds, 0u);
    ECHOMEMOSTRUCT memo = Memo();
    EXPECT_FALSE(AddNoteInfoToRIFFFile(cut, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(Read(cut), Wave(1000).left(500));
}

TEST_F(Chunks, AmericaOnlineAddressingGoesRightAfterTheForm) {
    const QByteArray wave = Wave(20);
    const QString path = Write("aol.wav", wave);
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "kept", &memo, SOUNDFILETYPE_WAV));
    ASSERT_TRUE(AddAOLSendMailInfoToRIFFFile(path, "ann, bob", "", "Hi", "Listen"));
    const QByteArray bytes = Read(path);
    EXPECT_EQ(bytes.mid(wave.size(), 4), "AOL ");
    QString to, cc, subject, note;
    ASSERT_TRUE(GetAOLSendMailInfoFromRIFFFile(path, to, cc, subject, note));
    EXPECT_EQ(to, "ann, bob");
    EXPECT_EQ(cc, "");
    EXPECT_EQ(subject, "Hi");
    EXPECT_EQ(note, "Listen");
    WAVEFILETYPE type;
    char desc[8];
    DWORD seconds;
    ASSERT_TRUE(
        GetNoteInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &memo, SOUNDFILETYPE_WAV));
    EXPECT_STREQ(desc, "kept");
    EXPECT_FALSE(GetAOLSendMailInfoFromRIFFFile(Write("p.wav", wave), to, cc, subject, note));
}

TEST_F(Chunks, MidiFilesAreWrappedAndTakeMemos) {
    const QString empty = Write("empty.mid", QByteArray());
    const QString rmi = dir_.filePath("empty.rmi");
    ASSERT_TRUE(CreateRMIDFile(empty, rmi));
    EXPECT_EQ(Read(rmi), Chunk("RIFF", QByteArray("RMID") + Chunk("data", QByteArray())));

    const QByteArray song = QByteArray("MThd") + QByteArray(2501, 's');
    const QString mid = Write("song.mid", song);
    const QString out = dir_.filePath("song.rmi");
    Write("song.rmi", "old contents");
    ASSERT_TRUE(CreateRMIDFile(mid, out));
    EXPECT_EQ(Read(out), Chunk("RIFF", QByteArray("RMID") + Chunk("data", song)));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 4);  // no temporary file left

    ECHOMEMOSTRUCT memo = Memo();
    EXPECT_FALSE(
        AddNoteInfoToRIFFFile(out, WAVEFILETYPE_ECHOMEMO, "tune", &memo, SOUNDFILETYPE_WAV));
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(out, WAVEFILETYPE_ECHOMEMO, "tune", &memo, SOUNDFILETYPE_RMI));
    WAVEFILETYPE type;
    char desc[8];
    DWORD seconds = 5;
    ASSERT_TRUE(
        GetNoteInfoFromRIFFFile(out, type, desc, sizeof desc, seconds, &memo, SOUNDFILETYPE_RMI));
    EXPECT_STREQ(desc, "tune");
    EXPECT_EQ(seconds, 0u);
    EXPECT_FALSE(CreateRMIDFile(dir_.filePath("missing.mid"), dir_.filePath("x.rmi")));
    EXPECT_FALSE(QFile::exists(dir_.filePath("x.rmi")));
}

// The recorder ends a recording in an existing, longer file with its description.
TEST_F(Chunks, RecorderDescriptionEndsTheFile) {
    const QString path = Write("rec.wav", Wave(40) + Chunk("DESC", LE32(2) + QByteArray(300, 'o')) +
                                              Chunk("NOTE", QByteArray(68, 'n')));
    {
        auto file = RiffFile::Open(path, RiffFile::Mode::ReadWrite);
        ASSERT_TRUE(file);
        RiffChunk form;
        form.fccType = RiffFourCC("WAVE");
        ASSERT_EQ(file->Descend(form, nullptr, RiffFind::Riff), RiffError::None);
        ASSERT_EQ(file->Ascend(form), RiffError::None);
        ASSERT_TRUE(WriteDescChunk(*file, WAVEFILETYPE_WORKING, "WAVE FILE"));
        ASSERT_EQ(file->Close(), RiffError::None);
    }
    EXPECT_EQ(Read(path), Wave(40) + Chunk("DESC", LE32(2) + QByteArray("WAVE FILE", 10)));
    WAVEFILETYPE type;
    char desc[16];
    DWORD seconds;
    ECHOMEMOSTRUCT memo;
    ASSERT_TRUE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(type, WAVEFILETYPE_WORKING);
    EXPECT_FALSE(
        GetNoteInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &memo, SOUNDFILETYPE_WAV));
}

TEST_F(Chunks, AFileInUseIsRefused) {
    const QString path = Write("busy.wav", Wave(10));
    auto held = RiffFile::Open(path, RiffFile::Mode::Read);
    ASSERT_TRUE(held);
    ECHOMEMOSTRUCT memo = Memo();
    WAVEFILETYPE type;
    char desc[8];
    DWORD seconds;
    EXPECT_FALSE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(LastChunkError(), ChunkError::Busy);
    EXPECT_FALSE(CreateRMIDFile(Write("a.mid", "MThd"), path));
    EXPECT_EQ(LastChunkError(), ChunkError::Busy);
    // Readers share the file.
    EXPECT_TRUE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
    held.reset();
    auto writer = RiffFile::Open(path, RiffFile::Mode::ReadWrite);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(LastChunkError(), ChunkError::Busy);
    writer.reset();
    EXPECT_TRUE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
}

// A stored text of exactly the buffer's size without its zero has no room for one: the
// read fails and nothing is written past the buffer.
TEST_F(Chunks, ATextWithoutItsZeroThatFillsTheBufferIsRefused) {
    const QString path = Write("nozero.wav", Wave(10) + Chunk("DESC", LE32(5) + "abcdefgh"));
    WAVEFILETYPE type;
    DWORD seconds;
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(GetInfoFromRIFFFile(path, type, buffer, 8, seconds, nullptr));
    EXPECT_EQ(buffer[8], '#') << "the byte after the buffer";
    ASSERT_TRUE(GetInfoFromRIFFFile(path, type, buffer, 9, seconds, nullptr));
    EXPECT_STREQ(buffer, "abcdefgh");
    EXPECT_EQ(buffer[9], '#');
}

// Every writer refuses a description that a reader's field could not hold, and leaves
// the file as it was.
TEST_F(Chunks, DescriptionsLongerThanTheFieldAreRefused) {
    const QByteArray wave = Wave(100);
    const QString path = Write("long.wav", wave);
    ECHOMEMOSTRUCT memo = Memo();
    const std::string fits(kDescriptionBufferSize - 1, 'f');
    const std::string tooLong(kDescriptionBufferSize, 't');
    EXPECT_FALSE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, tooLong.c_str(), &memo,
                                       SOUNDFILETYPE_WAV));
    EXPECT_EQ(LastChunkError(), ChunkError::TooLong);
    VOICEGRAMINFOSTRUCT info{};
    EXPECT_FALSE(AddInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, tooLong.c_str(), &info));
    EXPECT_EQ(LastChunkError(), ChunkError::TooLong);
    EXPECT_EQ(Read(path), wave);
    {
        auto file = RiffFile::Open(path, RiffFile::Mode::ReadWrite);
        ASSERT_TRUE(file);
        file->Seek(0, SEEK_END);
        EXPECT_FALSE(WriteDescChunk(*file, WAVEFILETYPE_WORKING, tooLong.c_str()));
        EXPECT_EQ(LastChunkError(), ChunkError::TooLong);
    }
    EXPECT_EQ(Read(path), wave);

    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, fits.c_str(), &memo, SOUNDFILETYPE_WAV));
    WAVEFILETYPE type;
    DWORD seconds;
    char desc[kDescriptionBufferSize];
    ASSERT_TRUE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_EQ(std::string(desc), fits);
}

// A description an older writer stored longer than the reader's buffer: refused by
// default, or cut to the buffer (never past it, never inside a UTF-8 character) when
// the reader asks for it, the schedule read all the same.
TEST_F(Chunks, AnOverlongStoredDescriptionIsCutToTheBufferWhenAsked) {
    const ECHOMEMOSTRUCT stored = Memo();
    const QByteArray note =
        Chunk("NOTE", QByteArray(reinterpret_cast<const char*>(&stored), sizeof stored));
    auto memoWith = [&](const char* name, const QByteArray& text) {
        return Write(name, Wave(10) + Chunk("DESC", LE32(5) + text) + note);
    };
    const QString longText = memoWith("long.wav", QByteArray(300, 'L') + '\0');
    // "é" is two bytes: with a 7-byte buffer the cut falls inside the second one.
    const QString accented = memoWith("utf8.wav",
                                      "abc\xC3\xA9\xC3\xA9"
                                      "fgh");
    const QString exact = memoWith("exact.wav", "abcdefgh");  // 8 bytes, no zero
    WAVEFILETYPE type;
    DWORD seconds;
    ECHOMEMOSTRUCT memo{};
    char desc[12];

    std::memset(desc, '#', sizeof desc);
    EXPECT_FALSE(
        GetNoteInfoFromRIFFFile(longText, type, desc, 8, seconds, &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(LastChunkError(), ChunkError::TooLong);
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(longText, type, desc, 8, seconds, &memo, SOUNDFILETYPE_WAV,
                                        LongDescription::Cut));
    EXPECT_STREQ(desc, "LLLLLLL");
    EXPECT_EQ(desc[8], '#') << "the byte after the buffer";
    EXPECT_EQ(type, WAVEFILETYPE_ECHOMEMO);
    EXPECT_EQ(memo.dailyTime, stored.dailyTime);

    std::memset(desc, '#', sizeof desc);
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(accented, type, desc, 6, seconds, &memo, SOUNDFILETYPE_WAV,
                                        LongDescription::Cut));
    EXPECT_STREQ(desc, "abc\xC3\xA9");
    EXPECT_EQ(desc[6], '#');
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(accented, type, desc, 7, seconds, &memo, SOUNDFILETYPE_WAV,
                                        LongDescription::Cut));
    EXPECT_STREQ(desc, "abc\xC3\xA9") << "the second character does not fit whole";

    // Exactly the buffer's size without a zero: cut by one byte, the zero in the buffer.
    std::memset(desc, '#', sizeof desc);
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(exact, type, desc, 8, seconds, &memo, SOUNDFILETYPE_WAV,
                                        LongDescription::Cut));
    EXPECT_STREQ(desc, "abcdefg");
    EXPECT_EQ(desc[8], '#');
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(exact, type, desc, 9, seconds, &memo, SOUNDFILETYPE_WAV,
                                        LongDescription::Cut));
    EXPECT_STREQ(desc, "abcdefgh");
    EXPECT_EQ(desc[9], '#');
}

// Bytes after the last chunk the walk can take are carried over, never cut: a trailing
// tag of another program, and a foreign chunk stored without its pad byte with the chunk
// after it.
TEST_F(Chunks, BytesTheWriterDoesNotUnderstandAreKept) {
    const QByteArray wave = Wave(101);
    QByteArray id3("TAG");
    id3 += QByteArray(125, 'i');
    const QString tagged = Write("tagged.wav", wave + id3);
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(tagged, WAVEFILETYPE_ECHOMEMO, "d", &memo, SOUNDFILETYPE_WAV));
    QByteArray bytes = Read(tagged);
    EXPECT_TRUE(bytes.startsWith(wave));
    EXPECT_TRUE(bytes.endsWith(id3));
    EXPECT_EQ(bytes.size(), wave.size() + 8 + 6 + 8 + 68 + id3.size());

    const QByteArray unpadded = QByteArray("abcd") + LE32(5) + "12345";
    const QByteArray after = Chunk("LIST", QByteArray("INFOICMT") + LE32(3) + "hi");
    const QString odd = Write("odd.wav", wave + unpadded + after);
    ASSERT_TRUE(AddNoteInfoToRIFFFile(odd, WAVEFILETYPE_ECHOMEMO, "d", &memo, SOUNDFILETYPE_WAV));
    bytes = Read(odd);
    EXPECT_TRUE(bytes.startsWith(wave));
    EXPECT_TRUE(bytes.endsWith(unpadded + after));
    WAVEFILETYPE type;
    char desc[8];
    DWORD seconds;
    ECHOMEMOSTRUCT back{};
    ASSERT_TRUE(
        GetNoteInfoFromRIFFFile(odd, type, desc, sizeof desc, seconds, &back, SOUNDFILETYPE_WAV));
    EXPECT_STREQ(desc, "d");

    // A chunk stored before the form stays there, and the sound stays whole.
    const QByteArray before = Chunk("JUNK", QByteArray(7, 'j'));
    const QString first = Write("first.wav", before + wave);
    ASSERT_TRUE(AddNoteInfoToRIFFFile(first, WAVEFILETYPE_ECHOMEMO, "d", &memo, SOUNDFILETYPE_WAV));
    EXPECT_TRUE(Read(first).startsWith(before + wave));
    ASSERT_TRUE(
        GetNoteInfoFromRIFFFile(first, type, desc, sizeof desc, seconds, &back, SOUNDFILETYPE_WAV));
    EXPECT_EQ(seconds, 0u) << "101 bytes at 11025 bytes a second";
}

// A form whose size covers only half of its sound: a chunk written after the form would
// land inside the sound, so the write is refused and the file left as it was.
TEST_F(Chunks, AFormCutShortIsLeftAsItWas) {
    QByteArray wave = Wave(24000);
    const uint32_t half = static_cast<uint32_t>(wave.size() / 2);
    std::memcpy(wave.data() + 4, &half, 4);
    const QString path = Write("half.wav", wave);
    ECHOMEMOSTRUCT memo = Memo();
    EXPECT_FALSE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(LastChunkError(), ChunkError::Damaged);
    EXPECT_FALSE(AddAOLSendMailInfoToRIFFFile(path, "to", "cc", "s", "n"));
    EXPECT_EQ(Read(path), wave);
}

// A writer builds the new file beside the old one: a reader holding the old file keeps
// reading it whole, the mode stays, and no temporary file is left behind.
TEST_F(Chunks, WritersReplaceTheFileAndNeverChangeItInPlace) {
    const QByteArray wave = Wave(1000) + Chunk("LIST", QByteArray("INFOICMT") + LE32(3) + "hi");
    const QString path = Write("replace.wav", wave);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0604), 0);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    ECHOMEMOSTRUCT memo = Memo();
    ASSERT_TRUE(
        AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "new", &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(old.readAll(), wave);
    EXPECT_NE(Read(path), wave);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    // The same for a MIDI file wrapped over an existing one.
    const QString rmi = Write("song.rmi", "old rmi");
    QFile oldRmi(rmi);
    ASSERT_TRUE(oldRmi.open(QIODevice::ReadOnly));
    ASSERT_TRUE(CreateRMIDFile(Write("song.mid", "MThd...."), rmi));
    EXPECT_EQ(oldRmi.readAll(), QByteArray("old rmi"));
    EXPECT_TRUE(Read(rmi).startsWith("RIFF"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // Read-only files are refused as such.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0) {
        EXPECT_FALSE(
            AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "ro", &memo, SOUNDFILETYPE_WAV));
        EXPECT_EQ(LastChunkError(), ChunkError::ReadOnly);
    }
}

// With the disk full (here: a file-size limit) the write fails and the old file stands.
TEST_F(Chunks, AFailedWriteLeavesTheOldFile) {
    QByteArray wave = Wave(200000) + Chunk("LIST", QByteArray("INFOICMT") + LE32(3) + "hi");
    const QString path = Write("full.wav", wave);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 100000;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ECHOMEMOSTRUCT memo = Memo();
        const int ok =
            AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV);
        ::_exit(ok ? 1 : LastChunkError() == ChunkError::Write ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: another reason";
    EXPECT_EQ(Read(path), wave);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// Files that are not regular files are refused at once, whatever their name.
TEST_F(Chunks, AFifoIsRefusedAtOnce) {
    const QString path = dir_.filePath("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    SOUNDFILETYPE sound;
    EXPECT_FALSE(GetSoundFileType(path, sound));
    EXPECT_EQ(LastChunkError(), ChunkError::NotRegular);
    ECHOMEMOSTRUCT memo = Memo();
    EXPECT_FALSE(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "x", &memo, SOUNDFILETYPE_WAV));
    EXPECT_EQ(LastChunkError(), ChunkError::NotRegular);
}

}  // namespace
