// Mixer arithmetic shared by the bar's master controls and the Fixit Guide: levels are
// 16-bit (0..0xFFFF) per channel; a balance of 0 is full left, 0x7FFF/0x8000 the centre
// and 0xFFFF full right.
#pragma once

#include "platform/types.h"

inline constexpr DWORD kMixLevelMax = 0xFFFF;
inline constexpr DWORD kMixBalanceCentre = 0x7FFF;
// One click of a volume, balance or tone button.
inline constexpr DWORD kMixLevelStep = 2048;

struct ChannelLevels {
    DWORD left = 0;
    DWORD right = 0;
    bool operator==(const ChannelLevels&) const = default;
};

// level moved by delta steps of any size, kept within 0..0xFFFF.
DWORD StepLevel(DWORD level, int delta);

// The two channel levels that give the volume v at balance b: the side the balance leans
// away from is scaled down.
ChannelLevels ChannelsFromVolumeBalance(DWORD volume, DWORD balance);
// The volume two channels stand for: the louder of them.
DWORD VolumeFromChannels(ChannelLevels levels);
// The balance two channels stand for (the centre when they are equal).
DWORD BalanceFromChannels(ChannelLevels levels);

// The mean of the two channels, the level a single slider shows for them.
DWORD MeanLevel(ChannelLevels levels);
// Moves both channels by the same amount so that their mean becomes target, keeping the
// difference between them (the balance) where it fits; a channel that would pass 0 or
// 0xFFFF stops there.
ChannelLevels MoveChannelsToMean(ChannelLevels levels, DWORD target);
