// The America Online dialogs and the sending path the drawers share. CDlgAOLAddress asks
// for the addressees ("Send To:" and "Cc:", names separated by commas), whether to send
// now or later, and the sign-on (screen name, password, "Remember Password");
// CDlgAOLSignOn asks for the sign-on alone before the sender starts. SendVoicegramByAOL
// runs the whole path for a drawer: address dialog, queueing through CAOL, sending now or
// telling the bar that mail was queued. The password typed stays in memory: it reaches
// the sender on its standard input only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "tdkit/settings/properties.h"

class CAOL;
class QCheckBox;
class QLineEdit;
class QRadioButton;

inline constexpr unsigned kAOLAddressHelpTopic = 139;
inline constexpr unsigned kAOLSignOnHelpTopic = 138;

class CDlgAOLAddress : public QDialog {
public:
    CDlgAOLAddress(QWidget* parent, const QString& screenName, const QString& password,
                   int remember);

    // The values after OK.
    void GetAddressees(QString& to, QString& cc, QString& screenName, QString& password,
                       int* remember) const;
    // 1 when "Send Now" was chosen.
    int SendNow() const;

    // Refuses OK while both addressee fields are empty.
    void accept() override;
    // What OK refused with last; tests look at it instead of a message box.
    QString m_strRefusal;

    QLineEdit* To() const { return m_pTo; }
    QLineEdit* Cc() const { return m_pCc; }
    QLineEdit* ScreenName() const { return m_pScreenName; }
    QLineEdit* Password() const { return m_pPassword; }
    QCheckBox* Remember() const { return m_pRemember; }
    QRadioButton* Now() const { return m_pNow; }
    QRadioButton* Later() const { return m_pLater; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_pTo;
    QLineEdit* m_pCc;
    QLineEdit* m_pScreenName;
    QLineEdit* m_pPassword;
    QCheckBox* m_pRemember;
    QRadioButton* m_pNow;
    QRadioButton* m_pLater;
};

// "AOL Screen Name and Password".
class CDlgAOLSignOn : public QDialog {
public:
    CDlgAOLSignOn(QWidget* parent, const QString& screenName, const QString& password,
                  int remember);
    void GetSignOn(QString& screenName, QString& password, int* remember) const;

    QLineEdit* ScreenName() const { return m_pScreenName; }
    QLineEdit* Password() const { return m_pPassword; }
    QCheckBox* Remember() const { return m_pRemember; }

private:
    QLineEdit* m_pScreenName;
    QLineEdit* m_pPassword;
    QCheckBox* m_pRemember;
};

// Gives aol the sign-on dialog above, owned by parent.
void InstallAOLSignOn(CAOL& aol, QWidget* parent);

// What the address dialog gave.
struct AOLAddressing {
    QString to, cc, screenName, password;
    int remember = 0;
    bool sendNow = true;
};

// Sends file (the caller's mail copy) to America Online users: asks the addressees
// (ask: the dialog by default, tests answer it), stores the sign-on back into mail,
// queues the voicegram, then starts the sender ("Send Now") or posts the bar that mail
// was queued ("Send Later"). A failure says "Could not send Voicegram.". Without
// "Remember Password" the stored password is cleared afterwards. 1 when queued (and,
// with Send Now, the sender started); 0 on cancel or failure.
int SendVoicegramByAOL(QWidget* owner, QObject* bar, MAILPROPERTIES* mail, const QString& subject,
                       const QString& noteText, const QString& file,
                       std::function<bool(AOLAddressing*)> ask = {});
