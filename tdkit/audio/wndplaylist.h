// CWndPlayList: a hidden window that plays a list of sound files one after another, with
// looping, pause, next/previous and retry while a device is busy. It posts itself
// WM_PLAYLIST_STATECHANGED (0, 0) and WM_PLAYLIST_TRACKCHANGED (index or -1) for the
// class derived from it. It plays WAV files with CMCIWaveOut and the rest with CMidiOut;
// SetPlayers() gives it other players (which must report to this window).
#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

#include "platform/message.h"

// The play-list window's own message for a device that was not ready.
inline constexpr UINT WM_PLAYLIST_DEVICENOTREADY = WM_USER + 233;
// Posted to the owner of a player when a file has played to its end (wParam 1) or was
// cut short (wParam 0).
inline constexpr UINT MM_PLAYDONE = WM_USER + 3001;

// One whole-file player: opens a device for the file and plays it, reporting the end
// with MM_PLAYDONE to its owner.
class IFilePlayer {
public:
    virtual ~IFilePlayer() = default;
    virtual int Play(const QString& path) = 0;  // 1 success, 0 failure
    virtual int StopPlay() = 0;
    virtual int StillPlaying() = 0;
    virtual int IsDeviceReady() = 0;
};

class CWndPlayList : public QObject, public MessageReceiver {
public:
    explicit CWndPlayList(QObject* parent = nullptr);
    ~CWndPlayList() override;

    // Replaces the players (they report to this window). Null keeps the current one.
    void SetPlayers(std::unique_ptr<IFilePlayer> wave, std::unique_ptr<IFilePlayer> midi);

    void AddToPlayList(const QString& path);
    void PurgePlayList();
    void PlayList(int loop);
    void StopList();
    void PausePlay();
    int NextTrack();
    int PreviousTrack();
    void RepeatCurrentTrack();
    void PlayTrackIndex(int index, int continuePlaying);
    void RestartPlayList();
    void StopCurrentTrack();
    void LoopPlayback() { looped_ = !looped_; }
    void SetWarn(int warn) { warn_ = warn != 0; }

    int IsSomethingPlaying() const { return somethingPlaying_; }
    int IsPaused() const { return paused_; }
    int IsLooped() const { return looped_; }
    int GetCurrentTrackIndex() const { return index_; }
    int IsPreviousTrack() const { return index_ > 0; }
    int IsNextTrack() const { return index_ < list_.size() - 1; }
    void GetPlayIndexes(QStringList& out) const { out += list_; }
    int Start() { return 1; }

    // A track has ended (the players' completion report).
    void OnTrackEnded(bool successful);

protected:
    // Called around the one message box the play list shows.
    virtual void StartingModelessDlg() {}
    virtual void EndedModelessDlg() {}
    // Tells the user that a file could not be played; a test may replace it.
    virtual void ShowPlayError(const QString& text);

private:
    void PlayCurrentTrack();
    void ErrorPlayingFile(const QString& path);
    void PostState() { PostMessage(this, WM_PLAYLIST_STATECHANGED); }
    void PostTrack(int index) { PostMessage(this, WM_PLAYLIST_TRACKCHANGED, WPARAM(index)); }

    bool somethingPlaying_ = false;
    bool paused_ = false;
    bool looped_ = false;
    bool continue_ = true;
    int index_ = 0;
    bool warn_ = true;
    bool retry_ = false;
    int timerId_ = 0;
    QStringList list_;
    std::unique_ptr<IFilePlayer> wave_;
    std::unique_ptr<IFilePlayer> midi_;

protected:
    void timerEvent(QTimerEvent* event) override;
};
