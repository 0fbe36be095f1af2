// Where the system keeps its files, the current user, and which mail systems the machine
// has. These functions are the only place where the product's registry keys and
// directory names are spelled. Each reads the store afresh, keeps no state, and returns
// 1 on success and 0 on failure; on failure an output string is left as it was.
#pragma once

#include <QString>

#include "platform/types.h"

// The product's key under the current user, and the shell-folders key.
inline constexpr char kProductKey[] = "SOFTWARE\\Tonedeck";
inline constexpr char kShellFoldersKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kMapiComponentKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OptionalComponents\\MAPI";
inline constexpr char kBrowserKey[] = "HTTP\\SHELL\\OPEN\\COMMAND";
// The shared object of the CompuServe mail provider, probed for only.
inline constexpr char kCompuServeProvider[] = "libcsmapx32.so";

// Registry readers and writer.
int GetTonedeckRootDirectory(QString& out);
int GetTonedeckHelpDirectory(QString& out);
// The user name is a plain name, one directory below Users: a stored or given name with
// a separator, a control character, or that is "." or ".." is refused.
int GetCurrentUser(QString& out);
int SetCurrentUser(const QString& name);
bool IsPlainUserName(const QString& name);

// Path builders.
int GetTonedeckUsersDirectory(QString& out);
int GetSonoscoutSearchFilePath(QString& out);
int GetCurrentUserDirectory(QString& out);
int GetTonedeckPropertiesFilePath(QString& out);
int GetAudioMessagingDirectory(QString& out);
int GetAudioMessagingListFilePath(QString& out);
int GetAOLSendMailDirectory(QString& out);
int GetEchoMemosDirectory(QString& out);
int GetEchoMemosListFilePath(QString& out);
int GetTonedeckHelpFilePath(QString& out);
int GetWizardHelpFilePath(QString& out);

// The user's desktop directory: the shell-folders value when set, else the desktop's
// own folder.
int GetDesktopDir(QString& out);

// Copies the part of path after its last '/' into name (the whole path when it has
// none; an empty string when it ends in '/'). name must hold strlen(path) + 1 bytes.
void GetFilenameFromPath(const char* path, char* name);

// Mail-system and feature detectors: 1 or 0.
// The mail system: the machine store's "Installed" value when it has one ("1" and nothing
// else counts), else whether Tonedeck's own mail provider loads.
int IsMAPIInstalled();
int GetAOLPath(QString& out);  // number of characters read
int IsAOLInstalled();
int IsCompuServeInstalled();
int IsInternetServiceInstalled();
int IsSRSDemoAllowed();
