#include <gtest/gtest.h>

#include "tdpost/recorderrules.h"

namespace {

RecorderState Idle(int type) {
    RecorderState s;
    s.type = type;
    s.canUseAudio = true;
    return s;
}

TEST(RecorderEnablingTable, IdleEmptyDrawerOffersOnlyRecord) {
    const RecorderEnabling e = ComputeRecorderEnabling(Idle(0));
    EXPECT_TRUE(e.record);
    EXPECT_FALSE(e.play);
    EXPECT_FALSE(e.stop);
    EXPECT_FALSE(e.pause);
    EXPECT_FALSE(e.skipStart);
    EXPECT_FALSE(e.skipEnd);
    EXPECT_FALSE(e.post);
    EXPECT_FALSE(e.saveFile);
    EXPECT_FALSE(e.copy);
    EXPECT_FALSE(e.paste);
    EXPECT_TRUE(e.voiceDetect);
    EXPECT_TRUE(e.Enabled(ID_RECORDER_CLOSE));
    EXPECT_TRUE(e.Enabled(ID_RECORDER_HELP));
}

TEST(RecorderEnablingTable, TheBarsAnswerGatesRecordAndPlay) {
    RecorderState s = Idle(0);
    s.hasRecording = true;
    s.lastSample = 100;
    EXPECT_TRUE(ComputeRecorderEnabling(s).play);
    s.canUseAudio = false;
    const RecorderEnabling e = ComputeRecorderEnabling(s);
    EXPECT_FALSE(e.record);
    EXPECT_FALSE(e.play);
    // The rest does not need the sound device.
    EXPECT_TRUE(e.post);
    EXPECT_TRUE(e.copy);
}

TEST(RecorderEnablingTable, RecordingAndPlayingLockOutTheFileCommands) {
    for (bool recording : {true, false}) {
        RecorderState s = Idle(0);
        s.hasRecording = true;
        s.recording = recording;
        s.playing = !recording;
        s.paused = true;
        s.clipboardHasWav = true;
        s.position = 50;
        s.lastSample = 100;
        const RecorderEnabling e = ComputeRecorderEnabling(s);
        EXPECT_FALSE(e.record);
        EXPECT_FALSE(e.play);
        EXPECT_TRUE(e.stop);
        EXPECT_TRUE(e.pause);
        EXPECT_TRUE(e.pausePressed);
        EXPECT_FALSE(e.copy);
        EXPECT_FALSE(e.paste);
        EXPECT_FALSE(e.properties);
        EXPECT_EQ(e.voiceDetect, !recording);
        // Skipping is refused only while recording.
        EXPECT_EQ(e.skipStart, !recording);
        EXPECT_EQ(e.skipEnd, !recording);
    }
}

TEST(RecorderEnablingTable, SkipsDependOnThePositionsEnds) {
    RecorderState s = Idle(0);
    s.hasRecording = true;
    s.lastSample = 100;
    s.position = 0;
    EXPECT_FALSE(ComputeRecorderEnabling(s).skipStart);
    EXPECT_TRUE(ComputeRecorderEnabling(s).skipEnd);
    s.position = 99;
    EXPECT_TRUE(ComputeRecorderEnabling(s).skipStart);
    EXPECT_TRUE(ComputeRecorderEnabling(s).skipEnd);
    s.position = 100;
    EXPECT_TRUE(ComputeRecorderEnabling(s).skipStart);
    EXPECT_FALSE(ComputeRecorderEnabling(s).skipEnd);
    s.hasRecording = false;
    EXPECT_FALSE(ComputeRecorderEnabling(s).skipStart);
}

TEST(RecorderEnablingTable, EachKindHasItsOwnFileCommands) {
    for (int type = 0; type < 3; ++type) {
        RecorderState s = Idle(type);
        s.hasRecording = true;
        s.mailAvailable = true;
        const RecorderEnabling e = ComputeRecorderEnabling(s);
        EXPECT_EQ(e.send, type != 2) << type;
        EXPECT_EQ(e.post, type != 1) << type;
        EXPECT_EQ(e.saveFile, type == 0) << type;
        EXPECT_EQ(e.desktop, type == 0) << type;
        s.mailAvailable = false;
        EXPECT_FALSE(ComputeRecorderEnabling(s).send);
        // The buttons of the kind are exactly the commands the table can enable.
        for (int c : LeftToolBarCommands(type)) {
            if (c) {
                EXPECT_TRUE(e.Enabled(c) || c == ID_RECORDER_PASTE) << type << " " << c;
            }
        }
    }
    EXPECT_EQ(LeftToolBarCommands(0).size(), 7u);
    EXPECT_EQ(LeftToolBarCommands(1).front(), ID_RECORDER_SEND);
    EXPECT_EQ(LeftToolBarCommands(2).front(), ID_RECORDER_POST);
    EXPECT_EQ(ContextMenuCommands(2).size(), 4u);
    EXPECT_EQ(RecorderCommandText(ID_RECORDER_DESKTOP), "Place on the Desktop");
}

TEST(RecorderSettings, OnlyTheOfferedValuesAreRecordedWith) {
    RECORDPROPERTIES p{};
    for (int minutes : {1, 5, 10})
        for (int quality = 0; quality <= 3; ++quality) {
            p.nMaxMinutes = minutes;
            p.nQuality = quality;
            EXPECT_TRUE(RecordSettingsProblem(p).isEmpty());
        }
    p.nQuality = 4;
    EXPECT_TRUE(RecordSettingsProblem(p).contains("quality"));
    p.nQuality = -1;
    EXPECT_FALSE(RecordSettingsProblem(p).isEmpty());
    p.nQuality = 0;
    for (int minutes : {0, 2, 7, 11, -5}) {
        p.nMaxMinutes = minutes;
        EXPECT_TRUE(RecordSettingsProblem(p).contains("maximum")) << minutes;
    }
    EXPECT_EQ(MaxMinutesIndex(1), 0);
    EXPECT_EQ(MaxMinutesIndex(10), 2);
    EXPECT_EQ(MaxMinutesIndex(7), -1);
    EXPECT_EQ(MaxMinutesFromIndex(1, 7), 5);
    EXPECT_EQ(MaxMinutesFromIndex(-1, 7), 7);
    EXPECT_EQ(MaxMinutesFromIndex(3, 7), 7);
}

}  // namespace
