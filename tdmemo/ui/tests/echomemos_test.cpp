#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

#include "platform/riff.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/clipboard.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/ui/drawerechomemos.h"
#include "tdmemo/ui/echomemos.h"
#include "tdmemo/ui/propertiesechomemos.h"
#include "tdmemo/ui/tests/testapp.h"

namespace {

void Pump() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct FakePlayer : IFilePlayer {
    explicit FakePlayer(QStringList* log) : log(log) {}
    int Play(const QString& path) override { return *log << path, 1; }
    int StopPlay() override { return 1; }
    int StillPlaying() override { return 0; }
    int IsDeviceReady() override { return 1; }
    QStringList* log;
};

struct Bar : QWidget, MessageReceiver {
    Bar() : MessageReceiver(this) {
        setGeometry(0, 0, 800, 40);
        OnMessage(WM_BAR_MEMOMANAGERCLOSED, [this](WPARAM, LPARAM) { return LRESULT(++closed); });
    }
    int closed = 0;
};

struct Memos : CEchoMemos {
    Memos(QObject* bar, ECHOMEMOSPROPERTIES* s, std::atomic<time_t>* now)
        : CEchoMemos(bar, s, [now] { return now->load(); }) {
        SetPlayers(std::make_unique<FakePlayer>(&played), std::make_unique<FakePlayer>(&played));
    }
    void ShowMessage(const QString& text, const QString& caption) override {
        messages << caption + ": " + text;
    }
    void ShowPlayError(const QString& text) override { messages << text; }
    QStringList played, messages;
};

// The manager drawer with its questions answered by the test.
struct Manager : CDrawerEchoMemos {
    using CDrawerEchoMemos::CDrawerEchoMemos;
    bool Ask(const QString& text, const QString&) override {
        questions << text;
        return answer;
    }
    void ShowError(const QString& text, const QString& caption) override {
        errors << caption + ": " + text;
    }
    bool RunScheduleDialog(ECHOMEMOSTRUCT* memo, QString* description, bool single) override {
        shownDescription = *description;
        shownSingle = single;
        *memo = schedule;
        if (single)
            *description = newDescription;
        return true;
    }
    // Selects the rows showing these files.
    void Pick(const QStringList& paths) { SelectPaths(paths); }
    QStringList Shown() const {
        QStringList paths;
        for (const MemoRow& row : Model()->Rows())
            paths << MemoListPath(row.entry);
        return paths;
    }
    bool answer = true;
    QStringList questions, errors;
    ECHOMEMOSTRUCT schedule{};
    QString newDescription, shownDescription;
    bool shownSingle = false;
};

class EchoMemos : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();  // before the play list, which starts a timer
        ASSERT_TRUE(dir_.isValid() && runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("reg").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit());
        setenv("TZ", "UTC", 1), tzset();
        ASSERT_TRUE(InstallTonedeck(dir_.filePath("root"), "Ann").ok);
        ASSERT_TRUE(GetEchoMemosDirectory(memoDir_) && GetEchoMemosListFilePath(list_));
        now_ = MakeLocalTime(2025, 6, 4, 12, 0, 0);
        bar_ = std::make_unique<Bar>();
        memos_ = std::make_unique<Memos>(bar_.get(), &settings_, &now_);
    }
    void TearDown() override {
        memos_.reset();
        unsetenv("TZ"), tzset();
    }

    // A memo file of the EchoMemos directory: a short WAV, or RIFF MIDI for *.rmi names.
    QString Memo(const QString& name, const ECHOMEMOSTRUCT& note) {
        const QString path = memoDir_ + '/' + name;
        const bool midi = name.endsWith(".rmi", Qt::CaseInsensitive);
        QFile f(midi ? path + ".mid" : path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        if (midi) {
            f.write("MThd" + QByteArray(20, 's'));
            f.close();
            EXPECT_TRUE(CreateRMIDFile(f.fileName(), path));
            f.remove();
        } else {
            const uint32_t format[] = {16, 0x00010001, 8000, 8000, 0x00080001};
            f.write("RIFF\x64\x1F\0\0WAVEfmt ", 16);
            f.write(reinterpret_cast<const char*>(format), sizeof format);
            f.write("data\x40\x1F\0\0", 8);
            f.write(QByteArray(8000, '\x80'));
            f.close();
        }
        EXPECT_EQ(AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, name.toUtf8().constData(),
                                        &note, midi ? SOUNDFILETYPE_RMI : SOUNDFILETYPE_WAV),
                  1);
        return path;
    }
    static ECHOMEMOSTRUCT Note(int kind, int notify = 0) {
        ECHOMEMOSTRUCT n{};
        n.frequency = kind, n.notify = notify;
        n.onceYear = 2025, n.onceMonth = 6, n.onceDay = 1, n.onceTime = 9 * 3600;  // past
        n.hourlyTime = 30 * 60;
        n.dailyTime = 12 * 3600, n.dailyDays = 0x7F;
        return n;
    }
    std::vector<MemoListRecord> Records() {
        std::vector<MemoListRecord> records;
        EXPECT_TRUE(ReadMemoListFile(list_, &records));
        return records;
    }
    ECHOMEMOSTRUCT FileNote(const QString& path) {
        ECHOMEMOSTRUCT n{};
        WAVEFILETYPE type;
        DWORD seconds;
        char text[260];
        const SOUNDFILETYPE kind =
            path.endsWith(".rmi", Qt::CaseInsensitive) ? SOUNDFILETYPE_RMI : SOUNDFILETYPE_WAV;
        EXPECT_EQ(GetNoteInfoFromRIFFFile(path, type, text, sizeof text, seconds, &n, kind), 1);
        return n;
    }
    // The memos of a list that must be whole: whole records, each memo once, and each
    // record's last playing time the one its memo file holds.
    std::set<QString> WholeList() {
        EXPECT_EQ(QFile(list_).size() % kMemoListRecordSize, 0);
        std::set<QString> listed;
        for (const MemoListRecord& r : Records()) {
            const QString memo = MemoListPath(r.entry);
            EXPECT_TRUE(listed.insert(memo).second) << "twice: " << memo.toStdString();
            EXPECT_EQ(r.entry.memo.lastPlayed, FileNote(memo).lastPlayed) << memo.toStdString();
        }
        return listed;
    }
    void Build() {
        memos_->GetEchoMemosThread();
        ASSERT_TRUE(memos_->WaitForThreads(60000));
        Pump();
    }
    void Play() {
        memos_->PlayEchoMemosThread();
        ASSERT_TRUE(memos_->WaitForThreads(60000));
        Pump();
    }
    // A manager drawer opened on the bar, its list loaded.
    std::unique_ptr<Manager> OpenManager() {
        const QPoint anchor(100, 20);
        auto drawer = std::make_unique<Manager>(&anchor, &settings_, memos_.get(), bar_.get());
        EXPECT_EQ(drawer->CreateDrawer(1, 0), 1);
        return drawer;
    }

    QTemporaryDir dir_, runtime_;
    QString memoDir_, list_;
    std::atomic<time_t> now_;
    ECHOMEMOSPROPERTIES settings_{};
    std::unique_ptr<Bar> bar_;
    std::unique_ptr<Memos> memos_;
};

