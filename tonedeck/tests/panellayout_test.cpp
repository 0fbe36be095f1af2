#include <gtest/gtest.h>

#include <cstdlib>

#include "tdkit/settings/properties.h"
#include "tonedeck/barmessages.h"
#include "tonedeck/panellayout.h"

namespace {

const std::vector<int> kAllSix = {ID_SEND_VOICEGRAM,    ID_VOICEGRAM_BOX, ID_CREATE_ECHOMEMO,
                                  ID_ECHOMEMOS_MANAGER, ID_RECORDER,      ID_SONOSCOUT};

PanelLayoutInput Input(bool vertical, QSize size) {
    PanelLayoutInput in;
    in.vertical = vertical;
    in.size = size;
    in.caps = {true, true, true, true, true};
    in.commands = kAllSix;
    in.endPicture = vertical ? QSize(30, 48) : QSize(48, 30);
    return in;
}

int Along(const PanelLayout& l, const QRect& r) {
    return l.vertical ? r.top() : r.left();
}
int Across(const PanelLayout& l, const QRect& r) {
    return l.vertical ? r.left() : r.top();
}

}  // namespace

TEST(PanelLayout, TaskButtonsFollowTheControlsInOrderBothWays) {
    // Left or right edge (vertical) and top or bottom edge (horizontal), with bars of
    // different thickness.
    for (const auto& [vertical, size] : {std::pair{true, QSize(56, 700)},
                                         {true, QSize(51, 700)},
                                         {false, QSize(900, 54)},
                                         {false, QSize(900, 50)}}) {
        SCOPED_TRACE(vertical);
        const PanelLayout l = ComputePanelLayout(Input(vertical, size));
        const int thickness = vertical ? size.width() : size.height();
        ASSERT_EQ(l.buttons.size(), 6u);
        EXPECT_EQ(l.buttonsStart, 52 + 52 + 28);
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(l.buttons[i].command, kAllSix[i]);
            EXPECT_EQ(l.buttons[i].rect.size(), QSize(37, 37));
            EXPECT_EQ(Along(l, l.buttons[i].rect), 132 + 38 * int(i));
            EXPECT_EQ(Across(l, l.buttons[i].rect), (thickness - 37) / 2);
        }
        const int end = 132 + 6 * 38;
        EXPECT_EQ(Along(l, l.emptyStretch), end);
        EXPECT_EQ(vertical ? l.emptyStretch.bottom() : l.emptyStretch.right(),
                  (vertical ? size.height() : size.width()) - 1);
        EXPECT_EQ(l.ButtonIndex(ID_RECORDER), 4);
        EXPECT_EQ(l.ButtonIndex(ID_EXTRA_BUTTON), -1);
    }
}

TEST(PanelLayout, AudioControlsPerOrientation) {
    const PanelLayout v = ComputePanelLayout(Input(true, QSize(56, 600)));
    EXPECT_EQ(v[AudioElement::LeftMeter], QRect(3, 0, 25, 49));
    EXPECT_EQ(v[AudioElement::RightMeter], QRect(27, 0, 25, 49));
    EXPECT_EQ(v[AudioElement::Balance], QRect(3, 52, 49, 8));
    EXPECT_EQ(v[AudioElement::Volume], QRect(3, 60, 49, 25));
    EXPECT_EQ(v[AudioElement::VolumeDown], QRect(3, 85, 25, 16));
    EXPECT_EQ(v[AudioElement::VolumeUp], QRect(27, 85, 26, 16));
    EXPECT_EQ(v[AudioElement::Treble], QRect(3, 104, 25, 25));
    EXPECT_EQ(v[AudioElement::Bass], QRect(28, 104, 25, 25));

    const PanelLayout h = ComputePanelLayout(Input(false, QSize(900, 56)));
    EXPECT_EQ(h[AudioElement::Balance], QRect(52, 3, 49, 8));
    EXPECT_EQ(h[AudioElement::VolumeUp], QRect(76, 36, 26, 16));
    EXPECT_EQ(h[AudioElement::Treble], QRect(104, 3, 25, 25));
    EXPECT_EQ(h[AudioElement::Bass], QRect(104, 27, 25, 26));
}

