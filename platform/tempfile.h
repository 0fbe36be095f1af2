// The user's private directories: a base directory only its owner can enter, with a
// folder of temporary work files and a folder of lock files below it.
//
//   base: $XDG_RUNTIME_DIR/tonedeck when the runtime directory is usable (an absolute
//         path to a directory of the user's own, not a symbolic link), else
//         ${TMPDIR:-/tmp}/tonedeck-<uid>
//   temporary files: base/tmp        lock files: base/locks
//
// Every level is created with mode 0700. A directory that exists already is accepted
// only when it is a real directory (not a symbolic link) owned by the user; its mode is
// then narrowed to 0700. Anything else is refused: somebody else may have planted it.
#pragma once

#include <QString>

#include <optional>

// Creates path with mode 0700 when missing (its parent must exist), or checks that the
// existing one is the user's own real directory and narrows its mode to 0700. False
// when the directory is refused or cannot be made.
bool EnsurePrivateDirectory(const QString& path);

// The base directory, the temporary-file folder and the lock folder, each made and
// checked on every call; nullopt when one of them is refused.
std::optional<QString> PrivateUserDirectory();
std::optional<QString> PrivateTempDirectory();
std::optional<QString> PrivateLockDirectory();

// Why the private directories cannot be used, in plain words naming the folder at fault
// and what to do; empty when they can.
QString PrivateDirectoryProblem();

// Creates a new empty file dir/<prefix><hex><suffix> with O_CREAT|O_EXCL and mode 0600,
// where <hex> is one to four upper-case hexadecimal digits (a number from 1 to 0xFFFF).
// The search starts at a random number and walks on until a name is free, so the
// name never belongs to a file that was there before. The file is left in place (the
// name stays reserved); its maker deletes it. maxBytes bounds the whole path in the
// local encoding, its terminating NUL included (0: no bound); a name that would not
// fit (with four digits) is refused, not cut. nullopt when no file could be created.
std::optional<QString> CreateUniqueFile(const QString& dir, const QString& prefix,
                                        const QString& suffix, std::size_t maxBytes = 0);
