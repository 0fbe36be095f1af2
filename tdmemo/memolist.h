// The memo list EMLIST.LST: one 600-byte record per memo file with its next playing
// time, in a flat little-endian array without a header. The record count is the file
// length divided by 600 (a trailing partial record is ignored); record i lies at byte
// i x 600. Records whose path is empty are skipped by every reader.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

#include "tdkit/audio/riffinfo.h"

class QIODevice;

inline constexpr int kMemoListTextSize = 260;
inline constexpr qint64 kMemoListRecordSize = 600;

#pragma pack(push, 1)
struct ECHOMEMOLISTENTRY {
    char path[kMemoListTextSize];         // full path of the memo file, NUL-terminated
    char description[kMemoListTextSize];  // from the file's "DESC" chunk, NUL-terminated
    int32_t length;                       // length of the recording in whole seconds
    ECHOMEMOSTRUCT memo;                  // the memo's schedule, updated by playback
    uint32_t nextTime;                    // next playing time, seconds since 1970 UTC
    int32_t fileType;                     // SOUNDFILETYPE: 1 WAV, 2 RMI
};
#pragma pack(pop)

static_assert(sizeof(ECHOMEMOLISTENTRY) == kMemoListRecordSize);
static_assert(offsetof(ECHOMEMOLISTENTRY, path) == 0);
static_assert(offsetof(ECHOMEMOLISTENTRY, description) == 260);
static_assert(offsetof(ECHOMEMOLISTENTRY, length) == 520);
static_assert(offsetof(ECHOMEMOLISTENTRY, memo) == 524);
static_assert(offsetof(ECHOMEMOLISTENTRY, nextTime) == 592);
static_assert(offsetof(ECHOMEMOLISTENTRY, fileType) == 596);

// The text fields as strings, read up to their NUL and never past the field.
QString MemoListPath(const ECHOMEMOLISTENTRY& entry);
QString MemoListDescription(const ECHOMEMOLISTENTRY& entry);
bool HasMemoListPath(const ECHOMEMOLISTENTRY& entry);

// Store a text with its NUL, the rest of the field cleared. A text that does not fit is
// refused (false) and the field left as it was: a cut path would name another file.
bool SetMemoListPath(ECHOMEMOLISTENTRY* entry, const QString& path);
bool SetMemoListDescription(ECHOMEMOLISTENTRY* entry, const QString& description);

// A time as the list stores it: 32 bits, never before 1970.
uint32_t ToListTime(time_t t);

// Whole records in a file of that many bytes.
qint64 MemoListRecordCount(qint64 fileSize);

// Record index of an open list file; false when the device cannot seek there or the
// record is not all there (reads) or not all written (writes).
bool ReadMemoListRecord(QIODevice* file, qint64 index, ECHOMEMOLISTENTRY* entry);
bool WriteMemoListRecord(QIODevice* file, qint64 index, const ECHOMEMOLISTENTRY& entry);
// Appends after the last whole record (over any partial tail).
bool AppendMemoListRecord(QIODevice* file, const ECHOMEMOLISTENTRY& entry);
// Writes a record back over record index in place, but only while that record is all
// there and still names the same file as entry: a list that was rebuilt, cut short or
// reordered meanwhile is left as it is (false).
bool RewriteMemoListRecord(QIODevice* file, qint64 index, const ECHOMEMOLISTENTRY& entry);
// The index of the first record whose path is path (-1 when none), read from the start.
qint64 FindMemoListRecord(QIODevice* file, const QString& path,
                          Qt::CaseSensitivity cs = Qt::CaseSensitive);

// A record with its place in the file.
struct MemoListRecord {
    qint64 index;
    ECHOMEMOLISTENTRY entry;
};

// Reads every record with a path. A missing file is an error; an empty one gives none.
bool ReadMemoListFile(const QString& fileName, std::vector<MemoListRecord>* records,
                      QString* error = nullptr);
// Writes the whole list to a temporary file beside it and renames that over the old one.
bool WriteMemoListFile(const QString& fileName, const std::vector<ECHOMEMOLISTENTRY>& entries,
                       QString* error = nullptr);
