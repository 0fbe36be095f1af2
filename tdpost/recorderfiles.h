// What the recorder drawers do with files, free of any window: posting a recording as an
// Echo Memo, saving it, placing it on the desktop, importing a sound into the recording
// (replace, append, insert before, mix), a snapshot for the clipboard, and finding work
// files that a crashed session left behind.
//
// Every operation that makes a lasting file builds it under a temporary name beside its
// target and renames it into place only when complete; a final name chosen by the system
// is created exclusively first, so an existing file is never overwritten.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include "platform/types.h"
#include "platform/wave.h"
#include "tdkit/audio/riffinfo.h"

class CRecord;
class NamedMutex;

// Copies source's bytes to destination (created or truncated) and flushes them to disk.
bool CopyFileContents(const QString& source, const QString& destination);

// True when both paths name the same file (links and different spellings included).
bool IsSameFile(const QString& a, const QString& b);

// A regular file that can be opened for reading (never opens a FIFO or a device).
bool IsRegularReadableFile(const QString& path);

struct PostResult {
    QString path;                    // the memo file, empty on failure
    QString error;                   // what went wrong, for the trace
    bool compressionFailed = false;  // the codec layer could not compress the recording
};

// The work file as a new Echo Memo "SAY<hex>.WAV" in memoDir, with "DESC" of type 5 and
// the description and "NOTE" with the memo record; compressed to the compression format
// of the codec layer when compress is set. Nothing is left behind on failure.
PostResult PostEchoMemoFile(const QString& workFile, const QString& memoDir,
                            const char* description, const ECHOMEMOSTRUCT& memo,
                            bool compress = false);

// The work file as a new "TDF<hex>.WAV" in dir.
PostResult PlaceFileInDirectory(const QString& workFile, const QString& dir,
                                const QString& prefix = QStringLiteral("TDF"));

// The work file saved as destination (the user has agreed to replace an existing one).
// destination is replaced whole or not at all.
bool SaveWorkFileAs(const QString& workFile, const QString& destination);

// A copy of the work file for the clipboard, named name, in a folder of its own below the
// private temporary folder, so the clipboard keeps the recording as it is now while the
// drawer goes on changing or deletes its work file. Empty on failure.
QString MakeClipboardSnapshot(const QString& workFile, const QString& name);

// The format of a WAV file; false when it has none that can be read.
bool ReadWavFormat(const QString& path, WAVEFORMATEX* format);

// Converts a PCM WAV file (8 or 16 bits, one or two channels, any rate) to the target PCM
// format: channels mixed down or doubled, bits widened or narrowed, the rate changed by
// linear interpolation. false for other formats or a file error.
bool ConvertPcmFile(const QString& source, const QString& destination, const WAVEFORMATEX& target);

// How an import joins the recording.
enum class ImportMode { Replace = 0, Append = 1, Insert = 2, Mix = 3 };

enum class ImportError {
    None,
    SameFile,  // the source is the work file itself
    NotAFile,  // not a regular readable file
    TempFile,  // no temporary file could be made
    Failed,    // a copy, append or mix step failed
};

// Joins source (already in the recorder's format) to the work file. The work is done on a
// temporary copy, which replaces the work file only when every step has succeeded; on
// failure the work file is as it was. recorder must have no file open.
ImportError ImportIntoWorkFile(CRecord& recorder, ImportMode mode, const QString& source,
                               const QString& workFile);

// Work files of the recorder drawers: the live ones are held (a named lock per file, so a
// drawer of another bar sees them as taken too); the others are what a crashed session
// left behind.
class WorkFileHold {
public:
    explicit WorkFileHold(const QString& path);
    ~WorkFileHold();
    bool IsHeld() const { return held_; }
    const QString& Path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<NamedMutex> lock_;
    bool held_ = false;
};

// The recorder work files in the private temporary folder that nobody holds and that hold
// a recording, newest first.
QStringList FindOrphanWorkFiles();

// Mends the header of a WAV file whose writer stopped without finishing it: the "data"
// chunk is given the length of the whole frames that follow it, the RIFF form the length
// of the file, and a cut-off partial frame is dropped. Samples in the file afterwards;
// 0 when it holds no usable recording.
DWORD RepairWorkFile(const QString& path);
