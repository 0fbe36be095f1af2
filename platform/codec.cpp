#include "platform/codec.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/codec_engine.h"

namespace {

thread_local QString lastError;

MMRESULT Fail(MMRESULT code, const QString& why) {
    lastError = why;
    return code;
}

MMRESULT Ok() {
    lastError.clear();
    return MMSYSERR_NOERROR;
}

constexpr DWORD kMinRate = 1000;
constexpr DWORD kMaxRate = 192000;
constexpr std::array<DWORD, 4> kStandardRates = {8000, 11025, 22050, 44100};

// Microsoft ADPCM's seven predictor coefficient pairs, as every file of the format
// carries them in its extra bytes.
constexpr int16_t kAdpcmCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                              {240, 0}, {460, -208}, {392, -232}};
constexpr WORD kAdpcmExtra = 32;  // samples per block, coefficient count, 7 pairs
constexpr WORD kGsmExtra = 2;     // samples per block
constexpr WORD kTrueSpeechExtra = 32;

void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

WAVEFORMATEX Header(const WaveFormatBytes& bytes) {
    WAVEFORMATEX f;
    std::memcpy(&f, bytes.data(), sizeof f);
    return f;
}

bool IsCodecTag(WORD tag) {
    return tag == WAVE_FORMAT_ADPCM || tag == WAVE_FORMAT_GSM610 ||
           tag == WAVE_FORMAT_DSPGROUP_TRUESPEECH;
}

}  // namespace

DWORD acmFormatMaxSize() {
    return sizeof(WAVEFORMATEX) + std::max(kAdpcmExtra, kTrueSpeechExtra);
}

const char* acmFormatTagName(WORD tag) {
    switch (tag) {
        case WAVE_FORMAT_PCM:
            return "PCM";
        case WAVE_FORMAT_ADPCM:
            return "Microsoft ADPCM";
        case WAVE_FORMAT_IMA_ADPCM:
            return "IMA ADPCM";
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            return "DSP Group TrueSpeech";
        case WAVE_FORMAT_GSM610:
            return "GSM 6.10";
        case 3:
            return "IEEE float";
        case 6:
            return "A-law";
        case 7:
            return "mu-law";
        case 0x55:
            return "MPEG layer 3";
        case 0xFFFE:
            return "extensible";
    }
    return "unknown";
}

bool acmFormatTagSupported(WORD tag) {
    return tag == WAVE_FORMAT_PCM || IsCodecTag(tag);
}

bool acmFormatTagEncodes(WORD tag) {
    if (tag == WAVE_FORMAT_DSPGROUP_TRUESPEECH)
        return codec_engine::HaveTrueSpeechEncoder();
    return acmFormatTagSupported(tag);
}

int codec_engine::SamplesPerBlock(const WAVEFORMATEX& f) {
    return acmSamplesPerBlock(&f);
}

