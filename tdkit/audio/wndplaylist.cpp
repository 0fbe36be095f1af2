#include "tdkit/audio/wndplaylist.h"

#include <QTimerEvent>

#include "platform/notice.h"
#include "platform/strings.h"
#include "tdkit/audio/players.h"
#include "tdkit/settings/strings.h"

CWndPlayList::CWndPlayList(QObject* parent)
    : QObject(parent),
      MessageReceiver(this),
      wave_(std::make_unique<CMCIWaveOut>(this)),
      midi_(std::make_unique<CMidiOut>(this)) {
    // A device that was not ready is tried again at this pace; an idle player list wakes
    // no more often than that.
    timerId_ = startTimer(1000);
    OnMessage(MM_PLAYDONE, [this](WPARAM successful, LPARAM) {
        OnTrackEnded(successful != 0);
        return LRESULT(0);
    });
    OnMessage(WM_PLAYLIST_DEVICENOTREADY, [this](WPARAM, LPARAM) {
        retry_ = true;
        return LRESULT(0);
    });
}

CWndPlayList::~CWndPlayList() {
    if (wave_)
        wave_->StopPlay();
    if (midi_)
        midi_->StopPlay();
}

void CWndPlayList::SetPlayers(std::unique_ptr<IFilePlayer> wave,
                              std::unique_ptr<IFilePlayer> midi) {
    if (wave)
        wave_ = std::move(wave);
    if (midi)
        midi_ = std::move(midi);
}

void CWndPlayList::AddToPlayList(const QString& path) {
    list_ << path;
}
void CWndPlayList::PurgePlayList() {
    list_.clear();
}

void CWndPlayList::PlayList(int loop) {
    index_ = 0;
    looped_ = loop != 0;
    continue_ = true;
    if (list_.isEmpty())
        return;
    somethingPlaying_ = true;
    PlayCurrentTrack();
}

void CWndPlayList::StopList() {
    StopCurrentTrack();
    index_ = 0;
    continue_ = false;
    somethingPlaying_ = false;
    paused_ = false;
    retry_ = false;
    PostState();
    PostTrack(-1);
}

void CWndPlayList::PausePlay() {
    if (paused_)
        PlayCurrentTrack();
    else
        StopCurrentTrack();
    paused_ = !paused_;
}

int CWndPlayList::NextTrack() {
    if (!IsNextTrack())
        return 0;
    StopCurrentTrack();
    ++index_;
    PlayCurrentTrack();
    return 1;
}

int CWndPlayList::PreviousTrack() {
    if (!IsPreviousTrack())
        return 0;
    StopCurrentTrack();
    --index_;
    PlayCurrentTrack();
    return 1;
}

void CWndPlayList::RepeatCurrentTrack() {
    StopCurrentTrack();
    PlayCurrentTrack();
}

void CWndPlayList::PlayTrackIndex(int index, int continuePlaying) {
    if (index < 0 || index >= list_.size())
        return;
    StopCurrentTrack();
    continue_ = continuePlaying != 0;
    index_ = index;
    somethingPlaying_ = true;
    PostState();
    PlayCurrentTrack();
}

void CWndPlayList::RestartPlayList() {
    StopCurrentTrack();
    PlayList(looped_);
}

void CWndPlayList::StopCurrentTrack() {
    wave_->StopPlay();
    midi_->StopPlay();
}

void CWndPlayList::PlayCurrentTrack() {
    if (index_ < 0 || index_ >= list_.size()) {
        somethingPlaying_ = false;
        index_ = 0;
        PostState();
        PostTrack(-1);
        return;
    }
    const QString path = list_[index_];
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0)
        return;
    const QString extension = path.mid(dot + 1).toUpper();
    IFilePlayer* player = extension.contains(QStringLiteral("WAV")) ? wave_.get() : midi_.get();
    if (!player->IsDeviceReady()) {
        PostMessage(this, WM_PLAYLIST_DEVICENOTREADY);
        return;
    }
    if (player->Play(path)) {
        PostTrack(index_);
        retry_ = false;
    } else {
        ErrorPlayingFile(path);
    }
}

void CWndPlayList::OnTrackEnded(bool successful) {
    if (!successful)
        return;
    StopCurrentTrack();
    if (index_ >= list_.size() - 1) {
        if (looped_ && continue_ && !paused_) {
            index_ = 0;
            PlayCurrentTrack();
        } else {
            StopList();
        }
    } else if (!continue_ || paused_) {
        somethingPlaying_ = false;
    } else {
        ++index_;
        PlayCurrentTrack();
    }
    PostState();
}

void CWndPlayList::ErrorPlayingFile(const QString& path) {
    if (list_.size() != 1 || !warn_)
        return;
    StartingModelessDlg();
    ShowPlayError(LoadString(IDS_CANNOT_PLAY_FILE).replace(QStringLiteral("%s"), path));
    EndedModelessDlg();
}

void CWndPlayList::ShowPlayError(const QString& text) {
    ShowNotice(nullptr, QString(), text);
}

void CWndPlayList::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_ && retry_ && somethingPlaying_ && !paused_)
        PlayCurrentTrack();
}
