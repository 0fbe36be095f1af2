#include "platform/codecmodule/truespeech_synth.h"

#include <algorithm>
#include <cstring>

namespace truespeech {
namespace {

// Reflection-coefficient codebooks, Q15, one per order.
constexpr int16_t kCodebook0[32] = {-32192, -31900, -31538, -31139, -30715, -30242, -29737, -29196,
                                    -28591, -27934, -27170, -26353, -25471, -24455, -23220, -21806,
                                    -20086, -18166, -16092, -13876, -11463, -8749,  -5674,  -1901,
                                    2415,   6858,   10732,  14367,  17913,  21610,  25539,  29621};
constexpr int16_t kCodebook1[32] = {-24731, -19093, -14973, -11407, -8168, -5196, -2532, -167,
                                    2139,   4358,   6482,   8522,   10441, 12280, 14054, 15762,
                                    17375,  18875,  20294,  21607,  22832, 23971, 25068, 26105,
                                    27092,  27994,  28830,  29613,  30315, 30960, 31578, 32165};
constexpr int16_t kCodebook2[16] = {-26888, -23628, -20667, -17837, -15183, -12596, -10129, -7650,
                                    -5133,  -2496,  247,    3104,   6273,   9882,   14187,  19808};
constexpr int16_t kCodebook3[16] = {-14764, -8462, -4182, -620,  2410,  5183,  7803,  10284,
                                    12662,  14985, 17311, 19618, 21887, 24144, 26392, 28557};
constexpr int16_t kCodebook4[16] = {-21529, -17496, -14308, -11482, -8946, -6700, -4574, -2536,
                                    -472,   1615,   3767,   6072,   8618,  11659, 15266, 19961};
constexpr int16_t kCodebook5[8] = {-10981, -3794, 1070, 5063, 8800, 12571, 16606, 21381};
constexpr int16_t kCodebook6[8] = {-19120, -14299, -9856, -5737, -1917, 1874, 6161, 11800};
constexpr int16_t kCodebook7[8] = {-12560, -6919, -2373, 1606, 5365, 9215, 13679, 19085};
constexpr const int16_t* kCodebooks[kOrder] = {kCodebook0, kCodebook1, kCodebook2, kCodebook3,
                                               kCodebook4, kCodebook5, kCodebook6, kCodebook7};

// Bandwidth expansion of the block filter (Q15, about 0.994 per order).
constexpr int16_t kExpansion[kOrder] = {32571, 32376, 32182, 31989, 31797, 31606, 31416, 31228};

// Two-tap pitch filters, Q14.
constexpr int16_t kPitchTaps[kTapFilters][2] = {
    {-4817, 21049}, {21745, -6999}, {9760, -4546},  {2518, 11328},  {-4171, 11232},
    {16353, 13113}, {17455, -6402}, {17496, -1569}, {-3535, 17371}, {15792, -2299},
    {20347, -261},  {9901, 3292},   {13250, 1849},  {4798, 17314},  {7135, 7998},
    {529, 1942},    {10987, 5695},  {1293, 14904},  {3358, 3448},   {5391, 13126},
    {14500, 2941},  {11613, 8159},  {6583, 10274},  {3481, 7954},   {6476, 3302}};

constexpr int16_t kPulseGains[kGainLevels] = {2,   4,   6,   10,  16,  25,   40,   64,
                                              101, 161, 256, 406, 645, 1024, 1625, 2580};

// Weights of the output filter's zeros (0.55^k) and poles (0.75^k), Q15.
constexpr int16_t kZeroWeights[kOrder] = {18022, 9912, 5452, 2998, 1649, 907, 499, 274};
constexpr int16_t kPoleWeights[kOrder] = {24576, 18432, 13824, 10368, 7776, 5832, 4374, 3281};

// Number of ways to choose k of n items (n < 30, k < 4 here).
constexpr uint32_t Choose(int n, int k) {
    if (k < 0 || n < k) {
        return 0;
    }
    uint32_t result = 1;
    for (int i = 0; i < k; ++i) {
        result = result * static_cast<uint32_t>(n - i) / static_cast<uint32_t>(i + 1);
    }
    return result;
}

// Skip weight of position i (0..29) while `left` pulses are still to be placed.
constexpr uint32_t SkipWeight(int i, int left) {
    return Choose(29 - i, left - 1);
}

int16_t Clip(int value) {
    return static_cast<int16_t>(std::clamp(value, -0x7FFE, 0x7FFE));
}

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out) {}
    void Put(uint32_t value, int bits) {
        for (int b = bits - 1; b >= 0; --b) {
            word_ = (word_ << 1) | ((value >> b) & 1u);
            if (++count_ == 32) {
                for (int i = 0; i < 4; ++i) {
                    *out_++ = static_cast<uint8_t>(word_ >> (8 * i));
                }
                word_ = 0;
                count_ = 0;
            }
        }
    }

private:
    uint8_t* out_;
    uint32_t word_ = 0;
    int count_ = 0;
};

