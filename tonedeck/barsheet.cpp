// The bar's settings sheet and the menu commands around it: the sheet is built with
// every page in order, run, and what the user confirmed is applied to the running bar.
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>

#include "platform/message.h"
#include "tdinbox/ui/audiomessaging.h"
#include "tdinbox/ui/propertiesaudiomessaging.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/maildialogs.h"
#include "tdmemo/ui/echomemos.h"
#include "tdmemo/ui/propertiesechomemos.h"
#include "tdpost/ui/recorderpages.h"
#include "tdseek/ui/propertiessonoscout.h"
#include "tonedeck/autostart.h"
#include "tonedeck/bardlg.h"
#include "tonedeck/barpanel.h"
#include "tonedeck/dialogs.h"
#include "tonedeck/properties.h"

void CBarDlg::OnProperties() {
    // 1. The live docking state goes into the record; the bar is busy while the sheet is up.
    GetDockState(&m_props.DockState);
    m_bSheetOpen = true;
    QString userBefore;
    GetCurrentUser(userBefore);

    // 2. The sheet, on the page last confirmed.
    CProperties sheet(this, m_nLastSheetPage);
    const bool mailWasEnabled = m_mapi.IsMAPIEnabled() != 0;

    // 3. Every page with its record, in the sheet's order. A drawer library's page is
    // added with AddLibraryPage<Page>(title, &record, helpTopic): all the sheet needs of it
    // is a constructor without arguments, InitProperties(record*) and
    // UpdateProperties(record*).
    auto* barPage = new CPropertiesTonedeck;
    barPage->InitProperties(m_props, m_props.DockState, m_bMailUsable,
                            m_mixMgr.IsOverallPlaybackBassControlValid() != 0,
                            IsSRSDemoAllowed() != 0, IsAutostartEnabled());
    sheet.AddPage(barPage, QStringLiteral("Tonedeck"), kBarPageHelpTopic);
    QWidget* voicegram = sheet.AddLibraryPage<CPropertiesVoicegram>(
        QStringLiteral("Send Voicegram"), &m_props.SendVoicegramProps);
    QWidget* inbox = sheet.AddLibraryPage<CPropertiesAudioMessaging>(
        QStringLiteral("Voicegram Box"), &m_props.MessageProps);
    QWidget* sayIt = sheet.AddLibraryPage<CPropertiesSayIt>(QStringLiteral("Create EchoMemo"),
                                                            &m_props.CreateEchoMemoProps);
    QWidget* echoMemos = sheet.AddLibraryPage<CPropertiesEchoMemos>(
        QStringLiteral("EchoMemos Manager"), &m_props.EchoMemosProps);
    QWidget* recorder = sheet.AddLibraryPage<CPropertiesRecorder>(QStringLiteral("Recorder"),
                                                                  &m_props.RecorderProps);
    QWidget* sonoscout = sheet.AddLibraryPage<CPropertiesSonoscout>(QStringLiteral("Sonoscout"),
                                                                    &m_props.SonoscoutProps);
    auto* mailPage = new CPropertiesMail;
    mailPage->InitProperties(m_props.MailProps, IsAOLInstalled() != 0);
    sheet.AddPage(mailPage, QStringLiteral("Mail"), kMailPageHelpTopic);
    auto* userPage = new CPropertiesUser;
    userPage->InitProperties(&m_props);
    sheet.AddPage(userPage, QStringLiteral("User"), kUserPageHelpTopic);
    for (int i = 0; i < sheet.PageCount(); ++i)
        if (auto* page = dynamic_cast<CPropertiesRecorderBase*>(sheet.Page(i)))
            sheet.Tabs()->setTabText(i, page->Title());

    const int result = runSheet ? runSheet(sheet) : sheet.exec();
    // 4. On OK the records come back, the bar's own first.
    const bool confirmed = result == QDialog::Accepted;
    if (confirmed) {
        barPage->UpdateProperties(&m_props, &m_props.DockState);
        for (QWidget* page : {voicegram, inbox, echoMemos, recorder, sayIt})
            if (page)
                sheet.UpdatePage(page);
        mailPage->UpdateProperties(&m_props.MailProps);
        if (sonoscout)
            sheet.UpdatePage(sonoscout);
        userPage->OnOK();
        if (barPage->Autostart() != IsAutostartEnabled()) {
            QString error;
            if (!SetAutostartEnabled(barPage->Autostart(), &error))
                ShowBarMessage(this, QMessageBox::Warning, windowTitle(), error);
        }
        m_nLastSheetPage = sheet.ActivePage();
    }
    // New, Remove and Change Name act at once, whatever the sheet's outcome: the bar's
    // settings file follows the current user.
    QString userAfter;
    GetCurrentUser(userAfter);
    const bool userChanged = userAfter != userBefore;
    if (userChanged)
        FollowCurrentUser(userBefore);
    if (confirmed || userChanged)
        ApplySheet(mailWasEnabled);
    m_bSheetOpen = false;
}

