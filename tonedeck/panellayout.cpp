#include "tonedeck/panellayout.h"

#include <algorithm>

#include "tdkit/settings/properties.h"
#include "tonedeck/barmessages.h"

namespace {

// A rectangle from its left, top, right and bottom edges (right and bottom excluded).
QRect Ltrb(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

// Places an element given by its offsets along and across the panel.
QRect Place(bool vertical, int along, int across, int alongSize, int acrossSize) {
    return vertical ? QRect(across, along, acrossSize, alongSize)
                    : QRect(along, across, alongSize, acrossSize);
}

}  // namespace

int PanelLayout::ButtonIndex(int command) const {
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i].command == command)
            return int(i);
    }
    return -1;
}

std::vector<int> TaskCommandsFromSettings(const PROPERTIES& s) {
    std::vector<int> commands;
    // Each flag is copied (BOOL{...}): std::pair's constructor takes references, and a
    // reference to a field of the packed record may be misaligned.
    const std::pair<BOOL, int> table[] = {
        {BOOL{s.bShowSendVoicegram}, ID_SEND_VOICEGRAM},
        {BOOL{s.bShowVoicegramBox}, ID_VOICEGRAM_BOX},
        {BOOL{s.bShowCreateEchoMemo}, ID_CREATE_ECHOMEMO},
        {BOOL{s.bShowEchoMemosManager}, ID_ECHOMEMOS_MANAGER},
        {BOOL{s.bShowRecorder}, ID_RECORDER},
        {BOOL{s.bShowSonoscout}, ID_SONOSCOUT},
        {BOOL{s.bShowExtraButton}, ID_EXTRA_BUTTON},
    };
    for (const auto& [on, command] : table) {
        if (on)
            commands.push_back(command);
    }
    return commands;
}

