#include "tonedeck/panelart.h"

#include <QApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

#include "tonedeck/barmessages.h"

namespace {

const QColor kInk(32, 36, 44);
const QColor kWell(18, 22, 26);
const QColor kLedOff(38, 48, 40);
const QColor kLedGreen(60, 220, 90);
const QColor kLedYellow(240, 210, 60);
const QColor kLedRed(240, 70, 50);
const QColor kCyan(70, 210, 230);

// The face colour is the painter's background colour; the panel sets it before drawing.
QColor Face(const QPainter& p) {
    return p.background().style() == Qt::NoBrush ? PanelFaceColour(true) : p.background().color();
}

// A two-pixel bevel: raised (light top-left, dark bottom-right) or sunken.
void Bevel(QPainter& p, const QRect& r, bool sunken, const QColor& face) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, face);
    const QColor hi = face.lighter(150), lo = face.darker(160), dark = face.darker(260);
    const QColor outerTl = sunken ? lo : hi, outerBr = sunken ? hi : dark;
    const QColor innerTl = sunken ? dark : face.lighter(120), innerBr = sunken ? face : lo;
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    p.setPen(outerTl);
    p.drawLine(l, t, rr - 1, t);
    p.drawLine(l, t, l, b - 1);
    p.setPen(outerBr);
    p.drawLine(l, b, rr, b);
    p.drawLine(rr, t, rr, b);
    p.setPen(innerTl);
    p.drawLine(l + 1, t + 1, rr - 2, t + 1);
    p.drawLine(l + 1, t + 1, l + 1, b - 2);
    p.setPen(innerBr);
    p.drawLine(l + 1, b - 1, rr - 1, b - 1);
    p.drawLine(rr - 1, t + 1, rr - 1, b - 1);
    p.restore();
}

// A dark display well with a one-pixel sunken rim.
void Well(QPainter& p, const QRect& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, kWell);
    p.setPen(Face(p).darker(170));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Face(p).lighter(140));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.restore();
}

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({a, b, c}));
}

// Pictograms are drawn on a 24 × 24 design grid centred in the button.
class Grid {
public:
    Grid(QPainter& p, const QRect& button, int offset) : p_(p) {
        p_.save();
        p_.setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(button.width(), button.height()) - 11;
        p_.translate(button.left() + (button.width() - side) / 2.0 + offset,
                     button.top() + (button.height() - side) / 2.0 + offset);
        p_.scale(side / 24.0, side / 24.0);
    }
    ~Grid() { p_.restore(); }

private:
    QPainter& p_;
};

QPen Pen(const QColor& c, qreal w) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Envelope(QPainter& p, const QRectF& r, const QColor& paper) {
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(paper);
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void Waves(QPainter& p, QPointF centre, int count, const QColor& c) {
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(c, 1.6));
    for (int i = 1; i <= count; ++i) {
        const qreal rad = 2.6 * i;
        p.drawArc(QRectF(centre.x() - rad, centre.y() - rad, 2 * rad, 2 * rad), -50 * 16, 100 * 16);
    }
}

void DrawSendVoicegram(QPainter& p) {
    Envelope(p, QRectF(1, 6, 14, 11), QColor(250, 250, 244));
    Waves(p, QPointF(14, 11.5), 3, QColor(40, 110, 220));
}

void Tray(QPainter& p, const QColor& body) {
    QPainterPath tray;
    tray.moveTo(2, 13);
    tray.lineTo(7, 13);
    tray.lineTo(8.5, 16);
    tray.lineTo(15.5, 16);
    tray.lineTo(17, 13);
    tray.lineTo(22, 13);
    tray.lineTo(22, 21);
    tray.lineTo(2, 21);
    tray.closeSubpath();
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(body);
    p.drawPath(tray);
}

