#include "tdkit/settings/paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstring>

#include "platform/library.h"
#include "platform/registry.h"
#include "platform/regularfile.h"
#include "tdkit/mail/simplemapi.h"

namespace {

// Reads one string value of the product's key.
int ReadProductValue(const char* name, QString& out) {
    const auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kProductKey));
    if (!key)
        return 0;
    const auto value = key->QueryString(QString::fromLatin1(name));
    if (!value)
        return 0;
    out = *value;
    return 1;
}

// Builds on another path function and appends a piece when it succeeds.
int Append(int (*base)(QString&), const char* piece, QString& out) {
    QString path;
    if (!base(path))
        return 0;
    out = path + QString::fromLatin1(piece);
    return 1;
}

bool FileOpensForReading(const QString& path) {
    QFile file(path);
    return OpenRegularFile(file, QIODevice::ReadOnly);
}

}  // namespace

int GetTonedeckRootDirectory(QString& out) {
    return ReadProductValue("RootPath", out);
}
int GetTonedeckHelpDirectory(QString& out) {
    return ReadProductValue("HelpPath", out);
}
bool IsPlainUserName(const QString& name) {
    if (name == u'.' || name == QStringLiteral(".."))
        return false;
    for (QChar c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

int GetCurrentUser(QString& out) {
    QString name;
    if (!ReadProductValue("CurrentUser", name) || !IsPlainUserName(name))
        return 0;
    out = name;
    return 1;
}

int SetCurrentUser(const QString& name) {
    if (!IsPlainUserName(name))
        return 0;
    auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kProductKey));
    if (!key)
        return 0;
    return key->SetString(QStringLiteral("CurrentUser"), name) ? 1 : 0;
}

int GetTonedeckUsersDirectory(QString& out) {
    return Append(GetTonedeckRootDirectory, "/Users", out);
}
int GetSonoscoutSearchFilePath(QString& out) {
    return Append(GetTonedeckRootDirectory, "/TDSEARCH.PRP", out);
}

int GetCurrentUserDirectory(QString& out) {
    QString users;
    if (!GetTonedeckUsersDirectory(users))
        return 0;
    // A missing user name still gives the users directory with a separator after it; a
    // name that is not a plain name (a path) gives nothing.
    QString user;
    if (!GetCurrentUser(user)) {
        QString stored;
        if (ReadProductValue("CurrentUser", stored))
            return 0;
    }
    out = users + u'/' + user;
    return 1;
}

int GetTonedeckPropertiesFilePath(QString& out) {
    return Append(GetCurrentUserDirectory, "/TDPROP.PRP", out);
}
int GetAudioMessagingDirectory(QString& out) {
    return Append(GetCurrentUserDirectory, "/VOICEGRAM", out);
}
int GetAudioMessagingListFilePath(QString& out) {
    return Append(GetAudioMessagingDirectory, "/VGLIST.LST", out);
}
int GetAOLSendMailDirectory(QString& out) {
    return Append(GetAudioMessagingDirectory, "/AOLSend", out);
}
int GetEchoMemosDirectory(QString& out) {
    return Append(GetCurrentUserDirectory, "/ECHOMEMOS", out);
}
int GetEchoMemosListFilePath(QString& out) {
    return Append(GetEchoMemosDirectory, "/EMLIST.LST", out);
}
int GetTonedeckHelpFilePath(QString& out) {
    return Append(GetTonedeckHelpDirectory, "/Tonedeck.html", out);
}
int GetWizardHelpFilePath(QString& out) {
    return Append(GetTonedeckHelpDirectory, "/wizard.html", out);
}

int GetDesktopDir(QString& out) {
    if (const auto key =
            RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kShellFoldersKey))) {
        if (const auto value = key->QueryString(QStringLiteral("Desktop"))) {
            out = *value;
            return 1;
        }
    }
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        return 0;
    out = desktop;
    return 1;
}

void GetFilenameFromPath(const char* path, char* name) {
    const char* slash = std::strrchr(path, '/');
    std::strcpy(name, slash ? slash + 1 : path);
}

int IsMAPIInstalled() {
    // The machine store decides when it says either way. Without a word from it the mail
    // system is there when the provider that comes with Tonedeck loads: its local Maildir
    // store needs no server, so voicegrams between the users of one machine work as soon
    // as Tonedeck is installed.
    if (const auto key =
            RegKey::Open(RegRoot::LocalMachine, QString::fromLatin1(kMapiComponentKey)))
        if (const auto value = key->QueryString(QStringLiteral("Installed")))
            return *value == QStringLiteral("1") ? 1 : 0;
    return CanLoadLibrary(QString::fromLatin1(kDefaultMailProvider)) ? 1 : 0;
}

int GetAOLPath(QString& out) {
    const QString path =
        GetProfileString(QStringLiteral("WAOL"), QStringLiteral("AppPath"), QString());
    if (!path.isEmpty())
        out = path;
    return static_cast<int>(path.toLocal8Bit().size());
}

int IsAOLInstalled() {
    // A sender program of our own choosing counts as America Online being there.
    if (const auto key =
            RegKey::Open(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck\\AOL")))
        if (const auto command = key->QueryString(QStringLiteral("SenderCommand"));
            command && !command->trimmed().isEmpty())
            return 1;
    QString dir;
    if (!GetAOLPath(dir))
        return 0;
    return FileOpensForReading(dir + QStringLiteral("/aoldde.dll")) &&
                   FileOpensForReading(dir + QStringLiteral("/tool/aoladdon.aol"))
               ? 1
               : 0;
}

int IsCompuServeInstalled() {
    return CanLoadLibrary(QString::fromLatin1(kCompuServeProvider)) && IsMAPIInstalled() ? 1 : 0;
}

int IsInternetServiceInstalled() {
    return RegKey::Exists(RegRoot::ClassesRoot, QString::fromLatin1(kBrowserKey)) ? 1 : 0;
}

int IsSRSDemoAllowed() {
    QString value;
    return ReadProductValue("SRSDemoAllowed", value) && value == QStringLiteral("1") ? 1 : 0;
}
