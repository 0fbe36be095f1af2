#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>

#include <cstring>

#include "platform/audiobackend.h"
#include "tdinbox/ui/audiomessaging.h"
#include "tdinbox/ui/drawerinbox.h"
#include "tdinbox/ui/propertiesaudiomessaging.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/slidingdrawer.h"

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "inbox_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QApplication(argc, argv);
    return *app;
}

// A minimal WAV: 8-bit mono 8000 Hz, the given number of data bytes.
void WriteWav(const QString& path, int dataBytes) {
    QByteArray bytes;
    auto put32 = [&](uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); };
    bytes += "RIFF";
    put32(36 + dataBytes);
    bytes += "WAVEfmt ";
    put32(16);
    put16(1), put16(1), put32(8000), put32(8000), put16(1), put16(8);
    bytes += "data";
    put32(dataBytes);
    bytes += QByteArray(dataBytes, char(0x80));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        OnMessage(WM_BAR_INBOXSTATE, [this](WPARAM w, LPARAM) {
            states.push_back(int(w));
            return LRESULT(0);
        });
        OnMessage(WM_BAR_INBOXCLOSED, [this](WPARAM, LPARAM) { return LRESULT(++closed); });
        OnMessage(WM_BAR_DRAWERSOUND, [this](WPARAM, LPARAM) { return LRESULT(++sounds); });
    }
    std::vector<int> states;
    int closed = 0;
    int sounds = 0;
};

class Inbox : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
        // Deleted voicegrams go to a trash of the test's own.
        qputenv("XDG_DATA_HOME", (dir_.path() + "/data").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        ASSERT_TRUE(GetAudioMessagingDirectory(voicegrams_));
    }
    void TearDown() override {
        qunsetenv("TONEDECK_REGISTRY_DIR");
        qunsetenv("XDG_DATA_HOME");
    }

    void AddVoicegram(const char* name, const char* subject, DWORD heard) {
        const QString path = voicegrams_ + "/" + name;
        WriteWav(path, 16000);
        VOICEGRAMINFOSTRUCT info{};
        info.text5 = const_cast<char*>(subject);
        info.heard = heard;
        ASSERT_TRUE(AddInfoToRIFFFile(path, WAVEFILETYPE_SOUND, subject, &info));
    }
    QTemporaryDir dir_;
    QString voicegrams_;
};

TEST_F(Inbox, OnlyFilesWithAMailRecordAreVoicegrams) {
    AddVoicegram("a.wav", "Hello", 1);
    AddVoicegram("B.WAV", "Lunch", 0);
    WriteWav(voicegrams_ + "/plain.wav", 800);  // no mail record
    QFile(voicegrams_ + "/notes.txt").open(QIODevice::WriteOnly);
    const auto list = CAudioMessaging::ReadVoicegramDirectory(voicegrams_);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].path.endsWith("B.WAV"));
    EXPECT_EQ(list[0].description, "Lunch");
    EXPECT_FALSE(list[0].heard);
    EXPECT_EQ(list[0].seconds, 2u);
    EXPECT_TRUE(list[1].heard);
}

