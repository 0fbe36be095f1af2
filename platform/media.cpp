#include "platform/media.h"

#include <QFile>
#include <QObject>
#include <QPointer>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/codec.h"
#include "platform/message.h"
#include "platform/wave.h"

using namespace std::chrono_literals;

namespace {

// The worker's report to the player's relay: wParam is the playback's serial number.
constexpr UINT kPlaybackEnded = WM_USER + 1;

constexpr DWORD kMidiRate = 44100;
// After the last MIDI event the synthesiser renders on until its notes have died away,
// at most this long.
constexpr int kMidiTailMs = 2000;
constexpr qint64 kMaxMidiBytes = 16 << 20;

std::mutex& SettingsMutex() {
    static std::mutex mutex;
    return mutex;
}
QString& SoundFontSetting() {
    static QString path;
    return path;
}
QString& CdSourceSetting() {
    static QString source;
    return source;
}

WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

bool WaveOutOpens(const WAVEFORMATEX& format) {
    return waveOutOpen(nullptr, WAVE_MAPPER, &format, WaveNotify{}, WAVE_FORMAT_QUERY) ==
           MMSYSERR_NOERROR;
}

uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// What a playback plays: PCM frames in a fixed format, rendered on the worker thread.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    virtual WAVEFORMATEX Format() const = 0;
    // Fills up to `bytes` (a whole number of frames); returns the bytes filled, 0 at the end.
    virtual qsizetype Render(char* out, qsizetype bytes) = 0;
};

// A WAV file read as it plays, so a long recording is never held in memory whole, and
// compressed data is decoded block by block as it is needed. The chunk walk believes no
// size past the file's end.
class WaveSource : public MediaSource {
public:
    static std::unique_ptr<WaveSource> Open(const QString& path, MediaError* error) {
        WaveFileError fileError = WaveFileError::None;
        std::unique_ptr<WaveDecoder> decoder = WaveDecoder::Open(path, &fileError);
        if (!decoder) {
            *error = fileError == WaveFileError::NoFile || fileError == WaveFileError::NotRegular
                         ? MediaError::NoFile
                         : MediaError::BadFormat;
            return nullptr;
        }
        if (!IsPlayablePcm(decoder->PcmFormat())) {
            *error = MediaError::BadFormat;
            return nullptr;
        }
        return std::unique_ptr<WaveSource>(new WaveSource(std::move(decoder)));
    }
    WAVEFORMATEX Format() const override { return decoder_->PcmFormat(); }
    qsizetype Render(char* out, qsizetype bytes) override {
        // A file cut short or undecodable while it plays ends the playback.
        return qsizetype(std::max<int64_t>(decoder_->Read(out, bytes), 0));
    }

private:
    explicit WaveSource(std::unique_ptr<WaveDecoder> decoder) : decoder_(std::move(decoder)) {}
    std::unique_ptr<WaveDecoder> decoder_;
};

void QuietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

