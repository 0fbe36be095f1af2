// The scrolling waveform of a recording: one amplitude per pixel column, drawn in green as
// the recorder feeds it, a cyan cursor after the last column, and a red pointer at the
// play or record position. A click sends the parent WM_WAVEFORM_CLICKED with the sample
// position under the pointer (never beyond what has been recorded). CWaveformShell frames
// it with a time scale.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

#include "tdkit/audio/waveformsink.h"
#include "tdkit/ui/customcontrols.h"

class CWaveformDisplay : public QWidget, public WaveformSink {
public:
    explicit CWaveformDisplay(QWidget* parent = nullptr);

    // Registers "WaveformDisplayClass"; the instance argument is unused here.
    static ATOM RegisterWaveformDisplayWindowsClass(void* instance = nullptr);

    // Total samples across the width.
    void SetRange(unsigned long samples);
    unsigned long GetRange() const { return m_nRange; }
    // Samples per pixel column: range ÷ width, at least 1.
    unsigned long GetResolution() const override;
    void SetPos(unsigned long pos) override;
    unsigned long GetPos() const override { return m_nPos; }
    unsigned long GetHighestPos() const { return highest_; }
    // Stores amplitude ÷ 256 for the column; columns outside the width are ignored.
    void SetPixelValue(int column, int amplitude) override;
    // Forgets everything right of the current position; the highest position becomes it.
    void ErasePastCurrentLocation() override;
    QObject* SinkObject() override { return this; }

    int Columns() const;
    int DrawnColumns() const {
        Sync();
        return lastDrawn_ + 1;
    }
    int ValueAt(int column) const;
    // The pixel column of a sample position, and the position a click at a column picks.
    int ColumnOfPosition(unsigned long pos) const;
    unsigned long PositionAtColumn(int column) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect PointerRect(unsigned long pos) const;
    int Baseline() const { return height() / 2 + 3; }

    // Keeps one value per pixel column of the current width (a hidden widget gets no
    // resize events, so every use checks).
    void Sync() const;

    mutable std::vector<int> values_;  // one per pixel column
    mutable int lastDrawn_ = -1;
    unsigned long m_nPos = 0;
    unsigned long highest_ = 0;
    unsigned long m_nRange = 0;
};

class CWaveformShell : public QWidget {
public:
    explicit CWaveformShell(QWidget* parent = nullptr);

    // Registers "WaveformShellClass"; the instance argument is unused here.
    static ATOM RegisterWaveformShellWindowsClass(void* instance = nullptr);

    // The length the scale spans, in seconds.
    void SetRange(unsigned long seconds);
    unsigned long GetRange() const { return m_nRange; }

    // The labels of the scale: each a fraction of the width and its text.
    static std::vector<std::pair<double, QString>> ScaleLabels(unsigned long seconds);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    unsigned long m_nRange = 0;
};
