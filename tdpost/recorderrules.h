// The recorder drawer's rules that need no window: which commands are enabled in a given
// state, which buttons and keys each kind of drawer has, and whether a drawer's recording
// settings are usable.
#pragma once

#include <QString>

#include <vector>

#include "tdkit/settings/properties.h"

// Commands of the recorder drawers.
inline constexpr int ID_RECORDER_SEND = 32779;
inline constexpr int ID_RECORDER_POST = 32784;
inline constexpr int ID_RECORDER_SAVEFILE = 32787;
inline constexpr int ID_RECORDER_DESKTOP = 32830;
inline constexpr int ID_RECORDER_COPY = 32792;
inline constexpr int ID_RECORDER_PASTE = 32793;
inline constexpr int ID_RECORDER_RECORD = 32780;
inline constexpr int ID_RECORDER_STOP = 32777;
inline constexpr int ID_RECORDER_PAUSE = 32785;
inline constexpr int ID_RECORDER_SKIPSTART = 32776;
inline constexpr int ID_RECORDER_PLAY = 32778;
inline constexpr int ID_RECORDER_SKIPEND = 32781;
inline constexpr int ID_RECORDER_CLOSE = 32783;
inline constexpr int ID_RECORDER_HELP = 32782;
inline constexpr int ID_RECORDER_CONTEXTMENU = 32796;
// The drawer's own settings sheet.
inline constexpr int ID_RECORDER_PROPERTIES = 32800;

// What the enabling rules look at.
struct RecorderState {
    int type = 0;  // RECORDERDRAWERTYPE: 0 Recorder, 1 Send Voicegram, 2 Create EchoMemo
    bool recording = false;
    bool playing = false;
    bool paused = false;
    bool hasRecording = false;
    bool canUseAudio = false;  // the bar's answer: no other drawer or player uses the device
    bool mailAvailable = false;
    bool clipboardHasWav = false;
    unsigned long position = 0;    // the display's position
    unsigned long lastSample = 0;  // samples in the recording
};

struct RecorderEnabling {
    bool record = false, play = false, stop = false, pause = false, pausePressed = false;
    bool skipStart = false, skipEnd = false;
    bool send = false, post = false, saveFile = false, desktop = false;
    bool copy = false, paste = false;
    bool voiceDetect = false;
    bool properties = false;
    // The state of one command by id; false for commands without a rule.
    bool Enabled(int command) const;
};

RecorderEnabling ComputeRecorderEnabling(const RecorderState& s);

// The left tool bar of a kind (0 a separator), and its context menu.
std::vector<int> LeftToolBarCommands(int type);
std::vector<int> ContextMenuCommands(int type);
std::vector<int> TransportCommands();
// The text of a command (button tooltip and menu item).
QString RecorderCommandText(int command);

// Why the settings cannot be recorded with; empty when they can. Quality 0-3 and a
// maximum of 1, 5 or 10 minutes are the values the settings pages offer.
QString RecordSettingsProblem(const RECORDPROPERTIES& props);

// The settings pages' maximum-time radio group: 1, 5, 10 minutes are the indexes 0, 1, 2;
// another stored value selects nothing (-1).
int MaxMinutesIndex(int minutes);
// The value an index stores; no selection (or an index outside the group) keeps the old.
int MaxMinutesFromIndex(int index, int old);
