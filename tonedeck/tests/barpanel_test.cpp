#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>

#include <memory>

#include "panelfixture.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"
#include "tdkit/audio/mixmgr.h"
#include "tonedeck/audioarith.h"

namespace {

// The panel with its timer steps in reach, so tests can drive them tick by tick.
class TestPanel : public CBarPanel {
public:
    using CBarPanel::CBarPanel;
    using CBarPanel::MuteTick;
    using CBarPanel::RepeatTick;
};

class BarPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        PanelTestApp();
        settings = PanelSettings();
    }

    void Build(bool vertical = true, QSize size = QSize(56, 600)) {
        bar = std::make_unique<FakeBar>(size);
        panel = new TestPanel(bar.get(), &settings, &mixer);
        bar->panel = panel;
        panel->Build(vertical, QRect(QPoint(0, 0), size));
    }

    void Mouse(QEvent::Type type, QPoint pos) {
        QMouseEvent e(type, QPointF(pos), QPointF(panel->mapToGlobal(pos)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(panel, &e);
    }
    void Press(QPoint pos) { Mouse(QEvent::MouseButtonPress, pos); }
    void Move(QPoint pos) { Mouse(QEvent::MouseMove, pos); }
    void Release(QPoint pos) {
        Mouse(QEvent::MouseButtonRelease, pos);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QPoint Centre(AudioElement e) const { return panel->Layout()[e].center(); }

    PROPERTIES settings;
    FakeMixer mixer;
    std::unique_ptr<FakeBar> bar;
    TestPanel* panel = nullptr;
};

}  // namespace

TEST_F(BarPanelTest, ClickingATaskButtonPostsItsCommandOnlyWhenReleasedOverIt) {
    Build();
    const QPoint recorder = panel->TaskButtonAnchor(ID_RECORDER);
    Press(recorder);
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Pressed);
    Move(recorder + QPoint(0, 30));
    Release(recorder + QPoint(0, 30));  // over the next button
    EXPECT_TRUE(bar->commands.empty());
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Up);
    EXPECT_EQ(panel->ButtonPicture(ID_SONOSCOUT), CBarPanel::Picture::Up);

    Press(recorder);
    Release(recorder + QPoint(10, 10));
    EXPECT_EQ(bar->commands, std::vector<int>{ID_RECORDER});
    // The button goes down only when the bar says its drawer is open.
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Up);
    panel->SetButtonDown(ID_RECORDER, true);
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Down);
    EXPECT_EQ(panel->TaskButtonAnchor(ID_RECORDER), QPoint(9 + 18, 132 + 4 * 38 + 18));
}

TEST_F(BarPanelTest, RebuildTakesDownFlagsFromTheBarAndShowsHeldMemos) {
    settings.EchoMemosProps.bHoldAll = 1;
    Build();
    bar->open = {ID_SONOSCOUT, ID_ECHOMEMOS_MANAGER};
    panel->Build(false, QRect(0, 0, 900, 56));
    EXPECT_TRUE(panel->IsButtonDown(ID_SONOSCOUT));
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::DownIndicator);
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Up);
    // The manager closes while playback is held: its indicator shows until released.
    panel->SetButtonDown(ID_ECHOMEMOS_MANAGER, false);
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Indicator);
    panel->SetMemoIndicator(true);
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Up);
}

