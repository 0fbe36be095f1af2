// WAV file headers and the on-the-fly decoder of the codec layer.
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/codec.h"
#include "platform/codec_engine.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadAt(std::FILE* file, int64_t offset, void* data, std::size_t size) {
    return fseeko(file, offset, SEEK_SET) == 0 && std::fread(data, 1, size, file) == size;
}

// Whether id is four printable characters, as every writer of chunks uses them. A walk
// stops at any other id: zeros, junk or stale bytes after the last real chunk are never
// stepped through header by header.
bool PlausibleId(const uint8_t* id) {
    return std::all_of(id, id + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

// Chunk headers read through one window of the file: a file of many small chunks costs
// one read per window, not one per header.
class HeaderWindow {
public:
    explicit HeaderWindow(std::FILE* file) : file_(file) {}

    bool Read(int64_t at, uint8_t* out, std::size_t size) {
        if (at < start_ || at + int64_t(size) > start_ + int64_t(bytes_)) {
            if (fseeko(file_, at, SEEK_SET) != 0)
                return false;
            bytes_ = std::fread(window_, 1, sizeof window_, file_);
            start_ = at;
            if (bytes_ < size)
                return false;
        }
        std::memcpy(out, window_ + (at - start_), size);
        return true;
    }

private:
    std::FILE* file_;
    int64_t start_ = 0;
    std::size_t bytes_ = 0;
    uint8_t window_[16384];
};

// Bytes of one decoding call: whole blocks, about 10 000 bytes of input.
constexpr std::size_t kDecodePiece = 10000;

}  // namespace

const char* WaveFileErrorText(WaveFileError error) {
    switch (error) {
        case WaveFileError::None:
            return "no error";
        case WaveFileError::NoFile:
            return "the file cannot be read";
        case WaveFileError::NotRegular:
            return "not a regular file";
        case WaveFileError::NotWave:
            return "not a WAV file";
        case WaveFileError::BadFormat:
            return "the WAV file's format record is damaged";
        case WaveFileError::Unsupported:
            return "the WAV file's format is not supported";
    }
    return "unknown error";
}

std::FILE* OpenRegularFile(const QString& path, WaveFileError* error) {
    // Opened without blocking, so a FIFO cannot hold the caller; then refused unless the
    // descriptor is a regular file.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = WaveFileError::NoFile;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = WaveFileError::NotRegular;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        *error = WaveFileError::NoFile;
        return nullptr;
    }
    *error = WaveFileError::None;
    return file;
}