TEST(PanelLayout, AudioControlsAndTaskButtonsShareTheCentreLine) {
    // Centre lines in half pixels, so an odd width is measured exactly.
    auto centre2 = [](const PanelLayout& l, const QRect& r) {
        return 2 * Across(l, r) + (l.vertical ? r.width() : r.height());
    };
    for (bool vertical : {true, false}) {
        for (int thickness : {56, 50, 44}) {
            const PanelLayout l = ComputePanelLayout(
                Input(vertical, vertical ? QSize(thickness, 700) : QSize(900, thickness)));
            QRect group;
            for (int e = 0; e < kAudioElementCount; ++e)
                group |= l.audio[size_t(e)];
            const int buttons = centre2(l, l.buttons.front().rect);
            SCOPED_TRACE(testing::Message()
                         << "vertical " << vertical << " thickness " << thickness);
            if (thickness > kAudioGroupAcross) {
                EXPECT_LE(std::abs(centre2(l, group) - buttons), 1);
                EXPECT_GT(Across(l, group), 0) << "no control touches the panel's side";
            } else {
                EXPECT_EQ(Across(l, group), 0) << "a thin panel keeps the group at its side";
            }
        }
    }
}

TEST(PanelLayout, MissingControlsLeaveGapsOut) {
    // A card without bass: the treble control stands alone and keeps its row.
    PanelLayoutInput in = Input(true, QSize(56, 600));
    in.caps.bass = false;
    PanelLayout l = ComputePanelLayout(in);
    EXPECT_FALSE(l.Has(AudioElement::Bass));
    EXPECT_EQ(l[AudioElement::Treble], QRect(3, 104, 25, 25));
    EXPECT_EQ(l.buttonsStart, 132);

    // Tone controls switched off in the settings, and no meter but a mute control.
    in = Input(false, QSize(900, 56));
    in.caps.meter = false;
    in.showBass = in.showTreble = false;
    l = ComputePanelLayout(in);
    EXPECT_TRUE(l.Has(AudioElement::LeftMeter));
    EXPECT_FALSE(l.Has(AudioElement::Treble));
    EXPECT_EQ(l.buttonsStart, 104);

    // No mixer at all: the buttons start at the panel's start.
    in.caps = {};
    l = ComputePanelLayout(in);
    EXPECT_FALSE(l.Has(AudioElement::LeftMeter));
    EXPECT_FALSE(l.Has(AudioElement::Volume));
    EXPECT_EQ(l.buttonsStart, 0);
    EXPECT_EQ(l.buttons.front().rect.topLeft(), QPoint(0, (56 - 37) / 2));
}

TEST(PanelLayout, SrsGroupAndLonePicture) {
    PanelLayoutInput in = Input(true, QSize(56, 700));
    in.showSrs = true;
    PanelLayout l = ComputePanelLayout(in);
    EXPECT_EQ(l[AudioElement::SrsRaiseCentre], QRect(34, 132, 18, 15));
    EXPECT_EQ(l[AudioElement::SrsDecreaseSpace], QRect(3, 147, 18, 13));
    EXPECT_EQ(l[AudioElement::SrsSpaceRight], QRect(34, 160, 18, 21));
    EXPECT_EQ(l.buttonsStart, 132 + 53);

    in.vertical = false;
    in.size = QSize(900, 56);
    l = ComputePanelLayout(in);
    EXPECT_EQ(l[AudioElement::SrsRaiseCentre], QRect(163, 3, 18, 15));
    EXPECT_EQ(l[AudioElement::SrsIncreaseSpace], QRect(163, 19, 18, 13));
    EXPECT_EQ(l[AudioElement::SrsModeSwitch], QRect(150, 31, 13, 21));
    EXPECT_EQ(l.buttonsStart, 132 + 53);

    // Only the mode picture: at its fixed place, and never under a task button.
    in.showSrs = false;
    in.srsImage = true;
    l = ComputePanelLayout(in);
    EXPECT_EQ(l.srsImage, QRect(144, 32, 13, 21));
    EXPECT_EQ(l.buttonsStart, 159);
    in.vertical = true;
    in.size = QSize(56, 700);
    l = ComputePanelLayout(in);
    EXPECT_EQ(l.srsImage, QRect(21, 154, 13, 21));
    EXPECT_FALSE(l.buttons.front().rect.intersects(l.srsImage));
}