TEST_F(BarPanelTest, IndicatorsBlinkButNotWhileAButtonIsHeld) {
    Build();
    panel->UpdateInboxIndicator(1);
    EXPECT_EQ(panel->ButtonPicture(ID_VOICEGRAM_BOX), CBarPanel::Picture::Indicator);
    panel->UpdateInboxIndicator(1);
    EXPECT_EQ(panel->ButtonPicture(ID_VOICEGRAM_BOX), CBarPanel::Picture::Up);
    panel->UpdateSonoscoutIndicator(1);
    Press(panel->TaskButtonAnchor(ID_RECORDER));
    panel->UpdateInboxIndicator(1);
    panel->UpdateSonoscoutIndicator(0);
    EXPECT_EQ(panel->ButtonPicture(ID_VOICEGRAM_BOX), CBarPanel::Picture::Up);
    EXPECT_EQ(panel->ButtonPicture(ID_SONOSCOUT), CBarPanel::Picture::Indicator);
    Release(panel->TaskButtonAnchor(ID_RECORDER));
    panel->UpdateSonoscoutIndicator(0);
    EXPECT_EQ(panel->ButtonPicture(ID_SONOSCOUT), CBarPanel::Picture::Up);

    // A hidden button never blinks.
    settings.bShowVoicegramBox = 0;
    panel->Build(true, QRect(0, 0, 56, 600));
    panel->UpdateInboxIndicator(1);
    EXPECT_EQ(panel->TaskButtonRect(ID_VOICEGRAM_BOX), QRect());
}

TEST_F(BarPanelTest, DragStartsFromTheEmptyStretchOnlyWhenTheBarIsIdle) {
    Build();
    bool busy = false;
    std::vector<QPoint> starts, ends;
    panel->isBarBusy = [&] { return busy; };
    panel->onStartDrag = [&](QPoint p) { starts.push_back(p); };
    panel->onDragEnd = [&](QPoint p) { ends.push_back(p); };
    const QPoint empty(20, 580);
    Press(empty);
    Release(empty + QPoint(0, -300));  // the release lands on a button: still the drag's
    EXPECT_EQ(starts.size(), 1u);
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_TRUE(bar->commands.empty());
    busy = true;
    Press(empty);
    Release(empty);
    EXPECT_EQ(starts.size(), 1u);

    QPoint menuAt;
    panel->onContextMenu = [&](QPoint p) { menuAt = p; };
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(105, 205));
    QCoreApplication::sendEvent(panel, &menu);
    EXPECT_EQ(menuAt, QPoint(105, 205));
}

TEST_F(BarPanelTest, TheFirstClickAfterADragEndedByTheBarReachesItsButton) {
    // The bar grabs the pointer for a drag, so the release of the drag goes to the bar and
    // never to the panel; the panel is rebuilt for the new edge meanwhile.
    Build();
    int starts = 0;
    panel->onStartDrag = [&](QPoint) { ++starts; };
    Press(QPoint(20, 580));
    ASSERT_EQ(starts, 1);
    panel->Build(false, QRect(0, 0, 600, 56));
    const QPoint recorder = panel->TaskButtonAnchor(ID_RECORDER);
    Press(recorder);
    EXPECT_EQ(panel->ButtonPicture(ID_RECORDER), CBarPanel::Picture::Pressed);
    Release(recorder);
    ASSERT_EQ(bar->commands.size(), 1u);
    EXPECT_EQ(bar->commands[0], ID_RECORDER);
    EXPECT_EQ(starts, 1);
}

TEST_F(BarPanelTest, ToolTipsNameEveryElementAndSwitchTogether) {
    Build();
    EXPECT_EQ(panel->ToolTipAt(Centre(AudioElement::RightMeter)), "Output Meter/Mute");
    EXPECT_EQ(panel->ToolTipAt(Centre(AudioElement::Volume)), "Volume Level/Balance Control");
    EXPECT_EQ(panel->ToolTipAt(panel->TaskButtonAnchor(ID_CREATE_ECHOMEMO)), "Create Echo Memos");
    EXPECT_EQ(panel->ToolTipAt(QPoint(20, 590)), "Quorvane Tonedeck (F1 for help)");
    panel->EnableToolTips(false);
    EXPECT_EQ(panel->ToolTipAt(panel->TaskButtonAnchor(ID_SONOSCOUT)), "");
    EXPECT_EQ(panel->ToolTipAt(QPoint(20, 590)), "");
}