TEST_F(EchoMemos, TheBuilderListsTheMemoFilesOfTheDirectory) {
    // Not ready yet: neither the drawer nor the player does anything.
    EXPECT_EQ(memos_->CreateDrawer(1, nullptr, 1), 0);
    EXPECT_EQ(memos_->messages.size(), 1);
    EXPECT_TRUE(memos_->messages.value(0).startsWith("Please Try Again: The Tonedeck is still"));
    const QString hourly = Memo("b.wav", Note(MEMO_HOURLY));
    Play();
    EXPECT_EQ(FileNote(hourly).lastPlayed, 0u);

    Memo("a.WAV", Note(MEMO_DAILY));
    const QString midi = Memo("c.Rmi", Note(MEMO_USER_INITIATED));
    QFile(memoDir_ + "/plain.wav").open(QIODevice::WriteOnly);  // no memo in it
    QFile(memoDir_ + "/notes.txt").open(QIODevice::WriteOnly);
    Build();
    EXPECT_TRUE(memos_->IsListReady());
    auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(MemoListPath(records[0].entry), memoDir_ + "/a.WAV");
    EXPECT_EQ(MemoListPath(records[1].entry), hourly);
    EXPECT_EQ(MemoListPath(records[2].entry), midi);
    EXPECT_EQ(records[2].entry.fileType, SOUNDFILETYPE_RMI);
    EXPECT_EQ(records[1].entry.nextTime, now_ + 1800);
    EXPECT_EQ(memos_->EarliestTime(), now_ + 1800);
    EXPECT_EQ(memos_->EarliestIndex(), 1);

    // A rebuild replaces the list rather than adding to it.
    QFile::remove(hourly);
    Build();
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(memos_->EarliestTime(), now_ + 24 * 3600);
}

