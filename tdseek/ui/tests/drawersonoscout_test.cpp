#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <cstring>
#include <memory>

#include "platform/message.h"
#include "platform/tempfile.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/helptopic.h"
#include "tdseek/searchlist.h"
#include "tdseek/ui/drawersonoscout.h"
#include "tdseek/ui/propertiessonoscout.h"
#include "tdseek/ui/sonoscout.h"

namespace {

int argc = 1;
char name[] = "seek_drawer_tests";
char* argv[] = {name, nullptr};

class FakePlayer : public IFilePlayer {
public:
    explicit FakePlayer(std::vector<QString>* played) : played_(played) {}
    int Play(const QString& path) override {
        played_->push_back(path);
        playing_ = true;
        return 1;
    }
    int StopPlay() override {
        playing_ = false;
        return 1;
    }
    int StillPlaying() override { return playing_; }
    int IsDeviceReady() override { return 1; }

private:
    std::vector<QString>* played_;
    bool playing_ = false;
};

class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        OnMessage(WM_BAR_TOMEMOS, [this](WPARAM w, LPARAM l) {
            memos.push_back({int(w), QString::fromLocal8Bit(reinterpret_cast<const char*>(l))});
            return LRESULT(0);
        });
        OnMessage(WM_BAR_SONOSCOUTCLOSED, [this](WPARAM, LPARAM) {
            ++closed;
            return LRESULT(0);
        });
    }
    std::vector<std::pair<int, QString>> memos;
    int closed = 0;
};

SOUNDSTRUCT Record(const QString& path, int type, DWORD size, uint64_t filetime) {
    SOUNDSTRUCT r{};
    EXPECT_TRUE(CSoundSearchEngine::FillRecord(path, type, &r));
    r.dwSize = size;
    r.ftLastWriteLow = DWORD(filetime);
    r.ftLastWriteHigh = DWORD(filetime >> 32);
    return r;
}

