// libtdcodec.so: the decoders, encoders and the rate change behind the codec layer's
// streams (libavcodec and libsoxr). libtdplatform loads it when a stream is first opened,
// so programs that never convert (tdtool's file commands, playing a PCM file) start
// without those libraries and the hundred they pull in.
#include "platform/codec_engine.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}
#include <soxr.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/codecmodule/truespeech_encoder.h"

namespace codec_engine {

namespace {

void QuietLibav() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

QString AvText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// Appends the frame's samples to out as interleaved 16-bit values.
bool AppendFrame(const AVFrame* frame, int channels, std::vector<int16_t>& out) {
    const int n = frame->nb_samples;
    const std::size_t at = out.size();
    out.resize(at + std::size_t(n) * channels);
    int16_t* o = out.data() + at;
    switch (frame->format) {
        case AV_SAMPLE_FMT_S16:
            std::memcpy(o, frame->data[0], std::size_t(n) * channels * 2);
            return true;
        case AV_SAMPLE_FMT_S16P:
            for (int c = 0; c < channels; ++c) {
                const auto* p = reinterpret_cast<const int16_t*>(frame->extended_data[c]);
                for (int i = 0; i < n; ++i)
                    o[i * channels + c] = p[i];
            }
            return true;
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP: {
            const bool planar = frame->format == AV_SAMPLE_FMT_FLTP;
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < n; ++i) {
                    const float v =
                        planar ? reinterpret_cast<const float*>(frame->extended_data[c])[i]
                               : reinterpret_cast<const float*>(frame->data[0])[i * channels + c];
                    o[i * channels + c] =
                        static_cast<int16_t>(std::clamp(v * 32768.0f, -32768.0f, 32767.0f));
                }
            return true;
        }
        default:
            out.resize(at);
            return false;
    }
}

// The first stage: input bytes to interleaved 16-bit samples.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual bool Decode(const uint8_t* data, std::size_t size, std::vector<int16_t>& out,
                        QString* why) = 0;
};

