// The drawing arithmetic of the bar's audio controls: which picture shows a level and
// where the level bars go. The level arithmetic itself (steps, volume and balance to
// channels and back) is the mixer's, in tdkit/audio/mixlevels.h. Plain code, so it can be
// checked without a display or a sound card.
#pragma once

#include <QRect>

#include <cstdint>

#include "platform/types.h"
#include "tdkit/audio/mixlevels.h"

inline constexpr DWORD kLevelMax = kMixLevelMax;
// One click, or one auto-repeat tick, moves a level by this much.
inline constexpr int kLevelStep = int(kMixLevelStep);
// The balance value that gives both channels the full volume.
inline constexpr DWORD kBalanceCentre = kMixBalanceCentre;
// A level's share of the ten picture steps: 0xFFFF / 10.
inline constexpr DWORD kImageStep = 0xFFFF / 10;

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
