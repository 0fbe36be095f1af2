#include "tonedeck/barpanel.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

#include "tdkit/settings/properties.h"
#include "tonedeck/audioarith.h"
#include "tonedeck/barmixer.h"
#include "tonedeck/panelart.h"

namespace {

constexpr int kTickMs = 100;
// Mute animation: frames 11, 12, 13, 14 of the meters, one per tick after the first.
constexpr int kMuteFrames = 3;

bool IsRepeatingButton(AudioElement e) {
    switch (e) {
        case AudioElement::VolumeDown:
        case AudioElement::VolumeUp:
        case AudioElement::SrsRaiseCentre:
        case AudioElement::SrsLowerCentre:
        case AudioElement::SrsDecreaseSpace:
        case AudioElement::SrsIncreaseSpace:
            return true;
        default:
            return false;
    }
}

bool IsTwoWay(AudioElement e) {
    return e == AudioElement::Balance || e == AudioElement::Volume || e == AudioElement::Treble ||
           e == AudioElement::Bass;
}

}  // namespace

QString TaskButtonName(int command) {
    switch (command) {
        case ID_SEND_VOICEGRAM:
            return QStringLiteral("Send Voicegram");
        case ID_VOICEGRAM_BOX:
            return QStringLiteral("Voicegram Box");
        case ID_CREATE_ECHOMEMO:
            return QStringLiteral("Create Echo Memos");
        case ID_ECHOMEMOS_MANAGER:
            return QStringLiteral("Echo Memos Manager");
        case ID_RECORDER:
            return QStringLiteral("Audio Recorder");
        case ID_SONOSCOUT:
            return QStringLiteral("Sonoscout");
        default:
            return QString();
    }
}

QString AudioElementName(AudioElement e) {
    switch (e) {
        case AudioElement::LeftMeter:
        case AudioElement::RightMeter:
            return QStringLiteral("Output Meter/Mute");
        case AudioElement::Balance:
            return QStringLiteral("Balance Level");
        case AudioElement::Volume:
            return QStringLiteral("Volume Level/Balance Control");
        case AudioElement::VolumeDown:
            return QStringLiteral("Decrease Volume");
        case AudioElement::VolumeUp:
            return QStringLiteral("Increase Volume");
        case AudioElement::Treble:
            return QStringLiteral("Treble Control");
        case AudioElement::Bass:
            return QStringLiteral("Bass Control");
        case AudioElement::SrsRaiseCentre:
            return QStringLiteral("Raise Center");
        case AudioElement::SrsLowerCentre:
            return QStringLiteral("Lower Center");
        case AudioElement::SrsCentreLevel:
            return QStringLiteral("SRS Center Level");
        case AudioElement::SrsDecreaseSpace:
            return QStringLiteral("Decrease Space");
        case AudioElement::SrsIncreaseSpace:
            return QStringLiteral("Increase Space");
        case AudioElement::SrsModeSwitch:
            return QStringLiteral("SRS Mode Switch");
        case AudioElement::SrsSpaceLeft:
        case AudioElement::SrsSpaceRight:
            return QStringLiteral("SRS Space Level");
        default:
            return QString();
    }
}

QString EmptyStretchTip() {
    return QStringLiteral("Quorvane Tonedeck (F1 for help)");
}

CBarPanel::CBarPanel(QWidget* bar, PROPERTIES* settings, BarMixer* mixer)
    : QWidget(bar),
      bar_(bar),
      settings_(settings),
      mixer_(mixer),
      repeatTimer_(new QTimer(this)),
      muteTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("CBarPanel"));
    setProperty("controlId", IDC_BAR_PANEL);
    setAttribute(Qt::WA_OpaquePaintEvent);
    repeatTimer_->setInterval(kTickMs);
    muteTimer_->setInterval(kTickMs);
    connect(repeatTimer_, &QTimer::timeout, this, &CBarPanel::RepeatTick);
    connect(muteTimer_, &QTimer::timeout, this, &CBarPanel::MuteTick);
    if (settings_)
        toolTips_ = settings_->bToolTips != 0;
}

CBarPanel::CBarPanel(QWidget* bar, PROPERTIES* settings, CMixMgr* mixer)
    : CBarPanel(bar, settings, static_cast<BarMixer*>(nullptr)) {
    ownMixer_ = MakeBarMixer(mixer);
    mixer_ = ownMixer_.get();
}

