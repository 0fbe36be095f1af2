// The mixer: a sound card's destination lines (speakers, recording), the source lines
// that feed each destination, and the controls on every line (volume, mute, tone,
// peak meters, the recording source selector). Lines are found by index or by component
// type, controls by control type or identifier, and every value is read or written as
// an array of control details, one per channel (or per item of a list control).
//
// Device 0 is the card the mixer backend chose: ALSA's simple mixer, or the in-process
// virtual card (see ChosenMixerBackend). All functions may be called from any thread;
// change notifications are posted to the window given to MixerOpen.
#pragma once

#include <QString>

#include <cstddef>
#include <memory>

#include "platform/mmresult.h"
#include "platform/types.h"

class QObject;
class MixerCard;

// Component types of lines.
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0x0000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 0x0001;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LINE = 0x0002;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_MONITOR = 0x0003;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 0x0004;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 0x0005;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 0x0006;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x0007;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 0x0008;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Control types. The class (top four bits) says how values are kept: meters and faders
// hold numbers, switches booleans, lists one boolean per item.
inline constexpr DWORD MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_METER = 0x10000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_LIST = 0x70000000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;

inline constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
inline constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;

inline constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

// How MixerGetLineInfo finds the line.
inline constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0;    // by dwDestination
inline constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 1;         // by dwDestination, dwSource
inline constexpr DWORD MIXER_GETLINEINFOF_LINEID = 2;         // by dwLineID
inline constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 3;  // first of dwComponentType
// How MixerGetLineControls finds controls.
inline constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 1;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 2;
// What MixerGetControlDetails reads.
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0;
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 1;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0;

// MixerOpen: notifications go to the window given (CALLBACK_WINDOW), or nowhere
// (CALLBACK_NULL).

inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr MMRESULT MIXERR_INVALVALUE = 1026;

// Posted to the callback window: wParam the mixer handle, lParam the line or control id.
inline constexpr UINT MM_MIXM_LINE_CHANGE = 0x3D0;
inline constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x3D1;

inline constexpr std::size_t MAXPNAMELEN = 32;
inline constexpr std::size_t MIXER_SHORT_NAME_CHARS = 16;
inline constexpr std::size_t MIXER_LONG_NAME_CHARS = 64;

struct MIXERCAPS {
    WORD wMid;
    WORD wPid;
    DWORD vDriverVersion;  // major in the high byte, minor in the low byte
    char szPname[MAXPNAMELEN];
    DWORD fdwSupport;
    DWORD cDestinations;
};

struct MIXERLINE {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    uintptr_t dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        DWORD vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

struct MIXERCONTROL {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        int32_t lMinimum;  // as DWORD for unsigned controls
        int32_t lMaximum;
        DWORD dwReserved[4];
    } Bounds;
    struct {
        DWORD cSteps;
        DWORD dwReserved[5];
    } Metrics;
};
static_assert(sizeof(MIXERCONTROL) == 148);

struct MIXERLINECONTROLS {
    DWORD cbStruct;
    DWORD dwLineID;
    DWORD dwControl;  // the control id (ONEBYID) or control type (ONEBYTYPE)
    DWORD cControls;
    DWORD cbmxctrl;
    MIXERCONTROL* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;       // 1 reads the first channel and writes all of them alike
    DWORD cMultipleItems;  // the control's item count for list controls, else 0
    DWORD cbDetails;
    void* paDetails;  // cChannels × max(1, cMultipleItems) details of cbDetails bytes
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};
struct MIXERCONTROLDETAILS_SIGNED {
    int32_t lValue;
};
struct MIXERCONTROLDETAILS_BOOLEAN {
    int32_t fValue;
};
struct MIXERCONTROLDETAILS_LISTTEXT {
    DWORD dwParam1;  // the line id the item stands for
    DWORD dwParam2;  // that line's component type
    char szName[MIXER_LONG_NAME_CHARS];
};

using HMIXER = struct MixerHandle*;

UINT MixerGetNumDevs();
MMRESULT MixerGetDevCaps(UINT device, MIXERCAPS* caps, UINT size);
// fdwOpen: CALLBACK_WINDOW with a window, or CALLBACK_NULL.
MMRESULT MixerOpen(HMIXER* mixer, UINT device, QObject* window, DWORD fdwOpen);
MMRESULT MixerClose(HMIXER mixer);
MMRESULT MixerGetLineInfo(HMIXER mixer, MIXERLINE* line, DWORD fdwInfo);
MMRESULT MixerGetLineControls(HMIXER mixer, MIXERLINECONTROLS* controls, DWORD fdwControls);
MMRESULT MixerGetControlDetails(HMIXER mixer, MIXERCONTROLDETAILS* details, DWORD fdwDetails);
MMRESULT MixerSetControlDetails(HMIXER mixer, const MIXERCONTROLDETAILS* details, DWORD fdwDetails);

// Which backend stands behind device 0. Chosen on first use: TONEDECK_AUDIO=alsa or
// =virtual decides; otherwise ALSA when its mixer opens, else the virtual card (said
// once on stderr). None: TONEDECK_AUDIO=alsa and no ALSA mixer could be opened.
enum class MixerBackend { None, Alsa, Virtual };
MixerBackend ChosenMixerBackend();
const char* MixerBackendName(MixerBackend backend);

// For tests and tools: put a card in place of device 0 (null for a machine without a
// mixer), or forget the choice so the next call chooses again. Open handles become
// invalid (their calls answer MMSYSERR_INVALHANDLE) but must still be closed.
void InstallMixerCard(std::unique_ptr<MixerCard> card, MixerBackend backend);
void ResetMixerDevices();