bool acmFormatValid(const WAVEFORMATEX* format, std::size_t size) {
    if (!format || size < 16)
        return false;
    WAVEFORMATEX f{};
    std::memcpy(&f, format, std::min(size, sizeof f));
    const std::size_t extra = size >= sizeof f ? f.cbSize : 0;
    if (f.wFormatTag != WAVE_FORMAT_PCM && (size < sizeof f || sizeof f + extra > size))
        return false;
    if (f.nChannels < 1 || f.nChannels > 2 || f.nSamplesPerSec < kMinRate ||
        f.nSamplesPerSec > kMaxRate || f.nBlockAlign == 0)
        return false;
    switch (f.wFormatTag) {
        case WAVE_FORMAT_PCM:
            return (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
                   f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
        case WAVE_FORMAT_ADPCM:
            // A block holds its 7-byte header per channel and at least one more byte.
            return f.wBitsPerSample == 4 && f.nBlockAlign > 7 * f.nChannels &&
                   f.nBlockAlign <= 8192;
        case WAVE_FORMAT_GSM610:
            return f.nChannels == 1 && f.nBlockAlign == 65;
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            return f.nChannels == 1 && f.nBlockAlign == 32;
    }
    return false;
}

WaveFormatBytes MakePcmFormat(WORD channels, DWORD rate, WORD bits) {
    WaveFormatBytes bytes(sizeof(WAVEFORMATEX));
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    std::memcpy(bytes.data(), &f, sizeof f);
    return bytes;
}

WaveFormatBytes MakeCodecFormat(WORD tag, WORD channels, DWORD rate) {
    if (channels < 1 || channels > 2 || rate < kMinRate || rate > kMaxRate)
        return {};
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    WaveFormatBytes extra;
    switch (tag) {
        case WAVE_FORMAT_ADPCM: {
            // 256 bytes a channel up to 11025 Hz, doubling with each doubling of the rate.
            int factor = 1;
            while (DWORD(factor) * 2 * 11025 <= rate && factor < 8)
                factor *= 2;
            f.nBlockAlign = static_cast<WORD>(256 * channels * factor);
            f.wBitsPerSample = 4;
            const int spb = codec_engine::SamplesPerBlock(f);
            f.nAvgBytesPerSec = static_cast<DWORD>(uint64_t(rate) * f.nBlockAlign / spb);
            extra.resize(kAdpcmExtra);
            PutLe16(&extra[0], static_cast<uint16_t>(spb));
            PutLe16(&extra[2], 7);
            for (int i = 0; i < 7; ++i) {
                PutLe16(&extra[4 + 4 * i], static_cast<uint16_t>(kAdpcmCoefficients[i][0]));
                PutLe16(&extra[6 + 4 * i], static_cast<uint16_t>(kAdpcmCoefficients[i][1]));
            }
            break;
        }
        case WAVE_FORMAT_GSM610:
            if (channels != 1)
                return {};
            f.nBlockAlign = 65;
            f.wBitsPerSample = 0;
            f.nAvgBytesPerSec = (rate * 65 + 160) / 320;
            extra.resize(kGsmExtra);
            PutLe16(&extra[0], 320);
            break;
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            if (channels != 1 || rate != 8000)
                return {};
            f.nBlockAlign = 32;
            f.wBitsPerSample = 1;
            f.nAvgBytesPerSec = 1067;
            extra.resize(kTrueSpeechExtra);
            PutLe16(&extra[0], 1);    // revision
            PutLe16(&extra[2], 240);  // samples per block
            break;
        default:
            return {};
    }
    f.cbSize = static_cast<WORD>(extra.size());
    WaveFormatBytes bytes(sizeof f);
    std::memcpy(bytes.data(), &f, sizeof f);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    return bytes;
}

namespace {

// Whether one codec converts src to dst in one step (both valid).
bool Direct(const WAVEFORMATEX& s, const WAVEFORMATEX& d) {
    const bool sPcm = s.wFormatTag == WAVE_FORMAT_PCM;
    const bool dPcm = d.wFormatTag == WAVE_FORMAT_PCM;
    if (sPcm && dPcm)
        return true;
    const bool sameShape = s.nSamplesPerSec == d.nSamplesPerSec && s.nChannels == d.nChannels;
    if (!sPcm && dPcm)
        return sameShape && d.wBitsPerSample == 16;
    if (sPcm && !dPcm)
        return sameShape && s.wBitsPerSample == 16 && acmFormatTagEncodes(d.wFormatTag);
    return false;
}

// Whether a and b pair: one converts to the other in one step.
bool Pairs(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return Direct(a, b) || Direct(b, a);
}

// The formats of one tag that could pair with src: the standard ones and those of src's
// own rate and channels.
std::vector<WaveFormatBytes> Candidates(WORD tag, const WAVEFORMATEX& src) {
    std::vector<DWORD> rates = {src.nSamplesPerSec};
    for (DWORD r : kStandardRates)
        if (r != src.nSamplesPerSec)
            rates.push_back(r);
    std::vector<WORD> channels = {src.nChannels, WORD(src.nChannels == 1 ? 2 : 1)};
    std::vector<WORD> bits = {16, 8};
    if (tag == WAVE_FORMAT_PCM && src.wFormatTag == WAVE_FORMAT_PCM && src.wBitsPerSample == 8)
        bits = {8, 16};
    std::vector<WaveFormatBytes> out;
    for (DWORD r : rates)
        for (WORD c : channels) {
            if (tag == WAVE_FORMAT_PCM) {
                for (WORD b : bits)
                    out.push_back(MakePcmFormat(c, r, b));
            } else if (WaveFormatBytes f = MakeCodecFormat(tag, c, r); !f.empty()) {
                out.push_back(std::move(f));
            }
        }
    return out;
}

}  // namespace

MMRESULT acmFormatSuggest(const WAVEFORMATEX* src, WAVEFORMATEX* dst, DWORD dstSize, DWORD flags) {
    if (!src || !dst || !acmFormatValid(src, sizeof(WAVEFORMATEX) + src->cbSize) ||
        dstSize < sizeof(WAVEFORMATEX))
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("not a format the codec layer knows"));
    const WAVEFORMATEX want = *dst;
    WORD tag = src->wFormatTag;
    if (flags & ACM_FORMATSUGGESTF_WFORMATTAG)
        tag = want.wFormatTag;
    else if (src->wFormatTag != WAVE_FORMAT_PCM)
        tag = WAVE_FORMAT_PCM;
    if (!acmFormatTagSupported(tag))
        return Fail(
            ACMERR_NOTPOSSIBLE,
            QStringLiteral("no codec for the format %1 (%2)").arg(acmFormatTagName(tag)).arg(tag));
    for (const WaveFormatBytes& bytes : Candidates(tag, *src)) {
        const WAVEFORMATEX c = Header(bytes);
        if ((flags & ACM_FORMATSUGGESTF_NCHANNELS) && c.nChannels != want.nChannels)
            continue;
        if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && c.nSamplesPerSec != want.nSamplesPerSec)
            continue;
        if ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) && c.wBitsPerSample != want.wBitsPerSample)
            continue;
        if (!Pairs(*src, c))
            continue;
        if (bytes.size() > dstSize)
            return Fail(MMSYSERR_INVALPARAM, QStringLiteral("format buffer too small"));
        std::memcpy(dst, bytes.data(), bytes.size());
        return Ok();
    }
    return Fail(ACMERR_NOTPOSSIBLE,
                QStringLiteral("no %1 format pairs with %2")
                    .arg(acmFormatTagName(tag), acmFormatTagName(src->wFormatTag)));
}

