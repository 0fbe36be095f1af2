// The bar's two built-in sounds, synthesised here and handed out as complete WAV files
// in memory (16-bit mono PCM) for the platform's asynchronous sound playback.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

// The ids under which the bar asks for its built-in sounds.
inline constexpr int IDR_SHOWHIDE_SOUND = 156;
inline constexpr int IDR_DRAWER_SOUND = 157;

inline constexpr int kBarSoundRate = 22050;

// A soft swoosh of 120 ms: filtered noise whose pitch rises and falls, for a drawer
// sliding open or closed.
QByteArray DrawerSoundWav();
// A two-note chime, for the bar moving, showing or hiding.
QByteArray ShowHideSoundWav();
// The built-in sound with that id, or an empty array for any other id.
QByteArray BarSoundWav(int id);

// A WAV file holding the samples: RIFF, a 16-byte PCM "fmt " chunk, the "data" chunk.
QByteArray MakePcmWav(const std::vector<int16_t>& samples, int rate);

// Plays one of the bar's sounds as the settings choose it: the built-in sound builtInId,
// or the custom file named in a settings field of fieldSize bytes (read up to its NUL,
// never past the field). A custom choice with no file named plays nothing and leaves a
// sound already playing alone. True when a sound was started.
bool PlayBarSound(bool useBuiltIn, int builtInId, const char* customField, std::size_t fieldSize);
