#include <gtest/gtest.h>

#include "tonedeck/audioarith.h"

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