MMRESULT acmFormatEnum(const WAVEFORMATEX* format, DWORD flags,
                       const std::function<bool(const WAVEFORMATEX*)>& callback) {
    if (!callback || (flags && !format))
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("nothing to enumerate with"));
    const bool convert = flags & ACM_FORMATENUMF_CONVERT;
    if (convert && !acmFormatValid(format, sizeof(WAVEFORMATEX) + format->cbSize))
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("not a format the codec layer knows"));
    for (WORD tag : {WAVE_FORMAT_PCM, WAVE_FORMAT_ADPCM, WAVE_FORMAT_GSM610,
                     WAVE_FORMAT_DSPGROUP_TRUESPEECH}) {
        if ((flags & ACM_FORMATENUMF_WFORMATTAG) && tag != format->wFormatTag)
            continue;
        for (DWORD rate : kStandardRates)
            for (WORD channels : {WORD(1), WORD(2)})
                for (WORD bits : {WORD(8), WORD(16)}) {
                    WaveFormatBytes bytes;
                    if (tag == WAVE_FORMAT_PCM)
                        bytes = MakePcmFormat(channels, rate, bits);
                    else if (bits == 16)  // one record per rate and channel count
                        bytes = MakeCodecFormat(tag, channels, rate);
                    if (bytes.empty())
                        continue;
                    const WAVEFORMATEX f = Header(bytes);
                    if ((flags & ACM_FORMATENUMF_NCHANNELS) && f.nChannels != format->nChannels)
                        continue;
                    if ((flags & ACM_FORMATENUMF_NSAMPLESPERSEC) &&
                        f.nSamplesPerSec != format->nSamplesPerSec)
                        continue;
                    if ((flags & ACM_FORMATENUMF_WBITSPERSAMPLE) &&
                        f.wBitsPerSample != format->wBitsPerSample)
                        continue;
                    if (convert && !Direct(*format, f))
                        continue;
                    if (!callback(AsFormat(bytes)))
                        return Ok();
                }
    }
    return Ok();
}

// Streams.

struct AcmStream {
    std::unique_ptr<codec_engine::Pipeline> pipeline;
    WAVEFORMATEX src{}, dst{};
};