class BitReader {
public:
    explicit BitReader(const uint8_t* in) : in_(in) {}
    uint32_t Get(int bits) {
        uint32_t value = 0;
        for (int b = 0; b < bits; ++b) {
            const int word = position_ / 32;
            const int bit = 31 - position_ % 32;
            const uint8_t byte = in_[word * 4 + bit / 8];
            value = (value << 1) | ((byte >> (bit % 8)) & 1u);
            ++position_;
        }
        return value;
    }

private:
    const uint8_t* in_;
    int position_ = 0;
};

}  // namespace

int16_t ReflectionCoefficient(int order, int index) {
    return kCodebooks[order][index];
}

std::array<int16_t, 2> PitchTaps(int tap) {
    return {kPitchTaps[tap][0], kPitchTaps[tap][1]};
}

int16_t PulseGain(int level) {
    return kPulseGains[level];
}

int OutputZeroWeight(int k) {
    return kZeroWeights[k];
}

int OutputPoleWeight(int k) {
    return kPoleWeights[k];
}

int16_t PulseAmplitude(int level, int code) {
    const int16_t unit = kPulseGains[level];
    switch (code & 3) {
        case 0:
            return unit;
        case 1:
            return static_cast<int16_t>(3 * unit);
        case 2:
            return static_cast<int16_t>(-unit);
        default:
            return static_cast<int16_t>(-3 * unit);
    }
}

void PackFrame(const Frame& f, uint8_t block[kBlockBytes]) {
    BitWriter w(block);
    for (int i = kOrder - 1; i >= 0; --i) {
        w.Put(f.lpc[i], kCodebookSize[i] == 32 ? 5 : kCodebookSize[i] == 16 ? 4 : 3);
    }
    w.Put(f.interpolate ? 1 : 0, 1);
    w.Put(f.lagBase[0] >> 4, 4);
    for (int q = kSubframes - 1; q >= 0; --q) {
        w.Put(f.pitch[q], 7);
    }
    w.Put(f.lagBase[1] & 15, 4);
    w.Put(f.amplitudes[1], 14);
    w.Put(f.amplitudes[0], 14);
    w.Put(f.lagBase[1] >> 4, 4);
    w.Put(f.amplitudes[3], 14);
    w.Put(f.amplitudes[2], 14);
    for (int q = 0; q < kSubframes; ++q) {
        w.Put(f.lagBase[0] >> q, 1);
        w.Put(f.positions[q], 27);
        w.Put(f.gain[q], 4);
    }
}

Frame UnpackFrame(const uint8_t block[kBlockBytes]) {
    BitReader r(block);
    Frame f;
    for (int i = kOrder - 1; i >= 0; --i) {
        f.lpc[i] = static_cast<uint8_t>(r.Get(kCodebookSize[i] == 32   ? 5
                                              : kCodebookSize[i] == 16 ? 4
                                                                       : 3));
    }
    f.interpolate = r.Get(1) != 0;
    uint32_t base0 = r.Get(4) << 4;
    for (int q = kSubframes - 1; q >= 0; --q) {
        f.pitch[q] = static_cast<uint8_t>(r.Get(7));
    }
    uint32_t base1 = r.Get(4);
    f.amplitudes[1] = static_cast<uint16_t>(r.Get(14));
    f.amplitudes[0] = static_cast<uint16_t>(r.Get(14));
    base1 |= r.Get(4) << 4;
    f.amplitudes[3] = static_cast<uint16_t>(r.Get(14));
    f.amplitudes[2] = static_cast<uint16_t>(r.Get(14));
    for (int q = 0; q < kSubframes; ++q) {
        base0 |= r.Get(1) << q;
        f.positions[q] = r.Get(27);
        f.gain[q] = static_cast<uint8_t>(r.Get(4));
    }
    f.lagBase = {static_cast<uint8_t>(base0), static_cast<uint8_t>(base1)};
    return f;
}

