#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>

#include "platform/message.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdseek/searchengine.h"
#include "tdseek/ui/sonoscout.h"

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "seek_tests";
    static char* argv[] = {name, nullptr};
    // Widgets need a QApplication; the drawer tests of this program share it.
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QApplication(argc, argv);
    return *app;
}
bool AppReady() {
    App();
    return true;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Wav(int dataBytes) {
    QByteArray b;
    auto put32 = [&](uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    b += "RIFF";
    put32(36 + dataBytes);
    b += "WAVEfmt ";
    put32(16);
    put16(1), put16(1), put32(8000), put32(8000), put16(1), put16(8);
    b += "data";
    put32(dataBytes);
    return b + QByteArray(dataBytes, char(0x80));
}

class Bar : public QObject, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        OnMessage(WM_BAR_SONOSCOUTSTATE, [this](WPARAM w, LPARAM) {
            states.push_back(int(w));
            return LRESULT(0);
        });
    }
    std::vector<int> states;
};

// A machine whose drive D: is a folder of the test, through a fixture mount table.
class Search : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AppReady() && dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", (dir_.path() + "/reg").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        drive_ = dir_.path() + "/disk";
        QDir().mkpath(drive_);
        WriteFile(dir_.path() + "/mountinfo",
                  "20 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                  "21 20 8:2 / " +
                      drive_.toUtf8() + " rw - ext4 /dev/sda2 rw\n");
        qputenv("TONEDECK_MOUNTINFO", (dir_.path() + "/mountinfo").toLocal8Bit());
        qputenv("TONEDECK_UDEV_DATA", (dir_.path() + "/none").toLocal8Bit());
        settings_ = DefaultProperties({}).SonoscoutProps;
        std::memset(settings_.bDrive, 0, sizeof settings_.bDrive);
        settings_.bDrive[3] = 1;  // D:
    }
    void TearDown() override {
        for (const char* v : {"TONEDECK_REGISTRY_DIR", "TONEDECK_MOUNTINFO", "TONEDECK_UDEV_DATA"})
            qunsetenv(v);
    }
    QTemporaryDir dir_;
    QString drive_;
    SONOSCOUTPROPERTIES settings_;
};

