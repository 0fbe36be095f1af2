#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstring>

#include "tdkit/audio/acm.h"
#include "tdkit/audio/record.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdmemo/schedule.h"
#include "tdpost/recorderfiles.h"

namespace {

int argc = 1;
char arg0[] = "tdpost_tests";
char* argv[] = {arg0, nullptr};

// Runs sox (or its info mode) and returns standard output; fails the test on an error.
QByteArray Sox(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("sox"), args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "sox " << args.join(' ').toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

// A tone (or silence for frequency 0) at 8000 samples/s, 8 bits, mono: the Telephone
// format the recorder uses.
void Tone(const QString& path, double seconds, int frequency, double volume = 0.5,
          const QStringList& format = {"-r", "8000", "-b", "8", "-c", "1", "-e", "unsigned"}) {
    QStringList args{"-D", "-n"};
    args << format << path << "synth" << QString::number(seconds);
    if (frequency)
        args << "sine" << QString::number(frequency) << "vol" << QString::number(volume);
    else
        args << "sine"
             << "0"
             << "vol"
             << "0";
    Sox(args);
}

qint64 Samples(const QString& path) {
    return Sox({"--i", "-s", path}).trimmed().toLongLong();
}

QByteArray Raw(const QString& path) {
    return Sox({path, "-t", "raw", "-"});
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The memo information of a WAV file.
struct MemoNote {
    bool read = false;
    WAVEFILETYPE type = WAVEFILETYPE_SOUND;
    char description[256] = {};
    DWORD seconds = 0;
    ECHOMEMOSTRUCT memo{};
};
MemoNote ReadNote(const QString& path) {
    MemoNote n;
    n.read = GetNoteInfoFromRIFFFile(path, n.type, n.description, sizeof n.description, n.seconds,
                                     &n.memo, SOUNDFILETYPE_WAV) != 0;
    return n;
}

class RecorderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        ASSERT_TRUE(dir_.isValid() && runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("reg").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.filePath("root"), "Ann").ok);
        ASSERT_TRUE(GetEchoMemosDirectory(memoDir_));
        rec_.Start(nullptr, RECORDFORMAT_TELEPHONE, 60);
    }
    QString Path(const char* name) const { return dir_.filePath(name); }
    QStringList Entries(const QString& dir) const {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QTemporaryDir dir_, runtime_;
    QString memoDir_;
    CRecord rec_;
};

TEST_F(RecorderFiles, PostMakesAMemoTheScheduleReadsAndNeverOverwrites) {
    const QString work = Path("work.wav");
    Tone(work, 1.0, 440);
    // A memo file already there stays as it is.
    const QString older = memoDir_ + "/SAY0001.WAV";
    Tone(older, 0.5, 300);
    const QByteArray olderBytes = Bytes(older);

    ECHOMEMOSTRUCT memo{};
    memo.frequency = MEMO_DAILY;
    memo.dailyTime = 8 * 3600;
    memo.dailyDays = 0x7F;
    memo.notify = 1;
    const time_t now = MakeLocalTime(2030, 3, 1, 7, 0, 0);
    memo.lastPlayed = static_cast<uint32_t>(now);  // posted now: nothing to catch up
    const PostResult r = PostEchoMemoFile(work, memoDir_, "Take the pills", memo);
    ASSERT_FALSE(r.path.isEmpty()) << r.error.toStdString();
    EXPECT_TRUE(QFileInfo(r.path).fileName().startsWith("SAY"));
    EXPECT_TRUE(r.path.endsWith(".WAV"));
    EXPECT_EQ(Bytes(older), olderBytes);
    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ(Entries(memoDir_).size(), 2);

    const MemoNote note = ReadNote(r.path);
    ASSERT_TRUE(note.read);
    const ECHOMEMOSTRUCT& back = note.memo;
    EXPECT_EQ(note.type, WAVEFILETYPE_ECHOMEMO);
    EXPECT_STREQ(note.description, "Take the pills");
    EXPECT_EQ(back.dailyTime, 8 * 3600);
    EXPECT_EQ(back.notify, 1);
    int scheduled = 0;
    EXPECT_EQ(NextPlayTime(back, now, &scheduled), MakeLocalTime(2030, 3, 1, 8, 0, 0));
    EXPECT_EQ(scheduled, 1);
    // sox still reads the sound, all of it.
    EXPECT_EQ(Samples(r.path), 8000);

    // A second post gets a name of its own.
    const PostResult again = PostEchoMemoFile(work, memoDir_, "", memo);
    ASSERT_FALSE(again.path.isEmpty());
    EXPECT_NE(again.path, r.path);
}

TEST_F(RecorderFiles, AFailedPostLeavesNothingBehind) {
    // Not a WAV file: the memo information cannot be written.
    const QString bogus = Path("bogus.wav");
    QFile f(bogus);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a sound file at all");
    f.close();
    ECHOMEMOSTRUCT memo{};
    PostResult r = PostEchoMemoFile(bogus, memoDir_, "x", memo);
    EXPECT_TRUE(r.path.isEmpty());
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(Entries(memoDir_).isEmpty());
    // A work file that has gone.
    r = PostEchoMemoFile(Path("missing.wav"), memoDir_, "x", memo);
    EXPECT_TRUE(r.path.isEmpty());
    EXPECT_TRUE(Entries(memoDir_).isEmpty());
    // A folder that cannot be written.
    const QString locked = Path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ::chmod(QFile::encodeName(locked).constData(), 0500);
    Tone(Path("w.wav"), 0.2, 440);
    if (::geteuid() != 0) {
        r = PlaceFileInDirectory(Path("w.wav"), locked);
        EXPECT_TRUE(r.path.isEmpty());
    }
    ::chmod(QFile::encodeName(locked).constData(), 0700);
    r = PlaceFileInDirectory(Path("w.wav"), locked);
    ASSERT_FALSE(r.path.isEmpty());
    EXPECT_TRUE(QFileInfo(r.path).fileName().startsWith("TDF"));
    EXPECT_EQ(Bytes(r.path), Bytes(Path("w.wav")));
    EXPECT_EQ(Entries(locked).size(), 1);
}

// Asked to compress, the post writes the memo in the compression format with its memo
// information; a recording the codec layer cannot read posts nothing and says why.
TEST_F(RecorderFiles, ACompressedPostIsWholeOrNothing) {
    const QString work = Path("work.wav");
    Tone(work, 2.0, 440);
    ECHOMEMOSTRUCT memo{};
    memo.frequency = MEMO_HOURLY;
    memo.hourlyTime = 15 * 60;
    PostResult r = PostEchoMemoFile(work, memoDir_, "Compressed", memo, true);
    ASSERT_FALSE(r.path.isEmpty()) << r.error.toStdString();
    EXPECT_FALSE(r.compressionFailed);
    const CACMFormatPtr format = CACM::GetFormatFromFile(r.path);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->wFormatTag, WAVE_FORMAT_DSPGROUP_TRUESPEECH);
    EXPECT_LT(QFileInfo(r.path).size(), QFileInfo(work).size() / 4);
    const MemoNote note = ReadNote(r.path);
    ASSERT_TRUE(note.read);
    EXPECT_EQ(note.type, WAVEFILETYPE_ECHOMEMO);
    EXPECT_STREQ(note.description, "Compressed");
    EXPECT_EQ(note.memo.hourlyTime, 15 * 60);
    EXPECT_EQ(note.seconds, 2u);
    EXPECT_EQ(Entries(memoDir_).size(), 1) << "no temporary file stays";