class PcmDecoder : public Decoder {
public:
    explicit PcmDecoder(int bits) : bits_(bits) {}
    bool Decode(const uint8_t* data, std::size_t size, std::vector<int16_t>& out,
                QString*) override {
        const std::size_t at = out.size();
        if (bits_ == 8) {
            out.resize(at + size);
            for (std::size_t i = 0; i < size; ++i)
                out[at + i] = static_cast<int16_t>((int(data[i]) - 128) << 8);
        } else {
            out.resize(at + size / 2);
            for (std::size_t i = 0; i < size / 2; ++i)
                out[at + i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
        }
        return true;
    }

private:
    int bits_;
};

AVCodecID CodecId(WORD tag) {
    switch (tag) {
        case WAVE_FORMAT_ADPCM:
            return AV_CODEC_ID_ADPCM_MS;
        case WAVE_FORMAT_GSM610:
            return AV_CODEC_ID_GSM_MS;
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            return AV_CODEC_ID_TRUESPEECH;
    }
    return AV_CODEC_ID_NONE;
}

class AvDecoder : public Decoder {
public:
    static std::unique_ptr<AvDecoder> Create(const WAVEFORMATEX* f, QString* why) {
        QuietLibav();
        const AVCodec* codec = avcodec_find_decoder(CodecId(f->wFormatTag));
        if (!codec) {
            *why = QStringLiteral("libavcodec has no decoder for this format");
            return nullptr;
        }
        auto d = std::unique_ptr<AvDecoder>(new AvDecoder(f->nChannels));
        d->ctx_ = avcodec_alloc_context3(codec);
        d->packet_ = av_packet_alloc();
        d->frame_ = av_frame_alloc();
        if (!d->ctx_ || !d->packet_ || !d->frame_) {
            *why = QStringLiteral("out of memory");
            return nullptr;
        }
        d->ctx_->sample_rate = static_cast<int>(f->nSamplesPerSec);
        av_channel_layout_default(&d->ctx_->ch_layout, f->nChannels);
        d->ctx_->block_align = f->nBlockAlign;
        d->ctx_->bits_per_coded_sample = f->wBitsPerSample;
        if (f->cbSize) {
            d->ctx_->extradata =
                static_cast<uint8_t*>(av_mallocz(f->cbSize + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!d->ctx_->extradata) {
                *why = QStringLiteral("out of memory");
                return nullptr;
            }
            std::memcpy(d->ctx_->extradata, reinterpret_cast<const uint8_t*>(f) + sizeof *f,
                        f->cbSize);
            d->ctx_->extradata_size = f->cbSize;
        }
        if (int e = avcodec_open2(d->ctx_, codec, nullptr); e < 0) {
            *why = QStringLiteral("the decoder refused the format: %1").arg(AvText(e));
            return nullptr;
        }
        return d;
    }
    ~AvDecoder() override {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&ctx_);
    }
    bool Decode(const uint8_t* data, std::size_t size, std::vector<int16_t>& out,
                QString* why) override {
        // The decoder may read a little past the end of its input: give it padding.
        padded_.assign(data, data + size);
        padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet_->data = padded_.data();
        packet_->size = static_cast<int>(size);
        if (int e = avcodec_send_packet(ctx_, packet_); e < 0) {
            *why = QStringLiteral("the data cannot be decoded: %1").arg(AvText(e));
            return false;
        }
        for (;;) {
            const int e = avcodec_receive_frame(ctx_, frame_);
            if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
                return true;
            if (e < 0) {
                *why = QStringLiteral("the data cannot be decoded: %1").arg(AvText(e));
                return false;
            }
            const bool ok = AppendFrame(frame_, channels_, out);
            av_frame_unref(frame_);
            if (!ok) {
                *why = QStringLiteral("the decoder gave an unexpected sample format");
                return false;
            }
        }
    }

private:
    explicit AvDecoder(int channels) : channels_(channels) {}
    int channels_;
    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<uint8_t> padded_;
};

// The last stage: interleaved 16-bit samples to output bytes, a frame of FrameSamples()
// at a time (0: any count).
class Encoder {
public:
    virtual ~Encoder() = default;
    virtual int FrameSamples() const = 0;
    // count frames; fewer than FrameSamples() only for the last call.
    virtual bool Encode(const int16_t* samples, int count, std::vector<uint8_t>& out,
                        QString* why) = 0;
};

class PcmEncoder : public Encoder {
public:
    PcmEncoder(int bits, int channels) : bits_(bits), channels_(channels) {}
    int FrameSamples() const override { return 0; }
    bool Encode(const int16_t* s, int count, std::vector<uint8_t>& out, QString*) override {
        const std::size_t n = std::size_t(count) * channels_;
        const std::size_t at = out.size();
        if (bits_ == 8) {
            out.resize(at + n);
            for (std::size_t i = 0; i < n; ++i)
                out[at + i] = static_cast<uint8_t>(std::min(127, (s[i] + 128) >> 8) + 128);
        } else {
            out.resize(at + 2 * n);
            for (std::size_t i = 0; i < n; ++i) {
                out[at + 2 * i] = static_cast<uint8_t>(s[i]);
                out[at + 2 * i + 1] = static_cast<uint8_t>(uint16_t(s[i]) >> 8);
            }
        }
        return true;
    }

private:
    int bits_, channels_;
};

class AvEncoder : public Encoder {
public:
    static std::unique_ptr<AvEncoder> Create(const WAVEFORMATEX* f, QString* why) {
        QuietLibav();
        const AVCodec* codec = f->wFormatTag == WAVE_FORMAT_GSM610
                                   ? avcodec_find_encoder_by_name("libgsm_ms")
                                   : avcodec_find_encoder(CodecId(f->wFormatTag));
        if (!codec) {
            *why = QStringLiteral("libavcodec has no encoder for this format");
            return nullptr;
        }
        auto e = std::unique_ptr<AvEncoder>(new AvEncoder(f));
        e->ctx_ = avcodec_alloc_context3(codec);
        e->packet_ = av_packet_alloc();
        e->frame_ = av_frame_alloc();
        if (!e->ctx_ || !e->packet_ || !e->frame_) {
            *why = QStringLiteral("out of memory");
            return nullptr;
        }
        e->ctx_->sample_fmt = AV_SAMPLE_FMT_S16;
        e->ctx_->sample_rate = static_cast<int>(f->nSamplesPerSec);
        av_channel_layout_default(&e->ctx_->ch_layout, f->nChannels);
        // GSM is defined at 8000 Hz; other rates are written as the format records say.
        e->ctx_->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
        AVDictionary* options = nullptr;
        if (f->wFormatTag == WAVE_FORMAT_ADPCM)
            av_dict_set_int(&options, "block_size", f->nBlockAlign, 0);
        const int r = avcodec_open2(e->ctx_, codec, &options);
        av_dict_free(&options);
        if (r < 0) {
            *why = QStringLiteral("the encoder refused the format: %1").arg(AvText(r));
            return nullptr;
        }
        if (e->ctx_->frame_size != acmSamplesPerBlock(f) ||
            e->ctx_->block_align != f->nBlockAlign) {
            *why = QStringLiteral("the encoder writes blocks of another size");
            return nullptr;
        }
        return e;
    }
    ~AvEncoder() override {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&ctx_);
    }
    int FrameSamples() const override { return ctx_->frame_size; }
    bool Encode(const int16_t* s, int count, std::vector<uint8_t>& out, QString* why) override {
        const int frameSize = ctx_->frame_size;
        const int channels = format_.nChannels;
        // One frame buffer for the whole stream, made writable again when the encoder
        // still holds the last one.
        bool ready = frame_->data[0] != nullptr;
        if (!ready) {
            frame_->nb_samples = frameSize;
            frame_->format = AV_SAMPLE_FMT_S16;
            frame_->sample_rate = ctx_->sample_rate;
            ready = av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) >= 0 &&
                    av_frame_get_buffer(frame_, 0) >= 0;
        }
        if (!ready || av_frame_make_writable(frame_) < 0) {
            *why = QStringLiteral("out of memory");
            return false;
        }
        auto* d = reinterpret_cast<int16_t*>(frame_->data[0]);
        if (count > 0)
            std::memcpy(d, s, std::size_t(count) * channels * 2);
        std::fill(d + std::size_t(count) * channels, d + std::size_t(frameSize) * channels, 0);
        int e = avcodec_send_frame(ctx_, frame_);
        while (e >= 0) {
            e = avcodec_receive_packet(ctx_, packet_);
            if (e == AVERROR(EAGAIN))
                return true;
            if (e < 0)
                break;
            std::size_t size = static_cast<std::size_t>(packet_->size);
            // A last ADPCM block of fewer frames is cut after the nibbles it needs, so
            // the file holds the sound's exact length (or one frame more).
            if (count < frameSize && format_.wFormatTag == WAVE_FORMAT_ADPCM) {
                const std::size_t header = 7u * channels;
                const std::size_t nibbles = std::size_t(std::max(count - 2, 0)) * channels;
                size = std::min(size, header + (nibbles + 1) / 2);
            }
            out.insert(out.end(), packet_->data, packet_->data + size);
            av_packet_unref(packet_);
        }
        *why = QStringLiteral("the sound cannot be encoded: %1").arg(AvText(e));
        return false;
    }

