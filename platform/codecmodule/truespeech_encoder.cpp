#include "platform/codecmodule/truespeech_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

using namespace truespeech;

namespace {

constexpr int N = kSubframeSamples;
static_assert(N % 4 == 0);

// Analysis window and lag window of the prediction filter fit.
struct AnalysisTables {
    double window[kBlockSamples];
    double lagWindow[kOrder + 1];
    // Per pitch filter: its taps and their products, for the quadratic error form.
    struct Taps {
        double f0, f1, f00, f11, f01;
    } taps[kTapFilters];

    AnalysisTables() {
        for (int tap = 0; tap < kTapFilters; ++tap) {
            const auto q14 = PitchTaps(tap);
            const double f0 = q14[0] / 16384.0, f1 = q14[1] / 16384.0;
            taps[tap] = {f0, f1, f0 * f0, f1 * f1, 2 * f0 * f1};
        }
        // Rises over most of the block and falls over its last samples: the filter
        // serves the second half of the block alone and the first half blended with
        // (or replaced by) the previous block's.
        constexpr int kPeak = 230;
        for (int n = 0; n < kBlockSamples; ++n) {
            window[n] =
                n < kPeak
                    ? 0.54 - 0.46 * std::cos(std::numbers::pi * n / kPeak)
                    : std::cos(0.5 * std::numbers::pi * (n - kPeak) / (kBlockSamples - kPeak));
        }
        // Gaussian lag window of 200 Hz: widens formant peaks, which the player's output
        // filter sharpens again.
        for (int k = 0; k <= kOrder; ++k) {
            const double x = 2 * std::numbers::pi * 200.0 * k / 8000.0;
            lagWindow[k] = std::exp(-0.5 * x * x);
        }
    }
};
const AnalysisTables kTables;

int NearestIndex(int order, double value) {
    int best = 0;
    double bestDistance = 1e300;
    for (int i = 0; i < kCodebookSize[order]; ++i) {
        const double distance = std::abs(ReflectionCoefficient(order, i) - value);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// Reflection coefficients of the block, as codebook indexes.
std::array<uint8_t, kOrder> AnalyseBlock(const int16_t* samples) {
    double windowed[kBlockSamples];
    for (int n = 0; n < kBlockSamples; ++n) {
        windowed[n] = samples[n] * kTables.window[n];
    }
    double r[kOrder + 1];
    for (int k = 0; k <= kOrder; ++k) {
        double sum = 0;
        for (int n = k; n < kBlockSamples; ++n) {
            sum += windowed[n] * windowed[n - k];
        }
        r[k] = sum * kTables.lagWindow[k];
    }
    // A little white noise keeps the recursion well conditioned on near-silent input.
    r[0] = r[0] * 1.0001 + 1.0;

    // Levinson recursion for the predictor x[n] ~ sum a[j] x[n - j]; the stream carries
    // the negated partial correlations.
    double a[kOrder + 1] = {};
    double reflection[kOrder] = {};
    double error = r[0];
    for (int i = 1; i <= kOrder; ++i) {
        double acc = r[i];
        for (int j = 1; j < i; ++j) {
            acc -= a[j] * r[i - j];
        }
        const double k = std::clamp(acc / error, -0.999, 0.999);
        reflection[i - 1] = k;
        double next[kOrder + 1];
        std::memcpy(next, a, sizeof(a));
        next[i] = k;
        for (int j = 1; j < i; ++j) {
            next[j] = a[j] - k * a[i - j];
        }
        std::memcpy(a, next, sizeof(a));
        error *= 1 - k * k;
    }
    std::array<uint8_t, kOrder> indexes{};
    for (int i = 0; i < kOrder; ++i) {
        indexes[i] = static_cast<uint8_t>(NearestIndex(i, -reflection[i] * 32768.0));
    }
    return indexes;
}

// Impulse response of everything after the excitation: the prediction filter's synthesis
// and the output filters, as the player runs them for one subframe. One sample longer
// than a subframe, for the pitch search's shifted responses.
void ImpulseResponse(const int16_t* filter, int tilt, double h[N + 1]) {
    double c[kOrder], zeros[kOrder], poles[kOrder];
    for (int k = 0; k < kOrder; ++k) {
        c[k] = filter[k] / 4096.0;
        zeros[k] = ((OutputZeroWeight(k) * filter[k]) >> 15) / 4096.0;
        poles[k] = ((OutputPoleWeight(k) * filter[k]) >> 15) / 4096.0;
    }
    const double tiltWeight = (tilt - (tilt >> 2)) / 65536.0;
    double y[N + 1 + kOrder] = {}, v[N + 1 + kOrder] = {};
    double* ys = y + kOrder;
    double* vs = v + kOrder;
    for (int n = 0; n <= N; ++n) {
        double sy = n == 0 ? 1.0 : 0.0;
        double sz = 0, sp = 0;
        for (int k = 0; k < kOrder; ++k) {
            sy += c[k] * ys[n - 1 - k];
            sp += poles[k] * vs[n - 1 - k];
        }
        ys[n] = sy;
        for (int k = 0; k < kOrder; ++k) {
            sz += zeros[k] * ys[n - 1 - k];
        }
        vs[n] = sy - sz + sp;
        h[n] = 0.875 * (vs[n] + tiltWeight * vs[n - 1]);
    }
}

// y = x * h over the first `length` samples (x and y of that length, h of at least it).
// Written as scaled additions so that no sum waits on the one before.
template <typename T>
void Convolve(const T* x, const double* h, double* y, int length = N) {
    std::fill(y, y + length, 0.0);
    for (int m = 0; m < length; ++m) {
        const double value = x[m];
        if (value == 0) {
            continue;
        }
        double* out = y + m;
        const int count = length - m;
        for (int n = 0; n < count; ++n) {
            out[n] += value * h[n];
        }
    }
}

double Dot(const double* a, const double* b) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int n = 0; n < N; n += 4) {
        s0 += a[n] * b[n];
        s1 += a[n + 1] * b[n + 1];
        s2 += a[n + 2] * b[n + 2];
        s3 += a[n + 3] * b[n + 3];
    }
    return (s0 + s1) + (s2 + s3);
}

struct PitchChoice {
    int base = 0;
    int code = kNoPitch;
};

struct Candidate {
    double error;
    int lag;
    int tap;
};

// Smallest lag offset 0..5 that reaches `lag` from `base`, or -1.
int OffsetFor(int base, int lag) {
    for (int d = 0; d <= kLagOffsets; ++d) {
        if (PitchLag(base, d * kTapFilters) == lag) {
            return d;
        }
    }
    return -1;
}

// Pitch code for a lag and tap with the given base, or -1 when it has none.
int PitchCode(int base, int lag, int tap) {
    const int d = OffsetFor(base, lag);
    if (d < 0) {
        return -1;
    }
    const int code = d * kTapFilters + tap;
    return code < kNoPitch ? code : -1;
}

// Lag base that places `lag` near the middle of the offsets, leaving the following
// subframe room either way.
int BaseFor(int lag) {
    return std::clamp(lag - kMinLag - 2, 0, 127);
}

// Pitch candidates judged further by the pulses they leave room for.
constexpr int kKeep = 3;
struct PitchChoices {
    PitchChoice options[kKeep + 1];
    int count = 0;
};

// Candidates for the pitch prediction of a subframe against `target` (input less the
// zero-input response): no prediction and the kKeep best. With `choose_base` every lag is
// open and the base follows from the choice; otherwise only the lags of `base` are.

PitchChoices SearchPitch(const Synth& synth, const double h[N + 1], const double target[N],
                         bool choose_base, int base) {
    const int16_t* memory = synth.PitchMemory();
    Candidate best[kKeep];
    int kept = 0;
    auto offer = [&](double error, int lag, int tap) {
        if (kept == kKeep && error >= best[kKeep - 1].error) {
            return;
        }
        int i = kept < kKeep ? kept++ : kKeep - 1;
        while (i > 0 && best[i - 1].error > error) {
            best[i] = best[i - 1];
            --i;
        }
        best[i] = {error, lag, tap};
    };

    int lags[kMaxLag + 1];
    int lagCount = 0;
    if (choose_base) {
        for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
            lags[lagCount++] = lag;
        }
    } else {
        for (int d = 0; d <= kLagOffsets; ++d) {
            const int lag = PitchLag(base, d * kTapFilters);
            if (lagCount == 0 || lags[lagCount - 1] != lag) {
                lags[lagCount++] = lag;
            }
        }
    }