CBarPanel::~CBarPanel() = default;

void CBarPanel::Build(bool vertical, const QRect& clientRect) {
    repeatTimer_->stop();
    muteTimer_->stop();
    if (tracking_ != Tracking::Drag) {
        tracking_ = Tracking::None;
        trackButton_ = -1;
    }

    PanelLayoutInput in;
    in.vertical = vertical;
    in.size = clientRect.size();
    if (mixer_) {
        in.caps.meter = mixer_->IsWaveOutPlaybackVUMeterValid();
        in.caps.mute = mixer_->IsOverallPlaybackMuteControlValid();
        in.caps.volume = mixer_->IsOverallPlaybackVolumeControlValid();
        in.caps.treble = mixer_->IsOverallPlaybackTrebleControlValid();
        in.caps.bass = mixer_->IsOverallPlaybackBassControlValid();
    }
    if (settings_) {
        in.showTreble = settings_->bShowTreble != 0;
        in.showBass = settings_->bShowBass != 0;
        in.showSrs = settings_->bShowSRS != 0;
        in.srsImage = settings_->bSRSImage != 0;
        in.commands = TaskCommandsFromSettings(*settings_);
        in.showEndPicture = settings_->bShowEndBitmap != 0;
        memoIndicator_ = settings_->EchoMemosProps.bHoldAll == 0;
        toolTips_ = settings_->bToolTips != 0;
    }
    in.endPicture = EndPictureSize(vertical);
    layout_ = ComputePanelLayout(in);

    const size_t n = layout_.buttons.size();
    down_.assign(n, 0);
    pictures_.assign(n, Picture::Up);
    for (size_t i = 0; i < n; ++i) {
        down_[i] = int(SendMessage(bar_, WM_BAR_ISDRAWEROPEN, WPARAM(layout_.buttons[i].command)));
        DrawButtonFromDownFlag(int(i));
    }
    inboxBlink_.Reset();
    sonoscoutBlink_.Reset();

    // Every remembered audio value is forgotten, so the first reading draws everything.
    drawnMute_ = -1;
    muteFrames_ = 0;
    storedMeter_ = {0, 0};
    meterImage_ = {0, 0};
    volume_ = 0;
    balance_ = kBalanceCentre;
    treble_ = bass_ = 0;
    drawnVolumeImage_ = -1;
    drawnBalance_ = drawnTreble_ = drawnBass_ = -1;
    arrow_ = 0;
    pressedState_ = 0;
    srsCentre_ = srsSpace_ = 0x7FFF;
    srsMode_ = 0;

    setGeometry(clientRect);
    show();
    update();
    RefreshAudioControls();
}

bool CBarPanel::Busy() const {
    return isBarBusy && isBarBusy();
}

// ----- task buttons -----

void CBarPanel::DrawButtonFromDownFlag(int index) {
    if (index < 0 || size_t(index) >= pictures_.size())
        return;
    const bool held =
        layout_.buttons[size_t(index)].command == ID_ECHOMEMOS_MANAGER && !memoIndicator_;
    Picture pic = Picture::Up;
    if (down_[size_t(index)])
        pic = held ? Picture::DownIndicator : Picture::Down;
    else if (held)
        pic = Picture::Indicator;
    pictures_[size_t(index)] = pic;
    update(layout_.buttons[size_t(index)].rect);
}

void CBarPanel::SetButtonDown(int command, bool down) {
    const int i = layout_.ButtonIndex(command);
    if (i < 0)
        return;
    down_[size_t(i)] = down ? 1 : 0;
    if (!(tracking_ == Tracking::TaskButton && trackButton_ == i))
        DrawButtonFromDownFlag(i);
}

bool CBarPanel::IsButtonDown(int command) const {
    const int i = layout_.ButtonIndex(command);
    return i >= 0 && down_[size_t(i)] != 0;
}

QRect CBarPanel::TaskButtonRect(int command) const {
    const int i = layout_.ButtonIndex(command);
    return i < 0 ? QRect() : layout_.buttons[size_t(i)].rect;
}

