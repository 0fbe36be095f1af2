// The player's pass over the memo list: every memo that is due is marked as played in
// its file and in its list record, and the earliest next playing time of the rest is
// found. The bar runs it once a minute on a worker thread; tdtool runs it without a bar.
// The caller holds the list's lock (memolistlock.h) for the whole pass.
#pragma once

#include <QString>

#include <ctime>
#include <functional>

#include "tdmemo/memolist.h"

class QIODevice;

// A memo the pass has just marked as played: its record as written back, carrying the
// memo's path and description, and the index it had then (only a hint: a rebuild of the
// list may move it).
struct PlayedMemo {
    qint64 index = -1;
    ECHOMEMOLISTENTRY entry{};
};

struct MemoPassResult {
    // Every record was looked at and written; false when the pass was held, stopped or
    // met a file error (the earliest time is then unknown and set to now).
    bool complete = false;
    // Held by "Hold All Scheduled Playback" during the pass.
    bool held = false;
    time_t earliest = 0;
    qint64 earliestIndex = -1;
};

struct MemoPassHooks {
    // Asked before each record: true ends the pass as held.
    std::function<bool()> holdAll;
    // Asked before each record: true ends the pass as incomplete.
    std::function<bool()> stop;
    // Told of each memo marked as played, in list order.
    std::function<void(const PlayedMemo&)> played;
};

// One pass over the open list file at time now. A memo due at or before now that has not
// played for good is marked in its memo file (MarkNoteAsAlreadyPlayed), gets lastPlayed
// now ("Once" memos also played 1) and its next playing time, and its record is written
// back in place as long as the record still names the same file.
MemoPassResult RunMemoPlayerPass(QIODevice* file, time_t now, const MemoPassHooks& hooks);
