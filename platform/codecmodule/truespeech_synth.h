// TrueSpeech blocks: the parameters one 32-byte block carries, how they are packed into
// its bits, and the synthesis that turns a block into 240 samples of 8 kHz speech.
//
// The synthesis is the integer arithmetic a player of these blocks performs, step for
// step (including where 16-bit values wrap and where results are clipped), so that an
// encoder running it alongside its search ends every subframe in the same state as the
// player that later decodes the blocks.
//
// A block covers 240 samples in four subframes of 60. Its parameters:
// - eight reflection coefficients, each an index into its own codebook, from which the
//   order-8 prediction filter of the block is built; the first two subframes use that
//   filter as it is blended with the previous block's (interpolate set) or the previous
//   block's filter alone (interpolate clear);
// - per subframe a pitch code: the lag offset (code / 25, added to the lag base of its
//   half of the block) and one of 25 two-tap filters (code % 25) that predict the
//   excitation from the pitch memory, or kNoPitch for no prediction;
// - per subframe seven pulses, three among samples 0..29 and four among 30..59, each
//   +1, +3, -1 or -3 times one of 16 gains.
#pragma once

#include <array>
#include <cstdint>

namespace truespeech {

inline constexpr int kBlockSamples = 240;
inline constexpr int kBlockBytes = 32;
inline constexpr int kSubframes = 4;
inline constexpr int kSubframeSamples = 60;
inline constexpr int kOrder = 8;
// Samples of past excitation the pitch predictor can reach back into.
inline constexpr int kPitchMemory = 146;
inline constexpr int kNoPitch = 127;
inline constexpr int kTapFilters = 25;
inline constexpr int kLagOffsets = 5;  // code / 25 is 0..5; 125 and 126 use offset 5
inline constexpr int kMinLag = 18;     // lag base 0 with offset 0
inline constexpr int kMaxLag = 145;    // longer lags are cut to this
inline constexpr int kGainLevels = 16;
inline constexpr int kPulses = 7;
inline constexpr int kFirstHalfPulses = 3;

// Size of each reflection coefficient's codebook (5, 5, 4, 4, 4, 3, 3, 3 bits).
inline constexpr std::array<int, kOrder> kCodebookSize = {32, 32, 16, 16, 16, 8, 8, 8};
// Reflection coefficient (Q15) of codebook entry `index` of coefficient `order`.
int16_t ReflectionCoefficient(int order, int index);
// The two taps (Q14) of pitch filter `tap`, 0..24.
std::array<int16_t, 2> PitchTaps(int tap);
// Pulse unit of gain level 0..15; a pulse is +1, +3, -1 or -3 times it.
int16_t PulseGain(int level);
// Pulse amplitude of gain level `level` and two-bit pulse code `code` (0 +1, 1 +3, 2 -1,
// 3 -3 units).
int16_t PulseAmplitude(int level, int code);
// Weights (Q15) of the output filter's zeros and poles at order k, 0..7.
int OutputZeroWeight(int k);
int OutputPoleWeight(int k);

struct Frame {
    std::array<uint8_t, kOrder> lpc{};  // codebook index per reflection coefficient
    bool interpolate = false;
    std::array<uint8_t, 2> lagBase{};               // 8 bits, subframes 0-1 and 2-3
    std::array<uint8_t, kSubframes> pitch{};        // 7 bits, lag offset * 25 + tap or kNoPitch
    std::array<uint8_t, kSubframes> gain{};         // 4 bits, pulse gain level
    std::array<uint32_t, kSubframes> positions{};   // 27 bits: 12 first half, 15 second
    std::array<uint16_t, kSubframes> amplitudes{};  // 14 bits: 7 two-bit pulse codes

    bool operator==(const Frame&) const = default;
};

// The bits of a block form eight 32-bit little-endian words, each read from its most
// significant bit down. Fields wider than their bit count are cut to it.
void PackFrame(const Frame& frame, uint8_t block[kBlockBytes]);
Frame UnpackFrame(const uint8_t block[kBlockBytes]);

// Position code of three (first half) or four (second half) distinct ascending pulse
// positions within a 30-sample half, and back. `count` is 3 or 4.
uint32_t EncodePositions(const int* positions, int count);
void DecodePositions(uint32_t code, int count, int* positions);

// The 60 excitation pulses of a subframe.
void PlacePulses(int gain, uint32_t positions, uint16_t amplitudes, int16_t out[kSubframeSamples]);

// Lag (samples back from the first new sample, minus one) that pitch code `code` with
// lag base `base` selects.
int PitchLag(int base, int code);

class Synth {
public:
    Synth() { Reset(); }
    void Reset();

    // Decodes one block whole.
    void Decode(const Frame& frame, int16_t out[kBlockSamples]);

    // The steps of Decode, for an encoder that chooses a subframe's parameters between
    // them: BeginBlock, then for each subframe in turn PitchVector (any number of times)
    // and Subframe, then EndBlock.
    void BeginBlock(const std::array<uint8_t, kOrder>& lpc, bool interpolate);
    void PitchVector(int base, int code, int16_t out[kSubframeSamples]) const;
    void Subframe(int subframe, int base, int code, const int16_t pulses[kSubframeSamples],
                  int16_t out[kSubframeSamples]);
    void EndBlock();

    // What the output filters of `subframe` give with no excitation, leaving the state.
    void ZeroInputResponse(int subframe, int16_t out[kSubframeSamples]) const;

    // Prediction filter (Q12) of a subframe of the current block.
    const int16_t* Filter(int subframe) const { return filters_[subframe]; }
    // First reflection coefficient (Q15) of the current block, which sets the tilt.
    int Tilt() const { return tilt_; }
    const int16_t* PitchMemory() const { return memory_; }
    // True when building the current block's filter overflowed 16 bits.
    bool FilterOverflowed() const { return overflowed_; }

private:
    struct FilterState {
        int16_t synthesis[kOrder];
        int16_t zeros[kOrder];
        int16_t poles[kOrder];
    };
    static void RunFilters(const int16_t* filter, int tilt, FilterState& state,
                           int16_t io[kSubframeSamples]);

    int16_t memory_[kPitchMemory];
    FilterState state_;
    int16_t previous_[kOrder];
    int16_t current_[kOrder];
    int16_t filters_[kSubframes][kOrder];
    int tilt_ = 0;
    bool overflowed_ = false;
};

}  // namespace truespeech
