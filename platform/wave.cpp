#include "platform/wave.h"

#include <QPointer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/audiobackend.h"
#include "platform/levels.h"
#include "platform/message.h"
#include "platform/wavestream.h"

using namespace std::chrono_literals;

// One open device: its stream, the queue of caller buffers and the thread that moves
// frames between them.
struct WaveDevice {
    bool input = false;
    WAVEFORMATEX format{};
    QPointer<QObject> window;
    WaveCallback function;
    uintptr_t instance = 0;
    DWORD callbackType = CALLBACK_NULL;
    std::unique_ptr<PcmStream> stream;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WAVEHDR*> queue;  // waiting; the front one is being filled or played
    // Output buffers handed to the stream but not yet heard, with the frame count at
    // which each ends.
    std::deque<std::pair<WAVEHDR*, uint64_t>> written;
    DWORD frontBytes = 0;  // bytes of the front buffer already moved
    bool running = false;  // input: started; output: not paused
    bool quit = false;
    bool busy = false;         // the thread is inside Read or Write
    bool failed = false;       // the stream reported an error it cannot recover from
    uint64_t generation = 0;   // bumped by stop and reset: a transfer under way is void
    uint64_t framesMoved = 0;  // since open or the last reset
    // Output: buffers handed back since the thread last ran out of work, and how many
    // must be queued before a new one wakes it (see RunOutput).
    std::size_t returned = 0;
    std::size_t wakeAt = 1;
    std::thread thread;

    void Run();
    void RunInput(std::unique_lock<std::mutex>& lock);
    void RunOutput(std::unique_lock<std::mutex>& lock);
    int idleWaiters = 0;  // callers in WaitIdle: the thread starts no transfer meanwhile

    // Waits, with the lock held, until no transfer is under way (bounded). The device
    // thread starts no new transfer while someone waits here, so a stop or reset is not
    // starved by a thread that takes the lock back between transfers.
    void WaitIdle(std::unique_lock<std::mutex>& lock) {
        idleWaiters++;
        changed.wait_for(lock, 3s, [this] { return !busy; });
        idleWaiters--;
        changed.notify_all();
    }
    // Device thread: true (after a bounded wait) when a caller waits for it to be idle.
    bool YieldToWaiters(std::unique_lock<std::mutex>& lock) {
        if (idleWaiters == 0)
            return false;
        changed.wait_for(lock, 100ms, [this] { return idleWaiters == 0 || quit; });
        return true;
    }
    void Notify(UINT message, WAVEHDR* header);
};

namespace {

// Marks a buffer done and returns it to the caller's list of buffers to announce.
void Finish(WAVEHDR* header, std::vector<WAVEHDR*>& done) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    done.push_back(header);
}

void Announce(WaveDevice* device, UINT message, const std::vector<WAVEHDR*>& done) {
    for (WAVEHDR* h : done)
        device->Notify(message, h);
}

bool ValidHeader(const WAVEHDR* header, UINT size) {
    return header && size >= sizeof(WAVEHDR) && header->lpData;
}

MMRESULT OpenDevice(bool input, WaveDevice** handle, UINT deviceId, const WAVEFORMATEX* format,
                    const WaveNotify& notify, DWORD flags) {
    if (!format)
        return MMSYSERR_INVALPARAM;
    if (deviceId != WAVE_MAPPER && deviceId != 0)
        return MMSYSERR_BADDEVICEID;
    if (!IsPlayablePcm(*format))
        return WAVERR_BADFORMAT;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_WINDOW && type != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (type == CALLBACK_WINDOW && !notify.window)
        return MMSYSERR_INVALPARAM;
    if (type == CALLBACK_FUNCTION && !notify.function)
        return MMSYSERR_INVALPARAM;
    const bool query = flags & WAVE_FORMAT_QUERY;
    if (!query && !handle)
        return MMSYSERR_INVALPARAM;

    MMRESULT error = MMSYSERR_NOERROR;
    std::unique_ptr<PcmStream> stream = ChosenAudioBackend() == AudioBackend::Alsa
                                            ? OpenAlsaStream(input, *format, &error)
                                            : OpenVirtualStream(input, *format, &error);
    if (!stream)
        return error ? error : MMSYSERR_ERROR;
    if (query)
        return MMSYSERR_NOERROR;

    auto* device = new WaveDevice;
    device->input = input;
    device->format = *format;
    device->callbackType = type;
    device->window = notify.window;
    device->function = notify.function;
    device->instance = notify.instance;
    device->stream = std::move(stream);
    device->thread = std::thread([device] { device->Run(); });
    *handle = device;
    device->Notify(input ? MM_WIM_OPEN : MM_WOM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT CloseDevice(WaveDevice* device) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    {
        std::unique_lock lock(device->mutex);
        if (!device->queue.empty() || !device->written.empty())
            return WAVERR_STILLPLAYING;
        device->quit = true;
        device->generation++;
        device->changed.notify_all();
    }
    device->thread.join();
    const UINT message = device->input ? MM_WIM_CLOSE : MM_WOM_CLOSE;
    device->Notify(message, nullptr);
    device->stream.reset();
    delete device;
    return MMSYSERR_NOERROR;
}

MMRESULT Prepare(WaveDevice* device, WAVEHDR* header, UINT size) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, size))
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(WaveDevice* device, WAVEHDR* header, UINT size) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, size))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT Queue(WaveDevice* device, WAVEHDR* header, UINT size) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, size))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    std::unique_lock lock(device->mutex);
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (device->input)
        header->dwBytesRecorded = 0;
    device->queue.push_back(header);
    const bool wake = device->queue.size() >= device->wakeAt;
    // Woken after the lock is let go, so the thread does not wake only to wait for it.
    lock.unlock();
    if (wake)
        device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