QPoint CBarPanel::TaskButtonAnchor(int command) const {
    const QRect r = TaskButtonRect(command);
    if (r.isNull())
        return QPoint(-1, -1);
    return QPoint(r.left() + r.width() / 2, r.top() + r.height() / 2);
}

CBarPanel::Picture CBarPanel::ButtonPicture(int command) const {
    const int i = layout_.ButtonIndex(command);
    return i < 0 ? Picture::Up : pictures_[size_t(i)];
}

void CBarPanel::SetMemoIndicator(bool on) {
    memoIndicator_ = on;
    const int i = layout_.ButtonIndex(ID_ECHOMEMOS_MANAGER);
    if (i >= 0 && !(tracking_ == Tracking::TaskButton && trackButton_ == i))
        DrawButtonFromDownFlag(i);
}

void CBarPanel::UpdateIndicator(IndicatorBlink& blink, int command, int state) {
    const int i = layout_.ButtonIndex(command);
    switch (blink.Update(state, i >= 0, tracking_ == Tracking::TaskButton)) {
        case IndicatorBlink::Draw::Nothing:
            return;
        case IndicatorBlink::Draw::Normal:
            pictures_[size_t(i)] = Picture::Up;
            break;
        case IndicatorBlink::Draw::Indicator:
            pictures_[size_t(i)] = Picture::Indicator;
            break;
    }
    update(layout_.buttons[size_t(i)].rect);
}

void CBarPanel::UpdateInboxIndicator(int state) {
    UpdateIndicator(inboxBlink_, ID_VOICEGRAM_BOX, state);
}

void CBarPanel::UpdateSonoscoutIndicator(int state) {
    UpdateIndicator(sonoscoutBlink_, ID_SONOSCOUT, state);
}

// ----- tooltips -----

void CBarPanel::EnableToolTips(bool on) {
    toolTips_ = on;
    if (!on)
        QToolTip::hideText();
}

QString CBarPanel::ToolTipAt(QPoint pt) const {
    if (!toolTips_)
        return QString();
    const PanelHit hit = HitTestPanel(layout_, pt);
    switch (hit.kind) {
        case PanelHit::Audio:
            return AudioElementName(hit.element);
        case PanelHit::TaskButton:
            return TaskButtonName(layout_.buttons[size_t(hit.button)].command);
        case PanelHit::EmptyStretch:
            return EmptyStretchTip();
        case PanelHit::None:
            break;
    }
    return QString();
}

QRect CBarPanel::ToolTipRect(QPoint pt) const {
    const PanelHit hit = HitTestPanel(layout_, pt);
    switch (hit.kind) {
        case PanelHit::Audio:
            return layout_[hit.element];
        case PanelHit::TaskButton:
            return layout_.buttons[size_t(hit.button)].rect;
        case PanelHit::EmptyStretch:
            return layout_.emptyStretch;
        case PanelHit::None:
            break;
    }
    return QRect();
}

bool CBarPanel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            // The tip goes when the pointer leaves the element it names.
            QToolTip::showText(help->globalPos(), text, this, ToolTipRect(help->pos()));
        }
        return true;
    }
    return QWidget::event(e);
}

// ----- mouse -----

void CBarPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    lastPos_ = pos;
    // A drag of the bar ends with the bar's own pointer grab, so its release never comes
    // here: a new press means that drag is over, and the press is the user's next click.
    if (tracking_ == Tracking::Drag)
        tracking_ = Tracking::None;
    if (tracking_ != Tracking::None)
        return;
    // The mute animation holds the mouse until it has run.
    if (IsMuteAnimating())
        return;
    const PanelHit hit = HitTestPanel(layout_, pos);
    if (hit.kind == PanelHit::TaskButton) {
        tracking_ = Tracking::TaskButton;
        trackButton_ = hit.button;
        pictures_[size_t(hit.button)] = Picture::Pressed;
        update(layout_.buttons[size_t(hit.button)].rect);
        return;
    }
    if (hit.kind == PanelHit::Audio) {
        PressAudio(hit.element, hit.half);
        return;
    }
    if (Busy()) {
        if (bar_)
            bar_->setFocus(Qt::MouseFocusReason);
        return;
    }
    tracking_ = Tracking::Drag;
    if (onStartDrag)
        onStartDrag(event->globalPosition().toPoint());
}

