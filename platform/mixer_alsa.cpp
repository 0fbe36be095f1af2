// The ALSA simple mixer as mixer lines and controls.
//
//   speakers destination  "Master" (else Speaker, Front, Headphone, PCM): volume, mute;
//                         "Bass"/"Treble" (or "Tone Control - Bass"/"- Treble"): tone
//     line source         "Line" playback volume, switch
//     microphone source   "Mic" playback volume, switch (the monitor path)
//     synthesizer source  "Synth" (else FM, MIDI) playback volume, switch
//     compact-disc source "CD" playback volume, switch
//     wave-out source     "PCM" playback volume, switch; always present for its peak meter
//     auxiliary source    "Aux" playback volume, switch
//   wave-in destination   "Capture" capture volume; peak meter; a source selector made of
//                         the capture switches of the sources below. Present when the
//                         card can record at all.
//     line, compact-disc, synthesizer, auxiliary sources: capture volume
//     microphone source   "Mic" capture volume, else the "Capture" element (a sound
//                         server's plugin offers only Master and Capture); automatic gain
//                         control from an "Auto Gain Control" switch
//
// Levels are scaled from each element's range to 0..65535 and back; a mute is an element
// switch turned off. Peak meters read the levels Tonedeck's own wave devices report.
#include "platform/mixer_alsa.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/levels.h"
#include "platform/mixer.h"
#include "platform/mixercard.h"
#include "platform/registry.h"

namespace {

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaErrorsOnce() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

int32_t ToLevel(long value, long min, long max) {
    if (max <= min)
        return 0;
    value = std::clamp(value, min, max);
    const int64_t range = int64_t(max) - min;
    return static_cast<int32_t>(((int64_t(value) - min) * 65535 + range / 2) / range);
}

long FromLevel(int32_t level, long min, long max) {
    if (max <= min)
        return min;
    const int64_t range = int64_t(max) - min;
    return static_cast<long>(min + (int64_t(level) * range + 32767) / 65535);
}

// Volumes whose decibel range is wider than this (in hundredths of a dB) are mapped onto
// 0..65535 the way alsamixer maps them: by loudness, so that equal steps of the scale are
// heard as equal steps. Narrower ranges, and elements that give no range, stay linear in
// their raw values.
constexpr long kMaxLinearDbRange = 2400;

// The part of the way from silence to full volume that `db` is, with the cube of the
// amplitude as the measure; below the range's floor (when the floor is not a mute) it is 0.
double NormalisedOfDb(double db, long minDb, long maxDb) {
    double n = std::pow(10.0, (db - double(maxDb)) / 6000.0);
    if (minDb != SND_CTL_TLV_DB_GAIN_MUTE) {
        const double floor = std::pow(10.0, (double(minDb) - double(maxDb)) / 6000.0);
        n = (n - floor) / (1.0 - floor);
    }
    return std::clamp(n, 0.0, 1.0);
}

int32_t MappedLevel(long db, long minDb, long maxDb) {
    return static_cast<int32_t>(std::lround(NormalisedOfDb(double(db), minDb, maxDb) * 65535.0));
}

long DbOfMappedLevel(int32_t level, long minDb, long maxDb) {
    double n = std::clamp(double(level) / 65535.0, 0.0, 1.0);
    if (minDb != SND_CTL_TLV_DB_GAIN_MUTE) {
        const double floor = std::pow(10.0, (double(minDb) - double(maxDb)) / 6000.0);
        n = n * (1.0 - floor) + floor;
    }
    if (n <= 0.0)
        return minDb;
    return std::clamp<long>(std::lround(6000.0 * std::log10(n)) + maxDb, minDb, maxDb);
}

bool IsRight(snd_mixer_selem_channel_id_t c) {
    return c == SND_MIXER_SCHN_FRONT_RIGHT || c == SND_MIXER_SCHN_REAR_RIGHT ||
           c == SND_MIXER_SCHN_SIDE_RIGHT;
}
bool IsLeft(snd_mixer_selem_channel_id_t c) {
    return c == SND_MIXER_SCHN_FRONT_LEFT || c == SND_MIXER_SCHN_REAR_LEFT ||
           c == SND_MIXER_SCHN_SIDE_LEFT;
}

// The kind of a capture source, from the element's name as drivers spell it.
DWORD CaptureSourceType(const QString& name) {
    auto has = [&](const char* word) {
        return name.contains(QLatin1String(word), Qt::CaseInsensitive);
    };
    if (has("Mic"))
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (has("Line"))
        return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    if (has("CD"))
        return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (has("Synth") || has("FM") || has("MIDI"))
        return MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
    if (has("Aux"))
        return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
    if (has("IEC958") || has("SPDIF") || has("Digital"))
        return MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
    return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
}

// The usual order of the recording sources: line, CD, synthesizer, microphone, auxiliary,
// then the rest.
int CaptureSourceRank(DWORD type) {
    switch (type) {
        case MIXERLINE_COMPONENTTYPE_SRC_LINE:
            return 0;
        case MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC:
            return 1;
        case MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER:
            return 2;
        case MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE:
            return 3;
        case MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY:
            return 4;
        default:
            return 5;
    }
}

bool CanPlay(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
}
bool CanCapture(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
}

class AlsaMixerCard : public MixerCard {
public:
    explicit AlsaMixerCard(snd_mixer_t* mixer) : mixer_(mixer) {}
    ~AlsaMixerCard() override { snd_mixer_close(mixer_); }