    const double energy = Dot(target, target);
    // A lag's prediction reads the last lag + 1 samples of the memory and, for lags
    // shorter than the subframe, repeats them with that period (the player repeats its
    // own prediction; close enough to rank candidates). `cycle` is the response to one
    // period; the next lag's period is the same one with a sample in front, so its
    // response is this one delayed plus that sample's response.
    double cycle[N + 1];
    int cycleLag = -2;
    double y0[N], y1[N];
    for (int li = 0; li < lagCount; ++li) {
        const int lag = lags[li];
        const double first = memory[kMaxLag - lag];
        if (cycleLag == lag - 1) {
            for (int n = N; n > 0; --n) {
                cycle[n] = cycle[n - 1] + first * h[n];
            }
            cycle[0] = first * h[0];
        } else {
            double period[N + 1] = {};
            for (int i = 0; i <= std::min(lag, N); ++i) {
                period[i] = memory[kMaxLag - lag + i];
            }
            Convolve(period, h, cycle, N + 1);
        }
        cycleLag = lag;
        // One response of 61 samples gives both taps': the second tap's input is the
        // first's moved on by one sample.
        double both[N + 1];
        std::memcpy(both, cycle, sizeof(both));
        for (int shift = lag + 1; shift <= N; shift += lag + 1) {
            for (int n = shift; n <= N; ++n) {
                both[n] += cycle[n - shift];
            }
        }
        for (int n = 0; n < N; ++n) {
            y0[n] = both[n];
            y1[n] = both[n + 1] - first * h[n + 1];
        }

        const double c0 = Dot(target, y0), c1 = Dot(target, y1);
        const double r00 = Dot(y0, y0), r11 = Dot(y1, y1), r01 = Dot(y0, y1);
        const int offset = OffsetFor(choose_base ? BaseFor(lag) : base, lag);
        if (offset < 0) {
            continue;
        }
        const int tapCount = std::min(kTapFilters, kNoPitch - offset * kTapFilters);
        for (int tap = 0; tap < tapCount; ++tap) {
            const AnalysisTables::Taps& t = kTables.taps[tap];
            const double error =
                energy - 2 * (t.f0 * c0 + t.f1 * c1) + t.f00 * r00 + t.f01 * r01 + t.f11 * r11;
            if (kept < kKeep || error < best[kKeep - 1].error) {
                offer(error, lag, tap);
            }
        }
    }