TEST_F(EchoMemos, ThePlayerMarksAndAdvancesDueMemosAndQueuesTheirPlayback) {
    const QString once = Memo("1.wav", Note(MEMO_ONCE));
    const QString daily = Memo("2.wav", Note(MEMO_DAILY, 1));
    ECHOMEMOSTRUCT notYet = Note(MEMO_HOURLY);
    const QString hourly = Memo("3.wav", notYet);
    now_ = now_ - 60;  // the daily memo falls due at 12:00
    Build();
    now_ = now_ + 60;
    Play();

    auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].entry.memo.played, 1);
    EXPECT_EQ(records[0].entry.nextTime, NEVER_TIME());
    EXPECT_EQ(FileNote(once).played, 1);
    EXPECT_EQ(FileNote(once).lastPlayed, now_);
    EXPECT_EQ(records[1].entry.memo.lastPlayed, now_);
    EXPECT_EQ(records[1].entry.nextTime, now_ + 24 * 3600);
    EXPECT_EQ(FileNote(daily).played, 0);
    EXPECT_EQ(FileNote(daily).lastPlayed, now_);
    EXPECT_EQ(FileNote(hourly).lastPlayed, 0u);
    EXPECT_EQ(memos_->EarliestTime(), now_ + 1800);

    // The first memo plays, the second waits; no window for a memo without notification.
    EXPECT_EQ(memos_->played, QStringList{once});
    EXPECT_EQ(memos_->GetCurrentMemo(), 0);
    EXPECT_EQ(memos_->QueuedNotifications(), 1);
    EXPECT_EQ(memos_->GetLastNotification(), nullptr);
    memos_->OnTrackEnded(true);
    Pump();
    EXPECT_EQ(memos_->played, (QStringList{once, daily}));
    EXPECT_EQ(memos_->GetCurrentMemo(), 1);
    CPlaybackNotifyDlg* window = memos_->GetLastNotification();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->DescriptionText(), "2.wav");
    EXPECT_EQ(window->TimeText(), CPlaybackNotifyDlg::FormatPlayedTime(now_, 0));
    const int step = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(window->pos(), QPoint(step, step));
    window->findChild<QPushButton*>("stop")->click();
    EXPECT_FALSE(memos_->IsSomethingPlaying());
    window->findChild<QPushButton*>("playAgain")->click();
    EXPECT_EQ(memos_->played.size(), 3);
    window->findChild<QPushButton*>("close")->click();
    EXPECT_FALSE(memos_->IsSomethingPlaying());
    memos_->OnTrackEnded(true);
    Pump();
    EXPECT_EQ(memos_->GetLastNotification(), nullptr) << "closed windows delete themselves";

    // In the same minute nothing is due again; the next day the daily memo is.
    Play();
    EXPECT_EQ(memos_->played.size(), 3);
    now_ = now_ + 24 * 3600;
    Play();
    EXPECT_EQ(memos_->played.last(), daily);
    EXPECT_EQ(Records()[0].entry.memo.played, 1) << "a played once memo stays played";
}

TEST_F(EchoMemos, HoldAllKeepsScheduledMemosFromPlaying) {
    const QString daily = Memo("d.wav", Note(MEMO_DAILY));
    now_ = now_ - 60;
    Build();
    now_ = now_ + 60;
    settings_.bHoldAll = 1;
    memos_->PlayEchoMemosThread();
    EXPECT_FALSE(memos_->IsPlaying());
    EXPECT_EQ(FileNote(daily).lastPlayed, 0u);

    // Switched on after the player took the memo: it is marked but does not play.
    settings_.bHoldAll = 0;
    memos_->PlayEchoMemosThread();
    ASSERT_TRUE(memos_->WaitForThreads(60000));
    settings_.bHoldAll = 1;
    Pump();
    EXPECT_EQ(FileNote(daily).lastPlayed, now_);
    EXPECT_TRUE(memos_->played.isEmpty());
    EXPECT_EQ(memos_->QueuedNotifications(), 0);
}

TEST_F(EchoMemos, APostedMemoJoinsTheListOnce) {
    Memo("a.wav", Note(MEMO_DAILY));
    Build();
    const QString posted = Memo("new.rmi", Note(MEMO_HOURLY));
    const QByteArray path = QFile::encodeName(posted);
    EXPECT_EQ(SendMessage(memos_.get(), WM_BAR_TOMEMOS, SOUNDFILETYPE_RMI,
                          reinterpret_cast<LPARAM>(path.constData())),
              1);
    EXPECT_EQ(SendMessage(memos_.get(), WM_BAR_TOMEMOS, SOUNDFILETYPE_RMI,
                          reinterpret_cast<LPARAM>(path.constData())),
              1);
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(MemoListPath(records[1].entry), posted);
    EXPECT_EQ(records[1].entry.nextTime, now_ + 1800);
    EXPECT_EQ(memos_->EarliestIndex(), 1);
    const QByteArray none = QFile::encodeName(memoDir_ + "/none.wav");
    EXPECT_EQ(SendMessage(memos_.get(), WM_BAR_TOMEMOS, SOUNDFILETYPE_WAV,
                          reinterpret_cast<LPARAM>(none.constData())),
              0);
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(EchoMemos, APostedMemoWaitsWhileTheListIsBusy) {
    Build();
    const QString posted = Memo("late.wav", Note(MEMO_DAILY));
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        CMemoListLock lock(kMemoLockShortWait);
        held = lock.IsHeld();
        while (held && !release)
            QThread::msleep(5);
    });
    while (!held)
        QThread::msleep(5);
    EXPECT_EQ(memos_->AddEchoMemo(SOUNDFILETYPE_WAV, posted), 1);
    EXPECT_TRUE(Records().empty());
    release = true;
    holder.join();
    for (int i = 0; i < 400 && Records().empty(); ++i) {
        QThread::msleep(10);
        Pump();
    }
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(MemoListPath(Records()[0].entry), posted);
}