void DrawVoicegramBox(QPainter& p, bool fresh) {
    // A letter going into the tray, a tone on its face.
    Envelope(p, QRectF(6, 3, 12, 9), fresh ? QColor(255, 226, 90) : QColor(250, 250, 244));
    p.setPen(Pen(fresh ? QColor(200, 60, 30) : QColor(40, 110, 220), 1.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath tone;
    tone.moveTo(8, 10.5);
    for (int i = 0; i <= 8; ++i)
        tone.lineTo(8 + i, 10.5 + ((i % 2) ? -1.2 : 0.6));
    p.drawPath(tone);
    Tray(p, fresh ? QColor(90, 150, 235) : QColor(120, 140, 170));
}

void ClockFace(QPainter& p, QPointF c, qreal r) {
    QRadialGradient g(c - QPointF(r / 3, r / 3), r * 1.6);
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(210, 214, 222));
    p.setPen(Pen(kInk, 1.3));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    p.setPen(Pen(kInk, 1.3));
    p.drawLine(c, c + QPointF(0, -r * 0.65));
    p.drawLine(c, c + QPointF(r * 0.5, 0));
}

void Plus(QPainter& p, QPointF c, qreal arm, const QColor& col) {
    p.setPen(Pen(col.darker(140), 4.2));
    p.drawLine(c - QPointF(arm, 0), c + QPointF(arm, 0));
    p.drawLine(c - QPointF(0, arm), c + QPointF(0, arm));
    p.setPen(Pen(col, 2.4));
    p.drawLine(c - QPointF(arm, 0), c + QPointF(arm, 0));
    p.drawLine(c - QPointF(0, arm), c + QPointF(0, arm));
}

void DrawCreateEchoMemo(QPainter& p) {
    // Alarm clock: two bells, legs, a face, and a plus for "new".
    p.setPen(Pen(kInk, 1.1));
    p.setBrush(QColor(220, 80, 60));
    p.drawChord(QRectF(1.5, 1, 7, 7), 20 * 16, 200 * 16);
    p.drawChord(QRectF(13.5, 1, 7, 7), -40 * 16, 200 * 16);
    p.setPen(Pen(kInk, 1.4));
    p.drawLine(QPointF(5, 19), QPointF(3, 22));
    p.drawLine(QPointF(17, 19), QPointF(19, 22));
    ClockFace(p, QPointF(11, 12), 7.5);
    Plus(p, QPointF(19.5, 19.5), 3.6, QColor(60, 190, 80));
}

void DrawMemoManager(QPainter& p, bool held) {
    // A clock above a list of memos.
    p.setPen(Pen(kInk, 1.1));
    p.setBrush(QColor(250, 250, 244));
    p.drawRect(QRectF(2, 10, 20, 13));
    for (int i = 0; i < 3; ++i) {
        const qreal y = 13.5 + i * 3.3;
        p.setPen(Pen(QColor(40, 110, 220), 1.6));
        p.drawPoint(QPointF(5, y));
        p.setPen(Pen(QColor(90, 96, 110), 1.2));
        p.drawLine(QPointF(7.5, y), QPointF(19, y));
    }
    ClockFace(p, QPointF(12, 7), 6);
    if (held) {
        // Playback held: a red pause sign.
        p.setPen(Pen(Qt::white, 1.0));
        p.setBrush(QColor(215, 40, 40));
        p.drawEllipse(QPointF(18.5, 5.5), 5.5, 5.5);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(15.9, 2.8, 1.8, 5.4));
        p.drawRect(QRectF(19.3, 2.8, 1.8, 5.4));
    }
}

void DrawRecorder(QPainter& p) {
    // A studio microphone on a stand.
    QLinearGradient g(8, 0, 16, 0);
    g.setColorAt(0, QColor(120, 126, 138));
    g.setColorAt(0.45, QColor(235, 238, 242));
    g.setColorAt(1, QColor(90, 96, 108));
    p.setPen(Pen(kInk, 1.1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(8, 1, 8, 13), 4, 4);
    p.setPen(Pen(QColor(70, 76, 88), 0.8));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(9, 5 + i * 2.5), QPointF(15, 5 + i * 2.5));
    p.setPen(Pen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 4, 14, 13), 180 * 16, 180 * 16);
    p.drawLine(QPointF(12, 17), QPointF(12, 21));
    p.drawLine(QPointF(7.5, 21.5), QPointF(16.5, 21.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 50, 50));
    p.drawEllipse(QPointF(20.5, 3.5), 2, 2);
}

void Note(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.save();
    p.translate(6, 18);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), 3.4, 2.5);
    p.restore();
    p.setPen(Pen(c, 1.5));
    p.drawLine(QPointF(9, 17.5), QPointF(9, 4));
    p.setBrush(Qt::NoBrush);
    QPainterPath flag;
    flag.moveTo(9, 4);
    flag.cubicTo(12, 6, 14, 8, 12, 12);
    p.drawPath(flag);
}