private:
    explicit AvEncoder(const WAVEFORMATEX* f) : format_(*f) {}
    WAVEFORMATEX format_;
    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

class TrueSpeechStage : public Encoder {
public:
    int FrameSamples() const override { return 240; }
    bool Encode(const int16_t* s, int count, std::vector<uint8_t>& out, QString*) override {
        int16_t block[240] = {};
        std::copy(s, s + std::clamp(count, 0, 240), block);
        const std::size_t at = out.size();
        out.resize(at + 32);
        encoder_.EncodeBlock(block, out.data() + at);
        return true;
    }

private:
    TrueSpeechEncoder encoder_;
};

// The rate change, on interleaved 16-bit samples.
class Resampler {
public:
    static std::unique_ptr<Resampler> Create(DWORD from, DWORD to, int channels, QString* why) {
        // No dither: the output is the same however the input is cut into pieces.
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        soxr_t soxr =
            soxr_create(from, to, static_cast<unsigned>(channels), &error, &io, &quality, nullptr);
        if (!soxr || error) {
            *why = QStringLiteral("the rate converter cannot start: %1")
                       .arg(QString::fromLatin1(error ? error : "unknown"));
            if (soxr)
                soxr_delete(soxr);
            return nullptr;
        }
        auto r = std::unique_ptr<Resampler>(new Resampler);
        r->soxr_ = soxr;
        r->channels_ = channels;
        r->ratio_ = double(to) / double(from);
        r->from_ = from;
        r->to_ = to;
        return r;
    }
    ~Resampler() { soxr_delete(soxr_); }
    // Resamples `frames` frames of in (none: the end of the input) into out.
    bool Process(const int16_t* in, std::size_t frames, std::vector<int16_t>& out, QString* why) {
        std::size_t done = 0;
        for (;;) {
            const std::size_t room = std::size_t((frames - done) * ratio_) + 256;
            const std::size_t at = out.size();
            out.resize(at + room * channels_);
            std::size_t used = 0, made = 0;
            soxr_error_t e = soxr_process(soxr_, in ? in + done * channels_ : nullptr,
                                          frames - done, &used, out.data() + at, room, &made);
            out.resize(at + made * channels_);
            if (e) {
                *why = QStringLiteral("the rate converter failed: %1").arg(QString::fromLatin1(e));
                return false;
            }
            done += used;
            if (in) {
                in_ += used;
                out_ += made;
            } else {
                // The filter's tail: no more than the whole input's length at the new rate,
                // so 0.5 s stays 0.5 s rather than gaining a rounded-up frame.
                const uint64_t allowed = in_ * to_ / from_;
                const uint64_t keep = allowed > out_ ? std::min<uint64_t>(made, allowed - out_) : 0;
                out.resize(at + keep * channels_);
                out_ += keep;
            }
            if (in ? done >= frames : made == 0)
                return true;
        }
    }

private:
    Resampler() = default;
    soxr_t soxr_ = nullptr;
    int channels_ = 1;
    double ratio_ = 1;
    uint64_t from_ = 1, to_ = 1;
    uint64_t in_ = 0, out_ = 0;  // frames taken and given so far
};

