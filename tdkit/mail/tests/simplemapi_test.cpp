// The mail wrapper over our provider's Maildir store: which messages are voicegrams,
// where their sound comes from, what happens to them after reading, the address dialog,
// and the message identifiers.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/registry.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/mail/voicegram.h"
#include "tdkit/settings/paths.h"

namespace {

QByteArray Wave(int extra) {
    QByteArray w("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
    w += QByteArray(20, '\1');
    w += QByteArray(extra, '\7');
    return w;
}

// The last dialog call, and how the test's dialog answers.
struct DialogCall {
    int calls = 0;
    std::string to, cc;
    bool confirm = true;
} g_dialog;

int TestDialog(const char*, const char* toIn, const char* ccIn, char* toOut, char* ccOut,
               ULONG size) {
    ++g_dialog.calls;
    g_dialog.to = toIn;
    g_dialog.cc = ccIn;
    std::snprintf(toOut, size, "%s", toIn);
    std::snprintf(ccOut, size, "%s", ccIn);
    return g_dialog.confirm ? 1 : 0;
}

class SimpleMapiTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TONEDECK_REGISTRY_DIR", reg_.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", run_.path().toLocal8Bit());
        qunsetenv("TONEDECK_MAILDIR_USERS");
        RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Mail")
            ->SetString("Store", "maildir");
        g_dialog = DialogCall();
    }
    void TearDown() override {
        SetDialog(nullptr);
        for (const char* v : {"TONEDECK_REGISTRY_DIR", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            qunsetenv(v);
    }
    static void Install() {
        RegKey::Create(RegRoot::LocalMachine, QString::fromLatin1(kMapiComponentKey))
            ->SetString("Installed", "1");
    }
    static void SetDialog(TDMAPIADDRESSDIALOG dialog) {
        void* lib = ::dlopen(TD_MAPI_PROVIDER, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr);
        auto set = reinterpret_cast<TDMAPISETADDRESSDIALOG>(::dlsym(lib, "TdMapiSetAddressDialog"));
        ASSERT_NE(set, nullptr);
        set(dialog);
        ::dlclose(lib);
    }
    QString Maildir() const { return data_.path() + "/tonedeck/Maildir"; }
    // A message dropped into new/ under a name that orders by n.
    void Drop(int n, const QByteArray& raw) {
        QDir().mkpath(Maildir() + "/new");
        QFile f(Maildir() + QStringLiteral("/new/%1.test").arg(n, 10, 10, QChar(u'0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
    }
    static QByteArray WithAttachment(const QByteArray& subject, const QByteArray& name,
                                     const QByteArray& bytes) {
        return "From: \"Ann\" <ann@localhost>\r\nTo: bob@localhost\r\nSubject: " + subject +
               "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
               "--b\r\nContent-Type: text/plain\r\n\r\nhello\r\n--b\r\n"
               "Content-Type: application/octet-stream; name=\"" +
               name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + bytes.toBase64() +
               "\r\n--b--\r\n";
    }
    QStringList Folder(const char* sub) const {
        return QDir(Maildir() + u'/' + QLatin1String(sub)).entryList(QDir::Files);
    }

    QTemporaryDir reg_, data_, run_;
};

TEST_F(SimpleMapiTest, StaysDisabledWhenTheMachineSaysItHasNoMail) {
    RegKey::Create(RegRoot::LocalMachine, QString::fromLatin1(kMapiComponentKey))
        ->SetString("Installed", "0");
    CSimpleMapi mapi;
    QString error;
    EXPECT_FALSE(mapi.StartQuietly(&error));
    EXPECT_EQ(mapi.IsMAPIEnabled(), 0);
    EXPECT_FALSE(error.isEmpty());
    QByteArray seed;
    ReceivedVoicegram v;
    EXPECT_EQ(mapi.GetVoicegram(seed, v, 0), 0);
    EXPECT_EQ(mapi.DeleteMail("1"), 0);
    EXPECT_FALSE(QDir(Maildir()).exists());  // it never logged on
}

TEST_F(SimpleMapiTest, FindsVoicegramsOnlyAndTakesTheirSound) {
    Install();
    Drop(1, WithAttachment("voicegram lower case", "a.wav", Wave(4)));
    Drop(2, WithAttachment("VOICEGRAM named otherwise", "voice.snd", Wave(8)));
    Drop(3,
         "From: kim@localhost\r\nSubject: Lunch\r\n\r\nbegin 600 x.wav\r\n#0V%T\r\n`\r\nend\r\n");
    Drop(4,
         "From: kim@localhost\r\nTo: bob@localhost, \"Lee\" <lee@localhost>\r\n"
         "Subject: VOICEGRAM in the text\r\n\r\nHere:\r\nbegin 600 "
         "../x.wav\r\n#0V%T\r\n`\r\nend\r\n");
    Drop(5, WithAttachment("VOICEGRAM no sound", "notes.txt", "just text"));
    CSimpleMapi mapi;
    ASSERT_TRUE(mapi.StartQuietly(nullptr));

    QByteArray seed;
    ReceivedVoicegram v;
    ASSERT_EQ(mapi.GetVoicegram(seed, v, 0), 1);
    EXPECT_EQ(v.subject, "VOICEGRAM named otherwise");
    EXPECT_EQ(v.fromName, "Ann");
    EXPECT_EQ(v.fromAddress, "ann@localhost");
    // A WAV under another extension is known by its header and gets ".WAV".
    EXPECT_TRUE(v.sound.endsWith(".snd.WAV")) << v.sound.toStdString();
    QFile sound(v.sound);
    ASSERT_TRUE(sound.open(QIODevice::ReadOnly));
    EXPECT_EQ(sound.readAll(), Wave(8));

    ASSERT_EQ(mapi.GetVoicegram(seed, v, 0), 1);
    EXPECT_EQ(v.subject, "VOICEGRAM in the text");
    ASSERT_EQ(v.recipients.size(), 2u);
    EXPECT_EQ(v.recipients[1].name, "Lee");
    QFile decoded(v.sound);
    ASSERT_TRUE(decoded.open(QIODevice::ReadOnly));
    EXPECT_EQ(decoded.readAll(), QByteArray("Cat"));
    EXPECT_EQ(QFileInfo(v.sound).fileName(), "x.wav");

    EXPECT_EQ(mapi.GetVoicegram(seed, v, 0), 0);
    // The two voicegrams were marked read; the others were left as they were.
    EXPECT_EQ(Folder("cur").size(), 2);
    EXPECT_EQ(Folder("new").size(), 3);
    EXPECT_TRUE(mapi.ListVoicegrams().size() == 3u);  // read ones too, "VOICEGRAM no sound" too
}

TEST_F(SimpleMapiTest, DeleteAfterRemovesOnlyASoundAlone) {
    Install();
    Drop(1,
         "From: kim@localhost\r\nSubject: VOICEGRAM uu\r\n\r\nbegin 600 "
         "x.wav\r\n#0V%T\r\n`\r\nend\r\n");
    Drop(2, WithAttachment("VOICEGRAM attached", "v.wav", Wave(2)));
    CSimpleMapi mapi;
    ASSERT_TRUE(mapi.StartQuietly(nullptr));
    QByteArray seed;
    ReceivedVoicegram v;
    ASSERT_EQ(mapi.GetVoicegram(seed, v, 1), 1);
    ASSERT_EQ(mapi.GetVoicegram(seed, v, 1), 1);
    // Both carried nothing but the sound, so both are gone.
    EXPECT_TRUE(Folder("new").isEmpty());
    EXPECT_TRUE(Folder("cur").isEmpty());
}

TEST_F(SimpleMapiTest, SendsThroughTheAddressDialog) {
    Install();
    CSimpleMapi mapi;
    ASSERT_TRUE(mapi.StartQuietly(nullptr));
    SetDialog(TestDialog);  // once the wrapper holds the provider loaded
    const QString wav = run_.filePath("rec.wav");
    {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Wave(100));
    }
    // A reply's recipient with no address list still pre-fills the dialog.
    const char cc[] = "kim\0lee\0";
    g_dialog.confirm = false;
    EXPECT_EQ(mapi.SendVoicegram(wav.toLocal8Bit().constData(), "VGRAM.WAV", "VOICEGRAM re", "note",
                                 0, "root", nullptr, cc, nullptr, 1),
              0);
    EXPECT_EQ(g_dialog.calls, 1);
    EXPECT_EQ(g_dialog.to, "root");
    EXPECT_EQ(g_dialog.cc, "kim; lee");
    EXPECT_TRUE(Folder("new").isEmpty());  // cancelled: nothing sent

    // Confirmed with nobody in it: nothing to send.
    g_dialog.confirm = true;
    EXPECT_EQ(mapi.SendVoicegram(wav.toLocal8Bit().constData(), "VGRAM.WAV", "VOICEGRAM re", "note",
                                 0, nullptr, nullptr, nullptr, nullptr, 1),
              0);  // nobody to address
    // A recipient that cannot be reached fails the send, names it, and keeps the recording.
    VoicegramSend request;
    request.wavPath = wav;
    request.subject = "to myself";
    request.compress = true;
    request.recipients = {{MAPI_TO, "me", "nosuchuser"}};
    VoicegramSendResult result = SendVoicegramFile(mapi, request);
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(result.error.contains("nosuchuser")) << result.error.toStdString();
    EXPECT_TRUE(QFile::exists(wav));  // the recording is kept
}

TEST_F(SimpleMapiTest, IncrementMessageID) {
    const auto next = [](const char* id) {
        char buffer[16];
        std::strcpy(buffer, id);
        CSimpleMapi::IncrementMessageID(buffer);
        return std::string(buffer);
    };
    EXPECT_EQ(next("123"), "124");
    EXPECT_EQ(next("129"), "13");
    EXPECT_EQ(next("199"), "2");
    EXPECT_EQ(next(""), "");
    // All nines: the result still sorts after every identifier it continues.
    EXPECT_EQ(next("9"), ":");
    EXPECT_EQ(next("99"), ":");
    EXPECT_GT(next("0999"), std::string("0999999"));
}

TEST_F(SimpleMapiTest, VoicegramSubjectIsExact) {
    EXPECT_TRUE(CSimpleMapi::IsVoicegramSubject("VOICEGRAM hello"));
    EXPECT_TRUE(CSimpleMapi::IsVoicegramSubject("VOICEGRAM"));
    EXPECT_FALSE(CSimpleMapi::IsVoicegramSubject("Voicegram hello"));
    EXPECT_FALSE(CSimpleMapi::IsVoicegramSubject("VOICEGRA"));
    EXPECT_FALSE(CSimpleMapi::IsVoicegramSubject(nullptr));
    EXPECT_EQ(VoicegramSubject("hi"), "VOICEGRAM hi");
}

}  // namespace

namespace {

TEST_F(SimpleMapiTest, RecentRecipientsResolveByName) {
    Install();
    CSimpleMapi mapi;
    ASSERT_TRUE(mapi.StartQuietly(nullptr));
    const QString wav = run_.filePath("rec.wav");
    {
        QFile f(wav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Wave(10));
    }
    const QString me = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    // Reached recipients go to the address book; the one not reached does not.
    QString failed;
    EXPECT_EQ(mapi.SendVoicegramTo(wav, "VGRAM.WAV", "VOICEGRAM a", "n", 0,
                                   {{MAPI_TO, "Myself Here", me}, {MAPI_CC, "Ghost", "ghost9"}}, 1,
                                   &failed, false),
              0);
    EXPECT_TRUE(failed.contains("ghost9")) << failed.toStdString();
    char address[kMailTextSize] = "myself";
    ASSERT_EQ(mapi.SetForwardingAddress(address), 1);
    EXPECT_EQ(QString::fromUtf8(address), me);
    std::strcpy(address, "No Such Person");
    EXPECT_EQ(mapi.SetForwardingAddress(address), 0);
    // Two entries that both contain the name: ambiguous, nothing chosen.
    ASSERT_EQ(
        mapi.SendVoicegramTo(wav, "VGRAM.WAV", "VOICEGRAM b", "n", 0,
                             {{MAPI_TO, "Myself Again", me + "@localhost"}}, 1, nullptr, false),
        1);
    std::strcpy(address, "Myself");
    EXPECT_EQ(mapi.SetForwardingAddress(address), 0);
    // A buffer too small for the resolved address is refused, not overrun.
    char small[13] = "Myself Again";
    EXPECT_EQ(mapi.SetForwardingAddress(small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    std::strcpy(address, "Myself Again");
    ASSERT_EQ(mapi.SetForwardingAddress(address), 1);
    EXPECT_EQ(QString::fromUtf8(address), me + "@localhost");
}

}  // namespace
