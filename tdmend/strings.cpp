// tdmend's string table, registered while the library is loaded.
#include "tdmend/strings.h"

#include "platform/strings.h"

namespace {

const StringTableRegistrar g_guideStrings(
    StringLayer::Library, "tdmend",
    {
        {IDS_GUIDE_MULTIMEDIA, "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia"},
        {IDS_GUIDE_MULTIMEDIA_MIDI,
         "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,2"},
        {IDS_GUIDE_MULTIMEDIA_ADVANCED,
         "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,4"},
        {IDS_GUIDE_ADD_HARDWARE,
         "rundll32.exe shell32.dll,Control_RunDLL sysdm.cpl,Add New Hardware,0"},
        {IDS_GUIDE_ADD_REMOVE_PROGRAMS,
         "rundll32.exe shell32.dll,Control_RunDLL appwiz.cpl,Add/Remove Programs,2"},
        {IDS_GUIDE_CONFLICT_HELP, "windows.hlp,hardware conflict troubleshooter"},
        {IDS_GUIDE_MULTIMEDIA_CD, "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,3"},
        {IDS_GUIDE_PLAY_STEPS,
         "1.  Press the Test button to start the test sound; it plays until you stop it.\n"
         "2.  Move the volume slider up and make sure 'Mute' is not checked.\n"
         "3.  Press Stop when you are done, then answer the question below."},
        {IDS_GUIDE_RECORD_STEPS,
         "1.  Press Record and speak into the microphone; recording stops after ten "
         "seconds, or when you press Stop.\n"
         "2.  Press Play to hear what was recorded, and Stop to end it.\n"
         "3.  Raise the Mic Sensitivity if the recording is faint, then answer below."},
        {IDS_GUIDE_TITLE_BASE + 1, "Welcome to the Fixit Guide"},
        {IDS_GUIDE_TITLE_BASE + 2, "Common Problems & Solutions"},
        {IDS_GUIDE_TITLE_BASE + 3, "Exploring the Problem"},
        {IDS_GUIDE_TITLE_BASE + 4, "Wave File Playback"},
        {IDS_GUIDE_TITLE_BASE + 5, "MIDI File Playback"},
        {IDS_GUIDE_TITLE_BASE + 6, "CD Audio Playback"},
        {IDS_GUIDE_TITLE_BASE + 7, "Microphone Recording"},
        {IDS_GUIDE_TITLE_BASE + 8, "Wave File Playback (Test Results)"},
        {IDS_GUIDE_TITLE_BASE + 9, "MIDI File Playback (Test Results)"},
        {IDS_GUIDE_TITLE_BASE + 10, "CD Audio Playback (Test Results)"},
        {IDS_GUIDE_TITLE_BASE + 11, "Microphone Recording (Test Results)"},
        {IDS_GUIDE_TITLE_BASE + 12, "Wave File Playback (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 13, "MIDI File Playback (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 14, "CD Audio Playback (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 15, "Microphone Recording (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 16, "Audio Device Problem"},
        {IDS_GUIDE_TITLE_BASE + 17, "Wave Device Problem"},
        {IDS_GUIDE_TITLE_BASE + 18, "MIDI Device Problem"},
        {IDS_GUIDE_TITLE_BASE + 19, "Record Device Problem"},
        {IDS_GUIDE_TITLE_BASE + 20, "CD Audio Device Problem"},
        {IDS_GUIDE_TITLE_BASE + 21, "Audio Device Problem (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 22, "Wave Device Problem (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 23, "MIDI Device Problem (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 24, "Record Device Problem (Other Solutions)"},
        {IDS_GUIDE_TITLE_BASE + 25, "CD Audio Device Problem (Other Solutions)"},
    });

}  // namespace
