// The bar's popup menu, its accelerators, help and the settings sheet with its pages, on
// the in-process shell without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <cstring>

#include "platform/desktop/appbar.h"
#include "platform/desktop/appbar_virtual.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/users.h"
#include "tdkit/ui/helptopic.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdmemo/ui/echomemos.h"
#include "tonedeck/autostart.h"
#include "tonedeck/bardlg.h"
#include "tonedeck/barpanel.h"
#include "tonedeck/dialogs.h"
#include "tonedeck/properties.h"
#include "tonedeck/tests/testapp.h"

namespace {

// Fields of the packed settings records are compared as values (+field): the test macros
// take references, and a reference to a packed field may be misaligned.

struct MenuItem {
    QString text;
    int command = 0;
    bool enabled = false, checked = false, separator = false;
};

class BarMenu : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", (dir_.path() + "/reg").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", (dir_.path() + "/run").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toLocal8Bit());
        qputenv("TONEDECK_AUDIO", "virtual");
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        users_ = dir_.path() + "/root/Users";
        SetAppBarShell(&shell_);
        CSlidingDrawer::SetSlideClock([this] { return now_ += 1000; });
        SetHelpPageOpener([this](const QString& path) {
            helpOpened_ << path;
            return true;
        });
        bar_ = std::make_unique<CBarDlg>();
        bar_->showWelcome = [] {};
        bar_->showNoMail = [this](bool) {
            ++noMailNotices_;
            return false;
        };
        bar_->showSaveError = [](const QString&) {};
        bar_->runMenu = [this](QMenu* menu, QPoint at) -> QAction* {
            menuAt_ = at;
            menu_.clear();
            for (QAction* a : menu->actions())
                menu_.push_back({a->text(), a->data().toInt(), a->isEnabled(), a->isChecked(),
                                 a->isSeparator()});
            busyInMenu_ = SendMessage(bar_.get(), WM_BAR_ISDRAWEROPEN, 0) >= 0 && menuBusy();
            for (QAction* a : menu->actions())
                if (!a->isSeparator() && a->data().toInt() == chooseFromMenu_)
                    return a;
            return nullptr;
        };
        bar_->runSheet = [this](CProperties& sheet) {
            ++sheets_;
            return onSheet_ ? onSheet_(sheet) : int(QDialog::Rejected);
        };
        ASSERT_TRUE(bar_->Initialise());
        bar_->show();
        ASSERT_TRUE(PumpUntil([&] { return bar_->EchoMemos()->IsListReady() != 0; }));
    }
    void TearDown() override {
        bar_.reset();
        SetHelpPageOpener(nullptr);
        SetHelpTopicOpener(nullptr);
        CSlidingDrawer::SetSlideClock(nullptr);
        SetAppBarShell(nullptr);
        for (const char* v :
             {"TONEDECK_REGISTRY_DIR", "XDG_RUNTIME_DIR", "TONEDECK_AUDIO", "XDG_CONFIG_HOME"})
            qunsetenv(v);
    }
    bool menuBusy() { return bar_->Properties().bToolTips >= 0; }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(bar_.get(), &press);
    }
    void Click(int command) { SendMessage(bar_.get(), WM_COMMAND, WPARAM(command)); }
    bool Open(int command) {
        return SendMessage(bar_.get(), WM_BAR_ISDRAWEROPEN, WPARAM(command)) != 0;
    }
    QString Current() {
        QString user;
        GetCurrentUser(user);
        return user;
    }
    template <typename Page>
    static Page* Find(CProperties& sheet) {
        for (int i = 0; i < sheet.PageCount(); ++i)
            if (auto* page = dynamic_cast<Page*>(sheet.Page(i)))
                return page;
        return nullptr;
    }

    QTemporaryDir dir_;
    QString users_;
    VirtualAppBarShell shell_{RECT{0, 0, 1024, 768}};
    int64_t now_ = 0;
    std::unique_ptr<CBarDlg> bar_;
    QPoint menuAt_{-1, -1};
    std::vector<MenuItem> menu_;
    bool busyInMenu_ = false;
    int chooseFromMenu_ = 0;
    int sheets_ = 0;
    std::function<int(CProperties&)> onSheet_;
    QStringList helpOpened_;
    int noMailNotices_ = 0;
};

