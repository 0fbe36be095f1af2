#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/playsound.h"
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

// A custom sound that names no file is silence: it neither plays nor ends the sound that
// plays already. One that names a file plays it, which ends the sound before it.
TEST(BarSounds, ACustomSoundWithoutAFileLeavesThePlayingSoundAlone) {
    qputenv("TONEDECK_AUDIO", "virtual");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A minute of silence stands for a long sound that plays.
    const QByteArray minute =
        MakePcmWav(std::vector<int16_t>(size_t(kBarSoundRate) * 60), kBarSoundRate);
    ASSERT_TRUE(PlaySoundMemory(minute));
    ASSERT_TRUE(IsSoundPlaying());

    char field[260] = {};
    EXPECT_FALSE(PlayBarSound(false, IDR_DRAWER_SOUND, field, sizeof field));
    std::memcpy(field, "   ", 3);
    EXPECT_FALSE(PlayBarSound(false, IDR_DRAWER_SOUND, field, sizeof field));
    EXPECT_TRUE(IsSoundPlaying()) << "the sound before still plays";
    // A file that is not there plays nothing either, and stops nothing.
    const QByteArray missing = QFile::encodeName(dir.filePath("gone.wav"));
    std::memset(field, 0, sizeof field);
    std::memcpy(field, missing.constData(), size_t(missing.size()));
    EXPECT_FALSE(PlayBarSound(false, IDR_DRAWER_SOUND, field, sizeof field));
    EXPECT_TRUE(IsSoundPlaying());

    // A field filled to its end without a NUL is read up to its end only.
    char full[8];
    std::memset(full, 'x', sizeof full);
    EXPECT_FALSE(PlayBarSound(false, IDR_DRAWER_SOUND, full, sizeof full));

    // A custom file that is there, and the built-in sound, each start playing.
    const QString custom = dir.filePath("custom.wav");
    QFile file(custom);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(minute);
    file.close();
    const QByteArray name = QFile::encodeName(custom);
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.constData(), size_t(name.size()));
    EXPECT_TRUE(PlayBarSound(false, IDR_DRAWER_SOUND, field, sizeof field));
    EXPECT_TRUE(PlayBarSound(true, IDR_DRAWER_SOUND, nullptr, 0));
    EXPECT_FALSE(PlayBarSound(true, 155, nullptr, 0)) << "no built-in sound of that id";
    PlaySound(QString());
    EXPECT_TRUE(WaitForSound(10000));
    qunsetenv("TONEDECK_AUDIO");
}