    void Build();

    bool ReadControl(const MixerCardControl& control, std::vector<int32_t>& values) override {
        auto it = bindings_.find(control.id);
        if (it == bindings_.end())
            return false;
        const Binding& b = it->second;
        if (b.kind == Kind::Meter) {
            const PeakLevel peak = CurrentPeak(b.meter);
            // A meter reads -32768..32767; a full-scale peak of 32768 shows as 32767.
            values[0] = std::min<int32_t>(peak.left, 32767);
            if (values.size() > 1)
                values[1] = std::min<int32_t>(peak.right, 32767);
            return true;
        }
        Refresh();
        if (Gone(b))
            return false;
        switch (b.kind) {
            case Kind::PlaybackVolume:
            case Kind::CaptureVolume:
                return ReadVolume(b.elem, b.kind == Kind::CaptureVolume, values);
            case Kind::PlaybackMute: {
                int on = 0;
                if (snd_mixer_selem_get_playback_switch(b.elem, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0)
                    return false;
                values.assign(values.size(), on ? 0 : 1);
                return true;
            }
            case Kind::Switch: {
                int on = 0;
                const int err = b.capture ? snd_mixer_selem_get_capture_switch(
                                                b.elem, SND_MIXER_SCHN_FRONT_LEFT, &on)
                                          : snd_mixer_selem_get_playback_switch(
                                                b.elem, SND_MIXER_SCHN_FRONT_LEFT, &on);
                if (err < 0)
                    return false;
                values.assign(values.size(), on ? 1 : 0);
                return true;
            }
            case Kind::CaptureSelect:
                for (std::size_t i = 0; i < b.items.size(); ++i) {
                    int on = 0;
                    if (snd_mixer_selem_get_capture_switch(b.items[i], SND_MIXER_SCHN_FRONT_LEFT,
                                                           &on) < 0)
                        return false;
                    values[i] = on ? 1 : 0;
                }
                return true;
            case Kind::Meter:
                break;
        }
        return false;
    }

    bool WriteControl(const MixerCardControl& control,
                      const std::vector<int32_t>& values) override {
        auto it = bindings_.find(control.id);
        if (it == bindings_.end() || it->second.kind == Kind::Meter)
            return false;
        const Binding& b = it->second;
        Refresh();
        if (Gone(b))
            return false;
        switch (b.kind) {
            case Kind::PlaybackVolume:
            case Kind::CaptureVolume:
                return WriteVolume(b.elem, b.kind == Kind::CaptureVolume, values);
            case Kind::PlaybackMute:
                return snd_mixer_selem_set_playback_switch_all(b.elem, values[0] ? 0 : 1) >= 0;
            case Kind::Switch:
                return (b.capture
                            ? snd_mixer_selem_set_capture_switch_all(b.elem, values[0])
                            : snd_mixer_selem_set_playback_switch_all(b.elem, values[0])) >= 0;
            case Kind::CaptureSelect:
                for (std::size_t i = 0; i < b.items.size(); ++i)
                    if (snd_mixer_selem_set_capture_switch_all(b.items[i], values[i] ? 1 : 0) < 0)
                        return false;
                return true;
            case Kind::Meter:
                break;
        }
        return false;
    }

    snd_mixer_t* mixer() const { return mixer_; }

    // The card's control events arrive on the mixer's poll descriptors.
    std::vector<int> ChangeDescriptors() override {
        std::vector<int> fds;
        const int count = snd_mixer_poll_descriptors_count(mixer_);
        if (count <= 0)
            return fds;
        std::vector<pollfd> polls(count);
        const int n = snd_mixer_poll_descriptors(mixer_, polls.data(), count);
        for (int i = 0; i < n; ++i)
            fds.push_back(polls[i].fd);
        return fds;
    }
    std::vector<DWORD> TakeChanges() override {
        Refresh();
        return ChangedControls();
    }
    std::vector<DWORD> ChangesSeen() override { return ChangedControls(); }

private:
    enum class Kind { PlaybackVolume, PlaybackMute, CaptureVolume, CaptureSelect, Switch, Meter };
    struct Binding {
        Kind kind = Kind::Meter;
        snd_mixer_elem_t* elem = nullptr;
        std::vector<snd_mixer_elem_t*> items;
        bool capture = false;
        LevelSource meter = LevelSource::Output;
    };

    static int OnElementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
        auto* card = static_cast<AlsaMixerCard*>(snd_mixer_elem_get_callback_private(elem));
        if (!card)
            return 0;
        if (mask == SND_CTL_EVENT_MASK_REMOVE)
            card->removed_.insert(elem);
        else if (mask & SND_CTL_EVENT_MASK_VALUE)
            card->changed_.insert(elem);
        return 0;
    }

