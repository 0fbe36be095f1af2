// The codec layer: sound formats of WAV files and the conversions between them.
//
// Formats are WAVEFORMATEX records followed by their extra bytes (cbSize of them). The
// layer knows PCM (8 or 16 bits, 1 or 2 channels, 1000 to 192000 samples per second),
// Microsoft ADPCM, GSM 6.10 and DSP Group TrueSpeech (decoding; encoding when the
// program carries an encoder for it). Decoding and encoding run on libavcodec, rate
// changes on libsoxr.
//
// A stream converts directly only where one codec does the whole job: PCM to PCM of any
// rate, width and channel count, and a compressed format to or from 16-bit PCM of the
// same rate and channels. Anything else is answered with ACMERR_NOTPOSSIBLE (512), and
// the caller goes through an intermediate format that a suggestion names.
//
// WaveFileReader reads the format and the data of a WAV file, every size checked, and
// WaveDecoder reads its data as PCM as it goes, decoding compressed data on the fly.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "platform/wave.h"

inline constexpr WORD WAVE_FORMAT_ADPCM = 2;
inline constexpr WORD WAVE_FORMAT_IMA_ADPCM = 17;
inline constexpr WORD WAVE_FORMAT_DSPGROUP_TRUESPEECH = 34;
inline constexpr WORD WAVE_FORMAT_GSM610 = 49;

// The conversion is not possible in one step.
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

// The largest format record (header and extra bytes) of any format the layer knows.
DWORD acmFormatMaxSize();
// A format's name for people ("PCM", "Microsoft ADPCM", ...); "unknown" for other tags.
const char* acmFormatTagName(WORD tag);
// Whether the layer reads the tag at all (PCM, ADPCM, GSM 6.10, TrueSpeech).
bool acmFormatTagSupported(WORD tag);
// Whether the layer can write the tag.
bool acmFormatTagEncodes(WORD tag);

// Frames one block of the format holds: 1 for PCM, the codec's block length for the
// compressed formats, 0 for a tag the layer does not know or a block too small for its
// header. Only the header is read.
inline int acmSamplesPerBlock(const WAVEFORMATEX* format) {
    if (!format || format->nChannels == 0)
        return 0;
    switch (format->wFormatTag) {
        case WAVE_FORMAT_PCM:
            return 1;
        case WAVE_FORMAT_ADPCM:
            // Two frames in the block header, two 4-bit samples in each byte after it.
            if (format->nBlockAlign <= 7 * format->nChannels)
                return 0;
            return (format->nBlockAlign - 7 * format->nChannels) * 2 / format->nChannels + 2;
        case WAVE_FORMAT_GSM610:
            return 320;
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            return 240;
    }
    return 0;
}

// Whether the record is a well-formed format of a supported tag: channel count, rate,
// block alignment, bits and extra bytes within what the format allows. size is the number
// of bytes the caller holds (18 + cbSize must fit it).
bool acmFormatValid(const WAVEFORMATEX* format, std::size_t size);

// A format record with its extra bytes.
using WaveFormatBytes = std::vector<uint8_t>;
inline const WAVEFORMATEX* AsFormat(const WaveFormatBytes& bytes) {
    return reinterpret_cast<const WAVEFORMATEX*>(bytes.data());
}
// The usual formats: PCM, and the layer's canonical record of each compressed tag at a
// rate and channel count (nullopt-like empty vector where the tag cannot have them).
WaveFormatBytes MakePcmFormat(WORD channels, DWORD rate, WORD bits);
WaveFormatBytes MakeCodecFormat(WORD tag, WORD channels, DWORD rate);

// Suggestion flags: which fields of the destination record bind the suggestion.
inline constexpr DWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
inline constexpr DWORD ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
inline constexpr DWORD ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
inline constexpr DWORD ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;

// Fills dst (dstSize bytes) with a format that pairs with src (one of the two converts
// directly to the other), keeping the fields the flags name from dst as given. Without a
// tag a compressed source suggests its 16-bit PCM and PCM suggests itself. Returns
// ACMERR_NOTPOSSIBLE when no format fits, MMSYSERR_INVALPARAM for a bad record or a
// buffer too small for the answer.
MMRESULT acmFormatSuggest(const WAVEFORMATEX* src, WAVEFORMATEX* dst, DWORD dstSize, DWORD flags);

// Enumeration flags: which fields of the given format bind the list.
inline constexpr DWORD ACM_FORMATENUMF_WFORMATTAG = 0x00010000;
inline constexpr DWORD ACM_FORMATENUMF_NCHANNELS = 0x00020000;
inline constexpr DWORD ACM_FORMATENUMF_NSAMPLESPERSEC = 0x00040000;
inline constexpr DWORD ACM_FORMATENUMF_WBITSPERSAMPLE = 0x00080000;
// Only formats the given one converts to in one step.
inline constexpr DWORD ACM_FORMATENUMF_CONVERT = 0x00100000;

