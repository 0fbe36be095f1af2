// The bar dialog on the in-process shell: what happens between its task buttons, its
// drawers and its controllers, without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QRegion>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "platform/desktop/appbar.h"
#include "platform/desktop/appbar_virtual.h"
#include "platform/registry.h"
#include "tdinbox/ui/audiomessaging.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdmemo/ui/drawerechomemos.h"
#include "tdmemo/ui/echomemos.h"
#include "tdpost/ui/drawervgram.h"
#include "tdseek/ui/sonoscout.h"
#include "tonedeck/bardlg.h"
#include "tonedeck/barpanel.h"
#include "tonedeck/barsettings.h"
#include "tonedeck/tests/testapp.h"

namespace {

// Fields of the packed settings records are compared as values (+field): the test macros
// take references, and a reference to a packed field may be misaligned.

// The bar with a look at every frame of its slides.
class FrameBar : public CBarDlg {
public:
    std::function<void()> onFrame;

protected:
    void WaitForNextFrame() override {
        CBarDlg::WaitForNextFrame();
        if (onFrame)
            onFrame();
    }
};

class BarDialog : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", (dir_.path() + "/reg").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", (dir_.path() + "/run").toLocal8Bit());
        qputenv("TONEDECK_AUDIO", "virtual");
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        // This machine's store says it has no mail system, so every start has its notice.
        ASSERT_TRUE(
            RegKey::Create(RegRoot::LocalMachine, kMapiComponentKey)->SetString("Installed", "0"));
        // An empty search list, so Sonoscout opens without offering a first search.
        QString searchFile;
        ASSERT_TRUE(GetSonoscoutSearchFilePath(searchFile));
        QFile list(searchFile);
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.close();
        SetAppBarShell(&shell_);
        // Slides take no time: every look at the clock is a second later.
        CSlidingDrawer::SetSlideClock([this] { return now_ += 1000; });
        bar_ = std::make_unique<FrameBar>();
        bar_->showWelcome = [this] { ++welcomes_; };
        bar_->showNoMail = [this](bool) {
            ++notices_;
            return false;
        };
        bar_->showSaveError = [this](const QString& text) { errors_ << text; };
        ASSERT_TRUE(bar_->Initialise());
        firstStartAtInit_ = bar_->IsFirstStart();
        bar_->show();
        // The memo manager opens only once the memo list has been read.
        ASSERT_TRUE(PumpUntil([&] { return bar_->EchoMemos()->IsListReady() != 0; }));
    }
    void TearDown() override {
        bar_.reset();
        CSlidingDrawer::SetSlideClock(nullptr);
        SetAppBarShell(nullptr);
        for (const char* v : {"TONEDECK_REGISTRY_DIR", "XDG_RUNTIME_DIR", "TONEDECK_AUDIO"})
            qunsetenv(v);
    }
    void Click(int command) { SendMessage(bar_.get(), WM_COMMAND, WPARAM(command)); }
    bool Open(int command) {
        return SendMessage(bar_.get(), WM_BAR_ISDRAWEROPEN, WPARAM(command)) != 0;
    }

    QTemporaryDir dir_;
    VirtualAppBarShell shell_{RECT{0, 0, 1024, 768}};
    int64_t now_ = 0;
    std::unique_ptr<FrameBar> bar_;
    int welcomes_ = 0, notices_ = 0;
    bool firstStartAtInit_ = false;
    QStringList errors_;
};

TEST_F(BarDialog, FirstStartShowsTheNoticeThenTheWelcome) {
    EXPECT_TRUE(firstStartAtInit_);
    EXPECT_TRUE(PumpUntil([&] { return welcomes_ == 1; }));
    EXPECT_EQ(notices_, 1);
    EXPECT_FALSE(bar_->IsFirstStart());
    EXPECT_EQ(+bar_->Properties().bShowSendVoicegram, 0) << "no mail system here";
}

TEST_F(BarDialog, AnIdleBarsTimerTicksOnceASecondAndQuicklyOnlyWhileItHidesItself) {
    auto* timer = bar_->findChild<QTimer*>(QStringLiteral("appBarTimer"));
    ASSERT_NE(timer, nullptr);
    // Nothing plays: the meters, if any, fall silent and are no reason for quick ticks.
    const int idle = 1000;
    EXPECT_TRUE(PumpUntil([&] { return timer->interval() == idle; }, 3000)) << timer->interval();
    EXPECT_TRUE(timer->isActive());

    DOCKSTATE state = bar_->DockState();
    state.bAutoHide = 1;
    bar_->ApplySettings(&state);
    ASSERT_TRUE(bar_->DockState().bAutoHide);
    EXPECT_TRUE(PumpUntil([&] { return timer->interval() == 100; }, 3000)) << timer->interval();

    state = bar_->DockState();
    state.bAutoHide = 0;
    bar_->ApplySettings(&state);
    EXPECT_TRUE(PumpUntil([&] { return timer->interval() == idle; }, 3000)) << timer->interval();
}

