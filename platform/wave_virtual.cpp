// The virtual sound device: input from a WAV file or a generator, output thrown away
// (or, when asked, kept in a capped capture and written to a WAV file as it plays), both
// timed by a clock that runs at a chosen multiple of real time.
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audiobackend.h"
#include "platform/wavestream.h"

namespace {

struct Settings {
    std::mutex mutex;
    bool inputSet = false;
    VirtualInput input;
    bool speedSet = false;
    double speed = 1.0;
    bool outputFileSet = false;
    QString outputFile;
    qsizetype captureLimit = 0;  // 0: nothing played is kept
    QByteArray captured;
    WAVEFORMATEX capturedFormat{};
};

// Device threads (a one-shot sound still playing while the process exits, say) may reach
// the settings after static destruction has begun, so they are never destroyed.
Settings& State() {
    static Settings* settings = new Settings;
    return *settings;
}

VirtualInput CurrentInput() {
    Settings& s = State();
    std::lock_guard lock(s.mutex);
    if (s.inputSet)
        return s.input;
    return ParseVirtualInput(qEnvironmentVariable("TONEDECK_VIRTUAL_INPUT"))
        .value_or(VirtualInput{});
}

double CurrentSpeed() {
    Settings& s = State();
    std::lock_guard lock(s.mutex);
    if (s.speedSet)
        return s.speed;
    bool ok = false;
    const double v = qEnvironmentVariable("TONEDECK_VIRTUAL_SPEED").toDouble(&ok);
    return ok && v >= 0 ? v : 1.0;
}

QString CurrentOutputFile() {
    Settings& s = State();
    std::lock_guard lock(s.mutex);
    if (s.outputFileSet)
        return s.outputFile;
    return qEnvironmentVariable("TONEDECK_VIRTUAL_OUTPUT");
}

// The first channel of a PCM WAV file as 16-bit-scale values, and its rate.
bool LoadWav(const QString& path, std::vector<int16_t>* samples, uint32_t* rate) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray image = file.readAll();
    WAVEFORMATEX f{};
    qsizetype offset = 0, size = 0;
    if (!ParseWavImage(image, &f, &offset, &size) || f.wFormatTag != WAVE_FORMAT_PCM)
        return false;
    if ((f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nChannels < 1 ||
        f.nSamplesPerSec == 0)
        return false;
    const qsizetype frameBytes = f.nChannels * f.wBitsPerSample / 8;
    const qsizetype frames = size / frameBytes;
    samples->resize(static_cast<std::size_t>(frames));
    const auto* data = reinterpret_cast<const uint8_t*>(image.constData() + offset);
    for (qsizetype i = 0; i < frames; ++i) {
        const uint8_t* p = data + i * frameBytes;
        (*samples)[i] =
            f.wBitsPerSample == 8 ? int16_t((int(p[0]) - 128) * 256) : int16_t(p[0] | p[1] << 8);
    }
    *rate = f.nSamplesPerSec;
    return true;
}

// Paces transfers: frames moved may not run ahead of the clock.
class Clock {
public:
    explicit Clock(uint32_t rate) : rate_(rate), speed_(CurrentSpeed()) { Restart(); }
    void Restart() {
        start_ = std::chrono::steady_clock::now();
        frames_ = 0;
    }
    void Advance(long frames) {
        frames_ += static_cast<uint64_t>(frames);
        if (speed_ <= 0)
            return;
        const double seconds = double(frames_) / rate_ / speed_;
        std::this_thread::sleep_until(start_ + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   std::chrono::duration<double>(seconds)));
    }

private:
    uint32_t rate_;
    double speed_;
    std::chrono::steady_clock::time_point start_;
    uint64_t frames_ = 0;
};

class VirtualStream : public PcmStream {
public:
    VirtualStream(bool input, const WAVEFORMATEX& format, VirtualInput source)
        : input_(input),
          format_(format),
          source_(std::move(source)),
          clock_(format.nSamplesPerSec) {}

    ~VirtualStream() override { FinishWav(); }

    bool Load() {
        if (source_.kind != VirtualInput::Kind::File)
            return true;
        return LoadWav(source_.path, &file_, &fileRate_);
    }

    long ChunkFrames() const override { return std::max<long>(1, format_.nSamplesPerSec / 20); }

    long Read(void* data, long frames) override {
        auto* out = static_cast<uint8_t*>(data);
        for (long i = 0; i < frames; ++i) {
            const int16_t v = Next();
            for (int c = 0; c < format_.nChannels; ++c) {
                if (format_.wBitsPerSample == 8) {
                    *out++ = static_cast<uint8_t>((v >> 8) + 128);
                } else {
                    *out++ = static_cast<uint8_t>(v & 0xFF);
                    *out++ = static_cast<uint8_t>((v >> 8) & 0xFF);
                }
            }
        }
        clock_.Advance(frames);
        return frames;
    }

    long Write(const void* data, long frames) override {
        const qsizetype bytes = qsizetype(frames) * format_.nBlockAlign;
        {
            Settings& s = State();
            std::lock_guard lock(s.mutex);
            if (s.captureLimit > 0) {
                s.capturedFormat = format_;
                const qsizetype room = std::max<qsizetype>(0, s.captureLimit - s.captured.size());
                s.captured.append(static_cast<const char*>(data), std::min(bytes, room));
            }
        }
        if (!wavChecked_) {
            wavChecked_ = true;
            StartWav(CurrentOutputFile());
        }
        if (wav_.isOpen() && wav_.write(static_cast<const char*>(data), bytes) == bytes)
            wavBytes_ += static_cast<uint64_t>(bytes);
        clock_.Advance(frames);
        return frames;
    }

