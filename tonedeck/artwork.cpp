#include "tonedeck/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

void DrawSpeaker(QPainter& p, const QRectF& r, const QColor& body, const QColor& waves) {
    const qreal w = r.width(), h = r.height();
    QPainterPath cone;
    cone.moveTo(r.left() + 0.10 * w, r.top() + 0.38 * h);
    cone.lineTo(r.left() + 0.28 * w, r.top() + 0.38 * h);
    cone.lineTo(r.left() + 0.50 * w, r.top() + 0.16 * h);
    cone.lineTo(r.left() + 0.50 * w, r.top() + 0.84 * h);
    cone.lineTo(r.left() + 0.28 * w, r.top() + 0.62 * h);
    cone.lineTo(r.left() + 0.10 * w, r.top() + 0.62 * h);
    cone.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawPath(cone);
    QPen pen(waves, qMax<qreal>(1.0, w / 16.0), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal radius = 0.12 * w * i;
        const QRectF arc(r.left() + 0.52 * w - radius, r.center().y() - radius, 2 * radius,
                         2 * radius);
        p.drawArc(arc, -45 * 16, 90 * 16);
    }
}

}  // namespace

QIcon TonedeckIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, size);
        g.setColorAt(0, QColor(58, 92, 160));
        g.setColorAt(1, QColor(28, 46, 96));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        DrawSpeaker(p, QRectF(size * 0.08, size * 0.1, size * 0.84, size * 0.8),
                    QColor(240, 240, 240), QColor(255, 200, 60));
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap SplashPicture(int w, int h) {
    QPixmap pm(w, h);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(30, 48, 100));
    g.setColorAt(1, QColor(70, 110, 180));
    p.fillRect(pm.rect(), g);
    // A row of level bars along the bottom, like a meter.
    const int bars = 24;
    for (int i = 0; i < bars; ++i) {
        const qreal x = w * 0.08 + i * (w * 0.84 / bars);
        const qreal level = 0.2 + 0.8 * std::abs(std::sin(i * 0.45));
        const QColor c = level > 0.85 ? QColor(240, 90, 60) : QColor(110, 220, 120);
        p.fillRect(QRectF(x, h * (0.95 - 0.3 * level), w * 0.84 / bars * 0.7, h * 0.3 * level), c);
    }
    DrawSpeaker(p, QRectF(w * 0.06, h * 0.08, h * 0.5, h * 0.5), QColor(245, 245, 245),
                QColor(255, 200, 60));
    return pm;
}

QPixmap WelcomeTutorialPicture() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(250, 220, 180));
    p.setPen(QPen(QColor(90, 60, 40), 2));
    p.drawEllipse(QRectF(18, 14, 28, 32));  // head
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 60), 4));
    p.drawArc(QRectF(12, 6, 40, 40), 20 * 16, 140 * 16);  // headband
    p.setBrush(QColor(40, 40, 60));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(9, 22, 10, 16), 3, 3);
    p.drawRoundedRect(QRectF(45, 22, 10, 16), 3, 3);
    return pm;
}

QPixmap WelcomeFixitPicture() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(200, 60, 50));
    p.setPen(QPen(QColor(110, 30, 25), 2));
    p.drawRoundedRect(QRectF(6, 24, 52, 32), 4, 4);  // toolbox
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(22, 16, 20, 10), 3, 3);  // handle
    p.setPen(QPen(QColor(160, 160, 170), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 12), QPointF(30, 36));  // spanner
    return pm;
}
