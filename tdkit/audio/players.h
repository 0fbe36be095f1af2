// The three whole-file players: CMCIWaveOut for WAV files, CMidiOut for MIDI files and
// CCDOut for audio-CD tracks. Each plays through the platform's media players and tells
// its owner the end of every playback with MM_PLAYDONE (wParam 1 played to the end, 0 cut
// short). Only the thread that owns the owner object calls them.
#pragma once

#include <QString>

#include <memory>

#include "tdkit/audio/wndplaylist.h"

class QObject;
class MediaPlayer;

class CMCIWaveOut : public IFilePlayer {
public:
    explicit CMCIWaveOut(QObject* owner);
    ~CMCIWaveOut() override;  // stops first

    // 1 when the file started playing; 0 (nothing open) otherwise.
    int Play(const QString& path) override;
    // Stops and closes the device; always 1.
    int StopPlay() override;
    int StillPlaying() override;
    // 1 when the wave-out device opens for 8-bit mono at 11025 Hz.
    int IsDeviceReady() override;

private:
    std::unique_ptr<MediaPlayer> player_;
};

class CMidiOut : public IFilePlayer {
public:
    explicit CMidiOut(QObject* owner);
    ~CMidiOut() override;  // stops first

    // Plays a standard MIDI file or a RIFF MIDI file; 0 when the file or the synthesiser
    // is not usable.
    int Play(const QString& path) override;
    int StopPlay() override;
    int StillPlaying() override;
    // 1 when the synthesiser (its SoundFont and the wave-out device) is available.
    int IsDeviceReady() override;

private:
    std::unique_ptr<MediaPlayer> player_;
};

class CCDOut {
public:
    explicit CCDOut(QObject* owner);
    ~CCDOut();

    // Plays from the start of track `first` to the start of track `second` (the low byte
    // of each counts); a second track past the last one plays to the end of the disc.
    // 1 when it started, 0 when there is no disc, no such audio track or no device.
    int PlayTracks(int first, int second);
    int StopPlay();
    int StillPlaying();
    // 1 when a disc with audio tracks is there and the wave-out device opens.
    int IsDeviceReady();

private:
    std::unique_ptr<MediaPlayer> player_;
};
