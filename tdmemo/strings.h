// Ids of tdmemo's own string table (texts in strings.cpp).
#pragma once

#include "platform/types.h"

// The memo manager cannot open before the first list is built.
inline constexpr UINT IDS_MEMOS_CONFIGURING = 2115;
inline constexpr UINT IDS_MEMOS_TRY_AGAIN = 2116;
// The memo manager's texts: frequencies, the next playback of a played memo, the delete
// questions, the status line and the description of several memos at once.
inline constexpr UINT IDS_MEMOS_USER_INITIATED = 2104;
inline constexpr UINT IDS_MEMOS_ONCE = 2105;
inline constexpr UINT IDS_MEMOS_HOURLY = 2106;
inline constexpr UINT IDS_MEMOS_DAILY = 2107;
inline constexpr UINT IDS_MEMOS_WEEKLY = 2108;
inline constexpr UINT IDS_MEMOS_MONTHLY = 2109;
inline constexpr UINT IDS_MEMOS_YEARLY = 2110;
inline constexpr UINT IDS_MEMOS_ALREADY_PLAYED = 2111;
inline constexpr UINT IDS_MEMOS_DELETE_ONE = 2112;
inline constexpr UINT IDS_MEMOS_DELETE_MANY = 2113;
inline constexpr UINT IDS_MEMOS_CONFIRM = 2114;
inline constexpr UINT IDS_MEMOS_STATUS = 2251;
inline constexpr UINT IDS_MEMOS_MULTIPLE = 2252;
