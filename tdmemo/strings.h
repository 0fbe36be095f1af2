// Ids of tdmemo's own string table (texts in strings.cpp).
#pragma once

#include "platform/types.h"

// The memo manager cannot open before the first list is built.
inline constexpr UINT IDS_MEMOS_CONFIGURING = 2115;
inline constexpr UINT IDS_MEMOS_TRY_AGAIN = 2116;
