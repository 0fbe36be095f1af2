#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/registry.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"

namespace {

class Paths : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("TONEDECK_REGISTRY_DIR"); }
    RegKey Product() { return *RegKey::Create(RegRoot::CurrentUser, kProductKey); }
    QTemporaryDir dir_;
};

QString Call(int (*fn)(QString&), int expected = 1) {
    QString out = "untouched";
    EXPECT_EQ(fn(out), expected);
    return out;
}

TEST_F(Paths, EveryPathIsBuiltFromRootAndUser) {
    Product().SetString("RootPath", "/td");
    Product().SetString("HelpPath", "/td/Help");
    ASSERT_EQ(SetCurrentUser("Ann"), 1);
    EXPECT_EQ(Call(GetTonedeckRootDirectory), "/td");
    EXPECT_EQ(Call(GetCurrentUser), "Ann");
    EXPECT_EQ(Call(GetTonedeckUsersDirectory), "/td/Users");
    EXPECT_EQ(Call(GetSonoscoutSearchFilePath), "/td/TDSEARCH.PRP");
    EXPECT_EQ(Call(GetCurrentUserDirectory), "/td/Users/Ann");
    EXPECT_EQ(Call(GetTonedeckPropertiesFilePath), "/td/Users/Ann/TDPROP.PRP");
    EXPECT_EQ(Call(GetAudioMessagingDirectory), "/td/Users/Ann/VOICEGRAM");
    EXPECT_EQ(Call(GetAudioMessagingListFilePath), "/td/Users/Ann/VOICEGRAM/VGLIST.LST");
    EXPECT_EQ(Call(GetAOLSendMailDirectory), "/td/Users/Ann/VOICEGRAM/AOLSend");
    EXPECT_EQ(Call(GetEchoMemosDirectory), "/td/Users/Ann/ECHOMEMOS");
    EXPECT_EQ(Call(GetEchoMemosListFilePath), "/td/Users/Ann/ECHOMEMOS/EMLIST.LST");
    EXPECT_EQ(Call(GetTonedeckHelpFilePath), "/td/Help/Tonedeck.html");
    EXPECT_EQ(Call(GetWizardHelpFilePath), "/td/Help/wizard.html");
}

TEST_F(Paths, AMissingUserStillGivesTheUsersDirectoryWithASeparator) {
    Product().SetString("RootPath", "/td");
    EXPECT_EQ(Call(GetCurrentUser, 0), "untouched");
    EXPECT_EQ(Call(GetCurrentUserDirectory), "/td/Users/");
    EXPECT_EQ(Call(GetEchoMemosListFilePath), "/td/Users//ECHOMEMOS/EMLIST.LST");
    EXPECT_EQ(Call(GetTonedeckHelpFilePath, 0), "untouched") << "no HelpPath";
}

// The user name is one directory below Users, never a path that leads elsewhere.
TEST_F(Paths, UserNamesArePlainNames) {
    Product().SetString("RootPath", "/td");
    for (const char* bad : {"../../../../etc", "a/b", ".", "..", "tab\there"}) {
        EXPECT_EQ(SetCurrentUser(bad), 0) << bad;
        ASSERT_TRUE(Product().SetString("CurrentUser", bad));
        EXPECT_EQ(Call(GetCurrentUser, 0), "untouched") << bad;
        EXPECT_EQ(Call(GetCurrentUserDirectory, 0), "untouched") << bad;
        EXPECT_EQ(Call(GetTonedeckPropertiesFilePath, 0), "untouched") << bad;
    }
    EXPECT_EQ(SetCurrentUser("Ann Lee.2"), 1);
    EXPECT_EQ(Call(GetCurrentUserDirectory), "/td/Users/Ann Lee.2");
}

TEST_F(Paths, WithoutTheProductKeyEverythingFailsAndNothingIsCreated) {
    for (auto fn : {GetTonedeckRootDirectory, GetCurrentUser, GetTonedeckUsersDirectory,
                    GetCurrentUserDirectory, GetTonedeckPropertiesFilePath,
                    GetEchoMemosListFilePath, GetAOLSendMailDirectory, GetSonoscoutSearchFilePath})
        EXPECT_EQ(Call(fn, 0), "untouched");
    EXPECT_EQ(SetCurrentUser("Ann"), 0);
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, kProductKey));
}

