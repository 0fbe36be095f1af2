#include "tonedeck/bardlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <cstring>

#include "platform/mixer.h"
#include "platform/namedlock.h"
#include "tdinbox/ui/audiomessaging.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/helptopic.h"
#include "tdkit/ui/maildialogs.h"
#include "tdmemo/ui/echomemos.h"
#include "tdmend/ui/fixitguidedlg.h"
#include "tdpost/ui/drawervgram.h"
#include "tdseek/ui/sonoscout.h"
#include "tonedeck/barmessages.h"
#include "tonedeck/barpanel.h"
#include "tonedeck/barsounds.h"
#include "tonedeck/dialogs.h"

namespace {

// The bar window's size before it docks: its thickness across, a stretch along.
constexpr int kBarWidth = 56;
constexpr int kBarLength = 480;
// How long closing drawers may take to slide back before the bar ends anyway.
constexpr int kDrawerCloseWaitMs = 3000;

// The bar's message to itself for the no-mail notice.
UINT NoMailNoticeMessage() {
    static const UINT message = RegisterWindowMessage("TonedeckNoMailNotice");
    return message;
}

RECT ScreenRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

LRESULT CBarMixMgr::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CMixMgr::WindowProc(message, wParam, lParam);
    if (message == MM_MIXM_CONTROL_CHANGE && onControlChange)
        onControlChange();
    return result;
}

CBarDlg::CBarDlg() {
    setWindowTitle(QStringLiteral("Tonedeck"));
    resize(kBarWidth, kBarLength);
    InstallHandlers();
    showWelcome = [this] {
        CWelcomeDlg welcome([this] { RunFixitGuide(this); }, this);
        welcome.exec();
    };
    showNoMail = [this](bool dontShowAgain) {
        CNoMailDlg notice(this);
        notice.setDontShowAgain(dontShowAgain);
        notice.exec();
        return notice.dontShowAgain();
    };
    showSaveError = [this](const QString& text) {
        ShowBarMessage(this, QMessageBox::Warning, windowTitle(), text);
    };
    // The drawers' help topics open as the bar's own pages do.
    SetHelpTopicOpener(
        [](unsigned topic) { OpenHelpPage(QStringLiteral("Tonedeck.html"), nullptr, topic); });
    showAbout = [this] {
        CAboutDlg about(this);
        about.exec();
    };
}

CBarDlg::~CBarDlg() {
    if (!m_bEnded) {
        m_bClosing = true;
        delete m_pSendVoicegram;
        delete m_pRecorder;
        delete m_pCreateEchoMemo;
        delete m_pInbox;
        delete m_pEchoMemos;
        delete m_pSonoscout;
    }
}