PanelLayout ComputePanelLayout(const PanelLayoutInput& in) {
    PanelLayout out;
    out.vertical = in.vertical;
    out.size = in.size;
    const bool v = in.vertical;
    const int thickness = v ? in.size.width() : in.size.height();
    const int length = v ? in.size.height() : in.size.width();
    auto set = [&out](AudioElement e, QRect r) { out.audio[size_t(e)] = r; };

    int p = 0;
    if (in.caps.meter || in.caps.mute) {
        // The two meters stand side by side, sharing one pixel column, in both orientations.
        set(AudioElement::LeftMeter, Ltrb(0, 0, 25, 49));
        set(AudioElement::RightMeter, Ltrb(24, 0, 49, 49));
        p = 52;
    }
    if (in.caps.volume) {
        if (v) {
            set(AudioElement::Balance, Ltrb(0, p, 49, p + 8));
            set(AudioElement::Volume, Ltrb(0, p + 8, 49, p + 33));
            set(AudioElement::VolumeDown, Ltrb(0, p + 33, 25, p + 49));
            set(AudioElement::VolumeUp, Ltrb(24, p + 33, 50, p + 49));
        } else {
            set(AudioElement::Balance, Ltrb(p, 0, p + 49, 8));
            set(AudioElement::Volume, Ltrb(p, 8, p + 49, 33));
            set(AudioElement::VolumeDown, Ltrb(p, 33, p + 25, 49));
            set(AudioElement::VolumeUp, Ltrb(p + 24, 33, p + 50, 49));
        }
        p += 52;
    }
    const bool treble = in.caps.treble && in.showTreble;
    const bool bass = in.caps.bass && in.showBass;
    if (treble)
        set(AudioElement::Treble, v ? Ltrb(0, p, 25, p + 25) : Ltrb(p, 0, p + 25, 25));
    if (bass)
        set(AudioElement::Bass, v ? Ltrb(25, p, 50, p + 25) : Ltrb(p, 24, p + 25, 50));
    // The tone row takes its room whenever either control is in it, so a lone treble
    // control never sits under the next element.
    if (treble || bass)
        p += 28;

    if (in.showSrs) {
        // The group is a 49 × 49 square; its element offsets (x, y) are the same in both
        // orientations, measured from p along the bar: a vertical panel adds p to y, a
        // horizontal one to x. Only the space buttons sit one pixel lower when horizontal.
        auto srs = [&](AudioElement e, int x, int y, int w, int h) {
            set(e, v ? QRect(x, p + y, w, h) : QRect(p + x, y, w, h));
        };
        const int spaceY = v ? 15 : 16;
        srs(AudioElement::SrsRaiseCentre, 31, 0, 18, 15);
        srs(AudioElement::SrsLowerCentre, 0, 0, 18, 15);
        srs(AudioElement::SrsCentreLevel, 18, 0, 13, 28);
        srs(AudioElement::SrsDecreaseSpace, 0, spaceY, 18, 13);
        srs(AudioElement::SrsIncreaseSpace, 31, spaceY, 18, 13);
        srs(AudioElement::SrsModeSwitch, 18, 28, 13, 21);
        srs(AudioElement::SrsSpaceLeft, 0, 28, 18, 21);
        srs(AudioElement::SrsSpaceRight, 31, 28, 18, 21);
        p += 53;
    } else if (in.srsImage) {
        out.srsImage = v ? QRect(18, 154, 13, 21) : QRect(144, 29, 13, 21);
        const int pictureEnd = v ? out.srsImage.bottom() + 1 : out.srsImage.right() + 1;
        p = v ? 162 : 159;
        // The buttons never cover the picture: on a vertical panel its fixed place reaches
        // past their fixed start, so they move below it.
        if (p < pictureEnd)
            p = pictureEnd + 4;
    }

    // The audio group is 50 pixels across; it stands on the panel's centre line, as the
    // task buttons do, rather than against one side.
    const int groupAcross = std::max(0, (thickness - kAudioGroupAcross) / 2);
    if (groupAcross > 0) {
        const QPoint shift = v ? QPoint(groupAcross, 0) : QPoint(0, groupAcross);
        for (QRect& r : out.audio)
            if (!r.isNull())
                r.translate(shift);
        if (!out.srsImage.isNull())
            out.srsImage.translate(shift);
    }

    out.buttonsStart = p;
    const int across = (thickness - kTaskButtonSize) / 2;
    for (int command : in.commands) {
        out.buttons.push_back({Place(v, p, across, kTaskButtonSize, kTaskButtonSize), command});
        p += kTaskButtonPitch;
    }

    const int remaining = length - p;
    if (remaining > 0)
        out.emptyStretch = Place(v, p, 0, remaining, thickness);
    const int pictureLength = v ? in.endPicture.height() : in.endPicture.width();
    if (in.showEndPicture && !in.endPicture.isEmpty() &&
        remaining >= pictureLength + kEndPictureMargin) {
        const QSize pic = in.endPicture;
        out.endPicture =
            v ? QRect((in.size.width() - pic.width()) / 2, in.size.height() - 3 - pic.height(),
                      pic.width(), pic.height())
              : QRect(in.size.width() - 3 - pic.width(), (in.size.height() - pic.height()) / 2,
                      pic.width(), pic.height());
    }
    return out;
}

int HalfOf(AudioElement e, const QRect& r, QPoint pt) {
    switch (e) {
        case AudioElement::Balance:
        case AudioElement::Volume:
            return pt.x() < r.left() + r.width() / 2 ? -1 : 1;
        case AudioElement::Treble:
        case AudioElement::Bass:
            return pt.y() < r.top() + r.height() / 2 ? 1 : -1;
        default:
            return 0;
    }
}

PanelHit HitTestPanel(const PanelLayout& layout, QPoint pt) {
    PanelHit hit;
    for (int i = 0; i < kAudioElementCount; ++i) {
        const QRect& r = layout.audio[size_t(i)];
        if (!r.isNull() && r.contains(pt)) {
            hit.kind = PanelHit::Audio;
            hit.element = AudioElement(i);
            hit.half = HalfOf(hit.element, r, pt);
            return hit;
        }
    }
    for (size_t i = 0; i < layout.buttons.size(); ++i) {
        if (layout.buttons[i].rect.contains(pt)) {
            hit.kind = PanelHit::TaskButton;
            hit.button = int(i);
            return hit;
        }
    }
    if (!layout.emptyStretch.isNull() && layout.emptyStretch.contains(pt))
        hit.kind = PanelHit::EmptyStretch;
    return hit;
}

IndicatorBlink::Draw IndicatorBlink::Update(int state, bool buttonShown, bool clicking) {
    if (!buttonShown || clicking || (state == 0 && !showing_))
        return Draw::Nothing;
    if (showing_ || state == 0) {
        showing_ = false;
        return Draw::Normal;
    }
    showing_ = true;
    return Draw::Indicator;
}