TEST_F(BarPanelTest, MeterPressTogglesMuteWhereverReleasedAndAnimates) {
    mixer.meterLeft = 16000;
    mixer.meterRight = 32767;
    Build();
    EXPECT_EQ(panel->MeterImage(false), 4);
    EXPECT_EQ(panel->MeterImage(true), 9);
    Press(Centre(AudioElement::LeftMeter));
    Release(QPoint(20, 500));
    EXPECT_TRUE(mixer.muted);
    EXPECT_EQ(panel->MeterImage(false), 11);
    // Clicks are held off while the animation runs; its frames end in the muted face.
    Press(Centre(AudioElement::RightMeter));
    Release(Centre(AudioElement::RightMeter));
    EXPECT_TRUE(mixer.muted);
    panel->MuteTick();
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->MeterImage(true), 12);
    panel->MuteTick();
    panel->MuteTick();
    EXPECT_FALSE(panel->IsMuteAnimating());
    mixer.meterLeft = 30000;
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->MeterImage(false), 14);  // muted: no levels
    // Unmuting shows the levels at once.
    SendMessage(bar.get(), WM_BAR_TOGGLEMUTE);
    EXPECT_FALSE(mixer.muted);
    EXPECT_EQ(panel->MeterImage(false), 4);
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->MeterImage(false), 9);
    // Muted from elsewhere (a drawer's meter, another program): the next reading shows it.
    mixer.muted = true;
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->MeterImage(true), 14);
}

TEST_F(BarPanelTest, HoldingVolumeButtonsStepsEveryTickWithinRange) {
    mixer.left = mixer.right = 0xC000;
    Build();
    const QPoint down = Centre(AudioElement::VolumeDown);
    Press(down);
    for (int i = 0; i < 9; ++i)
        panel->RepeatTick();
    // One press and nine repeats: ten steps, both channels alike at the centre balance.
    EXPECT_EQ(mixer.left, 0xC000u - 10 * 2048);
    EXPECT_EQ(mixer.right, mixer.left);
    // Outside the button nothing is sent; coming back resumes.
    Move(QPoint(20, 580));
    panel->RepeatTick();
    EXPECT_EQ(mixer.left, 0xC000u - 10 * 2048);
    Release(QPoint(20, 580));
    panel->RepeatTick();
    EXPECT_EQ(mixer.left, 0xC000u - 10 * 2048);

    mixer.left = 0xF900;
    mixer.right = 0x7000;
    panel->RefreshAudioControls();
    const DWORD balance = panel->CurrentBalance();
    Press(Centre(AudioElement::VolumeUp));
    Release(Centre(AudioElement::VolumeUp));
    EXPECT_EQ(std::max(mixer.left, mixer.right), 0xFFFFu);
    EXPECT_NEAR(double(panel->CurrentBalance()), double(balance), 8.0);

    // Volume down from below one step stops at silence instead of wrapping.
    mixer.left = mixer.right = 1000;
    panel->RefreshAudioControls();
    Press(down);
    Release(down);
    EXPECT_EQ(mixer.left, 0u);
    EXPECT_EQ(mixer.right, 0u);
}

TEST_F(BarPanelTest, BalanceAndToneHalvesStepTheirWay) {
    mixer.left = mixer.right = 0xFFFF;
    mixer.bassLevel = 0x1000;
    Build();
    const QRect vol = panel->Layout()[AudioElement::Volume];
    Press(QPoint(vol.left() + 2, vol.center().y()));  // left half: towards the left
    panel->RepeatTick();
    Release(QPoint(vol.left() + 2, vol.center().y()));
    EXPECT_EQ(mixer.left, 0xFFFFu);
    EXPECT_NEAR(double(panel->CurrentBalance()), double(0x7FFF - 2 * 2048), 4.0);

    const QRect bass = panel->Layout()[AudioElement::Bass];
    Press(QPoint(bass.center().x(), bass.bottom() - 2));  // lower half: down
    Move(QPoint(bass.center().x(), bass.top() + 2));      // the other half: no repeat
    panel->RepeatTick();
    Release(QPoint(bass.center().x(), bass.top() + 2));
    EXPECT_EQ(mixer.bassLevel, 0x1000u - 2048);
    Press(QPoint(bass.center().x(), bass.top() + 2));
    Release(QPoint(bass.center().x(), bass.top() + 2));
    EXPECT_EQ(mixer.bassLevel, 0x1000u);
    EXPECT_EQ(panel->CurrentBass(), 0x1000u);
}