TEST_F(BarDialog, AButtonGoesUpOnlyWhenItsDrawerHasClosed) {
    CBarPanel* panel = bar_->Panel();
    ASSERT_NE(panel, nullptr);
    Click(ID_RECORDER);
    EXPECT_TRUE(Open(ID_RECORDER));
    EXPECT_TRUE(panel->IsButtonDown(ID_RECORDER));
    Click(ID_ECHOMEMOS_MANAGER);
    EXPECT_TRUE(Open(ID_ECHOMEMOS_MANAGER)) << "opening one drawer never closes another";
    EXPECT_TRUE(Open(ID_RECORDER));
    PumpUntil([] { return false; }, 200);  // both drawers slide out

    Click(ID_RECORDER);  // asks the drawer to close: it slides back first
    EXPECT_TRUE(panel->IsButtonDown(ID_RECORDER));
    EXPECT_TRUE(PumpUntil([&] { return !Open(ID_RECORDER); }));
    EXPECT_FALSE(panel->IsButtonDown(ID_RECORDER));
    EXPECT_TRUE(Open(ID_ECHOMEMOS_MANAGER));
}

// Holding all scheduled playback shows on the manager's button at once: latched with the
// held picture while the drawer is out, the indicator once it has closed, and plain again
// when the hold is released from the settings.
TEST_F(BarDialog, TheMemoButtonShowsHoldAllAsItIsSwitched) {
    CBarPanel* panel = bar_->Panel();
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(+bar_->Properties().EchoMemosProps.bHoldAll, 0);
    Click(ID_ECHOMEMOS_MANAGER);
    ASSERT_TRUE(Open(ID_ECHOMEMOS_MANAGER));
    CDrawerEchoMemos* drawer = bar_->EchoMemos()->GetDrawer();
    ASSERT_NE(drawer, nullptr);
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Down);
    drawer->HoldAll()->setChecked(true);
    EXPECT_EQ(+bar_->Properties().EchoMemosProps.bHoldAll, 1);
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::DownIndicator);
    drawer->HoldAll()->setChecked(false);
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Down);
    drawer->HoldAll()->setChecked(true);

    Click(ID_ECHOMEMOS_MANAGER);
    ASSERT_TRUE(PumpUntil([&] { return !Open(ID_ECHOMEMOS_MANAGER); }));
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Indicator);

    // Released elsewhere (the settings): the controller tells the bar when it next looks.
    bar_->Properties().EchoMemosProps.bHoldAll = 0;
    bar_->EchoMemos()->RefreshHoldAll();
    EXPECT_EQ(panel->ButtonPicture(ID_ECHOMEMOS_MANAGER), CBarPanel::Picture::Up);
}

TEST_F(BarDialog, AWavFileDroppedOnTheBarOpensTheRecorderWithIt) {
    // Half a second in the Recorder's own format, as a file manager would drag it.
    const QString sound = dir_.path() + "/dropped.wav";
    QProcess sox;
    sox.start("sox", {"-D", "-n", "-r", "8000", "-b", "8", "-c", "1", "-e", "unsigned", sound,
                      "synth", "0.5", "sine", "440"});
    ASSERT_TRUE(sox.waitForFinished(30000) && sox.exitCode() == 0);
    CDrop* drop = bar_->DropTarget();
    ASSERT_NE(drop, nullptr);
    EXPECT_TRUE(bar_->acceptDrops());
    QMimeData midi;
    midi.setUrls({QUrl::fromLocalFile(dir_.path() + "/tune.mid")});
    EXPECT_EQ(drop->OnDragEnter(bar_.get(), &midi, Qt::NoModifier, {}), Qt::IgnoreAction);

    QMimeData data;
    data.setData("text/uri-list", QUrl::fromLocalFile(sound).toEncoded() + "\r\n");
    ASSERT_EQ(drop->OnDragEnter(bar_.get(), &data, Qt::NoModifier, {10, 100}), Qt::CopyAction);
    EXPECT_EQ(drop->OnDrop(bar_.get(), &data, Qt::CopyAction, {10, 100}), 1);
    ASSERT_TRUE(PumpUntil([&] {
        CDrawerVGram* d = bar_->RecorderDrawerOf(ID_RECORDER);
        return Open(ID_RECORDER) && d && !d->IsRecorderEmpty();
    }));
    CDrawerVGram* recorder = bar_->RecorderDrawerOf(ID_RECORDER);
    // Half a second, converted to the Recorder's quality when that differs.
    EXPECT_EQ(recorder->LastSample(), recorder->Recorder().GetSamplesPerSec() / 2);
    EXPECT_TRUE(bar_->Panel()->IsButtonDown(ID_RECORDER));
    EXPECT_NE(recorder->GetWorkFile(), sound) << "the drawer works on its own copy";
    EXPECT_TRUE(QFile::exists(sound));
}