class PipelineImpl : public Pipeline {
public:
    WAVEFORMATEX src{}, dst{};
    bool passThrough = false;
    std::unique_ptr<Decoder> decoder;
    std::unique_ptr<Resampler> resampler;
    std::unique_ptr<Encoder> encoder;
    std::vector<int16_t> decoded, mapped, resampled;
    std::vector<int16_t> waiting;  // frames for the encoder short of a whole frame
    std::vector<uint8_t> pending;  // output not yet handed out
    std::size_t pendingAt = 0;
    bool ended = false;

    // Puts decoded frames through the channel change, the rate change and the encoder.
    bool Push(std::vector<int16_t>& in, bool last, QString* why) {
        std::vector<int16_t>* cur = &in;
        if (src.nChannels != dst.nChannels) {
            const std::size_t frames = in.size() / src.nChannels;
            mapped.resize(frames * dst.nChannels);
            if (dst.nChannels == 1) {
                for (std::size_t i = 0; i < frames; ++i)
                    mapped[i] = static_cast<int16_t>((in[2 * i] + in[2 * i + 1]) / 2);
            } else {
                for (std::size_t i = 0; i < frames; ++i)
                    mapped[2 * i] = mapped[2 * i + 1] = in[i];
            }
            cur = &mapped;
        }
        if (resampler) {
            resampled.clear();
            if (!cur->empty() &&
                !resampler->Process(cur->data(), cur->size() / dst.nChannels, resampled, why))
                return false;
            if (last && !resampler->Process(nullptr, 0, resampled, why))
                return false;
            cur = &resampled;
        }
        const int fs = encoder->FrameSamples();
        const int ch = dst.nChannels;
        if (fs == 0) {
            return encoder->Encode(cur->data(), static_cast<int>(cur->size() / ch), pending, why);
        }
        waiting.insert(waiting.end(), cur->begin(), cur->end());
        std::size_t at = 0;
        const std::size_t frameValues = std::size_t(fs) * ch;
        while (waiting.size() - at >= frameValues) {
            if (!encoder->Encode(waiting.data() + at, fs, pending, why))
                return false;
            at += frameValues;
        }
        waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(at));
        if (last && !waiting.empty()) {
            if (!encoder->Encode(waiting.data(), static_cast<int>(waiting.size() / ch), pending,
                                 why))
                return false;
            waiting.clear();
        }
        return true;
    }

    void HandOut(ACMSTREAMHEADER* h) {
        const std::size_t room = h->cbDstLength - h->cbDstLengthUsed;
        const std::size_t n = std::min(room, pending.size() - pendingAt);
        if (n == 0)
            return;
        std::memcpy(h->pbDst + h->cbDstLengthUsed, pending.data() + pendingAt, n);
        h->cbDstLengthUsed += static_cast<DWORD>(n);
        pendingAt += n;
        if (pendingAt == pending.size()) {
            pending.clear();
            pendingAt = 0;
        }
    }

    bool Convert(ACMSTREAMHEADER* h, DWORD flags, QString* why) override {
        h->cbSrcLengthUsed = 0;
        h->cbDstLengthUsed = 0;
        if (flags & ACM_STREAMCONVERTF_START) {
            // A new sound: forget what the last one left behind.
            pending.clear();
            pendingAt = 0;
            waiting.clear();
            ended = false;
        }
        HandOut(h);
        if (!pending.empty())
            return true;  // the caller's buffer is full; its input waits for the next call
        const bool end = flags & ACM_STREAMCONVERTF_END;
        const bool blockAlign = flags & ACM_STREAMCONVERTF_BLOCKALIGN;
        if (ended) {
            if (h->cbSrcLength) {
                *why = QStringLiteral("the stream's input has already ended");
                return false;
            }
            return true;
        }
        const std::size_t unit = src.wFormatTag == WAVE_FORMAT_PCM
                                     ? std::size_t(src.nBlockAlign) * 4096
                                     : std::size_t(src.nBlockAlign);
        std::size_t used = 0;
        while (used < h->cbSrcLength) {
            const std::size_t avail = h->cbSrcLength - used;
            std::size_t n = std::min(avail, unit);
            n -= n % src.nBlockAlign;
            if (n == 0) {
                // A piece shorter than a block: with more input to come it waits; at the
                // end a partial ADPCM block still holds sound, anything else is dropped.
                if (!end || blockAlign)
                    break;
                const bool partialAdpcm =
                    src.wFormatTag == WAVE_FORMAT_ADPCM && avail > 7u * src.nChannels;
                if (partialAdpcm)
                    n = avail;
                else {
                    used += avail;
                    break;
                }
            }
            const uint8_t* in = h->pbSrc + used;
            if (passThrough) {
                pending.insert(pending.end(), in, in + n);
            } else {
                decoded.clear();
                if (!decoder->Decode(in, n, decoded, why))
                    return false;
                if (!Push(decoded, false, why))
                    return false;
            }
            used += n;
            if (pending.size() >= h->cbDstLength - h->cbDstLengthUsed)
                break;
        }
        h->cbSrcLengthUsed = static_cast<DWORD>(used);
        if (end && used == h->cbSrcLength) {
            if (!passThrough) {
                decoded.clear();
                if (!Push(decoded, true, why))
                    return false;
            }
            ended = true;
        }
        HandOut(h);
        return true;
    }
};

}  // namespace

