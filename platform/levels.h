// Peak levels of the sound Tonedeck itself plays and records. The wave devices report
// the peak of each buffer they carry; the mixer's peak meters read them back. Values
// are on the 16-bit scale, 0 to 32768, per channel; a level older than a quarter second
// reads as silence. Measuring a peak means reading every sample, so the devices measure
// only while a meter reads the levels: a source read in the last few seconds.
#pragma once

#include <cstdint>

enum class LevelSource { Output = 0, Input = 1 };

// Called by the wave devices for each buffer as it plays or arrives.
void ReportPeak(LevelSource source, uint16_t left, uint16_t right);

struct PeakLevel {
    uint16_t left = 0;
    uint16_t right = 0;
};

// The most recent peak of the source, or silence when nothing was reported lately. A read
// marks the source as watched.
PeakLevel CurrentPeak(LevelSource source);

// Whether a meter has read the source lately, so the devices should measure its peaks.
bool PeakWanted(LevelSource source);

// The clock the levels are stamped and aged by, in milliseconds; null restores the
// steady clock. For tests that step time by hand.
using LevelClock = int64_t (*)();
void SetLevelClock(LevelClock clock);