TEST_F(BarDialog, TheBarIsBusyWhileADrawerIsOpen) {
    const int edge = bar_->DockState().nEdge;
    Click(ID_SONOSCOUT);
    ASSERT_TRUE(Open(ID_SONOSCOUT));
    // Auto hide cannot be switched on, and the bar cannot be dragged away.
    SendMessage(bar_.get(), WM_COMMAND, WPARAM(ID_AUTOHIDE));
    EXPECT_FALSE(bar_->IsAutoHide());
    bar_->StartUserDrag(QPoint(512, 300));
    EXPECT_FALSE(bar_->IsDragging());
    Click(ID_SONOSCOUT);
    ASSERT_TRUE(PumpUntil([&] { return !Open(ID_SONOSCOUT); }));
    SendMessage(bar_.get(), WM_COMMAND, WPARAM(ID_AUTOHIDE));
    EXPECT_TRUE(bar_->IsAutoHide());
    EXPECT_EQ(+bar_->DockState().nEdge, edge);
}

TEST_F(BarDialog, EveryDrawerOpensAgainAfterItClosedAndTheBarIsIdleAfterwards) {
    const int commands[] = {ID_VOICEGRAM_BOX, ID_ECHOMEMOS_MANAGER, ID_SONOSCOUT, ID_RECORDER,
                            ID_CREATE_ECHOMEMO};
    auto controllerDrawer = [&](int command) {
        switch (command) {
            case ID_VOICEGRAM_BOX:
                return bar_->Inbox()->IsDrawerOpen();
            case ID_ECHOMEMOS_MANAGER:
                return bar_->EchoMemos()->IsDrawerOpen() != 0;
            case ID_SONOSCOUT:
                return bar_->Sonoscout()->IsDrawerOpen();
            default:
                return Open(command);
        }
    };
    for (int command : commands) {
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(testing::Message() << "command " << command << " round " << round);
            Click(command);
            ASSERT_TRUE(Open(command));
            EXPECT_TRUE(controllerDrawer(command)) << "a drawer really opened";
            EXPECT_TRUE(bar_->Panel()->IsButtonDown(command));
            PumpUntil([] { return false; }, 50);  // the opening slide
            Click(command);
            ASSERT_TRUE(PumpUntil([&] { return !Open(command); }));
            EXPECT_FALSE(controllerDrawer(command)) << "the closed drawer is forgotten";
            EXPECT_FALSE(bar_->Panel()->IsButtonDown(command));
        }
    }
    // Nothing holds the bar busy: auto hide switches and a drag starts.
    SendMessage(bar_.get(), WM_COMMAND, WPARAM(ID_AUTOHIDE));
    EXPECT_TRUE(bar_->IsAutoHide());
    SendMessage(bar_.get(), WM_COMMAND, WPARAM(ID_AUTOHIDE));
    bar_->StartUserDrag(QPoint(28, 600));
    EXPECT_TRUE(bar_->IsDragging());
    bar_->EndUserDrag();
    bar_->OnExit();
    EXPECT_TRUE(bar_->IsClosing());
}

