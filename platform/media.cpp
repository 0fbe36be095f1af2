#include "platform/media.h"

#include <QFile>
#include <QObject>
#include <QPointer>

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
#include "platform/library.h"
#include "platform/mediasource.h"
#include "platform/message.h"
#include "platform/wave.h"

using namespace std::chrono_literals;

namespace {

// The worker's report to the player's relay: wParam is the playback's serial number.
constexpr UINT kPlaybackEnded = WM_USER + 1;

// The rate MIDI is rendered at.
constexpr DWORD kMidiRate = 44100;
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

bool WaveOutOpens(const WAVEFORMATEX& format) {
    return waveOutOpen(nullptr, WAVE_MAPPER, &format, WaveNotify{}, WAVE_FORMAT_QUERY) ==
           MMSYSERR_NOERROR;
}

uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

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

// The module that renders MIDI and reads discs, loaded at its first use and held for the
// life of the process (its sources' code lives in it). Null entry points when it does not load.
struct MediaModule {
    SharedLibrary library;
    TdOpenMidiSourceFn openMidi = nullptr;
    TdOpenCdSourceFn openCd = nullptr;
    TdCdHasAudioFn cdHasAudio = nullptr;
};

const MediaModule& Module() {
    static MediaModule* module = [] {
        auto* m = new MediaModule;
        if (m->library.Load(QString::fromLatin1(kMediaModuleName))) {
            m->openMidi =
                reinterpret_cast<TdOpenMidiSourceFn>(m->library.Resolve("TdOpenMidiSource"));
            m->openCd = reinterpret_cast<TdOpenCdSourceFn>(m->library.Resolve("TdOpenCdSource"));
            m->cdHasAudio = reinterpret_cast<TdCdHasAudioFn>(m->library.Resolve("TdCdHasAudio"));
        }
        return m;
    }();
    return *module;
}

std::unique_ptr<MediaSource> OpenMidi(const QString& path, MediaError* error) {
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
    if (!QFile::exists(font) || !Module().openMidi) {
        *error = MediaError::NotReady;
        return nullptr;
    }
    return std::unique_ptr<MediaSource>(Module().openMidi(smf, font, error));
}

std::unique_ptr<MediaSource> OpenCd(int first, int end, MediaError* error) {
    if (!Module().openCd) {
        *error = MediaError::NotReady;
        return nullptr;
    }
    return std::unique_ptr<MediaSource>(Module().openCd(CdAudioSource(), first, end, error));
}

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
    const qsizetype size =
        std::max<qsizetype>(kCdSectorBytes, block / kCdSectorBytes * kCdSectorBytes);
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
            source = OpenMidi(path, &error);
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
    std::unique_ptr<MediaSource> source = OpenCd(first, end, &error);
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
            return QFile(MidiSoundFontPath()).open(QIODevice::ReadOnly) && Module().openMidi &&
                   WaveOutOpens(PcmFormat(2, kMidiRate, 16));
        case MediaDevice::CdAudio:
            return Module().cdHasAudio && Module().cdHasAudio(CdAudioSource()) &&
                   WaveOutOpens(PcmFormat(2, 44100, 16));
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