TEST_F(Inbox, TheBarLearnsWhetherAnythingIsNew) {
    Bar bar;
    CSimpleMapi mapi;
    MAILPROPERTIES mail{};
    MESSAGEPROPERTIES messages{};
    CAudioMessaging inbox(&bar, &mail, &messages, &mapi);
    auto readList = [&] {
        const size_t before = bar.states.size();
        inbox.CreateMailListThread();
        for (int i = 0; i < 500 && bar.states.size() == before; ++i) {
            QThread::msleep(2);
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(bar.states.size(), before + 1);
    };
    readList();
    EXPECT_EQ(bar.states.back(), 0);
    AddVoicegram("new.wav", "News", 0);
    readList();
    EXPECT_EQ(bar.states.back(), 1);
    EXPECT_EQ(inbox.Voicegrams().size(), 1u);
    ASSERT_TRUE(MarkMailAsHeard(inbox.Voicegrams()[0].path, 1));
    readList();
    EXPECT_EQ(bar.states.back(), 0);
    EXPECT_EQ(SendMessage(&inbox, WM_QUERYENDSESSION), 1);
    // With the indicator turned off, new voicegrams do not light it.
    AddVoicegram("newer.wav", "More", 0);
    messages.dwReserved0[1] = 1;
    readList();
    EXPECT_EQ(bar.states.back(), 0);
    messages.dwReserved0[1] = 0;
    readList();
    EXPECT_EQ(bar.states.back(), 1);
}

TEST_F(Inbox, TheDrawerOpensAndReportsItsClosingThroughTheController) {
    // Slides take no time: every look at the clock is a second later.
    int64_t fakeNow = 0;
    CSlidingDrawer::SetSlideClock([&] { return fakeNow += 1000; });
    Bar bar;
    bar.setGeometry(0, 0, 56, 600);
    CSimpleMapi mapi;
    MAILPROPERTIES mail{};
    MESSAGEPROPERTIES messages{};
    CAudioMessaging inbox(&bar, &mail, &messages, &mapi);
    inbox.CreateDrawer(0, QPoint(28, 100), &messages, nullptr, &mail, 1, nullptr, nullptr, 1, &bar);
    EXPECT_TRUE(inbox.IsDrawerOpen());
    for (int i = 0; i < 500 && bar.sounds == 0; ++i) {
        QThread::msleep(2);
        QCoreApplication::processEvents();
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();  // the slide's last step
    inbox.DestroyDrawer();
    for (int i = 0; i < 500 && bar.closed == 0; ++i) {
        QThread::msleep(2);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(bar.closed, 1);
    EXPECT_EQ(bar.sounds, 2) << "one drawer sound for each slide";
    EXPECT_FALSE(inbox.IsDrawerOpen());
    CSlidingDrawer::SetSlideClock(nullptr);
}

}  // namespace

// The Voicegram Box drawer over a folder of two voicegrams: its list, marking heard,
// deleting, replying and forwarding without mail.
TEST_F(Inbox, TheDrawerListsMarksDeletesAndReplies) {
    int64_t fakeNow = 0;
    CSlidingDrawer::SetSlideClock([&] { return fakeNow += 1000; });
    AddVoicegram("a.wav", "VOICEGRAM Hello", 0);
    AddVoicegram("b.wav", "VOICEGRAM Lunch", 1);
    Bar bar;
    bar.setGeometry(0, 0, 56, 600);
    CSimpleMapi mapi;
    MAILPROPERTIES mail{};
    MESSAGEPROPERTIES messages{};
    CAudioMessaging inbox(&bar, &mail, &messages, &mapi);
    const auto settle = [&] {
        for (int i = 0; i < 200; ++i) {
            QThread::msleep(2);
            QCoreApplication::processEvents();
        }
    };
    inbox.CreateMailListThread();
    settle();
    inbox.CreateDrawer(0, QPoint(28, 100), &messages, nullptr, &mail, 1, nullptr, nullptr, 1, &bar);
    settle();
    CDrawerInbox* drawer = inbox.Drawer();
    ASSERT_NE(drawer, nullptr);
    ASSERT_EQ(drawer->List()->topLevelItemCount(), 2);
    EXPECT_EQ(drawer->List()->topLevelItem(0)->text(1), "VOICEGRAM Hello");
    EXPECT_EQ(drawer->List()->topLevelItem(0)->text(4), "new");
    EXPECT_EQ(drawer->List()->topLevelItem(1)->text(4), "yes");
    EXPECT_EQ(bar.states.back(), 1);

    drawer->Select(0);
    drawer->OnMarkHeard();
    EXPECT_EQ(bar.states.back(), 0);  // nothing new any more: the indicator stops
    EXPECT_TRUE(ReadVoicegramDirectory(voicegrams_)[0].heard);
    EXPECT_EQ(drawer->List()->topLevelItem(0)->text(4), "yes");

    // A reply goes to whoever takes it, with the sender and the subject prepared.
    ReplyAddress got;
    inbox.SetReplyHandler([&](const VoicegramEntry&, const ReplyAddress& r) {
        got = r;
        return true;
    });
    drawer->Select(1);
    drawer->OnReply();
    EXPECT_EQ(got.subject, "Re: Lunch");

    drawer->Select(1);
    drawer->OnForward("kim@localhost");
    EXPECT_EQ(drawer->Status()->text(), "Mail is not available.");

    drawer->Select(0);
    const QString first = drawer->SelectedPath();
    drawer->OnDelete();
    EXPECT_FALSE(QFile::exists(first));
    ASSERT_EQ(drawer->List()->topLevelItemCount(), 1);
    EXPECT_EQ(drawer->List()->topLevelItem(0)->text(1), "VOICEGRAM Lunch");
    inbox.DestroyDrawer();
    settle();
    EXPECT_FALSE(inbox.IsDrawerOpen());
    CSlidingDrawer::SetSlideClock({});
}

// "Playing" stands while the voicegram plays and goes, with Stop, once it has ended.
TEST_F(Inbox, TheDrawerSaysPlayingUntilTheVoicegramEnds) {
    ForceAudioBackend(AudioBackend::Virtual);
    SetVirtualSpeed(4);  // the two-second voicegram plays in half a second
    int64_t fakeNow = 0;
    CSlidingDrawer::SetSlideClock([&] { return fakeNow += 1000; });
    AddVoicegram("a.wav", "VOICEGRAM Hello", 0);
    Bar bar;
    bar.setGeometry(0, 0, 56, 600);
    CSimpleMapi mapi;
    MAILPROPERTIES mail{};
    MESSAGEPROPERTIES messages{};
    CAudioMessaging inbox(&bar, &mail, &messages, &mapi);
    const auto pumpUntil = [](const std::function<bool()>& done) {
        for (int i = 0; i < 5000 && !done(); ++i) {
            QThread::msleep(2);
            QCoreApplication::processEvents();
        }
        return done();
    };
    inbox.CreateMailListThread();
    inbox.CreateDrawer(0, QPoint(28, 100), &messages, nullptr, &mail, 1, nullptr, nullptr, 1, &bar);
    CDrawerInbox* drawer = inbox.Drawer();
    ASSERT_NE(drawer, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return drawer->List()->topLevelItemCount() == 1; }));
    QToolButton* stop = nullptr;
    for (QToolButton* b : drawer->findChildren<QToolButton*>())
        if (b->text() == "Stop")
            stop = b;
    ASSERT_NE(stop, nullptr);

    drawer->Select(0);
    drawer->OnPlay();
    EXPECT_EQ(drawer->Status()->text(), "Playing");
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(pumpUntil([&] { return drawer->Status()->text().isEmpty(); }))
        << "still " << drawer->Status()->text().toStdString() << " after the end";
    EXPECT_FALSE(stop->isEnabled());
    inbox.DestroyDrawer();
    CSlidingDrawer::SetSlideClock({});
    SetVirtualSpeed(0);
    ForceAudioBackend(std::nullopt);
}

TEST_F(Inbox, SettingsPageEditsItsOwnWordsOnly) {
    MESSAGEPROPERTIES record{};
    std::memset(&record, 0x5a, sizeof record);
    record.dwReserved0[0] = 0;
    record.dwReserved0[1] = 0;
    CPropertiesAudioMessaging page;
    page.InitProperties(&record);
    EXPECT_FALSE(page.RemoveFromServer()->isChecked());
    EXPECT_TRUE(page.Indicator()->isChecked());
    page.RemoveFromServer()->setChecked(true);
    page.Indicator()->setChecked(false);
    MESSAGEPROPERTIES out = record;
    ASSERT_EQ(page.UpdateProperties(&out), 1);
    EXPECT_EQ(out.dwReserved0[0], 1u);
    EXPECT_EQ(out.dwReserved0[1], 1u);
    EXPECT_FALSE(InboxIndicatorWanted(out));
    // Every other byte stays as it was.
    out.dwReserved0[0] = record.dwReserved0[0];
    out.dwReserved0[1] = record.dwReserved0[1];
    EXPECT_EQ(std::memcmp(&out, &record, sizeof record), 0);
}