class Drawer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("reg").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.filePath("root"), "Ann").ok);
        ASSERT_TRUE(GetSonoscoutSearchFilePath(data_));
        now_ = 0;
        CSlidingDrawer::SetSlideClock([this] { return now_; });
        settings_ = DefaultProperties({}).SonoscoutProps;
        std::memset(settings_.bDrive, 0, sizeof settings_.bDrive);
        bar_ = std::make_unique<Bar>();
        mail_ = MAILPROPERTIES{};
        scout_ = std::make_unique<CSonoscout>(bar_.get(), &settings_, &mail_, nullptr);
        scout_->SetPlayers(std::make_unique<FakePlayer>(&played_),
                           std::make_unique<FakePlayer>(&played_));
    }
    void TearDown() override {
        scout_.reset();
        bar_.reset();
        CSlidingDrawer::SetSlideClock(nullptr);
        qunsetenv("TONEDECK_REGISTRY_DIR");
    }
    QString Sound(const QString& name, const QByteArray& bytes = "RIFF") {
        const QString path = dir_.filePath("sounds/" + name);
        QDir().mkpath(dir_.filePath("sounds"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void WriteData(const std::vector<SOUNDSTRUCT>& records) {
        QFile f(data_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const SOUNDSTRUCT& r : records)
            f.write(reinterpret_cast<const char*>(&r), sizeof r);
    }
    CDrawerSonoscout* Open() {
        scout_->CreateDrawer(1, QPoint(100, 10), 1);
        CDrawerSonoscout* d = scout_->Drawer();
        EXPECT_NE(d, nullptr);
        if (d) {
            d->askYesNo = [this](const QString&, const QString&) {
                ++questions_;
                return false;
            };
            d->askConfirmDelete = [this](const QStringList& paths) {
                confirmed_ = paths;
                return true;
            };
        }
        QCoreApplication::processEvents();
        return d;
    }
    void Close() {
        CDrawerSonoscout* d = scout_->Drawer();
        ASSERT_NE(d, nullptr);
        scout_->DestroyDrawer();
        for (int i = 0; i < 5 && scout_->IsDrawerOpen(); ++i) {
            now_ += 1000;
            d->StepSlide();
            QCoreApplication::processEvents();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Select(CDrawerSonoscout* d, int row, QItemSelectionModel::SelectionFlags how) {
        d->View()->selectionModel()->select(d->List()->index(row, 0),
                                            how | QItemSelectionModel::Rows);
    }
    QStringList Column(CDrawerSonoscout* d, int column) {
        QStringList out;
        for (int r = 0; r < d->List()->rowCount(); ++r)
            out << d->List()->Text(r, column);
        return out;
    }

    QTemporaryDir dir_;
    QString data_;
    int64_t now_ = 0;
    std::unique_ptr<Bar> bar_;
    SONOSCOUTPROPERTIES settings_{};
    MAILPROPERTIES mail_{};
    std::unique_ptr<CSonoscout> scout_;
    std::vector<QString> played_;
    int questions_ = 0;
    QStringList confirmed_;
};

TEST_F(Drawer, ListsRecordsSkippingClearedOnesAndSortsByEveryColumn) {
    SOUNDSTRUCT gone = Record(Sound("gone.wav"), 1, 1, 1);
    gone.szPath[0] = '\0';
    WriteData({Record(Sound("b.wav"), 1, 300, 20), gone, Record(Sound("A.mid"), 2, 40, 30),
               Record(Sound("c.rmi"), 2, 5000, 10)});
    CDrawerSonoscout* d = Open();
    ASSERT_EQ(d->List()->rowCount(), 3);
    EXPECT_EQ(questions_, 0);
    EXPECT_EQ(d->List()->RecordIndex(1), 2) << "records keep their index in the file";
    EXPECT_EQ(d->StatusText(), "3 File(s)  0 Selected");
    EXPECT_EQ(d->List()->Text(0, CSearchList::kType), "Wave File");
    EXPECT_EQ(d->List()->Text(1, CSearchList::kType), "Midi File");

    d->OnColumnClick(CSearchList::kSize);
    EXPECT_EQ(Column(d, CSearchList::kSize), (QStringList{"40", "300", "5000"}));
    d->OnColumnClick(CSearchList::kSize);
    EXPECT_EQ(Column(d, CSearchList::kSize), (QStringList{"5000", "300", "40"}));
    d->OnColumnClick(CSearchList::kSize);
    EXPECT_EQ(Column(d, CSearchList::kSize), (QStringList{"40", "300", "5000"}));
    d->OnColumnClick(CSearchList::kName);  // case-insensitive
    EXPECT_EQ(Column(d, CSearchList::kName), (QStringList{"A.mid", "b.wav", "c.rmi"}));
    d->OnColumnClick(CSearchList::kDate);
    EXPECT_EQ(Column(d, CSearchList::kName), (QStringList{"c.rmi", "b.wav", "A.mid"}));
    d->OnColumnClick(CSearchList::kType);
    EXPECT_EQ(Column(d, CSearchList::kType), (QStringList{"Midi File", "Midi File", "Wave File"}));
    d->OnColumnClick(CSearchList::kPath);
    EXPECT_EQ(Column(d, CSearchList::kName), (QStringList{"A.mid", "b.wav", "c.rmi"}));
}

TEST_F(Drawer, PlaysInTheOrderTheSoundsWereChosen) {
    WriteData({Record(Sound("1.wav"), 1, 1, 1), Record(Sound("2.wav"), 1, 1, 1),
               Record(Sound("3.wav"), 1, 1, 1)});
    CDrawerSonoscout* d = Open();
    ASSERT_EQ(d->List()->rowCount(), 3);
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    d->OnListClick(0, 0);
    Select(d, 1, QItemSelectionModel::Select);
    d->OnListClick(1, Qt::ControlModifier);
    Select(d, 0, QItemSelectionModel::Deselect);
    d->OnListClick(0, Qt::ControlModifier);
    Select(d, 2, QItemSelectionModel::Select);
    d->OnListClick(2, Qt::ControlModifier);
    EXPECT_EQ(d->PlayOrder(), (std::vector<int>{1, 2}));
    EXPECT_EQ(d->StatusText(), "3 File(s)  2 Selected");
    d->OnCommand(ID_SC_PLAY);
    QStringList queued;
    scout_->GetPlayIndexes(queued);
    EXPECT_EQ(queued, (QStringList{dir_.filePath("sounds/2.wav"), dir_.filePath("sounds/3.wav")}));
    ASSERT_EQ(d->Playing()->count(), 2);
    EXPECT_EQ(d->Playing()->itemText(0), "2.wav");
    ASSERT_FALSE(played_.empty());
    EXPECT_EQ(played_.front(), dir_.filePath("sounds/2.wav"));
    EXPECT_FALSE(d->Action(ID_SC_DELETE)->isEnabled()) << "nothing is deleted while playing";
    EXPECT_TRUE(d->Action(ID_SC_STOP)->isEnabled());
    d->OnCommand(ID_SC_STOP);
    EXPECT_FALSE(scout_->IsSomethingPlaying());
    EXPECT_TRUE(d->Action(ID_SC_DELETE)->isEnabled());
}

TEST_F(Drawer, DeleteClearsOnlyTheRecordsOfFilesReallyDeleted) {
    const QString a = Sound("a.wav"), c = Sound("c.wav");
    // A directory named like a sound cannot be removed as a file.
    const QString stuck = dir_.filePath("sounds/stuck.wav");
    QDir().mkpath(stuck + "/inside");
    WriteData({Record(a, 1, 1, 1), Record(a, 1, 1, 1), Record(c, 1, 1, 1)});
    {
        // The second record names the directory.
        QFile f(data_);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        SOUNDSTRUCT r = Record(a, 1, 1, 1);
        std::memset(r.szPath, 0, sizeof r.szPath);
        std::strcpy(r.szPath, QFile::encodeName(stuck).constData());
        f.seek(792);
        f.write(reinterpret_cast<const char*>(&r), sizeof r);
    }
    CDrawerSonoscout* d = Open();
    d->showMessage = [](const QString&) {};
    ASSERT_EQ(d->List()->rowCount(), 3);
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    Select(d, 1, QItemSelectionModel::Select);
    d->OnCommand(ID_SC_DELETE);
    EXPECT_EQ(confirmed_.size(), 2);
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_TRUE(QFileInfo(stuck).isDir());
    EXPECT_EQ(d->List()->rowCount(), 2);
    d->PrepareToUpdateList();
    const auto left = ReadSearchFile(data_);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(QFile::decodeName(left[0].szPath), stuck);
    EXPECT_EQ(QFile::decodeName(left[1].szPath), c);
    QFile f(data_);
    EXPECT_EQ(f.size(), 3 * 792) << "records keep their place";
}

TEST_F(Drawer, MissingDataFileOffersASearchAndReopensAfterClosing) {
    QFile::remove(data_);
    CDrawerSonoscout* d = Open();
    EXPECT_EQ(questions_, 1);
    EXPECT_EQ(d->List()->rowCount(), 0);
    Close();
    EXPECT_FALSE(scout_->IsDrawerOpen());
    EXPECT_EQ(bar_->closed, 1);
    WriteData({Record(Sound("x.wav"), 1, 1, 1)});
    d = Open();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->List()->rowCount(), 1);
    Close();
    EXPECT_EQ(bar_->closed, 2);
}

TEST_F(Drawer, EndOfSearchReplacesTheListOnTheDrawersThread) {
    WriteData({Record(Sound("old.wav"), 1, 1, 1)});
    CDrawerSonoscout* d = Open();
    ASSERT_EQ(d->List()->rowCount(), 1);
    // D: is a folder with two sounds.
    const QString disk = dir_.filePath("disk");
    QDir().mkpath(disk + "/x");
    QFile(Sound("n1.wav")).copy(disk + "/n1.wav");
    QFile(Sound("n2.mid")).copy(disk + "/x/n2.mid");
    QFile mounts(dir_.filePath("mountinfo"));
    ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
    mounts.write("20 1 8:1 / / rw - ext4 /dev/sda1 rw\n21 20 8:2 / " + disk.toUtf8() +
                 " rw - ext4 /dev/sda2 rw\n");
    mounts.close();
    qputenv("TONEDECK_MOUNTINFO", mounts.fileName().toLocal8Bit());
    qputenv("TONEDECK_UDEV_DATA", dir_.filePath("none").toLocal8Bit());
    d->askSearchChoice = [](SearchChoice* c) {
        std::memset(c->drives, 0, sizeof c->drives);
        c->drives[3] = 1;
        c->wave = c->midi = 1;
        return true;
    };
    d->OnCommand(ID_SC_SEARCH);
    EXPECT_TRUE(scout_->IsSearching());
    EXPECT_TRUE(d->IsAnimating());
    EXPECT_FALSE(d->Action(ID_SC_SEARCH)->isEnabled());
    EXPECT_TRUE(d->Action(ID_SC_STOPSEARCH)->isEnabled());
    ASSERT_TRUE(scout_->WaitForSearch(20000));
    EXPECT_FALSE(d->IsAnimating());
    EXPECT_TRUE(d->Action(ID_SC_SEARCH)->isEnabled());
    EXPECT_EQ(Column(d, CSearchList::kName), (QStringList{"n1.wav", "n2.mid"}));
    qunsetenv("TONEDECK_MOUNTINFO");
    qunsetenv("TONEDECK_UDEV_DATA");
}

TEST_F(Drawer, PostsAMidiFileAsAnRmiMemo) {
    // A type 0 standard MIDI file with one empty track.
    QByteArray midi("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x04\0\xff\x2f\0", 26);
    WriteData({Record(Sound("tune.mid", midi), 2, 26, 1), Record(Sound("talk.wav"), 1, 4, 1)});
    CDrawerSonoscout* d = Open();
    int asked = 0;
    d->askSchedule = [&](ECHOMEMOSTRUCT* memo, QString* description) {
        ++asked;
        memo->frequency = 3;
        *description = "Practice";
        return true;
    };
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    d->OnListClick(0, 0);
    EXPECT_TRUE(d->Action(ID_SC_POST)->isEnabled());
    d->OnCommand(ID_SC_POST);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(bar_->memos.size(), 1u);
    EXPECT_EQ(bar_->memos[0].first, 2);
    const QString memo = bar_->memos[0].second;
    EXPECT_TRUE(QFileInfo(memo).fileName().startsWith("SAY")) << memo.toStdString();
    EXPECT_TRUE(memo.endsWith(".RMI")) << memo.toStdString();
    QString memos;
    ASSERT_TRUE(GetEchoMemosDirectory(memos));
    EXPECT_EQ(QFileInfo(memo).absolutePath(), QDir(memos).absolutePath());
    WAVEFILETYPE type;
    char text[256] = {};
    DWORD seconds = 0;
    ECHOMEMOSTRUCT read{};
    ASSERT_TRUE(
        GetNoteInfoFromRIFFFile(memo, type, text, sizeof text, seconds, &read, SOUNDFILETYPE_RMI));
    EXPECT_STREQ(text, "Practice");
    EXPECT_EQ(read.frequency, 3);
    EXPECT_EQ(QDir(memos).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no half-built file left behind";
    // Cancel posts nothing.
    d->askSchedule = [](ECHOMEMOSTRUCT*, QString*) { return false; };
    d->OnCommand(ID_SC_POST);
    EXPECT_EQ(bar_->memos.size(), 1u);
}

// A second of PCM speech-band noise, 8 kHz, 16 bits, mono.
QByteArray PcmWave() {
    const int samples = 8000;
    QByteArray w("RIFF", 4);
    const auto u32 = [&](quint32 v) { w.append(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](quint16 v) { w.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + samples * 2);
    w += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    w += "data";
    u32(samples * 2);
    quint32 seed = 7;
    for (int i = 0; i < samples; ++i) {
        seed = seed * 1103515245u + 12345u;
        u16(quint16(qint16(int(seed >> 16) % 8000 - 4000)));
    }
    return w;
}

QStringList TempCopies() {
    const auto dir = PrivateTempDirectory();
    return dir ? QDir(*dir).entryList({"~sc*"}, QDir::Files) : QStringList();
}

TEST_F(Drawer, MailSendsOneWaveFileAndNeverLeavesItsCompressedCopy) {
    const QString talk = Sound("talk.wav", PcmWave());
    WriteData({Record(talk, 1, 16044, 1), Record(Sound("tune.mid"), 2, 4, 1),
               Record(Sound("bad.wav"), 1, 4, 1)});
    CDrawerSonoscout* d = Open();
    ASSERT_EQ(d->List()->rowCount(), 3);
    struct Sent {
        QString file, subject;
        QByteArray bytes;
    };
    std::vector<Sent> sent;
    QStringList said, info;
    SonoscoutMailing answer;
    answer.subject = "hello";
    d->askSubject = [&](SonoscoutMailing* m) {
        *m = answer;
        return true;
    };
    d->sendByAOL = [&](const QString& file, const QString& subject) {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        sent.push_back({file, subject, f.readAll()});
        return 1;
    };
    d->showMessage = [&](const QString& text) { said << text; };
    d->showInfo = [&](const QString& text) { info << text; };

    // Without a mail service there is no mailing.
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    d->OnListClick(0, 0);
    EXPECT_FALSE(d->Action(ID_SC_MAIL)->isEnabled());
    d->OnCommand(ID_SC_MAIL);
    EXPECT_TRUE(sent.empty());
    // With one: one Wave file at a time.
    mail_.bAOL = 1;
    d->UpdateToolBar();
    EXPECT_TRUE(d->Action(ID_SC_MAIL)->isEnabled());
    Select(d, 1, QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(d->Action(ID_SC_MAIL)->isEnabled()) << "a MIDI file is not a voicegram";
    d->OnCommand(ID_SC_MAIL);
    Select(d, 0, QItemSelectionModel::Select);
    EXPECT_FALSE(d->Action(ID_SC_MAIL)->isEnabled()) << "two files";
    d->OnCommand(ID_SC_MAIL);
    EXPECT_TRUE(sent.empty());

    // As it is.
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    d->OnCommand(ID_SC_MAIL);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].file, talk);
    EXPECT_EQ(sent[0].subject, "VOICEGRAM hello");
    EXPECT_EQ(info, QStringList{"The selected file has been successfully sent."});

    // Compressed: a copy of its own, gone once sent; the found file stays as it was.
    answer.compress = 1;
    d->OnCommand(ID_SC_MAIL);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[1].file, talk);
    EXPECT_TRUE(QFileInfo(sent[1].file).fileName().startsWith("~sc"));
    EXPECT_LT(sent[1].bytes.size(), PcmWave().size());
    EXPECT_FALSE(QFile::exists(sent[1].file));
    EXPECT_TRUE(TempCopies().isEmpty());
    QFile original(talk);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), PcmWave());

    // A file that cannot be compressed is not sent, and leaves no copy.
    Select(d, 2, QItemSelectionModel::ClearAndSelect);
    d->OnCommand(ID_SC_MAIL);
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(said, QStringList{"Could not compress/convert file"});
    EXPECT_TRUE(TempCopies().isEmpty());

    // Several services: the user picks; Simple MAPI without a session says so and sends
    // nothing, and a cancel sends nothing either.
    answer.compress = 0;
    mail_.bMAPI = 1;
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    int asked = 0;
    d->askMailServices = [&](MAILPROPERTIES* services) {
        ++asked;
        services->bAOL = 0;
        return true;
    };
    said.clear();
    d->OnCommand(ID_SC_MAIL);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(said, QStringList{"MAPI session not enabled"});
    d->askMailServices = [&](MAILPROPERTIES*) { return false; };
    d->OnCommand(ID_SC_MAIL);
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(info.size(), 2);
    // A cancelled subject sends nothing.
    mail_.bMAPI = 0;
    d->askSubject = [](SonoscoutMailing*) { return false; };
    d->OnCommand(ID_SC_MAIL);
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(Drawer, IconViewSharesTheListAndTheSelectionWithTheTable) {
    WriteData({Record(Sound("1.wav"), 1, 1, 1), Record(Sound("2.mid"), 2, 1, 1),
               Record(Sound("3.wav"), 1, 1, 1)});
    CDrawerSonoscout* d = Open();
    ASSERT_EQ(d->List()->rowCount(), 3);
    Select(d, 0, QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(d->IsIconView());
    d->OnCommand(ID_SC_ICONVIEW);
    ASSERT_TRUE(d->IsIconView());
    EXPECT_TRUE(d->Action(ID_SC_ICONVIEW)->isChecked());
    EXPECT_FALSE(d->Action(ID_SC_DETAILVIEW)->isChecked());
    QListView* icons = d->IconView();
    EXPECT_EQ(icons->model(), d->List());
    EXPECT_EQ(icons->selectionModel(), d->View()->selectionModel());
    EXPECT_EQ(icons->model()->data(icons->model()->index(1, 0)).toString(), "2.mid");
    QCoreApplication::processEvents();

    // A click on a name selects its whole row, so the drawer's commands see it.
    const QRect r = icons->visualRect(d->List()->index(2, 0));
    ASSERT_TRUE(r.isValid());
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, QPointF(r.center()), QPointF(icons->viewport()->mapToGlobal(r.center())),
                      Qt::LeftButton, t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(icons->viewport(), &e);
    }
    EXPECT_EQ(d->View()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(d->PlayOrder(), (std::vector<int>{2}));
    EXPECT_EQ(d->StatusText(), "3 File(s)  1 Selected");
    EXPECT_TRUE(d->Action(ID_SC_PLAY)->isEnabled());
    d->OnCommand(ID_SC_PLAY);
    ASSERT_FALSE(played_.empty());
    EXPECT_EQ(played_.back(), dir_.filePath("sounds/3.wav"));
    d->OnCommand(ID_SC_STOP);

    // Sorting orders both views; back in the table the selection is still there.
    d->OnColumnClick(CSearchList::kType);
    EXPECT_EQ(icons->model()->data(icons->model()->index(0, 0)).toString(), "2.mid");
    d->OnCommand(ID_SC_DETAILVIEW);
    EXPECT_FALSE(d->IsIconView());
    ASSERT_EQ(d->View()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(d->List()->Text(d->View()->selectionModel()->selectedRows().front().row(),
                              CSearchList::kName),
              "3.wav");
}

TEST_F(Drawer, PropertiesEditTheSettingsAndHelpOpensTheDrawersTopic) {
    CDrawerSonoscout* d = Open();
    settings_.nFrequency = 0;
    settings_.bChanged = 0;
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* page = dialog->findChild<CPropertiesSonoscout*>();
        ASSERT_NE(page, nullptr);
        page->Frequency()->setCurrentIndex(2);  // "Daily"
        dialog->accept();
    });
    d->OnCommand(ID_SC_PROPERTIES);
    EXPECT_EQ(settings_.nFrequency, 24);
    EXPECT_EQ(settings_.bChanged, 1);
    // Cancelled: nothing changes.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<CPropertiesSonoscout*>()->Frequency()->setCurrentIndex(0);
        dialog->reject();
    });
    d->OnCommand(ID_SC_PROPERTIES);
    EXPECT_EQ(settings_.nFrequency, 24);

    // Every button shows within the drawer's width, none behind an overflow arrow.
    for (int id :
         {ID_SC_PLAY, ID_SC_STOP, ID_SC_PAUSE, ID_SC_PREVIOUS, ID_SC_NEXT, ID_SC_REWIND, ID_SC_LOOP,
          ID_SC_DELETE, ID_SC_POST, ID_SC_MAIL, ID_SC_COPY, ID_SC_SEARCH, ID_SC_STOPSEARCH,
          ID_SC_DETAILVIEW, ID_SC_ICONVIEW, ID_SC_PROPERTIES, ID_SC_HELP, ID_SC_CLOSE}) {
        QAction* action = d->Action(id);
        ASSERT_NE(action, nullptr) << id;
        auto* bar = qobject_cast<QToolBar*>(action->parent());
        ASSERT_NE(bar, nullptr) << id;
        QWidget* button = bar->widgetForAction(action);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_TRUE(button->isVisible()) << action->toolTip().toStdString();
        EXPECT_LE(button->mapTo(d, QPoint(button->width(), 0)).x(), d->width())
            << action->toolTip().toStdString();
    }

    std::vector<unsigned> topics;
    SetHelpTopicOpener([&](unsigned topic) { topics.push_back(topic); });
    d->OnCommand(ID_SC_HELP);
    SetHelpTopicOpener(nullptr);
    EXPECT_EQ(topics, std::vector<unsigned>{kSonoscoutHelpTopic});
}

}  // namespace