    // The best few as the player predicts them, and no prediction at all.
    PitchChoices choices;
    choices.options[choices.count++] = {choose_base && kept > 0 ? BaseFor(best[0].lag) : base,
                                        kNoPitch};
    for (int i = 0; i < kept; ++i) {
        const int candidateBase = choose_base ? BaseFor(best[i].lag) : base;
        choices.options[choices.count++] = {candidateBase,
                                            PitchCode(candidateBase, best[i].lag, best[i].tap)};
    }
    return choices;
}

struct PulseChoice {
    double error = 0;  // less the target's energy
    int gain = 0;
    uint32_t positions = 0;
    uint16_t amplitudes = 0;
};

// Solves the small symmetric system m x = b in place (Gaussian elimination with partial
// pivoting); false when it is singular.
bool Solve(double m[kPulses][kPulses], double b[kPulses], double x[kPulses]) {
    for (int col = 0; col < kPulses; ++col) {
        int pivot = col;
        for (int row = col + 1; row < kPulses; ++row) {
            if (std::abs(m[row][col]) > std::abs(m[pivot][col])) {
                pivot = row;
            }
        }
        if (std::abs(m[pivot][col]) < 1e-12) {
            return false;
        }
        std::swap(m[col], m[pivot]);
        std::swap(b[col], b[pivot]);
        for (int row = col + 1; row < kPulses; ++row) {
            const double f = m[row][col] / m[col][col];
            for (int k = col; k < kPulses; ++k) {
                m[row][k] -= f * m[col][k];
            }
            b[row] -= f * b[col];
        }
    }
    for (int row = kPulses - 1; row >= 0; --row) {
        double sum = b[row];
        for (int k = row + 1; k < kPulses; ++k) {
            sum -= m[row][k] * x[k];
        }
        x[row] = sum / m[row][row];
    }
    return true;
}