// A memo file held for a moment by another writer (the player marking it played) is
// read once it is free: the post neither fails nor leaves the memo out of the list.
TEST_F(EchoMemos, APostedMemoWaitsForItsFileWhileAnotherWriterHoldsIt) {
    Build();
    const QString posted = Memo("held.wav", Note(MEMO_DAILY));
    std::atomic<bool> held{false};
    std::thread holder([&] {
        auto file = RiffFile::Open(posted, RiffFile::Mode::ReadWrite, nullptr);
        held = true;
        if (file)
            QThread::msleep(150);
    });
    while (!held)
        QThread::msleep(1);
    EXPECT_EQ(memos_->AddEchoMemo(SOUNDFILETYPE_WAV, posted), 1);
    holder.join();
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(MemoListPath(records[0].entry), posted);
}

// Successive notification windows step by one scroll bar each, the eleventh back at the
// origin; a report of a record the player did not hand over is read from the list.
TEST_F(EchoMemos, NotificationWindowsCascade) {
    Memo("n.wav", Note(MEMO_USER_INITIATED, 1));
    Build();
    const int step = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    std::vector<QPoint> places;
    for (int i = 0; i < 11; ++i) {
        memos_->OnNotifyUponPlayback(0);
        ASSERT_NE(memos_->GetLastNotification(), nullptr);
        places.push_back(memos_->GetLastNotification()->pos());
        memos_->OnTrackEnded(true);
        Pump();
    }
    EXPECT_EQ(places[1], QPoint(step, step));
    EXPECT_EQ(places[9], QPoint(9 * step, 9 * step));
    EXPECT_EQ(places[10], QPoint(0, 0));
    EXPECT_EQ(memos_->played.size(), 11);
    memos_->OnNotifyUponPlayback(5);  // no such record
    EXPECT_EQ(memos_->played.size(), 11);
}

TEST_F(EchoMemos, TheManagerDrawerOpensOnceAndReportsItsClosing) {
    CSlidingDrawer::SetSlideClock([] { return int64_t(0); });
    Build();
    const QPoint anchor(100, 20);
    ASSERT_EQ(memos_->CreateDrawer(1, &anchor, 1), 1);
    CDrawerEchoMemos* drawer = memos_->GetDrawer();
    ASSERT_NE(drawer, nullptr);
    EXPECT_EQ(memos_->CreateDrawer(1, &anchor, 1), 1);
    EXPECT_EQ(memos_->GetDrawer(), drawer);
    EXPECT_EQ(drawer->size(), kEchoMemosManagerSize);
    EXPECT_EQ(memos_->OnQueryEndSession(), 1);
    memos_->DestroyDrawer();
    for (int i = 0; i < 100 && bar_->closed == 0; ++i) {
        CSlidingDrawer::SetSlideClock([i] { return int64_t(i) * 100; });
        if (CDrawerEchoMemos* d = memos_->GetDrawer())
            d->StepSlide();
        Pump();
    }
    CSlidingDrawer::SetSlideClock(nullptr);
    EXPECT_EQ(bar_->closed, 1);
    EXPECT_FALSE(memos_->IsDrawerOpen());
}

// The builder, the player and new memos from the user-interface thread, all at once: the
// list stays whole, every memo file has exactly one record and the files agree with it.
TEST_F(EchoMemos, BuildingPlayingAndPostingTogetherKeepTheListWhole) {
    for (int i = 0; i < 12; ++i)
        Memo(QString("m%1.wav").arg(i), Note(i % 4 ? MEMO_HOURLY : MEMO_DAILY));
    Build();
    std::set<QString> posted;
    for (int round = 0; round < 25; ++round) {
        now_ = now_ + 3600;
        memos_->GetEchoMemosThread();
        memos_->PlayEchoMemosThread();
        const QString path = Memo(QString("p%1.wav").arg(round), Note(MEMO_HOURLY));
        posted.insert(path);
        EXPECT_EQ(memos_->AddEchoMemo(SOUNDFILETYPE_WAV, path), 1);
        memos_->OnTrackEnded(true);
        ASSERT_TRUE(memos_->WaitForThreads(60000));
        Pump();

        const std::set<QString> listed = WholeList();
        EXPECT_EQ(listed.size(), 13u + round);
        for (const QString& p : posted)
            EXPECT_EQ(listed.count(p), 1u) << p.toStdString();
        if (HasFailure())
            break;
    }
}

