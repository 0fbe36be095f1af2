#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <vector>

#include "platform/message.h"
#include "tdkit/ui/customcontrols.h"
#include "tdkit/ui/togglewnd.h"
#include "tdkit/ui/vuwnd.h"
#include "tdkit/ui/waveformdisplay.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_ui_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// A dialog-like parent that records the notices its controls send.
class Owner : public QWidget, public MessageReceiver {
public:
    Owner() : MessageReceiver(this) {
        for (UINT m : {WM_TOGGLE_MINUS, WM_TOGGLE_PLUS, WM_VUMETER_CLICKED, WM_WAVEFORM_CLICKED})
            OnMessage(m, [this, m](WPARAM w, LPARAM l) {
                notices.push_back({m, w, l});
                return LRESULT(0);
            });
    }
    struct Notice {
        UINT message;
        WPARAM w;
        LPARAM l;
    };
    std::vector<Notice> notices;
};

void Click(QWidget* w, QPoint at, QEvent::Type type = QEvent::MouseButtonPress) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(WaveformDisplay, ResolutionIsNeverZeroAndLongRecordingsMapWithoutOverflow) {
    App();
    Owner owner;
    CWaveformDisplay display(&owner);
    display.resize(300, 60);
    display.SetRange(0);
    EXPECT_EQ(display.GetResolution(), 1ul);
    display.SetRange(200);  // fewer samples than columns
    EXPECT_EQ(display.GetResolution(), 1ul);
    const unsigned long tenMinutes = 600ul * 44100;
    display.SetRange(tenMinutes);
    EXPECT_EQ(display.GetResolution(), tenMinutes / 300);
    // 26 million samples times 300 columns does not fit 32 bits.
    EXPECT_EQ(display.ColumnOfPosition(tenMinutes - 1), 299);
    EXPECT_EQ(display.ColumnOfPosition(tenMinutes / 2), 150);

    CWaveformDisplay hidden;  // never sized: no columns
    hidden.resize(0, 0);
    hidden.SetRange(44100);
    EXPECT_GE(hidden.GetResolution(), 1ul);
    hidden.SetPixelValue(0, 1000);  // ignored, no crash
    EXPECT_EQ(hidden.DrawnColumns(), 0);
}

TEST(WaveformDisplay, ClicksPickPositionsWithinTheRecordedPart) {
    App();
    Owner owner;
    auto* display = new CWaveformDisplay(&owner);
    display->resize(100, 40);
    display->SetRange(100000);
    for (int x = 0; x < 40; ++x)
        display->SetPixelValue(x, 256 * (x + 1));
    display->SetPos(39000);
    EXPECT_EQ(display->DrawnColumns(), 40);
    EXPECT_EQ(display->ValueAt(9), 10);
    display->SetPixelValue(100, 5000);  // beyond the width
    EXPECT_EQ(display->DrawnColumns(), 40);

    Click(display, QPoint(20, 20));
    Click(display, QPoint(80, 20));  // right of the recorded part: the end of the recording
    ASSERT_EQ(owner.notices.size(), 2u);
    EXPECT_EQ(owner.notices[0].message, WM_WAVEFORM_CLICKED);
    EXPECT_EQ(owner.notices[0].w, 20000u);
    EXPECT_EQ(owner.notices[1].w, 39000u);

    // Moving back and erasing forgets what lay beyond.
    display->SetPos(10000);
    display->ErasePastCurrentLocation();
    EXPECT_EQ(display->GetHighestPos(), 10000ul);
    EXPECT_EQ(display->DrawnColumns(), 10);
    EXPECT_EQ(display->ValueAt(15), 0);
    Click(display, QPoint(50, 5));
    EXPECT_EQ(owner.notices.back().w, 10000u);
}

TEST(WaveformShell, LabelsFollowTheRange) {
    using Labels = std::vector<std::pair<double, QString>>;
    EXPECT_EQ(CWaveformShell::ScaleLabels(30), (Labels{{0.5, "0:15"}}));
    EXPECT_EQ(CWaveformShell::ScaleLabels(60),
              (Labels{{0.25, "0:15"}, {0.5, "0:30"}, {0.75, "0:45"}}));
    EXPECT_EQ(CWaveformShell::ScaleLabels(300),
              (Labels{{0.2, "1"}, {0.4, "2"}, {0.6, "3"}, {0.8, "4"}}));
    EXPECT_EQ(CWaveformShell::ScaleLabels(600).back(), (std::pair<double, QString>{0.8, "8"}));
    EXPECT_TRUE(CWaveformShell::ScaleLabels(0).empty());
}