// The standard formats (rates 8000, 11025, 22050 and 44100), in a fixed order, filtered
// by the flags. The callback returns false to stop.
MMRESULT acmFormatEnum(const WAVEFORMATEX* format, DWORD flags,
                       const std::function<bool(const WAVEFORMATEX* format)>& callback);

// Streams.
struct AcmStream;
using HACMSTREAM = AcmStream*;

inline constexpr DWORD ACM_STREAMOPENF_QUERY = 0x00000001;
inline constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;

inline constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;

// Convert flags. BLOCKALIGN: use only whole blocks of the input, leaving the rest unused
// for the next call. END: the input ends with this call; everything held back is put out
// (more calls with END and no input give the rest when the buffer was too small).
inline constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
inline constexpr DWORD ACM_STREAMCONVERTF_START = 0x00000010;
inline constexpr DWORD ACM_STREAMCONVERTF_END = 0x00000020;

inline constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

struct ACMSTREAMHEADER {
    DWORD fdwStatus = 0;
    const BYTE* pbSrc = nullptr;
    DWORD cbSrcLength = 0;
    DWORD cbSrcLengthUsed = 0;
    BYTE* pbDst = nullptr;
    DWORD cbDstLength = 0;
    DWORD cbDstLengthUsed = 0;
};

// Opens a stream from src to dst. ACMERR_NOTPOSSIBLE when no one codec converts between
// them; with ACM_STREAMOPENF_QUERY only that answer is given and no stream is made.
MMRESULT acmStreamOpen(HACMSTREAM* stream, const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                       DWORD flags);
// The most output bytes `input` source bytes give (SOURCE), or the source bytes needed for
// `input` output bytes (DESTINATION).
MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, DWORD* output, DWORD flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
// Converts what it can of the header's input into its output. Input it did not use is
// left for the caller to give again (cbSrcLengthUsed); output that did not fit is kept
// and comes first in the next call.
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);

// Why the last failing call on this thread failed, in words for people; empty after a
// success.
QString acmLastErrorText();

// What a WAV file holds, as read by WaveFileReader.
enum class WaveFileError {
    None = 0,
    NoFile,       // missing or unreadable
    NotRegular,   // a directory, FIFO, device...
    NotWave,      // no RIFF "WAVE" form, or no "fmt " or "data" chunk
    BadFormat,    // the "fmt " chunk holds sizes the format cannot have
    Unsupported,  // a well-formed format of a tag the layer does not read
};
const char* WaveFileErrorText(WaveFileError error);

struct WaveFileInfo {
    WaveFormatBytes format;  // the "fmt " chunk, extra bytes within cbSize and the chunk
    int64_t dataOffset = 0;
    int64_t dataSize = 0;  // cut to what the file holds
};

// Reads the header of a WAV file opened by the caller (a regular file). The format's
// extra bytes are cut to maxFormatSize - 18 when larger (0: no cut).
WaveFileError ReadWaveFileInfo(std::FILE* file, WaveFileInfo* info, std::size_t maxFormatSize = 0);
// Opens path for reading when it is a regular file (never blocking on a FIFO).
std::FILE* OpenRegularFile(const QString& path, WaveFileError* error);

// Reads a WAV file's sound as PCM: PCM data as it stands, compressed data decoded to
// 16-bit PCM of its rate and channels block by block as it is read.
class WaveDecoder {
public:
    static std::unique_ptr<WaveDecoder> Open(const QString& path, WaveFileError* error);
    ~WaveDecoder();
    WaveDecoder(const WaveDecoder&) = delete;
    WaveDecoder& operator=(const WaveDecoder&) = delete;

    // The file's own format (with its extra bytes) and the PCM format Read delivers.
    const WAVEFORMATEX* FileFormat() const { return AsFormat(info_.format); }
    const WAVEFORMATEX& PcmFormat() const { return pcm_; }
    // Frames of PCM the whole data gives.
    int64_t Frames() const { return frames_; }
    // Fills up to `bytes` (rounded down to whole frames) with the next PCM; returns the
    // count, 0 at the end, -1 when the data cannot be decoded.
    int64_t Read(char* out, int64_t bytes);

private:
    WaveDecoder() = default;
    std::FILE* file_ = nullptr;
    WaveFileInfo info_;
    WAVEFORMATEX pcm_{};
    int64_t frames_ = 0;
    int64_t read_ = 0;  // data bytes read from the file
    HACMSTREAM stream_ = nullptr;
    std::vector<uint8_t> in_, out_;
    std::size_t outAt_ = 0;  // decoded bytes of out_ not yet delivered
    bool ended_ = false;
};
