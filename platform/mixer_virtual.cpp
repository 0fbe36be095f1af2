#include "platform/mixer_virtual.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <map>
#include <optional>

#include "platform/levels.h"
#include "platform/mixer.h"
#include "platform/mixercard.h"

namespace {

QString ShortNameOf(DWORD type) {
    switch (type) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
            return QStringLiteral("Volume");
        case MIXERCONTROL_CONTROLTYPE_MUTE:
            return QStringLiteral("Mute");
        case MIXERCONTROL_CONTROLTYPE_BASS:
            return QStringLiteral("Bass");
        case MIXERCONTROL_CONTROLTYPE_TREBLE:
            return QStringLiteral("Treble");
        case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
            return QStringLiteral("Peak");
        case MIXERCONTROL_CONTROLTYPE_ONOFF:
            return QStringLiteral("AGC");
        case MIXERCONTROL_CONTROLTYPE_MIXER:
        case MIXERCONTROL_CONTROLTYPE_MUX:
            return QStringLiteral("Source");
        default:
            return QStringLiteral("Control");
    }
}

class VirtualMixerCard : public MixerCard {
public:
    VirtualMixerCard(const VirtualCardPlan& plan, const QString& stateFile)
        : stateFile_(stateFile) {
        productName = plan.productName;
        driverVersion = plan.driverVersion;
        for (std::size_t d = 0; d < plan.destinations.size(); ++d) {
            const VirtualLinePlan& ds = plan.destinations[d];
            AddDestination(ds.componentType, ds.channels, ds.name.left(15), ds.name);
            for (const VirtualLinePlan& ss : ds.sources) {
                MixerCardLine& source =
                    AddSource(d, ss.componentType, ss.channels, ss.name.left(15), ss.name);
                for (DWORD type : ss.controls)
                    Add(source, type, nullptr, d);
            }
            for (DWORD type : ds.controls)
                Add(destinations[d], type, &destinations[d], d);
        }
        Load();
    }

    bool ReadControl(const MixerCardControl& control, std::vector<int32_t>& values) override {
        auto it = controls_.find(control.id);
        if (it == controls_.end())
            return false;
        if (it->second.meter) {
            const PeakLevel peak = CurrentPeak(*it->second.meter);
            // A meter reads -32768..32767; a full-scale peak of 32768 shows as 32767.
            values[0] = std::min<int32_t>(peak.left, 32767);
            if (values.size() > 1)
                values[1] = std::min<int32_t>(peak.right, 32767);
            return true;
        }
        values = it->second.values;
        return true;
    }

    bool WriteControl(const MixerCardControl& control,
                      const std::vector<int32_t>& values) override {
        auto it = controls_.find(control.id);
        if (it == controls_.end() || it->second.meter)
            return false;
        it->second.values = values;
        Save();
        return true;
    }

    // Another program (or another Tonedeck) rewriting the state file changes the card.
    std::vector<QString> ChangeFiles() override {
        if (stateFile_.isEmpty())
            return {};
        return {stateFile_};
    }
    std::vector<DWORD> TakeChanges() override {
        const QByteArray text = ReadStateFile();
        if (text.isEmpty() || text == lastText_)
            return {};  // our own writing, or a file being replaced
        return Apply(text);
    }

private:
    struct State {
        QString key;  // "destination.source.type" in the state file; source "-" for none
        std::vector<int32_t> values;
        std::optional<LevelSource> meter;
    };