uint32_t EncodePositions(const int* positions, int count) {
    uint32_t code = 0;
    int next = 0;
    for (int k = 0; k < count; ++k) {
        for (int i = next; i < positions[k]; ++i) {
            code += SkipWeight(i, count - k);
        }
        next = positions[k] + 1;
    }
    return code;
}

void DecodePositions(uint32_t code, int count, int* positions) {
    int left = count;
    for (int i = 0; i < 30 && left > 0; ++i) {
        const uint32_t weight = SkipWeight(i, left);
        if (code >= weight) {
            code -= weight;
        } else {
            positions[count - left] = i;
            --left;
        }
    }
    // A code too large for its half places fewer pulses; mark the rest unused.
    for (int k = count - left; k < count; ++k) {
        positions[k] = -1;
    }
}

void PlacePulses(int gain, uint32_t positions, uint16_t amplitudes, int16_t out[kSubframeSamples]) {
    std::memset(out, 0, kSubframeSamples * sizeof(int16_t));
    int16_t values[kPulses];
    for (int k = kPulses - 1; k >= 0; --k) {
        values[k] = PulseAmplitude(gain & 15, amplitudes & 3);
        amplitudes >>= 2;
    }
    int first[kFirstHalfPulses];
    int second[kPulses - kFirstHalfPulses];
    DecodePositions((positions >> 15) & 0xFFF, kFirstHalfPulses, first);
    DecodePositions(positions & 0x7FFF, kPulses - kFirstHalfPulses, second);
    int next = 0;
    for (int p : first) {
        if (p >= 0) {
            out[p] = values[next++];
        }
    }
    for (int p : second) {
        if (p >= 0) {
            out[30 + p] = values[next++];
        }
    }
}

int PitchLag(int base, int code) {
    return std::min(code / kTapFilters + base + kMinLag, kMaxLag);
}

void Synth::Reset() {
    std::memset(memory_, 0, sizeof(memory_));
    std::memset(&state_, 0, sizeof(state_));
    std::memset(previous_, 0, sizeof(previous_));
    std::memset(current_, 0, sizeof(current_));
    std::memset(filters_, 0, sizeof(filters_));
    tilt_ = 0;
    overflowed_ = false;
}

void Synth::BeginBlock(const std::array<uint8_t, kOrder>& lpc, bool interpolate) {
    // Build the direct-form filter from the reflection coefficients, order by order.
    int16_t k[kOrder];
    for (int i = 0; i < kOrder; ++i) {
        k[i] = kCodebooks[i][lpc[i] % kCodebookSize[i]];
    }
    overflowed_ = false;
    int16_t c[kOrder] = {};
    for (int i = 0; i < kOrder; ++i) {
        if (i > 0) {
            int16_t before[kOrder];
            std::memcpy(before, c, sizeof(before));
            for (int j = 0; j < i; ++j) {
                const int wide = c[j] + ((before[i - j - 1] * k[i] + 0x4000) >> 15);
                c[j] = static_cast<int16_t>(wide);
                overflowed_ = overflowed_ || c[j] != wide;
            }
        }
        c[i] = static_cast<int16_t>((8 - k[i]) >> 3);
    }
    for (int i = 0; i < kOrder; ++i) {
        current_[i] = static_cast<int16_t>((c[i] * kExpansion[i]) >> 15);
    }
    tilt_ = k[0];

    for (int i = 0; i < kOrder; ++i) {
        if (interpolate) {
            filters_[0][i] =
                static_cast<int16_t>((current_[i] * 21846 + previous_[i] * 10923 + 16384) >> 15);
            filters_[1][i] =
                static_cast<int16_t>((current_[i] * 10923 + previous_[i] * 21846 + 16384) >> 15);
        } else {
            filters_[0][i] = previous_[i];
            filters_[1][i] = previous_[i];
        }
        filters_[2][i] = current_[i];
        filters_[3][i] = current_[i];
    }
}

void Synth::PitchVector(int base, int code, int16_t out[kSubframeSamples]) const {
    if (code == kNoPitch) {
        std::memset(out, 0, kSubframeSamples * sizeof(int16_t));
        return;
    }
    // The memory followed by the subframe's own prediction, so that lags shorter than
    // the subframe repeat what was just predicted.
    int16_t extended[kPitchMemory + kSubframeSamples + 1] = {};
    std::memcpy(extended, memory_, sizeof(memory_));
    const int lag = std::clamp(PitchLag(base, code), 0, kMaxLag);
    const int16_t* from = extended + kMaxLag - lag;
    const int16_t* taps = kPitchTaps[code % kTapFilters];
    for (int i = 0; i < kSubframeSamples; ++i) {
        const int value = (from[i] * taps[0] + from[i + 1] * taps[1] + 0x2000) >> 14;
        out[i] = static_cast<int16_t>(value);
        extended[kPitchMemory + i] = static_cast<int16_t>(value);
    }
}

