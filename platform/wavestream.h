// Inside the platform layer: the PCM streams under the wave devices. A device's thread
// moves frames through its stream in chunks; only that thread calls Read and Write, and
// the other calls are made with the device's lock held while no transfer runs.
#pragma once

#include <QByteArray>

#include <memory>

#include "platform/wave.h"

class PcmStream {
public:
    virtual ~PcmStream() = default;
    // The most frames one Read or Write moves; each call blocks for at most about that long.
    virtual long ChunkFrames() const = 0;
    // Frames moved (0 after a recovered overrun), or a negative error that stops transfers.
    virtual long Read(void* /*data*/, long /*frames*/) { return -1; }
    virtual long Write(const void* /*data*/, long /*frames*/) { return -1; }
    // Begins capture (input) or readies output after a drop.
    virtual void Start() {}
    // Discards whatever is pending and gets ready to start again.
    virtual void Drop() {}
    virtual void Pause(bool /*on*/) {}
    // Output: frames written that have not been heard yet.
    virtual long Delay() { return 0; }
    // Output: frames a Write takes now without waiting; 0 when unknown.
    virtual long Room() { return 0; }
    // Output: nothing more is queued for now; what was written must play out even when
    // it is less than the device waits for before it starts.
    virtual void Flush() {}
};

std::unique_ptr<PcmStream> OpenAlsaStream(bool input, const WAVEFORMATEX& format, MMRESULT* error);
std::unique_ptr<PcmStream> OpenVirtualStream(bool input, const WAVEFORMATEX& format,
                                             MMRESULT* error);

// Finds the format and the data of a RIFF WAVE image: the "fmt " chunk (up to 18 bytes,
// the extra size forced to 0) and the "data" chunk, cut to what the image holds.
bool ParseWavImage(const QByteArray& image, WAVEFORMATEX* format, qsizetype* dataOffset,
                   qsizetype* dataSize);
