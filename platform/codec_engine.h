// Inside the codec layer: the conversion pipelines behind its streams. A pipeline turns
// the input format into 16-bit samples (PCM as it stands, or a decoder), changes the
// channel count and the rate, and turns the result into the output format (PCM, or an
// encoder), holding back what does not fit the caller's buffer. The pipelines live in
// libtdcodec.so, loaded at the first Create.
#pragma once

#include <QString>

#include <memory>

#include "platform/codec.h"

namespace codec_engine {

// Frames one block of the format holds (1 for PCM).
int SamplesPerBlock(const WAVEFORMATEX& format);

// Whether the program carries an encoder for DSP Group TrueSpeech.
bool HaveTrueSpeechEncoder();

class Pipeline {
public:
    // Both formats valid and the conversion one the layer does in one step. Null, with
    // the reason in `why`, when the conversion is refused or the codec module cannot load.
    static std::unique_ptr<Pipeline> Create(const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                                            QString* why);
    virtual ~Pipeline() = default;
    virtual bool Convert(ACMSTREAMHEADER* header, DWORD flags, QString* why) = 0;
};

}  // namespace codec_engine

// The codec module's entry point, looked up by this name: a new pipeline (the caller owns
// it) or null with the reason in `why`.
extern "C" {
using TdCreatePipelineFn = codec_engine::Pipeline* (*)(const WAVEFORMATEX* src,
                                                       const WAVEFORMATEX* dst, QString* why);
}

// The module's file name, loaded beside libtdplatform.so.
inline constexpr char kCodecModuleName[] = "libtdcodec.so";