void DrawSonoscout(QPainter& p, bool searching) {
    Note(p, QColor(40, 50, 80));
    const QPointF c(14.5, 10);
    if (searching) {
        // Search running: the glass lights up and sends out rays.
        p.setPen(Pen(QColor(255, 150, 20), 1.4));
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * 3.14159265 / 4;
            p.drawLine(c + QPointF(9 * std::cos(a), 9 * std::sin(a)),
                       c + QPointF(11 * std::cos(a), 11 * std::sin(a)));
        }
    }
    QRadialGradient glass(c - QPointF(2, 2), 8);
    glass.setColorAt(0, searching ? QColor(255, 240, 150, 210) : QColor(235, 248, 255, 190));
    glass.setColorAt(1, searching ? QColor(255, 180, 40, 170) : QColor(140, 190, 235, 150));
    p.setPen(Pen(kInk, 1.5));
    p.setBrush(glass);
    p.drawEllipse(c, 6.2, 6.2);
    p.setPen(Pen(QColor(120, 70, 30), 3.2));
    p.drawLine(c + QPointF(4.6, 4.6), QPointF(22.5, 22));
}

void DrawExtra(QPainter& p) {
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -3.14159265 / 2 + i * 3.14159265 / 5;
        const qreal rad = (i % 2) ? 4.5 : 10;
        const QPointF pt(12 + rad * std::cos(a), 12.5 + rad * std::sin(a));
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(Pen(kInk, 1.1));
    p.setBrush(QColor(250, 200, 60));
    p.drawPath(star);
}

void DrawPictogram(QPainter& p, int command, bool indicator) {
    switch (command) {
        case ID_SEND_VOICEGRAM:
            DrawSendVoicegram(p);
            break;
        case ID_VOICEGRAM_BOX:
            DrawVoicegramBox(p, indicator);
            break;
        case ID_CREATE_ECHOMEMO:
            DrawCreateEchoMemo(p);
            break;
        case ID_ECHOMEMOS_MANAGER:
            DrawMemoManager(p, indicator);
            break;
        case ID_RECORDER:
            DrawRecorder(p);
            break;
        case ID_SONOSCOUT:
            DrawSonoscout(p, indicator);
            break;
        default:
            DrawExtra(p);
            break;
    }
}

void Speaker(QPainter& p, const QColor& c) {
    // Cone on a 10 × 10 grid.
    QPainterPath cone;
    cone.moveTo(0, 3.5);
    cone.lineTo(3, 3.5);
    cone.lineTo(7, 0);
    cone.lineTo(7, 10);
    cone.lineTo(3, 6.5);
    cone.lineTo(0, 6.5);
    cone.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(cone);
}

}  // namespace

QColor PanelFaceColour(bool systemFace) {
    if (systemFace && qApp)
        return QApplication::palette().color(QPalette::Button);
    return QColor(192, 192, 192);
}

void DrawTaskButton(QPainter& p, const QRect& r, int command, ButtonFace face, bool indicator) {
    const QColor base = Face(p);
    const bool sunken = face != ButtonFace::Up;
    Bevel(p, r, sunken, face == ButtonFace::Down ? base.lighter(112) : base);
    if (face == ButtonFace::Down) {
        // A latched button: a soft highlight behind the pictogram says its drawer is out.
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        QRadialGradient g(r.center() + QPointF(1, 1), r.width() / 2.0);
        g.setColorAt(0, QColor(255, 255, 255, 150));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillRect(r.adjusted(2, 2, -2, -2), g);
        p.restore();
    }
    Grid grid(p, r, sunken ? 1 : 0);
    DrawPictogram(p, command, indicator);
}

void DrawTaskIndicator(QPainter& p, const QRect& r, int command) {
    Bevel(p, r, false, Face(p));
    Grid grid(p, r, 0);
    DrawPictogram(p, command, true);
}

void DrawMeter(QPainter& p, const QRect& r, bool right, int image) {
    Well(p, r);
    const int rows = 9;
    const QRectF inner = QRectF(r).adjusted(4, 3, -4, -3);
    const qreal h = inner.height() / rows;
    const int lit = image <= 9 ? image : (image == 10 ? 9 : 0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < rows; ++i) {
        const QColor on = i >= 8 ? kLedRed : (i >= 6 ? kLedYellow : kLedGreen);
        const QRectF seg(inner.left(), inner.bottom() - (i + 1) * h + 0.5, inner.width(), h - 1.5);
        p.fillRect(seg, i < lit ? on : kLedOff);
    }
    p.restore();
    if (image >= 11) {
        // Mute sign fading in over frames 11 to 14: a speaker on the left meter, the
        // cross on the right one.
        const qreal alpha = std::min(1.0, (image - 10) / 4.0);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(alpha);
        p.fillRect(QRectF(r).adjusted(2, 2, -2, -2), QColor(18, 22, 26, 200));
        const QPointF c = r.center() + QPointF(0.5, 0.5);
        if (!right) {
            p.translate(c.x() - 3, c.y() - 7);
            p.scale(1.4, 1.4);
            Speaker(p, QColor(235, 235, 235));
        } else {
            p.setPen(Pen(kLedRed, 3));
            p.drawLine(c + QPointF(-6, -6), c + QPointF(6, 6));
            p.drawLine(c + QPointF(-6, 6), c + QPointF(6, -6));
        }
        p.restore();
    }
}

