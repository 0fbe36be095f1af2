#include <gtest/gtest.h>

#include "audioarith.h"

TEST(AudioArith, VolumeAndBalanceMakeChannels) {
    // The centre gives both channels the whole volume; the ends silence one side.
    EXPECT_EQ(ChannelsFromVolume(0xFFFF, 0x7FFF), (ChannelLevels{0xFFFF, 0xFFFF}));
    EXPECT_EQ(ChannelsFromVolume(0xFFFF, 0x8000), (ChannelLevels{0xFFFF, 0xFFFF}));
    EXPECT_EQ(ChannelsFromVolume(0x9000, 0), (ChannelLevels{0x9000, 0}));
    EXPECT_EQ(ChannelsFromVolume(0x9000, 0xFFFF), (ChannelLevels{0, 0x9000}));
    // Full left, one step right: the right channel plays at 2048/0x7FFF of the volume.
    EXPECT_EQ(ChannelsFromVolume(0xFFFF, StepLevel(0, kLevelStep)),
              (ChannelLevels{0xFFFF, 0xFFFFu * 2048 / 0x7FFF}));
    // Values beyond 16 bits never give a channel beyond 0xFFFF.
    const ChannelLevels big = ChannelsFromVolume(0x30000, 0x7FFF);
    EXPECT_EQ(big, (ChannelLevels{0xFFFF, 0xFFFF}));
}

TEST(AudioArith, StepsStopAtTheEndsInsteadOfWrapping) {
    EXPECT_EQ(StepLevel(0xF900, kLevelStep), 0xFFFFu);
    EXPECT_EQ(StepLevel(1000, -kLevelStep), 0u);
    EXPECT_EQ(StepLevel(0, -kLevelStep), 0u);
    EXPECT_EQ(StepLevel(0x20000, -kLevelStep), 0xFFFFu - 2048);
    EXPECT_EQ(StepLevel(4096, -kLevelStep), 2048u);

    // Both channels moved alike: each stops at its own end.
    EXPECT_EQ(MoveChannels({0xFF00, 0x1000}, kLevelStep), (ChannelLevels{0xFFFF, 0x1800}));
    EXPECT_EQ(MoveChannels({0x0100, 0x9000}, -kLevelStep), (ChannelLevels{0, 0x8800}));
    EXPECT_EQ(MoveChannels({0xFFFF, 0xFFFF}, kLevelStep), (ChannelLevels{0xFFFF, 0xFFFF}));
}

TEST(AudioArith, ReadingGivesVolumeAndBalanceBack) {
    EXPECT_EQ(VolumeFromChannels(0x4000, 0x9000), 0x9000u);
    EXPECT_EQ(BalanceFromChannels(0x5000, 0x5000), kBalanceCentre);
    EXPECT_EQ(BalanceFromChannels(0x5000, 0), 0u);
    EXPECT_EQ(BalanceFromChannels(0, 0x5000), 0xFFFFu);
    EXPECT_EQ(BalanceFromChannels(0, 0), kBalanceCentre);
    // Set and read back: the balance survives within rounding, on both sides.
    for (DWORD b : {2048u, 0x3000u, 0x6000u, 0x9000u, 0xC000u, 0xF000u}) {
        const ChannelLevels c = ChannelsFromVolume(0xFFFF, b);
        const DWORD back = BalanceFromChannels(c.left, c.right);
        EXPECT_NEAR(double(back), double(b), 2.0) << b;
        EXPECT_EQ(VolumeFromChannels(c.left, c.right), 0xFFFFu);
    }
}

TEST(AudioArith, PictureIndices) {
    EXPECT_EQ(MeterIndex(0), 0);
    EXPECT_EQ(MeterIndex(3276), 0);   // doubled 6552
    EXPECT_EQ(MeterIndex(3277), 1);   // doubled 6554
    EXPECT_EQ(MeterIndex(-9830), 3);  // magnitude counts
    EXPECT_EQ(MeterIndex(32767), 9);
    // The loudest negative peak doubles past 16 bits; it still shows the top of the scale.
    EXPECT_EQ(MeterIndex(-32768), 9);
    EXPECT_EQ(MeterIndex(INT32_MIN), 9);
    EXPECT_EQ(LevelImage(0xFFFF), 10);
    EXPECT_EQ(LevelImage(6552), 0);
    EXPECT_EQ(LevelImage(0x7FFF), 5);
    EXPECT_EQ(NextSrsMode(0), 2);
    EXPECT_EQ(NextSrsMode(2), 1);
    EXPECT_EQ(NextSrsMode(1), 0);
}

TEST(AudioArith, BalanceAndToneBars) {
    const QRect strip(10, 50, 49, 8);
    // Centre: a short bar about the middle (34), widened past 3 pixels.
    QRect bar = BalanceBarRect(strip, kBalanceCentre);
    EXPECT_GT(bar.width(), 3);
    EXPECT_LE(bar.left(), 34 - 1);
    EXPECT_GE(bar.right(), 34 + 1);
    EXPECT_EQ(bar.top(), 52);
    EXPECT_EQ(bar.bottom(), 56);
    // Full left and full right stay inside the strip's 3-pixel frame and mirror each
    // other about the middle.
    const QRect left = BalanceBarRect(strip, 0);
    const QRect right = BalanceBarRect(strip, 0xFFFF);
    EXPECT_EQ(left.left(), 13);
    EXPECT_EQ(right.right(), 10 + 49 - 3 - 1);
    EXPECT_EQ(left.left() - strip.left(), strip.right() - right.right());
    // Just off the centre the bar still widens to more than 3 pixels.
    EXPECT_GT(BalanceBarRect(strip, 0x8000).width(), 3);

    const QRect tone(0, 104, 25, 25);
    EXPECT_EQ(ToneBarRect(tone, 0).height(), 0);
    const QRect full = ToneBarRect(tone, 0xFFFF);
    EXPECT_EQ(full, QRect(2, 107, 4, 20));
    EXPECT_EQ(ToneBarRect(tone, 0x8000).height(), 10);
    EXPECT_EQ(ToneBarRect(tone, 0x8000).bottom(), full.bottom());
}
