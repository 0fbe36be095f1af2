// Buffered input and output of RIFF files: chunks found by walking their headers, created
// at the current position, and closed with their sizes rewritten.
//
// A chunk is an 8-byte header (four-character id, 32-bit little-endian data size) and its
// data, padded to an even length. "RIFF" and "LIST" chunks begin their data with a
// four-character form type and hold further chunks.
//
// An open RiffFile holds an advisory lock (flock) on the file: readers share one, a writer
// holds it alone. While a writer has the file open every other open of it, from this or
// any other thread or process, fails with RiffError::Busy; readers do not keep each other
// out. Only regular files are opened: a FIFO or a device named like a sound file is
// refused before anything could block on it.
//
// Every size read from a file is checked against the bytes left in the file and in the
// enclosing chunk before it is believed; a header that does not fit ends the search, and
// so does an id that is not four printable characters (zeros, junk, or stale bytes are
// never walked through header by header).
//
// Files are changed as a whole through a replacement: a new file beside the old one,
// written and then renamed over it, so a reader that holds the old file keeps seeing it
// whole, and a writer that dies half way leaves the old file as it was.
#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

using FOURCC = uint32_t;

// The four characters of id as a little-endian code, e.g. RiffFourCC("fmt ").
constexpr FOURCC RiffFourCC(const char (&id)[5]) {
    return static_cast<FOURCC>(static_cast<uint8_t>(id[0])) |
           static_cast<FOURCC>(static_cast<uint8_t>(id[1])) << 8 |
           static_cast<FOURCC>(static_cast<uint8_t>(id[2])) << 16 |
           static_cast<FOURCC>(static_cast<uint8_t>(id[3])) << 24;
}

inline constexpr FOURCC kFourCCRiff = RiffFourCC("RIFF");
inline constexpr FOURCC kFourCCList = RiffFourCC("LIST");

// Outcome of a RiffFile operation. NotFound means that a search reached the end of its
// file or enclosing chunk (or a header that cannot be believed) without a match.
enum class RiffError {
    None = 0,
    NotFound,
    CannotOpen,
    Busy,    // another RiffFile has the file open
    Exists,  // Mode::CreateNew and the file is there
    Read,
    Write,
    Seek,
    TooLarge,    // a chunk would grow past 4 GB
    NotRegular,  // a directory, FIFO, device or socket, not a file
    Stopped,     // the stop flag was raised during a search
};

// Plain words for an error, for messages and traces.
const char* RiffErrorText(RiffError error);

// Where a chunk stands in its file, like the multimedia system's chunk records.
struct RiffChunk {
    FOURCC ckid = 0;
    uint32_t cksize = 0;     // size of the data field, form type included
    FOURCC fccType = 0;      // form type of a "RIFF" or "LIST" chunk
    int64_t dataOffset = 0;  // file offset of the data field
    // Set by Create, or by the caller after writing into a chunk: Ascend then writes the
    // chunk's size from the current position and pads it to an even length.
    bool dirty = false;

    int64_t end() const { return dataOffset + cksize; }
    int64_t paddedEnd() const { return dataOffset + cksize + (cksize & 1); }
};

// How Descend finds its chunk.
enum class RiffFind {
    Next,   // the chunk whose header is at the current position
    Chunk,  // the first chunk with ckid
    Riff,   // the first "RIFF" chunk with form type fccType
    List,   // the first "LIST" chunk with form type fccType
};

// What Create writes.
enum class RiffCreate { Chunk, Riff, List };

class RiffFile {
public:
    enum class Mode {
        Read,       // an existing file, read only
        ReadWrite,  // an existing file
        Create,     // created, or emptied when it exists; read and write
        CreateNew,  // created; fails with RiffError::Exists when it exists
    };

