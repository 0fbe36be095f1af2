// The Voicegram Box's engine over the Maildir store: fetching into the voicegram folder
// with the mail record, marking heard, forwarding with its mark, and replies.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tdinbox/voicegrambox.h"
#include "tdkit/mail/decode.h"
#include "tdkit/settings/paths.h"

namespace {

QByteArray Wave(int dataBytes) {
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
    return bytes;
}

class VoicegramBox : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TONEDECK_REGISTRY_DIR", (home_.path() + "/reg").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home_.path() + "/users/me").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", run_.path().toLocal8Bit());
        qputenv("TONEDECK_MAILDIR_USERS", (home_.path() + "/users").toLocal8Bit());
        RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Mail")
            ->SetString("Store", "maildir");
        RegKey::Create(RegRoot::LocalMachine, QString::fromLatin1(kMapiComponentKey))
            ->SetString("Installed", "1");
        folder_ = home_.path() + "/VOICEGRAM";
        ASSERT_TRUE(mapi_.StartQuietly(nullptr));
    }
    void TearDown() override {
        mapi_.End();
        for (const char* v : {"TONEDECK_REGISTRY_DIR", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                              "TONEDECK_MAILDIR_USERS"})
            qunsetenv(v);
    }
    QString Maildir(const QString& user) const {
        return home_.path() + "/users/" + user + "/tonedeck/Maildir";
    }
    void Drop(int n, const QByteArray& raw) {
        QDir().mkpath(Maildir("me") + "/new");
        QFile f(Maildir("me") + QStringLiteral("/new/%1.test").arg(n, 10, 10, QChar(u'0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
    }
    static QByteArray Mail(const QByteArray& subject, const QByteArray& name,
                           const QByteArray& bytes) {
        return "From: \"Ann Smith\" <ann@localhost>\r\nTo: me@localhost, kim@localhost\r\n"
               "Subject: " +
               subject +
               "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
               "--b\r\nContent-Type: text/plain\r\n\r\nListen.\r\n--b\r\n"
               "Content-Type: audio/wav; name=\"" +
               name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + bytes.toBase64() +
               "\r\n--b--\r\n";
    }

    QTemporaryDir home_, run_;
    QString folder_;
    CSimpleMapi mapi_;
};

TEST_F(VoicegramBox, FetchesIntoTheFolderWithTheMailRecord) {
    Drop(1, Mail("VOICEGRAM Lunch?", "../../VGRAM.WAV", Wave(16000)));
    Drop(2, Mail("Not one", "other.wav", Wave(100)));
    Drop(3, Mail("VOICEGRAM broken", "x.wav", "RIFF but nothing else"));
    ASSERT_EQ(FetchNewVoicegrams(mapi_, folder_, false), 1);
    const auto list = ReadVoicegramDirectory(folder_);
    ASSERT_EQ(list.size(), 1u);
    const VoicegramEntry& e = list[0];
    EXPECT_EQ(QFileInfo(e.path).absolutePath(), QFileInfo(folder_).absoluteFilePath());
    EXPECT_EQ(QFileInfo(e.path).fileName(), "VGRAM.WAV");
    EXPECT_EQ(e.subject, "VOICEGRAM Lunch?");
    EXPECT_EQ(e.description, "VOICEGRAM Lunch?");
    EXPECT_EQ(e.fromName, "Ann Smith");
    EXPECT_EQ(e.fromAddress, "ann@localhost");
    EXPECT_EQ(e.noteText.trimmed(), "Listen.");
    EXPECT_EQ(e.seconds, 2u);
    EXPECT_FALSE(e.heard);
    EXPECT_TRUE(e.received.isValid());
    ASSERT_EQ(e.recipients.size(), 2u);
    EXPECT_EQ(e.recipients[1].address, "kim@localhost");
    // Only the good voicegram and no stray files in the folder.
    EXPECT_EQ(QDir(folder_).entryList(QDir::Files).size(), 1);
    // Fetched ones are read now: a second fetch finds nothing new.
    EXPECT_EQ(FetchNewVoicegrams(mapi_, folder_, false), 0);

    ASSERT_TRUE(MarkVoicegramHeard(e.path));
    EXPECT_TRUE(ReadVoicegramDirectory(folder_)[0].heard);
}

TEST_F(VoicegramBox, DeleteFromServerAfterFetching) {
    // A UU text voicegram with a real WAV inside.
    QTemporaryDir tmp;
    const QString wav = tmp.filePath("talk.wav");
    QFile w(wav);
    ASSERT_TRUE(w.open(QIODevice::WriteOnly));
    w.write(Wave(800));
    w.close();
    const auto text = CDecode::EncodeUUText(wav, "talk.wav");
    ASSERT_TRUE(text);
    Drop(1,
         "From: kim@localhost\r\nSubject: VOICEGRAM uu\r\n\r\n" + QByteArray::fromStdString(*text));
    // A voicegram the box cannot keep (no real WAV inside) stays on the server.
    Drop(2, Mail("VOICEGRAM broken", "x.wav", "RIFF but nothing else"));
    ASSERT_EQ(FetchNewVoicegrams(mapi_, folder_, true), 1);
    EXPECT_TRUE(QDir(Maildir("me") + "/new").entryList(QDir::Files).isEmpty());
    EXPECT_EQ(QDir(Maildir("me") + "/cur").entryList(QDir::Files).size(), 1);
    const auto list = ReadVoicegramDirectory(folder_);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(QFileInfo(list[0].path).fileName(), "talk.wav");
    EXPECT_EQ(list[0].fromAddress, "kim@localhost");
}

TEST_F(VoicegramBox, ForwardingMarksWhatItForwarded) {
    Drop(1, Mail("VOICEGRAM Lunch?", "VGRAM.WAV", Wave(800)));
    ASSERT_EQ(FetchNewVoicegrams(mapi_, folder_, false), 1);
    VoicegramEntry e = ReadVoicegramDirectory(folder_)[0];
    QDir().mkpath(home_.path() + "/users/lee");
    // lee has a Maildir of its own; nosuchuser has none.
    CSimpleMapi lee;
    {
        const QByteArray own = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (home_.path() + "/users/lee").toLocal8Bit());
        ASSERT_TRUE(lee.StartQuietly(nullptr));
        qputenv("XDG_DATA_HOME", own);
    }
    VoicegramSendResult failed = ForwardVoicegram(mapi_, e, {{MAPI_TO, "", "nosuchuser"}});
    EXPECT_FALSE(failed.sent);
    EXPECT_TRUE(ReadVoicegramDirectory(folder_)[0].forwarded.isEmpty());

    VoicegramSendResult sent = ForwardVoicegram(mapi_, e, {{MAPI_TO, "Lee", "lee"}});
    ASSERT_TRUE(sent.sent) << sent.error.toStdString();
    const VoicegramEntry marked = ReadVoicegramDirectory(folder_)[0];
    EXPECT_TRUE(marked.forwarded.startsWith("Forwarded to lee on "))
        << marked.forwarded.toStdString();
    EXPECT_EQ(marked.subject, e.subject);
    EXPECT_FALSE(marked.heard);
    const auto got = lee.ListVoicegrams();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].subject, "VOICEGRAM Fwd: Lunch?");
}

TEST_F(VoicegramBox, RepliesGoBackToTheSender) {
    VoicegramEntry e;
    e.fromName = "Ann Smith";
    e.fromAddress = "ann@localhost";
    e.subject = "VOICEGRAM Lunch?";
    e.recipients = {{MAPI_TO, "Me", "me@localhost"},
                    {MAPI_CC, "Kim", "kim@localhost"},
                    {MAPI_CC, "Ann", "ANN@localhost"}};
    const ReplyAddress r = MakeReply(e, "me@localhost");
    EXPECT_EQ(r.toName, "Ann Smith");
    EXPECT_EQ(r.toAddress, "ann@localhost");
    EXPECT_EQ(r.ccNames, QStringList{"Kim"});
    EXPECT_EQ(r.ccAddresses, QStringList{"kim@localhost"});
    EXPECT_EQ(r.subject, "Re: Lunch?");
    e.subject = "VOICEGRAM Re: Lunch?";
    EXPECT_EQ(MakeReply(e, "me@localhost").subject, "Re: Lunch?");
}

}  // namespace
