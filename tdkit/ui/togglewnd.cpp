#include "tdkit/ui/togglewnd.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr QSize kHorizontalFace(48, 20);
constexpr QSize kVerticalFace(24, 48);

// A microphone or a speaker drawn small at the given centre.
void DrawGlyph(QPainter& p, const QString& name, QPointF c) {
    p.save();
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(QColor(40, 40, 40));
    if (name.contains(QLatin1String("MIC"), Qt::CaseInsensitive)) {
        p.drawRoundedRect(QRectF(c.x() - 1.5, c.y() - 4, 3, 5), 1.5, 1.5);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - 3, c.y() - 2, 6, 5), 180 * 16, 180 * 16);
        p.drawLine(QPointF(c.x(), c.y() + 3), QPointF(c.x(), c.y() + 4.5));
    } else if (name.contains(QLatin1String("VOL"), Qt::CaseInsensitive) ||
               name.contains(QLatin1String("SPEAK"), Qt::CaseInsensitive)) {
        QPainterPath cone;
        cone.moveTo(c.x() - 3, c.y() - 1.5);
        cone.lineTo(c.x() - 1, c.y() - 1.5);
        cone.lineTo(c.x() + 2, c.y() - 4);
        cone.lineTo(c.x() + 2, c.y() + 4);
        cone.lineTo(c.x() - 1, c.y() + 1.5);
        cone.lineTo(c.x() - 3, c.y() + 1.5);
        cone.closeSubpath();
        p.drawPath(cone);
    }
    p.restore();
}

// One face of the toggle: two raised halves with a minus and a plus, the pressed half
// sunken.
QPixmap DrawFace(QSize size, bool vertical, int pressedHalf, const QString& name) {
    QPixmap pm(size);
    pm.fill(QColor(192, 192, 192));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = size.width(), h = size.height();
    // Vertical faces leave a 9-pixel slot on the left for the level strip.
    const QRectF area = vertical ? QRectF(9, 0, w - 9, h) : QRectF(0, 0, w, h);
    QRectF minus, plus;
    if (vertical) {
        plus = QRectF(area.left(), 0, area.width(), h / 2.0);
        minus = QRectF(area.left(), h / 2.0, area.width(), h / 2.0);
    } else {
        minus = QRectF(0, 0, w / 2.0, h);
        plus = QRectF(w / 2.0, 0, w / 2.0, h);
    }
    auto half = [&](const QRectF& r, bool down, bool isPlus) {
        const QRectF b = r.adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(down ? QColor(160, 160, 160) : QColor(208, 208, 208));
        p.drawRect(b);
        p.setPen(QPen(down ? QColor(96, 96, 96) : Qt::white, 1));
        p.drawLine(b.topLeft(), b.topRight());
        p.drawLine(b.topLeft(), b.bottomLeft());
        p.setPen(QPen(down ? Qt::white : QColor(96, 96, 96), 1));
        p.drawLine(b.bottomLeft(), b.bottomRight());
        p.drawLine(b.topRight(), b.bottomRight());
        const QPointF c = b.center() + (down ? QPointF(1, 1) : QPointF(0, 0));
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
        if (isPlus)
            p.drawLine(c + QPointF(0, -3), c + QPointF(0, 3));
    };
    half(minus, pressedHalf == CToggleWnd::MinusPressed, false);
    half(plus, pressedHalf == CToggleWnd::PlusPressed, true);
    if (!name.isEmpty()) {
        const QPointF at = vertical ? QPointF(4.5, h / 2.0) : QPointF(w / 2.0, h / 2.0);
        if (!vertical) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(192, 192, 192));
            p.drawEllipse(at, 5.5, 5.5);
        }
        DrawGlyph(p, name, at);
    }
    return pm;
}

}  // namespace

CToggleWnd::CToggleWnd(QWidget* parent, const QString& bitmapName, DWORD style)
    : QWidget(parent), vertical_(style & kStyleVertical) {
    const QSize size = vertical_ ? kVerticalFace : kHorizontalFace;
    faces_[0] = DrawFace(size, vertical_, Normal, bitmapName);
    faces_[1] = DrawFace(size, vertical_, MinusPressed, bitmapName);
    faces_[2] = DrawFace(size, vertical_, PlusPressed, bitmapName);
    resize(size);
    setCursor(Qt::ArrowCursor);
    repeat_.setInterval(100);
    connect(&repeat_, &QTimer::timeout, this, [this] { SendNotice(); });
}

ATOM CToggleWnd::RegisterToggleWindowsClass(void*) {
    return RegisterControlClass(QStringLiteral("ToggleClass"),
                                [](QWidget* parent, const QString& text, DWORD style) {
                                    return new CToggleWnd(parent, text, style);
                                });
}

unsigned long CToggleWnd::SetRange(unsigned long range) {
    const unsigned long old = m_nRange;
    m_nRange = range;
    m_nPos = std::min(m_nPos, m_nRange);
    update();
    return old;
}

unsigned long CToggleWnd::SetPos(unsigned long pos) {
    const unsigned long old = m_nPos;
    pos = std::min(pos, m_nRange);
    if (pos != m_nPos) {
        m_nPos = pos;
        update(IndicatorRect());
    }
    return old;
}

QRect CToggleWnd::IndicatorRect() const {
    const QSize face = faces_[0].size();
    if (vertical_)
        return QRect(1, 1, 7, std::max(0, face.height() - 2));
    return QRect(0, 0, width(), std::max(0, height() - face.height()));
}

int CToggleWnd::IndicatorLength() const {
    if (m_nRange == 0)
        return 0;
    const QRect r = IndicatorRect();
    const int64_t span = vertical_ ? r.height() : r.width();
    return static_cast<int>(int64_t(m_nPos) * span / int64_t(m_nRange));
}

void CToggleWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& face = state_ == MinusPressed  ? faces_[1]
                          : state_ == PlusPressed ? faces_[2]
                                                  : faces_[0];
    const int top = vertical_ ? 0 : height() - face.height();
    p.drawPixmap(0, top, face);
    const QRect strip = IndicatorRect();
    if (strip.isEmpty())
        return;
    p.fillRect(strip, Qt::black);
    const int n = IndicatorLength();
    const QColor cyan(0, 255, 255);
    if (vertical_)
        p.fillRect(QRect(strip.left(), strip.bottom() - n + 1, strip.width(), n), cyan);
    else
        p.fillRect(QRect(strip.right() - n + 1, strip.top(), n, strip.height()), cyan);
}

CToggleWnd::State CToggleWnd::HalfAt(const QPoint& p) const {
    const bool minus = vertical_ ? p.y() >= height() / 2 : p.x() < width() / 2;
    return minus ? MinusPressed : PlusPressed;
}

void CToggleWnd::SendNotice() {
    if (state_ == Normal)
        return;
    const UINT message = state_ == MinusPressed ? WM_TOGGLE_MINUS : WM_TOGGLE_PLUS;
    SendMessage(owner_.data(), message, static_cast<WPARAM>(GetControlId(this)),
                static_cast<LPARAM>(m_nPos));
}

void CToggleWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = true;
    state_ = pressState_ = HalfAt(event->position().toPoint());
    update();
    SendNotice();
    repeat_.start();
}

void CToggleWnd::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_)
        return;
    const QPoint at = event->position().toPoint();
    const State s = rect().contains(at) ? HalfAt(at) : Normal;
    if (s != state_) {
        state_ = s;
        update();
    }
}

void CToggleWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    repeat_.stop();
    state_ = Normal;
    update();
}