WaveFileError ReadWaveFileInfo(std::FILE* file, WaveFileInfo* info, std::size_t maxFormatSize) {
    if (fseeko(file, 0, SEEK_END) != 0)
        return WaveFileError::NoFile;
    const int64_t fileSize = ftello(file);
    uint8_t riff[12];
    if (fileSize < 12 || !ReadAt(file, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return WaveFileError::NotWave;
    // The form ends where its size says, or at the end of the file when that is sooner.
    const int64_t end = std::min<int64_t>(fileSize, 8 + int64_t(Le32(riff + 4)));
    bool haveFormat = false, haveData = false;
    HeaderWindow headers(file);
    for (int64_t at = 12; at + 8 <= end && !(haveFormat && haveData);) {
        uint8_t header[8];
        if (!headers.Read(at, header, 8))
            return WaveFileError::NoFile;
        if (!PlausibleId(header))
            break;
        const int64_t size = Le32(header + 4);
        const int64_t body = at + 8;
        const int64_t avail = std::min<int64_t>(size, end - body);
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            if (avail < 16)
                return WaveFileError::BadFormat;
            // Header and extra bytes: as many as cbSize says, as the chunk holds and as
            // the caller takes, whichever is fewest.
            const int64_t headerBytes = std::min<int64_t>(avail, sizeof(WAVEFORMATEX));
            WAVEFORMATEX f{};
            if (!ReadAt(file, body, &f, static_cast<std::size_t>(headerBytes)))
                return WaveFileError::NoFile;
            int64_t extra = headerBytes == int64_t(sizeof f) ? f.cbSize : 0;
            extra = std::min<int64_t>(extra, avail - int64_t(sizeof f));
            if (f.wFormatTag == WAVE_FORMAT_PCM)
                extra = 0;
            if (maxFormatSize >= sizeof f)
                extra = std::min<int64_t>(extra, int64_t(maxFormatSize - sizeof f));
            extra = std::max<int64_t>(extra, 0);
            f.cbSize = static_cast<WORD>(extra);
            info->format.assign(sizeof f + std::size_t(extra), 0);
            std::memcpy(info->format.data(), &f, sizeof f);
            if (extra && !ReadAt(file, body + int64_t(sizeof f), info->format.data() + sizeof f,
                                 std::size_t(extra)))
                return WaveFileError::NoFile;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0 && !haveData) {
            info->dataOffset = body;
            info->dataSize = std::max<int64_t>(avail, 0);
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    if (!haveFormat || !haveData)
        return WaveFileError::NotWave;
    const WAVEFORMATEX* f = AsFormat(info->format);
    if (!acmFormatTagSupported(f->wFormatTag))
        return WaveFileError::Unsupported;
    if (!acmFormatValid(f, info->format.size()))
        return WaveFileError::BadFormat;
    return WaveFileError::None;
}

std::unique_ptr<WaveDecoder> WaveDecoder::Open(const QString& path, WaveFileError* error) {
    std::FILE* file = OpenRegularFile(path, error);
    if (!file)
        return nullptr;
    auto d = std::unique_ptr<WaveDecoder>(new WaveDecoder);
    d->file_ = file;
    if ((*error = ReadWaveFileInfo(file, &d->info_)) != WaveFileError::None)
        return nullptr;
    const WAVEFORMATEX& f = *d->FileFormat();
    const int64_t blocks = d->info_.dataSize / f.nBlockAlign;
    const int64_t rest = d->info_.dataSize % f.nBlockAlign;
    if (f.wFormatTag == WAVE_FORMAT_PCM) {
        d->pcm_ = f;
        d->pcm_.cbSize = 0;
        d->frames_ = blocks;
    } else {
        const WaveFormatBytes pcm = MakePcmFormat(f.nChannels, f.nSamplesPerSec, 16);
        std::memcpy(&d->pcm_, pcm.data(), sizeof d->pcm_);
        d->frames_ = blocks * codec_engine::SamplesPerBlock(f);
        // A last ADPCM block cut short still holds the frames of its whole nibbles.
        if (f.wFormatTag == WAVE_FORMAT_ADPCM && rest > 7 * f.nChannels)
            d->frames_ += (rest - 7 * f.nChannels) * 2 / f.nChannels + 2;
        if (acmStreamOpen(&d->stream_, d->FileFormat(), &d->pcm_, ACM_STREAMOPENF_NONREALTIME) !=
            MMSYSERR_NOERROR) {
            *error = WaveFileError::Unsupported;
            return nullptr;
        }
    }
    if (fseeko(file, d->info_.dataOffset, SEEK_SET) != 0) {
        *error = WaveFileError::NoFile;
        return nullptr;
    }
    return d;
}

WaveDecoder::~WaveDecoder() {
    if (stream_)
        acmStreamClose(stream_, 0);
    if (file_)
        std::fclose(file_);
}

int64_t WaveDecoder::Read(char* out, int64_t bytes) {
    const int64_t frame = pcm_.nBlockAlign;
    bytes -= bytes % frame;
    if (bytes <= 0)
        return 0;
    if (!stream_) {
        // PCM: the data as it stands, ending at a whole frame.
        const int64_t n = std::min(bytes, info_.dataSize - info_.dataSize % frame - read_);
        if (n <= 0)
            return 0;
        const std::size_t got = std::fread(out, 1, static_cast<std::size_t>(n), file_);
        read_ += int64_t(got);
        return int64_t(got) - int64_t(got) % frame;
    }
    int64_t done = 0;
    while (done < bytes) {
        if (outAt_ < out_.size()) {
            const int64_t n = std::min<int64_t>(bytes - done, int64_t(out_.size() - outAt_));
            std::memcpy(out + done, out_.data() + outAt_, std::size_t(n));
            outAt_ += std::size_t(n);
            done += n;
            continue;
        }
        if (ended_)
            break;
        // The next whole blocks of the data, and the end of the stream with the last.
        const WAVEFORMATEX& f = *FileFormat();
        std::size_t want =
            std::max<std::size_t>(f.nBlockAlign, kDecodePiece / f.nBlockAlign * f.nBlockAlign);
        want = std::size_t(std::min<int64_t>(int64_t(want), info_.dataSize - read_));
        in_.resize(want);
        const std::size_t got = want ? std::fread(in_.data(), 1, want, file_) : 0;
        read_ += int64_t(got);
        const bool last = got < want || read_ >= info_.dataSize;
        DWORD outSize = 0;
        if (acmStreamSize(stream_, DWORD(std::max<std::size_t>(got, 1)), &outSize,
                          ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
            return -1;
        out_.resize(outSize);
        outAt_ = 0;
        ACMSTREAMHEADER h;
        h.pbSrc = in_.data();
        h.cbSrcLength = DWORD(got);
        h.pbDst = out_.data();
        h.cbDstLength = DWORD(out_.size());
        if (acmStreamPrepareHeader(stream_, &h, 0) != MMSYSERR_NOERROR ||
            acmStreamConvert(stream_, &h,
                             last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN) !=
                MMSYSERR_NOERROR)
            return done ? done : -1;
        out_.resize(h.cbDstLengthUsed);
        ended_ = last;
    }
    return done - done % frame;
}
