// The installation step: the product's key with its root and help directories, and a
// first user with a directory tree of its own.
#pragma once

#include <QString>

struct InstallResult {
    bool ok = false;
    bool alreadyInstalled = false;  // the product key had a root: nothing was changed
    QString error;                  // plain words when ok is false
};

// Creates the product key with RootPath and HelpPath (defaults: $XDG_DATA_HOME/tonedeck
// and its Help folder), a first user named user (default: the login name) with its
// directory tree, and makes that user current. An existing installation is left as it is.
InstallResult InstallTonedeck(const QString& root = {}, const QString& user = {},
                              const QString& helpDir = {});

// Creates the directory tree of one user under the users directory: the user directory,
// EchoMemos, voicegrams and the America Online queue, in that order. When one cannot be
// made, the ones made before it are removed again and false is returned.
bool CreateUserDirectories(const QString& usersDirectory, const QString& user);
