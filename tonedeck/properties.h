// The settings sheet and the bar's own pages: CProperties gathers the bar's pages and the
// pages the drawer libraries export; CPropertiesTonedeck edits the bar's switches and
// sounds, CPropertiesMail the mail systems, CPropertiesUser the users.
#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

#include "tdkit/settings/properties.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// Help topics of the bar's pages.
inline constexpr unsigned kBarPageHelpTopic = 25;
inline constexpr unsigned kMailPageHelpTopic = 40005;
inline constexpr unsigned kUserPageHelpTopic = 40006;

// "Tonedeck Properties": a tab per page, OK and Cancel, no Apply. F1 and the Help button
// open the active page's help topic.
class CProperties : public QDialog {
public:
    CProperties(QWidget* owner, int activePage);

    // Adds a page under its tab title; help is its topic (0: the help contents).
    void AddPage(QWidget* page, const QString& title, unsigned help);
    // A page of a drawer library: made with no arguments, handed its record now, and asked
    // to give it back by UpdatePage. The page's record type is all the sheet needs to know.
    template <typename Page, typename Record>
    Page* AddLibraryPage(const QString& title, Record* record, unsigned help = 0) {
        auto* page = new Page();
        page->InitProperties(record);
        if constexpr (requires { page->HelpContext(); })
            help = page->HelpContext();
        AddPage(page, title, help);
        m_updates.push_back({page, [page, record] { page->UpdateProperties(record); }});
        return page;
    }
    // Gives a library page's record back (nothing for a page not added that way).
    void UpdatePage(const QWidget* page) const;

    int PageCount() const;
    QWidget* Page(int index) const;
    QString PageTitle(int index) const;
    int ActivePage() const;
    QTabWidget* Tabs() const { return m_pTabs; }
    // Opens the active page's help topic.
    void ShowPageHelp() const;

    // Opens a help topic (through OpenHelpTopic, which the program routes to its pages).
    static void OpenTopic(unsigned topic);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QTabWidget* m_pTabs;
    int m_nStartPage;
    std::vector<unsigned> m_helps;
    std::vector<std::pair<const QWidget*, std::function<void()>>> m_updates;
};

// The bar's own page, "Tonedeck".
class CPropertiesTonedeck : public QWidget {
public:
    explicit CPropertiesTonedeck(QWidget* parent = nullptr);

    // mailUsable greys Send Voicegram; bassValid greys Treble/Bass; srsAllowed shows SRS.
    // dock is the bar's live docking state, whose two sound switches the page edits.
    void InitProperties(const PROPERTIES& props, const DOCKSTATE& dock, bool mailUsable,
                        bool bassValid, bool srsAllowed, bool autostart);
    void UpdateProperties(PROPERTIES* props, DOCKSTATE* dock) const;
    bool Autostart() const;

    QCheckBox* Check(int id) const;  // by control id
    QRadioButton* Radio(int id) const;
    QLineEdit* ShowHideSound() const { return m_pShowHideEdit; }
    QLineEdit* DrawerSound() const { return m_pDrawerEdit; }
    QCheckBox* AutostartBox() const { return m_pAutostart; }

    // How Browse chooses a file (tests replace it): the current name in, the choice out
    // (empty: cancelled).
    std::function<QString(const QString& current)> chooseSound;

private:
    void UpdateEnabling();
    void Browse(QCheckBox* sound, QLineEdit* edit, QRadioButton* custom);

    std::vector<std::pair<int, QCheckBox*>> m_checks;
    std::vector<std::pair<int, QRadioButton*>> m_radios;
    QLineEdit* m_pShowHideEdit;
    QLineEdit* m_pDrawerEdit;
    QPushButton* m_pShowHideBrowse;
    QPushButton* m_pShowHideTest;
    QPushButton* m_pDrawerBrowse;
    QPushButton* m_pDrawerTest;
    QCheckBox* m_pAutostart;
    bool m_bSrsAllowed = false;
};

// "Mail": the mail systems and the America Online sign-on.
class CPropertiesMail : public QWidget {
public:
    explicit CPropertiesMail(QWidget* parent = nullptr);
    void InitProperties(const MAILPROPERTIES& mail, bool aolInstalled);
    void UpdateProperties(MAILPROPERTIES* mail) const;

    QCheckBox* Mapi() const { return m_pMapi; }
    QCheckBox* Aol() const { return m_pAol; }
    QCheckBox* CompuServe() const { return m_pCompuServe; }
    QCheckBox* Remember() const { return m_pRemember; }
    QLineEdit* ScreenName() const { return m_pScreenName; }
    QLineEdit* Password() const { return m_pPassword; }

private:
    void UpdateEnabling();
    QCheckBox* m_pMapi;
    QCheckBox* m_pAol;
    QCheckBox* m_pCompuServe;
    QCheckBox* m_pRemember;
    QLineEdit* m_pScreenName;
    QLineEdit* m_pPassword;
};

// "User": the users, the current one, and New, Remove and Change Name, which act on the
// disk at once whatever the sheet's outcome.
class CPropertiesUser : public QWidget {
public:
    explicit CPropertiesUser(QWidget* parent = nullptr);
    // props is the bar's record: a new user starts with a copy of it.
    void InitProperties(PROPERTIES* props);
    // The sheet's OK: makes the selected user current; true when that changed the user.
    bool OnOK();

    void OnNew();
    void OnRemove();
    void OnChangeName();

    QComboBox* Users() const { return m_pUsers; }
    QPushButton* RemoveButton() const { return m_pRemove; }

    // The questions the buttons ask and the messages they give; tests answer them.
    std::function<QString()> askNewName;                       // empty: cancelled
    std::function<QString(const QString& present)> askRename;  // empty: cancelled
    std::function<bool(const QString& user, const QStringList& contents)> confirmRemove;
    std::function<void(const QString& caption, const QString& text)> tell;

private:
    void Fill(const QString& select);
    void UpdateButtons();
    QString SettingsPath() const;

    PROPERTIES* m_pProps = nullptr;
    QComboBox* m_pUsers;
    QPushButton* m_pNew;
    QPushButton* m_pRemove;
    QPushButton* m_pRename;
};

// "New User": the name of the new user.
class CNewUserDlg : public QDialog {
public:
    explicit CNewUserDlg(QWidget* parent = nullptr);
    QString Name() const;

private:
    QLineEdit* m_pName;
};

// "Change User Name": the present name and the new one.
class CChangeUserNameDlg : public QDialog {
public:
    CChangeUserNameDlg(const QString& present, QWidget* parent = nullptr);
    QString NewName() const;

private:
    QLineEdit* m_pNewName;
};