bool CBarDlg::Initialise() {
    // The named locks the libraries serialise on live as long as the bar.
    m_memoMutex = NamedMutex::Create(QStringLiteral("ECHOMEMOSMUTEX"));
    m_inboxMutex = NamedMutex::Create(QStringLiteral("AUDIOMESSAGINGMUTEX"));
    // The card's changes show on the bar as they happen; a burst of them is read once.
    m_mixMgr.onControlChange = [this] {
        if (m_bMixerReadQueued)
            return;
        m_bMixerReadQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_bMixerReadQueued = false;
            if (m_pPanel && !m_bClosing)
                m_pPanel->RefreshAudioControls();
        });
    };
    m_mixMgr.Start(this);

    SetOptions(ABF_ALLOWLEFTRIGHT | ABF_ALLOWTOPBOTTOM);
    SetSizeIncrements(0, 0);
    const QRect client = rect();
    SetDefaultProperties(&m_props, ScreenRect(geometry()));
    const RECT defaultFloat = m_props.DockState.rcFloat;

    const SettingsLoad load = LoadBarSettings(&m_props);
    m_bFirstStart = load.firstStart;
    m_settingsPath = load.path;
    m_settingsStamp = load.stamp;

    // Settings from a file are trusted only as far as they are usable.
    std::vector<QRect> screens;
    for (QScreen* s : QGuiApplication::screens())
        screens.push_back(s->geometry());
    RepairDockState(m_props.DockState, screens, defaultFloat);
    SetBarThickness(m_props.DockState, client.width(), client.height());
    ApplySettings(&m_props.DockState);

    m_ticks.Reset(m_props.nPollSeconds);
    MAILPROPERTIES& mail = m_props.MailProps;
    if (mail.bMAPI || mail.bCompuServe) {
        // The provider asks for the password and the addressees through our dialogs.
        InstallMailDialogs();
        m_mapi.Start();
    }
    if (m_props.bShowSendVoicegram &&
        !(((mail.bMAPI || mail.bCompuServe) && m_mapi.IsMAPIEnabled()) || mail.bAOL))
        m_props.bShowSendVoicegram = 0;
    m_bMailUsable = m_mapi.IsMAPIEnabled() || mail.bAOL;

    m_pInbox = new CAudioMessaging(this, &m_props.MailProps, &m_props.MessageProps, &m_mapi);
    m_pEchoMemos = new CEchoMemos(this, &m_props.EchoMemosProps);
    m_pInbox->CreateMailListThread();
    m_pInbox->FindVoicegramThread(0);
    m_pEchoMemos->GetEchoMemosThread();
    m_pSonoscout = new CSonoscout(this, &m_props.SonoscoutProps, &m_props.MailProps, &m_mapi);

    if (!BuildPanel(GetEdge())) {
        SaveAndEnd();
        return false;
    }
    m_bPanelReady = true;

    m_pDrop = std::make_unique<CDrop>();
    m_pDrop->RegisterWnd(this, &m_clipboard, [this](QWidget*, const QMimeData* data, ulong) {
        return OnDropFile(data);
    });

    // The notices come once the bar is on the screen: the no-mail notice, then the welcome.
    if (m_bMailUsable)
        m_props.bNoMailWarningOff = 0;
    if (!m_bMailUsable && !m_props.bNoMailWarningOff)
        m_startNotice = NoMailNoticeMessage();  // which posts the welcome when it closes
    else if (m_bFirstStart)
        m_startNotice = WM_BAR_FIRSTSTART;
    if (!m_bHoldNotices)
        ShowStartNotices();
    return true;
}

void CBarDlg::ShowStartNotices() {
    m_bHoldNotices = false;
    if (m_startNotice && !m_bClosing)
        PostMessage(this, m_startNotice);
    m_startNotice = 0;
}