void CBarPanel::mouseMoveEvent(QMouseEvent* event) {
    lastPos_ = event->position().toPoint();
    if (tracking_ == Tracking::Drag) {
        if (onDragMove)
            onDragMove(event->globalPosition().toPoint());
    } else if (tracking_ == Tracking::Control) {
        TrackControl(false);
    }
}

void CBarPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    lastPos_ = pos;
    const Tracking was = tracking_;
    tracking_ = Tracking::None;
    switch (was) {
        case Tracking::TaskButton: {
            const int i = trackButton_;
            trackButton_ = -1;
            if (i < 0 || size_t(i) >= layout_.buttons.size())
                break;
            if (layout_.buttons[size_t(i)].rect.contains(pos))
                PostMessage(bar_, WM_COMMAND, WPARAM(layout_.buttons[size_t(i)].command));
            DrawButtonFromDownFlag(i);
            break;
        }
        case Tracking::Meter:
            // Toggles wherever the button comes up.
            SendMessage(bar_, WM_BAR_TOGGLEMUTE);
            break;
        case Tracking::Control:
            ReleaseControl();
            break;
        case Tracking::Drag:
            if (onDragEnd)
                onDragEnd(event->globalPosition().toPoint());
            break;
        case Tracking::None:
            break;
    }
}

void CBarPanel::contextMenuEvent(QContextMenuEvent* event) {
    if (onContextMenu)
        onContextMenu(event->globalPos());
    event->accept();
}

// ----- audio controls: clicks -----

void CBarPanel::PressAudio(AudioElement e, int half) {
    switch (e) {
        case AudioElement::LeftMeter:
        case AudioElement::RightMeter:
            tracking_ = Tracking::Meter;
            return;
        case AudioElement::SrsModeSwitch:
            // Acts once, on the press.
            SendMessage(bar_, WM_BAR_SRSMODESWITCH, 0, LPARAM(srsMode_));
            return;
        case AudioElement::SrsCentreLevel:
        case AudioElement::SrsSpaceLeft:
        case AudioElement::SrsSpaceRight:
            return;  // display only
        default:
            break;
    }
    tracking_ = Tracking::Control;
    trackElement_ = e;
    trackHalf_ = half;
    TrackControl(true);
    repeatTimer_->start();
}

void CBarPanel::SendControlMessage(AudioElement e, int half) {
    switch (e) {
        case AudioElement::Balance:
        case AudioElement::Volume:
            SendMessage(bar_, half < 0 ? WM_BAR_BALANCELEFT : WM_BAR_BALANCERIGHT, 0,
                        LPARAM(balance_));
            break;
        case AudioElement::VolumeDown:
            SendMessage(bar_, WM_BAR_VOLUMEDOWN, 0, LPARAM(volume_));
            break;
        case AudioElement::VolumeUp:
            SendMessage(bar_, WM_BAR_VOLUMEUP, 0, LPARAM(volume_));
            break;
        case AudioElement::Treble:
            SendMessage(bar_, half > 0 ? WM_BAR_TREBLEUP : WM_BAR_TREBLEDOWN);
            break;
        case AudioElement::Bass:
            SendMessage(bar_, half > 0 ? WM_BAR_BASSUP : WM_BAR_BASSDOWN);
            break;
        case AudioElement::SrsRaiseCentre:
            SendMessage(bar_, WM_BAR_SRSCENTERUP);
            break;
        case AudioElement::SrsLowerCentre:
            SendMessage(bar_, WM_BAR_SRSCENTERDOWN);
            break;
        case AudioElement::SrsDecreaseSpace:
            SendMessage(bar_, WM_BAR_SRSSPACEDOWN);
            break;
        case AudioElement::SrsIncreaseSpace:
            SendMessage(bar_, WM_BAR_SRSSPACEUP);
            break;
        default:
            break;
    }
}