// MIDI rendered by FluidSynth: the file player drives the synthesiser from its sample
// clock, so every block written advances the song by exactly that much.
class MidiSource : public MediaSource {
public:
    static std::unique_ptr<MidiSource> Open(const QString& path, MediaError* error) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = MediaError::NoFile;
            return nullptr;
        }
        // Songs are small; anything far larger is not one, and is not read into memory.
        const QByteArray smf =
            file.size() <= kMaxMidiBytes ? UnwrapRiffMidi(file.readAll()) : QByteArray();
        if (smf.isEmpty()) {
            *error = MediaError::BadFormat;
            return nullptr;
        }
        const QString font = MidiSoundFontPath();
        if (!QFile::exists(font)) {
            *error = MediaError::NotReady;
            return nullptr;
        }
        QuietFluidSynth();
        auto source = std::unique_ptr<MidiSource>(new MidiSource);
        source->smf_ = smf;
        source->settings_ = new_fluid_settings();
        if (!source->settings_) {
            *error = MediaError::Device;
            return nullptr;
        }
        fluid_settings_setnum(source->settings_, "synth.sample-rate", kMidiRate);
        fluid_settings_setint(source->settings_, "synth.threadsafe-api", 1);
        fluid_settings_setstr(source->settings_, "player.timing-source", "sample");
        source->synth_ = new_fluid_synth(source->settings_);
        if (!source->synth_ ||
            fluid_synth_sfload(source->synth_, font.toLocal8Bit().constData(), 1) == FLUID_FAILED) {
            *error = MediaError::NotReady;
            return nullptr;
        }
        source->player_ = new_fluid_player(source->synth_);
        if (!source->player_ ||
            fluid_player_add_mem(source->player_, source->smf_.constData(),
                                 static_cast<size_t>(source->smf_.size())) != FLUID_OK ||
            fluid_player_play(source->player_) != FLUID_OK) {
            *error = MediaError::BadFormat;
            return nullptr;
        }
        return source;
    }
    ~MidiSource() override {
        if (player_) {
            fluid_player_stop(player_);
            delete_fluid_player(player_);
        }
        if (synth_)
            delete_fluid_synth(synth_);
        if (settings_)
            delete_fluid_settings(settings_);
    }
    WAVEFORMATEX Format() const override { return PcmFormat(2, kMidiRate, 16); }
    qsizetype Render(char* out, qsizetype bytes) override {
        if (fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) {
            // The song is over: let the last notes ring out until silence or the limit.
            if (tailFrames_ >= long(kMidiRate) * kMidiTailMs / 1000 || (tailFrames_ > 0 && silent_))
                return 0;
        }
        const bool inTail = fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING;
        const int frames = static_cast<int>(bytes / 4);
        fluid_synth_write_s16(synth_, frames, out, 0, 2, out, 1, 2);
        if (inTail) {
            tailFrames_ += frames;
            const auto* s = reinterpret_cast<const int16_t*>(out);
            silent_ = std::all_of(s, s + frames * 2, [](int16_t v) { return v > -8 && v < 8; });
        }
        return qsizetype(frames) * 4;
    }

private:
    MidiSource() = default;
    QByteArray smf_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_player_t* player_ = nullptr;
    long tailFrames_ = 0;
    bool silent_ = false;
};

// Opens the CD source; null when there is none.
CdIo_t* OpenCd() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_loglevel_default = CDIO_LOG_ASSERT; });
    const QString source = CdAudioSource();
    if (source.isEmpty())
        return cdio_open(nullptr, DRIVER_DEVICE);
    const QByteArray name = source.toLocal8Bit();
    if (source.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive))
        return cdio_open_cue(name.constData());
    return cdio_open(name.constData(), DRIVER_DEVICE);
}

bool HasAudioTrack(CdIo_t* cd) {
    const track_t first = cdio_get_first_track_num(cd);
    const track_t count = cdio_get_num_tracks(cd);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK)
        return false;
    for (track_t t = first; t < first + count; ++t)
        if (cdio_get_track_format(cd, t) == TRACK_FORMAT_AUDIO)
            return true;
    return false;
}

