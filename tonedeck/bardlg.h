// CBarDlg: the bar itself. It owns the settings record, the mixer manager, the mail
// wrapper and the three long-lived controllers (inbox, Echo Memos, Sonoscout), opens and
// closes the drawers of the task buttons, runs the 100 ms timer, and saves the settings
// when it ends.
#pragma once

#include <functional>
#include <memory>

#include "tdkit/audio/mixmgr.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/clipboard.h"
#include "tonedeck/appbardlg.h"
#include "tonedeck/barmessages.h"
#include "tonedeck/barsettings.h"

class CAudioMessaging;
class CBarPanel;
class CProperties;
class QAction;
class QMenu;
class CDrawerVGram;
class CEchoMemos;
class CSonoscout;
class NamedMutex;

// The bar's own private message: the first start's welcome.
inline constexpr UINT WM_BAR_FIRSTSTART = WM_USER + 1185;

// Commands of the bar.
inline constexpr int ID_APP_EXIT = 32769;
inline constexpr int ID_AUTOHIDE = 32767;
inline constexpr int ID_ALWAYSONTOP = 32766;
inline constexpr int ID_TOOLTIPS = 32796;
inline constexpr int ID_PROPERTIES = 32773;
inline constexpr int ID_HELP_CONTENTS = 32774;
inline constexpr int ID_FIXITGUIDE = 32775;
inline constexpr int ID_APP_ABOUT = 32797;
inline constexpr int ID_CONTEXT_MENU = 32798;
// The framework's help commands, all answered as the help contents.
inline constexpr int ID_HELP_INDEX = 57666;
inline constexpr int ID_CONTEXT_HELP = 57669;
inline constexpr int ID_HELP = 57670;
inline constexpr int ID_DEFAULT_HELP = 57671;