// Correlations of the responses to single pulses at each pair of positions, which the
// pulse search of a subframe needs for every pitch candidate alike.
struct PulseResponses {
    double phi[N][N];
    double inverseEnergy[N];

    explicit PulseResponses(const double h[N]) {
        for (int lag = 0; lag < N; ++lag) {
            double sum = 0;
            for (int i = N - 1 - lag; i >= 0; --i) {
                sum += h[N - 1 - i - lag] * h[N - 1 - i];
                phi[i][i + lag] = sum;
                phi[i + lag][i] = sum;
            }
        }
        for (int i = 0; i < N; ++i) {
            inverseEnergy[i] = 1.0 / std::max(phi[i][i], 1e-9);
        }
    }
};

// Chooses the seven pulses of a subframe against `target` (what is left after the
// zero-input response and the pitch prediction).
PulseChoice SearchPulses(const double h[N], const PulseResponses& responses,
                         const double target[N]) {
    const auto& phi = responses.phi;
    // Correlation of the target with the response to a pulse at each position.
    double d[N] = {};
    for (int n = 0; n < N; ++n) {
        const double value = target[n];
        for (int i = 0; i <= n; ++i) {
            d[i] += value * h[n - i];
        }
    }

    // Place pulses one at a time where each gains most, three in the first half and
    // four in the second.
    int positions[kPulses];
    bool used[N] = {};
    double left[N];
    std::memcpy(left, d, sizeof(left));
    int inFirst = 0, inSecond = 0;
    for (int k = 0; k < kPulses; ++k) {
        int best = -1;
        double bestGain = -1;
        for (int i = 0; i < N; ++i) {
            if (used[i] || (i < 30 && inFirst == kFirstHalfPulses) ||
                (i >= 30 && inSecond == kPulses - kFirstHalfPulses)) {
                continue;
            }
            const double gain = left[i] * left[i] * responses.inverseEnergy[i];
            if (gain > bestGain) {
                bestGain = gain;
                best = i;
            }
        }
        used[best] = true;
        (best < 30 ? inFirst : inSecond)++;
        positions[k] = best;
        const double amplitude = left[best] * responses.inverseEnergy[best];
        for (int i = 0; i < N; ++i) {
            left[i] -= amplitude * phi[i][best];
        }
    }
    // Best amplitudes for a set of positions together; returns how much they take off
    // the error.
    double amplitude[kPulses];
    auto fit = [&](const int* at, double* result) {
        double m[kPulses][kPulses], b[kPulses];
        for (int k = 0; k < kPulses; ++k) {
            for (int l = 0; l < kPulses; ++l) {
                m[k][l] = phi[at[k]][at[l]];
            }
            b[k] = d[at[k]];
        }
        if (!Solve(m, b, result)) {
            for (int k = 0; k < kPulses; ++k) {
                result[k] = d[at[k]] * responses.inverseEnergy[at[k]];
            }
        }
        double gain = 0;
        for (int k = 0; k < kPulses; ++k) {
            gain += d[at[k]] * result[k];
        }
        return gain;
    };
    double fitted = fit(positions, amplitude);

    // Move each pulse in turn to wherever in its half it helps most with the others held.
    double rest[N];  // correlation left after all pulses
    auto findRest = [&] {
        std::memcpy(rest, d, sizeof(rest));
        for (int l = 0; l < kPulses; ++l) {
            const double* column = phi[positions[l]];
            for (int i = 0; i < N; ++i) {
                rest[i] -= amplitude[l] * column[i];
            }
        }
    };
    findRest();
    for (int k = 0; k < kPulses; ++k) {
        double others[N];
        const double* column = phi[positions[k]];
        for (int i = 0; i < N; ++i) {
            others[i] = rest[i] + amplitude[k] * column[i];
        }
        const int from = positions[k] < 30 ? 0 : 30;
        int best = positions[k];
        double bestGain = others[best] * others[best] * responses.inverseEnergy[best];
        for (int i = from; i < from + 30; ++i) {
            const double gain = others[i] * others[i] * responses.inverseEnergy[i];
            if (gain > bestGain &&
                std::find(positions, positions + kPulses, i) == positions + kPulses) {
                bestGain = gain;
                best = i;
            }
        }
        if (best != positions[k]) {
            int moved[kPulses];
            std::memcpy(moved, positions, sizeof(moved));
            moved[k] = best;
            double amplitudes[kPulses];
            const double gain = fit(moved, amplitudes);
            if (gain > fitted) {
                fitted = gain;
                std::memcpy(positions, moved, sizeof(moved));
                std::memcpy(amplitude, amplitudes, sizeof(amplitudes));
                findRest();
            }
        }
    }

    // Positions in order, amplitudes with them.
    int sorted[kPulses];
    for (int k = 0; k < kPulses; ++k) {
        sorted[k] = k;
    }
    std::sort(sorted, sorted + kPulses, [&](int a, int b) { return positions[a] < positions[b]; });
    double sub[kPulses][kPulses], db[kPulses];
    {
        int at[kPulses];
        double amp[kPulses];
        for (int k = 0; k < kPulses; ++k) {
            at[k] = positions[sorted[k]];
            amp[k] = amplitude[sorted[k]];
        }
        std::memcpy(positions, at, sizeof(at));
        std::memcpy(amplitude, amp, sizeof(amp));
    }
    for (int k = 0; k < kPulses; ++k) {
        for (int l = 0; l < kPulses; ++l) {
            sub[k][l] = phi[positions[k]][positions[l]];
        }
        db[k] = d[positions[k]];
    }

    // Quantise. Error (less the target's energy) of amplitudes v is v.(S v - 2 d). Every gain level
    // with each pulse at its nearest of +-1, +-3 units is judged; the three best are then
    // improved pulse by pulse, keeping S v at hand so that each try costs a few
    // operations.
    struct Quantised {
        int codes[kPulses];
        double v[kPulses];
        double sv[kPulses];
        double error;
    };
    Quantised levels[kGainLevels];
    int order[kGainLevels];
    for (int level = 0; level < kGainLevels; ++level) {
        Quantised& q = levels[level];
        const double unit = PulseGain(level);
        for (int k = 0; k < kPulses; ++k) {
            const double units = amplitude[k] / unit;
            q.codes[k] = units >= 0 ? (units < 2 ? 0 : 1) : (units > -2 ? 2 : 3);
            q.v[k] = PulseAmplitude(level, q.codes[k]);
        }
        q.error = 0;
        for (int k = 0; k < kPulses; ++k) {
            double row = 0;
            for (int l = 0; l < kPulses; ++l) {
                row += sub[k][l] * q.v[l];
            }
            q.sv[k] = row;
            q.error += q.v[k] * (row - 2 * db[k]);
        }
        order[level] = level;
    }
    constexpr int kRefined = 3;
    std::partial_sort(order, order + kRefined, order + kGainLevels,
                      [&](int a, int b) { return levels[a].error < levels[b].error; });
    PulseChoice choice;
    choice.error = 1e300;
    const int* bestCodes = nullptr;
    for (int r = 0; r < kRefined; ++r) {
        const int level = order[r];
        Quantised& q = levels[level];
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < kPulses; ++k) {
                for (int code = 0; code < 4; ++code) {
                    const double change = PulseAmplitude(level, code) - q.v[k];
                    if (change == 0) {
                        continue;
                    }
                    const double delta =
                        change * (2 * q.sv[k] - 2 * db[k]) + change * change * sub[k][k];
                    if (delta < 0) {
                        q.error += delta;
                        q.codes[k] = code;
                        q.v[k] += change;
                        for (int l = 0; l < kPulses; ++l) {
                            q.sv[l] += sub[l][k] * change;
                        }
                    }
                }
            }
        }
        if (q.error < choice.error) {
            choice.error = q.error;
            choice.gain = level;
            bestCodes = q.codes;
        }
    }

    int first[kFirstHalfPulses], second[kPulses - kFirstHalfPulses];
    for (int k = 0; k < kFirstHalfPulses; ++k) {
        first[k] = positions[k];
    }
    for (int k = kFirstHalfPulses; k < kPulses; ++k) {
        second[k - kFirstHalfPulses] = positions[k] - 30;
    }
    choice.positions = EncodePositions(first, kFirstHalfPulses) << 15 |
                       EncodePositions(second, kPulses - kFirstHalfPulses);
    for (int k = 0; k < kPulses; ++k) {
        choice.amplitudes = static_cast<uint16_t>(choice.amplitudes | bestCodes[k] << (12 - 2 * k));
    }
    return choice;
}

}  // namespace