void CBarDlg::InstallHandlers() {
    OnMessage(WM_COMMAND, [this](WPARAM w, LPARAM) { return OnCommand(static_cast<int>(w)); });
    OnMessage(WM_QUERYENDSESSION, [this](WPARAM, LPARAM) { return LRESULT(AskTest() ? 1 : 0); });
    OnMessage(WM_ENDSESSION, [this](WPARAM ending, LPARAM) {
        if (ending)
            CloseBar();
        return LRESULT(0);
    });
    OnMessage(NoMailNoticeMessage(), [this](WPARAM, LPARAM) {
        // Notices wait for a slide to end rather than open between its frames.
        if (IsSliding()) {
            PostMessage(this, NoMailNoticeMessage());
            return LRESULT(0);
        }
        m_props.bNoMailWarningOff = showNoMail(false) ? 1 : 0;
        if (m_bFirstStart && !m_bClosing)
            PostMessage(this, WM_BAR_FIRSTSTART);
        return LRESULT(0);
    });
    OnMessage(WM_BAR_FIRSTSTART, [this](WPARAM, LPARAM) {
        if (IsSliding()) {
            PostMessage(this, WM_BAR_FIRSTSTART);
            return LRESULT(0);
        }
        // The welcome stands in front of the bar: a bar always on top would cover it.
        // The bar steps down for the welcome and goes back on top once it has closed.
        GetDockState(&m_props.DockState);
        const BOOL onTop = m_props.DockState.bAlwaysOnTop;
        if (onTop) {
            DOCKSTATE below = m_props.DockState;
            below.bAlwaysOnTop = 0;
            ApplySettings(&below);
            m_bOnTopLent = true;
        }
        showWelcome();
        m_bOnTopLent = false;
        if (onTop && !m_bEnded) {
            GetDockState(&m_props.DockState);
            m_props.DockState.bAlwaysOnTop = onTop;
            ApplySettings(&m_props.DockState);
        }
        m_bFirstStart = false;
        return LRESULT(0);
    });

    // Drawers reporting that they have closed: the button goes up, a recorder-type drawer
    // is deleted, and the memo manager's hold setting shows on its button.
    const std::pair<UINT, int> closings[] = {
        {WM_BAR_INBOXCLOSED, ID_VOICEGRAM_BOX}, {WM_BAR_VOICEGRAMCLOSED, ID_SEND_VOICEGRAM},
        {WM_BAR_RECORDERCLOSED, ID_RECORDER},   {WM_BAR_MEMOCREATORCLOSED, ID_CREATE_ECHOMEMO},
        {WM_BAR_SONOSCOUTCLOSED, ID_SONOSCOUT}, {WM_BAR_MEMOMANAGERCLOSED, ID_ECHOMEMOS_MANAGER},
    };
    for (const auto& [message, command] : closings) {
        OnMessage(message, [this, command = command](WPARAM, LPARAM) {
            OpenFlag(command) = false;
            if (command == ID_SEND_VOICEGRAM || command == ID_RECORDER ||
                command == ID_CREATE_ECHOMEMO) {
                if (CDrawerVGram*& drawer = RecorderDrawer(command)) {
                    drawer->deleteLater();
                    drawer = nullptr;
                }
            }
            if (m_pPanel) {
                if (command == ID_ECHOMEMOS_MANAGER)
                    m_pPanel->SetMemoIndicator(!m_props.EchoMemosProps.bHoldAll);
                m_pPanel->SetButtonDown(command, false);
            }
            return LRESULT(0);
        });
    }
    OnMessage(WM_BAR_DRAWERSOUND, [this](WPARAM, LPARAM) {
        PlayDrawerSound();
        return LRESULT(0);
    });
    // Scheduled playback held or released, from the manager or the settings: the
    // manager's button shows it at once, open or not.
    OnMessage(WM_ECHOMEMO_HOLDCHANGED, [this](WPARAM, LPARAM) {
        if (m_pPanel)
            m_pPanel->SetMemoIndicator(!m_props.EchoMemosProps.bHoldAll);
        return LRESULT(0);
    });
    OnMessage(WM_BAR_OPENVOICEGRAM, [this](WPARAM, LPARAM) -> LRESULT {
        if (!m_bSendVoicegramOpen) {
            OnTaskCommand(ID_SEND_VOICEGRAM);
            return m_bSendVoicegramOpen ? 1 : 0;
        }
        if (m_pSendVoicegram && m_pSendVoicegram->IsRecorderEmpty()) {
            m_pSendVoicegram->raise();
            return 1;
        }
        return 0;
    });
    OnMessage(WM_BAR_TOMEMOS, [this](WPARAM w, LPARAM l) {
        return SendMessage(m_pEchoMemos, WM_BAR_TOMEMOS, w, l);
    });
    OnMessage(WM_BAR_TOSONOSCOUT, [this](WPARAM w, LPARAM l) {
        return SendMessage(m_pSonoscout, WM_BAR_TOSONOSCOUT, w, l);
    });
    OnMessage(WM_BAR_ISDRAWEROPEN, [this](WPARAM command, LPARAM) {
        return LRESULT(IsDrawerOpen(static_cast<int>(command)) ? 1 : 0);
    });
    OnMessage(WM_BAR_GETVOICEGRAMDRAWER, [this](WPARAM, LPARAM) {
        return m_bSendVoicegramOpen ? reinterpret_cast<LRESULT>(m_pSendVoicegram) : LRESULT(0);
    });
    OnMessage(WM_BAR_CANUSEAUDIO, [this](WPARAM, LPARAM) -> LRESULT {
        if (m_pInbox && m_pInbox->IsSomethingPlaying())
            return 0;
        if (m_pEchoMemos && m_pEchoMemos->IsSomethingPlaying())
            return 0;
        for (CDrawerVGram* d : {m_pCreateEchoMemo, m_pSendVoicegram, m_pRecorder})
            if (d && !d->IsRecorderAvailable())
                return 0;
        if (m_pSonoscout && m_pSonoscout->IsSomethingPlaying())
            return 0;
        return 1;
    });
    OnMessage(WM_BAR_SONOSCOUTSTATE, [this](WPARAM state, LPARAM) {
        m_nSonoscoutState = static_cast<int>(state);
        if (!m_bSonoscoutOpen && m_pPanel)
            m_pPanel->UpdateSonoscoutIndicator(m_nSonoscoutState);
        return LRESULT(0);
    });
    OnMessage(WM_BAR_INBOXSTATE, [this](WPARAM state, LPARAM) {
        m_nInboxState = static_cast<int>(state);
        if (!m_bInboxOpen && m_pPanel)
            m_pPanel->UpdateInboxIndicator(m_nInboxState);
        return LRESULT(0);
    });
    OnMessage(WM_BAR_REFRESHMAILLIST, [this](WPARAM, LPARAM) {
        if (m_pInbox)
            m_pInbox->CreateMailListThread();
        return LRESULT(0);
    });
    OnMessage(WM_BAR_AOLMAILQUEUED, [this](WPARAM, LPARAM) {
        if (m_pInbox)
            PostMessage(m_pInbox, WM_BAR_AOLMAILQUEUED);
        return LRESULT(0);
    });
    // The panel's audio controls.
    for (UINT message : kBarAudioMessages)
        OnMessage(message, [this, message](WPARAM w, LPARAM l) {
            return m_pPanel ? m_pPanel->HandleAudioMessage(message, w, l) : LRESULT(0);
        });
}