// The builder, the player and the poster of the bar, and tdtool reading the list from a
// second process, all against one memo list for 10,000 rounds. At every look (under the
// list's lock) each memo is listed once, a memo once listed is never lost, and a listed
// memo's record agrees with its file; tdtool never sees a memo twice nor fails; at the
// end every memo file of the folder is listed exactly once.
TEST_F(EchoMemos, TenThousandRoundsOfBuildingPlayingPostingAndASecondProgramLoseNothing) {
    constexpr int kRounds = 10000;
    std::vector<QString> memos;
    for (int i = 0; i < 20; ++i)
        memos.push_back(Memo(QString("m%1.wav").arg(i), Note(i % 3 ? MEMO_HOURLY : MEMO_DAILY)));
    Build();
    ASSERT_TRUE(memos_->IsListReady());

    // The second program: tdtool lists the memos again and again until told to stop, and
    // counts its runs and the runs that failed or showed a memo twice. A list that stays
    // locked past tdtool's wait is "busy", which is no fault.
    const QString stop = dir_.filePath("stop"), report = dir_.filePath("report");
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other.start("bash", {"-c",
                         R"(runs=0 bad=0
while [ ! -e "$2" ]; do
    if out=$("$1" memo list --json 2>&1); then
        twice=$(printf '%s\n' "$out" | grep '"path"' | sort | uniq -d)
        [ -z "$twice" ] || { bad=$((bad + 1)); echo "twice: $twice" >&2; }
    else
        case $out in *busy*) ;; *) bad=$((bad + 1)); echo "failed: $out" >&2 ;; esac
    fi
    runs=$((runs + 1))
done
echo "$runs $bad" >"$3")",
                         "other", TDTOOL_PATH, stop, report});
    ASSERT_TRUE(other.waitForStarted(10000));

    std::set<QString> everListed;
    const auto look = [&] {
        CMemoListLock lock(kMemoLockBuildWait);
        ASSERT_TRUE(lock.IsHeld());
        const std::set<QString> listed = WholeList();
        for (const QString& memo : everListed)
            EXPECT_EQ(listed.count(memo), 1u) << "lost: " << memo.toStdString();
        everListed.insert(listed.begin(), listed.end());
    };

    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        now_ = now_ + 60;  // a minute a round: hourly memos fall due every 60 rounds
        if (round % 8 == 0)
            memos_->GetEchoMemosThread();
        memos_->PlayEchoMemosThread();
        // Every fiftieth round a new memo arrives, written beside the folder's memos and
        // renamed in as the recorder posts; the other rounds post a known memo again.
        QString path;
        if (round % 50 == 0) {
            const QString part = Memo(QString("p%1.part").arg(round), Note(MEMO_HOURLY));
            path = memoDir_ + QString("/p%1.wav").arg(round);
            ASSERT_TRUE(QFile::rename(part, path));
            memos.push_back(path);
        } else {
            path = memos[std::size_t(round * 7919) % memos.size()];
        }
        EXPECT_EQ(memos_->AddEchoMemo(SOUNDFILETYPE_WAV, path), 1);
        memos_->OnTrackEnded(true);
        QCoreApplication::processEvents();
        if (round % 500 == 499)
            look();
    }

    QFile(stop).open(QIODevice::WriteOnly);
    ASSERT_TRUE(other.waitForFinished(60000));
    ASSERT_TRUE(memos_->WaitForThreads(60000));
    Pump();
    look();

    QFile counts(report);
    ASSERT_TRUE(counts.open(QIODevice::ReadOnly));
    const QList<QByteArray> words = counts.readAll().trimmed().split(' ');
    ASSERT_EQ(words.size(), 2);
    EXPECT_GT(words[0].toInt(), 0) << "tdtool ran";
    EXPECT_EQ(words[1].toInt(), 0) << "tdtool failed or saw a memo twice";

    // Without another build: every memo of the folder is in the list, once.
    std::multiset<QString> listed;
    for (const MemoListRecord& r : Records())
        listed.insert(MemoListPath(r.entry));
    EXPECT_EQ(listed.size(), memos.size());
    for (const QString& memo : memos)
        EXPECT_EQ(listed.count(memo), 1u) << memo.toStdString();
}

