// CEchoMemos: the Echo Memos component. It keeps the memo list EMLIST.LST and knows
// which memo is due next. The schedule rules themselves live in schedule.h.
#pragma once

#include <QString>

#include <ctime>
#include <functional>
#include <mutex>

#include "tdmemo/memolist.h"
#include "tdmemo/schedule.h"

class QIODevice;

class CEchoMemos {
public:
    // Gives the current time; the system clock unless a test sets another.
    using Clock = std::function<time_t()>;

    explicit CEchoMemos(Clock clock = {});
    virtual ~CEchoMemos() = default;
    CEchoMemos(const CEchoMemos&) = delete;
    CEchoMemos& operator=(const CEchoMemos&) = delete;

    // Reads the clock once and writes the memo's next playing time to next; scheduled
    // becomes 1 for a memo of a scheduled kind and 0 for "User Initiated" (and for a memo
    // whose schedule fields are out of range, which is then never due).
    void GetNextPlayTime(const ECHOMEMOSTRUCT* memo, time_t* next, int* scheduled) const;

    // The record builder: fills a list record from the memo file at path (its path,
    // description, length, schedule and type) and gives it its next playing time by
    // ScheduleListEntry, as record index of the list. 1 on success; 0, with entry and the
    // earliest time untouched, when the file's memo information cannot be read (a
    // description longer than the record's field included) or the path does not fit the
    // record, which would then name another file.
    int BuildListEntry(const QString& path, SOUNDFILETYPE type, int index, ECHOMEMOLISTENTRY* entry,
                       int* scheduled = nullptr);

    // Gives a list record its next playing time: NEVER_TIME for a "Once" or "User
    // Initiated" memo that has played, else GetNextPlayTime's. A scheduled time earlier
    // than the earliest one known becomes the earliest, at record index. Returns whether
    // the memo is scheduled.
    int ScheduleListEntry(ECHOMEMOLISTENTRY* entry, int index);

    // Rescans an open list file from its start for the earliest due memo: the earliest
    // time and its index (NEVER_TIME and -1 when none). Ties keep the earlier record.
    void FindNextNoteToPlay(QIODevice* file);

    time_t EarliestTime() const;
    int EarliestIndex() const;
    // Forgets the earliest memo: NEVER_TIME and -1.
    void ResetEarliest();
    // Makes time the earliest, at index, when it is earlier than the earliest known.
    void LowerEarliest(time_t time, int index);

    time_t Now() const { return clock_(); }

private:
    Clock clock_;
    // The building and playing threads and the user-interface thread all move the earliest
    // time; the time and its index change together.
    mutable std::mutex earliestLock_;
    time_t earliestTime_;
    int earliestIndex_ = -1;
};