LRESULT CBarDlg::OnCommand(int command) {
    switch (command) {
        case ID_APP_EXIT:
            OnExit();
            break;
        case ID_AUTOHIDE:
            if (!IsBusy())
                ToggleDockOption(&DOCKSTATE::bAutoHide);
            break;
        case ID_ALWAYSONTOP:
            ToggleDockOption(&DOCKSTATE::bAlwaysOnTop);
            break;
        case ID_TOOLTIPS:
            OnToolTips();
            break;
        case ID_CONTEXT_MENU:
            // From the keyboard the menu stands at the middle of the bar.
            ShowBarMenu(mapToGlobal(rect().center()));
            break;
        case ID_HELP_CONTENTS:
        case ID_HELP_INDEX:
        case ID_CONTEXT_HELP:
        case ID_HELP:
        case ID_DEFAULT_HELP:
            OnHelpContents();
            break;
        case ID_APP_ABOUT:
            showAbout();
            break;
        case ID_FIXITGUIDE:
            RunFixitGuide(this);
            break;
        case ID_PROPERTIES:
            // Not refused while busy: Ctrl+P opens the sheet even with a drawer open.
            if (!m_bSheetOpen && !m_bClosing)
                OnProperties();
            break;
        case ID_SEND_VOICEGRAM:
        case ID_VOICEGRAM_BOX:
        case ID_CREATE_ECHOMEMO:
        case ID_ECHOMEMOS_MANAGER:
        case ID_RECORDER:
        case ID_SONOSCOUT:
            OnTaskCommand(command);
            break;
        default:
            // OK, Cancel and the dialog's own close request never end the bar.
            break;
    }
    return 0;
}

void CBarDlg::ToggleDockOption(BOOL DOCKSTATE::*field) {
    GetDockState(&m_props.DockState);
    // The settings record is packed: the field is switched in an aligned copy.
    alignas(BOOL) DOCKSTATE state;
    std::memcpy(&state, &m_props.DockState, sizeof state);
    state.*field = state.*field ? 0 : 1;
    std::memcpy(&m_props.DockState, &state, sizeof state);
    ApplySettings(&m_props.DockState);
}

void CBarDlg::RunFixitGuide(QWidget* parent) {
    GetDockState(&m_props.DockState);
    const BOOL onTop = m_props.DockState.bAlwaysOnTop;
    if (runFixitGuide) {
        runFixitGuide();
    } else {
        CFixitGuideDlg guide(&m_mixMgr, parent);
        guide.exec();
    }
    if (onTop) {
        GetDockState(&m_props.DockState);
        m_props.DockState.bAlwaysOnTop = onTop;
        ApplySettings(&m_props.DockState);
    }
}

void CBarDlg::OnToolTips() {
    m_props.bToolTips = m_props.bToolTips ? 0 : 1;
    const int on = m_props.bToolTips;
    if (m_pPanel)
        m_pPanel->EnableToolTips(on);
    if (m_bInboxOpen && m_pInbox)
        m_pInbox->EnableToolTips(on);
    for (CDrawerVGram* d : {m_pSendVoicegram, m_pRecorder, m_pCreateEchoMemo})
        if (d)
            d->EnableToolTips(on);
    if (m_bMemoManagerOpen && m_pEchoMemos)
        m_pEchoMemos->EnableToolTips(on);
    if (m_bSonoscoutOpen && m_pSonoscout)
        m_pSonoscout->EnableToolTips(on);
}

bool CBarDlg::IsDrawerOpen(int command) const {
    switch (command) {
        case ID_SEND_VOICEGRAM:
        case ID_VOICEGRAM_BOX:
        case ID_CREATE_ECHOMEMO:
        case ID_ECHOMEMOS_MANAGER:
        case ID_RECORDER:
        case ID_SONOSCOUT:
            return const_cast<CBarDlg*>(this)->OpenFlag(command);
        default:
            return false;
    }
}