MMRESULT acmStreamOpen(HACMSTREAM* stream, const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                       DWORD flags) {
    const bool query = flags & ACM_STREAMOPENF_QUERY;
    if (!query && !stream)
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("no stream handle"));
    if (stream)
        *stream = nullptr;
    for (const WAVEFORMATEX* f : {src, dst})
        if (!f || !acmFormatTagSupported(f->wFormatTag))
            return Fail(ACMERR_NOTPOSSIBLE, QStringLiteral("no codec for the format %1 (%2)")
                                                .arg(f ? acmFormatTagName(f->wFormatTag) : "none")
                                                .arg(f ? f->wFormatTag : 0));
    for (const WAVEFORMATEX* f : {src, dst})
        if (!acmFormatValid(
                f, sizeof(WAVEFORMATEX) + (f->wFormatTag == WAVE_FORMAT_PCM ? 0 : f->cbSize)))
            return Fail(WAVERR_BADFORMAT, QStringLiteral("the %1 format record is damaged")
                                              .arg(acmFormatTagName(f->wFormatTag)));
    if (dst->wFormatTag == WAVE_FORMAT_DSPGROUP_TRUESPEECH &&
        !codec_engine::HaveTrueSpeechEncoder())
        return Fail(ACMERR_NOTPOSSIBLE,
                    QStringLiteral("this program has no encoder for DSP Group TrueSpeech"));
    if (!Direct(*src, *dst))
        return Fail(ACMERR_NOTPOSSIBLE,
                    QStringLiteral("no one codec converts %1 %2 Hz %3 channel(s) to %4 %5 Hz %6 "
                                   "channel(s)")
                        .arg(acmFormatTagName(src->wFormatTag))
                        .arg(src->nSamplesPerSec)
                        .arg(src->nChannels)
                        .arg(acmFormatTagName(dst->wFormatTag))
                        .arg(dst->nSamplesPerSec)
                        .arg(dst->nChannels));
    if (query)
        return Ok();
    auto s = std::make_unique<AcmStream>();
    s->src = *src;
    s->dst = *dst;
    QString why;
    s->pipeline = codec_engine::Pipeline::Create(src, dst, &why);
    if (!s->pipeline)
        return Fail(MMSYSERR_ERROR, why);
    *stream = s.release();
    return Ok();
}

MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, DWORD* output, DWORD flags) {
    if (!stream || !output)
        return Fail(MMSYSERR_INVALHANDLE, QStringLiteral("no stream"));
    const bool source = (flags & ACM_STREAMSIZEF_DESTINATION) == 0;
    const WAVEFORMATEX& from = source ? stream->src : stream->dst;
    const WAVEFORMATEX& to = source ? stream->dst : stream->src;
    // Frames the given bytes hold, rounded up to whole blocks.
    const uint64_t blocks = (uint64_t(input) + from.nBlockAlign - 1) / from.nBlockAlign;
    const uint64_t frames = blocks * codec_engine::SamplesPerBlock(from);
    // A rate change and the filter's delay may give a few frames more.
    const uint64_t outFrames = frames * to.nSamplesPerSec / from.nSamplesPerSec + 1 +
                               (from.nSamplesPerSec != to.nSamplesPerSec ? 4096 : 0);
    const int spb = codec_engine::SamplesPerBlock(to);
    const uint64_t bytes = (outFrames + spb - 1) / spb * to.nBlockAlign + to.nBlockAlign;
    if (bytes > 0xFFFFFFFFull)
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("too much data for one call"));
    *output = static_cast<DWORD>(bytes);
    return Ok();
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
    if (!stream)
        return Fail(MMSYSERR_INVALHANDLE, QStringLiteral("no stream"));
    if (!header || !header->pbDst || header->cbDstLength == 0 ||
        (header->cbSrcLength && !header->pbSrc))
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("the stream header has no buffers"));
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    return Ok();
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
    if (!stream)
        return Fail(MMSYSERR_INVALHANDLE, QStringLiteral("no stream"));
    if (!header || !(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return Fail(ACMERR_UNPREPARED, QStringLiteral("the stream header is not prepared"));
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return Ok();
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags) {
    if (!stream)
        return Fail(MMSYSERR_INVALHANDLE, QStringLiteral("no stream"));
    if (!header || !(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return Fail(ACMERR_UNPREPARED, QStringLiteral("the stream header is not prepared"));
    if (!header->pbDst || (header->cbSrcLength && !header->pbSrc))
        return Fail(MMSYSERR_INVALPARAM, QStringLiteral("the stream header has no buffers"));
    QString why;
    if (!stream->pipeline->Convert(header, flags, &why))
        return Fail(MMSYSERR_ERROR, why);
    return Ok();
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD) {
    if (!stream)
        return Fail(MMSYSERR_INVALHANDLE, QStringLiteral("no stream"));
    delete stream;
    return Ok();
}

QString acmLastErrorText() {
    return lastError;
}
