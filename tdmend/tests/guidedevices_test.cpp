#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "platform/audiobackend.h"
#include "platform/media.h"
#include "tdmend/guidedevices.h"
#include "tdmend/guidelaunch.h"

void UseVirtualSound(const QString& cdSource) {
    ForceAudioBackend(AudioBackend::Virtual);
    SetVirtualSpeed(0);
    SetCdAudioSource(cdSource);
}

void ForgetVirtualSound() {
    SetCdAudioSource({});
    ForceAudioBackend(std::nullopt);
    ResetAudioBackendChoice();
}

QString MidiSoundFontPathForTests() {
    return MidiSoundFontPath();
}

namespace {

QByteArray Resource(const char* path) {
    QFile f(QString::fromLatin1(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return f.readAll();
}

TEST(GuideFiles, TestSoundsGoToTheCacheWrittenWholeThroughATemporaryName) {
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    EXPECT_EQ(GuideCacheDirectory(), home.filePath(QStringLiteral("cache/tonedeck")));
    const QString wave = GetWaveFilePath();
    ASSERT_EQ(wave, home.filePath(QStringLiteral("cache/tonedeck/test.wav")));
    QFile f(wave);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), Resource(":/tdmend/sounds/test.wav"));
    f.close();
    EXPECT_TRUE(Resource(":/tdmend/sounds/test.wav").startsWith("RIFF"));
    EXPECT_TRUE(Resource(":/tdmend/sounds/test.mid").startsWith("MThd"));

    // A damaged file is replaced by a new one (a new inode: it was renamed over), and a
    // whole one is left alone.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(100);
    f.close();
    struct stat before {};
    ASSERT_EQ(::stat(qPrintable(wave), &before), 0);
    EXPECT_EQ(GetWaveFilePath(), wave);
    struct stat after {};
    ASSERT_EQ(::stat(qPrintable(wave), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(QFileInfo(wave).size(), Resource(":/tdmend/sounds/test.wav").size());
    EXPECT_EQ(GetWaveFilePath(), wave);
    struct stat again {};
    ASSERT_EQ(::stat(qPrintable(wave), &again), 0);
    EXPECT_EQ(after.st_ino, again.st_ino);
    EXPECT_EQ(GetMidiFilePath(), home.filePath(QStringLiteral("cache/tonedeck/test.mid")));
    // Nothing but the two sounds is left in the folder.
    EXPECT_EQ(QDir(GuideCacheDirectory()).entryList(QDir::Files),
              (QStringList{QStringLiteral("test.mid"), QStringLiteral("test.wav")}));

    // A cache that cannot be written gives no path, and no sound is played from elsewhere.
    const QString blocked = home.filePath(QStringLiteral("blocked"));
    QFile plain(blocked);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    qputenv("XDG_CACHE_HOME", blocked.toUtf8());
    EXPECT_EQ(GetWaveFilePath(), QString());
    EXPECT_EQ(WriteGuideTestSound(home.path(), QStringLiteral("x.wav"), QStringLiteral(":/none")),
              QString());
    qunsetenv("XDG_CACHE_HOME");
}

TEST(GuideFiles, TheRecordingGetsAFreshPrivateName) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto a = GetTempRecordFilename();
    const auto b = GetTempRecordFilename();
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_TRUE(QFileInfo(*a).fileName().startsWith(QStringLiteral("~dw")));
    EXPECT_TRUE(QFile::exists(*a));
    QFile::remove(*a);
    QFile::remove(*b);
}

TEST(GuideFiles, DatabaseLoadsFromTheArchiveOrFromTheSources) {
    QStringList problems;
    auto db = LoadData(&problems);
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(u'\n'));
    EXPECT_EQ(db->frames.size(), 143u);

    // The sources, for whoever edits the guide: the same records, and "dwdata.tdd" in the
    // current directory.
    QTemporaryDir work;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    qputenv(kGuideSourcesVariable, TDMEND_GUIDE_SOURCES);
    auto fromSources = LoadData(&problems);
    qunsetenv(kGuideSourcesVariable);
    QDir::setCurrent(old);
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(u'\n'));
    EXPECT_EQ(*fromSources, *db);
    QFile saved(work.filePath(QStringLiteral("dwdata.tdd")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), Resource(":/tdmend/dwdata.tdd"));