    // The ids of the controls bound to the elements that changed since the last call.
    std::vector<DWORD> ChangedControls() {
        std::vector<DWORD> ids;
        if (changed_.empty())
            return ids;
        for (const auto& [id, b] : bindings_) {
            bool hit = b.elem && changed_.count(b.elem);
            for (snd_mixer_elem_t* e : b.items)
                hit = hit || changed_.count(e);
            if (hit)
                ids.push_back(id);
        }
        changed_.clear();
        return ids;
    }

    // Takes in changes other programs made, so reads show the card as it is now.
    void Refresh() {
        const int count = snd_mixer_poll_descriptors_count(mixer_);
        if (count <= 0)
            return;
        std::vector<pollfd> fds(count);
        const int n = snd_mixer_poll_descriptors(mixer_, fds.data(), count);
        if (n <= 0 || poll(fds.data(), n, 0) <= 0)
            return;
        snd_mixer_handle_events(mixer_);
    }

    bool Gone(const Binding& b) const {
        if (b.elem && removed_.count(b.elem))
            return true;
        for (snd_mixer_elem_t* e : b.items)
            if (removed_.count(e))
                return true;
        return false;
    }

    void Watch(snd_mixer_elem_t* elem) {
        snd_mixer_elem_set_callback(elem, OnElementEvent);
        snd_mixer_elem_set_callback_private(elem, this);
    }

