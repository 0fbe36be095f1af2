#include "tdkit/ui/waveformdisplay.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

constexpr int kTop = 6;  // the pointer's band above the waveform

}  // namespace

CWaveformDisplay::CWaveformDisplay(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
}

void CWaveformDisplay::Sync() const {
    const std::size_t w = static_cast<std::size_t>(std::max(0, width()));
    if (values_.size() == w)
        return;
    values_.resize(w, 0);
    lastDrawn_ = std::min(lastDrawn_, static_cast<int>(w) - 1);
}

int CWaveformDisplay::Columns() const {
    Sync();
    return static_cast<int>(values_.size());
}

ATOM CWaveformDisplay::RegisterWaveformDisplayWindowsClass(void*) {
    return RegisterControlClass(
        QStringLiteral("WaveformDisplayClass"),
        [](QWidget* parent, const QString&, DWORD) { return new CWaveformDisplay(parent); });
}

void CWaveformDisplay::SetRange(unsigned long samples) {
    m_nRange = samples;
    update();
}

unsigned long CWaveformDisplay::GetResolution() const {
    // Never 0: callers step through the recording by it.
    const unsigned long w = std::max(1, Columns());
    return std::max(1ul, m_nRange / w);
}

int CWaveformDisplay::ColumnOfPosition(unsigned long pos) const {
    if (m_nRange == 0)
        return 0;
    return static_cast<int>(uint64_t(pos) * uint64_t(Columns()) / m_nRange);
}

unsigned long CWaveformDisplay::PositionAtColumn(int column) const {
    if (column < 0)
        column = 0;
    if (column > DrawnColumns() || Columns() == 0)
        return highest_;
    const uint64_t pos = uint64_t(column) * m_nRange / uint64_t(Columns());
    return static_cast<unsigned long>(std::min<uint64_t>(pos, highest_));
}

QRect CWaveformDisplay::PointerRect(unsigned long pos) const {
    const int p = ColumnOfPosition(pos);
    return QRect(p - 2, 0, 7, kTop + 1);
}

void CWaveformDisplay::SetPos(unsigned long pos) {
    update(PointerRect(m_nPos));
    m_nPos = pos;
    highest_ = std::max(highest_, pos);
    update(PointerRect(m_nPos));
}

void CWaveformDisplay::SetPixelValue(int column, int amplitude) {
    if (column < 0 || column >= Columns())
        return;
    const int oldCursor = lastDrawn_ + 1;
    values_[static_cast<std::size_t>(column)] = amplitude / 256;
    lastDrawn_ = column;
    update(QRect(std::min(oldCursor, column), kTop, std::abs(oldCursor - column) + 2, height()));
}

void CWaveformDisplay::ErasePastCurrentLocation() {
    highest_ = m_nPos;
    const int drawn = std::min(ColumnOfPosition(m_nPos), Columns());
    std::fill(values_.begin() + drawn, values_.end(), 0);
    lastDrawn_ = drawn - 1;
    update();
}

int CWaveformDisplay::ValueAt(int column) const {
    return column >= 0 && column < Columns() ? values_[static_cast<std::size_t>(column)] : 0;
}

void CWaveformDisplay::paintEvent(QPaintEvent* event) {
    Sync();
    QPainter p(this);
    const QRect dirty = event->rect();
    p.fillRect(dirty, Qt::black);
    const int base = Baseline();
    p.setPen(QColor(0, 255, 0));
    const int first = std::max(0, dirty.left());
    const int last = std::min(lastDrawn_, dirty.right());
    for (int x = first; x <= last; ++x) {
        const int v = std::abs(values_[static_cast<std::size_t>(x)]);
        p.drawLine(x, base + v, x, std::max(kTop, base - v));
    }
    p.setPen(QColor(0, 255, 255));
    p.drawLine(lastDrawn_ + 1, kTop, lastDrawn_ + 1, height() - 1);
    const int x = ColumnOfPosition(m_nPos);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 0, 0));
    p.drawPolygon(QPolygon({QPoint(x - 2, 0), QPoint(x + 4, 0), QPoint(x + 1, kTop)}));
}

void CWaveformDisplay::mousePressEvent(QMouseEvent* event) {
    const unsigned long pos = PositionAtColumn(event->position().toPoint().x());
    SendMessage(parentWidget(), WM_WAVEFORM_CLICKED, static_cast<WPARAM>(pos), 0);
}

CWaveformShell::CWaveformShell(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::ArrowCursor);
}

ATOM CWaveformShell::RegisterWaveformShellWindowsClass(void*) {
    return RegisterControlClass(
        QStringLiteral("WaveformShellClass"),
        [](QWidget* parent, const QString&, DWORD) { return new CWaveformShell(parent); });
}

void CWaveformShell::SetRange(unsigned long seconds) {
    m_nRange = seconds;
    update();
}

std::vector<std::pair<double, QString>> CWaveformShell::ScaleLabels(unsigned long seconds) {
    std::vector<std::pair<double, QString>> labels;
    if (seconds == 0)
        return labels;
    if (seconds <= 30) {
        labels.emplace_back(0.5, QStringLiteral("0:15"));
    } else if (seconds <= 60) {
        for (int i = 1; i <= 3; ++i)
            labels.emplace_back(i / 4.0, QStringLiteral("0:%1").arg(i * 15));
    } else if (seconds <= 300) {
        for (int i = 1; i <= 4; ++i)
            labels.emplace_back(i / 5.0, QString::number(i));
    } else if (seconds <= 600) {
        for (int i = 1; i <= 4; ++i)
            labels.emplace_back(i / 5.0, QString::number(2 * i));
    } else {
        // Longer ranges: fifths, labelled in minutes.
        for (int i = 1; i <= 4; ++i)
            labels.emplace_back(i / 5.0, QString::number(uint64_t(seconds) * i / 5 / 60));
    }
    return labels;
}

void CWaveformShell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(192, 192, 192));
    // A sunken frame: dark top and left, light bottom and right.
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Qt::white);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    QFont f = font();
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(Qt::black);
    const int w = width();
    const int h = height();
    for (const auto& [at, text] : ScaleLabels(m_nRange)) {
        const int x = static_cast<int>(at * w);
        p.drawLine(x, h - 5, x, h - 2);
        p.drawText(QRect(x - 20, h - 16, 40, 11), Qt::AlignHCenter | Qt::AlignBottom, text);
    }
}
