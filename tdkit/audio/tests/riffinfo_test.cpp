#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

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
    EXPECT_FALSE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
    EXPECT_FALSE(CreateRMIDFile(Write("a.mid", "MThd"), path));
    held.reset();
    EXPECT_TRUE(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr));
}

}  // namespace
