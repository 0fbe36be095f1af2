#include "tdkit/audio/mixmgr.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <cstring>
#include <new>

#include "platform/message.h"

// Trace lines of the mixer manager (debug output, off unless enabled with
// QT_LOGGING_RULES="tonedeck.mixmgr.debug=true").
Q_LOGGING_CATEGORY(lcMixMgr, "tonedeck.mixmgr", QtInfoMsg)

// The manager's hidden window: receives the mixer's notifications.
class MixMgrWindow : public QObject, public MessageReceiver {
public:
    MixMgrWindow(CMixMgr* manager, QObject* parent)
        : QObject(parent), MessageReceiver(this), manager_(manager) {
        setObjectName(QStringLiteral("MixMgr"));
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        return manager_->WindowProc(message, wParam, lParam);
    }

private:
    CMixMgr* manager_;
};

namespace {

void Trace(const QString& line) {
    QString text = line;
    if (text.endsWith(u'\n'))
        text.chop(1);
    qCDebug(lcMixMgr).noquote() << text;
}

QString Text(const char* field, std::size_t size) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

constexpr DWORD kLineControlsSize = sizeof(MIXERLINECONTROLS);
constexpr DWORD kControlSize = sizeof(MIXERCONTROL);

}  // namespace

CMixMgr::CMixMgr() = default;

CMixMgr::~CMixMgr() {
    Close();
    delete window_.data();
}

QObject* CMixMgr::window() const {
    return window_.data();
}

int CMixMgr::Start(QObject* parent) {
    if (!parent)
        return 0;
    Close();
    delete window_.data();
    window_ = new MixMgrWindow(this, parent);
    std::memset(valid_, 0, sizeof valid_);
    std::memset(lines_, 0, sizeof lines_);
    std::memset(controls_, 0, sizeof controls_);
    destinations_ = 0;
    micItem_ = -1;

    MIXERCAPS caps;
    if (GetDevCaps(0, &caps, sizeof caps) == MMSYSERR_NOERROR && Open(0) == MMSYSERR_NOERROR)
        Scan();

    // Which line and control type stands behind each control, in table order.
    static constexpr struct {
        LineSlot slot;
        DWORD type;
    } kTable[kControlCount] = {
        {kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_PEAKMETER},
        {kWaveIn, MIXERCONTROL_CONTROLTYPE_PEAKMETER},
        {kSpeakers, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kWaveIn, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kSpeakers, MIXERCONTROL_CONTROLTYPE_BASS},
        {kSpeakers, MIXERCONTROL_CONTROLTYPE_TREBLE},
        {kWaveInMic, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kSpeakers, MIXERCONTROL_CONTROLTYPE_MUTE},
        {kWaveInMic, MIXERCONTROL_CONTROLTYPE_ONOFF},
        {kWaveIn, MIXERCONTROL_CONTROLTYPE_MIXER},
        {kSpeakersSynth, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kSpeakersCD, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_VOLUME},
        {kSpeakersSynth, MIXERCONTROL_CONTROLTYPE_MUTE},
        {kSpeakersCD, MIXERCONTROL_CONTROLTYPE_MUTE},
        {kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_MUTE},
    };
    for (int i = 0; i < kControlCount; ++i)
        valid_[i] = FindControl(kTable[i].slot, kTable[i].type, &controls_[i]) ? 1 : 0;
    // The selector serves as the microphone's mute only when it has a microphone item.
    if (valid_[kRecordSelector]) {
        micItem_ = FindMicrophoneItem();
        if (micItem_ < 0)
            valid_[kRecordSelector] = 0;
    }
    return 1;
}

MMRESULT CMixMgr::GetDevCaps(UINT device, MIXERCAPS* caps, UINT size) {
    const MMRESULT r = MixerGetDevCaps(device, caps, size);
    if (r == MMSYSERR_NOERROR)
        destinations_ = caps->cDestinations;
    return r;
}

MMRESULT CMixMgr::Open(UINT device) {
    if (!window_)
        return MMSYSERR_INVALPARAM;
    Close();
    return MixerOpen(&mixer_, device, window_.data(), CALLBACK_WINDOW);
}

MMRESULT CMixMgr::Close() {
    if (!mixer_)
        return MMSYSERR_INVALHANDLE;
    const MMRESULT r = MixerClose(mixer_);
    mixer_ = nullptr;
    return r;
}

