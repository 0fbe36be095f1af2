// CMixMgr: named access to sixteen controls of the sound card's mixer (device 0): the
// master output's volume, mute, bass and treble; wave-out, synthesizer and CD volume and
// mute; the output peak meter; microphone volume, mute and automatic gain control; the
// overall recording volume and the recording peak meter. Start finds the controls once
// by walking the destination and source lines by component type; afterwards each
// operation is one get or set of control details.
//
// Results of setters, level getters and meter getters: 0 success, 1 when the control was
// not found at start, 7 when a details buffer cannot be had, otherwise the mixer's error.
// Boolean getters answer the value read, or 0 when the control is missing or the read
// fails. Used on the thread that owns the parent given to Start.
#pragma once

#include <QPointer>

#include <memory>

#include "platform/mixer.h"
#include "platform/types.h"

class MixMgrWindow;

class CMixMgr {
public:
    CMixMgr();
    // Closes the mixer when it is still open.
    virtual ~CMixMgr();
    CMixMgr(const CMixMgr&) = delete;
    CMixMgr& operator=(const CMixMgr&) = delete;

    // Creates the manager's hidden window under parent, opens mixer device 0 and finds
    // the lines and controls. 0 when there is no parent to create the window under, else
    // 1 (also when the card has no mixer: every control is then missing).
    int Start(QObject* parent);
    // The device's capabilities; on success remembers its destination count.
    MMRESULT GetDevCaps(UINT device, MIXERCAPS* caps, UINT size);
    // Opens the mixer with notifications to the manager's window.
    MMRESULT Open(UINT device);
    MMRESULT Close();

    // Two-channel levels, left and right, 0..65535.
    MMRESULT SetOverallPlaybackVolumeLevel(DWORD left, DWORD right);
    MMRESULT SetOverallRecordVolumeLevel(DWORD left, DWORD right);
    MMRESULT SetWaveOutPlaybackVolumeLevel(DWORD left, DWORD right);
    MMRESULT SetSynthPlaybackVolumeLevel(DWORD left, DWORD right);
    MMRESULT SetCDPlaybackVolumeLevel(DWORD left, DWORD right);
    MMRESULT GetOverallPlaybackVolumeLevel(DWORD& left, DWORD& right);
    MMRESULT GetOverallRecordVolumeLevel(DWORD& left, DWORD& right);
    MMRESULT GetWaveOutPlaybackVolumeLevel(DWORD& left, DWORD& right);
    MMRESULT GetSynthPlaybackVolumeLevel(DWORD& left, DWORD& right);
    MMRESULT GetCDPlaybackVolumeLevel(DWORD& left, DWORD& right);

    // One-channel levels.
    MMRESULT SetOverallPlaybackBassLevel(DWORD level);
    MMRESULT SetOverallPlaybackTrebleLevel(DWORD level);
    MMRESULT SetMicRecordVolumeLevel(DWORD level);
    MMRESULT GetOverallPlaybackBassLevel(DWORD& level);
    MMRESULT GetOverallPlaybackTrebleLevel(DWORD& level);
    // second is never written.
    MMRESULT GetMicRecordVolumeLevel(DWORD& level, DWORD& second);

    // Peak meters, -32768..32767 per channel; both are 0 when the meter cannot be read.
    MMRESULT GetWaveOutPlaybackMeterValue(int32_t& left, int32_t& right);
    MMRESULT GetMicRecordMeterValue(int32_t& left, int32_t& right);

    MMRESULT SetOverallPlaybackMute(BOOL mute);
    MMRESULT SetWaveOutPlaybackMute(BOOL mute);
    MMRESULT SetSynthPlaybackMute(BOOL mute);
    MMRESULT SetCDPlaybackMute(BOOL mute);
    MMRESULT SetMicRecordAGC(BOOL on);
    BOOL GetOverallPlaybackMute();
    BOOL GetWaveOutPlaybackMute();
    BOOL GetSynthPlaybackMute();
    BOOL GetCDPlaybackMute();
    BOOL GetMicRecordAGC();

    // The microphone's mute is its item in the recording source selector: muted when
    // the microphone is not selected for recording.
    MMRESULT SetMicRecordMute(BOOL mute);
    BOOL GetMicRecordMute();

    // Ask the mixer now whether the line has the control: 1 or 0.
    BOOL DoesOverallMasterVolumeExist();
    BOOL DoesOverallMasterMuteExist();
    BOOL DoesOverallMasterBassExist();
    BOOL DoesOverallMasterTrebleExist();
    BOOL DoesWaveOutPlaybackVolumeExist();
    BOOL DoesWaveOutPlaybackMuteExist();
    BOOL DoesWaveOutPlaybackVUExist();
    BOOL DoesSynthPlaybackVolumeExist();
    BOOL DoesSynthPlaybackMuteExist();
    BOOL DoesCDPlaybackVolumeExist();
    BOOL DoesCDPlaybackMuteExist();
    BOOL DoesMicRecordVolumeExist();
    BOOL DoesMicRecordMuteExist();

