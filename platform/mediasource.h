// What a whole-file playback plays, and the entry points of libtdmedia.so, the module that
// renders MIDI (FluidSynth) and reads audio CDs (libcdio). The module is loaded the first
// time a MIDI file or a disc is played, so programs that never do so (tdtool's file
// commands, the bar until it plays a song) do not load those libraries and all they pull in.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/media.h"
#include "platform/wave.h"

// Red Book audio: 44.1 kHz 16-bit stereo, 2352 bytes a sector.
constexpr qsizetype kCdSectorBytes = 2352;

inline WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// PCM frames in a fixed format, rendered on the playback's worker thread.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    virtual WAVEFORMATEX Format() const = 0;
    // Fills up to `bytes` (a whole number of frames); returns the bytes filled, 0 at the end.
    virtual qsizetype Render(char* out, qsizetype bytes) = 0;
};

// The module's entry points, looked up by these names. Each returns a new source (the
// caller owns it) or null with the reason in `error`.
//   TdOpenMidiSource: standard MIDI data `smf` rendered with the SoundFont at `font`.
//   TdOpenCdSource: the disc at `source` (empty: the default drive; ".cue": an image) from
//     the start of track `first` to the start of track `end` (past the last: the end).
//   TdCdHasAudio: whether the disc at `source` opens and holds an audio track.
extern "C" {
using TdOpenMidiSourceFn = MediaSource* (*)(const QByteArray& smf, const QString& font,
                                            MediaError* error);
using TdOpenCdSourceFn = MediaSource* (*)(const QString& source, int first, int end,
                                          MediaError* error);
using TdCdHasAudioFn = bool (*)(const QString& source);
}

// The module's file name, loaded beside libtdplatform.so.
inline constexpr char kMediaModuleName[] = "libtdmedia.so";
