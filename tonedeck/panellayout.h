// Where the bar panel puts its elements: the audio controls first, then the task buttons,
// then the empty stretch with the end picture at its far end. Also which element a point
// falls on, and the blinking of the task-button indicators. Plain code, tested without a
// display.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <vector>

struct PROPERTIES;

// The audio-control elements, in the order they are laid out and hit-tested.
enum class AudioElement {
    LeftMeter,
    RightMeter,
    Balance,
    Volume,
    VolumeDown,
    VolumeUp,
    Treble,
    Bass,
    SrsRaiseCentre,
    SrsLowerCentre,
    SrsCentreLevel,
    SrsDecreaseSpace,
    SrsIncreaseSpace,
    SrsModeSwitch,
    SrsSpaceLeft,
    SrsSpaceRight,
    Count
};
inline constexpr int kAudioElementCount = int(AudioElement::Count);

// What the mixer offers, as far as the panel cares.
struct AudioCaps {
    bool meter = false;   // output peak meter
    bool mute = false;    // master mute
    bool volume = false;  // master volume
    bool treble = false;
    bool bass = false;
};

inline constexpr int kTaskButtonSize = 37;
inline constexpr int kTaskButtonPitch = 38;
// The audio controls, meters to tone controls, span this many pixels across the panel.
inline constexpr int kAudioGroupAcross = 50;
// The end picture is shown only when the free length exceeds its own by this much.
inline constexpr int kEndPictureMargin = 25;

struct PanelLayoutInput {
    bool vertical = true;  // docked left or right: elements run top to bottom
    QSize size;            // the panel's size (the bar's client area)
    AudioCaps caps;
    bool showTreble = true;
    bool showBass = true;
    bool showSrs = false;
    bool srsImage = false;      // only the SRS mode picture, at a fixed place
    std::vector<int> commands;  // task buttons shown, in bar order
    bool showEndPicture = true;
    QSize endPicture;  // the end picture for this orientation
};

struct TaskButtonPlace {
    QRect rect;
    int command = 0;
};

struct PanelLayout {
    bool vertical = true;
    QSize size;
    // Null rectangles for elements not shown.
    std::array<QRect, kAudioElementCount> audio;
    // The lone SRS mode picture (when the SRS group is off but its picture is on).
    QRect srsImage;
    std::vector<TaskButtonPlace> buttons;
    int buttonsStart = 0;  // running position where the task buttons begin
    QRect emptyStretch;
    QRect endPicture;  // null when not shown

    const QRect& operator[](AudioElement e) const { return audio[size_t(e)]; }
    bool Has(AudioElement e) const { return !(*this)[e].isNull(); }
    // Index of the button with that command, or -1.
    int ButtonIndex(int command) const;
};

// The task-button commands the settings switch on, in bar order: Send Voicegram,
// Voicegram Box, Create EchoMemo, EchoMemos Manager, Recorder, Sonoscout, and the extra
// button when it is on.
std::vector<int> TaskCommandsFromSettings(const PROPERTIES& settings);

PanelLayout ComputePanelLayout(const PanelLayoutInput& in);

// Which element a point (panel coordinates) falls on.
struct PanelHit {
    enum Kind { None, Audio, TaskButton, EmptyStretch } kind = None;
    AudioElement element = AudioElement::Count;
    int button = -1;
    // Which half of a two-way control: for the balance strip and the volume display -1
    // left, +1 right; for treble and bass +1 upper, -1 lower.
    int half = 0;
};
PanelHit HitTestPanel(const PanelLayout& layout, QPoint pt);
// The half of a two-way control a point lies in, as PanelHit::half.
int HalfOf(AudioElement e, const QRect& r, QPoint pt);

// The blinking of a task button between its picture and its indicator.
class IndicatorBlink {
public:
    enum class Draw { Nothing, Normal, Indicator };
    // One update with the state reported (nonzero: something to show). Does nothing when
    // the button is not shown, while a task button is being clicked, or when the state is
    // 0 and the indicator is not showing. Otherwise alternates: showing or state 0 →
    // normal picture; else the indicator.
    Draw Update(int state, bool buttonShown, bool clicking);
    bool Showing() const { return showing_; }
    void Reset() { showing_ = false; }

private:
    bool showing_ = false;
};
