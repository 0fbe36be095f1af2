#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/registry.h"

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("TONEDECK_REGISTRY_DIR"); }
    QTemporaryDir dir_;
};

TEST_F(Registry, KeysMustExistBeforeValuesCanBeSet) {
    EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck"));
    auto created = RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck");
    ASSERT_TRUE(created);
    // Parents exist once a child does; names compare without regard to case.
    EXPECT_TRUE(RegKey::Exists(RegRoot::CurrentUser, "SOFTWARE"));
    EXPECT_TRUE(RegKey::Exists(RegRoot::CurrentUser, "software\\tonedeck"));
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, "SOFTWARE\\Tone"));
    EXPECT_FALSE(RegKey::Exists(RegRoot::LocalMachine, "SOFTWARE\\Tonedeck"));

    auto key = RegKey::Open(RegRoot::CurrentUser, "Software\\TONEDECK");
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->QueryString("RootPath"));
    ASSERT_TRUE(key->SetString("RootPath", "/srv/td"));
    EXPECT_EQ(key->QueryString("rootpath").value_or(""), "/srv/td");
    ASSERT_TRUE(key->SetString("RootPath", "/srv/other"));
    EXPECT_EQ(key->QueryString("RootPath").value_or(""), "/srv/other");
    EXPECT_EQ(key->ValueNames(), QStringList{"RootPath"});
    EXPECT_TRUE(key->DeleteValue("ROOTPATH"));
    EXPECT_FALSE(key->QueryString("RootPath"));
}

TEST_F(Registry, ValuesAreBoundedByTheCallersBuffer) {
    auto key = RegKey::Create(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck");
    ASSERT_TRUE(key);
    const QString longest(259, u'x');
    ASSERT_TRUE(key->SetString("A", longest));
    EXPECT_EQ(key->QueryString("A").value_or(""), longest);
    EXPECT_FALSE(key->QueryString("A", 259)) << "a buffer without room for the NUL";
    EXPECT_FALSE(key->SetString("B", QString(260, u'x')));

    // A hand-edited store may hold a longer value: it is refused, not cut.
    QFile file(RegistryFilePath(RegRoot::CurrentUser));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("[SOFTWARE\\Long]\nV=" + QByteArray(300, 'y') + "\n");
    file.close();
    auto longKey = RegKey::Open(RegRoot::CurrentUser, "SOFTWARE\\Long");
    ASSERT_TRUE(longKey);
    EXPECT_FALSE(longKey->QueryString("V"));
}

TEST_F(Registry, ValuesSurviveSpecialCharactersAndRootsAreSeparate) {
    auto key = RegKey::Create(RegRoot::ClassesRoot, "HTTP\\SHELL\\OPEN\\COMMAND");
    ASSERT_TRUE(key);
    const QString tricky = "a=b;c%d\\e\nf [g]";
    ASSERT_TRUE(key->SetString("", tricky));
    EXPECT_EQ(key->QueryString("").value_or(""), tricky);
    EXPECT_TRUE(RegKey::Exists(RegRoot::ClassesRoot, "HTTP\\SHELL"));
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, "HTTP"));
}

// An escape is two hexadecimal digits; anything else is taken as written, never as a
// number that could make a character out of range.
TEST_F(Registry, OnlyTwoHexDigitsMakeAnEscape) {
    QFile file(RegistryFilePath(RegRoot::CurrentUser));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[SOFTWARE\\Tonedeck]\nA=a%-1b\nB=% 1\nC=%+F\nD=%4a%4A\nE=%zz%\nF=%0\n");
    file.close();
    auto key = RegKey::Open(RegRoot::CurrentUser, "SOFTWARE\\Tonedeck");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("A").value_or("?"), "a%-1b");
    EXPECT_EQ(key->QueryString("B").value_or("?"), "% 1");
    EXPECT_EQ(key->QueryString("C").value_or("?"), "%+F");
    EXPECT_EQ(key->QueryString("D").value_or("?"), "JJ");
    EXPECT_EQ(key->QueryString("E").value_or("?"), "%zz%");
    EXPECT_EQ(key->QueryString("F").value_or("?"), "%0");
}

// A FIFO in the store's place reads as an empty store instead of blocking.
TEST_F(Registry, AFifoInTheStoresPlaceIsNotWaitedOn) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(RegistryFilePath(RegRoot::CurrentUser)).constData(), 0600),
              0);
    EXPECT_FALSE(RegKey::Exists(RegRoot::CurrentUser, "SOFTWARE"));
}

TEST_F(Registry, ProfileStringsFallBackToTheDefault) {
    EXPECT_EQ(GetProfileString("WAOL", "AppPath", "none"), "none");
    ASSERT_TRUE(WriteProfileString("WAOL", "AppPath", "/opt/aol"));
    EXPECT_EQ(GetProfileString("waol", "apppath", ""), "/opt/aol");
    EXPECT_EQ(GetProfileString("WAOL", "AppPath", "", 5), "/opt");
}

}  // namespace
