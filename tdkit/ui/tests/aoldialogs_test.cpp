// The America Online dialogs and the drawers' sending path: the address dialog refuses
// OK without an addressee and hands back what was typed; sending later queues and tells
// the bar; sending now starts the sender with the password on its input only; the
// password is kept only when "Remember Password" is ticked.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/message.h"
#include "platform/registry.h"
#include "tdkit/mail/aol.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/aoldialogs.h"

namespace {

int argc = 1;
char arg0[] = "aoldialogs_test";
char* argv[] = {arg0, nullptr};

class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        OnMessage(WM_BAR_AOLMAILQUEUED, [this](WPARAM, LPARAM) {
            ++queued;
            return LRESULT(0);
        });
    }
    int queued = 0;
};

class AOLDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        bar_ = std::make_unique<Bar>();
        qputenv("TONEDECK_REGISTRY_DIR", reg_.path().toLocal8Bit());
        auto key = RegKey::Create(RegRoot::CurrentUser, kProductKey);
        key->SetString("RootPath", root_.path());
        key->SetString("CurrentUser", "Ann");
        queue_ = root_.path() + "/Users/Ann/VOICEGRAM/AOLSend";
        QDir().mkpath(queue_);
        sender_ = root_.filePath("sender.sh");
        QFile s(sender_);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\"\ncat > \"$0.input\"\n"
            "mv \"$0.args.tmp\" \"$0.args\"\n");
        s.close();
        s.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        RegKey::Create(RegRoot::CurrentUser, kAOLKey)->SetString("SenderCommand", sender_);
        wav_ = root_.filePath("copy.wav");
        QFile w(wav_);
        ASSERT_TRUE(w.open(QIODevice::WriteOnly));
        w.write(QByteArray("RIFF\x1c\x00\x00\x00WAVEdata\x10\x00\x00\x00", 20) +
                QByteArray(16, 'x'));
        std::memset(&mail_, 0, sizeof mail_);
        mail_.bAOL = 1;
        std::strcpy(mail_.szAOLScreenName, "annie");
        std::strcpy(mail_.szAOLPassword, "stored pw");
        mail_.bRememberPassword = 1;
        SetMailNoticeHandler([this](const QString& text, const QString&) { notices_ << text; });
    }
    void TearDown() override {
        SetMailNoticeHandler({});
        qunsetenv("TONEDECK_REGISTRY_DIR");
    }
    QStringList Queue() const { return QDir(queue_).entryList(QDir::Files); }
    QByteArray Recorded(const char* suffix) {
        for (int i = 0; i < 500 && !QFile::exists(sender_ + ".args"); ++i)
            QThread::msleep(10);
        QFile f(sender_ + suffix);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    int Send(const AOLAddressing& answer, bool confirm = true) {
        return SendVoicegramByAOL(nullptr, bar_.get(), &mail_, "VOICEGRAM hi", "note", wav_,
                                  [&](AOLAddressing* a) {
                                      seen_ = *a;
                                      *a = answer;
                                      return confirm;
                                  });
    }

    QTemporaryDir reg_, root_;
    QString queue_, sender_, wav_;
    MAILPROPERTIES mail_;
    QStringList notices_;
    std::unique_ptr<Bar> bar_;
    AOLAddressing seen_;
};

TEST_F(AOLDialogs, AddressDialogNeedsAnAddresseeAndGivesBackWhatWasTyped) {
    CDlgAOLAddress dlg(nullptr, "annie", "pw", 1);
    EXPECT_EQ(dlg.Password()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.ScreenName()->text(), "annie");
    EXPECT_TRUE(dlg.Remember()->isChecked());
    EXPECT_EQ(dlg.SendNow(), 1);
    dlg.To()->setText("   ");
    dlg.accept();
    EXPECT_EQ(dlg.m_strRefusal, "At least one addressee is required");
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    // A Cc alone is enough.
    dlg.Cc()->setText(" kim ");
    dlg.Later()->setChecked(true);
    dlg.Remember()->setChecked(false);
    dlg.Password()->setText("new pw");
    dlg.accept();
    EXPECT_TRUE(dlg.m_strRefusal.isEmpty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    QString to, cc, name, password;
    int remember = -1;
    dlg.GetAddressees(to, cc, name, password, &remember);
    EXPECT_EQ(to, "");
    EXPECT_EQ(cc, "kim");
    EXPECT_EQ(name, "annie");
    EXPECT_EQ(password, "new pw");
    EXPECT_EQ(remember, 0);
    EXPECT_EQ(dlg.SendNow(), 0);
    // The sign-on fields hold what their record fields hold, no more.
    CDlgAOLAddress wide(nullptr, "", "", 0);
    wide.To()->setText("bob");
    wide.ScreenName()->setText(QString(20, QChar(0x00e9)));  // 40 bytes
    wide.accept();
    EXPECT_EQ(wide.result(), QDialog::Rejected);
    EXPECT_FALSE(wide.m_strRefusal.isEmpty());
    EXPECT_EQ(wide.Password()->maxLength(), 29);
}

TEST_F(AOLDialogs, SendLaterQueuesTellsTheBarAndForgetsAPasswordNotRemembered) {
    AOLAddressing a;
    a.to = "bob, kim";
    a.screenName = "annie2";
    a.password = "typed pw";
    a.remember = 0;
    a.sendNow = false;
    ASSERT_EQ(Send(a), 1);
    // The dialog started from the stored sign-on.
    EXPECT_EQ(seen_.screenName, "annie");
    EXPECT_EQ(seen_.password, "stored pw");
    EXPECT_EQ(seen_.remember, 1);
    EXPECT_EQ(Queue().size(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar_->queued, 1);
    EXPECT_STREQ(mail_.szAOLScreenName, "annie2");
    EXPECT_EQ(mail_.bRememberPassword, 0);
    EXPECT_EQ(std::string(mail_.szAOLPassword, sizeof mail_.szAOLPassword),
              std::string(sizeof mail_.szAOLPassword, '\0'));
    EXPECT_FALSE(QFile::exists(sender_ + ".args"));  // not started
    EXPECT_TRUE(notices_.isEmpty());

    // Cancelled: nothing queued, nothing changed.
    ASSERT_EQ(Send(a, false), 0);
    EXPECT_EQ(Queue().size(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar_->queued, 1);
}

TEST_F(AOLDialogs, SendNowStartsTheSenderWithThePasswordOnItsInputOnly) {
    AOLAddressing a;
    a.cc = "lee";
    a.screenName = "annie";
    a.password = "pa ss";
    a.remember = 1;
    a.sendNow = true;
    ASSERT_EQ(Send(a), 1);
    const QByteArray args = Recorded(".args");
    EXPECT_TRUE(args.startsWith("annie\n")) << args.constData();
    EXPECT_FALSE(args.contains("pa ss"));
    EXPECT_EQ(Recorded(".input"), "pa ss\n");
    EXPECT_STREQ(mail_.szAOLPassword, "pa ss");  // remembered
    QCoreApplication::processEvents();
    EXPECT_EQ(bar_->queued, 0);

    // A sender that cannot start fails the send and says so; the voicegram stays queued.
    RegKey::Create(RegRoot::CurrentUser, kAOLKey)
        ->SetString("SenderCommand", root_.filePath("no-such-sender"));
    notices_.clear();
    EXPECT_EQ(Send(a), 0);
    EXPECT_EQ(notices_, QStringList{"Could not send Voicegram."});
    EXPECT_EQ(Queue().size(), 2);
}

}  // namespace