void CBarPanel::TrackControl(bool send) {
    const AudioElement e = trackElement_;
    const QRect& r = layout_[e];
    const bool inside = r.contains(lastPos_);
    // Two-way controls act while the pointer stays in the half first pressed.
    const bool active = inside && (!IsTwoWay(e) || HalfOf(e, r, lastPos_) == trackHalf_);
    int arrow = 0, pressed = 0;
    if (active) {
        if (e == AudioElement::Volume)
            arrow = trackHalf_ < 0 ? 1 : 2;
        else if (e == AudioElement::Treble || e == AudioElement::Bass)
            pressed = trackHalf_ > 0 ? 2 : 1;
        else if (IsRepeatingButton(e))
            pressed = 1;
    }
    if (arrow != arrow_ || pressed != pressedState_) {
        arrow_ = arrow;
        pressedState_ = pressed;
        update(r);
    }
    if (send && active)
        SendControlMessage(e, trackHalf_);
}

void CBarPanel::ReleaseControl() {
    repeatTimer_->stop();
    const AudioElement e = trackElement_;
    trackElement_ = AudioElement::Count;
    arrow_ = 0;
    pressedState_ = 0;
    if (e != AudioElement::Count)
        update(layout_[e]);
}

void CBarPanel::RepeatTick() {
    if (tracking_ != Tracking::Control) {
        repeatTimer_->stop();
        return;
    }
    TrackControl(true);
}

// ----- audio controls: the bar's side -----

LRESULT CBarPanel::HandleAudioMessage(UINT message, WPARAM, LPARAM lParam) {
    const DWORD value = DWORD(std::clamp<LPARAM>(lParam, 0, 0xFFFFFFFF));
    auto setVolume = [this](DWORD v, DWORD b) {
        if (!mixer_)
            return;
        const ChannelLevels c = ChannelsFromVolumeBalance(v, b);
        mixer_->SetOverallPlaybackVolumeLevel(c.left, c.right);
        // Read back at once, so a repeat that comes before the bar's next tick steps on
        // from the new level.
        ReadVolume();
    };
    switch (message) {
        case WM_BAR_TOGGLEMUTE: {
            if (!mixer_)
                break;
            const bool mute = !mixer_->GetOverallPlaybackMute();
            mixer_->SetOverallPlaybackMute(mute);
            if (mute) {
                StartMuteAnimation();
            } else {
                muteTimer_->stop();
                muteFrames_ = 0;
                meterImage_ = storedMeter_;
                drawnMute_ = 0;
                Redraw(AudioElement::LeftMeter);
                Redraw(AudioElement::RightMeter);
            }
            break;
        }
        case WM_BAR_BALANCELEFT:
            setVolume(volume_, StepLevel(value, -kLevelStep));
            break;
        case WM_BAR_BALANCERIGHT:
            setVolume(volume_, StepLevel(value, kLevelStep));
            break;
        case WM_BAR_VOLUMEDOWN:
            setVolume(StepLevel(value, -kLevelStep), balance_);
            break;
        case WM_BAR_VOLUMEUP:
            setVolume(StepLevel(value, kLevelStep), balance_);
            break;
        case WM_BAR_BASSDOWN:
        case WM_BAR_BASSUP:
            if (mixer_) {
                mixer_->SetOverallPlaybackBassLevel(
                    StepLevel(bass_, message == WM_BAR_BASSUP ? kLevelStep : -kLevelStep));
                ReadTone(true);
            }
            break;
        case WM_BAR_TREBLEDOWN:
        case WM_BAR_TREBLEUP:
            if (mixer_) {
                mixer_->SetOverallPlaybackTrebleLevel(
                    StepLevel(treble_, message == WM_BAR_TREBLEUP ? kLevelStep : -kLevelStep));
                ReadTone(false);
            }
            break;
        case WM_BAR_SRSCENTERUP:
        case WM_BAR_SRSCENTERDOWN:
            srsCentre_ =
                StepLevel(srsCentre_, message == WM_BAR_SRSCENTERUP ? kLevelStep : -kLevelStep);
            Redraw(AudioElement::SrsCentreLevel);
            break;
        case WM_BAR_SRSSPACEUP:
        case WM_BAR_SRSSPACEDOWN:
            srsSpace_ =
                StepLevel(srsSpace_, message == WM_BAR_SRSSPACEUP ? kLevelStep : -kLevelStep);
            Redraw(AudioElement::SrsSpaceLeft);
            Redraw(AudioElement::SrsSpaceRight);
            break;
        case WM_BAR_SRSMODESWITCH:
            srsMode_ = NextSrsMode(int(value));
            Redraw(AudioElement::SrsModeSwitch);
            if (!layout_.srsImage.isNull())
                update(layout_.srsImage);
            break;
        default:
            break;
    }
    return 0;
}

