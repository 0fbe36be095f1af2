#include "tdkit/audio/players.h"

#include "platform/media.h"

namespace {

std::unique_ptr<MediaPlayer> MakePlayer(MediaDevice device, QObject* owner) {
    auto player = std::make_unique<MediaPlayer>(device);
    player->SetNotify(owner, MM_PLAYDONE);
    return player;
}

}  // namespace

CMCIWaveOut::CMCIWaveOut(QObject* owner) : player_(MakePlayer(MediaDevice::WaveAudio, owner)) {}
CMCIWaveOut::~CMCIWaveOut() = default;

int CMCIWaveOut::Play(const QString& path) {
    return player_->PlayFile(path) == MediaError::None ? 1 : 0;
}
int CMCIWaveOut::StopPlay() {
    player_->Stop();
    return 1;
}
int CMCIWaveOut::StillPlaying() {
    return player_->IsPlaying() ? 1 : 0;
}
int CMCIWaveOut::IsDeviceReady() {
    return MediaDeviceReady(MediaDevice::WaveAudio) ? 1 : 0;
}

CMidiOut::CMidiOut(QObject* owner) : player_(MakePlayer(MediaDevice::Sequencer, owner)) {}
CMidiOut::~CMidiOut() = default;

int CMidiOut::Play(const QString& path) {
    return player_->PlayFile(path) == MediaError::None ? 1 : 0;
}
int CMidiOut::StopPlay() {
    player_->Stop();
    return 1;
}
int CMidiOut::StillPlaying() {
    return player_->IsPlaying() ? 1 : 0;
}
int CMidiOut::IsDeviceReady() {
    return MediaDeviceReady(MediaDevice::Sequencer) ? 1 : 0;
}

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
