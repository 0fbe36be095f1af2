#include <gtest/gtest.h>

#include <cstdlib>

#include "tdkit/audio/mixlevels.h"

namespace {

TEST(MixLevels, StepsStopAtTheEnds) {
    EXPECT_EQ(StepLevel(0xF900, kMixLevelStep), 0xFFFFu);
    EXPECT_EQ(StepLevel(1000, -int(kMixLevelStep)), 0u);
    EXPECT_EQ(StepLevel(0x8000, kMixLevelStep), 0x8800u);
    // Holding a button for a second: ten steps down from the top.
    DWORD v = 0xFFFF;
    for (int i = 0; i < 10; ++i)
        v = StepLevel(v, -int(kMixLevelStep));
    EXPECT_EQ(v, 0xFFFFu - 10 * kMixLevelStep);
}

TEST(MixLevels, BalanceScalesTheSideItLeansAwayFrom) {
    const DWORD v = 0xC000;
    EXPECT_EQ(ChannelsFromVolumeBalance(v, 0x7FFF), (ChannelLevels{v, v}));
    EXPECT_EQ(ChannelsFromVolumeBalance(v, 0x8000), (ChannelLevels{v, v}));
    EXPECT_EQ(ChannelsFromVolumeBalance(v, 0), (ChannelLevels{v, 0}));
    EXPECT_EQ(ChannelsFromVolumeBalance(v, 0xFFFF), (ChannelLevels{0, v}));
    // Full left and one step right: the right channel plays at 2048/0x7FFF of the volume.
    EXPECT_EQ(ChannelsFromVolumeBalance(v, kMixLevelStep), (ChannelLevels{v, v * 2048 / 0x7FFF}));
    // The loudest volume at any balance stays a 16-bit level.
    for (DWORD b = 0; b <= 0xFFFF; b += 0x1111) {
        const ChannelLevels c = ChannelsFromVolumeBalance(0xFFFF, b);
        EXPECT_LE(c.left, 0xFFFFu);
        EXPECT_LE(c.right, 0xFFFFu);
        EXPECT_EQ(VolumeFromChannels(c), 0xFFFFu) << b;
    }
}

TEST(MixLevels, ReadingChannelsBackGivesTheBalanceThatMadeThem) {
    EXPECT_EQ(BalanceFromChannels({500, 500}), kMixBalanceCentre);
    EXPECT_EQ(BalanceFromChannels({0, 0}), kMixBalanceCentre);
    EXPECT_EQ(BalanceFromChannels({500, 0}), 0u);
    EXPECT_EQ(BalanceFromChannels({0, 500}), 0xFFFFu);
    for (DWORD b = 0; b <= 0xFFFF; b += 0x0800) {
        const DWORD back = BalanceFromChannels(ChannelsFromVolumeBalance(0xFFFF, b));
        EXPECT_LE(std::abs(int(back) - int(b)), 2) << "balance " << b << " read back as " << back;
    }
}

TEST(MixLevels, MovingBothChannelsKeepsTheirDifferenceAndNeverWraps) {
    EXPECT_EQ(MeanLevel({0xFFFF, 0xFFFF}), 0xFFFFu);
    EXPECT_EQ(MoveChannelsToMean({20000, 30000}, 40000), (ChannelLevels{35000, 45000}));
    EXPECT_EQ(MoveChannelsToMean({20000, 30000}, 5000), (ChannelLevels{0, 10000}));
    // Raising a balanced-right pair to the top stops the right channel at 0xFFFF instead of
    // wrapping it round to a whisper.
    EXPECT_EQ(MoveChannelsToMean({60000, 65000}, 0xFFFF), (ChannelLevels{63035, 0xFFFF}));
    // Lowering to nothing stops the quieter channel at 0 instead of wrapping it to loud.
    EXPECT_EQ(MoveChannelsToMean({1000, 5000}, 0), (ChannelLevels{0, 2000}));
    EXPECT_EQ(MoveChannelsToMean({1000, 5000}, 0x20000), (ChannelLevels{63535, 0xFFFF}))
        << "a target past the top counts as the top";
}

}  // namespace