TrueSpeechEncoder::TrueSpeechEncoder() {
    Reset();
}

void TrueSpeechEncoder::Reset() {
    synth_.Reset();
}

void TrueSpeechEncoder::EncodeBlock(const int16_t samples[240], uint8_t block[32]) {
    Frame frame;
    int16_t decoded[kBlockSamples];
    EncodeBlock(samples, frame, decoded);
    PackFrame(frame, block);
}

void TrueSpeechEncoder::EncodeBlock(const int16_t samples[240], Frame& frame,
                                    int16_t decoded[240]) {
    frame = Frame{};
    frame.lpc = AnalyseBlock(samples);

    // Try the first half of the block with the blended and with the previous filter and
    // go on with whichever decodes closer.
    Synth trial[2] = {synth_, synth_};
    Frame frames[2] = {frame, frame};
    int16_t halves[2][kBlockSamples / 2];
    double errors[2];
    for (int t = 0; t < 2; ++t) {
        frames[t].interpolate = t == 1;
        trial[t].BeginBlock(frames[t].lpc, frames[t].interpolate);
        // Coefficients whose filter does not fit the player's 16 bits are replaced by
        // the flattest entries, highest order first.
        for (int order = kOrder - 1; order > 0 && trial[t].FilterOverflowed(); --order) {
            frames[t].lpc[order] = static_cast<uint8_t>(NearestIndex(order, 0));
            trial[t].BeginBlock(frames[t].lpc, frames[t].interpolate);
        }
        errors[t] = EncodeSubframe(trial[t], 0, samples, frames[t], halves[t]) +
                    EncodeSubframe(trial[t], 1, samples + N, frames[t], halves[t] + N);
    }
    const int chosen = errors[1] <= errors[0] ? 1 : 0;
    synth_ = trial[chosen];
    frame = frames[chosen];
    std::memcpy(decoded, halves[chosen], sizeof(halves[chosen]));
    for (int q = 2; q < kSubframes; ++q) {
        EncodeSubframe(synth_, q, samples + q * N, frame, decoded + q * N);
    }
    synth_.EndBlock();
}

