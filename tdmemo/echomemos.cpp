#include "tdmemo/echomemos.h"

#include <QIODevice>

#include <algorithm>
#include <cstdint>

CEchoMemos::CEchoMemos(Clock clock)
    : clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      earliestTime_(NEVER_TIME()) {}

void CEchoMemos::GetNextPlayTime(const ECHOMEMOSTRUCT* memo, time_t* next, int* scheduled) const {
    *next = NextPlayTime(*memo, clock_(), scheduled);
}

int CEchoMemos::BuildListEntry(const QString& path, SOUNDFILETYPE type, int index,
                               ECHOMEMOLISTENTRY* entry, int* scheduled) {
    ECHOMEMOLISTENTRY built{};
    if (!SetMemoListPath(&built, path))
        return 0;
    WAVEFILETYPE fileType = WAVEFILETYPE_SOUND;
    DWORD seconds = 0;
    if (!GetNoteInfoFromRIFFFile(path, fileType, built.description, sizeof built.description,
                                 seconds, &built.memo, type))
        return 0;
    built.description[sizeof built.description - 1] = '\0';
    built.length = static_cast<int32_t>(std::min<DWORD>(seconds, INT32_MAX));
    built.fileType = type;
    const int isScheduled = ScheduleListEntry(&built, index);
    if (scheduled)
        *scheduled = isScheduled;
    *entry = built;
    return 1;
}

int CEchoMemos::ScheduleListEntry(ECHOMEMOLISTENTRY* entry, int index) {
    int scheduled = 0;
    const time_t next = ListEntryNextTime(entry->memo, clock_(), &scheduled);
    entry->nextTime = ToListTime(next);
    if (scheduled)
        LowerEarliest(next, index);
    return scheduled;
}

void CEchoMemos::FindNextNoteToPlay(QIODevice* file) {
    time_t earliest = NEVER_TIME();
    int index = -1;
    const qint64 count = MemoListRecordCount(file->size());
    ECHOMEMOLISTENTRY entry;
    for (qint64 i = 0; i < count && ReadMemoListRecord(file, i, &entry); ++i) {
        if (!HasMemoListPath(entry) || entry.memo.frequency == MEMO_USER_INITIATED ||
            entry.memo.played == 1)
            continue;
        if (time_t{entry.nextTime} < earliest) {
            earliest = entry.nextTime;
            index = static_cast<int>(i);
        }
    }
    std::lock_guard lock(earliestLock_);
    earliestTime_ = earliest;
    earliestIndex_ = index;
}

time_t CEchoMemos::EarliestTime() const {
    std::lock_guard lock(earliestLock_);
    return earliestTime_;
}

int CEchoMemos::EarliestIndex() const {
    std::lock_guard lock(earliestLock_);
    return earliestIndex_;
}

void CEchoMemos::ResetEarliest() {
    const time_t never = NEVER_TIME();
    std::lock_guard lock(earliestLock_);
    earliestTime_ = never;
    earliestIndex_ = -1;
}

void CEchoMemos::LowerEarliest(time_t time, int index) {
    std::lock_guard lock(earliestLock_);
    if (time < earliestTime_) {
        earliestTime_ = time;
        earliestIndex_ = index;
    }
}
