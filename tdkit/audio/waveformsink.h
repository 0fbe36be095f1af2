// What the recorder draws a recording into: one amplitude per column of a waveform view,
// and the position pointer. The waveform widget implements it; the recorder knows only
// this, so it runs without a screen.
#pragma once

class QObject;

class WaveformSink {
public:
    // Samples per column, at least 1.
    virtual unsigned long GetResolution() const = 0;
    virtual unsigned long GetPos() const = 0;
    virtual void SetPos(unsigned long pos) = 0;
    virtual void SetPixelValue(int column, int amplitude) = 0;
    // Forgets everything right of the current position.
    virtual void ErasePastCurrentLocation() = 0;
    // The object whose destruction ends the sink, so the recorder stops drawing into a
    // view that has gone.
    virtual QObject* SinkObject() = 0;

protected:
    ~WaveformSink() = default;
};
