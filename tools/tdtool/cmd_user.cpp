// tdtool user: lists, adds, renames, removes and switches the users of the bar, through
// the same functions as the settings sheet's User page.
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

#include "command.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"
#include "tdkit/settings/users.h"

namespace {

const char kUsage[] =
    "user list | user add NAME | user rename OLD NEW | user remove NAME [--yes] | "
    "user switch NAME   [--json]";

QString CurrentUser() {
    QString user;
    GetCurrentUser(user);
    return user;
}

int List(bool json) {
    QString usersDir;
    if (!GetTonedeckUsersDirectory(usersDir)) {
        PrintErr(QStringLiteral("Tonedeck is not installed for this user (run tdtool setup)"));
        return kExitFailed;
    }
    const QString current = CurrentUser();
    const QStringList users = ListUsers();
    if (json) {
        QJsonArray list;
        for (const QString& user : users)
            list.append(QJsonObject{{"name", user},
                                    {"current", user == current},
                                    {"directory", usersDir + u'/' + user}});
        PrintJson(QJsonObject{{"current", current}, {"users", list}});
        return kExitOk;
    }
    for (const QString& user : users)
        PrintOut((user == current ? QStringLiteral("* ") : QStringLiteral("  ")) + user);
    if (users.isEmpty())
        PrintOut(QStringLiteral("no users"));
    return kExitOk;
}

// What a successful change prints.
int Done(bool json, const QString& text) {
    if (json)
        PrintJson(QJsonObject{{"ok", true},
                              {"current", CurrentUser()},
                              {"users", QJsonArray::fromStringList(ListUsers())}});
    else
        PrintOut(text);
    return kExitOk;
}

int Result(const UserResult& result, bool json, const QString& text) {
    if (!result.ok) {
        PrintErr(result.error);
        return kExitFailed;
    }
    return Done(json, text);
}

int Add(const QString& name, bool json) {
    // The new user starts with the current user's settings; without a readable settings
    // file, with the defaults.
    PROPERTIES record = DefaultProperties(RECT{0, 0, 0, 0});
    QString path;
    if (GetTonedeckPropertiesFilePath(path) && QFile::exists(path)) {
        QString why;
        if (!ReadPropertiesFile(path, &record, &why))
            record = DefaultProperties(RECT{0, 0, 0, 0});
    }
    return Result(AddUser(name, record), json, QStringLiteral("added user %1").arg(name));
}

// Names what the removal deletes and asks on standard input; true on "y" or "yes".
bool Confirm(const QString& name) {
    QString usersDir;
    GetTonedeckUsersDirectory(usersDir);
    const QStringList contents = UserContents(name);
    QTextStream err(stderr);
    err << "Are you sure you want to delete the user " << name << "?\n"
        << "This removes " << usersDir << '/' << name;
    if (contents.isEmpty()) {
        err << " (empty)\n";
    } else {
        err << " and everything in it:\n";
        for (const QString& entry : contents)
            err << "  " << entry << '\n';
    }
    err << "Delete? [y/N] ";
    err.flush();
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QStringLiteral("y") || answer == QStringLiteral("yes");
}

int Remove(const QString& name, bool yes, bool json) {
    // The refusals come before the question: no one is asked about what cannot be done.
    if (!ListUsers().contains(name)) {
        PrintErr(QStringLiteral("there is no user %1").arg(name));
        return kExitFailed;
    }
    if (CurrentUser() == name) {
        PrintErr(QStringLiteral("%1 is the current user and cannot be removed; switch to "
                                "another user first")
                     .arg(name));
        return kExitFailed;
    }
    if (!yes && !Confirm(name)) {
        PrintErr(QStringLiteral("not confirmed: user %1 kept").arg(name));
        return kExitFailed;
    }
    return Result(RemoveUser(name), json, QStringLiteral("removed user %1").arg(name));
}

int RunUser(const QStringList& words) {
    Args args(words, {"json", "yes"});
    if (!args.ok())
        return UsageError(kUsage, args.error());
    if (!args.unknown({"json", "yes"}).isEmpty())
        return UsageError(kUsage, QStringLiteral("unknown option"));
    const QStringList pos = args.positional();
    const bool json = args.flag("json");
    if (pos.isEmpty())
        return UsageError(kUsage, QStringLiteral("missing verb"));
    const QString& verb = pos[0];
    const int want = verb == QStringLiteral("list")     ? 1
                     : verb == QStringLiteral("rename") ? 3
                     : (verb == QStringLiteral("add") || verb == QStringLiteral("remove") ||
                        verb == QStringLiteral("switch"))
                         ? 2
                         : 0;
    if (want == 0)
        return UsageError(kUsage, QStringLiteral("unknown verb '%1'").arg(verb));
    if (pos.size() != want)
        return UsageError(kUsage, QStringLiteral("wrong number of words for %1").arg(verb));
    if (args.flag("yes") && verb != QStringLiteral("remove"))
        return UsageError(kUsage, QStringLiteral("--yes belongs to remove"));
    if (verb == QStringLiteral("list"))
        return List(json);
    QString usersDir;
    if (!GetTonedeckUsersDirectory(usersDir)) {
        PrintErr(QStringLiteral("Tonedeck is not installed for this user (run tdtool setup)"));
        return kExitFailed;
    }
    if (verb == QStringLiteral("add"))
        return Add(pos[1], json);
    if (verb == QStringLiteral("remove"))
        return Remove(pos[1], args.flag("yes"), json);
    if (verb == QStringLiteral("rename"))
        return Result(RenameUser(pos[1], pos[2]), json,
                      QStringLiteral("renamed user %1 to %2").arg(pos[1], pos[2]));
    return Result(SwitchUser(pos[1]), json, QStringLiteral("current user %1").arg(pos[1]));
}

}  // namespace

TDTOOL_COMMAND("user", kUsage, RunUser);