TEST_F(BarMenu, ShiftF10AndTheMenuKeyOpenEveryCommandInOrderAtTheBarsMiddle) {
    const QPoint middle = bar_->mapToGlobal(bar_->rect().center());
    Key(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menuAt_, middle);
    const std::vector<std::pair<int, QString>> want = {{ID_ALWAYSONTOP, "Always &On Top\tCtrl+O"},
                                                       {ID_AUTOHIDE, "A&uto Hide\tCtrl+U"},
                                                       {ID_TOOLTIPS, "Display &Tooltips\tCtrl+T"},
                                                       {0, ""},
                                                       {ID_HELP_CONTENTS, "&Help Contents\tF1"},
                                                       {ID_APP_ABOUT, "&About Tonedeck..."},
                                                       {0, ""},
                                                       {ID_FIXITGUIDE, "Fixit &Guide\tCtrl+W"},
                                                       {ID_PROPERTIES, "&Properties\tCtrl+P"},
                                                       {0, ""},
                                                       {ID_APP_EXIT, "E&xit\tAlt+F4"}};
    ASSERT_EQ(menu_.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(menu_[i].separator, want[i].first == 0) << i;
        if (want[i].first) {
            EXPECT_EQ(menu_[i].command, want[i].first) << i;
            EXPECT_EQ(menu_[i].text, want[i].second) << i;
            EXPECT_TRUE(menu_[i].enabled) << i;
        }
    }
    EXPECT_EQ(menu_[2].checked, bar_->Properties().bToolTips != 0);

    menuAt_ = {-1, -1};
    Key(Qt::Key_Menu);
    EXPECT_EQ(menuAt_, middle);
    // The right button gives the pointer's point instead.
    menuAt_ = {-1, -1};
    bar_->Panel()->onContextMenu(QPoint(3, 400));
    EXPECT_EQ(menuAt_, QPoint(3, 400));
    // The menu's choice runs its command: Properties opens the sheet.
    chooseFromMenu_ = ID_PROPERTIES;
    Key(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(sheets_, 1);
}

TEST_F(BarMenu, WhileADrawerIsOpenAutoHideAndPropertiesAreGreyButCtrlPStillOpensTheSheet) {
    Click(ID_RECORDER);
    ASSERT_TRUE(PumpUntil([&] { return Open(ID_RECORDER); }));
    Key(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(menu_.size(), 11u);
    EXPECT_FALSE(menu_[1].enabled) << "Auto Hide";
    EXPECT_FALSE(menu_[8].enabled) << "Properties";
    EXPECT_TRUE(menu_[0].enabled);

    const BOOL autoHide = bar_->Properties().DockState.bAutoHide;
    Key(Qt::Key_U, Qt::ControlModifier);
    DOCKSTATE live{};
    bar_->GetDockState(&live);
    EXPECT_EQ(live.bAutoHide, autoHide) << "Ctrl+U does nothing while busy";

    bool busyInSheet = false;
    onSheet_ = [&](CProperties&) {
        busyInSheet = SendMessage(bar_.get(), WM_BAR_ISDRAWEROPEN, WPARAM(ID_RECORDER)) != 0;
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(sheets_, 1);
    EXPECT_TRUE(busyInSheet);
    EXPECT_TRUE(Open(ID_RECORDER)) << "the drawer stays open";
    Click(ID_RECORDER);
    ASSERT_TRUE(PumpUntil([&] { return !Open(ID_RECORDER); }));
}

TEST_F(BarMenu, TheSheetHasEveryPageInOrderAndOpensOnThePageLastConfirmed) {
    QStringList titles;
    int openedOn = -1;
    onSheet_ = [&](CProperties& sheet) {
        titles.clear();
        for (int i = 0; i < sheet.PageCount(); ++i)
            titles << sheet.PageTitle(i);
        sheet.show();
        openedOn = sheet.ActivePage();
        sheet.Tabs()->setCurrentIndex(sheet.PageCount() - 2);
        sheet.hide();
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(titles,
              (QStringList{"Tonedeck", "Send Voicegram", "Voicegram Box", "Create Echo Memos",
                           "EchoMemos Manager", "Audio Recorder", "Sonoscout", "Mail", "User"}));
    EXPECT_EQ(openedOn, 0);
    EXPECT_EQ(bar_->LastSheetPage(), titles.size() - 2);
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(openedOn, titles.size() - 2);
    // Cancel does not move the page it opens on.
    onSheet_ = [&](CProperties& sheet) {
        sheet.Tabs()->setCurrentIndex(0);
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(bar_->LastSheetPage(), titles.size() - 2);
}

TEST_F(BarMenu, UntickingTrebleBassRemovesBothControlsAndCancelChangesNothing) {
    ASSERT_TRUE(bar_->Panel()->Layout().Has(AudioElement::Treble));
    ASSERT_TRUE(bar_->Panel()->Layout().Has(AudioElement::Bass));
    // Cancel: the page's changes are dropped.
    onSheet_ = [&](CProperties& sheet) {
        Find<CPropertiesTonedeck>(sheet)->Check(1091)->setChecked(false);
        Find<CPropertiesTonedeck>(sheet)->Check(1031)->setChecked(false);
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(bar_->Panel()->Layout().Has(AudioElement::Treble));
    EXPECT_NE(bar_->Panel()->Layout().ButtonIndex(ID_RECORDER), -1);
    EXPECT_NE(+bar_->Properties().bShowRecorder, 0);

    bool enabled = false;
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesTonedeck>(sheet);
        enabled = page->Check(1091)->isEnabled();
        page->Check(1091)->setChecked(false);
        page->Check(1031)->setChecked(false);
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(enabled) << "the virtual card has a bass control";
    EXPECT_EQ(+bar_->Properties().bShowTreble, 0);
    EXPECT_EQ(+bar_->Properties().bShowBass, 0);
    EXPECT_FALSE(bar_->Panel()->Layout().Has(AudioElement::Treble));
    EXPECT_FALSE(bar_->Panel()->Layout().Has(AudioElement::Bass));
    EXPECT_EQ(bar_->Panel()->Layout().ButtonIndex(ID_RECORDER), -1);
}

TEST_F(BarMenu, TheBarsPageEnablesItsSoundControlsAndKeepsPathsThatDoNotFit) {
    CPropertiesTonedeck page;
    PROPERTIES p = bar_->Properties();
    DOCKSTATE dock = p.DockState;
    dock.bShowHideSound = 0;
    p.bDefaultShowHideSound = 0;
    std::strcpy(p.szShowHideSound, "/old.wav");
    page.InitProperties(p, dock, false, false, false, false);
    EXPECT_FALSE(page.Check(1027)->isEnabled()) << "no mail: Send Voicegram grey";
    EXPECT_FALSE(page.Check(1091)->isEnabled()) << "no bass control";
    EXPECT_TRUE(page.Check(1033)->isHidden()) << "SRS not offered";
    EXPECT_FALSE(page.Radio(1046)->isEnabled());
    EXPECT_FALSE(page.ShowHideSound()->isEnabled());
    page.Check(1010)->click();
    EXPECT_TRUE(page.Radio(1046)->isEnabled());
    EXPECT_TRUE(page.ShowHideSound()->isEnabled()) << "custom is selected";
    page.Radio(1045)->click();
    EXPECT_FALSE(page.ShowHideSound()->isEnabled());

    // Browse turns the sound on, picks Custom and takes the chosen file.
    page.Check(1010)->click();
    page.chooseSound = [](const QString& current) {
        EXPECT_EQ(current, "/old.wav");
        return QString("/new.wav");
    };
    page.InitProperties(p, dock, true, true, false, false);
    QPushButton* browse = nullptr;
    for (auto* b : page.findChildren<QPushButton*>())
        if (b->text() == "Browse" && !browse)
            browse = b;
    ASSERT_NE(browse, nullptr);
    browse->setEnabled(true);
    browse->click();
    EXPECT_TRUE(page.Check(1010)->isChecked());
    EXPECT_EQ(page.ShowHideSound()->text(), "/new.wav");

    PROPERTIES out = p;
    DOCKSTATE outDock = dock;
    page.UpdateProperties(&out, &outDock);
    EXPECT_EQ(outDock.bShowHideSound, 1);
    EXPECT_EQ(out.bDefaultShowHideSound, 0);
    EXPECT_STREQ(out.szShowHideSound, "/new.wav");
    EXPECT_EQ(out.bShowSRS, 0);
    // A path of 255 bytes does not fit the field with its end: the field keeps its value.
    page.ShowHideSound()->setMaxLength(1000);
    page.ShowHideSound()->setText(QString(255, QChar(u'a')));
    page.UpdateProperties(&out, &outDock);
    EXPECT_STREQ(out.szShowHideSound, "/new.wav");
    page.ShowHideSound()->setText(QString(254, QChar(u'b')));
    page.UpdateProperties(&out, &outDock);
    EXPECT_EQ(std::strlen(out.szShowHideSound), 254u);
}

TEST_F(BarMenu, TheMailPageStopsAndStartsTheMailSystem) {
    // The provider built with the bar makes mail usable from the first start.
    ASSERT_NE(+bar_->Properties().MailProps.bMAPI, 0);
    ASSERT_NE(bar_->Panel()->Layout().ButtonIndex(ID_SEND_VOICEGRAM), -1);
    const int noticesAtStart = noMailNotices_;

    bool mapi = false;
    onSheet_ = [&](CProperties& sheet) {
        Find<CPropertiesMail>(sheet)->Mapi()->setChecked(mapi);
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(+bar_->Properties().MailProps.bMAPI, 0);
    EXPECT_EQ(bar_->Panel()->Layout().ButtonIndex(ID_SEND_VOICEGRAM), -1)
        << "no mail, no Send Voicegram button";
    EXPECT_TRUE(PumpUntil([&] { return noMailNotices_ > noticesAtStart; }))
        << "the user is told mail is now off";

    // Mail started again; the button comes back when the user asks for it on the bar's
    // page, which offers it again now that mail works.
    mapi = true;
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_NE(+bar_->Properties().MailProps.bMAPI, 0);
    bool offered = false;
    onSheet_ = [&](CProperties& sheet) {
        QCheckBox* send = Find<CPropertiesTonedeck>(sheet)->Check(1027);
        offered = send->isEnabled();
        send->setChecked(true);
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(offered);
    EXPECT_NE(bar_->Panel()->Layout().ButtonIndex(ID_SEND_VOICEGRAM), -1);
}

TEST_F(BarMenu, TheMailPageForgetsThePasswordUnlessRemembered) {
    CPropertiesMail page;
    MAILPROPERTIES mail{};
    mail.bAOL = 1;
    std::strcpy(mail.szAOLScreenName, "ann");
    std::strcpy(mail.szAOLPassword, "pw");
    page.InitProperties(mail, false);
    EXPECT_FALSE(page.Aol()->isEnabled());
    EXPECT_FALSE(page.Aol()->isChecked()) << "AOL not installed: forced off";
    page.InitProperties(mail, true);
    EXPECT_TRUE(page.ScreenName()->isEnabled());
    EXPECT_FALSE(page.Password()->isEnabled()) << "Remember Password is off";
    page.Remember()->click();
    EXPECT_TRUE(page.Password()->isEnabled());
    page.Remember()->click();
    MAILPROPERTIES out = mail;
    page.UpdateProperties(&out);
    EXPECT_EQ(out.szAOLPassword[0], 0);
    EXPECT_STREQ(out.szAOLScreenName, "ann");
    page.Remember()->click();
    page.Password()->setText("new");
    page.UpdateProperties(&out);
    EXPECT_STREQ(out.szAOLPassword, "new");
}

TEST_F(BarMenu, ANewUserStartsWithTheCreatorsSettingsWithoutTheAolNameAndPassword) {
    PROPERTIES& props = bar_->Properties();
    std::strcpy(props.MailProps.szAOLScreenName, "annscreen");
    std::strcpy(props.MailProps.szAOLPassword, "secret");
    props.nPollSeconds = 123;
    bool removeEnabledBefore = true, removeEnabledAfter = true;
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesUser>(sheet);
        removeEnabledBefore = page->RemoveButton()->isEnabled();
        page->askNewName = [] { return QString("Bob"); };
        page->OnNew();
        removeEnabledAfter = page->RemoveButton()->isEnabled();
        EXPECT_EQ(page->Users()->currentText(), "Bob");
        return int(QDialog::Rejected);  // New acts whatever the sheet's outcome
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(removeEnabledBefore) << "one user only";
    EXPECT_FALSE(removeEnabledAfter) << "the new user is current";
    EXPECT_EQ(Current(), "Bob");
    PROPERTIES bob{}, ann{};
    ASSERT_TRUE(ReadPropertiesFile(users_ + "/Bob/TDPROP.PRP", &bob));
    ASSERT_TRUE(ReadPropertiesFile(users_ + "/Ann/TDPROP.PRP", &ann));
    EXPECT_EQ(bob.nPollSeconds, 123);
    EXPECT_EQ(bob.MailProps.szAOLScreenName[0], 0);
    EXPECT_EQ(bob.MailProps.szAOLPassword[0], 0);
    EXPECT_STREQ(ann.MailProps.szAOLScreenName, "annscreen") << "the creator keeps theirs";
    EXPECT_EQ(ann.nPollSeconds, 123);
    EXPECT_EQ(bar_->Properties().MailProps.szAOLPassword[0], 0) << "the bar goes on as Bob";
    for (const char* d : {"ECHOMEMOS", "VOICEGRAM", "VOICEGRAM/AOLSend"})
        EXPECT_TRUE(QDir(users_ + "/Bob/" + d).exists()) << d;

    // At exit the bar's settings are Bob's.
    bar_->Properties().nPollSeconds = 77;
    bar_->CloseBar();
    ASSERT_TRUE(ReadPropertiesFile(users_ + "/Bob/TDPROP.PRP", &bob));
    EXPECT_EQ(bob.nPollSeconds, 77);
    ASSERT_TRUE(ReadPropertiesFile(users_ + "/Ann/TDPROP.PRP", &ann));
    EXPECT_EQ(ann.nPollSeconds, 123);
}

TEST_F(BarMenu, TheUserPageSwitchesOnlyOnOkAndRemovesOnlyOthersAfterNamingWhatTheyOwn) {
    PROPERTIES defaults = bar_->Properties();
    ASSERT_TRUE(AddUser("Cy", defaults).ok);
    ASSERT_TRUE(SwitchUser("Ann").ok);
    QDir().mkpath(users_ + "/Cy/ECHOMEMOS/later");
    QFile f(users_ + "/Cy/ECHOMEMOS/later/memo.wav");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    // A changed selection with Cancel leaves the user as it was.
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesUser>(sheet);
        page->Users()->setCurrentIndex(page->Users()->findText("Cy"));
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(Current(), "Ann");

    QStringList named;
    QStringList told;
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesUser>(sheet);
        page->tell = [&](const QString&, const QString& text) { told << text; };
        page->Users()->setCurrentIndex(page->Users()->findText("Ann"));
        EXPECT_FALSE(page->RemoveButton()->isEnabled()) << "Ann is current";
        page->OnRemove();
        EXPECT_EQ(told.size(), 1);
        page->Users()->setCurrentIndex(page->Users()->findText("Cy"));
        EXPECT_TRUE(page->RemoveButton()->isEnabled());
        page->confirmRemove = [&](const QString& user, const QStringList& contents) {
            named = contents;
            return user == "Cy";
        };
        page->OnRemove();
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(QDir(users_ + "/Ann").exists());
    EXPECT_FALSE(QDir(users_ + "/Cy").exists());
    EXPECT_TRUE(named.contains("ECHOMEMOS/later/memo.wav")) << named.join(", ").toStdString();

    // Rename onto another user in another letter case is refused; OK with a selection
    // switches the user.
    ASSERT_TRUE(AddUser("Dee", defaults).ok);
    ASSERT_TRUE(SwitchUser("Ann").ok);
    told.clear();
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesUser>(sheet);
        page->tell = [&](const QString&, const QString& text) { told << text; };
        page->Users()->setCurrentIndex(page->Users()->findText("Dee"));
        page->askRename = [](const QString&) { return QString("ANN"); };
        page->OnChangeName();
        EXPECT_EQ(told.size(), 1);
        EXPECT_TRUE(QDir(users_ + "/Dee").exists());
        page->Users()->setCurrentIndex(page->Users()->findText("Dee"));
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(Current(), "Dee");
}

TEST_F(BarMenu, RenamingTheCurrentUserKeepsTheBarsSettingsFile) {
    onSheet_ = [&](CProperties& sheet) {
        auto* page = Find<CPropertiesUser>(sheet);
        page->askRename = [](const QString&) { return QString("Anna"); };
        page->OnChangeName();
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(Current(), "Anna");
    bar_->Properties().nPollSeconds = 99;
    bar_->CloseBar();
    EXPECT_FALSE(QDir(users_ + "/Ann").exists()) << "nothing is written to the old folder";
    PROPERTIES anna{};
    ASSERT_TRUE(ReadPropertiesFile(users_ + "/Anna/TDPROP.PRP", &anna));
    EXPECT_EQ(anna.nPollSeconds, 99);
}

TEST_F(BarMenu, HelpOpensAtTheTopicOfThePageInFront) {
    Key(Qt::Key_F1);
    ASSERT_EQ(helpOpened_.size(), 1);
    EXPECT_TRUE(helpOpened_[0].endsWith("/Tonedeck.html")) << helpOpened_[0].toStdString();
    Click(ID_HELP);
    Click(ID_CONTEXT_HELP);
    EXPECT_EQ(helpOpened_.size(), 3);

    onSheet_ = [&](CProperties& sheet) {
        for (int i : {0, sheet.PageCount() - 2, sheet.PageCount() - 1}) {
            sheet.Tabs()->setCurrentIndex(i);
            QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
            QApplication::sendEvent(&sheet, &f1);
        }
        // F1 inside a page goes to that page's topic too.
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(Find<CPropertiesMail>(sheet)->ScreenName(), &f1);
        return int(QDialog::Rejected);
    };
    Key(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(helpOpened_.size(), 7);
    EXPECT_TRUE(helpOpened_[3].endsWith("/Tonedeck.html#topic-25"));
    EXPECT_TRUE(helpOpened_[4].endsWith("#topic-40005"));
    EXPECT_TRUE(helpOpened_[5].endsWith("#topic-40006"));
    EXPECT_TRUE(helpOpened_[6].endsWith("#topic-40005"));
    // Every topic the sheet's pages use has its anchor in the page.
    QString helpDir;
    ASSERT_TRUE(GetTonedeckHelpDirectory(helpDir));
    QFile page(helpDir + "/Tonedeck.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    for (int topic : {25, 40005, 40006, 7501, 5501, 6501, 166, 179, 141, 138, 139})
        EXPECT_TRUE(html.contains(QByteArray("id=\"topic-") + QByteArray::number(topic) + '"'))
            << topic;
}

TEST_F(BarMenu, TheFixitGuidePutsTheBarBackOnTopAndAboutShowsTheVersion) {
    DOCKSTATE live{};
    bar_->GetDockState(&live);
    live.bAlwaysOnTop = 1;
    bar_->ApplySettings(&live);
    int runs = 0;
    bar_->runFixitGuide = [&] {
        ++runs;
        DOCKSTATE d{};
        bar_->GetDockState(&d);
        d.bAlwaysOnTop = 0;  // the guide's own windows went above the bar
        bar_->ApplySettings(&d);
    };
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(runs, 1);
    bar_->GetDockState(&live);
    EXPECT_EQ(live.bAlwaysOnTop, 1);

    int abouts = 0;
    bar_->showAbout = [&] { ++abouts; };
    Click(ID_APP_ABOUT);
    EXPECT_EQ(abouts, 1);
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Quorvane Tonedeck");
    EXPECT_EQ(CAboutDlg::VersionText(), "Version 1.10,  November 8, 1996");
}

TEST_F(BarMenu, StartWithTheDesktopWritesAndRemovesTheUsersAutostartEntry) {
    const QString entry = dir_.path() + "/config/autostart/tonedeck.desktop";
    bool shownTicked = true;
    auto tick = [&](bool on) {
        onSheet_ = [&, on](CProperties& sheet) {
            auto* page = Find<CPropertiesTonedeck>(sheet);
            shownTicked = page->AutostartBox()->isChecked();
            page->AutostartBox()->setChecked(on);
            return int(QDialog::Accepted);
        };
        Key(Qt::Key_P, Qt::ControlModifier);
    };
    tick(true);
    EXPECT_FALSE(shownTicked);
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(IsAutostartEnabled());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"))
        << text.toStdString();
    tick(false);
    EXPECT_TRUE(shownTicked);
    EXPECT_FALSE(QFile::exists(entry));
    // An entry the desktop turned off counts as off.
    ASSERT_TRUE(SetAutostartEnabled(true));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(IsAutostartEnabled());
    // The program's path is quoted as the entry format asks.
    EXPECT_TRUE(AutostartEntryText("/opt/my \"td\"/$x\\tonedeck")
                    .contains("Exec=\"/opt/my \\\\\"td\\\\\"/\\\\$x\\\\\\\\tonedeck\"\n"))
        << AutostartEntryText("/opt/my \"td\"/$x\\tonedeck").toStdString();
}

}  // namespace