// The manager lists every memo with its texts, sorts by the stored column and direction,
// and a click on the sort column's header turns the direction.
TEST_F(EchoMemos, TheManagerListsAndSortsTheMemos) {
    const QString once = Memo("a.wav", Note(MEMO_ONCE));
    ECHOMEMOSTRUCT notified = Note(MEMO_DAILY, 1);
    notified.lastPlayed = static_cast<uint32_t>(now_.load());  // not due by catching up
    const QString daily = Memo("b.wav", notified);
    const QString hourly = Memo("c.wav", Note(MEMO_HOURLY));
    const QString user = Memo("d.wav", Note(MEMO_USER_INITIATED));
    Build();
    Play();  // the once memo plays: "Already Played"
    memos_->OnTrackEnded(true);
    Pump();
    settings_.b24Hour = 1;
    settings_.bSortAscending[kMemoColumnDescription] = 1;
    settings_.nSortColumn = kMemoColumnNextPlayback;
    settings_.bSortAscending[kMemoColumnNextPlayback] = 1;
    auto drawer = OpenManager();
    EXPECT_EQ(drawer->Shown(), (QStringList{hourly, daily, once, user}));
    CEchoMemosModel* model = drawer->Model();
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Next Playback");
    EXPECT_EQ(model->index(2, kMemoColumnNextPlayback).data().toString(), "Already Played");
    EXPECT_EQ(model->index(3, kMemoColumnNextPlayback).data().toString(), "");
    EXPECT_EQ(model->index(3, kMemoColumnFrequency).data().toString(), "User Initiated");
    EXPECT_EQ(model->index(1, kMemoColumnFrequency).data().toString(), "Daily");
    EXPECT_EQ(model->index(0, kMemoColumnNextPlayback).data().toString(),
              CPlaybackNotifyDlg::FormatPlayedTime(now_ + 1800, 1));
    EXPECT_EQ(model->index(0, kMemoColumnLength).data().toString(), "1");
    EXPECT_FALSE(model->index(0, kMemoColumnNotify).data(Qt::DecorationRole).isValid());
    // The playing times and the Length heading are shown whole, not cut short.
    auto* list = drawer->findChild<QTreeView*>();
    ASSERT_NE(list, nullptr);
    const QFontMetrics metrics = list->fontMetrics();
    const int timeText =
        metrics.horizontalAdvance(model->index(0, kMemoColumnNextPlayback).data().toString());
    EXPECT_GT(list->header()->sectionSize(kMemoColumnNextPlayback), timeText);
    const int heading = metrics.horizontalAdvance(
        model->headerData(kMemoColumnLength, Qt::Horizontal, Qt::DisplayRole).toString());
    EXPECT_GT(list->header()->sectionSize(kMemoColumnLength), heading);
    EXPECT_TRUE(model->index(1, kMemoColumnNotify).data(Qt::DecorationRole).isValid());
    EXPECT_EQ(drawer->StatusText(), "4 Note(s)     0 Selected");

    drawer->OnHeaderClicked(kMemoColumnNextPlayback);
    EXPECT_EQ(settings_.bSortAscending[kMemoColumnNextPlayback], 0);
    EXPECT_EQ(drawer->Shown(), (QStringList{once, user, daily, hourly}));
    drawer->OnHeaderClicked(kMemoColumnDescription);
    EXPECT_EQ(settings_.nSortColumn, kMemoColumnDescription);
    EXPECT_EQ(drawer->Shown(), (QStringList{once, daily, hourly, user}));
    drawer->OnSortDescending();
    EXPECT_EQ(drawer->Shown(), (QStringList{user, hourly, daily, once}));
    drawer->Pick({daily, hourly});
    EXPECT_EQ(drawer->StatusText(), "4 Note(s)     2 Selected");
    drawer->OnPlay();
    EXPECT_EQ(memos_->played, (QStringList{once, hourly}));  // list order of the selection
}

TEST_F(EchoMemos, TheManagerDeletesToTheTrashAfterAskingAndStopsAPlayingMemo) {
    const QString a = Memo("a.wav", Note(MEMO_DAILY));
    const QString b = Memo("b.wav", Note(MEMO_DAILY));
    const QString c = Memo("c.wav", Note(MEMO_HOURLY));
    Build();
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("data")));
    settings_.bConfirmDelete = 1;
    settings_.bSortAscending[kMemoColumnDescription] = 1;
    auto drawer = OpenManager();
    drawer->Pick({b});
    drawer->answer = false;
    drawer->OnDelete();
    EXPECT_EQ(drawer->questions, QStringList{"Do you want to delete the selected echo memo?"});
    EXPECT_TRUE(QFile::exists(b));
    EXPECT_EQ(Records().size(), 3u);

    // b plays: it is stopped before its file goes.
    drawer->Pick({b});
    drawer->OnPlay();
    ASSERT_TRUE(memos_->IsSomethingPlaying());
    drawer->answer = true;
    drawer->OnDelete();
    EXPECT_FALSE(memos_->IsSomethingPlaying());
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_TRUE(QFile::exists(dir_.filePath("data/Trash/files/b.wav")));
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(QFile(list_).size(), 3 * kMemoListRecordSize) << "the record stays, pathless";
    EXPECT_EQ(drawer->Shown(), (QStringList{a, c}));

    // Without confirmation, several at once.
    settings_.bConfirmDelete = 0;
    drawer->Pick({a, c});
    drawer->OnDelete();
    EXPECT_EQ(drawer->questions.size(), 2);
    EXPECT_TRUE(Records().empty());
    EXPECT_EQ(memos_->EarliestIndex(), -1);
}