// Red Book audio: 44.1 kHz 16-bit stereo, 2352 bytes a sector.
class CdSource : public MediaSource {
public:
    static std::unique_ptr<CdSource> Open(int first, int end, MediaError* error) {
        CdIo_t* cd = OpenCd();
        if (!cd) {
            *error = MediaError::NotReady;
            return nullptr;
        }
        auto source = std::unique_ptr<CdSource>(new CdSource(cd));
        const int firstTrack = cdio_get_first_track_num(cd);
        const int count = cdio_get_num_tracks(cd);
        if (firstTrack == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) {
            *error = MediaError::NotReady;
            return nullptr;
        }
        const int lastTrack = firstTrack + count - 1;
        if (first < firstTrack || first > lastTrack ||
            cdio_get_track_format(cd, static_cast<track_t>(first)) != TRACK_FORMAT_AUDIO) {
            *error = MediaError::NoTrack;
            return nullptr;
        }
        source->lsn_ = cdio_get_track_lsn(cd, static_cast<track_t>(first));
        const track_t stop = end > first && end <= lastTrack
                                 ? static_cast<track_t>(end)
                                 : static_cast<track_t>(CDIO_CDROM_LEADOUT_TRACK);
        source->end_ = cdio_get_track_lsn(cd, stop);
        if (source->lsn_ == CDIO_INVALID_LSN || source->end_ == CDIO_INVALID_LSN ||
            source->end_ <= source->lsn_) {
            *error = MediaError::NoTrack;
            return nullptr;
        }
        return source;
    }
    ~CdSource() override { cdio_destroy(cd_); }
    WAVEFORMATEX Format() const override { return PcmFormat(2, 44100, 16); }
    qsizetype Render(char* out, qsizetype bytes) override {
        const lsn_t sectors =
            std::min<lsn_t>(static_cast<lsn_t>(bytes / CDIO_CD_FRAMESIZE_RAW), end_ - lsn_);
        if (sectors <= 0)
            return 0;
        if (cdio_read_audio_sectors(cd_, out, lsn_, static_cast<uint32_t>(sectors)) !=
            DRIVER_OP_SUCCESS)
            return 0;  // an unreadable disc ends the playback
        lsn_ += sectors;
        return qsizetype(sectors) * CDIO_CD_FRAMESIZE_RAW;
    }

private:
    explicit CdSource(CdIo_t* cd) : cd_(cd) {}
    CdIo_t* cd_;
    lsn_t lsn_ = 0;
    lsn_t end_ = 0;
};

// One playback: the source, the open device and the worker moving frames between them.
// Shared between the player and its worker, so a worker that outlives a bounded wait
// still has everything it uses.
struct Playback {
    std::unique_ptr<MediaSource> source;
    HWAVEOUT out = nullptr;
    QPointer<QObject> relay;
    uint64_t serial = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WAVEHDR*> returned;  // buffers the device has handed back
    bool cancel = false;
    bool finished = false;
    std::atomic<bool> playing{true};
    std::thread thread;

    void Run();
};

void Playback::Run() {
    const WAVEFORMATEX format = source->Format();
    // Quarter-second buffers, four in flight.
    const qsizetype block =
        std::max<qsizetype>(1, qsizetype(format.nAvgBytesPerSec / 4) / format.nBlockAlign) *
        format.nBlockAlign;
    // Whole CD sectors, so the drive is read in sector units.
    const qsizetype size = std::max<qsizetype>(
        CDIO_CD_FRAMESIZE_RAW, block / CDIO_CD_FRAMESIZE_RAW * CDIO_CD_FRAMESIZE_RAW);
    constexpr int kBuffers = 4;
    std::vector<std::vector<char>> memory(kBuffers, std::vector<char>(static_cast<size_t>(size)));
    std::vector<WAVEHDR> headers(kBuffers);
    std::deque<WAVEHDR*> idle;
    for (int i = 0; i < kBuffers; ++i) {
        headers[i] = WAVEHDR{};
        headers[i].lpData = memory[i].data();
        headers[i].dwBufferLength = static_cast<DWORD>(size);
        waveOutPrepareHeader(out, &headers[i], sizeof(WAVEHDR));
        idle.push_back(&headers[i]);
    }
    bool sourceDone = false;
    bool cancelled = false;
    for (;;) {
        while (!sourceDone && !idle.empty()) {
            WAVEHDR* h = idle.front();
            const qsizetype n = source->Render(h->lpData, size);
            if (n <= 0) {
                sourceDone = true;
                break;
            }
            h->dwBufferLength = static_cast<DWORD>(n);
            if (waveOutWrite(out, h, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
                sourceDone = true;
                break;
            }
            idle.pop_front();
        }
        std::unique_lock lock(mutex);
        while (!returned.empty()) {
            idle.push_back(returned.front());
            returned.pop_front();
        }
        if (cancel) {
            cancelled = true;
            break;
        }
        if (sourceDone && idle.size() == kBuffers)
            break;
        if (!sourceDone && !idle.empty())
            continue;
        changed.wait_for(lock, 100ms);
    }
    waveOutReset(out);
    waveOutClose(out);
    out = nullptr;
    source.reset();
    playing = false;
    if (!cancelled)
        PostMessage(relay.data(), kPlaybackEnded, static_cast<WPARAM>(serial));
    std::lock_guard lock(mutex);
    finished = true;
    changed.notify_all();
}

// Receives the workers' end reports on the player's thread.
class Relay : public QObject, public MessageReceiver {
public:
    Relay() : MessageReceiver(this) {}
    void* player = nullptr;  // the player's state; null once the player is gone
};

}  // namespace