    void Start() override { clock_.Restart(); }
    void Drop() override { clock_.Restart(); }
    void Pause(bool on) override {
        if (!on)
            clock_.Restart();
    }

private:
    // The next input value, on the 16-bit scale.
    int16_t Next() {
        const uint64_t n = position_++;
        switch (source_.kind) {
            case VirtualInput::Kind::Silence:
                return 0;
            case VirtualInput::Kind::Tone: {
                const double t = double(n) / format_.nSamplesPerSec;
                return static_cast<int16_t>(
                    std::lround(std::clamp(source_.amplitude, 0, 32767) *
                                std::sin(2 * M_PI * source_.frequency * t)));
            }
            case VirtualInput::Kind::Noise: {
                noise_ = noise_ * 1664525u + 1013904223u;
                const int a = std::clamp(source_.amplitude, 0, 32767);
                return static_cast<int16_t>(int64_t(noise_ >> 16) % (2 * a + 1) - a);
            }
            case VirtualInput::Kind::File: {
                // Nearest earlier sample at the file's own rate; silence after its end.
                const uint64_t i = n * fileRate_ / format_.nSamplesPerSec;
                return i < file_.size() ? file_[i] : 0;
            }
        }
        return 0;
    }

    static QByteArray Le32(uint32_t v) {
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        return QByteArray(b, 4);
    }

    // The output file, like ALSA's file plugin: the header first, the frames as they are
    // played, the sizes filled in when the device closes. Nothing is held in memory.
    void StartWav(const QString& path) {
        if (path.isEmpty())
            return;
        wav_.setFileName(path);
        if (!wav_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        QByteArray header = "RIFF" + Le32(36) + "WAVEfmt " + Le32(16);
        header.append(reinterpret_cast<const char*>(&format_), 16);
        header += "data" + Le32(0);
        if (wav_.write(header) != header.size())
            wav_.close();
    }

    void FinishWav() {
        if (!wav_.isOpen())
            return;
        // A RIFF form holds at most 4 GB; what was played past that stays unannounced.
        const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(wavBytes_, 0xFFFFFF00u));
        if (size & 1)
            wav_.write("", 1);
        if (wav_.seek(4))
            wav_.write(Le32(36 + size + (size & 1)));
        if (wav_.seek(40))
            wav_.write(Le32(size));
        wav_.close();
    }

    bool input_;
    WAVEFORMATEX format_;
    VirtualInput source_;
    Clock clock_;
    std::vector<int16_t> file_;
    uint32_t fileRate_ = 1;
    uint64_t position_ = 0;
    uint32_t noise_ = 12345;
    bool wavChecked_ = false;
    QFile wav_;
    uint64_t wavBytes_ = 0;
};

}  // namespace

std::optional<VirtualInput> ParseVirtualInput(const QString& text) {
    VirtualInput in;
    if (text.isEmpty() || text == QLatin1String("silence"))
        return in;
    const QStringList parts = text.split(QLatin1Char(':'));
    auto number = [&](int i, double fallback, bool* ok) {
        if (parts.size() <= i)
            return fallback;
        return parts[i].toDouble(ok);
    };
    bool ok = true;
    if (parts[0] == QLatin1String("tone") && parts.size() <= 3) {
        in.kind = VirtualInput::Kind::Tone;
        in.frequency = number(1, 440, &ok);
        in.amplitude = static_cast<int>(number(2, 8000, &ok));
        if (!ok || in.frequency <= 0)
            return std::nullopt;
        return in;
    }
    if (parts[0] == QLatin1String("noise") && parts.size() <= 2) {
        in.kind = VirtualInput::Kind::Noise;
        in.amplitude = static_cast<int>(number(1, 8000, &ok));
        if (!ok)
            return std::nullopt;
        return in;
    }
    in.kind = VirtualInput::Kind::File;
    in.path = text;
    return in;
}

void SetVirtualInput(const VirtualInput& input) {
    std::lock_guard lock(State().mutex);
    State().inputSet = true;
    State().input = input;
}

void SetVirtualSpeed(double multipleOfRealTime) {
    std::lock_guard lock(State().mutex);
    State().speedSet = true;
    State().speed = std::max(0.0, multipleOfRealTime);
}

void SetVirtualCapture(qsizetype maxBytes) {
    std::lock_guard lock(State().mutex);
    State().captureLimit = std::max<qsizetype>(0, maxBytes);
    State().captured.clear();
    State().captured.squeeze();
}

QByteArray TakeVirtualOutput(WAVEFORMATEX* format) {
    std::lock_guard lock(State().mutex);
    if (format)
        *format = State().capturedFormat;
    QByteArray bytes;
    bytes.swap(State().captured);
    return bytes;
}

void SetVirtualOutputFile(const QString& path) {
    std::lock_guard lock(State().mutex);
    State().outputFileSet = true;
    State().outputFile = path;
}

std::unique_ptr<PcmStream> OpenVirtualStream(bool input, const WAVEFORMATEX& format,
                                             MMRESULT* error) {
    auto stream =
        std::make_unique<VirtualStream>(input, format, input ? CurrentInput() : VirtualInput{});
    if (input && !stream->Load()) {
        *error = MMSYSERR_NODRIVER;
        return nullptr;
    }
    return stream;
}
