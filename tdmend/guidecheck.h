// Consistency of a guide database: every frame can be reached from frame 1, every prompt,
// test and control configuration a frame names exists, every "%frame" target exists, and
// no identifier is given twice (the later record could never be found).
#pragma once

#include <QStringList>

#include <cstdint>
#include <set>

#include "tdmend/guidedata.h"

// The frames the guide's own machinery leads to besides the actions: the topic buttons,
// the device-problem frames of the sound tests and the capability report's way out.
inline constexpr int32_t kGuideTopicFrames[5] = {10, 40, 50, 60, 500};
inline constexpr int32_t kGuideWaveProblemFrame = 2000;
inline constexpr int32_t kGuideMidiProblemFrame = 3000;
inline constexpr int32_t kGuideCdProblemFrame = 4000;
inline constexpr int32_t kGuideRecordProblemFrame = 5000;
inline constexpr int32_t kGuideAudioProblemFrame = 1000;

// The frames one frame can lead to, in the order found.
std::set<int32_t> GuideFrameExits(const CFixitGuideDatabase& db, const CFrame& frame);
// Frames reachable from frame 1, frame 1 included when it exists.
std::set<int32_t> GuideReachableFrames(const CFixitGuideDatabase& db);
// The faults, one line each; empty when there are none.
QStringList CheckGuide(const CFixitGuideDatabase& db);