bool& CBarDlg::OpenFlag(int command) {
    switch (command) {
        case ID_SEND_VOICEGRAM:
            return m_bSendVoicegramOpen;
        case ID_VOICEGRAM_BOX:
            return m_bInboxOpen;
        case ID_CREATE_ECHOMEMO:
            return m_bCreateEchoMemoOpen;
        case ID_ECHOMEMOS_MANAGER:
            return m_bMemoManagerOpen;
        case ID_RECORDER:
            return m_bRecorderOpen;
        default:
            return m_bSonoscoutOpen;
    }
}

int CBarDlg::OnDropFile(const QMimeData* data) {
    QString path;
    if (!CClipboard::IsWAVFileInObject(data, &path))
        return 1;
    // The drop ends before the drawer asks anything, so the dragging program is not kept
    // waiting on the questions of an import.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (m_bClosing)
                return;
            if (!m_bRecorderOpen)
                OnTaskCommand(ID_RECORDER);
            if (m_bRecorderOpen && m_pRecorder)
                m_pRecorder->PasteWAVFile(path);
        },
        Qt::QueuedConnection);
    return 1;
}

CDrawerVGram*& CBarDlg::RecorderDrawer(int command) {
    if (command == ID_SEND_VOICEGRAM)
        return m_pSendVoicegram;
    if (command == ID_RECORDER)
        return m_pRecorder;
    return m_pCreateEchoMemo;
}

void CBarDlg::OnTaskCommand(int command) {
    if (!m_pPanel)
        return;
    const bool recorderType =
        command == ID_SEND_VOICEGRAM || command == ID_RECORDER || command == ID_CREATE_ECHOMEMO;
    if (OpenFlag(command)) {
        // Close it; the button goes up when the drawer reports that it has closed.
        if (recorderType) {
            if (CDrawerVGram* d = RecorderDrawer(command))
                SendMessage(d, WM_CLOSE);
        } else if (command == ID_VOICEGRAM_BOX) {
            m_pInbox->DestroyDrawer();
        } else if (command == ID_ECHOMEMOS_MANAGER) {
            m_pEchoMemos->DestroyDrawer();
        } else {
            m_pSonoscout->DestroyDrawer();
        }
        return;
    }
    const QPoint anchor = m_pPanel->TaskButtonAnchor(command);
    OpenFlag(command) = true;
    const UINT edge = static_cast<UINT>(GetEdge());
    if (recorderType) {
        RECORDPROPERTIES* props = command == ID_SEND_VOICEGRAM ? &m_props.SendVoicegramProps
                                  : command == ID_RECORDER     ? &m_props.RecorderProps
                                                               : &m_props.CreateEchoMemoProps;
        const RECORDERDRAWERTYPE type = command == ID_SEND_VOICEGRAM ? RDT_VOICEGRAM
                                        : command == ID_RECORDER     ? RDT_RECORDER
                                                                     : RDT_ECHOMEMO;
        auto* drawer = new CDrawerVGram(&anchor, &m_mixMgr, props, &m_props.MailProps, &m_mapi,
                                        this, &m_props.VoxProps);
        RecorderDrawer(command) = drawer;
        if (!drawer->CreateDrawer(edge, type, m_props.bToolTips)) {
            // It will never report closing: forget it now rather than stay busy.
            RecorderDrawer(command) = nullptr;
            delete drawer;
            OpenFlag(command) = false;
            return;
        }
    } else if (command == ID_VOICEGRAM_BOX) {
        m_pInbox->CreateDrawer(edge, anchor, &m_props.MessageProps, &m_props.SendVoicegramProps,
                               &m_props.MailProps, m_props.bShowSendVoicegram, &m_props.VoxProps,
                               &m_mixMgr, m_props.bToolTips, this);
        // A drawer that did not open leaves the bar as it was, not busy for good.
        if (!m_pInbox->IsDrawerOpen()) {
            OpenFlag(command) = false;
            return;
        }
    } else if (command == ID_ECHOMEMOS_MANAGER) {
        // The manager refuses to open while the memo list is still being read.
        if (!m_pEchoMemos->CreateDrawer(edge, &anchor, m_props.bToolTips)) {
            OpenFlag(command) = false;
            return;
        }
    } else {
        m_pSonoscout->CreateDrawer(edge, anchor, m_props.bToolTips);
        if (!m_pSonoscout->IsDrawerOpen()) {
            OpenFlag(command) = false;
            return;
        }
    }
    m_pPanel->SetButtonDown(command, true);
}

