#include "tonedeck/barsounds.h"

#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/playsound.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void Put32(QByteArray& out, uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void Put16(QByteArray& out, uint16_t v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

// Scales the signal so its loudest sample reaches peak (of full scale) and converts it.
std::vector<int16_t> ToPcm(const std::vector<double>& signal, double peak) {
    double top = 0;
    for (double s : signal)
        top = std::max(top, std::abs(s));
    const double gain = top > 0 ? peak * 32767.0 / top : 0;
    std::vector<int16_t> pcm(signal.size());
    for (size_t i = 0; i < signal.size(); ++i)
        pcm[i] = int16_t(std::lround(std::clamp(signal[i] * gain, -32767.0, 32767.0)));
    return pcm;
}

}  // namespace

QByteArray MakePcmWav(const std::vector<int16_t>& samples, int rate) {
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    QByteArray out;
    out.reserve(int(44 + dataBytes));
    out.append("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 1);  // mono
    Put32(out, uint32_t(rate));
    Put32(out, uint32_t(rate) * 2);
    Put16(out, 2);
    Put16(out, 16);
    out.append("data", 4);
    Put32(out, dataBytes);
    for (int16_t s : samples)
        Put16(out, uint16_t(s));
    return out;
}

QByteArray DrawerSoundWav() {
    const int n = kBarSoundRate * 120 / 1000;
    std::vector<double> signal(size_t(n), 0.0);
    // Noise from a fixed generator, so the sound is the same every time, through a
    // band-pass (state-variable filter) whose centre sweeps up and back down.
    uint32_t seed = 0x2545F491u;
    double low = 0, band = 0;
    // Two one-pole low-passes after it round off the hiss above the band.
    const double smooth = 1.0 - std::exp(-2.0 * kPi * 2200.0 / kBarSoundRate);
    double soft1 = 0, soft2 = 0;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(seed >> 8) / double(1u << 24) * 2.0 - 1.0;
        const double t = double(i) / (n - 1);
        const double centre = 350.0 + 1300.0 * std::sin(kPi * t);
        const double f = 2.0 * std::sin(kPi * centre / kBarSoundRate);
        const double q = 0.5;
        const double high = noise - low - q * band;
        band += f * high;
        low += f * band;
        // A quick rise and a longer fall, silent at both ends so it never clicks.
        const double env = std::sin(kPi * std::pow(t, 0.6));
        soft1 += smooth * (band - soft1);
        soft2 += smooth * (soft1 - soft2);
        signal[size_t(i)] = soft2 * env * env;
    }
    return MakePcmWav(ToPcm(signal, 0.35), kBarSoundRate);
}

QByteArray ShowHideSoundWav() {
    const int noteGap = kBarSoundRate * 90 / 1000;
    const int n = kBarSoundRate * 380 / 1000;
    std::vector<double> signal(size_t(n), 0.0);
    // Two bell-like notes a fourth apart (E6 then A6), each a few decaying partials.
    const double notes[2] = {1318.51, 1760.0};
    const double partials[3][2] = {{1.0, 1.0}, {2.0, 0.35}, {3.01, 0.12}};
    for (int k = 0; k < 2; ++k) {
        const int start = k * noteGap;
        for (int i = start; i < n; ++i) {
            const double t = double(i - start) / kBarSoundRate;
            double v = 0;
            for (const auto& [ratio, amp] : partials)
                v += amp * std::exp(-t * (9.0 + 6.0 * ratio)) *
                     std::sin(2 * kPi * notes[k] * ratio * t);
            // A 6 ms raised-cosine attack takes the click out of each strike.
            if (t < 0.006)
                v *= 0.5 - 0.5 * std::cos(kPi * t / 0.006);
            signal[size_t(i)] += v * (k == 0 ? 0.8 : 1.0);
        }
    }
    // Fade out the last 20 ms so the file ends in silence.
    const int fade = kBarSoundRate * 20 / 1000;
    for (int i = 0; i < fade; ++i)
        signal[size_t(n - 1 - i)] *= double(i) / fade;
    return MakePcmWav(ToPcm(signal, 0.3), kBarSoundRate);
}

QByteArray BarSoundWav(int id) {
    switch (id) {
        case IDR_DRAWER_SOUND:
            return DrawerSoundWav();
        case IDR_SHOWHIDE_SOUND:
            return ShowHideSoundWav();
        default:
            return QByteArray();
    }
}

bool PlayBarSound(bool useBuiltIn, int builtInId, const char* customField, std::size_t fieldSize) {
    if (useBuiltIn)
        return PlaySoundMemory(BarSoundWav(builtInId)) != 0;
    const QString path =
        QString::fromLocal8Bit(customField, qsizetype(strnlen(customField, fieldSize)));
    // An empty path would stop whatever plays: a custom sound not chosen yet is silence.
    if (path.trimmed().isEmpty())
        return false;
    return PlaySound(path) != 0;
}
