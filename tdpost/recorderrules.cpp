#include "tdpost/recorderrules.h"

bool RecorderEnabling::Enabled(int command) const {
    switch (command) {
        case ID_RECORDER_RECORD:
            return record;
        case ID_RECORDER_PLAY:
            return play;
        case ID_RECORDER_STOP:
            return stop;
        case ID_RECORDER_PAUSE:
            return pause;
        case ID_RECORDER_SKIPSTART:
            return skipStart;
        case ID_RECORDER_SKIPEND:
            return skipEnd;
        case ID_RECORDER_SEND:
            return send;
        case ID_RECORDER_POST:
            return post;
        case ID_RECORDER_SAVEFILE:
            return saveFile;
        case ID_RECORDER_DESKTOP:
            return desktop;
        case ID_RECORDER_COPY:
            return copy;
        case ID_RECORDER_PASTE:
            return paste;
        case ID_RECORDER_PROPERTIES:
            return properties;
        case ID_RECORDER_CLOSE:
        case ID_RECORDER_HELP:
        case ID_RECORDER_CONTEXTMENU:
            return true;
        default:
            return false;
    }
}

RecorderEnabling ComputeRecorderEnabling(const RecorderState& s) {
    RecorderEnabling e;
    const bool busy = s.recording || s.playing;
    e.record = !busy && s.canUseAudio;
    e.play = e.record && s.hasRecording;
    e.stop = busy;
    e.pause = busy;
    e.pausePressed = busy && s.paused;
    e.skipStart = s.hasRecording && !s.recording && s.position != 0;
    e.skipEnd = s.hasRecording && !s.recording && s.position < s.lastSample;
    e.send = (s.type == 0 || s.type == 1) && s.mailAvailable && s.hasRecording;
    e.post = (s.type == 0 || s.type == 2) && s.hasRecording;
    e.saveFile = s.type == 0 && s.hasRecording;
    e.desktop = s.type == 0 && s.hasRecording;
    e.copy = s.hasRecording && !busy;
    e.paste = !busy && s.clipboardHasWav;
    e.voiceDetect = !s.recording;
    e.properties = !busy;
    return e;
}

std::vector<int> LeftToolBarCommands(int type) {
    switch (type) {
        case 0:
            return {
                ID_RECORDER_SEND, ID_RECORDER_POST, ID_RECORDER_SAVEFILE, ID_RECORDER_DESKTOP, 0,
                ID_RECORDER_COPY, ID_RECORDER_PASTE};
        case 1:
            return {ID_RECORDER_SEND, 0, ID_RECORDER_COPY, ID_RECORDER_PASTE};
        default:
            return {ID_RECORDER_POST, 0, ID_RECORDER_COPY, ID_RECORDER_PASTE};
    }
}

std::vector<int> ContextMenuCommands(int type) {
    switch (type) {
        case 0:
            return {ID_RECORDER_POST, ID_RECORDER_SEND, ID_RECORDER_SAVEFILE, ID_RECORDER_DESKTOP,
                    ID_RECORDER_PLAY, ID_RECORDER_COPY, ID_RECORDER_PASTE};
        case 1:
            return {ID_RECORDER_SEND, ID_RECORDER_PLAY, ID_RECORDER_COPY, ID_RECORDER_PASTE};
        default:
            return {ID_RECORDER_POST, ID_RECORDER_PLAY, ID_RECORDER_COPY, ID_RECORDER_PASTE};
    }
}

std::vector<int> TransportCommands() {
    return {ID_RECORDER_RECORD,    ID_RECORDER_STOP, ID_RECORDER_PAUSE,
            ID_RECORDER_SKIPSTART, ID_RECORDER_PLAY, ID_RECORDER_SKIPEND};
}

QString RecorderCommandText(int command) {
    switch (command) {
        case ID_RECORDER_SEND:
            return QStringLiteral("Send Voicegram");
        case ID_RECORDER_POST:
            return QStringLiteral("Post Echo Memo");
        case ID_RECORDER_SAVEFILE:
            return QStringLiteral("Save as a File");
        case ID_RECORDER_DESKTOP:
            return QStringLiteral("Place on the Desktop");
        case ID_RECORDER_COPY:
            return QStringLiteral("Copy");
        case ID_RECORDER_PASTE:
            return QStringLiteral("Paste");
        case ID_RECORDER_RECORD:
            return QStringLiteral("Record");
        case ID_RECORDER_STOP:
            return QStringLiteral("Stop");
        case ID_RECORDER_PAUSE:
            return QStringLiteral("Pause");
        case ID_RECORDER_SKIPSTART:
            return QStringLiteral("Skip to Start");
        case ID_RECORDER_PLAY:
            return QStringLiteral("Play");
        case ID_RECORDER_SKIPEND:
            return QStringLiteral("Skip to End");
        case ID_RECORDER_CLOSE:
            return QStringLiteral("Close Drawer");
        case ID_RECORDER_HELP:
            return QStringLiteral("Help");
        case ID_RECORDER_PROPERTIES:
            return QStringLiteral("Properties");
        default:
            return QString();
    }
}

QString RecordSettingsProblem(const RECORDPROPERTIES& p) {
    if (p.nQuality < 0 || p.nQuality > 3)
        return QStringLiteral(
                   "The recording quality setting of this drawer (%1) is not one the recorder "
                   "knows.\nChoose the quality again in the drawer's properties.")
            .arg(p.nQuality);
    if (p.nMaxMinutes != 1 && p.nMaxMinutes != 5 && p.nMaxMinutes != 10)
        return QStringLiteral(
                   "The maximum recording time setting of this drawer (%1 minutes) is not one "
                   "the recorder allows.\nChoose one, five or ten minutes in the drawer's "
                   "properties.")
            .arg(p.nMaxMinutes);
    return QString();
}

int MaxMinutesIndex(int minutes) {
    switch (minutes) {
        case 1:
            return 0;
        case 5:
            return 1;
        case 10:
            return 2;
        default:
            return -1;
    }
}

int MaxMinutesFromIndex(int index, int old) {
    static const int kMinutes[] = {1, 5, 10};
    return index >= 0 && index < 3 ? kMinutes[index] : old;
}