TEST_F(BarPanelTest, SrsControlsChangeOnlyThePanel) {
    settings.bShowSRS = 1;
    Build(false, QSize(900, 56));
    const int sets = mixer.volumeSets;
    Press(Centre(AudioElement::SrsRaiseCentre));
    panel->RepeatTick();
    Release(Centre(AudioElement::SrsRaiseCentre));
    EXPECT_EQ(panel->SrsCentre(), 0x7FFFu + 2 * 2048);
    Press(Centre(AudioElement::SrsModeSwitch));
    Release(Centre(AudioElement::SrsModeSwitch));
    EXPECT_EQ(panel->SrsMode(), 2);
    Press(Centre(AudioElement::SrsModeSwitch));
    Release(Centre(AudioElement::SrsModeSwitch));
    EXPECT_EQ(panel->SrsMode(), 1);
    EXPECT_EQ(mixer.volumeSets, sets);
    EXPECT_EQ(panel->TaskButtonRect(ID_SEND_VOICEGRAM).left(), 132 + 53);
}

TEST_F(BarPanelTest, FailedReadingsKeepWhatIsShownAndMissingControlsAreLeftOut) {
    mixer.bass = false;
    mixer.left = mixer.right = 0x8000;
    Build();
    EXPECT_FALSE(panel->Layout().Has(AudioElement::Bass));
    EXPECT_TRUE(panel->Layout().Has(AudioElement::Treble));
    EXPECT_EQ(panel->CurrentVolume(), 0x8000u);
    mixer.failReads = true;
    mixer.left = mixer.right = 0x1000;
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->CurrentVolume(), 0x8000u);
    mixer.failReads = false;
    panel->RefreshAudioControls();
    EXPECT_EQ(panel->CurrentVolume(), 0x1000u);
}

TEST_F(BarPanelTest, OnTheMixerManagerACardWithoutBassHasNoBassElement) {
    InstallMixerCard(MakeVirtualMixerCard(VirtualCardLayoutPlan(VirtualCardLayout::NoBass)),
                     MixerBackend::Virtual);
    bar = std::make_unique<FakeBar>(QSize(900, 56));
    CMixMgr mixMgr;
    ASSERT_EQ(mixMgr.Start(bar.get()), 1);
    ASSERT_EQ(mixMgr.SetOverallPlaybackVolumeLevel(0x4000, 0x4000), 0u);
    auto* real = new TestPanel(bar.get(), &settings, &mixMgr);
    bar->panel = real;
    real->Build(false, QRect(0, 0, 900, 56));
    EXPECT_FALSE(real->Layout().Has(AudioElement::Bass));
    EXPECT_TRUE(real->Layout().Has(AudioElement::Treble));
    EXPECT_TRUE(real->Layout().Has(AudioElement::LeftMeter));
    EXPECT_EQ(real->CurrentVolume(), 0x4000u);
    SendMessage(bar.get(), WM_BAR_VOLUMEUP, 0, LPARAM(real->CurrentVolume()));
    DWORD l = 0, r = 0;
    ASSERT_EQ(mixMgr.GetOverallPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 0x4800u);
    EXPECT_EQ(r, 0x4800u);
    SendMessage(bar.get(), WM_BAR_TOGGLEMUTE);
    EXPECT_TRUE(mixMgr.GetOverallPlaybackMute());
    delete real;
    bar->panel = nullptr;
    mixMgr.Close();
    ResetMixerDevices();
}
