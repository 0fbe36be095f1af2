// The ALSA streams under the wave devices, and the probe that tells whether ALSA has a
// device to offer.
#include <alsa/asoundlib.h>

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/audiobackend.h"
#include "platform/wavestream.h"

namespace {

std::mutex configMutex;
QByteArray configText;  // a configuration of the caller's instead of the system's

// alsa-lib prints its own complaints on stderr; the callers report failures themselves.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(Quiet); });
}

// Opens the named PCM, from the caller's configuration when one is set. The configuration
// tree, when one was loaded, is handed back so it can be freed after the PCM is closed.
int OpenPcm(snd_pcm_t** pcm, const QString& name, snd_pcm_stream_t direction, int mode,
            snd_config_t** tree) {
    SilenceAlsa();
    *tree = nullptr;
    QByteArray text;
    {
        std::lock_guard lock(configMutex);
        text = configText;
    }
    const QByteArray pcmName = name.toLocal8Bit();
    if (text.isEmpty())
        return snd_pcm_open(pcm, pcmName.constData(), direction, mode);

    snd_config_t* top = nullptr;
    snd_input_t* in = nullptr;
    int err = snd_config_top(&top);
    if (err < 0)
        return err;
    err = snd_input_buffer_open(&in, text.constData(), text.size());
    if (err >= 0) {
        err = snd_config_load(top, in);
        snd_input_close(in);
    }
    if (err >= 0)
        err = snd_pcm_open_lconf(pcm, pcmName.constData(), direction, mode, top);
    if (err < 0) {
        snd_config_delete(top);
        return err;
    }
    *tree = top;
    return 0;
}

class AlsaStream : public PcmStream {
public:
    AlsaStream(snd_pcm_t* pcm, snd_config_t* tree, bool input, long chunk, snd_pcm_format_t format,
               int channels)
        : pcm_(pcm),
          tree_(tree),
          input_(input),
          chunk_(chunk),
          format_(format),
          channels_(channels),
          frameBytes_(snd_pcm_format_physical_width(format) / 8 * channels) {}
    ~AlsaStream() override {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        if (tree_)
            snd_config_delete(tree_);
    }

    long ChunkFrames() const override { return chunk_; }

    long Read(void* data, long frames) override {
        const snd_pcm_sframes_t r = snd_pcm_readi(pcm_, data, frames);
        return Settle(r);
    }

    long Write(const void* data, long frames) override {
        padding_ = 0;
        const snd_pcm_sframes_t r = snd_pcm_writei(pcm_, data, frames);
        return Settle(r);
    }

    void Start() override {
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED)
            snd_pcm_prepare(pcm_);
        if (input_)
            snd_pcm_start(pcm_);
    }

    void Drop() override {
        padding_ = 0;
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    void Pause(bool on) override {
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (on && state == SND_PCM_STATE_RUNNING) {
            // Devices that cannot pause play out what they hold and then run dry.
            paused_ = snd_pcm_pause(pcm_, 1) == 0;
        } else if (!on && paused_) {
            snd_pcm_pause(pcm_, 0);
            paused_ = false;
        }
    }

    // A device that has not started is started. One that runs but holds the last frames
    // without playing them (a sound server waits for a whole quantum) gets a period of
    // silence after them, a few at most; Delay leaves the silence out.
    void Flush() override {
        if (input_)
            return;
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        snd_pcm_sframes_t pending = 0;
        if (state == SND_PCM_STATE_PREPARED) {
            if (snd_pcm_delay(pcm_, &pending) == 0 && pending > 0)
                snd_pcm_start(pcm_);
            return;
        }
        if (state != SND_PCM_STATE_RUNNING || padding_ >= 4 * chunk_)
            return;
        const snd_pcm_sframes_t room = snd_pcm_avail(pcm_);
        if (room < chunk_)
            return;
        if (silence_.isEmpty()) {
            silence_.resize(chunk_ * frameBytes_);
            snd_pcm_format_set_silence(format_, silence_.data(), unsigned(chunk_ * channels_));
        }
        const snd_pcm_sframes_t r = snd_pcm_writei(pcm_, silence_.constData(), chunk_);
        if (r > 0)
            padding_ += r;
    }

    long Room() override {
        if (input_)
            return 0;
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
        return avail > 0 ? static_cast<long>(avail) : 0;
    }

    long Delay() override {
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING &&
            snd_pcm_state(pcm_) != SND_PCM_STATE_PAUSED)
            return 0;
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0)
            return 0;
        return static_cast<long>(std::max<snd_pcm_sframes_t>(0, delay - padding_));
    }

private:
    // Overruns and underruns are recovered from and count as nothing moved.
    long Settle(snd_pcm_sframes_t r) {
        if (r >= 0)
            return static_cast<long>(r);
        if (r == -EAGAIN || r == -EINTR)
            return 0;
        if (snd_pcm_recover(pcm_, static_cast<int>(r), 1) == 0) {
            if (input_)
                snd_pcm_start(pcm_);
            return 0;
        }
        return static_cast<long>(r);
    }

    snd_pcm_t* pcm_;
    snd_config_t* tree_;
    bool input_;
    long chunk_;
    snd_pcm_format_t format_;
    int channels_;
    int frameBytes_;
    bool paused_ = false;
    snd_pcm_sframes_t padding_ = 0;  // silence written after the last real frames
    QByteArray silence_;
};

}  // namespace

void SetAlsaConfigText(const QByteArray& text) {
    std::lock_guard lock(configMutex);
    configText = text;
}

// True when ALSA's output device opens.
bool AlsaOutputAvailable() {
    snd_pcm_t* pcm = nullptr;
    snd_config_t* tree = nullptr;
    if (OpenPcm(&pcm, AlsaOutputDeviceName(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK, &tree) < 0)
        return false;
    snd_pcm_close(pcm);
    if (tree)
        snd_config_delete(tree);
    return true;
}

std::unique_ptr<PcmStream> OpenAlsaStream(bool input, const WAVEFORMATEX& format, MMRESULT* error) {
    snd_pcm_t* pcm = nullptr;
    snd_config_t* tree = nullptr;
    const QString name = input ? AlsaInputDeviceName() : AlsaOutputDeviceName();
    const int err =
        OpenPcm(&pcm, name, input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0, &tree);
    if (err < 0) {
        *error = err == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
        return nullptr;
    }
    auto fail = [&](MMRESULT code) -> std::unique_ptr<PcmStream> {
        snd_pcm_close(pcm);
        if (tree)
            snd_config_delete(tree);
        *error = code;
        return nullptr;
    };
    const snd_pcm_format_t sampleFormat =
        format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    // A fifth of a second of buffering in periods of about 50 ms.
    if (snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                           format.nSamplesPerSec, 1, 200000) < 0)
        return fail(WAVERR_BADFORMAT);
    snd_pcm_uframes_t bufferSize = 0, periodSize = 0;
    if (snd_pcm_get_params(pcm, &bufferSize, &periodSize) < 0 || periodSize == 0)
        return fail(MMSYSERR_ERROR);
    if (!input) {
        // Start playing as soon as a period is there, so a short sound is heard at once.
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        if (snd_pcm_sw_params_current(pcm, sw) == 0) {
            snd_pcm_sw_params_set_start_threshold(pcm, sw, periodSize);
            snd_pcm_sw_params(pcm, sw);
        }
    }
    return std::make_unique<AlsaStream>(pcm, tree, input, static_cast<long>(periodSize),
                                        sampleFormat, format.nChannels);
}
