// The users of the bar: one directory each under the users directory, named by the user.
// The settings sheet's User page and "tdtool user" both work through these functions, so
// they refuse the same names and remove the same files.
#pragma once

#include <QString>
#include <QStringList>

#include "tdkit/settings/properties.h"

struct UserResult {
    bool ok = false;
    QString error;  // plain words when ok is false
};

// The names of the users (the directories under the users directory), sorted without
// regard to case. Empty when there is no users directory.
QStringList ListUsers();

// Whether name can be a user's directory name: not empty, no '/', '\\' or control
// characters, not "." or "..", no spaces at either end, and short enough that every file
// of the user still fits a path field. why, when given, says what is wrong.
bool IsValidUserName(const QString& name, QString* why = nullptr);

// The user listed under name in another letter case, or an empty string.
QString FindUserIgnoringCase(const QStringList& users, const QString& name);

// Creates a user with its directory tree and a settings file made from record with the
// America Online screen name and password emptied, and makes it the current user.
// Refused when the name is invalid or already taken in any letter case. When creatorPath
// is given, record is first written there too (the creator's settings as they stand).
// Nothing is left behind when the tree cannot be made; the previous user stays current.
UserResult AddUser(const QString& name, const PROPERTIES& record, const QString& creatorPath = {});

// Everything a user's directory holds, as paths relative to it (folders end in '/'),
// sorted: what a removal deletes, for the confirmation that names it.
QStringList UserContents(const QString& name);

// Removes a user's directory with everything in it, folders made later included.
// Refused for the current user and for a name that is not a user (exact match).
UserResult RemoveUser(const QString& name);

// Renames a user's directory. Refused when old is not a user, new is invalid or names
// another user in any letter case; a change of letter case of the same user is allowed.
// The current user follows the rename.
UserResult RenameUser(const QString& oldName, const QString& newName);

// Makes an existing user (exact match) the current user.
UserResult SwitchUser(const QString& name);