TEST(PanelLayout, EndPictureNeedsItsLengthPlus25) {
    // Vertical picture 48 high: shown from a free length of 73 on.
    const int used = 132 + 6 * 38;
    PanelLayoutInput in = Input(true, QSize(56, used + 73));
    PanelLayout l = ComputePanelLayout(in);
    ASSERT_FALSE(l.endPicture.isNull());
    EXPECT_EQ(l.endPicture, QRect((56 - 30) / 2, used + 73 - 3 - 48, 30, 48));
    in.size.setHeight(used + 72);
    EXPECT_TRUE(ComputePanelLayout(in).endPicture.isNull());
    in.size.setHeight(used + 500);
    in.showEndPicture = false;
    EXPECT_TRUE(ComputePanelLayout(in).endPicture.isNull());

    // Horizontal picture 48 wide: right edge 3 pixels in, centred across.
    in = Input(false, QSize(used + 73, 50));
    l = ComputePanelLayout(in);
    EXPECT_EQ(l.endPicture, QRect(used + 73 - 3 - 48, (50 - 30) / 2, 48, 30));
    in.size.setWidth(used + 72);
    EXPECT_TRUE(ComputePanelLayout(in).endPicture.isNull());

    // A panel too short for its buttons has no empty stretch at all.
    in.size.setWidth(200);
    EXPECT_TRUE(ComputePanelLayout(in).emptyStretch.isNull());
}

TEST(PanelLayout, HitTestFindsElementsAndHalves) {
    const PanelLayout l = ComputePanelLayout(Input(true, QSize(56, 600)));
    // The shared meter column belongs to the left meter.
    EXPECT_EQ(HitTestPanel(l, QPoint(27, 10)).element, AudioElement::LeftMeter);
    EXPECT_EQ(HitTestPanel(l, QPoint(28, 10)).element, AudioElement::RightMeter);
    EXPECT_EQ(HitTestPanel(l, QPoint(13, 55)).half, -1);  // balance, left half
    EXPECT_EQ(HitTestPanel(l, QPoint(33, 55)).half, 1);
    EXPECT_EQ(HitTestPanel(l, QPoint(8, 106)).half, 1);  // treble, upper half
    EXPECT_EQ(HitTestPanel(l, QPoint(8, 125)).half, -1);
    const PanelHit button = HitTestPanel(l, QPoint(20, 132 + 38 * 2 + 5));
    EXPECT_EQ(button.kind, PanelHit::TaskButton);
    EXPECT_EQ(button.button, 2);
    // Between two buttons (the pixel row after a 37-pixel button), and the gaps beside
    // the controls, are no element.
    EXPECT_EQ(HitTestPanel(l, QPoint(20, 132 + 37)).kind, PanelHit::None);
    EXPECT_EQ(HitTestPanel(l, QPoint(54, 10)).kind, PanelHit::None);
    EXPECT_EQ(HitTestPanel(l, QPoint(1, 10)).kind, PanelHit::None);
    EXPECT_EQ(HitTestPanel(l, QPoint(20, 590)).kind, PanelHit::EmptyStretch);
}

TEST(PanelLayout, ButtonsFollowTheirSwitches) {
    PROPERTIES s{};
    s.bShowRecorder = s.bShowSonoscout = s.bShowSendVoicegram = 1;
    s.bShowExtraButton = 1;
    EXPECT_EQ(TaskCommandsFromSettings(s),
              (std::vector<int>{ID_SEND_VOICEGRAM, ID_RECORDER, ID_SONOSCOUT, ID_EXTRA_BUTTON}));
}

TEST(IndicatorBlink, AlternatesAndStopsInTheNormalPicture) {
    using D = IndicatorBlink::Draw;
    IndicatorBlink b;
    EXPECT_EQ(b.Update(0, true, false), D::Nothing);  // nothing to show, nothing showing
    EXPECT_EQ(b.Update(1, true, false), D::Indicator);
    EXPECT_EQ(b.Update(1, true, true), D::Nothing);  // a button is being clicked
    EXPECT_TRUE(b.Showing());
    EXPECT_EQ(b.Update(1, true, false), D::Normal);
    EXPECT_EQ(b.Update(1, true, false), D::Indicator);
    EXPECT_EQ(b.Update(0, true, false), D::Normal);  // state cleared: back to normal
    EXPECT_EQ(b.Update(0, true, false), D::Nothing);
    EXPECT_EQ(b.Update(1, false, false), D::Nothing);  // button not shown
    EXPECT_FALSE(b.Showing());
}
