// The ALSA mixer backend: the simple-mixer elements of one card presented as mixer
// lines and controls (see mixer_alsa.cpp for the mapping).
#pragma once

#include <QString>

#include <memory>

class MixerCard;

// The ALSA control device to use: the MixerDevice value under the current user's
// SOFTWARE\Tonedeck\Audio key in the registry store, or "default".
QString AlsaMixerDeviceName();

// The card behind the ALSA control device name, or null with the reason in *why.
std::unique_ptr<MixerCard> OpenAlsaMixerCard(const QString& name, QString* why = nullptr);