void DrawBalanceStrip(QPainter& p, const QRect& r) {
    Well(p, r);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(r.left() + 3, r.top() + 2, r.width() - 6, r.height() - 3), QColor(34, 44, 40));
    p.setPen(QColor(150, 160, 150));
    const int mid = r.left() + r.width() / 2;
    p.drawLine(mid, r.top() + 1, mid, r.top() + 1);
    p.drawLine(mid, r.bottom() - 0, mid, r.bottom() - 0);
    p.restore();
}

void DrawVolumeDisplay(QPainter& p, const QRect& r, int level, int arrow) {
    Well(p, r);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // A ramp of ten bars, lit up to the level.
    const qreal left = r.left() + 9.5, span = r.width() - 19.0;
    const qreal bottom = r.bottom() - 3;
    for (int i = 0; i < 10; ++i) {
        const qreal x = left + span * i / 10.0;
        const qreal h = 3 + (r.height() - 9) * (i + 1) / 10.0;
        QColor on = i >= 8 ? kLedYellow : kLedGreen;
        p.fillRect(QRectF(x, bottom - h, span / 10.0 - 1.0, h), i < level ? on : kLedOff);
    }
    // Balance arrows at both ends, bright while pressed.
    const qreal cy = r.top() + r.height() / 2.0;
    const QColor idle(110, 120, 130), pressed(255, 250, 200);
    Triangle(p, QPointF(r.left() + 2, cy), QPointF(r.left() + 7, cy - 4.5),
             QPointF(r.left() + 7, cy + 4.5), arrow == 1 ? pressed : idle);
    Triangle(p, QPointF(r.right() - 1, cy), QPointF(r.right() - 6, cy - 4.5),
             QPointF(r.right() - 6, cy + 4.5), arrow == 2 ? pressed : idle);
    p.restore();
}

void DrawVolumeButton(QPainter& p, const QRect& r, bool up, bool pressed) {
    Bevel(p, r, pressed, Face(p));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(r).center() + QPointF(pressed ? 1 : 0, pressed ? 1 : 0);
    // A small speaker with a minus or a plus.
    p.translate(c.x() - 8, c.y() - 5);
    Speaker(p, kInk);
    p.setPen(Pen(up ? QColor(30, 140, 50) : QColor(180, 40, 30), 2));
    p.drawLine(QPointF(10, 5), QPointF(16, 5));
    if (up)
        p.drawLine(QPointF(13, 2), QPointF(13, 8));
    p.restore();
}

void DrawToneControl(QPainter& p, const QRect& r, bool bass, int state) {
    Bevel(p, r, false, Face(p));
    const QRect upper(r.left() + 7, r.top(), r.width() - 7, r.height() / 2);
    const QRect lower(r.left() + 7, r.top() + r.height() / 2, r.width() - 7,
                      r.height() - r.height() / 2);
    if (state == 2)
        Bevel(p, upper, true, Face(p).darker(108));
    if (state == 1)
        Bevel(p, lower, true, Face(p).darker(108));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    // The slot the level bar fills.
    p.fillRect(QRect(r.left() + 2, r.top() + 3, 4, r.height() - 5), kWell);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal cx = r.left() + 16 + 0.5;
    const qreal du = state == 2 ? 1 : 0, dl = state == 1 ? 1 : 0;
    const qreal ut = upper.top() + 3, lb = lower.bottom() - 2;
    Triangle(p, QPointF(cx + du, ut + du), QPointF(cx - 4 + du, ut + 5 + du),
             QPointF(cx + 4 + du, ut + 5 + du), kInk);
    Triangle(p, QPointF(cx + dl, lb + dl), QPointF(cx - 4 + dl, lb - 5 + dl),
             QPointF(cx + 4 + dl, lb - 5 + dl), kInk);
    QFont f = p.font();
    f.setPixelSize(7);
    f.setBold(true);
    p.setFont(f);
    p.setPen(bass ? QColor(40, 90, 200) : QColor(190, 70, 30));
    p.drawText(QRectF(r.left() + 7, r.top() + r.height() / 2.0 - 4, r.width() - 8, 8),
               Qt::AlignCenter, bass ? QStringLiteral("B") : QStringLiteral("T"));
    p.restore();
}