TEST_F(BarDialog, EveryFrameOfAMoveShowsThePanelBuiltForWhereTheBarGoes) {
    shell_.SetAnimationsEnabled(true);
    CBarPanel* panel = bar_->Panel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->Layout().vertical);
    int frames = 0, wrong = 0;
    bar_->onFrame = [&] {
        ++frames;
        // Only the panel shows (no bare window around it), and it is the top bar's.
        const QRegion shown = bar_->mask();
        if (panel->Layout().vertical || panel->size() != QSize(1024, 56) || shown.isEmpty() ||
            shown != QRegion(panel->geometry()))
            ++wrong;
    };
    DOCKSTATE state;
    bar_->GetDockState(&state);
    state.nEdge = 1;  // to the top, as a drag there ends
    bar_->ApplySettings(&state);
    bar_->onFrame = nullptr;
    EXPECT_GT(frames, 0) << "the move was animated";
    EXPECT_EQ(wrong, 0) << "of " << frames << " frames";
    EXPECT_EQ(bar_->geometry(), QRect(0, 0, 1024, 56));
    EXPECT_TRUE(bar_->mask().isEmpty()) << "the whole bar shows once it is there";
    EXPECT_FALSE(panel->Layout().vertical);
}

TEST_F(BarDialog, MessagesFromTheLibrariesAreAnswered) {
    EXPECT_EQ(SendMessage(bar_.get(), WM_BAR_CANUSEAUDIO), 1);
    EXPECT_EQ(SendMessage(bar_.get(), WM_BAR_GETVOICEGRAMDRAWER), 0);
    EXPECT_EQ(SendMessage(bar_.get(), WM_BAR_ISDRAWEROPEN, 4242), 0);
    // A Send Voicegram drawer opened for a reply can be taken over while it is empty.
    EXPECT_EQ(SendMessage(bar_.get(), WM_BAR_OPENVOICEGRAM), 1);
    EXPECT_TRUE(Open(ID_SEND_VOICEGRAM));
    EXPECT_NE(SendMessage(bar_.get(), WM_BAR_GETVOICEGRAMDRAWER), 0);
    EXPECT_EQ(SendMessage(bar_.get(), WM_BAR_OPENVOICEGRAM), 1);
}

TEST_F(BarDialog, ClosingAsksTheDrawersAndSavesTheLiveDockingState) {
    Click(ID_RECORDER);
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(bar_->AskTest());
    SendMessage(bar_.get(), WM_COMMAND, WPARAM(ID_ALWAYSONTOP));
    bar_->OnExit();
    EXPECT_TRUE(bar_->IsClosing());
    QString path;
    ASSERT_TRUE(GetTonedeckPropertiesFilePath(path));
    PROPERTIES saved;
    ASSERT_TRUE(ReadPropertiesFile(path, &saved));
    EXPECT_EQ(+saved.DockState.dwSize, 56u);
    EXPECT_EQ(+saved.DockState.bAlwaysOnTop, 0);
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(BarDialog, TheWindowManagersCloseAndTheSessionEndGoThroughTheAskTest) {
    ASSERT_EQ(SendMessage(bar_.get(), WM_BAR_OPENVOICEGRAM), 1);
    auto* drawer =
        reinterpret_cast<CDrawerVGram*>(SendMessage(bar_.get(), WM_BAR_GETVOICEGRAMDRAWER));
    ASSERT_NE(drawer, nullptr);
    drawer->BeginModal();  // a message box of the drawer is open: it refuses
    QCloseEvent refused;
    QCoreApplication::sendEvent(bar_.get(), &refused);
    EXPECT_FALSE(bar_->IsClosing());
    EXPECT_FALSE(bar_->OnSessionEnding()) << "the session end is refused too";
    EXPECT_FALSE(bar_->IsClosing());
    drawer->EndModal();
    EXPECT_TRUE(bar_->OnSessionEnding());
    EXPECT_FALSE(bar_->IsClosing()) << "the session says when it ends";
    QCloseEvent agreed;
    QCoreApplication::sendEvent(bar_.get(), &agreed);
    EXPECT_TRUE(bar_->IsClosing());
}

TEST_F(BarDialog, ASettingsFileThatCannotBeWrittenIsReported) {
    QString path;
    ASSERT_TRUE(GetTonedeckPropertiesFilePath(path));
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path + "/blocked"));  // a directory where the file should be
    bar_->CloseBar();
    EXPECT_EQ(errors_, QStringList{"Could not save Tonedeck properties"});
    EXPECT_TRUE(bar_->IsClosing());
}

