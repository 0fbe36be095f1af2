// Our provider's entry points over the Maildir store, called as any Simple MAPI client
// calls them: saving messages (new, read or unread, replacing one only once the new one
// is stored), a recipient's details (renaming only our own entries), and sending
// documents through the address dialog.
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

#include "platform/mapi.h"
#include "platform/registry.h"

namespace {

struct Provider {
    void* lib = ::dlopen(TD_MAPI_PROVIDER, RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(::dlsym(lib, name));
    }
    ~Provider() {
        if (lib)
            ::dlclose(lib);
    }
};

struct DialogAnswers {
    int addressCalls = 0;
    std::string to;
    bool confirm = true;
    int detailsCalls = 0;
    std::string name, address, about;
    int modify = -1;
    std::string newName;
} g_answers;

int AddressDialog(const char*, const char*, const char*, char* toOut, char* ccOut, ULONG size) {
    ++g_answers.addressCalls;
    std::snprintf(toOut, size, "%s", g_answers.to.c_str());
    std::snprintf(ccOut, size, "%s", "");
    return g_answers.confirm ? 1 : 0;
}

int DetailsDialog(const char* name, const char* address, const char* about, int modify,
                  char* nameOut, ULONG size) {
    ++g_answers.detailsCalls;
    g_answers.name = name;
    g_answers.address = address;
    g_answers.about = about;
    g_answers.modify = modify;
    std::snprintf(nameOut, size, "%s",
                  g_answers.newName.empty() ? name : g_answers.newName.c_str());
    return g_answers.confirm ? 1 : 0;
}

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(p_.lib, nullptr);
        qputenv("TONEDECK_REGISTRY_DIR", reg_.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", run_.path().toLocal8Bit());
        qunsetenv("TONEDECK_MAILDIR_USERS");
        RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck\\Mail")
            ->SetString("Store", "maildir");
        g_answers = DialogAnswers();
        ASSERT_EQ(logon_(0, nullptr, nullptr, 0, 0, &session_), SUCCESS_SUCCESS);
        me_ = ::getpwuid(::geteuid())->pw_name;
    }
    void TearDown() override {
        logoff_(session_, 0, 0, 0);
        p_.Get<TDMAPISETADDRESSDIALOG>("TdMapiSetAddressDialog")(nullptr);
        p_.Get<TDMAPISETDETAILSDIALOG>("TdMapiSetDetailsDialog")(nullptr);
        for (const char* v : {"TONEDECK_REGISTRY_DIR", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            qunsetenv(v);
    }
    QString Maildir() const { return data_.path() + "/tonedeck/Maildir"; }
    QStringList Folder(const char* sub) const {
        return QDir(Maildir() + u'/' + QLatin1String(sub)).entryList(QDir::Files);
    }
    QString File(const char* name, const QByteArray& bytes) {
        const QString path = run_.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Reads a message: subject, unread flag, date, attachments' names and bytes.
    struct Read {
        ULONG rc = MAPI_E_FAILURE;
        std::string subject, date;
        bool unread = false;
        std::vector<std::pair<std::string, QByteArray>> files;
    };
    Read ReadMail(const char* id) {
        Read r;
        MapiMessage* m = nullptr;
        r.rc = read_(session_, 0, id, MAPI_PEEK, 0, &m);
        if (r.rc != SUCCESS_SUCCESS)
            return r;
        r.subject = m->lpszSubject;
        r.date = m->lpszDateReceived;
        r.unread = (m->flFlags & MAPI_UNREAD) != 0;
        for (ULONG i = 0; i < m->nFileCount; ++i) {
            QFile f(QString::fromUtf8(m->lpFiles[i].lpszPathName));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            r.files.emplace_back(m->lpFiles[i].lpszFileName, f.readAll());
            f.remove();
        }
        free_(m);
        return r;
    }

    Provider p_;
    QTemporaryDir reg_, data_, run_;
    MAPILOGON logon_ = p_.Get<MAPILOGON>("MAPILogon");
    MAPILOGOFF logoff_ = p_.Get<MAPILOGOFF>("MAPILogoff");
    MAPISAVEMAIL save_ = p_.Get<MAPISAVEMAIL>("MAPISaveMail");
    MAPIREADMAIL read_ = p_.Get<MAPIREADMAIL>("MAPIReadMail");
    MAPIFINDNEXT find_ = p_.Get<MAPIFINDNEXT>("MAPIFindNext");
    MAPIFREEBUFFER free_ = p_.Get<MAPIFREEBUFFER>("MAPIFreeBuffer");
    MAPIDETAILS details_ = p_.Get<MAPIDETAILS>("MAPIDetails");
    MAPISENDDOCUMENTS documents_ = p_.Get<MAPISENDDOCUMENTS>("MAPISendDocuments");
    LHANDLE session_ = 0;
    std::string me_;
};

TEST_F(ProviderTest, SaveMailStoresReadOrUnreadAndReplacesOnlyOnceStored) {
    const QString sound = File("s.wav", QByteArray("RIFF\0\0\0\0WAVEdata", 16));
    QByteArray path = QFile::encodeName(sound);
    MapiFileDesc file{};
    file.nPosition = ULONG(-1);
    file.lpszPathName = path.data();
    file.lpszFileName = const_cast<char*>("VGRAM.WAV");
    std::string to = me_;
    MapiRecipDesc recip{0, MAPI_TO, to.data(), to.data(), 0, nullptr};
    MapiMessage m{};
    m.lpszSubject = const_cast<char*>("Draft one");
    m.lpszNoteText = const_cast<char*>("text");
    m.lpszDateReceived = const_cast<char*>("2025/03/04 05:06");
    m.nRecipCount = 1;
    m.lpRecips = &recip;
    m.nFileCount = 1;
    m.lpFiles = &file;

    char first[kMapiMessageIdSize] = "";
    ASSERT_EQ(save_(session_, 0, &m, 0, 0, first), SUCCESS_SUCCESS);
    ASSERT_STRNE(first, "");
    EXPECT_EQ(Folder("cur").size(), 1);  // saved as read
    Read r = ReadMail(first);
    ASSERT_EQ(r.rc, SUCCESS_SUCCESS);
    EXPECT_EQ(r.subject, "Draft one");
    EXPECT_EQ(r.date, "2025/03/04 05:06");
    EXPECT_FALSE(r.unread);
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].first, "VGRAM.WAV");
    EXPECT_EQ(r.files[0].second, QByteArray("RIFF\0\0\0\0WAVEdata", 16));

    // Unread: in new/, and found by an unread-only search.
    m.flFlags = MAPI_UNREAD;
    m.lpszSubject = const_cast<char*>("Draft two");
    char second[kMapiMessageIdSize] = "";
    ASSERT_EQ(save_(session_, 0, &m, 0, 0, second), SUCCESS_SUCCESS);
    EXPECT_EQ(Folder("new").size(), 1);
    char found[kMapiMessageIdSize] = "";
    ASSERT_EQ(find_(session_, 0, nullptr, "", MAPI_UNREAD_ONLY, 0, found), SUCCESS_SUCCESS);
    EXPECT_STREQ(found, second);

    // Replacing: the new message takes the old one's place under a new id.
    m.lpszSubject = const_cast<char*>("Draft one, again");
    m.flFlags = 0;
    char id[kMapiMessageIdSize];
    std::strcpy(id, first);
    ASSERT_EQ(save_(session_, 0, &m, 0, 0, id), SUCCESS_SUCCESS);
    EXPECT_STRNE(id, first);
    EXPECT_EQ(ReadMail(first).rc, MAPI_E_INVALID_MESSAGE);
    EXPECT_EQ(ReadMail(id).subject, "Draft one, again");
    EXPECT_EQ(Folder("cur").size() + Folder("new").size(), 2);

    // Nothing is stored, and nothing replaced, when the old id is unknown, the message
    // cannot be built, or the id is not terminated within its buffer.
    char unknown[kMapiMessageIdSize] = "0000000001.nosuch";
    EXPECT_EQ(save_(session_, 0, &m, 0, 0, unknown), MAPI_E_INVALID_MESSAGE);
    const QByteArray gone = QFile::encodeName(run_.filePath("gone.wav"));
    file.lpszPathName = const_cast<char*>(gone.constData());
    char keep[kMapiMessageIdSize];
    std::strcpy(keep, id);
    EXPECT_EQ(save_(session_, 0, &m, 0, 0, keep), MAPI_E_ATTACHMENT_OPEN_FAILURE);
    EXPECT_STREQ(keep, id);
    EXPECT_EQ(ReadMail(id).rc, SUCCESS_SUCCESS);
    char unterminated[kMapiMessageIdSize];
    std::memset(unterminated, 'x', sizeof unterminated);
    EXPECT_EQ(save_(session_, 0, &m, 0, 0, unterminated), MAPI_E_INVALID_MESSAGE);
    std::string bad = "not an address";
    MapiRecipDesc badRecip{0, MAPI_TO, bad.data(), bad.data(), 0, nullptr};
    m.lpRecips = &badRecip;
    file.lpszPathName = path.data();
    char fresh[kMapiMessageIdSize] = "";
    EXPECT_EQ(save_(session_, 0, &m, 0, 0, fresh), MAPI_E_UNKNOWN_RECIPIENT);
    EXPECT_EQ(Folder("cur").size() + Folder("new").size(), 2);
    EXPECT_TRUE(QDir(Maildir() + "/tmp").entryList(QDir::Files).isEmpty());
    EXPECT_EQ(save_(session_ + 99, 0, &m, 0, 0, fresh), MAPI_E_INVALID_SESSION);
}

TEST_F(ProviderTest, DetailsShowTheRecipientAndRenameOnlyOurOwnEntries) {
    MapiRecipDesc recip{};
    std::string name = "Ann Smith";
    recip.lpszName = name.data();
    EXPECT_EQ(details_(session_, 0, &recip, 0, 0), MAPI_E_NOT_SUPPORTED);  // no dialog
    p_.Get<TDMAPISETDETAILSDIALOG>("TdMapiSetDetailsDialog")(DetailsDialog);

    const QString book = reg_.filePath("addressbook.txt");
    {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("Ann Smith\t%1@localhost\nBob\tbob@example.org\n")
                    .arg(QString::fromStdString(me_))
                    .toUtf8());
    }
    const auto bookText = [&] {
        QFile f(book);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // By name: resolved through the list, which may be changed.
    g_answers.newName = "Annie";
    ASSERT_EQ(details_(session_, 0, &recip, 0, 0), SUCCESS_SUCCESS);
    EXPECT_EQ(g_answers.address, me_ + "@localhost");
    EXPECT_EQ(g_answers.modify, 1);
    EXPECT_NE(g_answers.about.find("user of this computer"), std::string::npos);
    EXPECT_NE(g_answers.about.find("In your list"), std::string::npos);
    EXPECT_TRUE(bookText().startsWith("Annie\t" + QByteArray(me_.c_str()) + "@localhost\nBob\t"));

    // Not to be changed: the list stays as it was.
    name = "Annie";
    g_answers.newName = "Changed";
    ASSERT_EQ(details_(session_, 0, &recip, MAPI_AB_NOMODIFY, 0), SUCCESS_SUCCESS);
    EXPECT_EQ(g_answers.modify, 0);
    EXPECT_FALSE(bookText().contains("Changed"));

    // An address outside the list is shown but never added or changed.
    std::string stranger = "SMTP:stranger@example.org";
    MapiRecipDesc other{0, MAPI_TO, nullptr, stranger.data(), 0, nullptr};
    ASSERT_EQ(details_(session_, 0, &other, 0, 0), SUCCESS_SUCCESS);
    EXPECT_EQ(g_answers.modify, 0);
    EXPECT_EQ(g_answers.name, "stranger@example.org");
    EXPECT_NE(g_answers.about.find("cannot reach"), std::string::npos);
    EXPECT_NE(g_answers.about.find("Not in your list"), std::string::npos);
    EXPECT_FALSE(bookText().contains("stranger"));

    // Names that stand for several entries, or for none; no recipient; a cancel.
    const int calls = g_answers.detailsCalls;
    name = "e";
    EXPECT_EQ(details_(session_, 0, &recip, 0, 0), MAPI_E_AMBIGUOUS_RECIPIENT);
    name = "No Such Person";
    EXPECT_EQ(details_(session_, 0, &recip, 0, 0), MAPI_E_INVALID_RECIPS);
    EXPECT_EQ(details_(session_, 0, nullptr, 0, 0), MAPI_E_INVALID_RECIPS);
    EXPECT_EQ(g_answers.detailsCalls, calls);
    name = "Bob";
    g_answers.confirm = false;
    g_answers.newName = "Robert";
    EXPECT_EQ(details_(session_, 0, &recip, 0, 0), MAPI_USER_ABORT);
    EXPECT_FALSE(bookText().contains("Robert"));
}

TEST_F(ProviderTest, SendDocumentsMailsTheFilesToWhomTheAddressDialogNames) {
    const QString a = File("a.wav", "first file");
    const QString b = File("b.dat", QByteArray(3000, '\x7f'));
    const QByteArray paths = QFile::encodeName(a) + ',' + QFile::encodeName(b);
    EXPECT_EQ(documents_(0, ",", paths.constData(), "one.wav", 0), MAPI_E_NOT_SUPPORTED);
    p_.Get<TDMAPISETADDRESSDIALOG>("TdMapiSetAddressDialog")(AddressDialog);

    // A file that cannot be read fails before anyone is asked.
    const QByteArray missing = paths + ',' + QFile::encodeName(run_.filePath("none.wav"));
    EXPECT_EQ(documents_(0, ",", missing.constData(), nullptr, 0), MAPI_E_ATTACHMENT_OPEN_FAILURE);
    EXPECT_EQ(g_answers.addressCalls, 0);

    g_answers.confirm = false;
    EXPECT_EQ(documents_(0, ",", paths.constData(), "one.wav", 0), MAPI_USER_ABORT);
    EXPECT_TRUE(Folder("new").isEmpty());

    // The names given travel with the files; a missing one is the file's own name.
    g_answers.confirm = true;
    g_answers.to = me_;
    ASSERT_EQ(documents_(0, ",", paths.constData(), "one.wav", 0), SUCCESS_SUCCESS);
    ASSERT_EQ(Folder("new").size(), 1);
    char id[kMapiMessageIdSize] = "";
    ASSERT_EQ(find_(session_, 0, nullptr, "", 0, 0, id), SUCCESS_SUCCESS);
    const Read r = ReadMail(id);
    EXPECT_EQ(r.subject, "one.wav, b.dat");
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[0].first, "one.wav");
    EXPECT_EQ(r.files[0].second, "first file");
    EXPECT_EQ(r.files[1].first, "b.dat");
    EXPECT_EQ(r.files[1].second, QByteArray(3000, '\x7f'));
}

}  // namespace
