// The sound search: a worker walks the chosen drives and writes one SOUNDSTRUCT record
// per WAV or MIDI file into a temporary file, which the controller publishes as
// TDSEARCH.PRP when the search ends.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "platform/types.h"

#pragma pack(push, 1)
// One found file; TDSEARCH.PRP is a flat array of these.
struct SOUNDSTRUCT {
    char szName[260];         // file name without directory
    char szDescription[256];  // text of the file's DESC chunk, or empty
    int32_t nType;            // 1 Wave file, 2 MIDI file
    DWORD dwSize;             // low 32 bits of the file size
    DWORD ftLastWriteLow;     // last write: 100-ns intervals since 1601-01-01 UTC
    DWORD ftLastWriteHigh;
    char szPath[260];  // full path
};
#pragma pack(pop)
static_assert(sizeof(SOUNDSTRUCT) == 792);
static_assert(offsetof(SOUNDSTRUCT, szDescription) == 260);
static_assert(offsetof(SOUNDSTRUCT, nType) == 516);
static_assert(offsetof(SOUNDSTRUCT, dwSize) == 520);
static_assert(offsetof(SOUNDSTRUCT, ftLastWriteLow) == 524);
static_assert(offsetof(SOUNDSTRUCT, ftLastWriteHigh) == 528);
static_assert(offsetof(SOUNDSTRUCT, szPath) == 532);

// Called for every record found, and once with null when the search has ended. Runs on
// the worker thread.
using SearchCallback = std::function<void(const SOUNDSTRUCT* record, uintptr_t user)>;

class CSoundSearchEngine {
public:
    // Reads the directories a search never enters: the inbox's and the memo directory.
    CSoundSearchEngine();
    ~CSoundSearchEngine();
    CSoundSearchEngine(const CSoundSearchEngine&) = delete;
    CSoundSearchEngine& operator=(const CSoundSearchEngine&) = delete;

    // Starts the worker over the drives whose flags are set (A to Z); a background search
    // runs at idle CPU and I/O priority, yielding to everything else on the machine. 1 when
    // it started; 0 when a search runs already or the temporary file cannot be made.
    int DoSearch(const BOOL drives[26], int midi, int wave, SearchCallback callback, uintptr_t user,
                 bool background = false);
    void StopSearch() { stop_ = true; }
    int StillSearching() const { return searching_ ? 1 : 0; }
    QString GetSearchFilename() const { return tempPath_; }
    // Waits for the worker to end, at most timeoutMs; true when it has.
    bool WaitForWorker(int timeoutMs);

    // Searches one directory tree directly (what the worker does per drive root).
    void SearchTree(const QString& root);
    // The root directories to search for drive flags, in drive order.
    static QStringList DriveRoots(const BOOL drives[26]);
    // Fills a record for a file; false when its name or path does not fit a field.
    static bool FillRecord(const QString& path, int type, SOUNDSTRUCT* record);

private:
    void Worker();
    void AddFilesToList(const QString& dir, dev_t device);
    bool IsExcluded(const QString& dir) const;
    // The file systems of drives mounted inside root that this search does not search
    // on their own: the walk of root enters them (a /home of its own under C:).
    void FindNestedDrives(const QString& root);
    bool IsNestedDrive(dev_t device) const;

    QString tempPath_;
    int tempFd_ = -1;
    std::atomic<bool> searching_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{true};
    bool wave_ = true, midi_ = true;
    bool background_ = false;
    BOOL drives_[26] = {};
    SearchCallback callback_;
    uintptr_t user_ = 0;
    std::thread worker_;
    QStringList excluded_;
    std::vector<dev_t> nestedDevices_;
};

// Reads a search data file: the records whose path is not empty.
std::vector<SOUNDSTRUCT> ReadSearchFile(const QString& path);

// Replaces the search data file `to` with a copy of the finished search `from`, whole or
// not at all (a temporary file beside it, renamed over it). False on any failure.
bool PublishSearchFile(const QString& from, const QString& to);
