// Ids of tdmend's string table (texts in strings.cpp).
#pragma once

#include "platform/types.h"

// The commands and help target of the guide's "%exec" and "%help" codes 100. to 106.
inline constexpr UINT IDS_GUIDE_MULTIMEDIA = 187;           // 100.
inline constexpr UINT IDS_GUIDE_MULTIMEDIA_MIDI = 188;      // 101.
inline constexpr UINT IDS_GUIDE_MULTIMEDIA_ADVANCED = 189;  // 102.
inline constexpr UINT IDS_GUIDE_ADD_HARDWARE = 190;         // 103.
inline constexpr UINT IDS_GUIDE_ADD_REMOVE_PROGRAMS = 191;  // 104.
inline constexpr UINT IDS_GUIDE_CONFLICT_HELP = 192;        // 105.
inline constexpr UINT IDS_GUIDE_MULTIMEDIA_CD = 197;        // 106.
// The volume tests' instructions: playback devices, and the microphone.
inline constexpr UINT IDS_GUIDE_PLAY_STEPS = 195;
inline constexpr UINT IDS_GUIDE_RECORD_STEPS = 198;
// The screen titles: IDS_GUIDE_TITLE_BASE + title index 1..25.
inline constexpr UINT IDS_GUIDE_TITLE_BASE = 3100;
inline constexpr int kGuideTitleCount = 25;
