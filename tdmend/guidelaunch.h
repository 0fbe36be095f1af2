// Where the guide's "%exec" targets lead on this desktop. The targets name the old
// control-panel pages; here the sound settings are the first installed of pavucontrol,
// GNOME's and KDE's sound settings, else alsamixer in a terminal, and the hardware page
// shows the sound cards ALSA reports. Programs are started with an argument list, never
// through a shell.
#pragma once

#include <QString>
#include <QStringList>

#include "tdmend/guideengine.h"

// The sound settings program; page picks pavucontrol's tab where it has one (1 playback
// streams, 3 output devices, 5 configuration). Empty when none is installed.
QStringList SoundSettingsCommand(int page = 3);
// What the command text of an "%exec" target stands for here.
GuideCommand GuideCommandFor(const QString& command);
// Starts the program of a Program command detached; false when it could not start.
bool StartGuideProgram(const QStringList& arguments);
// The sound cards ALSA lists in /proc/asound/cards (cardsFile for tests), as text.
QString SoundCardsReport(const QString& cardsFile = QStringLiteral("/proc/asound/cards"));