// Stops transfers; input hands back a partly filled buffer (stop) or every buffer
// (reset); output hands back every buffer and starts counting from 0 again.
MMRESULT Halt(WaveDevice* device, bool everything) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    std::vector<WAVEHDR*> done;
    {
        std::unique_lock lock(device->mutex);
        if (device->input)
            device->running = false;
        device->generation++;
        device->WaitIdle(lock);
        if (device->busy)
            return MMSYSERR_ERROR;
        device->stream->Drop();
        if (device->input) {
            if (!everything && !device->queue.empty() && device->frontBytes > 0) {
                WAVEHDR* h = device->queue.front();
                device->queue.pop_front();
                h->dwBytesRecorded = device->frontBytes;
                Finish(h, done);
            }
            if (everything) {
                for (WAVEHDR* h : device->queue) {
                    if (h == device->queue.front())
                        h->dwBytesRecorded = device->frontBytes;
                    Finish(h, done);
                }
                device->queue.clear();
                device->framesMoved = 0;
            }
        } else {
            for (auto& [h, end] : device->written)
                Finish(h, done);
            for (WAVEHDR* h : device->queue)
                Finish(h, done);
            device->written.clear();
            device->queue.clear();
            device->framesMoved = 0;
        }
        device->frontBytes = 0;
        device->changed.notify_all();
    }
    Announce(device, device->input ? MM_WIM_DATA : MM_WOM_DONE, done);
    return MMSYSERR_NOERROR;
}

MMRESULT Position(WaveDevice* device, MMTIME* time, UINT size) {
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!time || size < sizeof(MMTIME))
        return MMSYSERR_INVALPARAM;
    std::unique_lock lock(device->mutex);
    uint64_t frames = device->framesMoved;
    if (!device->input) {
        const long delay = device->busy ? 0 : device->stream->Delay();
        frames -= std::min<uint64_t>(frames, static_cast<uint64_t>(std::max(0L, delay)));
    }
    if (time->wType == TIME_SAMPLES) {
        time->value = static_cast<DWORD>(frames);
    } else {
        time->wType = TIME_BYTES;
        time->value = static_cast<DWORD>(frames * device->format.nBlockAlign);
    }
    return MMSYSERR_NOERROR;
}

}  // namespace

void WaveDevice::Notify(UINT message, WAVEHDR* header) {
    if (callbackType == CALLBACK_WINDOW) {
        if (window)
            PostMessage(window.data(), message, reinterpret_cast<WPARAM>(this),
                        reinterpret_cast<LPARAM>(header));
    } else if (callbackType == CALLBACK_FUNCTION) {
        function(this, message, instance, header);
    }
}

void WaveDevice::Run() {
    std::unique_lock lock(mutex);
    if (input)
        RunInput(lock);
    else
        RunOutput(lock);
}

