#include "tdkit/ui/vuwnd.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr QSize kHorizontalFace(60, 16);
constexpr QSize kVerticalFace(16, 60);
constexpr int kSegments = 9;

// A row of segments, the first lit ones green, then yellow, the top one red.
QPixmap DrawLevelFace(QSize size, bool horizontal, int lit) {
    QPixmap pm(size);
    pm.fill(QColor(24, 24, 24));
    QPainter p(&pm);
    const int length = horizontal ? size.width() : size.height();
    const int across = horizontal ? size.height() : size.width();
    const double step = double(length - 2) / kSegments;
    for (int i = 0; i < kSegments; ++i) {
        QColor on = i < 6 ? QColor(0, 220, 0) : i < 8 ? QColor(240, 220, 0) : QColor(240, 0, 0);
        const QColor c = i < lit ? on : on.darker(400);
        const int a = 1 + int(i * step) + 1, b = 1 + int((i + 1) * step) - 1;
        const QRect r =
            horizontal ? QRect(a, 3, b - a, across - 6) : QRect(3, length - b, across - 6, b - a);
        p.fillRect(r, c);
    }
    return pm;
}

// A speaker crossed out; the animation frames draw the cross growing.
QPixmap MuteFace(QSize size, double cross) {
    QPixmap pm(size);
    pm.fill(QColor(24, 24, 24));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    const double s = std::min(size.width(), size.height()) / 2.0 - 2;
    QPainterPath cone;
    cone.moveTo(c.x() - s, c.y() - s / 3);
    cone.lineTo(c.x() - s / 3, c.y() - s / 3);
    cone.lineTo(c.x() + s / 3, c.y() - s);
    cone.lineTo(c.x() + s / 3, c.y() + s);
    cone.lineTo(c.x() - s / 3, c.y() + s / 3);
    cone.lineTo(c.x() - s, c.y() + s / 3);
    cone.closeSubpath();
    p.fillPath(cone, QColor(200, 200, 200));
    p.setPen(QPen(QColor(240, 0, 0), 2));
    const double r = s * cross;
    p.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
    p.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
    return pm;
}

}  // namespace

CVUWnd::CVUWnd(QWidget* parent, DWORD style)
    : QWidget(parent), horizontal_(style & kStyleHorizontal) {
    const QSize size = horizontal_ ? kHorizontalFace : kVerticalFace;
    for (int i = 0; i < kLevelFaces; ++i)
        faces_[i] = DrawLevelFace(size, horizontal_, i);
    for (int i = 0; i < kAnimationFrames; ++i)
        faces_[kLevelFaces + i] = MuteFace(size, (i + 1) / double(kAnimationFrames + 1));
    faces_[kLevelFaces + kAnimationFrames] = MuteFace(size, 1.0);
    resize(size);
    setCursor(Qt::ArrowCursor);
    animation_.setInterval(100);
    connect(&animation_, &QTimer::timeout, this, [this] {
        if (--framesLeft_ <= 0) {
            framesLeft_ = 0;
            animation_.stop();
        }
        update();
    });
}

ATOM CVUWnd::RegisterVUMeterWindowsClass(void*) {
    return RegisterControlClass(
        QStringLiteral("VUMeterClass"),
        [](QWidget* parent, const QString&, DWORD style) { return new CVUWnd(parent, style); });
}

int CVUWnd::LevelFace(WORD pos, WORD range) {
    // A range below 15 would make the step 0; such a meter shows its steps one by one.
    const int step = std::max(1, range / kSteps);
    return std::min(pos / step, kLevelFaces - 1);
}

WORD CVUWnd::SetRange(WORD range) {
    const WORD old = m_wRange;
    m_wRange = range;
    update();
    return old;
}

void CVUWnd::SetPos(WORD pos) {
    if (mute_)
        return;
    const int before = LevelFace(m_wPos, m_wRange);
    m_wPos = pos;
    if (LevelFace(m_wPos, m_wRange) != before)
        update();
}

int CVUWnd::SetMute(int mute) {
    const int old = mute_;
    if (framesLeft_ > 0 || bool(mute) == bool(mute_))
        return old;
    mute_ = mute ? 1 : 0;
    update();
    return old;
}

int CVUWnd::SetMuteInProgress(int mute) {
    const int old = mute_;
    if (framesLeft_ > 0 || bool(mute) == bool(mute_))
        return old;
    mute_ = mute ? 1 : 0;
    if (mute_) {
        framesLeft_ = kAnimationFrames;
        animation_.start();
    }
    update();
    return old;
}

int CVUWnd::CurrentFace() const {
    if (!mute_)
        return LevelFace(m_wPos, m_wRange);
    const int muteFace = kLevelFaces + kAnimationFrames;
    return muteFace - framesLeft_;
}

void CVUWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, faces_[CurrentFace()]);
}

void CVUWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
}

void CVUWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    SendMessage(owner_.data(), WM_VUMETER_CLICKED, 0, 0);
}