    // The element's decibel range when levels go through it (see MappedLevel).
    static bool MappedRange(snd_mixer_elem_t* e, bool capture, long* minDb, long* maxDb) {
        if ((capture ? snd_mixer_selem_get_capture_dB_range(e, minDb, maxDb)
                     : snd_mixer_selem_get_playback_dB_range(e, minDb, maxDb)) < 0)
            return false;
        return *maxDb - *minDb > kMaxLinearDbRange;
    }

    bool ReadVolume(snd_mixer_elem_t* e, bool capture, std::vector<int32_t>& values) {
        long min = 0, max = 0, minDb = 0, maxDb = 0;
        if ((capture ? snd_mixer_selem_get_capture_volume_range(e, &min, &max)
                     : snd_mixer_selem_get_playback_volume_range(e, &min, &max)) < 0)
            return false;
        const bool mapped = MappedRange(e, capture, &minDb, &maxDb);
        for (std::size_t i = 0; i < values.size(); ++i) {
            auto channel = i == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
            const bool has = capture ? snd_mixer_selem_has_capture_channel(e, channel)
                                     : snd_mixer_selem_has_playback_channel(e, channel);
            if (!has)
                channel = SND_MIXER_SCHN_FRONT_LEFT;
            long v = 0;
            if ((capture ? snd_mixer_selem_get_capture_volume(e, channel, &v)
                         : snd_mixer_selem_get_playback_volume(e, channel, &v)) < 0)
                return false;
            long db = 0;
            if (mapped && v > min &&
                (capture ? snd_mixer_selem_get_capture_dB(e, channel, &db)
                         : snd_mixer_selem_get_playback_dB(e, channel, &db)) >= 0)
                values[i] = MappedLevel(db, minDb, maxDb);
            else
                values[i] = mapped && v <= min ? 0 : ToLevel(v, min, max);
        }
        return true;
    }

    bool WriteVolume(snd_mixer_elem_t* e, bool capture, const std::vector<int32_t>& values) {
        long min = 0, max = 0, minDb = 0, maxDb = 0;
        if ((capture ? snd_mixer_selem_get_capture_volume_range(e, &min, &max)
                     : snd_mixer_selem_get_playback_volume_range(e, &min, &max)) < 0)
            return false;
        const bool mapped = MappedRange(e, capture, &minDb, &maxDb);
        const int32_t left = values[0];
        const int32_t right = values.size() > 1 ? values[1] : values[0];
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (!(capture ? snd_mixer_selem_has_capture_channel(e, channel)
                          : snd_mixer_selem_has_playback_channel(e, channel)))
                continue;
            const int32_t level = IsRight(channel)  ? right
                                  : IsLeft(channel) ? left
                                                    : std::max(left, right);
            int err = 0;
            if (mapped && level > 0) {
                // Round towards the new level, so a step always moves the control.
                long now = 0, nowDb = 0;
                int dir = 0;
                if ((capture ? snd_mixer_selem_get_capture_volume(e, channel, &now)
                             : snd_mixer_selem_get_playback_volume(e, channel, &now)) >= 0) {
                    int32_t current = 0;
                    if (now > min &&
                        (capture ? snd_mixer_selem_get_capture_dB(e, channel, &nowDb)
                                 : snd_mixer_selem_get_playback_dB(e, channel, &nowDb)) >= 0)
                        current = MappedLevel(nowDb, minDb, maxDb);
                    dir = level > current ? 1 : level < current ? -1 : 0;
                }
                const long db = DbOfMappedLevel(level, minDb, maxDb);
                err = capture ? snd_mixer_selem_set_capture_dB(e, channel, db, dir)
                              : snd_mixer_selem_set_playback_dB(e, channel, db, dir);
            } else {
                const long v = mapped ? min : FromLevel(level, min, max);
                err = capture ? snd_mixer_selem_set_capture_volume(e, channel, v)
                              : snd_mixer_selem_set_playback_volume(e, channel, v);
            }
            if (err < 0)
                return false;
        }
        return true;
    }