void WaveDevice::RunInput(std::unique_lock<std::mutex>& lock) {
    const DWORD align = format.nBlockAlign;
    while (!quit) {
        if (YieldToWaiters(lock))
            continue;
        if (!running || queue.empty() || failed) {
            changed.wait_for(lock, 1s);
            continue;
        }
        WAVEHDR* h = queue.front();
        const DWORD usable = h->dwBufferLength - h->dwBufferLength % align;
        const long frames =
            std::min<long>(stream->ChunkFrames(), static_cast<long>((usable - frontBytes) / align));
        long got = 0;
        if (frames > 0) {
            const uint64_t started = generation;
            char* at = h->lpData + frontBytes;
            busy = true;
            lock.unlock();
            got = stream->Read(at, frames);
            if (got > 0 && PeakWanted(LevelSource::Input)) {
                const PcmPeak peak = MeasurePeak(format, at, static_cast<std::size_t>(got) * align);
                ReportPeak(LevelSource::Input, peak.left, peak.right);
            }
            lock.lock();
            busy = false;
            changed.notify_all();
            if (started != generation)
                continue;
            if (got < 0) {
                failed = true;
                continue;
            }
            if (got == 0) {
                // A recovered overrun or no frames ready yet: wait a little, never spin.
                changed.wait_for(lock, 5ms);
                continue;
            }
            frontBytes += static_cast<DWORD>(got) * align;
            framesMoved += static_cast<uint64_t>(got);
        }
        if (frontBytes >= usable) {
            queue.pop_front();
            h->dwBytesRecorded = frontBytes;
            frontBytes = 0;
            std::vector<WAVEHDR*> done;
            Finish(h, done);
            lock.unlock();
            Announce(this, MM_WIM_DATA, done);
            lock.lock();
        }
    }
}

void WaveDevice::RunOutput(std::unique_lock<std::mutex>& lock) {
    const DWORD align = format.nBlockAlign;
    // Copied out of the packed format first: std::max takes references, and a reference
    // to a field of a packed record may be misaligned.
    const DWORD samplesPerSec = format.nSamplesPerSec;
    const DWORD rate = std::max<DWORD>(1, samplesPerSec);
    // Once the queue runs dry, the device has until this time to play what it holds; a
    // device whose delay never reaches 0 (some sound servers) still ends its buffers then.
    std::optional<std::chrono::steady_clock::time_point> drainBy;
    long lastDelay = -1;
    while (!quit) {
        // Announce the buffers that have been heard. They go back at once when the thread
        // is about to wait (the device has no room for the next chunk, or nothing more is
        // queued). A device that takes frames faster than it plays them (ALSA's null
        // device) has room all along: its buffers go back together once the queue is
        // written, so the caller refills them at one wake-up rather than one at a time.
        if (!written.empty()) {
            const long delay = std::max(0L, stream->Delay());
            uint64_t heard = framesMoved - std::min<uint64_t>(framesMoved, delay);
            if (drainBy && running && std::chrono::steady_clock::now() >= *drainBy)
                heard = framesMoved;
            std::size_t ready = 0;
            while (ready < written.size() && written[ready].second <= heard)
                ready++;
            if (ready > 0 &&
                (queue.empty() || !running || failed || stream->Room() < stream->ChunkFrames())) {
                std::vector<WAVEHDR*> done;
                for (; ready > 0; --ready) {
                    Finish(written.front().first, done);
                    written.pop_front();
                }
                returned += done.size();
                lock.unlock();
                Announce(this, MM_WOM_DONE, done);
                lock.lock();
                continue;
            }
        }
        if (!running || queue.empty() || failed) {
            if (!running || failed || written.empty()) {
                drainBy.reset();
                if (running && !failed && returned > 1) {
                    // Everything written has been heard and several buffers went back:
                    // wait a moment for the caller to queue them all again, so the thread
                    // starts again with a batch instead of waking for each buffer. The
                    // device holds nothing now, so the wait costs nothing audible.
                    wakeAt = returned;
                    returned = 0;
                    changed.wait_for(lock, 2ms, [this] {
                        return queue.size() >= wakeAt || quit || idleWaiters;
                    });
                    wakeAt = 1;
                    continue;
                }
                returned = 0;
                changed.wait_for(lock, 1s);
                continue;
            }
            // Nothing more to write: let the device play out what it holds, and sleep until
            // the next buffer should have been heard rather than asking it over and over.
            // A device that holds frames without playing them (not started, or a sound
            // server waiting for a whole quantum) is pushed.
            const long delay = std::max(0L, stream->Delay());
            if (!drainBy) {
                drainBy = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(uint64_t(delay) * 1000 / rate + 500);
                lastDelay = -1;
            }
            if (delay > 0 && (lastDelay < 0 || delay >= lastDelay))
                stream->Flush();
            lastDelay = delay;
            const uint64_t heard = framesMoved - std::min<uint64_t>(framesMoved, delay);
            const uint64_t left = written.front().second - std::min(written.front().second, heard);
            const auto wait = std::clamp<int64_t>(int64_t(left * 1000 / rate) + 1, 2, 100);
            changed.wait_for(lock, std::chrono::milliseconds(wait));
            continue;
        }
        drainBy.reset();
        if (YieldToWaiters(lock))
            continue;
        WAVEHDR* h = queue.front();
        const DWORD usable = h->dwBufferLength - h->dwBufferLength % align;
        // A chunk, or as much as the device takes without waiting when that is more.
        const long frames = std::min<long>(std::max(stream->ChunkFrames(), stream->Room()),
                                           static_cast<long>((usable - frontBytes) / align));
        if (frames > 0) {
            const uint64_t started = generation;
            const char* at = h->lpData + frontBytes;
            busy = true;
            lock.unlock();
            if (PeakWanted(LevelSource::Output)) {
                const PcmPeak peak =
                    MeasurePeak(format, at, static_cast<std::size_t>(frames) * align);
                ReportPeak(LevelSource::Output, peak.left, peak.right);
            }
            const long put = stream->Write(at, frames);
            lock.lock();
            busy = false;
            changed.notify_all();
            if (started != generation)
                continue;
            if (put < 0) {
                failed = true;
                continue;
            }
            if (put == 0) {
                // A recovered underrun or a device not ready: wait a little, never spin.
                changed.wait_for(lock, 5ms);
                continue;
            }
            frontBytes += static_cast<DWORD>(put) * align;
            framesMoved += static_cast<uint64_t>(put);
        }
        if (frontBytes >= usable) {
            queue.pop_front();
            frontBytes = 0;
            written.emplace_back(h, framesMoved);
        }
    }
}

