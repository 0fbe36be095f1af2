// Which sound devices the process uses, and the settings of each kind.
//
// The choice, made once per process: the environment variable TONEDECK_AUDIO ("alsa" or
// "virtual"), else the value "Backend" under the current user's key
// "SOFTWARE\Tonedeck\Audio" of the registry store, else ALSA when its PCM device can be
// opened, else the virtual device (said once on stderr). The wave devices, the mixer and
// the players all follow the same choice.
//
// ALSA device names: the values "InputDevice" and "OutputDevice" (or "Device" for both)
// under the same key; "default" otherwise.
//
// The virtual device: input from a WAV file or a generator, output thrown away unless a
// capture is turned on (kept in memory up to a cap) or an output file is named, timed by a
// clock that runs at a chosen multiple of real time (0: as fast as the caller takes the
// buffers). Its settings also come from the environment, so command-line runs can use
// them:
//   TONEDECK_VIRTUAL_INPUT   "silence", "tone[:HZ[:AMPLITUDE]]", "noise[:AMPLITUDE]"
//                            or the path of a WAV file (PCM; silence follows its end)
//   TONEDECK_VIRTUAL_OUTPUT  path of a WAV file that receives each playback
//   TONEDECK_VIRTUAL_SPEED   the clock's multiple of real time; 0 for no waiting
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "platform/wave.h"

enum class AudioBackend { Alsa, Virtual };

// The backend in use (decided at the first call).
AudioBackend ChosenAudioBackend();
// Forgets the decision (and a forced one), so the next call decides again.
void ResetAudioBackendChoice();
// Forces the backend for this process (tests, and tools that were told which to use).
void ForceAudioBackend(std::optional<AudioBackend> backend);
const char* AudioBackendName(AudioBackend backend);

// ALSA PCM names from the registry store ("default" when not set).
QString AlsaInputDeviceName();
QString AlsaOutputDeviceName();
// An ALSA configuration text used instead of the system's for opening PCM devices, so
// tests can define devices of their own ("pcm.NAME { ... }"); empty restores the system's.
void SetAlsaConfigText(const QByteArray& text);

// Settings of the virtual device. They apply to devices opened afterwards.
struct VirtualInput {
    enum class Kind { Silence, Tone, Noise, File };
    Kind kind = Kind::Silence;
    double frequency = 440.0;  // tone
    int amplitude = 8000;      // tone and noise, on the 16-bit scale
    QString path;              // file; its samples are converted to the device format
};
void SetVirtualInput(const VirtualInput& input);
// Parses the TONEDECK_VIRTUAL_INPUT forms above; nullopt for a malformed text.
std::optional<VirtualInput> ParseVirtualInput(const QString& text);
void SetVirtualSpeed(double multipleOfRealTime);
// Keeps what virtual output devices play, in memory, up to maxBytes (what comes after is
// dropped); 0 turns the capture off, which is how a process starts. Clears what was kept.
void SetVirtualCapture(qsizetype maxBytes);
// The bytes kept by the capture since the last call, in the format of the last device that
// played (the format is stored in *format when given). Empty while the capture is off.
QByteArray TakeVirtualOutput(WAVEFORMATEX* format = nullptr);
// Each virtual playback also goes to this WAV file, written as it plays (empty: none).
void SetVirtualOutputFile(const QString& path);