static std::unique_ptr<Pipeline> CreateInModule(const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                                                QString* why) {
    auto p = std::make_unique<PipelineImpl>();
    p->src = *src;
    p->dst = *dst;
    const bool samePcm = src->wFormatTag == WAVE_FORMAT_PCM && dst->wFormatTag == WAVE_FORMAT_PCM &&
                         src->nChannels == dst->nChannels &&
                         src->nSamplesPerSec == dst->nSamplesPerSec &&
                         src->wBitsPerSample == dst->wBitsPerSample;
    if (samePcm) {
        p->passThrough = true;
        return p;
    }
    if (src->wFormatTag == WAVE_FORMAT_PCM)
        p->decoder = std::make_unique<PcmDecoder>(src->wBitsPerSample);
    else if (!(p->decoder = AvDecoder::Create(src, why)))
        return nullptr;
    if (src->nSamplesPerSec != dst->nSamplesPerSec &&
        !(p->resampler =
              Resampler::Create(src->nSamplesPerSec, dst->nSamplesPerSec, dst->nChannels, why)))
        return nullptr;
    switch (dst->wFormatTag) {
        case WAVE_FORMAT_PCM:
            p->encoder = std::make_unique<PcmEncoder>(dst->wBitsPerSample, dst->nChannels);
            break;
        case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
            p->encoder = std::make_unique<TrueSpeechStage>();
            break;
        default:
            if (!(p->encoder = AvEncoder::Create(dst, why)))
                return nullptr;
    }
    return p;
}

}  // namespace codec_engine

#define TD_EXPORT __attribute__((visibility("default")))

extern "C" TD_EXPORT codec_engine::Pipeline* TdCreatePipeline(const WAVEFORMATEX* src,
                                                              const WAVEFORMATEX* dst,
                                                              QString* why) {
    return codec_engine::CreateInModule(src, dst, why).release();
}
