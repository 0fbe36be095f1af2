#include <gtest/gtest.h>

#include <QtEndian>

#include <algorithm>
#include <cstdlib>

#include "tonedeck/barsounds.h"

namespace {

struct Pcm {
    int rate = 0;
    std::vector<int16_t> samples;
};

// Reads back a file made by MakePcmWav, checking every header field on the way.
Pcm Parse(const QByteArray& wav) {
    Pcm pcm;
    EXPECT_GE(wav.size(), 44);
    if (wav.size() < 44)
        return pcm;
    const auto* d = reinterpret_cast<const uchar*>(wav.constData());
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(d + 4), uint32_t(wav.size() - 8));
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(d + 16), 16u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(d + 20), 1u);  // PCM
    EXPECT_EQ(qFromLittleEndian<uint16_t>(d + 22), 1u);  // mono
    pcm.rate = int(qFromLittleEndian<uint32_t>(d + 24));
    EXPECT_EQ(qFromLittleEndian<uint32_t>(d + 28), uint32_t(pcm.rate * 2));
    EXPECT_EQ(qFromLittleEndian<uint16_t>(d + 32), 2u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(d + 34), 16u);
    EXPECT_EQ(wav.mid(36, 4), "data");
    const uint32_t bytes = qFromLittleEndian<uint32_t>(d + 40);
    EXPECT_EQ(bytes, uint32_t(wav.size() - 44));
    for (uint32_t i = 0; i + 1 < bytes; i += 2)
        pcm.samples.push_back(qFromLittleEndian<int16_t>(d + 44 + i));
    return pcm;
}

int Peak(const std::vector<int16_t>& s, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < to && i < s.size(); ++i)
        peak = std::max(peak, std::abs(int(s[i])));
    return peak;
}

}  // namespace

TEST(BarSounds, BothAreShortSoftWavFilesThatStartAndEndInSilence) {
    for (const int id : {IDR_DRAWER_SOUND, IDR_SHOWHIDE_SOUND}) {
        SCOPED_TRACE(id);
        const QByteArray wav = BarSoundWav(id);
        const Pcm pcm = Parse(wav);
        ASSERT_EQ(pcm.rate, kBarSoundRate);
        const size_t n = pcm.samples.size();
        const double ms = 1000.0 * double(n) / pcm.rate;
        EXPECT_GE(ms, 100);
        EXPECT_LE(ms, 400);
        const int peak = Peak(pcm.samples, 0, n);
        EXPECT_GT(peak, 3000) << "audible";
        EXPECT_LT(peak, 16000) << "soft, never clipped";
        // No click at either end.
        EXPECT_LT(std::abs(int(pcm.samples.front())), 200);
        EXPECT_LT(std::abs(int(pcm.samples.back())), 200);
        EXPECT_EQ(wav, BarSoundWav(id)) << "the same sound every time";
    }
    EXPECT_NEAR(1000.0 * (BarSoundWav(IDR_DRAWER_SOUND).size() - 44) / 2 / kBarSoundRate, 120, 1);
    EXPECT_TRUE(BarSoundWav(155).isEmpty());
}

TEST(BarSounds, TheChimeStrikesTwice) {
    const Pcm pcm = Parse(ShowHideSoundWav());
    const size_t strike2 = size_t(kBarSoundRate) * 90 / 1000;
    const size_t w = size_t(kBarSoundRate) * 10 / 1000;
    // Just before the second note the first has decayed; the second brings it back up.
    EXPECT_GT(Peak(pcm.samples, strike2 + w / 4, strike2 + w),
              Peak(pcm.samples, strike2 - w, strike2) * 3 / 2);
}
