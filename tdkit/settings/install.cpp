#include "tdkit/settings/install.h"

#include <QDir>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

#include "platform/registry.h"
#include "tdkit/settings/paths.h"

namespace {

QString LoginName() {
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    const QByteArray user = qgetenv("USER");
    return user.isEmpty() ? QStringLiteral("User") : QString::fromLocal8Bit(user);
}

}  // namespace

bool CreateUserDirectories(const QString& usersDirectory, const QString& user) {
    const QString userDir = usersDirectory + u'/' + user;
    const QStringList tree = {userDir, userDir + QStringLiteral("/ECHOMEMOS"),
                              userDir + QStringLiteral("/VOICEGRAM"),
                              userDir + QStringLiteral("/VOICEGRAM/AOLSend")};
    QStringList made;
    for (const QString& dir : tree) {
        if (QDir(dir).exists() || QDir().mkdir(dir)) {
            made << dir;
            continue;
        }
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            QDir().rmdir(*it);
        return false;
    }
    return true;
}

InstallResult InstallTonedeck(const QString& rootArg, const QString& userArg,
                              const QString& helpArg) {
    InstallResult result;
    QString existingRoot;
    if (GetTonedeckRootDirectory(existingRoot)) {
        result.ok = true;
        result.alreadyInstalled = true;
        return result;
    }
    const QString root =
        rootArg.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                QStringLiteral("/tonedeck")
                          : QDir(rootArg).absolutePath();
    const QString help = helpArg.isEmpty() ? root + QStringLiteral("/Help") : helpArg;
    const QString user = userArg.isEmpty() ? LoginName() : userArg;
    if (user.contains(u'/') || user == QStringLiteral(".") || user == QStringLiteral("..")) {
        result.error = QStringLiteral("'%1' cannot be a user name").arg(user);
        return result;
    }
    if (!QDir().mkpath(root + QStringLiteral("/Users")) || !QDir().mkpath(help)) {
        result.error = QStringLiteral("cannot create the directories under %1").arg(root);
        return result;
    }
    auto key = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kProductKey));
    if (!key || !key->SetString(QStringLiteral("RootPath"), root) ||
        !key->SetString(QStringLiteral("HelpPath"), help)) {
        result.error =
            QStringLiteral("cannot write the registry store at %1 (or the path is too long)")
                .arg(RegistryFilePath(RegRoot::CurrentUser));
        return result;
    }
    if (!CreateUserDirectories(root + QStringLiteral("/Users"), user)) {
        result.error = QStringLiteral("cannot create the directories of user %1").arg(user);
        return result;
    }
    if (!SetCurrentUser(user)) {
        result.error = QStringLiteral("cannot make %1 the current user").arg(user);
        return result;
    }
    result.ok = true;
    return result;
}
