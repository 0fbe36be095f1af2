// TrueSpeech encoder: 8000 Hz mono 16-bit samples in, one 32-byte block per 240 samples
// out (1067 bytes a second).
//
// Per block the encoder fits an order-8 prediction filter (autocorrelation of a windowed
// block, lag window, Levinson recursion) and quantises its reflection coefficients to the
// format's codebooks. Per 60-sample subframe it then chooses the pitch prediction and the
// seven excitation pulses by analysis by synthesis: candidates are judged by how close
// the decoded output, output filters included, comes to the input, and the chosen ones
// are run through the same integer synthesis a player performs, so the encoder's state
// never drifts from the player's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/codecmodule/truespeech_synth.h"

class TrueSpeechEncoder {
public:
    TrueSpeechEncoder();
    // Forgets everything earlier blocks left behind, as a player starting afresh does.
    void Reset();
    void EncodeBlock(const int16_t samples[240], uint8_t block[32]);

    // Encodes a block and also hands back its parameters and what a player decodes.
    void EncodeBlock(const int16_t samples[240], truespeech::Frame& frame, int16_t decoded[240]);

private:
    double EncodeSubframe(truespeech::Synth& synth, int subframe, const int16_t* samples,
                          truespeech::Frame& frame, int16_t* decoded);

    truespeech::Synth synth_;
};

// Streaming: encodes the whole blocks that `count` samples hold, appending them to
// `blocks`, and returns the samples used; the caller offers the rest again with more.
// With `last` the rest is encoded too, filled up with silence, and all are used.
size_t EncodeTrueSpeechBlocks(TrueSpeechEncoder& encoder, const int16_t* samples, size_t count,
                              bool last, std::vector<uint8_t>& blocks);

// Encodes `count` samples from a fresh encoder into `blocks` (replacing its contents):
// one block per 240 samples, the last one filled up with silence. No samples, no blocks.
void EncodeTrueSpeech(const int16_t* samples, size_t count, std::vector<uint8_t>& blocks);
