#include "tdmemo/memoplayer.h"

#include <QIODevice>

#include "tdkit/audio/riffinfo.h"
#include "tdmemo/schedule.h"

MemoPassResult RunMemoPlayerPass(QIODevice* file, time_t now, const MemoPassHooks& hooks) {
    MemoPassResult result;
    result.earliest = NEVER_TIME();
    result.complete = true;
    // The count is taken afresh for every record: a list that shrinks under the pass
    // (another program's rebuild) ends it instead of failing reads.
    for (qint64 i = 0; i < MemoListRecordCount(file->size()); ++i) {
        if (hooks.holdAll && hooks.holdAll()) {
            result.held = true;
            result.complete = false;
            break;
        }
        ECHOMEMOLISTENTRY entry;
        if ((hooks.stop && hooks.stop()) || !ReadMemoListRecord(file, i, &entry)) {
            result.complete = false;
            break;
        }
        if (!HasMemoListPath(entry) || entry.memo.frequency == MEMO_USER_INITIATED ||
            HasPlayedForGood(entry.memo))
            continue;
        if (time_t{entry.nextTime} <= now) {
            const BOOL once = entry.memo.frequency == MEMO_ONCE;
            MarkNoteAsAlreadyPlayed(MemoListPath(entry), once, ToListTime(now));
            if (once)
                entry.memo.played = 1;
            entry.memo.lastPlayed = ToListTime(now);
            int scheduled = 0;
            entry.nextTime = ToListTime(ListEntryNextTime(entry.memo, now, &scheduled));
            if (!RewriteMemoListRecord(file, i, entry)) {
                result.complete = false;
                break;
            }
            if (hooks.played)
                hooks.played(PlayedMemo{i, entry});
        }
        if (!HasPlayedForGood(entry.memo) && time_t{entry.nextTime} < result.earliest) {
            result.earliest = entry.nextTime;
            result.earliestIndex = i;
        }
    }
    // A pass that did not see every record cannot know the earliest time: the next
    // minute looks again.
    if (!result.complete) {
        result.earliest = now;
        result.earliestIndex = -1;
    }
    return result;
}