struct MediaPlayer::Impl {
    MediaDevice device;
    QPointer<QObject> owner;
    UINT message = 0;
    // Deleted later, not with the player: the owner may destroy the player while
    // handling the end report that the relay is delivering.
    Relay* relay = new Relay;
    uint64_t serial = 0;

    ~Impl() {
        relay->player = nullptr;
        relay->deleteLater();
    }
    std::shared_ptr<Playback> playback;

    // Ends the worker of the playback (bounded) and forgets it.
    void Release() {
        std::shared_ptr<Playback> p = std::move(playback);
        if (!p)
            return;
        std::unique_lock lock(p->mutex);
        p->cancel = true;
        p->changed.notify_all();
        const bool done = p->changed.wait_for(lock, 5s, [&] { return p->finished; });
        lock.unlock();
        if (done)
            p->thread.join();
        else
            p->thread.detach();  // it holds its own reference to the playback
    }

    MediaError Start(std::unique_ptr<MediaSource> source) {
        const WAVEFORMATEX format = source->Format();
        auto p = std::make_shared<Playback>();
        p->source = std::move(source);
        p->relay = relay;
        p->serial = ++serial;
        WaveNotify notify;
        Playback* raw = p.get();
        notify.function = [raw](WaveDevice*, UINT msg, uintptr_t, WAVEHDR* header) {
            if (msg != MM_WOM_DONE || !header)
                return;
            std::lock_guard lock(raw->mutex);
            raw->returned.push_back(header);
            raw->changed.notify_all();
        };
        if (waveOutOpen(&p->out, WAVE_MAPPER, &format, notify, CALLBACK_FUNCTION) !=
            MMSYSERR_NOERROR)
            return MediaError::Device;
        playback = p;
        p->thread = std::thread([p] { p->Run(); });
        return MediaError::None;
    }

    void OnEnded(uint64_t ended) {
        if (!playback || playback->serial != ended)
            return;  // a playback since stopped or replaced
        Release();
        SendMessage(owner.data(), message, 1);
    }
};

const char* MediaErrorText(MediaError error) {
    switch (error) {
        case MediaError::None:
            return "no error";
        case MediaError::NoFile:
            return "the file cannot be read";
        case MediaError::BadFormat:
            return "the file is not in a format this device plays";
        case MediaError::NotReady:
            return "the device is not ready";
        case MediaError::Device:
            return "the sound output device cannot be opened";
        case MediaError::NoTrack:
            return "there is no such audio track";
    }
    return "unknown error";
}

MediaPlayer::MediaPlayer(MediaDevice device) : d(std::make_unique<Impl>()) {
    d->device = device;
    Relay* relay = d->relay;
    relay->player = d.get();
    relay->OnMessage(kPlaybackEnded, [relay](WPARAM serial, LPARAM) {
        if (relay->player)
            static_cast<Impl*>(relay->player)->OnEnded(static_cast<uint64_t>(serial));
        return LRESULT(0);
    });
}

MediaPlayer::~MediaPlayer() {
    d->owner = nullptr;  // nobody to tell any more
    Stop();
}

