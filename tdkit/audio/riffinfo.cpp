// The metadata chunks of sound files: "DESC", "NOTE", "MAIL" and "AOL ", found by walking
// the top-level chunk headers from the start of the file.
//
// Writers edit the file's list of top-level chunks and write the whole file anew beside
// the old one, then rename it over: chunks they do not know, and bytes after the last
// chunk they can walk to, are copied as they stand. A record that keeps its size (the
// played mark of "NOTE", the heard flag of "MAIL") is patched in place instead.
#include "tdkit/audio/riffinfo.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/codec.h"
#include "platform/riff.h"

static_assert(std::endian::native == std::endian::little,
              "records are stored little-endian and copied as they stand in memory");

namespace {

constexpr FOURCC kDesc = RiffFourCC("DESC");
constexpr FOURCC kNote = RiffFourCC("NOTE");
constexpr FOURCC kMail = RiffFourCC("MAIL");
constexpr FOURCC kAol = RiffFourCC("AOL ");
constexpr FOURCC kWave = RiffFourCC("WAVE");
constexpr FOURCC kRmid = RiffFourCC("RMID");
constexpr FOURCC kFmt = RiffFourCC("fmt ");
constexpr FOURCC kData = RiffFourCC("data");

// Largest chunk data this code writes: the size field is 32 bits and the pad must fit.
constexpr uint64_t kMaxChunkData = 0xFFFFFFFEu;
// Top-level chunks a writer is prepared to handle; a sound file has a handful.
constexpr std::size_t kMaxTopLevelChunks = 4096;

uint32_t GetLE32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t GetLE16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void AppendLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendBytes(std::vector<uint8_t>& out, const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

// Whole seconds of a WAV file: blocks of data × frames per block / samples per second. 0 when
// the form, its format or its data cannot be found, or the format is degenerate.
DWORD WaveSeconds(RiffFile& file) {
    RiffChunk form;
    form.fccType = kWave;
    if (file.Seek(0) != 0 || file.Descend(form, nullptr, RiffFind::Riff) != RiffError::None)
        return 0;
    RiffChunk fmt;
    fmt.ckid = kFmt;
    if (file.Descend(fmt, &form, RiffFind::Chunk) != RiffError::None)
        return 0;
    // The leading fields of a WAVEFORMATEX: tag, channels, rate, bytes/s, block align.
    unsigned char format[18] = {};
    const int64_t want = std::min<int64_t>(fmt.cksize, sizeof format);
    if (want < 14 || !file.ReadExact(format, want))
        return 0;
    const uint32_t samplesPerSec = GetLE32(format + 4);
    const uint16_t blockAlign = GetLE16(format + 12);
    if (samplesPerSec == 0 || blockAlign == 0)
        return 0;
    // The data chunk is looked for from the start of the form, wherever it stands.
    if (file.Seek(form.dataOffset + 4) < 0)
        return 0;
    RiffChunk data;
    data.ckid = kData;
    if (file.Descend(data, &form, RiffFind::Chunk) != RiffError::None)
        return 0;
    // Compressed data holds a number of frames in each block.
    WAVEFORMATEX header{};
    std::memcpy(&header, format, sizeof header);
    const int perBlock = std::max(1, acmSamplesPerBlock(&header));
    return static_cast<DWORD>(uint64_t(data.cksize / blockAlign) * perBlock / samplesPerSec);
}

// The description step of both readers: type and text from "DESC", or type 1 and an empty
// text when the file has none. A text longer than the buffer fails, or with cut is
// shortened to the buffer (at a character boundary of a UTF-8 text) and zero-terminated.
bool ReadDescription(RiffFile& file, WAVEFILETYPE& type, char* text, UINT size, bool cut) {
    if (file.Seek(0) != 0)
        return false;
    RiffChunk desc;
    desc.ckid = kDesc;
    const RiffError found = file.Descend(desc, nullptr, RiffFind::Chunk);
    if (found == RiffError::NotFound) {
        type = WAVEFILETYPE_SOUND;
        if (text && size > 0)
            text[0] = '\0';
        return true;
    }
    if (found != RiffError::None)
        return false;
    unsigned char head[4];
    if (desc.cksize < 4 || !file.ReadExact(head, 4))
        return false;
    type = static_cast<WAVEFILETYPE>(static_cast<int32_t>(GetLE32(head)));
    const uint32_t n = desc.cksize - 4;
    if (n == 0) {
        if (text && size > 0)
            text[0] = '\0';
        return true;
    }
    if (!text || size == 0)
        return false;
    if (n > size) {
        if (!cut)
            return false;
        // Read one byte past what is kept, to see whether the cut splits a character.
        std::vector<char> kept(size);
        if (!file.ReadExact(kept.data(), size))
            return false;
        std::size_t end = size - 1;
        while (end > 0 && (static_cast<unsigned char>(kept[end]) & 0xC0) == 0x80)
            --end;
        if (end == 0)
            end = size - 1;
        std::memcpy(text, kept.data(), end);
        text[end] = '\0';
        return true;
    }
    if (!file.ReadExact(text, n))
        return false;
    if (text[n - 1] != '\0') {
        // Stored without its zero: it still has to fit the buffer with one.
        if (n < size)
            text[n] = '\0';
        else if (cut)
            text[size - 1] = '\0';
        else
            return false;
    }
    return true;
}

ChunkError DescriptionData(WAVEFILETYPE type, const char* description, std::vector<uint8_t>& data) {
    const char* text = description ? description : "";
    const std::size_t length = std::strlen(text);
    // Every reader keeps the text in a field of kDescriptionBufferSize bytes: a longer
    // one would be lost there.
    if (length >= kDescriptionBufferSize)
        return ChunkError::TooLong;
    data.clear();
    data.reserve(length + 5);
    AppendLE32(data, static_cast<uint32_t>(type));
    AppendBytes(data, text, length + 1);
    return ChunkError::None;
}

// Where a stored voicegram record is read from.
class MemorySource {
public:
    MemorySource(const void* data, std::size_t size)
        : p_(static_cast<const unsigned char*>(data)), left_(size) {}
    uint64_t Left() const { return left_; }
    bool Read(void* out, std::size_t n) {
        if (n > left_)
            return false;
        std::memcpy(out, p_, n);
        p_ += n;
        left_ -= n;
        return true;
    }
    bool Skip(std::size_t n) {
        if (n > left_)
            return false;
        p_ += n;
        left_ -= n;
        return true;
    }

private:
    const unsigned char* p_;
    std::size_t left_;
};

// The data of an open chunk, from the current position.
class ChunkSource {
public:
    ChunkSource(RiffFile& file, uint32_t size) : file_(file), left_(size) {}
    uint64_t Left() const { return left_; }
    bool Read(void* out, std::size_t n) {
        if (n > left_ || !file_.ReadExact(out, static_cast<int64_t>(n)))
            return false;
        left_ -= n;
        return true;
    }
    bool Skip(std::size_t n) {
        if (n > left_ || file_.Seek(static_cast<int64_t>(n), SEEK_CUR) < 0)
            return false;
        left_ -= n;
        return true;
    }

private:
    RiffFile& file_;
    uint64_t left_;
};

// Reads one stored record. With out null the record is only checked and measured. Each
// length is believed only when that many bytes are left, so nothing larger than the
// stored data is ever allocated.
template <class Source>
bool ParseRecord(Source& source, VOICEGRAMINFOSTRUCT* out, uint64_t& used) {
    const uint64_t start = source.Left();
    VOICEGRAMINFOSTRUCT record{};
    bool ok = false;
    auto readU32 = [&](DWORD& value) {
        unsigned char b[4];
        if (!source.Read(b, 4))
            return false;
        value = GetLE32(b);
        return true;
    };
    auto readText = [&](char*& text, bool list) {
        DWORD length = 0;
        if (!readU32(length) || length > source.Left())
            return false;
        if (length == 0)
            return true;
        if (!out)
            return source.Skip(length);
        // One zero more for a text, two for a list, so the string always ends in memory.
        const std::size_t extra = list ? 2 : 1;
        std::unique_ptr<char[]> s(new (std::nothrow) char[length + extra]);
        if (!s || !source.Read(s.get(), length))
            return false;
        std::memset(s.get() + length, 0, extra);
        text = s.release();
        return true;
    };
    ok = readText(record.text1, false) && readU32(record.value2) && readText(record.text3, false) &&
         readText(record.text4, false) && readText(record.text5, false) &&
         readText(record.text6, false) && readText(record.list7, true) &&
         readText(record.list8, true) && readU32(record.heard);
    if (!ok) {
        FreeVoicegramInfo(&record);
        return false;
    }
    used = start - source.Left();
    if (out)
        *out = record;
    return true;
}

// Bytes of a list up to and including its closing double zero.
std::size_t ListLength(const char* list) {
    std::size_t i = 0;
    while (!(list[i] == '\0' && list[i + 1] == '\0'))
        ++i;
    return i + 2;
}

thread_local ChunkError tLastError = ChunkError::None;

// Records why the call fails; returns 0 for the caller to pass on.
int Fail(ChunkError error) {
    tLastError = error;
    return 0;
}

ChunkError FromRiff(RiffError error) {
    switch (error) {
        case RiffError::None:
            return ChunkError::None;
        case RiffError::Busy:
            return ChunkError::Busy;
        case RiffError::NotRegular:
            return ChunkError::NotRegular;
        case RiffError::CannotOpen:
        case RiffError::Exists:
            return ChunkError::CannotOpen;
        case RiffError::NotFound:
            return ChunkError::NotFound;
        case RiffError::Read:
        case RiffError::Seek:
        case RiffError::Stopped:
            return ChunkError::Read;
        case RiffError::Write:
        case RiffError::TooLarge:
            return ChunkError::Write;
    }
    return ChunkError::Read;
}

std::unique_ptr<RiffFile> OpenRead(const QString& path) {
    RiffError error = RiffError::None;
    auto file = RiffFile::Open(path, RiffFile::Mode::Read, &error);
    if (!file)
        Fail(FromRiff(error));
    return file;
}

std::unique_ptr<RiffFile> OpenWrite(const QString& path) {
    RiffError error = RiffError::None;
    auto file = RiffFile::Open(path, RiffFile::Mode::ReadWrite, &error);
    if (!file) {
        const QFileInfo info(path);
        if (error == RiffError::CannotOpen && info.isFile() && !info.isWritable())
            Fail(ChunkError::ReadOnly);
        else
            Fail(FromRiff(error));
    }
    return file;
}

// Finds the top-level chunk id from the start of the file.
bool FindTopLevel(RiffFile& file, FOURCC id, RiffChunk& chunk) {
    chunk = RiffChunk{};
    chunk.ckid = id;
    return file.Seek(0) == 0 && file.Descend(chunk, nullptr, RiffFind::Chunk) == RiffError::None;
}

// The top-level chunks of a file, edited in memory and written out as a new file.
//
// The walk takes chunks from the start of the file for as long as their headers can be
// believed; whatever follows (a chunk without its pad byte, a trailing tag of another
// program, bytes past a size that was cut short) is the tail, carried over byte for byte
// behind the chunks. Chunks that do not change are copied as they stand.
class TopLevelChunks {
public:
    explicit TopLevelChunks(RiffFile& file) : file_(file) {}

    bool Load() {
        if (file_.Seek(0) != 0)
            return Fail(ChunkError::Read);
        int64_t end = 0;
        for (;;) {
            RiffChunk c;
            const RiffError e = file_.Descend(c, nullptr, RiffFind::Next);
            if (e == RiffError::NotFound)
                break;
            if (e != RiffError::None)
                return Fail(FromRiff(e));
            if (chunks_.size() >= kMaxTopLevelChunks)
                return Fail(ChunkError::Damaged);
            Entry entry;
            entry.id = c.ckid;
            entry.formType = c.fccType;
            entry.size = c.cksize;
            entry.offset = c.dataOffset - 8;
            chunks_.push_back(std::move(entry));
            end = c.paddedEnd();
            if (file_.Seek(end) != end)
                return Fail(ChunkError::Read);
        }
        tailStart_ = std::min(end, file_.Size());
        return true;
    }

    int Find(FOURCC id) const {
        for (std::size_t i = 0; i < chunks_.size(); ++i)
            if (chunks_[i].id == id)
                return static_cast<int>(i);
        return -1;
    }

    int FindForm(FOURCC type) const {
        for (std::size_t i = 0; i < chunks_.size(); ++i)
            if (chunks_[i].id == kFourCCRiff && chunks_[i].formType == type)
                return static_cast<int>(i);
        return -1;
    }

    // Replaces the data of the first chunk id, or inserts the chunk at index when there is
    // none. Returns the chunk's index, or -1 (with the reason recorded) when a chunk
    // inserted there would split a form from chunks that belong to it.
    int Put(FOURCC id, std::vector<uint8_t> data, int index) {
        const int found = Find(id);
        if (found >= 0) {
            chunks_[found].data = std::move(data);
            chunks_[found].changed = true;
            return found;
        }
        if (index > 0 && !EndsWhole(chunks_[index - 1])) {
            Fail(ChunkError::Damaged);
            return -1;
        }
        Entry entry;
        entry.id = id;
        entry.changed = true;
        entry.data = std::move(data);
        chunks_.insert(chunks_.begin() + index, std::move(entry));
        return index;
    }

    // "DESC" where it stands, or directly after the form of type formType.
    int PutDescription(WAVEFILETYPE type, const char* description, FOURCC formType) {
        std::vector<uint8_t> data;
        if (const ChunkError e = DescriptionData(type, description, data); e != ChunkError::None) {
            Fail(e);
            return -1;
        }
        if (Find(kDesc) < 0) {
            const int form = FindForm(formType);
            if (form < 0) {
                Fail(ChunkError::NoForm);
                return -1;
            }
            return Put(kDesc, std::move(data), form + 1);
        }
        return Put(kDesc, std::move(data), 0);
    }

    // Writes the new file beside the old one and renames it over; the old file stands as
    // it was when anything fails.
    bool Commit(const QString& path) {
        RiffError error = RiffError::None;
        auto out = RiffFile::OpenReplacement(path, &error);
        if (!out)
            return Fail(error == RiffError::Busy ? ChunkError::Busy : ChunkError::Write);
        const int64_t fileSize = file_.Size();
        for (std::size_t i = 0; i < chunks_.size(); ++i) {
            const Entry& c = chunks_[i];
            if (c.changed) {
                if (c.data.size() > kMaxChunkData)
                    return Fail(ChunkError::TooLong);
                RiffChunk chunk;
                chunk.ckid = c.id;
                if (out->Create(chunk) != RiffError::None ||
                    !out->WriteExact(c.data.data(), static_cast<int64_t>(c.data.size())) ||
                    out->Ascend(chunk) != RiffError::None)
                    return Fail(ChunkError::Write);
                continue;
            }
            const int64_t padded = c.offset + 8 + c.size + (c.size & 1);
            const int64_t stored = std::min(padded, fileSize);
            if (!out->CopyFrom(file_, c.offset, stored - c.offset))
                return Fail(ChunkError::Write);
            // The last chunk of the old file may lack its pad byte; one that is followed
            // now gets it.
            if (stored < padded && i + 1 < chunks_.size()) {
                const unsigned char pad = 0;
                if (!out->WriteExact(&pad, 1))
                    return Fail(ChunkError::Write);
            }
        }
        if (!out->CopyFrom(file_, tailStart_, fileSize - tailStart_))
            return Fail(ChunkError::Write);
        if (out->CommitReplacement(&file_) != RiffError::None)
            return Fail(ChunkError::Write);
        return true;
    }

private:
    struct Entry {
        FOURCC id = 0;
        FOURCC formType = 0;
        uint32_t size = 0;
        int64_t offset = -1;  // of the header; -1 for a new chunk
        bool changed = false;
        std::vector<uint8_t> data;  // the new data of a changed chunk
    };

    // Whether the chunks inside a form end within it. When a form's size was cut short
    // while its chunks go on past it, a chunk written after the form would land inside
    // its audio; such a file is refused instead.
    bool EndsWhole(const Entry& form) {
        if (form.offset < 0 || (form.id != kFourCCRiff && form.id != kFourCCList))
            return true;
        const int64_t end = form.offset + 8 + form.size;
        int64_t pos = form.offset + 12;
        while (end - pos >= 8) {
            unsigned char head[8];
            if (file_.Seek(pos) != pos || !file_.ReadExact(head, 8))
                return false;
            const FOURCC id = GetLE32(head);
            const uint32_t size = GetLE32(head + 4);
            if (!RiffFile::IsPlausibleId(id))
                return true;
            const int64_t next = pos + 8 + size;
            if (next > end)
                return false;
            pos = next + (size & 1);
        }
        return true;
    }

    RiffFile& file_;
    std::vector<Entry> chunks_;
    int64_t tailStart_ = 0;
};

int Finish(std::unique_ptr<RiffFile>& file, bool ok) {
    const bool closed = file->Close() == RiffError::None;
    if (ok && !closed)
        return Fail(ChunkError::Write);
    return ok && closed ? 1 : 0;
}

}  // namespace

void FreeVoicegramInfo(VOICEGRAMINFOSTRUCT* info) {
    if (!info)
        return;
    for (char** text : {&info->text1, &info->text3, &info->text4, &info->text5, &info->text6,
                        &info->list7, &info->list8}) {
        delete[] * text;
        *text = nullptr;
    }
}

std::vector<uint8_t> SerializeVoicegramInfo(const VOICEGRAMINFOSTRUCT& info) {
    std::vector<uint8_t> out;
    auto text = [&out](const char* s, bool list) {
        const std::size_t length = s == nullptr ? 0 : list ? ListLength(s) : std::strlen(s) + 1;
        if (length > kMaxChunkData)
            return false;
        AppendLE32(out, static_cast<uint32_t>(length));
        if (length)
            AppendBytes(out, s, length);
        return out.size() <= kMaxChunkData;
    };
    const bool ok = text(info.text1, false) && (AppendLE32(out, info.value2), true) &&
                    text(info.text3, false) && text(info.text4, false) && text(info.text5, false) &&
                    text(info.text6, false) && text(info.list7, true) && text(info.list8, true);
    if (!ok || out.size() + 4 > kMaxChunkData)
        return {};
    AppendLE32(out, info.heard);
    return out;
}

bool ParseVoicegramInfo(const void* data, std::size_t size, VOICEGRAMINFOSTRUCT& info,
                        std::size_t* used) {
    if (!data && size > 0)
        return false;
    MemorySource source(data, size);
    uint64_t n = 0;
    if (!ParseRecord(source, &info, n))
        return false;
    if (used)
        *used = static_cast<std::size_t>(n);
    return true;
}

const char* ChunkErrorText(ChunkError error) {
    switch (error) {
        case ChunkError::None:
            return "no error";
        case ChunkError::CannotOpen:
            return "the file cannot be opened";
        case ChunkError::NotRegular:
            return "it is not a regular file";
        case ChunkError::Busy:
            return "the file is in use";
        case ChunkError::ReadOnly:
            return "the file is read-only";
        case ChunkError::Read:
            return "the file cannot be read";
        case ChunkError::Write:
            return "the file cannot be written (the disk may be full); it was left as it was";
        case ChunkError::NotFound:
            return "the chunk is missing or cannot be read";
        case ChunkError::NoForm:
            return "the file has no RIFF form of that type";
        case ChunkError::Damaged:
            return "the file's chunk sizes do not agree with its contents; it was left as it "
                   "was";
        case ChunkError::TooLong:
            return "the description is too long";
    }
    return "unknown error";
}

ChunkError LastChunkError() {
    return tLastError;
}

int AddInfoToRIFFFile(const QString& path, WAVEFILETYPE type, const char* description,
                      const VOICEGRAMINFOSTRUCT* info) {
    tLastError = ChunkError::None;
    if (!info)
        return Fail(ChunkError::NotFound);
    std::vector<uint8_t> record = SerializeVoicegramInfo(*info);
    if (record.empty())
        return Fail(ChunkError::TooLong);
    auto file = OpenWrite(path);
    if (!file)
        return 0;
    TopLevelChunks chunks(*file);
    if (!chunks.Load())
        return Finish(file, false);
    const int desc = chunks.PutDescription(type, description, kWave);
    if (desc < 0 || chunks.Put(kMail, std::move(record), desc + 1) < 0)
        return Finish(file, false);
    return Finish(file, chunks.Commit(path));
}

int GetInfoFromRIFFFile(const QString& path, WAVEFILETYPE& type, char* description,
                        UINT descriptionSize, DWORD& seconds, VOICEGRAMINFOSTRUCT* info) {
    tLastError = ChunkError::None;
    auto file = OpenRead(path);
    if (!file)
        return 0;
    seconds = WaveSeconds(*file);
    if (!ReadDescription(*file, type, description, descriptionSize, false))
        return Fail(ChunkError::TooLong);
    if (info) {
        RiffChunk mail;
        if (!FindTopLevel(*file, kMail, mail))
            return Fail(ChunkError::NotFound);
        ChunkSource source(*file, mail.cksize);
        uint64_t used = 0;
        if (!ParseRecord(source, info, used))
            return Fail(ChunkError::NotFound);
    }
    return 1;
}

int AddNoteInfoToRIFFFile(const QString& path, WAVEFILETYPE type, const char* description,
                          const ECHOMEMOSTRUCT* note, SOUNDFILETYPE soundType) {
    tLastError = ChunkError::None;
    if (!note)
        return Fail(ChunkError::NotFound);
    auto file = OpenWrite(path);
    if (!file)
        return 0;
    TopLevelChunks chunks(*file);
    if (!chunks.Load())
        return Finish(file, false);
    const FOURCC form = soundType == SOUNDFILETYPE_WAV ? kWave : kRmid;
    const int desc = chunks.PutDescription(type, description, form);
    if (desc < 0)
        return Finish(file, false);
    std::vector<uint8_t> record(sizeof(ECHOMEMOSTRUCT));
    std::memcpy(record.data(), note, sizeof(ECHOMEMOSTRUCT));
    if (chunks.Put(kNote, std::move(record), desc + 1) < 0)
        return Finish(file, false);
    return Finish(file, chunks.Commit(path));
}

int GetNoteInfoFromRIFFFile(const QString& path, WAVEFILETYPE& type, char* description,
                            UINT descriptionSize, DWORD& seconds, ECHOMEMOSTRUCT* note,
                            SOUNDFILETYPE soundType, LongDescription longDescription) {
    tLastError = ChunkError::None;
    auto file = OpenRead(path);
    if (!file)
        return 0;
    seconds = 0;
    if (soundType == SOUNDFILETYPE_WAV)
        seconds = WaveSeconds(*file);
    if (!ReadDescription(*file, type, description, descriptionSize,
                         longDescription == LongDescription::Cut))
        return Fail(ChunkError::TooLong);
    RiffChunk chunk;
    if (!FindTopLevel(*file, kNote, chunk) || chunk.cksize < sizeof(ECHOMEMOSTRUCT))
        return Fail(ChunkError::NotFound);
    ECHOMEMOSTRUCT record;
    if (!file->ReadExact(&record, sizeof record))
        return Fail(ChunkError::Read);
    if (note)
        *note = record;
    return 1;
}

int MarkNoteAsAlreadyPlayed(const QString& path, BOOL played, DWORD time) {
    tLastError = ChunkError::None;
    auto file = OpenWrite(path);
    if (!file)
        return 0;
    RiffChunk chunk;
    ECHOMEMOSTRUCT record;
    if (!FindTopLevel(*file, kNote, chunk) || chunk.cksize < sizeof record ||
        !file->ReadExact(&record, sizeof record)) {
        Fail(ChunkError::NotFound);
        return Finish(file, false);
    }
    record.played = played ? 1 : 0;
    record.lastPlayed = time;
    // The record keeps its size: it is patched where it stands, in one write that the
    // file system does whole, so the file never needs to be rebuilt for it.
    const bool ok = file->Seek(chunk.dataOffset) == chunk.dataOffset &&
                    file->WriteExact(&record, sizeof record);
    if (!ok)
        Fail(ChunkError::Write);
    return Finish(file, ok);
}

int MarkMailAsHeard(const QString& path, DWORD heard) {
    tLastError = ChunkError::None;
    auto file = OpenWrite(path);
    if (!file)
        return 0;
    RiffChunk chunk;
    if (!FindTopLevel(*file, kMail, chunk)) {
        Fail(ChunkError::NotFound);
        return Finish(file, false);
    }
    ChunkSource source(*file, chunk.cksize);
    uint64_t used = 0;
    if (!ParseRecord(source, nullptr, used)) {
        Fail(ChunkError::NotFound);
        return Finish(file, false);
    }
    unsigned char value[4];
    for (int i = 0; i < 4; ++i)
        value[i] = static_cast<unsigned char>(heard >> (8 * i));
    const int64_t at = chunk.dataOffset + static_cast<int64_t>(used) - 4;
    const bool ok = file->Seek(at) == at && file->WriteExact(value, 4);
    if (!ok)
        Fail(ChunkError::Write);
    return Finish(file, ok);
}

int AddAOLSendMailInfoToRIFFFile(const QString& path, const QString& to, const QString& cc,
                                 const QString& subject, const QString& noteText) {
    tLastError = ChunkError::None;
    std::vector<uint8_t> data;
    for (const QString* text : {&to, &cc, &subject, &noteText}) {
        const QByteArray bytes = text->toLocal8Bit();
        // As a C string: up to its first zero.
        const std::size_t length = strnlen(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (data.size() + length + 5 > kMaxChunkData)
            return Fail(ChunkError::TooLong);
        AppendLE32(data, static_cast<uint32_t>(length + 1));
        AppendBytes(data, bytes.constData(), length);
        data.push_back(0);
    }
    auto file = OpenWrite(path);
    if (!file)
        return 0;
    TopLevelChunks chunks(*file);
    if (!chunks.Load())
        return Finish(file, false);
    const int form = chunks.FindForm(kWave);
    if (form < 0) {
        Fail(ChunkError::NoForm);
        return Finish(file, false);
    }
    if (chunks.Put(kAol, std::move(data), form + 1) < 0)
        return Finish(file, false);
    return Finish(file, chunks.Commit(path));
}

int GetAOLSendMailInfoFromRIFFFile(const QString& path, QString& to, QString& cc, QString& subject,
                                   QString& noteText) {
    tLastError = ChunkError::None;
    auto file = OpenRead(path);
    if (!file)
        return 0;
    RiffChunk chunk;
    if (!FindTopLevel(*file, kAol, chunk))
        return Fail(ChunkError::NotFound);
    ChunkSource source(*file, chunk.cksize);
    for (QString* text : {&to, &cc, &subject, &noteText}) {
        unsigned char head[4];
        if (!source.Read(head, 4))
            return Fail(ChunkError::NotFound);
        const uint32_t length = GetLE32(head);
        if (length > source.Left())
            return Fail(ChunkError::NotFound);
        QByteArray bytes(static_cast<qsizetype>(length), '\0');
        if (!source.Read(bytes.data(), length))
            return Fail(ChunkError::Read);
        *text = QString::fromLocal8Bit(bytes.constData(),
                                       static_cast<qsizetype>(strnlen(bytes.constData(), length)));
    }
    return 1;
}

int CreateRMIDFile(const QString& midiPath, const QString& rmiPath) {
    tLastError = ChunkError::None;
    auto midi = OpenRead(midiPath);
    if (!midi)
        return 0;
    // The form holds its type, the data chunk's header and the MIDI data.
    if (static_cast<uint64_t>(midi->Size()) + 12 > kMaxChunkData)
        return Fail(ChunkError::TooLong);
    // A destination that someone has open through RiffFile is not replaced under them.
    std::unique_ptr<RiffFile> held;
    if (QFileInfo::exists(rmiPath)) {
        held = OpenWrite(rmiPath);
        if (!held)
            return 0;
    }
    RiffError error = RiffError::None;
    auto out = RiffFile::OpenReplacement(rmiPath, &error);
    if (!out)
        return Fail(FromRiff(error));

    RiffChunk form;
    form.fccType = kRmid;
    RiffChunk data;
    data.ckid = kData;
    bool ok = out->Create(form, RiffCreate::Riff) == RiffError::None &&
              out->Create(data) == RiffError::None;
    ok = ok && out->CopyFrom(*midi, 0, midi->Size());
    ok = ok && out->Ascend(data) == RiffError::None && out->Ascend(form) == RiffError::None;
    if (ok)
        ok = out->CommitReplacement(held.get()) == RiffError::None;
    return ok ? 1 : Fail(ChunkError::Write);
}

int GetSoundFileType(const QString& path, SOUNDFILETYPE& type) {
    tLastError = ChunkError::None;
    auto file = OpenRead(path);
    if (!file)
        return 0;
    RiffChunk chunk;
    chunk.ckid = kFourCCRiff;
    while (file->Descend(chunk, nullptr, RiffFind::Chunk) == RiffError::None) {
        if (chunk.fccType == kWave || chunk.fccType == kRmid) {
            type = chunk.fccType == kWave ? SOUNDFILETYPE_WAV : SOUNDFILETYPE_RMI;
            return 1;
        }
        if (file->Ascend(chunk) != RiffError::None)
            return Fail(ChunkError::Read);
        chunk.ckid = kFourCCRiff;
    }
    return Fail(ChunkError::NoForm);
}

bool WriteDescChunk(RiffFile& file, WAVEFILETYPE type, const char* description) {
    tLastError = ChunkError::None;
    std::vector<uint8_t> data;
    if (const ChunkError e = DescriptionData(type, description, data); e != ChunkError::None)
        return Fail(e);
    RiffChunk chunk;
    chunk.ckid = kDesc;
    const bool ok = file.Create(chunk) == RiffError::None &&
                    file.WriteExact(data.data(), static_cast<int64_t>(data.size())) &&
                    file.Ascend(chunk) == RiffError::None && file.Truncate() == RiffError::None;
    return ok ? true : Fail(ChunkError::Write);
}