// The list is rebuilt behind the open drawer: its rows' indexes are stale, and deleting
// or rescheduling goes by the memo's path, never writing another memo's record.
TEST_F(EchoMemos, TheManagerFindsItsMemosByPathAfterARebuild) {
    const QString b = Memo("b.wav", Note(MEMO_DAILY));
    const QString c = Memo("c.wav", Note(MEMO_DAILY));
    Build();
    auto drawer = OpenManager();
    Memo("a.wav", Note(MEMO_HOURLY));  // sorts first: every index moves by one
    Build();
    drawer->Pick({b});
    drawer->OnDelete();
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(MemoListPath(records[0].entry), memoDir_ + "/a.wav");
    EXPECT_EQ(MemoListPath(records[1].entry), c);
    EXPECT_EQ(records[1].index, 2);

    drawer->schedule = Note(MEMO_WEEKLY);
    drawer->schedule.weeklyDay = 1, drawer->schedule.weeklyTime = 8 * 3600;
    drawer->newDescription = "Call the bank";
    drawer->Pick({c});
    drawer->OnSchedule();
    EXPECT_TRUE(drawer->errors.isEmpty()) << drawer->errors.join('\n').toStdString();
    records = Records();
    EXPECT_EQ(records[0].entry.memo.frequency, MEMO_HOURLY) << "the other memo is untouched";
    EXPECT_EQ(records[1].entry.memo.frequency, MEMO_WEEKLY);
    EXPECT_EQ(MemoListDescription(records[1].entry), "Call the bank");
    EXPECT_EQ(FileNote(c).frequency, MEMO_WEEKLY);
    // Wednesday 4 June 2025 12:00: the next Sunday 08:00.
    EXPECT_EQ(records[1].entry.nextTime, MakeLocalTime(2025, 6, 8, 8, 0, 0));
}

TEST_F(EchoMemos, ReschedulingSeveralMemosKeepsEachDescription) {
    std::vector<QString> paths;
    for (const char* name : {"x.wav", "y.wav", "z.wav"}) {
        ECHOMEMOSTRUCT once = Note(MEMO_ONCE);
        once.played = 1;
        paths.push_back(Memo(name, once));
    }
    Build();
    auto drawer = OpenManager();
    drawer->Pick({paths[0], paths[1], paths[2]});
    drawer->schedule = Note(MEMO_DAILY);
    drawer->schedule.dailyDays = 0x02;  // Mondays
    drawer->schedule.played = 1;        // stored cleared
    drawer->newDescription = "not used";
    drawer->OnSchedule();
    EXPECT_FALSE(drawer->shownSingle);
    EXPECT_EQ(drawer->shownDescription, "MULTIPLE SELECTIONS");
    const auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(MemoListDescription(records[i].entry), QFileInfo(paths[i]).fileName());
        EXPECT_EQ(records[i].entry.memo.frequency, MEMO_DAILY);
        EXPECT_EQ(records[i].entry.memo.played, 0);
        EXPECT_EQ(records[i].entry.nextTime, MakeLocalTime(2025, 6, 9, 12, 0, 0));
        EXPECT_EQ(FileNote(paths[i]).played, 0);
    }
    EXPECT_EQ(memos_->EarliestTime(), MakeLocalTime(2025, 6, 9, 12, 0, 0));
}

// A memo posted while the manager is open joins its list; the playing mark follows the
// play list; the hold switch reaches the settings at once.
TEST_F(EchoMemos, TheManagerFollowsPostedMemosPlaybackAndHoldAll) {
    const QString a = Memo("a.wav", Note(MEMO_DAILY));
    Build();
    const QPoint anchor(100, 20);
    ASSERT_EQ(memos_->CreateDrawer(1, &anchor, 0), 1);
    CDrawerEchoMemos* drawer = memos_->GetDrawer();
    const QString posted = Memo("new.wav", Note(MEMO_HOURLY));
    EXPECT_EQ(memos_->AddEchoMemo(SOUNDFILETYPE_WAV, posted), 1);
    Pump();
    EXPECT_EQ(drawer->Model()->rowCount(), 2);
    EXPECT_EQ(drawer->Model()->RowOfPath(posted), 1);
    drawer->SelectPaths({posted});
    drawer->OnPlay();
    memos_->OnPlayListTrackChange(0);
    Pump();
    // By path: the list's delayed reload may have sorted the rows meanwhile.
    EXPECT_TRUE(drawer->Model()->Row(drawer->Model()->RowOfPath(posted)).playing);
    EXPECT_FALSE(drawer->Model()->Row(drawer->Model()->RowOfPath(a)).playing);
    drawer->HoldAll()->setChecked(true);
    EXPECT_EQ(settings_.bHoldAll, 1);
    now_ = now_ + 3600;
    memos_->PlayEchoMemosThread();
    EXPECT_FALSE(memos_->IsPlaying());
}

// The memo player's report carries the record it wrote: a rebuild that moves the memo
// to another index before the report is taken still plays that memo.
TEST_F(EchoMemos, ANotificationPlaysItsOwnMemoAfterARebuild) {
    const QString daily = Memo("m.wav", Note(MEMO_DAILY));
    now_ = now_ - 60;
    Build();
    now_ = now_ + 60;
    memos_->PlayEchoMemosThread();
    ASSERT_TRUE(memos_->WaitForThreads(60000));
    Memo("a.wav", Note(MEMO_USER_INITIATED));
    Build();  // the played memo is now record 1
    Pump();
    EXPECT_EQ(memos_->played, QStringList{daily});
}

