#include "platform/playsound.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/wave.h"
#include "platform/wavestream.h"

using namespace std::chrono_literals;

namespace {

// One-shot sounds are short; a file past this is not one.
constexpr qint64 kMaxSoundFileBytes = 32 << 20;

// The background player: one thread, one request slot (a newer request replaces an older
// one and ends the sound playing).
class Player {
public:
    ~Player() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
            cancel_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable())
            thread_.join();
    }

    void Request(std::optional<QByteArray> image) {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
        next_ = std::move(image);
        pending_ = true;
        cancel_ = true;
        changed_.notify_all();
    }

    bool Busy() {
        std::lock_guard lock(mutex_);
        return pending_ || playing_;
    }

    bool Wait(int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return !pending_ && !playing_; });
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!pending_) {
                changed_.wait_for(lock, 1s);
                continue;
            }
            std::optional<QByteArray> image = std::move(next_);
            next_.reset();
            pending_ = false;
            cancel_ = false;
            if (!image) {
                changed_.notify_all();
                continue;
            }
            playing_ = true;
            lock.unlock();
            Play(*image);
            lock.lock();
            playing_ = false;
            changed_.notify_all();
        }
    }

    // Plays the image in quarter-second buffers, four in flight, until it ends or a new
    // request comes.
    void Play(const QByteArray& image) {
        WAVEFORMATEX format{};
        qsizetype offset = 0, size = 0;
        if (!ParseWavImage(image, &format, &offset, &size) || !IsPlayablePcm(format))
            return;
        WaveNotify notify;
        notify.function = [this](WaveDevice*, UINT message, uintptr_t, WAVEHDR*) {
            if (message != MM_WOM_DONE)
                return;
            std::lock_guard lock(mutex_);
            done_++;
            changed_.notify_all();
        };
        HWAVEOUT out = nullptr;
        if (waveOutOpen(&out, WAVE_MAPPER, &format, notify, CALLBACK_FUNCTION) != 0)
            return;
        const qsizetype block =
            std::max<qsizetype>(format.nBlockAlign, qsizetype(format.nAvgBytesPerSec / 4) /
                                                        format.nBlockAlign * format.nBlockAlign);
        std::deque<WAVEHDR> headers;
        qsizetype next = 0;
        int queued = 0;
        {
            std::lock_guard lock(mutex_);
            done_ = 0;
        }
        for (;;) {
            while (queued - Done() < 4 && next < size) {
                WAVEHDR& h = headers.emplace_back();
                h = WAVEHDR{};
                h.lpData = const_cast<char*>(image.constData()) + offset + next;
                h.dwBufferLength = static_cast<DWORD>(std::min(block, size - next));
                next += h.dwBufferLength;
                waveOutPrepareHeader(out, &h, sizeof h);
                if (waveOutWrite(out, &h, sizeof h) != 0) {
                    next = size;
                    break;
                }
                queued++;
            }
            std::unique_lock lock(mutex_);
            if (cancel_ || done_ >= queued)
                break;
            changed_.wait_for(lock, 100ms);
        }
        waveOutReset(out);
        waveOutClose(out);
    }

    int Done() {
        std::lock_guard lock(mutex_);
        return done_;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    std::optional<QByteArray> next_;
    bool pending_ = false;
    bool playing_ = false;
    bool cancel_ = false;
    bool quit_ = false;
    int done_ = 0;
};

Player& ThePlayer() {
    static Player player;
    return player;
}

bool Playable(const QByteArray& image) {
    WAVEFORMATEX format{};
    qsizetype offset = 0, size = 0;
    return ParseWavImage(image, &format, &offset, &size) && IsPlayablePcm(format);
}

// A sound file whole, or nothing: regular files only (a FIFO or a device named in the
// settings would block or never end), and no larger than kMaxSoundFileBytes.
QByteArray ReadSoundFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxSoundFileBytes ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    // A file that grows while it is read is still cut at the bound.
    return file.read(kMaxSoundFileBytes);
}

}  // namespace

BOOL PlaySound(const QString& path, DWORD) {
    if (path.isEmpty()) {
        ThePlayer().Request(std::nullopt);
        return 1;
    }
    const QByteArray image = ReadSoundFile(path);
    if (!Playable(image))
        return 0;
    ThePlayer().Request(image);
    return 1;
}

BOOL PlaySoundMemory(const QByteArray& image, DWORD) {
    if (!Playable(image))
        return 0;
    ThePlayer().Request(image);
    return 1;
}

bool IsSoundPlaying() {
    return ThePlayer().Busy();
}

bool WaitForSound(int timeoutMs) {
    return ThePlayer().Wait(timeoutMs);
}
