// The America Online path: queueing with the "AOL " chunk, and starting the sender with
// an argument list and the password on its standard input only.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/registry.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/aol.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"

namespace {

class AOLTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TONEDECK_REGISTRY_DIR", reg_.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", root_.path().toLocal8Bit());
        auto key = RegKey::Create(RegRoot::CurrentUser, kProductKey);
        key->SetString("RootPath", root_.path());
        key->SetString("CurrentUser", "Ann");
        queue_ = root_.path() + "/Users/Ann/VOICEGRAM/AOLSend";
        QDir().mkpath(queue_);
        // The sender records its arguments and what it reads.
        sender_ = root_.filePath("sender.sh");
        QFile s(sender_);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\"\ncat > \"$0.input\"\n"
            "mv \"$0.args.tmp\" \"$0.args\"\n");
        s.close();
        s.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        wav_ = root_.filePath("rec.wav");
        QFile w(wav_);
        ASSERT_TRUE(w.open(QIODevice::WriteOnly));
        w.write(QByteArray("RIFF\x1c\x00\x00\x00WAVEdata\x10\x00\x00\x00", 20) +
                QByteArray(16, 'x'));
        std::memset(&mail_, 0, sizeof mail_);
        std::strcpy(mail_.szAOLScreenName, "annie");
        std::strcpy(mail_.szAOLPassword, "old secret");
        notices_.clear();
        SetMailNoticeHandler([this](const QString& text, const QString&) { notices_ << text; });
    }
    void TearDown() override {
        SetMailNoticeHandler({});
        qunsetenv("TONEDECK_REGISTRY_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void UseSender(const QString& path) {
        RegKey::Create(RegRoot::CurrentUser, kAOLKey)->SetString("SenderCommand", path);
    }
    QStringList Queue() const { return QDir(queue_).entryList(QDir::Files); }
    // What the sender recorded, once it has run (bounded wait).
    QByteArray Recorded(const char* suffix) {
        QFile f(sender_ + suffix);
        for (int i = 0; i < 500 && !QFile::exists(sender_ + ".args"); ++i)
            QThread::msleep(10);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

    QTemporaryDir reg_, root_;
    QString queue_, sender_, wav_;
    MAILPROPERTIES mail_;
    QStringList notices_;
};

TEST_F(AOLTest, QueuesWithAddressing) {
    CAOL aol(&mail_);
    QString queued;
    ASSERT_EQ(aol.SendVoicegram("bob, kim", "lee", "VOICEGRAM hi", "note", wav_, 0, &queued), 1);
    EXPECT_EQ(Queue().size(), 1);
    EXPECT_TRUE(queued.startsWith(queue_ + "/VG"));
    EXPECT_TRUE(queued.endsWith(".WAV"));
    QString to, cc, subject, note;
    ASSERT_EQ(GetAOLSendMailInfoFromRIFFFile(queued, to, cc, subject, note), 1);
    EXPECT_EQ(to, "bob, kim");
    EXPECT_EQ(cc, "lee");
    EXPECT_EQ(subject, "VOICEGRAM hi");
    EXPECT_EQ(note, "note");
    EXPECT_TRUE(notices_.isEmpty());
    EXPECT_FALSE(QFile::exists(sender_ + ".args"));  // "Send Later" starts nothing
}

TEST_F(AOLTest, QueueFailuresLeaveNothing) {
    CAOL aol(&mail_);
    EXPECT_EQ(aol.SendVoicegram("bob", "", "s", "n", root_.filePath("none.wav"), 0), 0);
    EXPECT_EQ(notices_.value(0), "Could not create a temporary file");
    const QString text = root_.filePath("text.wav");
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("not a sound");
    t.close();
    EXPECT_EQ(aol.SendVoicegram("bob", "", "s", "n", text, 0), 0);
    EXPECT_EQ(notices_.value(1), "Mail could not be formatted.");
    EXPECT_TRUE(Queue().isEmpty());
}

TEST_F(AOLTest, StartsTheSenderWithThePasswordOnItsInputOnly) {
    UseSender(sender_);
    EXPECT_EQ(IsAOLInstalled(), 1);
    CAOL aol(&mail_, 4242);
    ASSERT_EQ(aol.SendVoicegram("bob", "", "VOICEGRAM x", "n", wav_, 1), 1);
    const QByteArray args = Recorded(".args");
    EXPECT_EQ(args, "annie\n" + (root_.path() + "/Users/Ann/VOICEGRAM").toLocal8Bit() + "\n4242\n");
    EXPECT_FALSE(args.contains("secret"));
    EXPECT_EQ(Recorded(".input"), "old secret\n");
}

TEST_F(AOLTest, SignOnAndRememberPassword) {
    UseSender(sender_);
    CAOL aol(&mail_);
    EXPECT_EQ(aol.SendAndReceiveNow(1), 0);  // no dialog to ask with
    aol.SetSignOnDialog([](QString& name, QString& password, int& remember) {
        name = "newname";
        password = "new secret";
        remember = 0;
        return true;
    });
    mail_.bRememberPassword = 1;
    ASSERT_EQ(aol.SendAndReceiveNow(1), 1);
    EXPECT_EQ(Recorded(".input"), "new secret\n");
    // Not remembered: the stored sign-on stays as it was.
    EXPECT_STREQ(mail_.szAOLPassword, "old secret");
    EXPECT_STREQ(mail_.szAOLScreenName, "annie");
    EXPECT_EQ(mail_.bRememberPassword, 0);

    QFile::remove(sender_ + ".args");
    aol.SetSignOnDialog([](QString& name, QString& password, int& remember) {
        name = "newname";
        password = "new secret";
        remember = 1;
        return true;
    });
    ASSERT_EQ(aol.SendAndReceiveNow(1), 1);
    Recorded(".args");
    EXPECT_STREQ(mail_.szAOLPassword, "new secret");
    EXPECT_STREQ(mail_.szAOLScreenName, "newname");
    aol.SetSignOnDialog([](QString&, QString&, int&) { return false; });
    EXPECT_EQ(aol.SendAndReceiveNow(1), 0);
}

TEST_F(AOLTest, NoSenderNoStart) {
    CAOL aol(&mail_);
    EXPECT_EQ(aol.SendAndReceiveNow(0), 0);
    UseSender(root_.filePath("missing-sender"));
    EXPECT_EQ(aol.SendAndReceiveNow(0), 0);
    EXPECT_EQ(aol.SendVoicegram("bob", "", "s", "n", wav_, 1), 0);
    EXPECT_EQ(Queue().size(), 1);  // queued; the start failed and the caller says so
}

}  // namespace