    // Not a sound: the compression fails, and no memo, reserved name or part is left.
    const QString bogus = Path("bogus.wav");
    QFile f(bogus);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF\x04\0\0\0WAVE");
    f.close();
    r = PostEchoMemoFile(bogus, memoDir_, "x", memo, true);
    EXPECT_TRUE(r.path.isEmpty());
    EXPECT_TRUE(r.compressionFailed);
    EXPECT_EQ(Entries(memoDir_).size(), 1);
    // The plain post of the same file fails too, but not as a compression.
    r = PostEchoMemoFile(bogus, memoDir_, "x", memo, false);
    EXPECT_TRUE(r.path.isEmpty());
    EXPECT_FALSE(r.compressionFailed);
    EXPECT_EQ(Entries(memoDir_).size(), 1);
}

TEST_F(RecorderFiles, SaveAsReplacesWholeAndRefusesTheWorkFileItself) {
    const QString work = Path("work.wav");
    Tone(work, 0.5, 440);
    const QString target = Path("saved.wav");
    Tone(target, 2.0, 200);
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(SaveWorkFileAs(work, target));
    EXPECT_EQ(Bytes(target), Bytes(work));
    // A replaced file keeps its permissions; a new one gets the user's usual ones.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(SaveWorkFileAs(work, Path("new.wav")));
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(Path("new.wav")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_FALSE(SaveWorkFileAs(work, work));
    EXPECT_FALSE(SaveWorkFileAs(work, dir_.path()));  // a folder
    EXPECT_EQ(Entries(dir_.path()).filter(".part").size(), 0);
}

TEST_F(RecorderFiles, ImportModesJoinTheSoundsAsSoxSeesThem) {
    const QString source = Path("source.wav");
    Tone(source, 0.5, 880);
    const struct {
        ImportMode mode;
        qint64 samples;
    } cases[] = {{ImportMode::Replace, 4000},
                 {ImportMode::Append, 12000},
                 {ImportMode::Insert, 12000},
                 {ImportMode::Mix, 8000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mode));
        const QString work = Path("work.wav");
        Tone(work, 1.0, 0);  // silence
        const QByteArray silence = Raw(work);
        ASSERT_EQ(ImportIntoWorkFile(rec_, c.mode, source, work), ImportError::None);
        EXPECT_EQ(Samples(work), c.samples);
        const QByteArray joined = Raw(work);
        const QByteArray tone = Raw(source);
        switch (c.mode) {
            case ImportMode::Replace:
                EXPECT_EQ(joined, tone);
                break;
            case ImportMode::Append:
                EXPECT_EQ(joined, silence + tone);
                break;
            case ImportMode::Insert:
                EXPECT_EQ(joined, tone + silence);
                break;
            case ImportMode::Mix: {
                // Mixed into silence, the tone comes through; the rest stays silent.
                ASSERT_EQ(joined.size(), silence.size());
                int off = 0;
                for (int i = 0; i < tone.size(); ++i)
                    off = std::max(off, std::abs(int(uint8_t(joined[i])) - int(uint8_t(tone[i]))));
                EXPECT_LE(off, 1);
                EXPECT_EQ(joined.mid(tone.size()), silence.mid(tone.size()));
                break;
            }
        }
    }
    // Nothing of the work is left in the temporary folder.
    EXPECT_TRUE(FindOrphanWorkFiles().isEmpty());
}