// Ticking "Don't display this message again" keeps the no-mail notice away at the next
// start; without the tick it comes again.
TEST_F(BarDialog, TheNoMailNoticeStaysAwayOnceTheUserSaysSo) {
    ASSERT_TRUE(PumpUntil([&] { return notices_ == 1 && welcomes_ == 1; }));
    bar_->CloseBar();
    // Next start: the notice again, and this time the user ticks the box.
    bar_ = std::make_unique<FrameBar>();
    bar_->showWelcome = [this] { ++welcomes_; };
    bar_->showNoMail = [this](bool) {
        ++notices_;
        return true;
    };
    bar_->showSaveError = [this](const QString& text) { errors_ << text; };
    ASSERT_TRUE(bar_->Initialise());
    ASSERT_TRUE(PumpUntil([&] { return notices_ == 2; }));
    EXPECT_EQ(+bar_->Properties().bNoMailWarningOff, 1);
    bar_->CloseBar();
    // And the start after that shows none.
    bar_ = std::make_unique<FrameBar>();
    bar_->showWelcome = [this] { ++welcomes_; };
    bar_->showNoMail = [this](bool) {
        ++notices_;
        return true;
    };
    bar_->showSaveError = [this](const QString& text) { errors_ << text; };
    ASSERT_TRUE(bar_->Initialise());
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(notices_, 2);
    EXPECT_TRUE(errors_.isEmpty());
}

// The welcome is not covered by a bar that is always on top: the bar steps down while it
// is open and goes back on top after, and a bar that was not on top stays where it was.
TEST_F(BarDialog, TheWelcomeHasTheBarStepDownFromAlwaysOnTopWhileItIsOpen) {
    ASSERT_TRUE(PumpUntil([&] { return welcomes_ == 1; }));
    ASSERT_EQ(+bar_->DockState().bAlwaysOnTop, 1);
    ASSERT_EQ(shell_.ZOrder(bar_.get()), AppBarZOrder::Topmost);
    BOOL seenOnTop = -1;
    AppBarZOrder seenOrder = AppBarZOrder::Bottom;
    bar_->showWelcome = [&] {
        seenOnTop = bar_->DockState().bAlwaysOnTop;
        seenOrder = shell_.ZOrder(bar_.get());
    };
    SendMessage(bar_.get(), WM_BAR_FIRSTSTART);
    EXPECT_EQ(seenOnTop, 0);
    EXPECT_EQ(seenOrder, AppBarZOrder::NotTopmost);
    EXPECT_EQ(+bar_->DockState().bAlwaysOnTop, 1);
    EXPECT_EQ(shell_.ZOrder(bar_.get()), AppBarZOrder::Topmost);

    Click(ID_ALWAYSONTOP);
    ASSERT_EQ(+bar_->DockState().bAlwaysOnTop, 0);
    SendMessage(bar_.get(), WM_BAR_FIRSTSTART);
    EXPECT_EQ(seenOnTop, 0);
    EXPECT_EQ(+bar_->DockState().bAlwaysOnTop, 0) << "not put on top by the welcome";
    EXPECT_EQ(shell_.ZOrder(bar_.get()), AppBarZOrder::NotTopmost);

    // The bar ends while the welcome is open: the saved choice is still on top.
    Click(ID_ALWAYSONTOP);
    bar_->showWelcome = [&] { bar_->CloseBar(); };
    SendMessage(bar_.get(), WM_BAR_FIRSTSTART);
    ASSERT_TRUE(bar_->IsClosing());
    PROPERTIES saved{};
    const SettingsLoad load = LoadBarSettings(&saved);
    EXPECT_FALSE(load.firstStart);
    EXPECT_EQ(+saved.DockState.bAlwaysOnTop, 1);
    EXPECT_TRUE(errors_.isEmpty());
}

// The program builds the bar behind its splash and holds the notices of the start until
// the bar is on the screen: none comes while held, and once released the no-mail notice
// comes first and the welcome of a first start after it.
TEST_F(BarDialog, HeldStartNoticesComeOnlyWhenReleasedAndInTheirOrder) {
    ASSERT_TRUE(PumpUntil([&] { return notices_ == 1 && welcomes_ == 1; }));
    bar_->CloseBar();
    QString path;
    ASSERT_TRUE(GetTonedeckPropertiesFilePath(path));
    ASSERT_TRUE(QFile::remove(path));  // a first start again
    QStringList order;
    bar_ = std::make_unique<FrameBar>();
    bar_->showWelcome = [&] { order << "welcome"; };
    bar_->showNoMail = [&](bool) {
        order << "no mail";
        return false;
    };
    bar_->HoldStartNotices();
    ASSERT_TRUE(bar_->Initialise());
    EXPECT_TRUE(bar_->IsFirstStart());
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(order.isEmpty()) << "a notice came while held";
    bar_->show();
    bar_->ShowStartNotices();
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QStringList{"no mail", "welcome"}));
    bar_->ShowStartNotices();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(order.size(), 2) << "the notices come once";
}

}  // namespace