void CBarPanel::StartMuteAnimation() {
    meterImage_ = {11, 11};
    muteFrames_ = kMuteFrames;
    Redraw(AudioElement::LeftMeter);
    Redraw(AudioElement::RightMeter);
    muteTimer_->start();
}

void CBarPanel::MuteTick() {
    if (muteFrames_ <= 0) {
        muteTimer_->stop();
        return;
    }
    const int image = 11 + (kMuteFrames - muteFrames_) + 1;  // 12, 13, 14
    meterImage_ = {image, image};
    Redraw(AudioElement::LeftMeter);
    Redraw(AudioElement::RightMeter);
    if (--muteFrames_ == 0) {
        muteTimer_->stop();
        drawnMute_ = 1;
    }
}

void CBarPanel::ReadVolume() {
    if (!mixer_ || !layout_.Has(AudioElement::Volume))
        return;
    DWORD l = 0, r = 0;
    if (mixer_->GetOverallPlaybackVolumeLevel(l, r) != 0)
        return;
    volume_ = std::min(VolumeFromChannels({l, r}), kLevelMax);
    balance_ = BalanceFromChannels({l, r});
    const int image = LevelImage(volume_);
    if (image != drawnVolumeImage_) {
        drawnVolumeImage_ = image;
        Redraw(AudioElement::Volume);
    }
    if (int64_t(balance_) != drawnBalance_) {
        drawnBalance_ = balance_;
        Redraw(AudioElement::Balance);
    }
}

void CBarPanel::ReadTone(bool bass) {
    const AudioElement e = bass ? AudioElement::Bass : AudioElement::Treble;
    if (!mixer_ || !layout_.Has(e))
        return;
    DWORD level = 0;
    const UINT rc = bass ? mixer_->GetOverallPlaybackBassLevel(level)
                         : mixer_->GetOverallPlaybackTrebleLevel(level);
    if (rc != 0)
        return;
    DWORD& value = bass ? bass_ : treble_;
    int64_t& drawn = bass ? drawnBass_ : drawnTreble_;
    value = std::min<DWORD>(level, kLevelMax);
    const bool held = tracking_ == Tracking::Control && trackElement_ == e;
    if (int64_t(value) != drawn || held) {
        drawn = value;
        Redraw(e);
    }
}

bool CBarPanel::WatchesMeters() const {
    return mixer_ && layout_.Has(AudioElement::LeftMeter) && drawnMute_ != 1 &&
           quietMeterReads_ < kQuietMeterReads && mixer_->IsWaveOutPlaybackVUMeterValid();
}

void CBarPanel::RefreshAudioControls() {
    if (!mixer_)
        return;
    const bool meters = layout_.Has(AudioElement::LeftMeter);
    const bool mute = mixer_->GetOverallPlaybackMute();
    if (int(mute) != drawnMute_ && !IsMuteAnimating()) {
        drawnMute_ = mute;
        meterImage_ = mute ? std::array<int, 2>{14, 14} : storedMeter_;
        if (meters) {
            Redraw(AudioElement::LeftMeter);
            Redraw(AudioElement::RightMeter);
        }
    }
    if (meters && !mute) {
        int32_t l = 0, r = 0;
        // A reading that fails or shows the lowest step on both sides counts as silence.
        ++quietMeterReads_;
        if (mixer_->GetWaveOutPlaybackMeterValue(l, r) == 0) {
            const std::array<int, 2> idx{MeterIndex(l), MeterIndex(r)};
            if (idx[0] != MeterIndex(0) || idx[1] != MeterIndex(0))
                quietMeterReads_ = 0;
            for (int i = 0; i < 2; ++i) {
                storedMeter_[size_t(i)] = idx[size_t(i)];
                if (!IsMuteAnimating() && meterImage_[size_t(i)] != idx[size_t(i)]) {
                    meterImage_[size_t(i)] = idx[size_t(i)];
                    Redraw(i ? AudioElement::RightMeter : AudioElement::LeftMeter);
                }
            }
        }
    }
    quietMeterReads_ = std::min(quietMeterReads_, kQuietMeterReads);
    ReadVolume();
    ReadTone(true);
    ReadTone(false);
}