TEST_F(RecorderFiles, FailedImportsLeaveTheWorkFileAsItWas) {
    const QString work = Path("work.wav");
    Tone(work, 1.0, 440);
    const QByteArray before = Bytes(work);
    // Pasting the work file over itself, also through another name.
    EXPECT_EQ(ImportIntoWorkFile(rec_, ImportMode::Append, work, work), ImportError::SameFile);
    ASSERT_TRUE(QFile::link(work, Path("alias.wav")));
    EXPECT_EQ(ImportIntoWorkFile(rec_, ImportMode::Replace, Path("alias.wav"), work),
              ImportError::SameFile);
    // A FIFO named like a sound must not be opened (it would block).
    const QString fifo = Path("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ImportIntoWorkFile(rec_, ImportMode::Append, fifo, work), ImportError::NotAFile);
    EXPECT_FALSE(IsRegularReadableFile(fifo));
    EXPECT_EQ(ImportIntoWorkFile(rec_, ImportMode::Append, dir_.path(), work),
              ImportError::NotAFile);
    // A source that is no sound: the append fails part way, on the copy.
    const QString text = Path("text.wav");
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("RIFF....WAVEnothing");
    t.close();
    for (ImportMode m : {ImportMode::Append, ImportMode::Mix, ImportMode::Insert})
        EXPECT_EQ(ImportIntoWorkFile(rec_, m, text, work), ImportError::Failed) << int(m);
    EXPECT_EQ(Bytes(work), before);
    EXPECT_TRUE(FindOrphanWorkFiles().isEmpty());
}

TEST_F(RecorderFiles, ConversionToTheRecordersFormat) {
    const QString cd = Path("cd.wav");
    Tone(cd, 0.5, 440, 0.5, {"-r", "44100", "-b", "16", "-c", "2"});
    WAVEFORMATEX target{};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = 1;
    target.nSamplesPerSec = 8000;
    target.wBitsPerSample = 8;
    const QString out = Path("out.wav");
    ASSERT_TRUE(ConvertPcmFile(cd, out, target));
    EXPECT_EQ(Sox({"--i", "-r", out}).trimmed(), "8000");
    EXPECT_EQ(Sox({"--i", "-c", out}).trimmed(), "1");
    EXPECT_EQ(Sox({"--i", "-b", out}).trimmed(), "8");
    EXPECT_EQ(Samples(out), 4000);
    WAVEFORMATEX f{};
    ASSERT_TRUE(ReadWavFormat(out, &f));
    EXPECT_TRUE(CRecord::IsSameFormat(&f, &target));
    // Compressed data is not converted here.
    const QString gsm = Path("gsm.wav");
    Sox({"-n", "-r", "8000", "-c", "1", "-e", "gsm-full-rate", gsm, "synth", "0.2", "sine", "300"});
    EXPECT_FALSE(ConvertPcmFile(gsm, Path("x.wav"), target));
}

TEST_F(RecorderFiles, ACrashedRecordingIsMendedAndFoundAgain) {
    // A recording cut off by a crash: data and form sizes as they were when the file was
    // made, the samples after them, and a partial frame at the end.
    const QString made = Path("whole.wav");
    Tone(made, 1.0, 440, 0.5, {"-r", "8000", "-b", "16", "-c", "1"});
    QByteArray image = Bytes(made);
    ASSERT_EQ(image.mid(36, 4), "data");
    std::memset(image.data() + 40, 0, 4);  // data size 0
    std::memset(image.data() + 4, 0, 4);   // form size 0
    image.append('\x11');                  // half a frame
    const std::optional<QString> tmp = [] {
        QString d = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/tonedeck/tmp";
        QDir().mkpath(d);
        return std::optional<QString>(d);
    }();
    const QString crashed = *tmp + "/VG1234.WAV";
    QFile f(crashed);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();

    // Held by a drawer, it is nobody's orphan; let go, it is.
    {
        WorkFileHold hold(crashed);
        EXPECT_TRUE(hold.IsHeld());
        EXPECT_TRUE(FindOrphanWorkFiles().isEmpty());
    }
    ASSERT_EQ(FindOrphanWorkFiles(), QStringList{crashed});
    EXPECT_EQ(RepairWorkFile(crashed), 8000u);
    EXPECT_EQ(Samples(crashed), 8000);
    EXPECT_EQ(Raw(crashed), Raw(made));
    // A finished file is left as it is.
    const QByteArray mended = Bytes(crashed);
    EXPECT_EQ(RepairWorkFile(crashed), 8000u);
    EXPECT_EQ(Bytes(crashed), mended);
    // A finished recording with its description chunk after the data keeps it.
    const QString described = Path("described.wav");
    Tone(described, 0.5, 440);
    ECHOMEMOSTRUCT memo{};
    ASSERT_TRUE(AddNoteInfoToRIFFFile(described, WAVEFILETYPE_WORKING, "VOICEGRAM FILE", &memo,
                                      SOUNDFILETYPE_WAV));
    const QByteArray withDesc = Bytes(described);
    EXPECT_EQ(RepairWorkFile(described), 4000u);
    EXPECT_EQ(Bytes(described), withDesc);
    // Not a sound at all.
    QFile junk(Path("junk.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("RIFF\x04\0\0\0WAVE");
    junk.close();
    EXPECT_EQ(RepairWorkFile(Path("junk.wav")), 0u);
}

TEST_F(RecorderFiles, TheClipboardGetsASnapshotNotTheLiveFile) {
    const QString work = Path("VG00AA.WAV");
    Tone(work, 0.5, 440);
    const QByteArray first = Bytes(work);
    const QString snap = MakeClipboardSnapshot(work, "VG00AA.WAV");
    ASSERT_FALSE(snap.isEmpty());
    EXPECT_NE(QFileInfo(snap).absoluteFilePath(), QFileInfo(work).absoluteFilePath());
    EXPECT_EQ(QFileInfo(snap).fileName(), "VG00AA.WAV");
    Tone(work, 1.0, 300);  // the drawer goes on recording
    EXPECT_EQ(Bytes(snap), first);
    QFile::remove(work);
    EXPECT_TRUE(QFileInfo::exists(snap));
    // The next copy replaces the previous snapshot.
    Tone(work, 0.2, 300);
    const QString next = MakeClipboardSnapshot(work, "VG00AA.WAV");
    ASSERT_FALSE(next.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(snap));
    EXPECT_TRUE(MakeClipboardSnapshot(work, "../x.wav").isEmpty());
}

}  // namespace