void CMixMgr::Scan() {
    for (DWORD d = 0; d < destinations_; ++d) {
        MIXERLINE dest{};
        dest.cbStruct = sizeof dest;
        dest.dwDestination = d;
        if (MixerGetLineInfo(mixer_, &dest, MIXER_GETLINEINFOF_DESTINATION) != MMSYSERR_NOERROR)
            continue;
        Trace(QString::asprintf(
            "MIXMGR DESTINATION FOUND: destination:%X comp type:%X channels:%X shortname:%s "
            "name:%s\n",
            d, dest.dwComponentType, dest.cChannels,
            Text(dest.szShortName, sizeof dest.szShortName).toUtf8().constData(),
            Text(dest.szName, sizeof dest.szName).toUtf8().constData()));
        LineSlot destSlot;
        switch (dest.dwComponentType) {
            case MIXERLINE_COMPONENTTYPE_DST_SPEAKERS:
                destSlot = kSpeakers;
                break;
            case MIXERLINE_COMPONENTTYPE_DST_WAVEIN:
                destSlot = kWaveIn;
                break;
            case MIXERLINE_COMPONENTTYPE_DST_VOICEIN:
                destSlot = kVoiceIn;
                break;
            default:
                continue;
        }
        StoreLine(destSlot, dest);
        for (DWORD s = 0; s < dest.cConnections; ++s) {
            MIXERLINE source{};
            source.cbStruct = sizeof source;
            source.dwDestination = d;
            source.dwSource = s;
            if (MixerGetLineInfo(mixer_, &source, MIXER_GETLINEINFOF_SOURCE) != MMSYSERR_NOERROR)
                continue;
            // The line under voice in has always read "channels;" in the trace.
            const char* format =
                destSlot == kVoiceIn
                    ? "MIXMGR SOURCE FOUND: source:%X comp type:%X channels;%X shortname:%s "
                      "name:%s\n"
                    : "MIXMGR SOURCE FOUND: source:%X comp type:%X channels:%X shortname:%s "
                      "name:%s\n";
            Trace(QString::asprintf(
                format, s, source.dwComponentType, source.cChannels,
                Text(source.szShortName, sizeof source.szShortName).toUtf8().constData(),
                Text(source.szName, sizeof source.szName).toUtf8().constData()));
            int slot = -1;
            const DWORD type = source.dwComponentType;
            if (destSlot == kVoiceIn) {
                if (type == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                    slot = kVoiceInMic;
                if (type == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY)
                    slot = kVoiceInAux;
            } else {
                const int base = destSlot == kSpeakers ? kSpeakersLine : kWaveInLine;
                switch (type) {
                    case MIXERLINE_COMPONENTTYPE_SRC_LINE:
                        slot = base;
                        break;
                    case MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE:
                        slot = base + 1;
                        break;
                    case MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER:
                        slot = base + 2;
                        break;
                    case MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC:
                        slot = base + 3;
                        break;
                    case MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT:
                        slot = base + 4;
                        break;
                    case MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY:
                        slot = base + 5;
                        break;
                    default:
                        break;
                }
            }
            if (slot >= 0)
                StoreLine(static_cast<LineSlot>(slot), source);
        }
    }
}

void CMixMgr::StoreLine(LineSlot slot, const MIXERLINE& line) {
    LineRecord& record = lines_[slot];
    record.line = line;
    record.controls = {};
    record.controls.cbStruct = kLineControlsSize;
    record.controls.dwLineID = line.dwLineID;
    record.controls.cControls = line.cControls;
    record.controls.cbmxctrl = kControlSize;
}

bool CMixMgr::FindControl(LineSlot slot, DWORD type, MIXERCONTROL* out) {
    if (!mixer_)
        return false;
    MIXERLINECONTROLS request{};
    request.cbStruct = kLineControlsSize;
    request.dwLineID = lines_[slot].line.dwLineID;  // 0 for a line the card does not have
    request.dwControl = type;
    request.cControls = 1;
    request.cbmxctrl = kControlSize;
    request.pamxctrl = out;
    return MixerGetLineControls(mixer_, &request, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
           MMSYSERR_NOERROR;
}

// The selector's item that stands for the microphone source under wave in, found by
// the line each item names; -1 when there is none.
int CMixMgr::FindMicrophoneItem() {
    const MIXERCONTROL& control = controls_[kRecordSelector];
    const DWORD count = control.cMultipleItems;
    if (count == 0)
        return -1;
    std::unique_ptr<MIXERCONTROLDETAILS_LISTTEXT[]> items(new (std::nothrow)
                                                              MIXERCONTROLDETAILS_LISTTEXT[count]);
    if (!items)
        return -1;
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = count;
    details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXT);
    details.paDetails = items.get();
    if (MixerGetControlDetails(mixer_, &details, MIXER_GETCONTROLDETAILSF_LISTTEXT) !=
        MMSYSERR_NOERROR)
        return -1;
    const DWORD micLine = lines_[kWaveInMic].line.dwLineID;
    for (DWORD i = 0; i < count; ++i)
        if (micLine != 0 && items[i].dwParam1 == micLine)
            return static_cast<int>(i);
    for (DWORD i = 0; i < count; ++i)
        if (items[i].dwParam2 == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
            return static_cast<int>(i);
    return -1;
}

MIXERCONTROLDETAILS CMixMgr::ValueDetails(ControlIndex index, DWORD* values, DWORD channels) const {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = controls_[index].dwControlID;
    details.cChannels = channels;
    details.cMultipleItems = index == kRecordSelector ? controls_[index].cMultipleItems : 0;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values;
    return details;
}

MMRESULT CMixMgr::SetValues(ControlIndex index, const DWORD* values, DWORD channels) {
    if (!valid_[index])
        return MMSYSERR_ERROR;
    MIXERCONTROLDETAILS details = ValueDetails(index, const_cast<DWORD*>(values), channels);
    return MixerSetControlDetails(mixer_, &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

MMRESULT CMixMgr::GetValues(ControlIndex index, DWORD* values, DWORD channels) {
    if (!valid_[index])
        return MMSYSERR_ERROR;
    MIXERCONTROLDETAILS details = ValueDetails(index, values, channels);
    return MixerGetControlDetails(mixer_, &details, MIXER_GETCONTROLDETAILSF_VALUE);
}

MMRESULT CMixMgr::SetPair(ControlIndex index, DWORD left, DWORD right) {
    const DWORD values[2] = {left, right};
    return SetValues(index, values, 2);
}

MMRESULT CMixMgr::GetPair(ControlIndex index, DWORD& left, DWORD& right) {
    if (!valid_[index])
        return MMSYSERR_ERROR;
    std::unique_ptr<DWORD[]> values(new (std::nothrow) DWORD[2]);
    if (!values)
        return MMSYSERR_NOMEM;
    const MMRESULT r = GetValues(index, values.get(), 2);
    if (r == MMSYSERR_NOERROR) {
        left = values[0];
        right = values[1];
    }
    return r;
}

MMRESULT CMixMgr::GetMeter(ControlIndex index, int32_t& left, int32_t& right) {
    left = right = 0;
    if (!valid_[index])
        return MMSYSERR_ERROR;
    std::unique_ptr<DWORD[]> values(new (std::nothrow) DWORD[2]);
    if (!values)
        return MMSYSERR_NOMEM;
    const MMRESULT r = GetValues(index, values.get(), 2);
    if (r == MMSYSERR_NOERROR) {
        left = static_cast<int32_t>(values[0]);
        right = static_cast<int32_t>(values[1]);
    }
    return r;
}

MMRESULT CMixMgr::SetFlag(ControlIndex index, BOOL flag) {
    const DWORD value = flag ? 1 : 0;
    return SetValues(index, &value, 1);
}

BOOL CMixMgr::GetFlag(ControlIndex index) {
    DWORD value = 0;
    if (GetValues(index, &value, 1) != MMSYSERR_NOERROR)
        return 0;
    return value ? 1 : 0;
}

MMRESULT CMixMgr::ReadSelector(std::unique_ptr<DWORD[]>& items, DWORD& count) {
    if (!valid_[kRecordSelector] || micItem_ < 0)
        return MMSYSERR_ERROR;
    count = controls_[kRecordSelector].cMultipleItems;
    items.reset(new (std::nothrow) DWORD[count]);
    if (!items)
        return MMSYSERR_NOMEM;
    return GetValues(kRecordSelector, items.get(), 1);
}

MMRESULT CMixMgr::SetOverallPlaybackVolumeLevel(DWORD left, DWORD right) {
    return SetPair(kPlaybackVolume, left, right);
}
MMRESULT CMixMgr::SetOverallRecordVolumeLevel(DWORD left, DWORD right) {
    return SetPair(kRecordVolume, left, right);
}
MMRESULT CMixMgr::SetWaveOutPlaybackVolumeLevel(DWORD left, DWORD right) {
    return SetPair(kWaveOutVolume, left, right);
}
MMRESULT CMixMgr::SetSynthPlaybackVolumeLevel(DWORD left, DWORD right) {
    return SetPair(kSynthVolume, left, right);
}
MMRESULT CMixMgr::SetCDPlaybackVolumeLevel(DWORD left, DWORD right) {
    return SetPair(kCDVolume, left, right);
}
MMRESULT CMixMgr::GetOverallPlaybackVolumeLevel(DWORD& left, DWORD& right) {
    return GetPair(kPlaybackVolume, left, right);
}
MMRESULT CMixMgr::GetOverallRecordVolumeLevel(DWORD& left, DWORD& right) {
    return GetPair(kRecordVolume, left, right);
}
MMRESULT CMixMgr::GetWaveOutPlaybackVolumeLevel(DWORD& left, DWORD& right) {
    return GetPair(kWaveOutVolume, left, right);
}
MMRESULT CMixMgr::GetSynthPlaybackVolumeLevel(DWORD& left, DWORD& right) {
    return GetPair(kSynthVolume, left, right);
}
MMRESULT CMixMgr::GetCDPlaybackVolumeLevel(DWORD& left, DWORD& right) {
    return GetPair(kCDVolume, left, right);
}

MMRESULT CMixMgr::SetOverallPlaybackBassLevel(DWORD level) {
    return SetValues(kBass, &level, 1);
}
MMRESULT CMixMgr::SetOverallPlaybackTrebleLevel(DWORD level) {
    return SetValues(kTreble, &level, 1);
}
MMRESULT CMixMgr::SetMicRecordVolumeLevel(DWORD level) {
    return SetValues(kMicVolume, &level, 1);
}
MMRESULT CMixMgr::GetOverallPlaybackBassLevel(DWORD& level) {
    return GetValues(kBass, &level, 1);
}
MMRESULT CMixMgr::GetOverallPlaybackTrebleLevel(DWORD& level) {
    return GetValues(kTreble, &level, 1);
}
MMRESULT CMixMgr::GetMicRecordVolumeLevel(DWORD& level, DWORD& /*second*/) {
    return GetValues(kMicVolume, &level, 1);
}

MMRESULT CMixMgr::GetWaveOutPlaybackMeterValue(int32_t& left, int32_t& right) {
    return GetMeter(kWaveOutMeter, left, right);
}
MMRESULT CMixMgr::GetMicRecordMeterValue(int32_t& left, int32_t& right) {
    return GetMeter(kRecordMeter, left, right);
}

MMRESULT CMixMgr::SetOverallPlaybackMute(BOOL mute) {
    return SetFlag(kPlaybackMute, mute);
}
MMRESULT CMixMgr::SetWaveOutPlaybackMute(BOOL mute) {
    return SetFlag(kWaveOutMute, mute);
}
MMRESULT CMixMgr::SetSynthPlaybackMute(BOOL mute) {
    return SetFlag(kSynthMute, mute);
}
MMRESULT CMixMgr::SetCDPlaybackMute(BOOL mute) {
    return SetFlag(kCDMute, mute);
}
MMRESULT CMixMgr::SetMicRecordAGC(BOOL on) {
    return SetFlag(kMicAGC, on);
}
BOOL CMixMgr::GetOverallPlaybackMute() {
    return GetFlag(kPlaybackMute);
}
BOOL CMixMgr::GetWaveOutPlaybackMute() {
    return GetFlag(kWaveOutMute);
}
BOOL CMixMgr::GetSynthPlaybackMute() {
    return GetFlag(kSynthMute);
}
BOOL CMixMgr::GetCDPlaybackMute() {
    return GetFlag(kCDMute);
}
BOOL CMixMgr::GetMicRecordAGC() {
    return GetFlag(kMicAGC);
}

MMRESULT CMixMgr::SetMicRecordMute(BOOL mute) {
    std::unique_ptr<DWORD[]> items;
    DWORD count = 0;
    const MMRESULT r = ReadSelector(items, count);
    if (r != MMSYSERR_NOERROR)
        return r;
    items[micItem_] = mute ? 0 : 1;
    return SetValues(kRecordSelector, items.get(), 1);
}

BOOL CMixMgr::GetMicRecordMute() {
    std::unique_ptr<DWORD[]> items;
    DWORD count = 0;
    if (ReadSelector(items, count) != MMSYSERR_NOERROR)
        return 0;
    return items[micItem_] == 0 ? 1 : 0;
}

// Existence checks: ask for the control now, into a scratch record.
#define TD_EXISTS(fn, slot, type)                         \
    BOOL CMixMgr::fn() {                                  \
        MIXERCONTROL scratch;                             \
        return FindControl(slot, type, &scratch) ? 1 : 0; \
    }
TD_EXISTS(DoesOverallMasterVolumeExist, kSpeakers, MIXERCONTROL_CONTROLTYPE_VOLUME)
TD_EXISTS(DoesOverallMasterMuteExist, kSpeakers, MIXERCONTROL_CONTROLTYPE_MUTE)
TD_EXISTS(DoesOverallMasterBassExist, kSpeakers, MIXERCONTROL_CONTROLTYPE_BASS)
TD_EXISTS(DoesOverallMasterTrebleExist, kSpeakers, MIXERCONTROL_CONTROLTYPE_TREBLE)
TD_EXISTS(DoesWaveOutPlaybackVolumeExist, kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_VOLUME)
TD_EXISTS(DoesWaveOutPlaybackMuteExist, kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_MUTE)
TD_EXISTS(DoesWaveOutPlaybackVUExist, kSpeakersWaveOut, MIXERCONTROL_CONTROLTYPE_PEAKMETER)
TD_EXISTS(DoesSynthPlaybackVolumeExist, kSpeakersSynth, MIXERCONTROL_CONTROLTYPE_VOLUME)
TD_EXISTS(DoesSynthPlaybackMuteExist, kSpeakersSynth, MIXERCONTROL_CONTROLTYPE_MUTE)
TD_EXISTS(DoesCDPlaybackVolumeExist, kSpeakersCD, MIXERCONTROL_CONTROLTYPE_VOLUME)
TD_EXISTS(DoesCDPlaybackMuteExist, kSpeakersCD, MIXERCONTROL_CONTROLTYPE_MUTE)
TD_EXISTS(DoesMicRecordVolumeExist, kWaveInMic, MIXERCONTROL_CONTROLTYPE_VOLUME)
#undef TD_EXISTS

// The microphone's mute exists when the recording source selector is there and has an
// item for the microphone: the control the mute operations use.
BOOL CMixMgr::DoesMicRecordMuteExist() {
    MIXERCONTROL selector;
    if (!FindControl(kWaveIn, MIXERCONTROL_CONTROLTYPE_MIXER, &selector))
        return 0;
    const MIXERCONTROL kept = controls_[kRecordSelector];
    controls_[kRecordSelector] = selector;
    const int item = FindMicrophoneItem();
    controls_[kRecordSelector] = kept;
    return item >= 0 ? 1 : 0;
}

LRESULT CMixMgr::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case MM_MIXM_LINE_CHANGE:
            OnLineChange(wParam, lParam);
            return 0;
        case MM_MIXM_CONTROL_CHANGE:
            OnControlChange(wParam, lParam);
            return 0;
        default:
            return 0;
    }
}

void CMixMgr::OnLineChange(WPARAM, LPARAM) {}

// The control's description is fetched and nobody is told: users poll the values.
void CMixMgr::OnControlChange(WPARAM, LPARAM lParam) {
    if (!mixer_)
        return;
    MIXERCONTROL control;
    MIXERLINECONTROLS request{};
    request.cbStruct = kLineControlsSize;
    request.dwControl = static_cast<DWORD>(lParam);
    request.cControls = 1;
    request.cbmxctrl = kControlSize;
    request.pamxctrl = &control;
    MixerGetLineControls(mixer_, &request, MIXER_GETLINECONTROLSF_ONEBYID);
}