// ----- painting -----

void CBarPanel::Redraw(AudioElement e) {
    const QRect& r = layout_[e];
    if (!r.isNull())
        update(r);
}

void CBarPanel::DrawAudio(QPainter& p, AudioElement e, const QRect& r) const {
    switch (e) {
        case AudioElement::LeftMeter:
            DrawMeter(p, r, false, meterImage_[0]);
            break;
        case AudioElement::RightMeter:
            DrawMeter(p, r, true, meterImage_[1]);
            break;
        case AudioElement::Balance:
            DrawBalanceStrip(p, r);
            p.fillRect(BalanceBarRect(r, balance_), QColor(0, 255, 0));
            break;
        case AudioElement::Volume:
            DrawVolumeDisplay(p, r, LevelImage(volume_), arrow_);
            break;
        case AudioElement::VolumeDown:
        case AudioElement::VolumeUp: {
            const bool held = trackElement_ == e && pressedState_ != 0;
            DrawVolumeButton(p, r, e == AudioElement::VolumeUp, held);
            break;
        }
        case AudioElement::Treble:
        case AudioElement::Bass: {
            const bool bass = e == AudioElement::Bass;
            DrawToneControl(p, r, bass, trackElement_ == e ? pressedState_ : 0);
            p.fillRect(ToneBarRect(r, bass ? bass_ : treble_), QColor(0, 255, 255));
            break;
        }
        case AudioElement::SrsRaiseCentre:
        case AudioElement::SrsLowerCentre:
            DrawSrsCentreButton(p, r, e == AudioElement::SrsRaiseCentre,
                                trackElement_ == e && pressedState_ != 0);
            break;
        case AudioElement::SrsDecreaseSpace:
        case AudioElement::SrsIncreaseSpace:
            DrawSrsSpaceButton(p, r, e == AudioElement::SrsIncreaseSpace,
                               trackElement_ == e && pressedState_ != 0);
            break;
        case AudioElement::SrsCentreLevel:
            DrawSrsCentreLevel(p, r, LevelImage(srsCentre_));
            break;
        case AudioElement::SrsModeSwitch:
            DrawSrsMode(p, r, srsMode_);
            break;
        case AudioElement::SrsSpaceLeft:
            DrawSrsSpaceLevel(p, r, 2 * LevelImage(srsSpace_));
            break;
        case AudioElement::SrsSpaceRight:
            DrawSrsSpaceLevel(p, r, 2 * LevelImage(srsSpace_) + 1);
            break;
        case AudioElement::Count:
            break;
    }
}

void CBarPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect dirty = event->rect();
    const QColor face = PanelFaceColour(!settings_ || settings_->bSystemFaceColour);
    p.setBackground(face);
    p.fillRect(dirty, face);
    for (int i = 0; i < kAudioElementCount; ++i) {
        const QRect& r = layout_.audio[size_t(i)];
        if (!r.isNull() && r.intersects(dirty))
            DrawAudio(p, AudioElement(i), r);
    }
    if (!layout_.srsImage.isNull() && layout_.srsImage.intersects(dirty))
        DrawSrsMode(p, layout_.srsImage, srsMode_);
    for (size_t i = 0; i < layout_.buttons.size(); ++i) {
        const TaskButtonPlace& b = layout_.buttons[i];
        if (!b.rect.intersects(dirty))
            continue;
        switch (pictures_[i]) {
            case Picture::Up:
                DrawTaskButton(p, b.rect, b.command, ButtonFace::Up);
                break;
            case Picture::Pressed:
                DrawTaskButton(p, b.rect, b.command, ButtonFace::Pressed);
                break;
            case Picture::Down:
                DrawTaskButton(p, b.rect, b.command, ButtonFace::Down);
                break;
            case Picture::Indicator:
                DrawTaskIndicator(p, b.rect, b.command);
                break;
            case Picture::DownIndicator:
                DrawTaskButton(p, b.rect, b.command, ButtonFace::Down, true);
                break;
        }
    }
    if (!layout_.endPicture.isNull() && layout_.endPicture.intersects(dirty))
        DrawEndPicture(p, layout_.endPicture, layout_.vertical);
}