bool CBarDlg::BuildPanel(int edge) {
    if (edge < 0 || edge > 3)
        return m_pPanel != nullptr;
    if (!m_pPanel) {
        m_pPanel = new CBarPanel(this, &m_props, &m_mixMgr);
        m_pPanel->isBarBusy = [this] { return IsBusy() != 0; };
        m_pPanel->onStartDrag = [this](QPoint p) { StartUserDrag(p); };
        m_pPanel->onDragMove = [this](QPoint p) {
            ContinueUserDrag(p, QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
        };
        m_pPanel->onDragEnd = [this](QPoint) { EndUserDrag(); };
        m_pPanel->onContextMenu = [this](QPoint p) { ShowBarMenu(p); };
        m_pPanel->SetMemoIndicator(!m_props.EchoMemosProps.bHoldAll);
    }
    const bool vertical = edge == 0 || edge == 2;
    // The panel covers the client area the bar will have on that edge.
    const int thickness = m_props.DockState.nThickness[edge];
    const QRect current = rect();
    const int length = vertical ? std::max(current.height(), current.width())
                                : std::max(current.width(), current.height());
    const QRect client = vertical ? QRect(0, 0, thickness, length) : QRect(0, 0, length, thickness);
    m_pPanel->Build(vertical, IsDragging() ? client : (current.isEmpty() ? client : current));
    m_pPanel->EnableToolTips(m_props.bToolTips);
    return true;
}

void CBarDlg::OnStateChange(BOOL bProposed, int edge) {
    // While the bar is dragged it keeps showing its panel as it is; the outline shows
    // where it goes, and the panel is built for the new edge when it gets there.
    if (bProposed)
        return;
    if (edge >= 0 && edge <= 3 && m_bPanelReady && !BuildPanel(edge))
        SaveAndEnd();
}

void CBarDlg::OnSlideBegin(const RECT& target) {
    if (!m_pPanel || !m_bPanelReady)
        return;
    // The panel is built for where the bar goes, and only the panel shows in the frames
    // of the slide: never the window's bare background around it.
    const int edge = DockState().nEdge;
    const bool vertical = edge == 0 || edge == 2;
    const QSize size(target.right - target.left, target.bottom - target.top);
    if (edge >= 0 && edge <= 3 && !size.isEmpty() &&
        (m_pPanel->Layout().vertical != vertical || m_pPanel->size() != size))
        m_pPanel->Build(vertical, QRect(QPoint(0, 0), size));
    setMask(QRegion(m_pPanel->geometry()));
}

void CBarDlg::OnSlideEnd() {
    clearMask();
}

void CBarDlg::ShowBarMenu(QPoint globalPos) {
    QMenu menu(this);
    auto add = [&](const QString& text, int command, bool checkable, bool checked,
                   bool enabled = true) {
        QAction* action = menu.addAction(text);
        action->setCheckable(checkable);
        action->setChecked(checked);
        action->setEnabled(enabled);
        action->setData(command);
    };
    add(QStringLiteral("Always &On Top\tCtrl+O"), ID_ALWAYSONTOP, true,
        DockState().bAlwaysOnTop != 0);
    add(QStringLiteral("A&uto Hide\tCtrl+U"), ID_AUTOHIDE, true, DockState().bAutoHide != 0,
        !IsBusy());
    add(QStringLiteral("Display &Tooltips\tCtrl+T"), ID_TOOLTIPS, true, m_props.bToolTips != 0);
    menu.addSeparator();
    add(QStringLiteral("&Help Contents\tF1"), ID_HELP_CONTENTS, false, false);
    add(QStringLiteral("&About Tonedeck..."), ID_APP_ABOUT, false, false);
    menu.addSeparator();
    add(QStringLiteral("Fixit &Guide\tCtrl+W"), ID_FIXITGUIDE, false, false);
    add(QStringLiteral("&Properties\tCtrl+P"), ID_PROPERTIES, false, false, !IsBusy());
    menu.addSeparator();
    add(QStringLiteral("E&xit\tAlt+F4"), ID_APP_EXIT, false, false);
    // While the menu is up the bar is busy: it neither hides nor moves.
    m_bMenuOpen = true;
    QAction* chosen = runMenu ? runMenu(&menu, globalPos) : menu.exec(globalPos);
    m_bMenuOpen = false;
    if (chosen)
        OnCommand(chosen->data().toInt());
}

void CBarDlg::UpdateIndicators() {
    if (!m_pPanel || !m_bPanelReady)
        return;
    // An auto-hidden bar slid in shows its buttons in their normal pictures.
    const bool hidden = IsAutoHide() && !IsShown();
    if (!m_bInboxOpen)
        m_pPanel->UpdateInboxIndicator(hidden ? 0 : m_nInboxState);
    if (!m_bSonoscoutOpen)
        m_pPanel->UpdateSonoscoutIndicator(hidden ? 0 : m_nSonoscoutState);
}

void CBarDlg::ShowHidden(BOOL bShow) {
    if (bShow && !IsShown()) {
        UpdateIndicators();
        m_ticks.ReloadSecondCountdown();
    }
    CAppBarDlg::ShowHidden(bShow);
}

void CBarDlg::OnTimer() {
    if (m_bClosing || IsSliding())
        return;
    // The mixer's controls are read when the card reports a change; only the meters,
    // which move while sound plays, are read on the timer.
    if (m_pPanel && m_pPanel->WatchesMeters())
        m_pPanel->RefreshAudioControls();
    BarTicks::Actions actions;
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < TicksPassed(); ++i) {
        const auto a = m_ticks.Tick(m_pPanel != nullptr, m_props.nPollSeconds, now, m_bFirstStart);
        actions.poll |= a.poll;
        actions.playMemos |= a.playMemos;
        actions.secondCheck |= a.secondCheck;
    }
    if (actions.poll) {
        if (m_bMailUsable && m_mapi.IsMAPIEnabled())
            m_pInbox->FindVoicegramThread(1);
        m_pSonoscout->DecideToSearch();
    }
    if (actions.playMemos)
        m_pEchoMemos->PlayEchoMemosThread();
    if (actions.secondCheck)
        UpdateIndicators();
    CAppBarDlg::OnTimer();
}