    snd_mixer_elem_t* Find(std::initializer_list<const char*> names,
                           bool (*usable)(snd_mixer_elem_t*)) const {
        for (const char* wanted : names) {
            for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e;
                 e = snd_mixer_elem_next(e)) {
                if (!snd_mixer_selem_is_active(e) || snd_mixer_selem_get_index(e) != 0)
                    continue;
                if (QString::fromUtf8(snd_mixer_selem_get_name(e))
                            .compare(QLatin1StringView(wanted), Qt::CaseInsensitive) == 0 &&
                    usable(e))
                    return e;
            }
        }
        return nullptr;
    }

    void Bind(MixerCardLine& line, DWORD type, DWORD channels, const QString& shortName,
              Binding binding) {
        const MixerCardControl& c =
            AddControl(line, type, channels, shortName, line.name + u' ' + shortName);
        if (binding.elem)
            Watch(binding.elem);
        for (snd_mixer_elem_t* e : binding.items)
            Watch(e);
        bindings_[c.id] = std::move(binding);
    }

    // A source under the speakers: its playback volume and switch.
    void AddPlaybackSource(std::size_t dest, DWORD type, const char* name, snd_mixer_elem_t* e,
                           bool always = false) {
        if (!e && !always)
            return;
        const DWORD channels = e && snd_mixer_selem_is_playback_mono(e) == 1 ? 1 : 2;
        MixerCardLine& line =
            AddSource(dest, type, channels, QString::fromLatin1(name), QString::fromLatin1(name));
        if (e && snd_mixer_selem_has_playback_volume(e))
            Bind(line, MIXERCONTROL_CONTROLTYPE_VOLUME, channels, QStringLiteral("Volume"),
                 {Kind::PlaybackVolume, e});
        if (e && snd_mixer_selem_has_playback_switch(e))
            Bind(line, MIXERCONTROL_CONTROLTYPE_MUTE, 1, QStringLiteral("Mute"),
                 {Kind::PlaybackMute, e});
    }

    snd_mixer_t* mixer_;
    std::map<DWORD, Binding> bindings_;
    std::set<snd_mixer_elem_t*> removed_;
    std::set<snd_mixer_elem_t*> changed_;
};