bool ParseWavImage(const QByteArray& image, WAVEFORMATEX* format, qsizetype* dataOffset,
                   qsizetype* dataSize) {
    auto le32 = [&](qsizetype at) {
        const auto* p = reinterpret_cast<const uint8_t*>(image.constData() + at);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    if (image.size() < 12 || !image.startsWith("RIFF") || image.mid(8, 4) != "WAVE")
        return false;
    // The chunks inside the form; a form size past the image's end is cut to the image.
    const qsizetype end = std::min<qsizetype>(image.size(), 8 + qsizetype(le32(4)));
    bool haveFormat = false, haveData = false;
    qsizetype at = 12;
    while (at + 8 <= end && !(haveFormat && haveData)) {
        const qsizetype size = le32(at + 4);
        const qsizetype body = at + 8;
        const qsizetype avail = std::min<qsizetype>(size, end - body);
        if (std::memcmp(image.constData() + at, "fmt ", 4) == 0 && !haveFormat && avail >= 16) {
            *format = WAVEFORMATEX{};
            std::memcpy(format, image.constData() + body, std::min<qsizetype>(avail, 18));
            format->cbSize = 0;
            haveFormat = true;
        } else if (std::memcmp(image.constData() + at, "data", 4) == 0 && !haveData) {
            *dataOffset = body;
            *dataSize = avail;
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    return haveFormat && haveData;
}

bool IsPlayablePcm(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM)
        return false;
    if (f.nChannels < 1 || f.nChannels > 2)
        return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
        return false;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000)
        return false;
    const DWORD align = f.nChannels * f.wBitsPerSample / 8;
    return f.nBlockAlign == align && f.nAvgBytesPerSec == f.nSamplesPerSec * align;
}

namespace {

// Lowest and highest sample of each channel. The samples go through a fixed number of
// lanes (a multiple of the channel count, so each lane holds one channel) that the
// compiler turns into vector code: this runs over every frame played or recorded.
template <typename T, int Lanes>
void SampleRange(const uint8_t* p, std::size_t samples, int channels, T lo[2], T hi[2]) {
    T laneLo[Lanes], laneHi[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        laneLo[k] = std::numeric_limits<T>::max();
        laneHi[k] = std::numeric_limits<T>::min();
    }
    std::size_t i = 0;
    for (; i + Lanes <= samples; i += Lanes) {
        T v[Lanes];
        std::memcpy(v, p + i * sizeof(T), sizeof v);
        for (int k = 0; k < Lanes; ++k) {
            laneLo[k] = std::min(laneLo[k], v[k]);
            laneHi[k] = std::max(laneHi[k], v[k]);
        }
    }
    for (int k = 0; i < samples; ++i, ++k) {
        T v;
        std::memcpy(&v, p + i * sizeof(T), sizeof v);
        laneLo[k] = std::min(laneLo[k], v);
        laneHi[k] = std::max(laneHi[k], v);
    }
    for (int k = 0; k < Lanes; ++k) {
        lo[k % channels] = std::min(lo[k % channels], laneLo[k]);
        hi[k % channels] = std::max(hi[k % channels], laneHi[k]);
    }
}

}  // namespace

// The peak is the larger distance from silence of each channel's lowest and highest
// sample.
PcmPeak MeasurePeak(const WAVEFORMATEX& format, const void* data, std::size_t bytes) {
    PcmPeak peak;
    const int channels = format.nChannels == 2 ? 2 : 1;
    const auto* p = static_cast<const uint8_t*>(data);
    int top[2] = {0, 0};
    if (format.wBitsPerSample == 8) {
        uint8_t lo[2] = {255, 255}, hi[2] = {0, 0};
        SampleRange<uint8_t, 32>(p, bytes, channels, lo, hi);
        for (int c = 0; c < channels; ++c)
            if (lo[c] <= hi[c])
                top[c] = std::max(128 - int(lo[c]), int(hi[c]) - 128) * 256;
    } else {
        int16_t lo[2] = {INT16_MAX, INT16_MAX}, hi[2] = {INT16_MIN, INT16_MIN};
        SampleRange<int16_t, 16>(p, bytes / 2, channels, lo, hi);
        for (int c = 0; c < channels; ++c)
            if (lo[c] <= hi[c])
                top[c] = std::max({-int(lo[c]), int(hi[c]), 0});
    }
    peak.left = static_cast<uint16_t>(std::min(top[0], 32768));
    peak.right = static_cast<uint16_t>(std::min(channels == 2 ? top[1] : top[0], 32768));
    return peak;
}

MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                    const WaveNotify& notify, DWORD flags) {
    return OpenDevice(true, handle, deviceId, format, notify, flags);
}
MMRESULT waveInClose(HWAVEIN handle) {
    return CloseDevice(handle);
}
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Prepare(handle, header, size);
}
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Unprepare(handle, header, size);
}
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Queue(handle, header, size);
}
MMRESULT waveInStart(HWAVEIN handle) {
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(handle->mutex);
    if (!handle->running) {
        handle->WaitIdle(lock);
        handle->stream->Start();
        handle->running = true;
        handle->changed.notify_all();
    }
    return MMSYSERR_NOERROR;
}
MMRESULT waveInStop(HWAVEIN handle) {
    return Halt(handle, false);
}
MMRESULT waveInReset(HWAVEIN handle) {
    return Halt(handle, true);
}
MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    return Position(handle, time, size);
}

MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                     const WaveNotify& notify, DWORD flags) {
    MMRESULT r = OpenDevice(false, handle, deviceId, format, notify, flags);
    if (r == MMSYSERR_NOERROR && !(flags & WAVE_FORMAT_QUERY)) {
        std::unique_lock lock((*handle)->mutex);
        (*handle)->running = true;
    }
    return r;
}
MMRESULT waveOutClose(HWAVEOUT handle) {
    return CloseDevice(handle);
}
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Prepare(handle, header, size);
}
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Unprepare(handle, header, size);
}
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Queue(handle, header, size);
}
MMRESULT waveOutPause(HWAVEOUT handle) {
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(handle->mutex);
    if (handle->running) {
        handle->running = false;
        handle->WaitIdle(lock);
        handle->stream->Pause(true);
    }
    return MMSYSERR_NOERROR;
}
MMRESULT waveOutRestart(HWAVEOUT handle) {
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(handle->mutex);
    if (!handle->running) {
        handle->WaitIdle(lock);
        handle->stream->Pause(false);
        handle->running = true;
        handle->changed.notify_all();
    }
    return MMSYSERR_NOERROR;
}
MMRESULT waveOutReset(HWAVEOUT handle) {
    return Halt(handle, true);
}
MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    return Position(handle, time, size);
}

UINT waveInGetNumDevs() {
    return 1;
}
UINT waveOutGetNumDevs() {
    return 1;
}