TEST(VUMeter, FacesFollowTheLevelAndMuteHoldsThem) {
    App();
    EXPECT_EQ(CVUWnd::LevelFace(39320, 0xFFFF), 8);
    EXPECT_EQ(CVUWnd::LevelFace(39321, 0xFFFF), 9);  // 9 steps of 4369
    EXPECT_EQ(CVUWnd::LevelFace(0xFFFF, 0xFFFF), 9);
    EXPECT_EQ(CVUWnd::LevelFace(5, 10), 5) << "a range below 15 steps one by one";

    Owner owner;
    CVUWnd meter(&owner, CVUWnd::kStyleHorizontal);
    EXPECT_TRUE(meter.IsHorizontal());
    EXPECT_GT(meter.width(), meter.height());
    meter.SetParentWindow(&owner);
    meter.SetPos(4369 * 3);
    EXPECT_EQ(meter.CurrentFace(), 3);
    EXPECT_EQ(meter.SetMute(1), 0);
    meter.SetPos(60000);
    EXPECT_EQ(meter.GetPos(), 4369 * 3) << "a muted meter ignores levels";
    EXPECT_EQ(meter.CurrentFace(), 13);
    EXPECT_EQ(meter.SetMute(0), 1);

    EXPECT_EQ(meter.SetMuteInProgress(1), 0);
    EXPECT_EQ(meter.CurrentFace(), 10) << "the animation starts at its first frame";
    EXPECT_EQ(meter.SetMute(0), 1) << "nothing changes while the animation runs";
    EXPECT_EQ(meter.GetMute(), 1);

    Click(&meter, QPoint(3, 3));
    Click(&meter, QPoint(3, 3), QEvent::MouseButtonRelease);
    ASSERT_EQ(owner.notices.size(), 1u);
    EXPECT_EQ(owner.notices[0].message, WM_BAR_TOGGLEMUTE);
}

TEST(Toggle, HalvesSendTheirNoticesAndTheIndicatorScales) {
    App();
    Owner owner;
    CToggleWnd* toggle = static_cast<CToggleWnd*>(CreateCustomControl(
        "toggleclass", &owner, "IDB_BITMAP_MICSENSITIVITY", CToggleWnd::kStyleVertical, 1203));
    ASSERT_EQ(toggle, nullptr) << "not registered yet";
    ASSERT_NE(CToggleWnd::RegisterToggleWindowsClass(), 0);
    toggle = static_cast<CToggleWnd*>(CreateCustomControl(
        "ToggleClass", &owner, "IDB_BITMAP_MICSENSITIVITY", CToggleWnd::kStyleVertical, 1203));
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->IsVertical());
    toggle->SetParentWindow(&owner);
    toggle->SetRange(65535);
    EXPECT_EQ(toggle->SetPos(70000), 0ul);
    EXPECT_EQ(toggle->GetPos(), 65535ul) << "clamped to the range";

    // Vertical: the lower half is minus.
    Click(toggle, QPoint(15, toggle->height() - 3));
    EXPECT_EQ(toggle->GetState(), CToggleWnd::MinusPressed);
    Click(toggle, QPoint(15, toggle->height() - 3), QEvent::MouseButtonRelease);
    Click(toggle, QPoint(15, 2));
    Click(toggle, QPoint(15, 2), QEvent::MouseButtonRelease);
    ASSERT_EQ(owner.notices.size(), 2u);
    EXPECT_EQ(owner.notices[0].message, WM_TOGGLE_MINUS);
    EXPECT_EQ(owner.notices[0].w, 1203u);
    EXPECT_EQ(owner.notices[0].l, 65535);
    EXPECT_EQ(owner.notices[1].message, WM_TOGGLE_PLUS);
    EXPECT_EQ(toggle->GetState(), CToggleWnd::Normal);

    // A full range near 2^32 fills the strip without overflowing.
    CToggleWnd wide(nullptr, "", 0);
    EXPECT_FALSE(wide.IsVertical());
    EXPECT_EQ(wide.IndicatorLength(), 0) << "a horizontal toggle of its face's size has no band";
    wide.resize(wide.width(), wide.height() + 6);
    wide.SetPos(0xFFFFFFF0ul);
    EXPECT_EQ(wide.IndicatorLength(), wide.width() - 1);
    wide.SetRange(0);
    EXPECT_EQ(wide.IndicatorLength(), 0);
}

}  // namespace