    // Whether Start found the control.
    BOOL IsWaveOutPlaybackVUMeterValid() const { return valid_[kWaveOutMeter]; }
    BOOL IsMicRecordVUMeterValid() const { return valid_[kRecordMeter]; }
    BOOL IsOverallPlaybackVolumeControlValid() const { return valid_[kPlaybackVolume]; }
    BOOL IsOverallRecordVolumeControlValid() const { return valid_[kRecordVolume]; }
    BOOL IsOverallPlaybackBassControlValid() const { return valid_[kBass]; }
    BOOL IsOverallPlaybackTrebleControlValid() const { return valid_[kTreble]; }
    BOOL IsMicRecordVolumeControlValid() const { return valid_[kMicVolume]; }
    BOOL IsOverallPlaybackMuteControlValid() const { return valid_[kPlaybackMute]; }
    BOOL IsMicRecordAGCControlValid() const { return valid_[kMicAGC]; }
    BOOL IsMicRecordMuteControlValid() const { return valid_[kRecordSelector]; }
    BOOL IsSynthPlaybackVolumeControlValid() const { return valid_[kSynthVolume]; }
    BOOL IsCDPlaybackVolumeControlValid() const { return valid_[kCDVolume]; }
    BOOL IsWaveOutPlaybackVolumeControlValid() const { return valid_[kWaveOutVolume]; }
    BOOL IsSynthPlaybackMuteControlValid() const { return valid_[kSynthMute]; }
    BOOL IsCDPlaybackMuteControlValid() const { return valid_[kCDMute]; }
    BOOL IsWaveOutPlaybackMuteControlValid() const { return valid_[kWaveOutMute]; }

    // The manager's window (null before Start), the open mixer and its destination count.
    QObject* window() const;
    HMIXER handle() const { return mixer_; }
    DWORD destinationCount() const { return destinations_; }

protected:
    // Mixer notifications arriving at the manager's window.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void OnLineChange(WPARAM wParam, LPARAM lParam);
    void OnControlChange(WPARAM wParam, LPARAM lParam);

private:
    friend class MixMgrWindow;

    // The sixteen controls, in this order.
    enum ControlIndex {
        kWaveOutMeter,
        kRecordMeter,
        kPlaybackVolume,
        kRecordVolume,
        kBass,
        kTreble,
        kMicVolume,
        kPlaybackMute,
        kMicAGC,
        kRecordSelector,
        kSynthVolume,
        kCDVolume,
        kWaveOutVolume,
        kSynthMute,
        kCDMute,
        kWaveOutMute,
        kControlCount
    };
    // Line slots: three destinations, then the sources kept under each.
    enum LineSlot {
        kSpeakers,
        kWaveIn,
        kVoiceIn,
        kSpeakersLine,
        kSpeakersMic,
        kSpeakersSynth,
        kSpeakersCD,
        kSpeakersWaveOut,
        kSpeakersAux,
        kWaveInLine,
        kWaveInMic,
        kWaveInSynth,
        kWaveInCD,
        kWaveInWaveOut,
        kWaveInAux,
        kVoiceInMic,
        kVoiceInAux,
        kLineSlotCount
    };
    struct LineRecord {
        MIXERLINE line;
        MIXERLINECONTROLS controls;
    };

    void Scan();
    void StoreLine(LineSlot slot, const MIXERLINE& line);
    bool FindControl(LineSlot slot, DWORD type, MIXERCONTROL* out);
    int FindMicrophoneItem();
    // The details record for reading or writing a control's values.
    MIXERCONTROLDETAILS ValueDetails(ControlIndex index, DWORD* values, DWORD channels) const;
    MMRESULT SetValues(ControlIndex index, const DWORD* values, DWORD channels);
    MMRESULT GetValues(ControlIndex index, DWORD* values, DWORD channels);
    MMRESULT SetPair(ControlIndex index, DWORD left, DWORD right);
    MMRESULT GetPair(ControlIndex index, DWORD& left, DWORD& right);
    MMRESULT GetMeter(ControlIndex index, int32_t& left, int32_t& right);
    MMRESULT SetFlag(ControlIndex index, BOOL flag);
    BOOL GetFlag(ControlIndex index);
    MMRESULT ReadSelector(std::unique_ptr<DWORD[]>& items, DWORD& count);

    BOOL valid_[kControlCount] = {};
    HMIXER mixer_ = nullptr;
    DWORD destinations_ = 0;
    LineRecord lines_[kLineSlotCount] = {};
    MIXERCONTROL controls_[kControlCount] = {};
    int micItem_ = -1;               // the microphone's item in the recording source selector
    QPointer<MixMgrWindow> window_;  // a child of the parent given to Start
};
