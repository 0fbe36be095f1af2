// CAppBarDlg: the dialog base class of the bar. A frameless top-level window registered
// with the desktop's application-bar service, docked to a screen edge, hidden to a strip
// with auto hide, dragged to another edge by the user. The docking rules live in
// CAppBarLogic; this class gives them a window and feeds them the window's events.
//
// A derived bar dialog:
// - sets its options and thickness, then calls ApplySettings() with the docking state;
// - overrides IsBusy(), OnStateChange() (rebuild the panel for an edge),
//   PlayShowHideSound() and, where it must, ShowHidden() and the other hooks;
// - overrides OnTimer() for its own timed work and calls CAppBarDlg::OnTimer() last, and
//   NeedsQuickTicks() when that work must run every 100 ms;
// - places its children itself (no layout on the dialog: the bar changes shape with
//   its edge).
#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include "platform/message.h"
#include "tonedeck/appbarlogic.h"

class QTimer;

class CAppBarDlg : public QDialog, public MessageReceiver, public CAppBarLogic {
    Q_OBJECT

public:
    explicit CAppBarDlg(QWidget* parent = nullptr);
    ~CAppBarDlg() override;

    // Unregisters from the shell (edge -1) and stops the timer; the destructor does it
    // if nobody did before.
    void DestroyAppBar();

    // Shows the message that auto hide had to be switched off.
    void OnForcedOffAutoHide() override;

    // The text of that message.
    static QString ForcedOffAutoHideText();

    // A drag of the bar that a child window started (the bar's panel covers the whole
    // client area): begin at the pointer, follow it, and end where it is released.
    void StartUserDrag(QPoint globalPos);
    void ContinueUserDrag(QPoint globalPos, bool ctrlHeld);
    void EndUserDrag();

protected:
    // The timer. Derived classes do their own work first and then call this, which drives
    // auto hide. It ticks every 100 ms while NeedsQuickTicks() holds, else once a second,
    // so an idle bar wakes rarely; TicksPassed() is the number of whole 100 ms periods
    // since the last call.
    virtual void OnTimer();
    // Whether the timer must tick every 100 ms: while the bar is dragged, and while it
    // hides itself (it watches the pointer). Derived classes add their own reasons.
    virtual bool NeedsQuickTicks();
    int TicksPassed() const { return m_ticksPassed; }
    // Decides the timer's pace again at once, after something that needs quick ticks began.
    void UpdateTimerPace();

    // The window primitives of CAppBarLogic.
    RECT WindowRect() const override;
    void PlaceWindow(const RECT& rc) override;
    void ActivateWindow() override;
    QPoint CursorPos() const override;
    int64_t TickCount() const override;
    void WaitForNextFrame() override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FinishDrag(bool cancel);

    QTimer* m_timer = nullptr;
    QWidget* m_outline = nullptr;  // the dragged bar's outline, snapped to an edge
    QElapsedTimer m_clock;
    int64_t m_tickBase = 0;  // m_clock's time of the last whole tick counted
    int m_ticksPassed = 0;
    bool m_pressed = false;  // primary button down on the bar, drag not yet started
    QPoint m_pressPos;
    RECT m_outlineRect{};
};