void CBarDlg::ApplySheet(bool mailWasEnabled) {
    MAILPROPERTIES& mail = m_props.MailProps;
    const bool wanted = mail.bMAPI || mail.bCompuServe;
    if (!mailWasEnabled && wanted) {
        InstallMailDialogs();
        m_mapi.Start();
    } else if (mailWasEnabled && !wanted) {
        m_mapi.End();
    }
    if (m_props.bShowSendVoicegram && !((wanted && m_mapi.IsMAPIEnabled()) || mail.bAOL))
        m_props.bShowSendVoicegram = 0;
    m_bMailUsable = m_mapi.IsMAPIEnabled() || mail.bAOL;

    // The bar re-docks with the new switches and its panel is built again.
    ApplySettings(&m_props.DockState);
    if (m_bPanelReady && !BuildPanel(GetEdge())) {
        SaveAndEnd();
        return;
    }
    if (m_bMailUsable)
        m_props.bNoMailWarningOff = 0;
    if (!m_bMailUsable && !m_props.bNoMailWarningOff)
        PostMessage(this, RegisterWindowMessage("TonedeckNoMailNotice"));

    m_nInboxState = 0;
    if (m_pInbox) {
        m_pInbox->CreateMailListThread();
        m_pInbox->FindVoicegramThread(0);
    }
    if (m_pEchoMemos) {
        m_pEchoMemos->RefreshHoldAll();  // the sheet may have held or released playback
        m_pEchoMemos->InitEchoMemos();
        m_pEchoMemos->GetEchoMemosThread();
    }
}

void CBarDlg::FollowCurrentUser(const QString& before) {
    QString newPath;
    if (!GetTonedeckPropertiesFilePath(newPath))
        return;
    const SettingsStamp moved = StampSettingsFile(newPath);
    if (moved.exists && moved == m_settingsStamp) {
        // The current user was renamed: the same file, in the renamed folder.
        m_settingsPath = newPath;
        return;
    }
    // Another user: the settings as they stand stay with the user who had them, and the
    // bar goes on with the settings of the user who is current now.
    QString usersDir;
    if (!m_settingsPath.isEmpty() && GetTonedeckUsersDirectory(usersDir) &&
        QFileInfo(usersDir + u'/' + before).isDir() &&
        SettingsFileIsOurs(m_settingsPath, m_settingsStamp)) {
        DOCKSTATE live;
        GetDockState(&live);
        SaveBarSettings(m_settingsPath, m_props, live);
    }
    PROPERTIES theirs;
    if (ReadPropertiesFile(newPath, &theirs)) {
        DOCKSTATE live;
        GetDockState(&live);
        m_props = theirs;
        // Where the bar stands is the screen's, not the user's: it stays put.
        m_props.DockState = live;
    }
    m_settingsPath = newPath;
    m_settingsStamp = StampSettingsFile(newPath);
}

void CBarDlg::OnHelpContents() {
    OpenHelpFile(this);
}