    // A folder without sources reads nothing and says so.
    qputenv(kGuideSourcesVariable, work.filePath(QStringLiteral("none")).toUtf8());
    QDir::setCurrent(work.path());
    auto empty = LoadData(&problems);
    QDir::setCurrent(old);
    qunsetenv(kGuideSourcesVariable);
    EXPECT_TRUE(empty->frames.empty());
    EXPECT_EQ(problems.size(), 3);
}

TEST(GuideLaunch, ExecTargetsMapToTheDesktopsSoundSettings) {
    QTemporaryDir bin;
    const QByteArray oldPath = qgetenv("PATH");
    auto install = [&](const char* name) {
        QFile f(bin.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    qputenv("PATH", bin.path().toUtf8());
    EXPECT_TRUE(SoundSettingsCommand().isEmpty());
    GuideCommand c = GuideCommandFor(
        QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia"));
    EXPECT_EQ(c.kind, GuideCommand::Kind::SoundCards) << "nothing installed: the card list";

    install("x-terminal-emulator");
    install("alsamixer");
    EXPECT_EQ(SoundSettingsCommand(),
              (QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e"),
                           QStringLiteral("alsamixer")}));
    install("systemsettings");
    EXPECT_EQ(SoundSettingsCommand(),
              (QStringList{QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio")}));
    install("gnome-control-center");
    EXPECT_EQ(SoundSettingsCommand(),
              (QStringList{QStringLiteral("gnome-control-center"), QStringLiteral("sound")}));
    install("pavucontrol");
    c = GuideCommandFor(
        QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,4"));
    EXPECT_EQ(c.kind, GuideCommand::Kind::Program);
    EXPECT_EQ(c.arguments, (QStringList{QStringLiteral("pavucontrol"), QStringLiteral("--tab=5")}));
    c = GuideCommandFor(
        QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia"));
    EXPECT_EQ(c.arguments, (QStringList{QStringLiteral("pavucontrol"), QStringLiteral("--tab=3")}));
    c = GuideCommandFor(
        QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL sysdm.cpl,Add New Hardware,0"));
    EXPECT_EQ(c.kind, GuideCommand::Kind::SoundCards);
    install("gnome-software");
    c = GuideCommandFor(
        QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL appwiz.cpl,Add/Remove Programs,2"));
    EXPECT_EQ(c.arguments, QStringList{QStringLiteral("gnome-software")});
    EXPECT_EQ(GuideCommandFor(QStringLiteral("windows.hlp,x")).kind, GuideCommand::Kind::None);
    qputenv("PATH", oldPath);

    // Programs start from an argument list: a name with shell characters is one word.
    EXPECT_FALSE(StartGuideProgram({}));
    EXPECT_FALSE(StartGuideProgram({bin.filePath(QStringLiteral("none; touch x"))}));
}

TEST(GuideLaunch, SoundCardReportReadsTheCardList) {
    QTemporaryDir dir;
    EXPECT_TRUE(SoundCardsReport(dir.filePath(QStringLiteral("gone")))
                    .contains(QStringLiteral("cannot be read")));
    QFile f(dir.filePath(QStringLiteral("cards")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("--- no soundcards ---\n");
    f.close();
    EXPECT_EQ(SoundCardsReport(f.fileName()),
              QStringLiteral("ALSA reports no sound cards on this computer."));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(" 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n");
    f.close();
    EXPECT_TRUE(SoundCardsReport(f.fileName()).endsWith(QStringLiteral("HDA Intel PCH")));
}

}  // namespace
