#include "tdkit/audio/players.h"

#include "platform/media.h"

namespace {

std::unique_ptr<MediaPlayer> MakePlayer(MediaDevice device, QObject* owner) {
    auto player = std::make_unique<MediaPlayer>(device);
    player->SetNotify(owner, MM_PLAYDONE);
    return player;
}

}  // namespace

CMediaFileOut::CMediaFileOut(QObject* owner, MediaDevice device)
    : device_(device), player_(MakePlayer(device, owner)) {}
CMediaFileOut::~CMediaFileOut() = default;

int CMediaFileOut::Play(const QString& path) {
    return player_->PlayFile(path) == MediaError::None ? 1 : 0;
}
int CMediaFileOut::StopPlay() {
    player_->Stop();
    return 1;
}
int CMediaFileOut::StillPlaying() {
    return player_->IsPlaying() ? 1 : 0;
}
int CMediaFileOut::IsDeviceReady() {
    return MediaDeviceReady(device_) ? 1 : 0;
}

CMCIWaveOut::CMCIWaveOut(QObject* owner) : CMediaFileOut(owner, MediaDevice::WaveAudio) {}
CMidiOut::CMidiOut(QObject* owner) : CMediaFileOut(owner, MediaDevice::Sequencer) {}

CCDOut::CCDOut(QObject* owner) : player_(MakePlayer(MediaDevice::CdAudio, owner)) {}
CCDOut::~CCDOut() = default;

int CCDOut::PlayTracks(int first, int second) {
    return player_->PlayTracks(first & 0xFF, second & 0xFF) == MediaError::None ? 1 : 0;
}
int CCDOut::StopPlay() {
    player_->Stop();
    return 1;
}
int CCDOut::StillPlaying() {
    return player_->IsPlaying() ? 1 : 0;
}
int CCDOut::IsDeviceReady() {
    return MediaDeviceReady(MediaDevice::CdAudio) ? 1 : 0;
}
