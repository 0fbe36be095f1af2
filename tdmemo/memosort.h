// The order of the memo manager's columns. Every comparison is a strict weak order over
// the memos' list records and rows are sorted stably, so memos that compare equal keep
// the order they had (the list file's order after a load).
#pragma once

#include <algorithm>
#include <vector>

#include "tdmemo/memolist.h"

// The manager's columns, in their order on screen.
enum MemoColumn : int {
    kMemoColumnDescription = 0,
    kMemoColumnNotify = 1,
    kMemoColumnNextPlayback = 2,
    kMemoColumnFrequency = 3,
    kMemoColumnLength = 4,
    kMemoColumnCount = 5,
};

// True when a comes before b in the column sorted ascending. Description: the text
// without regard to case. Notify: memos without a notification first. Next Playback:
// scheduled memos by time, earlier first, then the "User Initiated" and played-for-good
// ones, which have no time. Frequency and Length: smaller first. Descending order is
// MemoBefore(b, a). A column outside 0 to 4 orders nothing (every pair equal).
bool MemoBefore(const ECHOMEMOLISTENTRY& a, const ECHOMEMOLISTENTRY& b, int column);

// Sorts items (anything with a member `entry`) by the column, stably.
template <typename Item>
void SortMemos(std::vector<Item>* items, int column, bool ascending);

// A memo "User Initiated" or played for good: no next playing time to show or sort by.
bool MemoHasNoNextTime(const ECHOMEMOLISTENTRY& entry);

template <typename Item>
void SortMemos(std::vector<Item>* items, int column, bool ascending) {
    std::stable_sort(items->begin(), items->end(),
                     [column, ascending](const Item& a, const Item& b) {
                         return ascending ? MemoBefore(a.entry, b.entry, column)
                                          : MemoBefore(b.entry, a.entry, column);
                     });
}