// Copy and drag hand the selected memo files out as a file manager takes them: the URI
// list and the copied-files list, each file once and in list order, whatever the columns.
TEST_F(EchoMemos, CopyAndDragHandTheMemoFilesOut) {
    const QString a = Memo("a.wav", Note(MEMO_DAILY));
    const QString b = Memo("b b.rmi", Note(MEMO_HOURLY));
    const QString c = Memo("c.wav", Note(MEMO_USER_INITIATED));
    Build();
    settings_.nSortColumn = kMemoColumnDescription;
    settings_.bSortAscending[kMemoColumnDescription] = 1;
    auto drawer = OpenManager();
    ASSERT_EQ(drawer->Shown(), (QStringList{a, b, c}));

    QApplication::clipboard()->clear();
    drawer->Pick({});
    drawer->OnCopy();
    const QMimeData* none = QApplication::clipboard()->mimeData();
    EXPECT_TRUE(!none || !none->hasUrls()) << "nothing selected";

    drawer->Pick({c, b});
    drawer->OnCopy();
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->urls(), (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(c)}));
    EXPECT_EQ(
        copied->data("x-special/gnome-copied-files"),
        "copy\n" + QUrl::fromLocalFile(b).toEncoded() + "\n" + QUrl::fromLocalFile(c).toEncoded());
    EXPECT_TRUE(QUrl::fromLocalFile(b).toEncoded().contains("b%20b.rmi")) << "encoded as URIs";
    // A recorder drawer finds the WAV file among them.
    QString wav;
    EXPECT_EQ(CClipboard::IsWAVFileInObject(copied, &wav), 1);
    EXPECT_EQ(wav, c);

    // The drag: every column of the selected rows comes in, each file goes out once.
    QModelIndexList indexes;
    for (int row : {2, 0})
        for (int column = 0; column < kMemoColumnCount; ++column)
            indexes << drawer->Model()->index(row, column);
    EXPECT_TRUE(drawer->Model()->mimeTypes().contains("text/uri-list"));
    EXPECT_EQ(drawer->Model()->supportedDragActions(), Qt::CopyAction);
    EXPECT_TRUE(drawer->Model()->flags(indexes.front()) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> dragged(drawer->Model()->mimeData(indexes));
    ASSERT_TRUE(dragged);
    EXPECT_EQ(dragged->urls(), (QList<QUrl>{QUrl::fromLocalFile(c), QUrl::fromLocalFile(a)}));
    EXPECT_EQ(dragged->data("x-special/gnome-copied-files").split('\n').size(), 3);
    EXPECT_TRUE(drawer->List()->dragEnabled());
    EXPECT_EQ(drawer->List()->dragDropMode(), QAbstractItemView::DragOnly);
}

TEST_F(EchoMemos, InitWaitsForTheListAndTheCurrentMemoStaysUnknownWithoutARecord) {
    Memo("a.wav", Note(MEMO_HOURLY));
    Build();
    ASSERT_TRUE(memos_->IsListReady());
    memos_->AddToPlayList(memoDir_ + "/elsewhere.wav");
    memos_->OnPlayListTrackChange(0);
    EXPECT_EQ(memos_->GetCurrentMemo(), -1);
    memos_->PurgePlayList();
    memos_->AddToPlayList(memoDir_ + "/A.WAV");
    memos_->OnPlayListTrackChange(0);
    EXPECT_EQ(memos_->GetCurrentMemo(), 0) << "paths compare without case";
    memos_->InitEchoMemos();
    EXPECT_FALSE(memos_->IsListReady());
    EXPECT_EQ(memos_->EarliestIndex(), -1);
}

TEST(PropertiesEchoMemos, ThePageEditsItsThreeFlagsOnly) {
    TestApp();
    ECHOMEMOSPROPERTIES record{};
    record.b24Hour = 1, record.bConfirmDelete = 1, record.bHoldAll = 1, record.nSortColumn = 3;
    CPropertiesEchoMemos page;
    page.InitProperties(&record);
    EXPECT_TRUE(page.Use24Hour()->isChecked());
    EXPECT_FALSE(page.Notify()->isChecked());
    EXPECT_TRUE(page.ConfirmDelete()->isChecked());
    page.Use24Hour()->setChecked(false);
    page.Notify()->setChecked(true);
    page.ConfirmDelete()->setChecked(false);
    EXPECT_EQ(page.UpdateProperties(&record), 1);
    EXPECT_EQ(record.b24Hour, 0);
    EXPECT_EQ(record.bNotify, 1);
    EXPECT_EQ(record.bConfirmDelete, 0);
    EXPECT_EQ(record.bHoldAll, 1);
    EXPECT_EQ(record.nSortColumn, 3);
    EXPECT_EQ(page.UpdateProperties(nullptr), 0);
}

}  // namespace
