// Names of files and drives: temporary work file names, and the network name of the
// drive a path lies on. Both write into a caller's buffer of kNameBufferSize bytes and
// return 1 on success, 0 on failure (the buffer then left as it was). A name that would
// not fit the buffer is refused, never cut.
#pragma once

#include <QString>

#include "platform/types.h"

inline constexpr unsigned kNameBufferSize = 260;

// A new temporary work file in the user's private temporary folder, named by the prefix
// text of string prefixId (its first three characters), up to four hexadecimal digits,
// '.' and the extension text of string extensionId: ".../VG1A2B.WAV". The file is made
// empty and exclusively, so the name is the caller's alone; the caller deletes it when
// done. 0 when a string is unknown, or no private folder or free name can be had.
int GetTempFilePathAndName(char* out, UINT prefixId, UINT extensionId);

// The network name ("//server/share", without the rest of the path) of the remote drive
// on which path lies. path is a drive-letter path ("c:\\music\\a.wav", "D:/x"; the letter
// is taken without regard to case) or an absolute path of this machine. 0 for paths on
// local drives, on no drive, and for paths that are network names already ("//...").
int GetUniversalName(char* out, const QString& path);
