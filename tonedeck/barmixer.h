// The master-output operations of the mixer manager that the bar's audio controls use.
// The panel talks to the mixer through this interface so that tests can give it a card
// of their own; the bar gives it the mixer manager it owns.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/types.h"

class CMixMgr;

class BarMixer {
public:
    virtual ~BarMixer() = default;

    virtual bool IsWaveOutPlaybackVUMeterValid() = 0;
    virtual bool IsOverallPlaybackMuteControlValid() = 0;
    virtual bool IsOverallPlaybackVolumeControlValid() = 0;
    virtual bool IsOverallPlaybackBassControlValid() = 0;
    virtual bool IsOverallPlaybackTrebleControlValid() = 0;

    virtual bool GetOverallPlaybackMute() = 0;
    virtual void SetOverallPlaybackMute(bool mute) = 0;

    // Level and meter getters answer 0 on success; the outs are then valid.
    virtual UINT GetWaveOutPlaybackMeterValue(int32_t& left, int32_t& right) = 0;
    virtual UINT GetOverallPlaybackVolumeLevel(DWORD& left, DWORD& right) = 0;
    virtual void SetOverallPlaybackVolumeLevel(DWORD left, DWORD right) = 0;
    virtual UINT GetOverallPlaybackBassLevel(DWORD& level) = 0;
    virtual void SetOverallPlaybackBassLevel(DWORD level) = 0;
    virtual UINT GetOverallPlaybackTrebleLevel(DWORD& level) = 0;
    virtual void SetOverallPlaybackTrebleLevel(DWORD level) = 0;
};

// The bar's mixer manager seen through BarMixer; the manager must outlive the result.
std::unique_ptr<BarMixer> MakeBarMixer(CMixMgr* mixer);