MediaDevice MediaPlayer::Device() const {
    return d->device;
}

void MediaPlayer::SetNotify(QObject* owner, UINT message) {
    d->owner = owner;
    d->message = message;
}

MediaError MediaPlayer::PlayFile(const QString& path) {
    Stop();
    MediaError error = MediaError::None;
    std::unique_ptr<MediaSource> source;
    switch (d->device) {
        case MediaDevice::WaveAudio:
            source = WaveSource::Open(path, &error);
            break;
        case MediaDevice::Sequencer:
            source = MidiSource::Open(path, &error);
            break;
        case MediaDevice::CdAudio:
            return MediaError::BadFormat;
    }
    if (!source)
        return error;
    return d->Start(std::move(source));
}

MediaError MediaPlayer::PlayTracks(int first, int end) {
    if (d->device != MediaDevice::CdAudio)
        return MediaError::BadFormat;
    Stop();
    MediaError error = MediaError::None;
    std::unique_ptr<MediaSource> source = CdSource::Open(first, end, &error);
    if (!source)
        return error;
    return d->Start(std::move(source));
}

void MediaPlayer::Stop() {
    if (!d->playback)
        return;
    d->Release();
    // Reported whether or not the worker had reached the end: its own report is now void.
    if (d->owner)
        PostMessage(d->owner.data(), d->message, 0);
}

bool MediaPlayer::IsPlaying() const {
    return d->playback && d->playback->playing;
}

bool MediaDeviceReady(MediaDevice device) {
    switch (device) {
        case MediaDevice::WaveAudio:
            return WaveOutOpens(PcmFormat(1, 11025, 8));
        case MediaDevice::Sequencer:
            return QFile(MidiSoundFontPath()).open(QIODevice::ReadOnly) &&
                   WaveOutOpens(PcmFormat(2, kMidiRate, 16));
        case MediaDevice::CdAudio: {
            CdIo_t* cd = OpenCd();
            if (!cd)
                return false;
            const bool audio = HasAudioTrack(cd);
            cdio_destroy(cd);
            return audio && WaveOutOpens(PcmFormat(2, 44100, 16));
        }
    }
    return false;
}

QString MidiSoundFontPath() {
    {
        std::lock_guard lock(SettingsMutex());
        if (!SoundFontSetting().isEmpty())
            return SoundFontSetting();
    }
    const QString env = qEnvironmentVariable("TONEDECK_SOUNDFONT");
    return env.isEmpty() ? QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2") : env;
}

void SetMidiSoundFontPath(const QString& path) {
    std::lock_guard lock(SettingsMutex());
    SoundFontSetting() = path;
}

QString CdAudioSource() {
    {
        std::lock_guard lock(SettingsMutex());
        if (!CdSourceSetting().isEmpty())
            return CdSourceSetting();
    }
    return qEnvironmentVariable("TONEDECK_CD_DEVICE");
}

void SetCdAudioSource(const QString& source) {
    std::lock_guard lock(SettingsMutex());
    CdSourceSetting() = source;
}

QByteArray UnwrapRiffMidi(const QByteArray& image) {
    if (image.startsWith("MThd"))
        return image;
    if (image.size() < 12 || !image.startsWith("RIFF") || image.mid(8, 4) != "RMID")
        return {};
    // The chunks of the form, each size checked against what the form and the image hold.
    const qsizetype formEnd =
        std::min<qsizetype>(image.size(), 8 + qsizetype(Le32(image.constData() + 4)));
    qsizetype pos = 12;
    while (pos + 8 <= formEnd) {
        const uint32_t size = Le32(image.constData() + pos + 4);
        if (qsizetype(size) > formEnd - pos - 8)
            return {};
        if (std::memcmp(image.constData() + pos, "data", 4) == 0) {
            const QByteArray smf = image.mid(pos + 8, size);
            return smf.startsWith("MThd") ? smf : QByteArray();
        }
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}
