#include "tonedeck/barmixer.h"

#include "tdkit/audio/mixmgr.h"

namespace {

class MixMgrBarMixer : public BarMixer {
public:
    explicit MixMgrBarMixer(CMixMgr* m) : m_(m) {}

    bool IsWaveOutPlaybackVUMeterValid() override { return m_->IsWaveOutPlaybackVUMeterValid(); }
    bool IsOverallPlaybackMuteControlValid() override {
        return m_->IsOverallPlaybackMuteControlValid();
    }
    bool IsOverallPlaybackVolumeControlValid() override {
        return m_->IsOverallPlaybackVolumeControlValid();
    }
    bool IsOverallPlaybackBassControlValid() override {
        return m_->IsOverallPlaybackBassControlValid();
    }
    bool IsOverallPlaybackTrebleControlValid() override {
        return m_->IsOverallPlaybackTrebleControlValid();
    }
    bool GetOverallPlaybackMute() override { return m_->GetOverallPlaybackMute(); }
    void SetOverallPlaybackMute(bool mute) override { m_->SetOverallPlaybackMute(mute); }
    UINT GetWaveOutPlaybackMeterValue(int32_t& left, int32_t& right) override {
        return m_->GetWaveOutPlaybackMeterValue(left, right);
    }
    UINT GetOverallPlaybackVolumeLevel(DWORD& left, DWORD& right) override {
        return m_->GetOverallPlaybackVolumeLevel(left, right);
    }
    void SetOverallPlaybackVolumeLevel(DWORD left, DWORD right) override {
        m_->SetOverallPlaybackVolumeLevel(left, right);
    }
    UINT GetOverallPlaybackBassLevel(DWORD& level) override {
        return m_->GetOverallPlaybackBassLevel(level);
    }
    void SetOverallPlaybackBassLevel(DWORD level) override {
        m_->SetOverallPlaybackBassLevel(level);
    }
    UINT GetOverallPlaybackTrebleLevel(DWORD& level) override {
        return m_->GetOverallPlaybackTrebleLevel(level);
    }
    void SetOverallPlaybackTrebleLevel(DWORD level) override {
        m_->SetOverallPlaybackTrebleLevel(level);
    }

private:
    CMixMgr* m_;
};

}  // namespace

std::unique_ptr<BarMixer> MakeBarMixer(CMixMgr* mixer) {
    if (!mixer)
        return nullptr;
    return std::make_unique<MixMgrBarMixer>(mixer);
}
