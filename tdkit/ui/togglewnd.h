// A press-and-hold level toggle: a minus half and a plus half. Pressing a half sends the
// owner WM_TOGGLE_MINUS or WM_TOGGLE_PLUS at once and every 100 ms while held; the owner
// moves the level and sets it back with SetPos, which the control shows as a cyan bar.
// The window text names the face ("IDB_BITMAP_MICSENSITIVITY" shows a microphone).
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "tdkit/ui/customcontrols.h"

class CToggleWnd : public QWidget {
public:
    // Style bit 2 (value 4) makes a vertical toggle.
    static constexpr DWORD kStyleVertical = 0x4;
    enum State { Normal = 1, PlusPressed = 2, MinusPressed = 3 };

    CToggleWnd(QWidget* parent, const QString& bitmapName, DWORD style = 0);

    // Registers "ToggleClass"; the instance argument is unused here.
    static ATOM RegisterToggleWindowsClass(void* instance = nullptr);

    void SetParentWindow(QObject* owner) { owner_ = owner; }
    unsigned long SetRange(unsigned long range);
    // Clamps to the range; returns the old position.
    unsigned long SetPos(unsigned long pos);
    unsigned long GetPos() const { return m_nPos; }
    unsigned long GetRange() const { return m_nRange; }
    bool IsVertical() const { return vertical_; }
    State GetState() const { return state_; }
    // Height (vertical) or width (horizontal) of the cyan indicator in pixels.
    int IndicatorLength() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    State HalfAt(const QPoint& p) const;
    void SendNotice();
    QRect IndicatorRect() const;

    QPixmap faces_[3];  // normal, left (minus) pressed, right (plus) pressed
    State state_ = Normal;
    State pressState_ = Normal;
    bool pressed_ = false;
    QTimer repeat_;
    unsigned long m_nPos = 0;
    unsigned long m_nRange = 0xFFFFFFFFul;
    bool vertical_ = false;
    QPointer<QObject> owner_;
};