bool CBarDlg::NeedsQuickTicks() {
    return CAppBarDlg::NeedsQuickTicks() || (m_pPanel && m_pPanel->WatchesMeters());
}

BOOL CBarDlg::IsBusy() {
    return m_bInboxOpen || m_bSendVoicegramOpen || m_bRecorderOpen || m_bCreateEchoMemoOpen ||
           m_bMemoManagerOpen || m_bSonoscoutOpen || m_bMenuOpen || m_bSheetOpen;
}

void CBarDlg::OnForcedOffAutoHide() {
    ShowBarMessage(this, QMessageBox::Critical, windowTitle(), ForcedOffAutoHideText());
}

void CBarDlg::PlayShowHideSound() {
    if (DockState().bShowHideSound)
        PlayBarSound(m_props.bDefaultShowHideSound, IDR_SHOWHIDE_SOUND, m_props.szShowHideSound,
                     sizeof m_props.szShowHideSound);
}

void CBarDlg::PlayDrawerSound() {
    if (DockState().bDrawerSound)
        PlayBarSound(m_props.bDefaultDrawerSound, IDR_DRAWER_SOUND, m_props.szDrawerSound,
                     sizeof m_props.szDrawerSound);
}

bool CBarDlg::AskTest() {
    if (m_pSonoscout && !SendMessage(m_pSonoscout, WM_QUERYENDSESSION))
        return false;
    if (m_bInboxOpen && m_pInbox && !SendMessage(m_pInbox, WM_QUERYENDSESSION))
        return false;
    if (m_bSendVoicegramOpen && m_pSendVoicegram &&
        !SendMessage(m_pSendVoicegram, WM_QUERYENDSESSION))
        return false;
    if (m_bMemoManagerOpen && m_pEchoMemos && !SendMessage(m_pEchoMemos, WM_QUERYENDSESSION))
        return false;
    if (m_bRecorderOpen && m_pRecorder && !SendMessage(m_pRecorder, WM_QUERYENDSESSION))
        return false;
    if (m_bCreateEchoMemoOpen && m_pCreateEchoMemo &&
        !SendMessage(m_pCreateEchoMemo, WM_QUERYENDSESSION))
        return false;
    return true;
}

void CBarDlg::OnExit() {
    if (!m_bClosing && AskTest())
        CloseBar();
}

bool CBarDlg::OnSessionEnding() {
    return m_bClosing || AskTest();
}