    // Adds a control of the given type; for a destination (dest set) a list control
    // gets one item per source.
    void Add(MixerCardLine& line, DWORD type, MixerCardLine* dest, std::size_t d) {
        const bool list =
            type == MIXERCONTROL_CONTROLTYPE_MIXER || type == MIXERCONTROL_CONTROLTYPE_MUX;
        if (list && !dest)
            return;  // a list needs a destination's sources to choose from
        // Switches and tone controls carry one value, whatever the line's channels.
        const bool single =
            list || (type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_SWITCH ||
            type == MIXERCONTROL_CONTROLTYPE_BASS || type == MIXERCONTROL_CONTROLTYPE_TREBLE;
        const DWORD channels = single ? 1 : line.channels;
        const QString shortName = ShortNameOf(type);
        MixerCardControl& c =
            AddControl(line, type, channels, shortName, line.name + u' ' + shortName);
        State state;
        const int sourceIndex = dest ? -1 : static_cast<int>((line.id >> 16) - 1);
        state.key = QStringLiteral("%1.%2.%3")
                        .arg(d)
                        .arg(sourceIndex < 0 ? QStringLiteral("-") : QString::number(sourceIndex))
                        .arg(type, 8, 16, QChar(u'0'));
        if (list && dest) {
            for (const MixerCardLine& s : dest->sources) {
                c.itemLines.push_back(s.id);
                c.itemTypes.push_back(s.componentType);
                c.itemNames.push_back(s.name);
                state.values.push_back(
                    s.componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE ? 1 : 0);
            }
        } else if (type == MIXERCONTROL_CONTROLTYPE_PEAKMETER) {
            state.meter = line.componentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN ||
                                  line.componentType == MIXERLINE_COMPONENTTYPE_DST_VOICEIN
                              ? LevelSource::Input
                              : LevelSource::Output;
            state.values.assign(channels, 0);
        } else {
            int32_t initial = 0;
            if (type == MIXERCONTROL_CONTROLTYPE_VOLUME)
                initial = 0xC000;
            if (type == MIXERCONTROL_CONTROLTYPE_BASS || type == MIXERCONTROL_CONTROLTYPE_TREBLE)
                initial = 0x8000;
            state.values.assign(channels, initial);
        }
        controls_[c.id] = std::move(state);
    }

    // The state file: one "key=v1,v2" line per control.
    void Load() { Apply(ReadStateFile()); }

    QByteArray ReadStateFile() const {
        QFile file(stateFile_);
        if (stateFile_.isEmpty() || !file.open(QIODevice::ReadOnly))
            return {};
        return file.read(1 << 20);
    }

    // Takes the values of a state file's text in; the ids of the controls that changed.
    std::vector<DWORD> Apply(const QByteArray& text) {
        lastText_ = text;
        std::map<QString, std::vector<int32_t>> stored;
        for (const QByteArray& raw : text.split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            const qsizetype eq = line.indexOf(u'=');
            if (eq <= 0)
                continue;
            std::vector<int32_t> values;
            bool ok = true;
            for (const QString& part : line.mid(eq + 1).split(u',')) {
                bool partOk = false;
                values.push_back(part.trimmed().toInt(&partOk));
                ok = ok && partOk;
            }
            if (ok)
                stored[line.left(eq)] = std::move(values);
        }
        std::vector<DWORD> changed;
        for (const MixerCardLine& dest : destinations) {
            auto apply = [&](const MixerCardLine& line) {
                for (const MixerCardControl& c : line.controls) {
                    State& state = controls_[c.id];
                    auto it = stored.find(state.key);
                    if (state.meter || it == stored.end() ||
                        it->second.size() != state.values.size())
                        continue;
                    bool fits = true;
                    for (int32_t v : it->second)
                        fits = fits && v >= c.minimum && v <= c.maximum;
                    if (fits && state.values != it->second) {
                        state.values = it->second;
                        changed.push_back(c.id);
                    }
                }
            };
            apply(dest);
            for (const MixerCardLine& source : dest.sources)
                apply(source);
        }
        return changed;
    }

    void Save() {
        if (stateFile_.isEmpty())
            return;
        QSaveFile file(stateFile_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return;
        QByteArray text;
        for (const auto& [id, state] : controls_) {
            if (state.meter)
                continue;
            QStringList parts;
            for (int32_t v : state.values)
                parts << QString::number(v);
            text += (state.key + u'=' + parts.join(u',') + u'\n').toUtf8();
        }
        file.write(text);
        if (file.commit())
            lastText_ = text;
    }

    QString stateFile_;
    QByteArray lastText_;  // the state file as last read or written here
    std::map<DWORD, State> controls_;
};

VirtualLinePlan Line(DWORD type, const char* name, DWORD channels, std::vector<DWORD> controls) {
    VirtualLinePlan line;
    line.componentType = type;
    line.name = QString::fromLatin1(name);
    line.channels = channels;
    line.controls = std::move(controls);
    return line;
}

}  // namespace

VirtualCardPlan VirtualCardLayoutPlan(VirtualCardLayout layout) {
    VirtualCardPlan plan;
    if (layout == VirtualCardLayout::None)
        return plan;
    constexpr DWORD kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;
    constexpr DWORD kMute = MIXERCONTROL_CONTROLTYPE_MUTE;

    VirtualLinePlan speakers =
        Line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
             {kVolume, kMute, MIXERCONTROL_CONTROLTYPE_BASS, MIXERCONTROL_CONTROLTYPE_TREBLE});
    if (layout == VirtualCardLayout::NoBass)
        speakers.controls.erase(speakers.controls.begin() + 2);
    speakers.sources = {
        Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave", 2,
             {kVolume, kMute, MIXERCONTROL_CONTROLTYPE_PEAKMETER}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "Synth", 2, {kVolume, kMute}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", 2, {kVolume, kMute}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2, {kVolume, kMute}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1, {kVolume, kMute}),
    };
    plan.destinations.push_back(std::move(speakers));
    if (layout == VirtualCardLayout::PlaybackOnly)
        return plan;

    VirtualLinePlan recording =
        Line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2,
             {kVolume, MIXERCONTROL_CONTROLTYPE_PEAKMETER, MIXERCONTROL_CONTROLTYPE_MIXER});
    recording.sources = {
        Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2, {kVolume}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", 2, {kVolume}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "Synth", 2, {kVolume}),
        Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1,
             {kVolume, MIXERCONTROL_CONTROLTYPE_ONOFF}),
    };
    plan.destinations.push_back(std::move(recording));
    return plan;
}

std::unique_ptr<MixerCard> MakeVirtualMixerCard(const VirtualCardPlan& plan,
                                                const QString& stateFile) {
    return std::make_unique<VirtualMixerCard>(plan, stateFile);
}

std::unique_ptr<MixerCard> MakeVirtualMixerCardFromEnvironment() {
    const QByteArray name = qgetenv("TONEDECK_VIRTUAL_CARD").trimmed().toLower();
    VirtualCardLayout layout = VirtualCardLayout::Full;
    if (name == "nobass")
        layout = VirtualCardLayout::NoBass;
    else if (name == "playback")
        layout = VirtualCardLayout::PlaybackOnly;
    else if (name == "none")
        return nullptr;
    return MakeVirtualMixerCard(VirtualCardLayoutPlan(layout),
                                QString::fromLocal8Bit(qgetenv("TONEDECK_VIRTUAL_MIXER")));
}
