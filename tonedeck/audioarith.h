// The arithmetic of the bar's audio controls: stepping levels, turning a volume and a
// balance into two channel levels and back, and which picture shows a level. Plain code,
// so it can be checked without a display or a sound card.
#pragma once

#include <QRect>

#include <cstdint>

#include "platform/types.h"

inline constexpr DWORD kLevelMax = 0xFFFF;
// One click, or one auto-repeat tick, moves a level by this much.
inline constexpr int kLevelStep = 2048;
// The balance value that gives both channels the full volume.
inline constexpr DWORD kBalanceCentre = 0x7FFF;
// A level's share of the ten picture steps: 0xFFFF / 10.
inline constexpr DWORD kImageStep = 0xFFFF / 10;

struct ChannelLevels {
    DWORD left = 0;
    DWORD right = 0;
    bool operator==(const ChannelLevels&) const = default;
};

// value + delta, kept within 0 to 0xFFFF. The sum is formed in wide signed arithmetic, so
// a step below 0 stops at 0 instead of wrapping round to a huge unsigned level, and a
// value already above 0xFFFF (a mixer with a wider range) comes back into range.
DWORD StepLevel(DWORD value, int delta);

// The two channel levels for a volume v and a balance b (both taken as 16-bit, larger
// values counting as 0xFFFF): left = v·L/0x7FFF, right = v·R/0x7FFF with L = 0x7FFF below
// 0x8000, else 0xFFFF − b, and R = b below 0x7FFF, else 0x7FFF. Each channel is clamped to
// 0xFFFF.
ChannelLevels ChannelsFromVolume(DWORD volume, DWORD balance);

// Moves both channels by the same amount, each clamped to 0 to 0xFFFF on its own: a
// channel at the end of its range stays there rather than wrapping to the other end.
ChannelLevels MoveChannels(ChannelLevels levels, int delta);

// The volume the bar shows for a reading: the larger channel, at most 0xFFFF.
DWORD VolumeFromChannels(DWORD left, DWORD right);

// The balance for a reading: 0x7FFF when both channels are equal; below it when the left
// channel is louder (0 when the right one is silent), above it when the right one is.
DWORD BalanceFromChannels(DWORD left, DWORD right);

// The level picture (0 to 9) for one channel of a peak meter reading: the magnitude
// doubled, at most 0xFFFF, in steps of 0xFFFF / 10.
int MeterIndex(int32_t reading);

// Picture index 0 to 10 for a level (volume display, SRS centre level).
int LevelImage(DWORD level);

// SRS mode switch: 1 → 0, 0 → 2, 2 → 1.
int NextSrsMode(int mode);

// The green bar drawn over the balance strip for a balance: from the strip's middle
// towards the louder side, inside the strip less 3 pixels at each side, 2 at the top and
// 1 at the bottom, and always more than 3 pixels wide.
QRect BalanceBarRect(const QRect& strip, DWORD balance);

// The cyan level bar of a treble or bass control: a 4-pixel slot from left + 2, top + 3
// to bottom − 2, filled from the bottom in proportion to value / 0xFFFF.
QRect ToneBarRect(const QRect& control, DWORD value);