void CBarDlg::CloseDrawersAndWait() {
    if (m_bInboxOpen)
        m_pInbox->DestroyDrawer();
    if (m_pSendVoicegram)
        SendMessage(m_pSendVoicegram, WM_CLOSE);
    if (m_bMemoManagerOpen)
        m_pEchoMemos->DestroyDrawer();
    if (m_pRecorder)
        SendMessage(m_pRecorder, WM_CLOSE);
    if (m_pCreateEchoMemo)
        SendMessage(m_pCreateEchoMemo, WM_CLOSE);
    if (m_bSonoscoutOpen)
        m_pSonoscout->DestroyDrawer();
    // Drawers slide back before they report; give them a bounded moment to do so.
    QElapsedTimer waited;
    waited.start();
    while (IsBusy() && waited.elapsed() < kDrawerCloseWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void CBarDlg::CloseBar() {
    if (m_bClosing)
        return;
    m_bClosing = true;
    m_bPanelReady = false;
    if (onClosing)
        onClosing();
    // A notice or welcome still open is answered for the user: the bar is ending.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog != this && dialog->isModal() && dialog->isVisible())
            dialog->reject();
    }
    CloseDrawersAndWait();
    delete m_pSendVoicegram;
    delete m_pRecorder;
    delete m_pCreateEchoMemo;
    m_pSendVoicegram = m_pRecorder = m_pCreateEchoMemo = nullptr;
    delete m_pInbox;
    m_pInbox = nullptr;
    delete m_pEchoMemos;
    m_pEchoMemos = nullptr;
    delete m_pSonoscout;
    m_pSonoscout = nullptr;
    delete m_pPanel;
    m_pPanel = nullptr;
    if (m_pDrop) {
        m_pDrop->UnregisterWnd();
        m_pDrop.reset();
    }
    m_memoMutex.reset();
    m_inboxMutex.reset();
    SaveAndEnd();
}

void CBarDlg::SaveAndEnd() {
    m_bClosing = true;
    if (!m_settingsPath.isEmpty() || GetTonedeckPropertiesFilePath(m_settingsPath)) {
        DOCKSTATE live;
        GetDockState(&live);
        // Ending while the welcome is open: the user's choice is on top, not the welcome's.
        if (m_bOnTopLent)
            live.bAlwaysOnTop = 1;
        if (!SettingsFileIsOurs(m_settingsPath, m_settingsStamp)) {
            // Someone put another settings file in place while the bar ran (a fresh
            // start asked for, a tool's edit): that file stands, and the next start
            // reads it.
            qWarning("tonedeck: %s was replaced while the bar ran; it is left as it is",
                     qPrintable(m_settingsPath));
        } else if (!SaveBarSettings(m_settingsPath, m_props, live)) {
            showSaveError(QStringLiteral("Could not save Tonedeck properties"));
        }
    }
    m_bEnded = true;
    DestroyAppBar();
    done(0);
}

void CBarDlg::closeEvent(QCloseEvent* event) {
    // The window manager's close (Alt+F4 on most desktops) is the Exit command.
    event->ignore();
    if (!m_bEnded)
        OnExit();
}

void CBarDlg::keyPressEvent(QKeyEvent* event) {
    // The bar's accelerators. A dock window is never the desktop's active window, so they
    // are taken from the key events themselves rather than from window shortcuts.
    const auto mods =
        event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier);
    const std::pair<QKeyCombination, int> keys[] = {
        {QKeyCombination(Qt::AltModifier, Qt::Key_F4), ID_APP_EXIT},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_U), ID_AUTOHIDE},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_O), ID_ALWAYSONTOP},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_T), ID_TOOLTIPS},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_P), ID_PROPERTIES},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_W), ID_FIXITGUIDE},
        {QKeyCombination(Qt::ShiftModifier, Qt::Key_F10), ID_CONTEXT_MENU},
        {QKeyCombination(Qt::NoModifier, Qt::Key_Menu), ID_CONTEXT_MENU},
        {QKeyCombination(Qt::NoModifier, Qt::Key_F1), ID_HELP_CONTENTS},
    };
    for (const auto& [key, command] : keys) {
        if (key.keyboardModifiers() == mods && key.key() == event->key()) {
            OnCommand(command);
            return;
        }
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    if (event->key() == Qt::Key_Escape && !IsDragging())
        return;
    CAppBarDlg::keyPressEvent(event);
}