TEST_F(Paths, DetectorsCompareExactly) {
    // The provider built beside these libraries makes a mail system of its own until the
    // machine store says otherwise.
    EXPECT_EQ(IsMAPIInstalled(), 1);
    auto mapi = *RegKey::Create(RegRoot::LocalMachine, kMapiComponentKey);
    EXPECT_EQ(IsMAPIInstalled(), 1) << "a key without the value says nothing";
    for (const char* v : {"0", "1 ", "01", ""}) {
        mapi.SetString("Installed", v);
        EXPECT_EQ(IsMAPIInstalled(), 0) << v;
    }
    mapi.SetString("Installed", "1");
    EXPECT_EQ(IsMAPIInstalled(), 1);
    EXPECT_EQ(IsCompuServeInstalled(), 0) << "no provider shared object here";

    EXPECT_EQ(IsSRSDemoAllowed(), 0);
    Product().SetString("SRSDemoAllowed", "1");
    EXPECT_EQ(IsSRSDemoAllowed(), 1);

    EXPECT_EQ(IsInternetServiceInstalled(), 0);
    RegKey::Create(RegRoot::ClassesRoot, kBrowserKey);
    EXPECT_EQ(IsInternetServiceInstalled(), 1);
}

TEST_F(Paths, AolNeedsItsProgramFilesInTheProfileDirectory) {
    QString path = "untouched";
    EXPECT_EQ(GetAOLPath(path), 0);
    EXPECT_EQ(path, "untouched");
    const QString aol = dir_.path() + "/aol";
    WriteProfileString("WAOL", "AppPath", aol);
    EXPECT_EQ(GetAOLPath(path), aol.size());
    EXPECT_EQ(path, aol);
    EXPECT_EQ(IsAOLInstalled(), 0);
    QDir().mkpath(aol + "/tool");
    QFile(aol + "/aoldde.dll").open(QIODevice::WriteOnly);
    EXPECT_EQ(IsAOLInstalled(), 0);
    QFile(aol + "/tool/aoladdon.aol").open(QIODevice::WriteOnly);
    EXPECT_EQ(IsAOLInstalled(), 1);
}

TEST_F(Paths, FilenameIsThePartAfterTheLastSeparator) {
    char name[64];
    GetFilenameFromPath("/td/Users/Ann/memo.wav", name);
    EXPECT_STREQ(name, "memo.wav");
    GetFilenameFromPath("/td/Users/", name);
    EXPECT_STREQ(name, "");
    GetFilenameFromPath("plain.wav", name);
    EXPECT_STREQ(name, "plain.wav");
    GetFilenameFromPath("", name);
    EXPECT_STREQ(name, "");
}

TEST_F(Paths, DesktopPrefersTheShellFolderValue) {
    QString desktop;
    EXPECT_EQ(GetDesktopDir(desktop), 1);
    EXPECT_FALSE(desktop.isEmpty());
    RegKey::Create(RegRoot::CurrentUser, kShellFoldersKey)->SetString("Desktop", "/home/ann/Desk");
    EXPECT_EQ(GetDesktopDir(desktop), 1);
    EXPECT_EQ(desktop, "/home/ann/Desk");
}

TEST_F(Paths, InstallCreatesTheTreeOnceAndKeepsAnExistingInstallation) {
    const QString root = dir_.path() + "/data";
    const InstallResult first = InstallTonedeck(root, "Bob");
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_FALSE(first.alreadyInstalled);
    for (const char* sub : {"/Users/Bob/ECHOMEMOS", "/Users/Bob/VOICEGRAM/AOLSend", "/Help"})
        EXPECT_TRUE(QDir(root + sub).exists()) << sub;
    EXPECT_EQ(Call(GetCurrentUserDirectory), root + "/Users/Bob");

    const InstallResult again = InstallTonedeck(dir_.path() + "/elsewhere", "Carl");
    EXPECT_TRUE(again.ok);
    EXPECT_TRUE(again.alreadyInstalled);
    EXPECT_EQ(Call(GetCurrentUser), "Bob");
    EXPECT_FALSE(QDir(dir_.path() + "/elsewhere").exists());
}

TEST_F(Paths, UserTreeIsRolledBackWhenItCannotBeCompleted) {
    const QString users = dir_.path() + "/Users";
    QDir().mkpath(users + "/Dee");
    // A plain file where the voicegram directory should go blocks the tree.
    QFile(users + "/Dee/VOICEGRAM").open(QIODevice::WriteOnly);
    EXPECT_FALSE(CreateUserDirectories(users, "Dee"));
    EXPECT_FALSE(QDir(users + "/Dee/ECHOMEMOS").exists());
    EXPECT_TRUE(CreateUserDirectories(users, "Eve"));
    EXPECT_TRUE(QDir(users + "/Eve/VOICEGRAM/AOLSend").exists());
}

}  // namespace
