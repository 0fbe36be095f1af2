// Whole-file players: a WAV file, a MIDI file or audio-CD tracks played through the
// wave-out device in the background. A worker thread renders the sound (the WAV file's
// samples, MIDI rendered by a General MIDI SoundFont synthesiser, CD sectors read from the
// drive or a disc image) into wave-out buffers; the end of each playback is reported to
// an owner object with a message.
//
// A player belongs to the thread that builds it (the UI thread): only that thread calls
// it, and the end reports are delivered on it.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "platform/types.h"

class QObject;

enum class MediaDevice {
    WaveAudio,  // WAV files: PCM, or compressed formats the codec layer reads
    Sequencer,  // standard MIDI files and RIFF MIDI ("RMID") files
    CdAudio,    // audio tracks of a compact disc
};

enum class MediaError {
    None = 0,
    NoFile,     // missing or unreadable
    BadFormat,  // not a file this device plays
    NotReady,   // the device (or the SoundFont, or the disc) is not there
    Device,     // the wave-out device refused to open
    NoTrack,    // a track number outside the disc, or not an audio track
};

const char* MediaErrorText(MediaError error);

class MediaPlayer {
public:
    explicit MediaPlayer(MediaDevice device);
    // Stops a playback under way first.
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    MediaDevice Device() const;

    // Where the end of each playback goes: `message` to `owner`, wParam 1 when the sound
    // played to its end, 0 when it was cut short by Stop or a new play. A playback that
    // ends by itself is reported with a synchronous send from this thread's event loop,
    // so nothing else runs between the end and its report; a cut-short one is posted.
    void SetNotify(QObject* owner, UINT message);

    // Starts a file (WaveAudio and Sequencer). Whatever plays is stopped first.
    MediaError PlayFile(const QString& path);
    // Starts the disc (CdAudio) at the start of track `first` and ends it at the start of
    // track `end` (past the last track: at the end of the disc).
    MediaError PlayTracks(int first, int end);
    // Ends the playback under way (waits a bounded time for the worker). Harmless when
    // nothing plays.
    void Stop();
    // True from a successful play until its end or Stop.
    bool IsPlaying() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Whether a device could play now: WaveAudio when the wave-out device opens for 8-bit
// mono at 11025 Hz; Sequencer when in addition the SoundFont is readable; CdAudio when
// the disc source opens and holds an audio track.
bool MediaDeviceReady(MediaDevice device);

// The General MIDI SoundFont: the one set here, else TONEDECK_SOUNDFONT, else
// /usr/share/sounds/sf2/TimGM6mb.sf2. An empty path restores the default.
QString MidiSoundFontPath();
void SetMidiSoundFontPath(const QString& path);

// What the CD player reads: the one set here, else TONEDECK_CD_DEVICE, else the system's
// default drive. A path ending in ".cue" is read as a CUE sheet with its BIN image, any
// other as a drive's device node. An empty text restores the default.
QString CdAudioSource();
void SetCdAudioSource(const QString& source);

// The standard MIDI data of a file image: the image itself when it begins with "MThd",
// the "data" chunk of a RIFF "RMID" form, or empty when it is neither.
QByteArray UnwrapRiffMidi(const QByteArray& image);