// The bar's mixer manager: besides what every manager does, it tells the bar when a
// control of the card changed, so the bar follows other programs' changes at once.
class CBarMixMgr : public CMixMgr {
public:
    std::function<void()> onControlChange;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CBarDlg : public CAppBarDlg {
    Q_OBJECT

public:
    CBarDlg();
    ~CBarDlg() override;

    // The start of the bar's life: settings, docking, controllers, panel. False when the
    // bar cannot run (no panel); the settings have then been saved and the bar ends.
    // The notices of the start (no mail system, then the welcome) follow at once, unless
    // held: the program builds the bar behind its splash and shows them once the bar is
    // on the screen.
    bool Initialise();
    void HoldStartNotices() { m_bHoldNotices = true; }
    void ShowStartNotices();

    // Asks every open party whether the bar may end (WM_QUERYENDSESSION); true when none
    // objects.
    bool AskTest();
    // The Exit command: closes when the ask test passes.
    void OnExit();
    // The desktop session is about to end: the ask test's answer (true: the bar may end;
    // the session then ends it). The window manager's close request goes to OnExit.
    bool OnSessionEnding();
    // The orderly close: drawers, controllers, panel, then save and end.
    void CloseBar();

    // What tests and the program look at.
    PROPERTIES& Properties() { return m_props; }
    bool IsFirstStart() const { return m_bFirstStart; }
    bool IsClosing() const { return m_bClosing; }
    bool IsDrawerOpen(int command) const;
    CBarPanel* Panel() const { return m_pPanel; }
    CSonoscout* Sonoscout() const { return m_pSonoscout; }
    CAudioMessaging* Inbox() const { return m_pInbox; }
    CEchoMemos* EchoMemos() const { return m_pEchoMemos; }
    CMixMgr& MixMgr() { return m_mixMgr; }
    CDrawerVGram* RecorderDrawerOf(int command) { return RecorderDrawer(command); }
    CDrop* DropTarget() const { return m_pDrop.get(); }
    // Dialogs of the start run modally; tests replace them.
    std::function<void()> showWelcome;
    std::function<bool(bool dontShowAgain)> showNoMail;  // returns the check box
    std::function<void(const QString&)> showSaveError;
    // Told when the bar begins to close (the program marks itself as ending).
    std::function<void()> onClosing;
    // The popup menu runs here (tests watch it): the menu and its point in, the chosen
    // action out (null: none).
    std::function<QAction*(QMenu* menu, QPoint at)> runMenu;
    // The settings sheet runs here once built and filled; returns QDialog's result.
    std::function<int(CProperties& sheet)> runSheet;
    // The About box and the Fixit Guide run modally here (tests replace them).
    std::function<void()> showAbout;
    std::function<void()> runFixitGuide;
    // The page the settings sheet opens on: the one in front when it was last confirmed.
    int LastSheetPage() const { return m_nLastSheetPage; }

protected:
    void OnTimer() override;
    bool NeedsQuickTicks() override;
    BOOL IsBusy() override;
    void OnStateChange(BOOL bProposed, int edge) override;
    void OnSlideBegin(const RECT& target) override;
    void OnSlideEnd() override;
    void PlayShowHideSound() override;
    void OnForcedOffAutoHide() override;
    void ShowHidden(BOOL bShow) override;
    void reject() override {}
    void accept() override {}
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void InstallHandlers();
    LRESULT OnCommand(int command);
    void OnTaskCommand(int command);
    void ToggleDockOption(BOOL DOCKSTATE::*field);
    void OnToolTips();
    // Runs the Fixit Guide modally with the bar's mixer manager under parent, and puts
    // the bar back on top of the others afterwards when it was always on top.
    void RunFixitGuide(QWidget* parent);
    bool BuildPanel(int edge);
    // The bar's popup menu (menu 130) at a point of the screen.
    void ShowBarMenu(QPoint globalPos);
    // The settings sheet: builds it, runs it and applies what the user confirmed.
    void OnProperties();
    void ApplySheet(bool mailWasEnabled);
    // After the sheet: when the current user changed, the bar's settings file follows.
    void FollowCurrentUser(const QString& before);
    void OnHelpContents();
    void UpdateIndicators();
    void PlayDrawerSound();
    void SaveAndEnd();
    void CloseDrawersAndWait();
    CDrawerVGram*& RecorderDrawer(int command);
    bool& OpenFlag(int command);
    // A WAV file dropped on the bar opens the Recorder with it.
    int OnDropFile(const QMimeData* data);

    // Embedded parts, in the order they are made.
    CBarMixMgr m_mixMgr;
    CSimpleMapi m_mapi;
    CClipboard m_clipboard;
    PROPERTIES m_props{};
    std::unique_ptr<CDrop> m_pDrop;

    CBarPanel* m_pPanel = nullptr;
    CAudioMessaging* m_pInbox = nullptr;
    CEchoMemos* m_pEchoMemos = nullptr;
    CSonoscout* m_pSonoscout = nullptr;
    CDrawerVGram* m_pSendVoicegram = nullptr;
    CDrawerVGram* m_pRecorder = nullptr;
    CDrawerVGram* m_pCreateEchoMemo = nullptr;
    std::unique_ptr<NamedMutex> m_memoMutex;
    std::unique_ptr<NamedMutex> m_inboxMutex;

    bool m_bFirstStart = false;
    // Always on top is switched off while the welcome is open.
    bool m_bOnTopLent = false;
    bool m_bHoldNotices = false;
    UINT m_startNotice = 0;  // the first notice of the start, waiting to be posted
    bool m_bPanelReady = false;
    bool m_bClosing = false;
    bool m_bEnded = false;
    bool m_bMailUsable = false;
    bool m_bSheetOpen = false;
    bool m_bMenuOpen = false;
    bool m_bInboxOpen = false;
    bool m_bSendVoicegramOpen = false;
    bool m_bRecorderOpen = false;
    bool m_bCreateEchoMemoOpen = false;
    bool m_bMemoManagerOpen = false;
    bool m_bSonoscoutOpen = false;
    int m_nInboxState = 0;
    int m_nSonoscoutState = 0;
    int m_nLastSheetPage = 0;
    bool m_bMixerReadQueued = false;
    QString m_settingsPath;
    SettingsStamp m_settingsStamp;
    BarTicks m_ticks;
};
