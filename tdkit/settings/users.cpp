#include "tdkit/settings/users.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include "platform/registry.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"

namespace {

// The longest path a user's tree holds beside its own files: a queued America Online
// voicegram with an 8.3 name. Every such path must fit a 260-byte path field.
constexpr char kDeepestFile[] = "/VOICEGRAM/AOLSend/XXXXXXXX.WAV";
constexpr int kPathField = 260;
constexpr int kFileNameMax = 255;

bool UsersDirectory(QString& out, QString* error) {
    if (GetTonedeckUsersDirectory(out))
        return true;
    if (error)
        *error = QStringLiteral("Tonedeck is not installed for this user (no root directory)");
    return false;
}

UserResult Fail(const QString& error) {
    return UserResult{false, error};
}

QString Current() {
    QString user;
    GetCurrentUser(user);
    return user;
}

// Empties a fixed text field in place.
template <std::size_t N>
void Clear(char (&field)[N]) {
    std::memset(field, 0, N);
}

}  // namespace

QStringList ListUsers() {
    QString usersDir;
    if (!UsersDirectory(usersDir, nullptr))
        return {};
    QStringList names = QDir(usersDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

bool IsValidUserName(const QString& name, QString* why) {
    auto refuse = [&](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (name.isEmpty())
        return refuse(QStringLiteral("a user name cannot be empty"));
    if (name == QStringLiteral(".") || name == QStringLiteral(".."))
        return refuse(QStringLiteral("'%1' cannot be a user name").arg(name));
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\')
            return refuse(QStringLiteral("a user name cannot contain '%1'").arg(c));
        if (c.category() == QChar::Other_Control)
            return refuse(QStringLiteral("a user name cannot contain control characters"));
    }
    if (!name.isValidUtf16())
        return refuse(QStringLiteral("a user name must be valid text"));
    if (name.front().isSpace() || name.back().isSpace())
        return refuse(QStringLiteral("a user name cannot begin or end with a space"));
    const QByteArray bytes = QFile::encodeName(name);
    if (bytes.size() > kFileNameMax)
        return refuse(QStringLiteral("the user name is longer than a file name may be"));
    QString usersDir;
    if (GetTonedeckUsersDirectory(usersDir)) {
        const QByteArray deepest =
            QFile::encodeName(usersDir + u'/' + name) + QByteArray(kDeepestFile);
        if (deepest.size() >= kPathField)
            return refuse(QStringLiteral("the user name is too long: the user's files would "
                                         "not fit a %1-byte path")
                              .arg(kPathField));
    }
    return true;
}

QString FindUserIgnoringCase(const QStringList& users, const QString& name) {
    for (const QString& user : users)
        if (user.compare(name, Qt::CaseInsensitive) == 0)
            return user;
    return {};
}

UserResult AddUser(const QString& name, const PROPERTIES& record, const QString& creatorPath) {
    QString why;
    if (!IsValidUserName(name, &why))
        return Fail(why);
    QString usersDir;
    if (!UsersDirectory(usersDir, &why))
        return Fail(why);
    const QString taken = FindUserIgnoringCase(ListUsers(), name);
    if (!taken.isEmpty())
        return Fail(QStringLiteral("A user name of %1 already exists.  Please choose another name.")
                        .arg(taken));
    // Anything of that name that is not a directory (a stray file) is not written over.
    if (QFileInfo::exists(usersDir + u'/' + name))
        return Fail(QStringLiteral("%1/%2 already exists").arg(usersDir, name));
    if (!CreateUserDirectories(usersDir, name))
        return Fail(QStringLiteral("The structure necessary for a new user could not be created."));
    if (!creatorPath.isEmpty() && !WritePropertiesFile(creatorPath, record, &why)) {
        QDir(usersDir + u'/' + name).removeRecursively();
        return Fail(why);
    }
    PROPERTIES copy = record;
    Clear(copy.MailProps.szAOLScreenName);
    Clear(copy.MailProps.szAOLPassword);
    const QString settings = usersDir + u'/' + name + QStringLiteral("/TDPROP.PRP");
    if (!WritePropertiesFile(settings, copy, &why)) {
        QDir(usersDir + u'/' + name).removeRecursively();
        return Fail(why);
    }
    if (!SetCurrentUser(name)) {
        QDir(usersDir + u'/' + name).removeRecursively();
        return Fail(QStringLiteral("cannot make %1 the current user").arg(name));
    }
    return UserResult{true, {}};
}

QStringList UserContents(const QString& name) {
    QString usersDir;
    if (!UsersDirectory(usersDir, nullptr) || !IsValidUserName(name))
        return {};
    const QDir root(usersDir + u'/' + name);
    QStringList entries;
    QDirIterator it(root.path(),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString rel = root.relativeFilePath(info.filePath());
        entries << (info.isDir() && !info.isSymLink() ? rel + u'/' : rel);
    }
    entries.sort();
    return entries;
}

UserResult RemoveUser(const QString& name) {
    QString why;
    QString usersDir;
    if (!UsersDirectory(usersDir, &why))
        return Fail(why);
    if (!IsValidUserName(name, &why) || !ListUsers().contains(name))
        return Fail(QStringLiteral("there is no user %1").arg(name));
    if (Current() == name)
        return Fail(QStringLiteral("%1 is the current user and cannot be removed; "
                                   "switch to another user first")
                        .arg(name));
    const QString dir = usersDir + u'/' + name;
    // removeRecursively does not follow symbolic links: a link in the tree is removed,
    // never what it points to.
    if (!QDir(dir).removeRecursively())
        return Fail(QStringLiteral("could not remove everything in %1").arg(dir));
    return UserResult{true, {}};
}

UserResult RenameUser(const QString& oldName, const QString& newName) {
    QString why;
    QString usersDir;
    if (!UsersDirectory(usersDir, &why))
        return Fail(why);
    const QStringList users = ListUsers();
    if (!users.contains(oldName))
        return Fail(QStringLiteral("there is no user %1").arg(oldName));
    if (!IsValidUserName(newName, &why))
        return Fail(why);
    if (newName == oldName)
        return UserResult{true, {}};
    for (const QString& user : users)
        if (user != oldName && user.compare(newName, Qt::CaseInsensitive) == 0)
            return Fail(QStringLiteral("A user name of %1 already exists.  Please choose another "
                                       "name.")
                            .arg(user));
    const QString to = usersDir + u'/' + newName;
    const bool caseOnly = oldName.compare(newName, Qt::CaseInsensitive) == 0;
    if (!caseOnly && QFileInfo::exists(to))
        return Fail(QStringLiteral("%1 already exists").arg(to));
    if (!QDir(usersDir).rename(oldName, newName))
        return Fail(QStringLiteral("could not rename %1 to %2").arg(oldName, newName));
    if (Current() == oldName && !SetCurrentUser(newName)) {
        QDir(usersDir).rename(newName, oldName);
        return Fail(QStringLiteral("cannot make %1 the current user").arg(newName));
    }
    return UserResult{true, {}};
}

UserResult SwitchUser(const QString& name) {
    QString why;
    QString usersDir;
    if (!UsersDirectory(usersDir, &why))
        return Fail(why);
    if (!ListUsers().contains(name))
        return Fail(QStringLiteral("there is no user %1").arg(name));
    if (!SetCurrentUser(name))
        return Fail(QStringLiteral("cannot make %1 the current user").arg(name));
    return UserResult{true, {}};
}
