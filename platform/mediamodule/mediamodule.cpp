// libtdmedia.so: MIDI rendered by FluidSynth and audio CDs read through libcdio, for the
// whole-file players of libtdplatform, which load this module when they first need it.
#include <QFile>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <fluidsynth.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/mediasource.h"

static_assert(kCdSectorBytes == CDIO_CD_FRAMESIZE_RAW);

namespace {

constexpr DWORD kMidiRate = 44100;
// After the last MIDI event the synthesiser renders on until its notes have died away,
// at most this long.
constexpr int kMidiTailMs = 2000;

void QuietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

// The file player drives the synthesiser from its sample clock, so every block written
// advances the song by exactly that much.
class MidiSource : public MediaSource {
public:
    static std::unique_ptr<MidiSource> Open(const QByteArray& smf, const QString& font,
                                            MediaError* error) {
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
            fluid_synth_sfload(source->synth_, QFile::encodeName(font).constData(), 1) ==
                FLUID_FAILED) {
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
CdIo_t* OpenCd(const QString& source) {
    static std::once_flag once;
    std::call_once(once, [] { cdio_loglevel_default = CDIO_LOG_ASSERT; });
    if (source.isEmpty())
        return cdio_open(nullptr, DRIVER_DEVICE);
    const QByteArray name = QFile::encodeName(source);
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

class CdSource : public MediaSource {
public:
    static std::unique_ptr<CdSource> Open(const QString& where, int first, int end,
                                          MediaError* error) {
        CdIo_t* cd = OpenCd(where);
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

}  // namespace

#define TD_EXPORT __attribute__((visibility("default")))

extern "C" TD_EXPORT MediaSource* TdOpenMidiSource(const QByteArray& smf, const QString& font,
                                                   MediaError* error) {
    return MidiSource::Open(smf, font, error).release();
}

extern "C" TD_EXPORT MediaSource* TdOpenCdSource(const QString& source, int first, int end,
                                                 MediaError* error) {
    return CdSource::Open(source, first, end, error).release();
}

extern "C" TD_EXPORT bool TdCdHasAudio(const QString& source) {
    CdIo_t* cd = OpenCd(source);
    if (!cd)
        return false;
    const bool audio = HasAudioTrack(cd);
    cdio_destroy(cd);
    return audio;
}

// The type of each entry point is the one the players look it up as.
static_assert(std::is_same_v<decltype(&TdOpenMidiSource), TdOpenMidiSourceFn>);
static_assert(std::is_same_v<decltype(&TdOpenCdSource), TdOpenCdSourceFn>);
static_assert(std::is_same_v<decltype(&TdCdHasAudio), TdCdHasAudioFn>);