    // Opens path; on failure returns null and sets *error (when given).
    static std::unique_ptr<RiffFile> Open(const QString& path, Mode mode,
                                          RiffError* error = nullptr);
    // A new, empty, exclusively locked file beside path (in the same directory, under a
    // hidden temporary name, mode 0600) that CommitReplacement later renames over path.
    // When path is a symbolic link the link's target is the file replaced.
    static std::unique_ptr<RiffFile> OpenReplacement(const QString& path,
                                                     RiffError* error = nullptr);
    // Flushes the replacement to disk, gives it the mode and owner of original (when
    // given; an owner that cannot be kept fails), and renames it over the path it was made
    // for. On failure the temporary file is removed and the old file stands as it was.
    // The object is closed afterwards either way.
    RiffError CommitReplacement(const RiffFile* original);
    ~RiffFile();  // flushes; a flush failure is lost here, so writers call Close(). An
                  // uncommitted replacement is removed.

    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // Reads up to size bytes at the current position; returns the count read (short at
    // the end of the file) or -1 on an error.
    int64_t Read(void* buffer, int64_t size);
    // Reads exactly size bytes; false (position unspecified) when fewer are there.
    bool ReadExact(void* buffer, int64_t size);
    // Writes size bytes at the current position; returns size or -1.
    int64_t Write(const void* buffer, int64_t size);
    bool WriteExact(const void* buffer, int64_t size) { return Write(buffer, size) == size; }
    // Moves the position (whence SEEK_SET, SEEK_CUR or SEEK_END); returns the new position
    // or -1. A position past the end is allowed; writing there fills the gap with zeros.
    int64_t Seek(int64_t offset, int whence = SEEK_SET);
    int64_t Tell() const { return pos_; }
    bool IsWritable() const { return writable_; }
    int64_t Size() const { return size_; }
    // The size of the file as it stands on disk, without what is still buffered; -1 when
    // it cannot be told.
    int64_t StoredSize() const;
    // Copies length bytes from offset of source to the current position; false when
    // source has fewer or a write fails.
    bool CopyFrom(RiffFile& source, int64_t offset, int64_t length);

    // A flag that another thread raises to end a long search: Descend then returns
    // RiffError::Stopped. Null (the default) for none; the flag must outlive its use.
    void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    // Finds a chunk from the current position and moves to the start of its data (past
    // the form type of a "RIFF" or "LIST"). With a parent the search stays inside the
    // parent's data; without one it runs to the end of the file. Each step reads one
    // header and moves to the padded end of its chunk. On NotFound the position is
    // unspecified.
    RiffError Descend(RiffChunk& chunk, const RiffChunk* parent, RiffFind find);
    // Steps out of a chunk to its padded end. A dirty chunk first gets its size from the
    // current position (which must lie at or after its data start) and a zero pad byte
    // when that size is odd.
    RiffError Ascend(RiffChunk& chunk);
    // Writes a chunk header (with chunk.ckid, chunk.cksize and, for a form, chunk.fccType)
    // at the current position and moves to the start of its data. The chunk is dirty.
    RiffError Create(RiffChunk& chunk, RiffCreate kind = RiffCreate::Chunk);

    // Cuts the file at the current position.
    RiffError Truncate();
    RiffError Flush();
    // Flushes and closes; the object can only be destroyed afterwards.
    RiffError Close();

    // Whether id is four printable characters, as every writer of RIFF chunks uses them.
    static bool IsPlausibleId(FOURCC id);

private:
    RiffFile(int fd, bool writable, int64_t size);
    bool FillAt(int64_t offset);
    RiffError ReadHeader(RiffChunk& chunk, int64_t limit);

    int fd_ = -1;
    bool writable_ = false;
    int64_t pos_ = 0;
    int64_t size_ = 0;  // the file's size including buffered writes
    // One window of the file: bytes [bufStart_, bufStart_ + buf_.size()) as they stand,
    // with [dirtyBegin_, dirtyEnd_) not yet written out.
    std::vector<unsigned char> buf_;
    int64_t bufStart_ = 0;
    int64_t dirtyBegin_ = 0;
    int64_t dirtyEnd_ = 0;
    bool failed_ = false;  // a write-out failed; Close reports it
    const std::atomic<bool>* stop_ = nullptr;
    QByteArray replaces_;  // for a replacement: the path it goes to, encoded
    QByteArray tempName_;  // for a replacement: its own name until it is committed
};