TEST_F(Search, FindsSoundFilesDirectoryByDirectoryAndPublishesThem) {
    WriteFile(drive_ + "/b/one.wav", Wav(800));
    WriteFile(drive_ + "/b/deeper/two.WAV", Wav(80));
    WriteFile(drive_ + "/b/song.mid", "MThd");
    WriteFile(drive_ + "/a/tune.rmi", "RIFF");
    WriteFile(drive_ + "/a/readme.txt", "x");
    WriteFile(drive_ + "/.Trash/old.wav", Wav(8));
    const QString described = drive_ + "/a/said.wav";
    WriteFile(described, Wav(8000));
    const ECHOMEMOSTRUCT note{};
    ASSERT_TRUE(AddNoteInfoToRIFFFile(described, WAVEFILETYPE_ECHOMEMO, "Call Bob", &note,
                                      SOUNDFILETYPE_WAV));
    // The user's memos and voicegrams are never searched.
    QString memos;
    ASSERT_TRUE(GetEchoMemosDirectory(memos));
    WriteFile(memos + "/memo.wav", Wav(8));
    QFile::link(drive_ + "/b", drive_ + "/loop");  // links are not followed

    Bar bar;
    CSonoscout scout(&bar, &settings_, nullptr, nullptr, [] { return time_t(1'700'000'000); });
    scout.BeginSearch(1, 1, nullptr);
    EXPECT_EQ(scout.IsSearching(), 1);
    ASSERT_TRUE(scout.WaitForSearch(20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.states, (std::vector<int>{1, 0}));

    const auto records = ReadSearchFile(scout.GetSearchDatafilePath());
    std::vector<std::string> found;
    for (const auto& r : records)
        found.push_back(std::string(r.szPath).substr(drive_.size()) + ":" +
                        std::to_string(r.nType));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::string>{"/a/said.wav:1", "/a/tune.rmi:2", "/b/deeper/two.WAV:1",
                                        "/b/one.wav:1", "/b/song.mid:2"}));
    for (const auto& r : records) {
        if (std::string(r.szName) == "said.wav") {
            EXPECT_STREQ(r.szDescription, "Call Bob");
        }
        if (std::string(r.szName) == "one.wav") {
            EXPECT_EQ(r.dwSize, 844u);
        }
    }
    // A directory's own files come before those of its subdirectories.
    auto at = [&](const char* name) {
        for (size_t i = 0; i < records.size(); ++i)
            if (std::string(records[i].szName) == name)
                return int(i);
        return -1;
    };
    EXPECT_LT(at("one.wav"), at("two.WAV"));
    EXPECT_LT(at("one.wav"), at("song.mid")) << "Wave files before MIDI files of one directory";
}

// One pass over each directory: the records come WAV, then MIDI, then RMI, each kind in
// the order the directory lists its entries; only regular files with those endings count.
TEST_F(Search, ADirectorysRecordsFollowItsListingOrderKindByKind) {
    const QString d = drive_ + "/mix";
    for (int i = 0; i < 12; ++i) {
        WriteFile(d + QString("/s%1.wav").arg(i * 7 % 12), Wav(8));
        WriteFile(d + QString("/m%1.MID").arg(i), "MThd");
        WriteFile(d + QString("/r%1.rmi").arg(i), "RIFF");
    }
    WriteFile(d + "/.hidden.wav", Wav(8));
    WriteFile(d + "/.wav", Wav(8));
    WriteFile(d + "/notes.wav.txt", "x");
    WriteFile(d + "/wav", "x");
    QDir().mkpath(d + "/folder.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "/pipe.wav").constData(), 0600), 0);
    QFile::link(d + "/s1.wav", d + "/link.wav");

    std::vector<std::string> want;
    for (const char* pattern : {"*.wav", "*.mid", "*.rmi"}) {
        const QStringList names = QDir(d).entryList(
            {pattern}, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Unsorted);
        for (const QString& n : names)
            if (n != "pipe.wav")
                want.push_back(n.toStdString());
    }
    ASSERT_EQ(want.size(), 38u);

    CSoundSearchEngine engine;
    std::vector<std::string> seen;
    BOOL drives[26] = {};
    drives[3] = 1;
    int normalPolicy = -1;
    ASSERT_EQ(engine.DoSearch(
                  drives, 1, 1,
                  [&](const SOUNDSTRUCT* r, uintptr_t) {
                      normalPolicy = sched_getscheduler(0);
                      if (r)
                          seen.push_back(r->szName);
                  },
                  0),
              1);
    ASSERT_TRUE(engine.WaitForWorker(20000));
    EXPECT_EQ(seen, want);
    std::vector<std::string> stored;
    for (const auto& r : ReadSearchFile(engine.GetSearchFilename()))
        stored.push_back(r.szName);
    EXPECT_EQ(stored, want);
    EXPECT_EQ(normalPolicy, SCHED_OTHER);

    // Without MIDI only the WAV files are listed. A background search does its work at
    // idle CPU and I/O priority; the one above ran at normal priority.
    CSoundSearchEngine waveOnly;
    seen.clear();
    std::vector<int> policies, ioClasses;
    ASSERT_EQ(waveOnly.DoSearch(
                  drives, 0, 1,
                  [&](const SOUNDSTRUCT* r, uintptr_t) {
                      policies.push_back(sched_getscheduler(0));
                      ioClasses.push_back(int(syscall(SYS_ioprio_get, 1, 0)) >> 13);
                      if (r)
                          seen.push_back(r->szName);
                  },
                  0, true),
              1);
    ASSERT_TRUE(waveOnly.WaitForWorker(20000));
    EXPECT_EQ(seen, std::vector<std::string>(want.begin(), want.begin() + 14));
    ASSERT_FALSE(policies.empty());
    EXPECT_EQ(policies.front(), SCHED_IDLE);
    EXPECT_EQ(ioClasses.front(), 3) << "the idle I/O class";
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER) << "the caller's thread keeps its priority";
}

TEST_F(Search, AStopForTheSessionEndKeepsTheOldList) {
    const QString data = [] {
        QString p;
        GetSonoscoutSearchFilePath(p);
        return p;
    }();
    WriteFile(data, QByteArray(792, 'x'));
    for (int i = 0; i < 200; ++i)
        WriteFile(drive_ + QString("/d%1/f.wav").arg(i), Wav(8));
    Bar bar;
    CSonoscout scout(&bar, &settings_, nullptr, nullptr);
    scout.BeginSearch(1, 0, nullptr);
    EXPECT_EQ(SendMessage(&scout, WM_QUERYENDSESSION), 1);
    EXPECT_EQ(scout.IsSearching(), 0);
    QFile kept(data);
    EXPECT_EQ(kept.size(), 792);
}

TEST_F(Search, AStopFromTheDrawerPublishesWhatWasFound) {
    const QString data = [] {
        QString p;
        GetSonoscoutSearchFilePath(p);
        return p;
    }();
    WriteFile(data, QByteArray(792, 'x'));
    for (int i = 0; i < 200; ++i)
        WriteFile(drive_ + QString("/d%1/f.wav").arg(i), Wav(8));
    Bar bar;
    CSonoscout scout(&bar, &settings_, nullptr, nullptr);
    scout.BeginSearch(1, 0, nullptr);
    scout.StopSearch(0);
    ASSERT_TRUE(scout.WaitForSearch(20000));
    // The old list is gone; what the search found until the stop is the new one.
    QFile published(data);
    ASSERT_TRUE(published.open(QIODevice::ReadOnly));
    EXPECT_EQ(published.size() % 792, 0);
    EXPECT_LE(published.size(), 200 * 792);
    EXPECT_FALSE(published.readAll().startsWith("xxxx"));
    for (const auto& r : ReadSearchFile(data))
        EXPECT_TRUE(QString(r.szPath).startsWith(drive_)) << r.szPath;
}

TEST(SearchSchedule, FrequencyCodes) {
    SONOSCOUTPROPERTIES s = DefaultProperties({}).SonoscoutProps;
    const time_t now = 1'700'000'000;
    s.nFrequency = 2;
    EXPECT_EQ(CSonoscout::NextSearchTime(s, now, true), DWORD(now + 30));
    EXPECT_EQ(CSonoscout::NextSearchTime(s, now, false), DWORD(now + 365 * 86400));
    s.nFrequency = 1;
    s.dwIntervalSeconds = 5400;
    EXPECT_EQ(CSonoscout::NextSearchTime(s, now, false), DWORD(now + 5400));
    s.nFrequency = 0;
    EXPECT_EQ(CSonoscout::NextSearchTime(s, now, true), DWORD(now + 365 * 86400));
    // Neither an unknown code nor a sub-minute interval may make every poll search.
    for (int code : {3, 7, -1}) {
        s.nFrequency = code;
        EXPECT_EQ(CSonoscout::NextSearchTime(s, now, true), DWORD(now + 365 * 86400)) << code;
    }
    s.nFrequency = 1;
    for (DWORD seconds : {0u, 1u, 59u}) {
        s.dwIntervalSeconds = seconds;
        EXPECT_EQ(CSonoscout::NextSearchTime(s, now, false), DWORD(now + 60)) << seconds;
    }
    s.dwIntervalSeconds = 61;
    EXPECT_EQ(CSonoscout::NextSearchTime(s, now, false), DWORD(now + 61));
}

TEST(SearchSchedule, DailyAcrossDaylightSavingDays) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    SONOSCOUTPROPERTIES s = DefaultProperties({}).SonoscoutProps;
    s.nFrequency = 24;
    s.dwTimeOfDay = 8 * 3600 + 30 * 60;
    s.wDays = 0x7F;
    // Saturday evening before each change: the next search is Sunday at 8:30 local time,
    // 23 hours away in spring and 25 hours in autumn.
    for (auto [month, day, hours] : {std::tuple{2, 28, 23}, std::tuple{9, 24, 25}}) {
        tm saturday{};
        saturday.tm_year = 2026 - 1900, saturday.tm_mon = month, saturday.tm_mday = day;
        saturday.tm_hour = 9, saturday.tm_min = 30, saturday.tm_isdst = -1;
        const time_t now = mktime(&saturday);
        const time_t next = CSonoscout::NextSearchTime(s, now, false);
        tm local{};
        localtime_r(&next, &local);
        EXPECT_EQ(local.tm_hour, 8) << month;
        EXPECT_EQ(local.tm_min, 30) << month;
        EXPECT_EQ(local.tm_mday, day + 1) << month;
        EXPECT_EQ(next - now, hours * 3600 - 3600) << month;
    }
    unsetenv("TZ");
    tzset();
}

TEST(SearchSchedule, DailyGoesToTheNextChosenWeekday) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    SONOSCOUTPROPERTIES s = DefaultProperties({}).SonoscoutProps;
    s.nFrequency = 24;
    s.dwTimeOfDay = 8 * 3600;
    s.wDays = 1 << 1;  // Monday only
    tm monday{};
    monday.tm_year = 2026 - 1900, monday.tm_mon = 10, monday.tm_mday = 30;  // Mon 30 Nov 2026
    monday.tm_hour = 9, monday.tm_isdst = -1;
    const time_t afterTime = mktime(&monday);
    tm next{};
    const time_t t = CSonoscout::NextSearchTime(s, afterTime, false);
    localtime_r(&t, &next);
    EXPECT_EQ(next.tm_mday, 7);
    EXPECT_EQ(next.tm_mon, 11);
    EXPECT_EQ(next.tm_hour, 8);
    monday.tm_hour = 7;
    const time_t beforeTime = mktime(&monday);
    EXPECT_EQ(CSonoscout::NextSearchTime(s, beforeTime, false), DWORD(beforeTime + 3600));
    s.wDays = 0;
    EXPECT_EQ(CSonoscout::NextSearchTime(s, beforeTime, false), DWORD(beforeTime + 365 * 86400));
    unsetenv("TZ");
    tzset();
}

