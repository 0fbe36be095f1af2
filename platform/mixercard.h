// A sound card as a mixer backend presents it: destinations, their sources, the
// controls of every line, and reading and writing control values. The mixer functions
// of platform/mixer.h answer every query from this description and call the backend
// only to move values.
#pragma once

#include <QString>

#include <vector>

#include "platform/types.h"

struct MixerCardControl {
    DWORD id = 0;
    DWORD type = 0;  // MIXERCONTROL_CONTROLTYPE_*
    QString shortName;
    QString name;
    DWORD channels = 1;  // values of a plain control: 1 or 2
    int32_t minimum = 0;
    int32_t maximum = 0xFFFF;
    DWORD steps = 0;
    // List controls (the recording source selector): one boolean per item, each item
    // standing for a source line.
    std::vector<DWORD> itemLines;
    std::vector<DWORD> itemTypes;
    std::vector<QString> itemNames;

    bool isList() const { return !itemLines.empty(); }
    // How many values one read or write carries.
    std::size_t valueCount() const { return isList() ? itemLines.size() : channels; }
};

struct MixerCardLine {
    DWORD id = 0;
    DWORD componentType = 0;
    DWORD channels = 2;
    QString shortName;
    QString name;
    std::vector<MixerCardControl> controls;
    std::vector<MixerCardLine> sources;  // destinations only
};

class MixerCard {
public:
    virtual ~MixerCard() = default;

    QString productName;
    DWORD driverVersion = 0x0100;
    std::vector<MixerCardLine> destinations;

    // values holds valueCount() entries, left channel first; booleans are 0 or 1.
    virtual bool ReadControl(const MixerCardControl& control, std::vector<int32_t>& values) = 0;
    // Values come within the control's bounds.
    virtual bool WriteControl(const MixerCardControl& control,
                              const std::vector<int32_t>& values) = 0;

    // Changes other programs make to the card. A card that can hear of them names what
    // to watch: descriptors that become readable (ALSA's poll descriptors) and files whose
    // rewriting is a change. When one of them stirs, TakeChanges takes the news in and
    // answers the ids of the controls whose values changed; ChangesSeen answers (and
    // forgets) the changes a read came across meanwhile. Called with the mixer lock held.
    virtual std::vector<int> ChangeDescriptors() { return {}; }
    virtual std::vector<QString> ChangeFiles() { return {}; }
    virtual std::vector<DWORD> TakeChanges() { return {}; }
    virtual std::vector<DWORD> ChangesSeen() { return {}; }

    // Building: lines and controls get their identifiers here. A destination's line id
    // is 0xFFFF0000 | index, a source's (source index + 1) << 16 | destination index,
    // so no line is ever 0; control ids count from 1. The references returned stay
    // good until the next line (or, for controls, the next control of the line) is added.
    MixerCardLine& AddDestination(DWORD componentType, DWORD channels, const QString& shortName,
                                  const QString& name);
    MixerCardLine& AddSource(std::size_t destination, DWORD componentType, DWORD channels,
                             const QString& shortName, const QString& name);
    MixerCardControl& AddControl(MixerCardLine& line, DWORD type, DWORD channels,
                                 const QString& shortName, const QString& name);

    const MixerCardLine* FindLine(DWORD lineId) const;
    const MixerCardControl* FindControl(DWORD controlId,
                                        const MixerCardLine** owner = nullptr) const;

private:
    DWORD nextControlId_ = 1;
};