void Synth::Subframe(int subframe, int base, int code, const int16_t pulses[kSubframeSamples],
                     int16_t out[kSubframeSamples]) {
    int16_t predicted[kSubframeSamples];
    PitchVector(base, code, predicted);
    // The memory keeps 7/8 of the prediction; the filters get all of it.
    std::memmove(memory_, memory_ + kSubframeSamples,
                 (kPitchMemory - kSubframeSamples) * sizeof(int16_t));
    for (int i = 0; i < kSubframeSamples; ++i) {
        memory_[kPitchMemory - kSubframeSamples + i] =
            static_cast<int16_t>(pulses[i] + predicted[i] - (predicted[i] >> 3));
        out[i] = static_cast<int16_t>(pulses[i] + predicted[i]);
    }
    RunFilters(filters_[subframe], tilt_, state_, out);
}

void Synth::EndBlock() {
    std::memcpy(previous_, current_, sizeof(previous_));
}

void Synth::ZeroInputResponse(int subframe, int16_t out[kSubframeSamples]) const {
    FilterState state = state_;
    std::memset(out, 0, kSubframeSamples * sizeof(int16_t));
    RunFilters(filters_[subframe], tilt_, state, out);
}

void Synth::RunFilters(const int16_t* filter, int tilt, FilterState& s,
                       int16_t io[kSubframeSamples]) {
    // Synthesis through the prediction filter. The sums are taken modulo 2^32, as the
    // player's are.
    for (int i = 0; i < kSubframeSamples; ++i) {
        uint32_t sum = 0;
        for (int k = 0; k < kOrder; ++k) {
            sum += static_cast<uint32_t>(s.synthesis[k] * filter[k]);
        }
        const int value = io[i] + (static_cast<int32_t>(sum + 0x800u) >> 12);
        io[i] = Clip(value);
        std::memmove(s.synthesis + 1, s.synthesis, (kOrder - 1) * sizeof(int16_t));
        s.synthesis[0] = io[i];
    }

    // Output filter: zeros at 0.55, poles at 0.75 of the prediction filter, a tilt set by
    // the first reflection coefficient, and 7/8 gain.
    int weights[kOrder];
    for (int k = 0; k < kOrder; ++k) {
        weights[k] = (kZeroWeights[k] * filter[k]) >> 15;
    }
    for (int i = 0; i < kSubframeSamples; ++i) {
        uint32_t sum = 0;
        for (int k = 0; k < kOrder; ++k) {
            sum += static_cast<uint32_t>(s.zeros[k] * weights[k]);
        }
        std::memmove(s.zeros + 1, s.zeros, (kOrder - 1) * sizeof(int16_t));
        s.zeros[0] = io[i];
        io[i] = static_cast<int16_t>(io[i] + ((-static_cast<int32_t>(sum)) >> 12));
    }

    for (int k = 0; k < kOrder; ++k) {
        weights[k] = (kPoleWeights[k] * filter[k]) >> 15;
    }
    const int tiltWeight = tilt - (tilt >> 2);
    for (int i = 0; i < kSubframeSamples; ++i) {
        uint32_t acc = static_cast<uint32_t>(io[i] * (1 << 12));
        for (int k = 0; k < kOrder; ++k) {
            acc += static_cast<uint32_t>(s.poles[k] * weights[k]);
        }
        int sum = static_cast<int32_t>(acc);
        std::memmove(s.poles + 1, s.poles, (kOrder - 1) * sizeof(int16_t));
        s.poles[0] = Clip((sum + 0x800) >> 12);
        sum = ((s.poles[1] * tiltWeight) >> 4) + sum;
        sum = sum - (sum >> 3);
        io[i] = Clip((sum + 0x800) >> 12);
    }
}

void Synth::Decode(const Frame& frame, int16_t out[kBlockSamples]) {
    BeginBlock(frame.lpc, frame.interpolate);
    for (int q = 0; q < kSubframes; ++q) {
        const int base = frame.lagBase[q / 2];
        int16_t pulses[kSubframeSamples];
        PlacePulses(frame.gain[q], frame.positions[q], frame.amplitudes[q], pulses);
        Subframe(q, base, frame.pitch[q] & 127, pulses, out + q * kSubframeSamples);
    }
    EndBlock();
}

}  // namespace truespeech