void AlsaMixerCard::Build() {
    snd_mixer_elem_t* master = Find({"Master", "Speaker", "Front", "Headphone", "PCM"}, CanPlay);
    snd_mixer_elem_t* pcm = Find({"PCM"}, CanPlay);
    if (pcm == master)
        pcm = nullptr;
    auto hasPVolume = [](snd_mixer_elem_t* e) -> bool {
        return snd_mixer_selem_has_playback_volume(e);
    };
    snd_mixer_elem_t* bass = Find({"Bass", "Tone Control - Bass"}, hasPVolume);
    snd_mixer_elem_t* treble = Find({"Treble", "Tone Control - Treble"}, hasPVolume);

    // Speakers.
    {
        const DWORD channels = master && snd_mixer_selem_is_playback_mono(master) == 1 ? 1 : 2;
        MixerCardLine& speakers =
            AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, channels, QStringLiteral("Master"),
                           QStringLiteral("Master Volume"));
        if (master && snd_mixer_selem_has_playback_volume(master))
            Bind(speakers, MIXERCONTROL_CONTROLTYPE_VOLUME, channels, QStringLiteral("Volume"),
                 {Kind::PlaybackVolume, master});
        if (master && snd_mixer_selem_has_playback_switch(master))
            Bind(speakers, MIXERCONTROL_CONTROLTYPE_MUTE, 1, QStringLiteral("Mute"),
                 {Kind::PlaybackMute, master});
        if (bass)
            Bind(speakers, MIXERCONTROL_CONTROLTYPE_BASS, 1, QStringLiteral("Bass"),
                 {Kind::PlaybackVolume, bass});
        if (treble)
            Bind(speakers, MIXERCONTROL_CONTROLTYPE_TREBLE, 1, QStringLiteral("Treble"),
                 {Kind::PlaybackVolume, treble});
    }
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line", Find({"Line"}, CanPlay));
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic", Find({"Mic"}, CanPlay));
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "Synth",
                      Find({"Synth", "FM", "MIDI"}, CanPlay));
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD", Find({"CD"}, CanPlay));
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "PCM", pcm, true);
    {
        MixerCardLine& wave = destinations[0].sources.back();
        Bind(wave, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 2, QStringLiteral("Peak"),
             {Kind::Meter, nullptr, {}, false, LevelSource::Output});
    }
    AddPlaybackSource(0, MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux", Find({"Aux"}, CanPlay));

    // Recording: every element of the card that can capture is a source of the wave-in
    // destination, by its own name; its kind comes from the name. The sources the system
    // knows come first, in their usual order, then the card's others in the card's order.
    snd_mixer_elem_t* capture = Find({"Capture"}, CanCapture);
    snd_mixer_elem_t* agcElem =
        Find({"Auto Gain Control", "Mic Auto Gain Control", "AGC"}, [](snd_mixer_elem_t* e) {
            return snd_mixer_selem_has_playback_switch(e) || snd_mixer_selem_has_capture_switch(e);
        });
    struct Input {
        DWORD type;
        QString name;
        snd_mixer_elem_t* elem;
    };
    std::vector<Input> inputs;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e)) {
        if (!snd_mixer_selem_is_active(e) || !CanCapture(e) || e == capture || e == agcElem ||
            snd_mixer_selem_is_enumerated(e))
            continue;
        QString name = QString::fromUtf8(snd_mixer_selem_get_name(e));
        if (const unsigned index = snd_mixer_selem_get_index(e))
            name += QStringLiteral(" %1").arg(index);
        inputs.push_back({CaptureSourceType(name), name, e});
    }
    std::stable_sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) {
        return CaptureSourceRank(a.type) < CaptureSourceRank(b.type);
    });
    const bool hasMicrophone = std::any_of(inputs.begin(), inputs.end(), [](const Input& i) {
        return i.type == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    });
    if (!hasMicrophone && capture) {
        // A sound server's plugin offers only Master and Capture: its Capture element is
        // what the microphone records through.
        const auto at = std::find_if(inputs.begin(), inputs.end(), [](const Input& i) {
            return CaptureSourceRank(i.type) >
                   CaptureSourceRank(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
        });
        inputs.insert(at, {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, QStringLiteral("Mic"), capture});
    }
    const bool canRecord = capture || !inputs.empty();
    if (!canRecord)
        return;

    const DWORD channels = capture && snd_mixer_selem_is_capture_mono(capture) == 1 ? 1 : 2;
    AddDestination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, channels, QStringLiteral("Capture"),
                   QStringLiteral("Recording Control"));
    Binding selector{Kind::CaptureSelect};
    std::vector<std::pair<DWORD, QString>> itemLines;  // line id and name per selector item
    std::vector<DWORD> itemTypes;
    snd_mixer_elem_t* agc = agcElem;
    bool agcBound = false;
    for (const Input& input : inputs) {
        const DWORD sourceChannels = snd_mixer_selem_is_capture_mono(input.elem) == 1 ? 1 : 2;
        MixerCardLine& line =
            AddSource(1, input.type, sourceChannels, input.name.left(15), input.name);
        if (snd_mixer_selem_has_capture_volume(input.elem))
            Bind(line, MIXERCONTROL_CONTROLTYPE_VOLUME, sourceChannels, QStringLiteral("Volume"),
                 {Kind::CaptureVolume, input.elem});
        if (input.type == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE && agc && !agcBound) {
            // The gain control belongs to the first microphone.
            Bind(line, MIXERCONTROL_CONTROLTYPE_ONOFF, 1, QStringLiteral("AGC"),
                 {Kind::Switch, agc, {}, !snd_mixer_selem_has_playback_switch(agc)});
            agcBound = true;
        }
        if (snd_mixer_selem_has_capture_switch(input.elem)) {
            selector.items.push_back(input.elem);
            itemLines.emplace_back(line.id, line.name);
            itemTypes.push_back(input.type);
        }
    }
    MixerCardLine& recording = destinations[1];
    if (capture && snd_mixer_selem_has_capture_volume(capture))
        Bind(recording, MIXERCONTROL_CONTROLTYPE_VOLUME, channels, QStringLiteral("Volume"),
             {Kind::CaptureVolume, capture});
    Bind(recording, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 2, QStringLiteral("Peak"),
         {Kind::Meter, nullptr, {}, false, LevelSource::Input});
    if (!selector.items.empty()) {
        Bind(recording, MIXERCONTROL_CONTROLTYPE_MIXER, 1, QStringLiteral("Source"),
             std::move(selector));
        MixerCardControl& c = recording.controls.back();
        c.minimum = 0;
        c.maximum = 1;
        for (const auto& [id, name] : itemLines) {
            c.itemLines.push_back(id);
            c.itemNames.push_back(name);
        }
        c.itemTypes = itemTypes;
    }
}

}  // namespace

