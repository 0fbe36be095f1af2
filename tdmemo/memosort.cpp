#include "tdmemo/memosort.h"

#include <QString>

#include <tuple>

#include "tdmemo/schedule.h"

bool MemoHasNoNextTime(const ECHOMEMOLISTENTRY& entry) {
    return entry.memo.frequency == MEMO_USER_INITIATED || entry.memo.played == 1;
}

bool MemoBefore(const ECHOMEMOLISTENTRY& a, const ECHOMEMOLISTENTRY& b, int column) {
    switch (column) {
        case kMemoColumnDescription:
            return MemoListDescription(a).compare(MemoListDescription(b), Qt::CaseInsensitive) < 0;
        case kMemoColumnNotify:
            return (a.memo.notify != 0) < (b.memo.notify != 0);
        case kMemoColumnNextPlayback: {
            // Memos without a time form one class after all times; among themselves they
            // are equal, so their order stays.
            const bool aNone = MemoHasNoNextTime(a), bNone = MemoHasNoNextTime(b);
            if (aNone || bNone)
                return !aNone && bNone;
            return a.nextTime < b.nextTime;
        }
        case kMemoColumnFrequency:
            return a.memo.frequency < b.memo.frequency;
        case kMemoColumnLength:
            return a.length < b.length;
        default:
            return false;
    }
}
