// Ids of tdkit's own string table (texts in strings.cpp).
#pragma once

#include "platform/types.h"

// Prefixes and extension of temporary work files (see GetTempFilePathAndName).
inline constexpr UINT IDS_TEMPPREFIX_VOICEGRAM = 26;  // "VG"
inline constexpr UINT IDS_TEMPPREFIX_AUDIO = 4208;    // "AD"
inline constexpr UINT IDS_TEMPEXTENSION_WAV = 32794;  // "WAV"

// The play list's message for a file that would not play; "%s" stands for the path.
inline constexpr UINT IDS_CANNOT_PLAY_FILE = 32854;
