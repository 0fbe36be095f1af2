// One-shot sounds: a WAV file or an in-memory WAV image played through the wave-out
// device in the background. A new sound ends the one playing; the calls never wait for
// the sound. A sound still playing when the process exits is stopped and its device
// closed during exit.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/types.h"

inline constexpr DWORD SND_SYNC = 0x0000;
inline constexpr DWORD SND_ASYNC = 0x0001;
inline constexpr DWORD SND_NODEFAULT = 0x0002;
inline constexpr DWORD SND_MEMORY = 0x0004;
inline constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the WAV file. An empty path stops the sound playing. FALSE, and nothing plays,
// when the file is missing, unreadable, not a regular file or larger than 32 MB. The flags are accepted for the callers' sake;
// playback is always in the background.
BOOL PlaySound(const QString& path, DWORD flags = SND_ASYNC | SND_FILENAME);
// Plays a WAV image held in memory (copied). FALSE when it is not a playable WAV image.
BOOL PlaySoundMemory(const QByteArray& image, DWORD flags = SND_ASYNC | SND_MEMORY);
// True while a sound is playing or about to.
bool IsSoundPlaying();
// Waits until nothing plays, at most timeoutMs; true when it ended in time.
bool WaitForSound(int timeoutMs);
