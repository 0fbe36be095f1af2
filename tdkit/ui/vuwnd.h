// A level meter with a mute face. SetPos shows a level in ten steps; clicking the meter
// sends its owner WM_VUMETER_CLICKED, and the owner mutes (SetMute or, with a short
// animation, SetMuteInProgress).
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "tdkit/ui/customcontrols.h"

class CVUWnd : public QWidget {
public:
    // Style bit 4 (value 16) makes a horizontal meter.
    static constexpr DWORD kStyleHorizontal = 0x10;
    static constexpr int kSteps = 15;
    static constexpr int kLevelFaces = 10;
    static constexpr int kAnimationFrames = 3;

    CVUWnd(QWidget* parent, DWORD style = 0);

    // Registers "VUMeterClass"; the instance argument is unused here.
    static ATOM RegisterVUMeterWindowsClass(void* instance = nullptr);

    void SetParentWindow(QObject* owner) { owner_ = owner; }
    WORD SetRange(WORD range);
    // Shows a level; ignored while muted.
    void SetPos(WORD pos);
    WORD GetPos() const { return m_wPos; }
    // Shows or clears the mute face; returns the old flag. Nothing happens while an
    // animation runs or when the flag is unchanged.
    int SetMute(int mute);
    // The same, with a three-frame animation when muting.
    int SetMuteInProgress(int mute);
    int GetMute() const { return mute_; }
    bool IsHorizontal() const { return horizontal_; }

    // The face shown now: 0-9 a level, 10-12 the animation, 13 the mute face.
    int CurrentFace() const;
    // The level face for a position: position ÷ (range ÷ 15), at most 9.
    static int LevelFace(WORD pos, WORD range);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap faces_[kLevelFaces + kAnimationFrames + 1];
    WORD m_wPos = 50000;
    WORD m_wRange = 0xFFFF;
    int mute_ = 0;
    int framesLeft_ = 0;
    QTimer animation_;
    bool pressed_ = false;
    bool horizontal_ = false;
    QPointer<QObject> owner_;
};