QString AlsaMixerDeviceName() {
    if (auto key = RegKey::Open(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck\\Audio")))
        if (auto name = key->QueryString(QStringLiteral("MixerDevice")); name && !name->isEmpty())
            return *name;
    return QStringLiteral("default");
}

std::unique_ptr<MixerCard> OpenAlsaMixerCard(const QString& name, QString* why) {
    SilenceAlsaErrorsOnce();
    auto fail = [&](const char* what, int err) -> std::unique_ptr<MixerCard> {
        if (why)
            *why = QStringLiteral("%1: %2 (%3)")
                       .arg(name, QString::fromLatin1(what),
                            QString::fromLocal8Bit(snd_strerror(err)));
        return nullptr;
    };
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err < 0)
        return fail("cannot create a mixer", err);
    auto card = std::make_unique<AlsaMixerCard>(mixer);
    const QByteArray device = name.toLocal8Bit();
    // Non-blocking, so taking in other programs' changes never waits for more of them.
    snd_hctl_t* hctl = nullptr;
    if ((err = snd_hctl_open(&hctl, device.constData(), SND_CTL_NONBLOCK)) < 0)
        return fail("cannot open the control device", err);
    if ((err = snd_mixer_attach_hctl(mixer, hctl)) < 0)  // closes hctl when it fails
        return fail("cannot attach the control device", err);
    if ((err = snd_mixer_selem_register(mixer, nullptr, nullptr)) < 0)
        return fail("cannot register the simple mixer", err);
    if ((err = snd_mixer_load(mixer)) < 0)
        return fail("cannot load the mixer elements", err);

    // Product name and version: the card's mixer name (or its name) and alsa-lib's version.
    card->productName = name;
    {
        snd_ctl_card_info_t* info = nullptr;
        snd_ctl_card_info_alloca(&info);
        if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) >= 0) {
            const QString mixerName = QString::fromUtf8(snd_ctl_card_info_get_mixername(info));
            const QString cardName = QString::fromUtf8(snd_ctl_card_info_get_name(info));
            card->productName = !mixerName.isEmpty()  ? mixerName
                                : !cardName.isEmpty() ? cardName
                                                      : name;
        }
    }
    const QStringList version = QString::fromLatin1(snd_asoundlib_version()).split(u'.');
    card->driverVersion =
        (version.value(0).toUInt() & 0xFF) << 8 | (version.value(1).toUInt() & 0xFF);
    card->Build();
    return card;
}