double TrueSpeechEncoder::EncodeSubframe(Synth& synth, int subframe, const int16_t* samples,
                                         Frame& frame, int16_t* decoded) {
    double h[N + 1];
    ImpulseResponse(synth.Filter(subframe), synth.Tilt(), h);
    int16_t zeroInput[N];
    synth.ZeroInputResponse(subframe, zeroInput);
    double target[N];
    for (int n = 0; n < N; ++n) {
        target[n] = samples[n] - zeroInput[n];
    }

    // Each pitch candidate goes through the pulse search; the one that leaves the least
    // error wins and goes through the player's synthesis.
    const bool chooseBase = subframe % 2 == 0;
    const PitchChoices choices =
        SearchPitch(synth, h, target, chooseBase, frame.lagBase[subframe / 2]);
    const PulseResponses responses(h);
    double bestError = -1;
    PitchChoice bestPitch;
    PulseChoice bestPulses;
    for (int c = 0; c < choices.count; ++c) {
        const PitchChoice& pitch = choices.options[c];
        int16_t predicted[N];
        synth.PitchVector(pitch.base, pitch.code, predicted);
        double filtered[N], left[N];
        Convolve(predicted, h, filtered);
        for (int n = 0; n < N; ++n) {
            left[n] = target[n] - filtered[n];
        }
        const PulseChoice pulses = SearchPulses(h, responses, left);
        const double error = Dot(left, left) + pulses.error;
        if (bestError < 0 || error < bestError) {
            bestError = error;
            bestPitch = pitch;
            bestPulses = pulses;
        }
    }

    if (chooseBase) {
        frame.lagBase[subframe / 2] = static_cast<uint8_t>(bestPitch.base);
    }
    frame.pitch[subframe] = static_cast<uint8_t>(bestPitch.code);
    frame.gain[subframe] = static_cast<uint8_t>(bestPulses.gain);
    frame.positions[subframe] = bestPulses.positions;
    frame.amplitudes[subframe] = bestPulses.amplitudes;
    int16_t excitation[N];
    PlacePulses(bestPulses.gain, bestPulses.positions, bestPulses.amplitudes, excitation);
    synth.Subframe(subframe, bestPitch.base, bestPitch.code, excitation, decoded);
    double error = 0;
    for (int n = 0; n < N; ++n) {
        const double e = samples[n] - decoded[n];
        error += e * e;
    }
    return error;
}

size_t EncodeTrueSpeechBlocks(TrueSpeechEncoder& encoder, const int16_t* samples, size_t count,
                              bool last, std::vector<uint8_t>& blocks) {
    const size_t whole = count / kBlockSamples;
    const size_t blockCount = last ? (count + kBlockSamples - 1) / kBlockSamples : whole;
    const size_t at = blocks.size();
    blocks.resize(at + blockCount * kBlockBytes);
    for (size_t b = 0; b < blockCount; ++b) {
        const size_t start = b * kBlockSamples;
        uint8_t* out = blocks.data() + at + b * kBlockBytes;
        if (b < whole) {
            encoder.EncodeBlock(samples + start, out);
        } else {
            int16_t padded[kBlockSamples] = {};
            std::copy(samples + start, samples + count, padded);
            encoder.EncodeBlock(padded, out);
        }
    }
    return last ? count : whole * kBlockSamples;
}

void EncodeTrueSpeech(const int16_t* samples, size_t count, std::vector<uint8_t>& blocks) {
    blocks.clear();
    TrueSpeechEncoder encoder;
    EncodeTrueSpeechBlocks(encoder, samples, count, true, blocks);
}