void DrawSrsCentreButton(QPainter& p, const QRect& r, bool raise, bool pressed) {
    Bevel(p, r, pressed, Face(p));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(r).center() + QPointF(pressed ? 1 : 0.5, pressed ? 1 : 0.5);
    if (raise)
        Triangle(p, c + QPointF(0, -3), c + QPointF(-4, 2.5), c + QPointF(4, 2.5), kInk);
    else
        Triangle(p, c + QPointF(0, 3), c + QPointF(-4, -2.5), c + QPointF(4, -2.5), kInk);
    p.restore();
}

void DrawSrsSpaceButton(QPainter& p, const QRect& r, bool increase, bool pressed) {
    Bevel(p, r, pressed, Face(p));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(r).center() + QPointF(pressed ? 1 : 0.5, pressed ? 1 : 0.5);
    // Arrows apart for more space, together for less.
    Triangle(p, c + QPointF(-1 - (increase ? 5 : 0), 0), c + QPointF(-1 - (increase ? 0 : 5), -3),
             c + QPointF(-1 - (increase ? 0 : 5), 3), kInk);
    Triangle(p, c + QPointF(1 + (increase ? 5 : 0), 0), c + QPointF(1 + (increase ? 0 : 5), -3),
             c + QPointF(1 + (increase ? 0 : 5), 3), kInk);
    p.restore();
}

void DrawSrsCentreLevel(QPainter& p, const QRect& r, int image) {
    Well(p, r);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRectF inner = QRectF(r).adjusted(3, 2, -3, -2);
    const qreal h = inner.height() / 10.0;
    for (int i = 0; i < 10; ++i) {
        const QRectF seg(inner.left(), inner.bottom() - (i + 1) * h + 0.5, inner.width(), h - 1);
        p.fillRect(seg, i < image ? kCyan : kLedOff);
    }
    p.restore();
}

void DrawSrsSpaceLevel(QPainter& p, const QRect& r, int image) {
    Well(p, r);
    const bool right = image % 2;
    const int k = image / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    // Arcs spreading outwards from the group's middle, more of them lit as space grows.
    const QPointF c(right ? r.left() - 2 : r.right() + 3, r.center().y() + 0.5);
    for (int i = 0; i < 5; ++i) {
        const qreal rad = 4 + i * 3.2;
        const bool lit = k > 2 * i;
        p.setPen(Pen(lit ? kCyan : kLedOff, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - rad, c.y() - rad, 2 * rad, 2 * rad), (right ? -45 : 135) * 16,
                  90 * 16);
    }
    p.restore();
}

void DrawSrsMode(QPainter& p, const QRect& r, int mode) {
    Well(p, r);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        const QPointF c(r.left() + r.width() / 2.0, r.top() + 4.5 + i * 6);
        p.setPen(Qt::NoPen);
        p.setBrush(i == mode ? QColor(255, 170, 40) : kLedOff);
        p.drawEllipse(c, 2.2, 2.2);
    }
    p.restore();
}

QSize EndPictureSize(bool vertical) {
    return vertical ? QSize(30, 48) : QSize(48, 30);
}

void DrawEndPicture(QPainter& p, const QRect& r, bool vertical) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(70, 110, 180));
    g.setColorAt(1, QColor(28, 46, 96));
    p.setPen(QPen(QColor(20, 30, 60), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    // The speaker with its waves, pointing along the bar, and a few level bars.
    p.translate(r.center().x() + 0.5, r.center().y() + 0.5);
    if (vertical)
        p.rotate(90);
    const qreal len = std::max(r.width(), r.height());
    p.translate(-len / 2 + 5, -6);
    p.scale(1.2, 1.2);
    Speaker(p, QColor(245, 245, 245));
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(QColor(255, 200, 60), 1.3));
    for (int i = 1; i <= 3; ++i) {
        const qreal rad = 2.6 * i;
        p.drawArc(QRectF(7.5 - rad, 5 - rad, 2 * rad, 2 * rad), -45 * 16, 90 * 16);
    }
    p.restore();
}
