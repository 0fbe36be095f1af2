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
enum class MediaDevice;

// Whole-file playback on one media device, for the play list.
class CMediaFileOut : public IFilePlayer {
public:
    ~CMediaFileOut() override;  // stops first

    // 1 when the file started playing; 0 when the file or the device is not usable.
    int Play(const QString& path) override;
    // Stops and closes the device; always 1.
    int StopPlay() override;
    int StillPlaying() override;
    int IsDeviceReady() override;

protected:
    CMediaFileOut(QObject* owner, MediaDevice device);

private:
    MediaDevice device_;
    std::unique_ptr<MediaPlayer> player_;
};

// WAV files through the wave-out device; ready when it opens for 8-bit mono at 11025 Hz.
class CMCIWaveOut : public CMediaFileOut {
public:
    explicit CMCIWaveOut(QObject* owner);
};

// Standard and RIFF MIDI files through the synthesiser; ready when its SoundFont and the
// wave-out device are available.
class CMidiOut : public CMediaFileOut {
public:
    explicit CMidiOut(QObject* owner);
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