TEST(SearchSchedule, DecideToSearchRecomputesChangedSettingsFirst) {
    ASSERT_TRUE(AppReady());
    QTemporaryDir dir;
    qputenv("TONEDECK_REGISTRY_DIR", dir.path().toLocal8Bit());
    time_t now = 1'700'000'000;
    SONOSCOUTPROPERTIES s = DefaultProperties({}).SonoscoutProps;
    std::memset(s.bDrive, 0, sizeof s.bDrive);
    s.nFrequency = 1;
    s.dwIntervalSeconds = 600;
    CSonoscout scout(nullptr, &s, nullptr, nullptr, [&] { return now; });
    EXPECT_EQ(s.dwNextSearchTime, DWORD(now + 600));
    now += 300;
    s.dwIntervalSeconds = 60;
    s.bChanged = 1;
    scout.DecideToSearch();
    EXPECT_EQ(s.bChanged, 0);
    EXPECT_EQ(s.dwNextSearchTime, DWORD(now + 60));
    EXPECT_EQ(scout.IsSearching(), 0);
    now += 60;
    scout.DecideToSearch();
    EXPECT_EQ(s.dwLastSearchTime, DWORD(now));
    scout.WaitForSearch(20000);
    qunsetenv("TONEDECK_REGISTRY_DIR");
}

}  // namespace
