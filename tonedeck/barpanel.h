// CBarPanel: the one child window that covers the bar's client area and draws every
// element of the bar itself: the audio controls, the task buttons, the empty stretch the
// bar is dragged by, and the end picture. Clicks turn into messages to the bar: task
// buttons post WM_COMMAND with their command id, the audio controls send the
// WM_BAR_* audio messages of barmessages.h.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/types.h"
#include "tonedeck/barmessages.h"
#include "tonedeck/panellayout.h"

class BarMixer;
class CMixMgr;
class QTimer;
struct PROPERTIES;

// Tooltip texts: a task button's name (empty for the extra button), an audio element's.
QString TaskButtonName(int command);
QString AudioElementName(AudioElement e);
// The tooltip over the empty stretch.
QString EmptyStretchTip();

class CBarPanel : public QWidget {
    Q_OBJECT
public:
    // bar: the bar dialog, parent of the panel and receiver of its messages (a QObject
    // with MessageReceiver). settings: the bar's PROPERTIES, read at every Build. mixer:
    // may be null (no controls are shown).
    CBarPanel(QWidget* bar, PROPERTIES* settings, BarMixer* mixer);
    // The same over the bar's mixer manager (which must outlive the panel).
    CBarPanel(QWidget* bar, PROPERTIES* settings, CMixMgr* mixer);
    ~CBarPanel() override;

    // Lays the panel out for one orientation over the bar's client rectangle, takes each
    // task button's down flag from WM_BAR_ISDRAWEROPEN, resets the audio controls, reads
    // the mixer once and shows the panel. May be called again on the same panel to
    // rebuild it for another edge (a drag going on over the panel carries on).
    void Build(bool vertical, const QRect& clientRect);

    // Hooks the bar sets. Without isBarBusy the bar counts as not busy.
    std::function<bool()> isBarBusy;
    // A left press outside every element while the bar is not busy starts a drag of the
    // bar; the pointer's moves and the release follow while the button is held.
    std::function<void(QPoint globalPos)> onStartDrag;
    std::function<void(QPoint globalPos)> onDragMove;
    std::function<void(QPoint globalPos)> onDragEnd;
    // A right click anywhere on the panel (the bar opens its popup menu there).
    std::function<void(QPoint globalPos)> onContextMenu;

    // Reads the mixer back and redraws what changed: the bar calls this when the card
    // reports a change, and on its timer while WatchesMeters().
    void RefreshAudioControls();
    // Whether the panel shows level meters that move now (shown, readable, not muted, and
    // not silent for the last second of readings): they are read every 100 ms. Silent
    // meters are read once a second, and watched closely again when sound shows on them.
    bool WatchesMeters() const;
    // The bar's handling of the audio messages (kBarAudioMessages): the level arithmetic,
    // the mixer writes, the SRS values and the mute animation. Answers 0.
    LRESULT HandleAudioMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Task buttons. SetButtonDown stores the down flag and redraws the button from it.
    void SetButtonDown(int command, bool down);
    bool IsButtonDown(int command) const;
    // The button's rectangle and its centre (the drawer's anchor), in panel coordinates,
    // which are the bar's client coordinates; a null rectangle and (-1, -1) when the
    // button is not shown.
    QRect TaskButtonRect(int command) const;
    QPoint TaskButtonAnchor(int command) const;

    // The memo-indicator flag: the negation of bHoldAll. While it is clear the EchoMemos
    // Manager button shows that scheduled playback is held.
    void SetMemoIndicator(bool on);
    // Blinking indicators, called once a second by the bar with the last state reported
    // (0 while the drawer is open or the bar is slid in).
    void UpdateInboxIndicator(int state);
    void UpdateSonoscoutIndicator(int state);

    // Both tooltip groups (controls and buttons; the empty stretch) on or off together.
    void EnableToolTips(bool on);
    bool ToolTipsEnabled() const { return toolTips_; }
    // The tooltip at a point (empty when none).
    QString ToolTipAt(QPoint pt) const;

    // What is on the panel now.
    // DownIndicator: latched with its indicator (the manager open while playback is held).
    enum class Picture { Up, Pressed, Down, Indicator, DownIndicator };
    const PanelLayout& Layout() const { return layout_; }
    Picture ButtonPicture(int command) const;
    int MeterImage(bool right) const { return meterImage_[right ? 1 : 0]; }
    bool IsMuteAnimating() const { return muteFrames_ > 0; }
    bool IsTracking() const { return tracking_ != Tracking::None; }
    DWORD CurrentVolume() const { return volume_; }
    DWORD CurrentBalance() const { return balance_; }
    DWORD CurrentTreble() const { return treble_; }
    DWORD CurrentBass() const { return bass_; }
    DWORD SrsCentre() const { return srsCentre_; }
    DWORD SrsSpace() const { return srsSpace_; }
    int SrsMode() const { return srsMode_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

    // One auto-repeat step while a control is held, and one mute-animation frame; each
    // runs every 100 ms from its own timer.
    void RepeatTick();
    void MuteTick();

private:
    enum class Tracking { None, TaskButton, Meter, Control, Drag };

    void PressAudio(AudioElement e, int half);
    // Sends the message a held control repeats, with the value it carries.
    void SendControlMessage(AudioElement e, int half);
    // Pressed pictures of the held control, for the pointer where it is now.
    void TrackControl(bool send);
    void ReleaseControl();
    void StartMuteAnimation();
    void ReadVolume();
    void ReadTone(bool bass);
    void DrawButtonFromDownFlag(int index);
    void UpdateIndicator(IndicatorBlink& blink, int command, int state);
    void Redraw(AudioElement e);
    QRect ToolTipRect(QPoint pt) const;
    void DrawAudio(QPainter& p, AudioElement e, const QRect& r) const;
    bool Busy() const;

    QPointer<QWidget> bar_;
    PROPERTIES* settings_;
    std::unique_ptr<BarMixer> ownMixer_;
    BarMixer* mixer_;
    PanelLayout layout_;

    // Task buttons, by index in the layout.
    std::vector<int> down_;
    std::vector<Picture> pictures_;
    bool memoIndicator_ = true;
    IndicatorBlink inboxBlink_, sonoscoutBlink_;

    // Held element.
    Tracking tracking_ = Tracking::None;
    int trackButton_ = -1;
    AudioElement trackElement_ = AudioElement::Count;
    int trackHalf_ = 0;
    QPoint lastPos_;
    QTimer* repeatTimer_;
    QTimer* muteTimer_;

    // Audio controls: values for the next step and what is drawn.
    int drawnMute_ = -1;
    static constexpr int kQuietMeterReads = 10;
    int quietMeterReads_ = 0;  // readings in a row that found both meters at zero
    int muteFrames_ = 0;
    std::array<int, 2> storedMeter_{0, 0};
    std::array<int, 2> meterImage_{0, 0};
    DWORD volume_ = 0, balance_ = 0x7FFF, treble_ = 0, bass_ = 0;
    int drawnVolumeImage_ = -1;
    int64_t drawnBalance_ = -1, drawnTreble_ = -1, drawnBass_ = -1;
    int arrow_ = 0;
    // Pressed picture of the held control: for buttons 1, for tone controls the state
    // (1 lower, 2 upper).
    int pressedState_ = 0;
    DWORD srsCentre_ = 0x7FFF, srsSpace_ = 0x7FFF;
    int srsMode_ = 0;

    bool toolTips_ = true;
};
