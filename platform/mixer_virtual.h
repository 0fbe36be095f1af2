// The virtual mixer: an in-process card with the lines and controls it is given, for
// tests and for machines without a sound card. Values live in memory and, when a state
// file is named, are kept there between runs. Peak meters read what Tonedeck's own
// wave devices played (wave-out source) and recorded (wave-in destination).
#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "platform/types.h"

class MixerCard;

struct VirtualLinePlan {
    DWORD componentType = 0;
    QString name;
    DWORD channels = 2;
    // Control types of the line. MIXERCONTROL_CONTROLTYPE_MIXER on a destination is the
    // recording source selector, one item per source of the destination.
    std::vector<DWORD> controls;
    std::vector<VirtualLinePlan> sources;  // destinations only
};

struct VirtualCardPlan {
    QString productName = QStringLiteral("Tonedeck Virtual Mixer");
    DWORD driverVersion = 0x0100;
    std::vector<VirtualLinePlan> destinations;
};

enum class VirtualCardLayout {
    Full,          // speakers with tone controls and five sources, recording with four
    NoBass,        // the same without a bass control
    PlaybackOnly,  // speakers and their sources only, no recording destination
    None,          // no mixer at all
};

VirtualCardPlan VirtualCardLayoutPlan(VirtualCardLayout layout);

// A card built from the plan. stateFile, when not empty, is read now (values that do not
// fit are ignored) and rewritten after every change.
std::unique_ptr<MixerCard> MakeVirtualMixerCard(const VirtualCardPlan& plan,
                                                const QString& stateFile = {});

// The card the environment asks for: TONEDECK_VIRTUAL_CARD names the layout (full,
// nobass, playback or none; full when unset), TONEDECK_VIRTUAL_MIXER the state file.
// Null for the layout without a mixer.
std::unique_ptr<MixerCard> MakeVirtualMixerCardFromEnvironment();
