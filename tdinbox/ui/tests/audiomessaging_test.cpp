#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <cstring>

#include "tdinbox/ui/audiomessaging.h"
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
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        ASSERT_TRUE(GetAudioMessagingDirectory(voicegrams_));
    }
    void TearDown() override { qunsetenv("TONEDECK_REGISTRY_DIR"); }

    void AddVoicegram(const char* name, const char* subject, DWORD heard) {
        const QString path = voicegrams_ + "/" + name;
        WriteWav(path, 16000);
        VOICEGRAMINFOSTRUCT info{};
        info.text1 = const_cast<char*>(subject);
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
