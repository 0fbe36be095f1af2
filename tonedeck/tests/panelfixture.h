// A card and a bar for the panel tests: the card keeps its levels in members, the bar
// answers which drawers are open and records the commands and messages it gets.
#pragma once

#include <QApplication>
#include <QWidget>

#include <set>
#include <vector>

#include "tdkit/settings/properties.h"
#include "tonedeck/barmixer.h"
#include "tonedeck/barpanel.h"

inline void PanelTestApp() {
    static int argc = 1;
    static char arg0[] = "tonedeck_tests";
    static char* argv[] = {arg0, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

class FakeMixer : public BarMixer {
public:
    bool meter = true, muteControl = true, volumeControl = true, treble = true, bass = true;
    bool muted = false;
    bool failReads = false;
    int32_t meterLeft = 0, meterRight = 0;
    DWORD left = 0x8000, right = 0x8000, trebleLevel = 0x8000, bassLevel = 0x8000;
    int volumeSets = 0;

    bool IsWaveOutPlaybackVUMeterValid() override { return meter; }
    bool IsOverallPlaybackMuteControlValid() override { return muteControl; }
    bool IsOverallPlaybackVolumeControlValid() override { return volumeControl; }
    bool IsOverallPlaybackBassControlValid() override { return bass; }
    bool IsOverallPlaybackTrebleControlValid() override { return treble; }
    bool GetOverallPlaybackMute() override { return muted; }
    void SetOverallPlaybackMute(bool m) override { muted = m; }
    UINT GetWaveOutPlaybackMeterValue(int32_t& l, int32_t& r) override {
        if (failReads)
            return 1;
        l = meterLeft;
        r = meterRight;
        return 0;
    }
    UINT GetOverallPlaybackVolumeLevel(DWORD& l, DWORD& r) override {
        if (failReads)
            return 1;
        l = left;
        r = right;
        return 0;
    }
    void SetOverallPlaybackVolumeLevel(DWORD l, DWORD r) override {
        left = l;
        right = r;
        ++volumeSets;
    }
    UINT GetOverallPlaybackBassLevel(DWORD& v) override {
        v = bassLevel;
        return failReads ? 1 : 0;
    }
    void SetOverallPlaybackBassLevel(DWORD v) override { bassLevel = v; }
    UINT GetOverallPlaybackTrebleLevel(DWORD& v) override {
        v = trebleLevel;
        return failReads ? 1 : 0;
    }
    void SetOverallPlaybackTrebleLevel(DWORD v) override { trebleLevel = v; }
};

// Stands in for the bar dialog: hands the audio messages to the panel as the bar does.
class FakeBar : public QWidget, public MessageReceiver {
public:
    explicit FakeBar(QSize size) : MessageReceiver(this) {
        resize(size);
        OnMessage(WM_BAR_ISDRAWEROPEN,
                  [this](WPARAM w, LPARAM) { return LRESULT(open.count(int(w)) ? 1 : 0); });
        OnMessage(WM_COMMAND, [this](WPARAM w, LPARAM) {
            commands.push_back(int(w));
            return LRESULT(0);
        });
        for (UINT m : kBarAudioMessages) {
            OnMessage(m, [this, m](WPARAM w, LPARAM l) {
                messages.push_back(m);
                return panel ? panel->HandleAudioMessage(m, w, l) : 0;
            });
        }
    }

    std::set<int> open;
    std::vector<int> commands;
    std::vector<UINT> messages;
    CBarPanel* panel = nullptr;
};

inline PROPERTIES PanelSettings() {
    PROPERTIES s{};
    s.bShowRecorder = s.bShowSendVoicegram = s.bShowVoicegramBox = 1;
    s.bShowCreateEchoMemo = s.bShowSonoscout = s.bShowEchoMemosManager = 1;
    s.bShowBass = s.bShowTreble = 1;
    s.bToolTips = 1;
    s.bShowEndBitmap = 1;
    s.bSystemFaceColour = 1;
    return s;
}
