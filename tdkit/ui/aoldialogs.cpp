#include "tdkit/ui/aoldialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstring>

#include "platform/message.h"
#include "tdkit/mail/aol.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/ui/helptopic.h"

namespace {

// The sign-on fields hold 29 bytes and their NUL.
constexpr int kSignOnBytes = int(sizeof(MAILPROPERTIES::szAOLScreenName)) - 1;

QString Field(const char* field, std::size_t size) {
    return QString::fromLocal8Bit(field, qsizetype(strnlen(field, size)));
}

bool Fits(const QString& text) {
    return text.toLocal8Bit().size() <= kSignOnBytes;
}

// Stores text into a field when it fits; a field it does not fit is left as it was.
bool Store(char* field, std::size_t size, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    if (std::size_t(bytes.size()) >= size || bytes.contains('\0'))
        return false;
    std::memset(field, 0, size);
    std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
    return true;
}

// The sign-on rows both dialogs show.
void AddSignOn(QFormLayout* form, QWidget* parent, QLineEdit** name, QLineEdit** password,
               QCheckBox** remember, const QString& nameText, const QString& passwordText,
               int rememberOn) {
    *name = new QLineEdit(nameText, parent);
    *password = new QLineEdit(passwordText, parent);
    (*password)->setEchoMode(QLineEdit::Password);
    for (QLineEdit* e : {*name, *password})
        e->setMaxLength(kSignOnBytes);
    *remember = new QCheckBox(QStringLiteral("Remember Password"), parent);
    (*remember)->setChecked(rememberOn != 0);
    form->addRow(QStringLiteral("Screen Name:"), *name);
    form->addRow(QStringLiteral("Password:"), *password);
    form->addRow(*remember);
}

QDialogButtonBox* Buttons(QDialog* dialog, unsigned help) {
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::helpRequested, dialog,
                     [help] { OpenHelpTopic(help); });
    new HelpKeyFilter(dialog, help);
    return buttons;
}

}  // namespace

CDlgAOLAddress::CDlgAOLAddress(QWidget* parent, const QString& screenName, const QString& password,
                               int remember)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("AOL Mail Address"));
    auto* layout = new QVBoxLayout(this);
    auto* addressees = new QFormLayout;
    m_pTo = new QLineEdit(this);
    m_pTo->setMinimumWidth(300);
    m_pTo->setToolTip(QStringLiteral("Screen names, separated by commas"));
    m_pCc = new QLineEdit(this);
    addressees->addRow(QStringLiteral("Send To:"), m_pTo);
    addressees->addRow(QStringLiteral("Cc:"), m_pCc);
    layout->addLayout(addressees);

    auto* when = new QHBoxLayout;
    m_pNow = new QRadioButton(QStringLiteral("Send Now"), this);
    m_pLater = new QRadioButton(QStringLiteral("Send Later"), this);
    m_pNow->setChecked(true);
    when->addWidget(m_pNow);
    when->addWidget(m_pLater);
    when->addStretch();
    layout->addLayout(when);

    auto* group = new QGroupBox(QStringLiteral("Sign On"), this);
    auto* signOn = new QFormLayout(group);
    AddSignOn(signOn, group, &m_pScreenName, &m_pPassword, &m_pRemember, screenName, password,
              remember);
    layout->addWidget(group);
    layout->addWidget(Buttons(this, kAOLAddressHelpTopic));
}

void CDlgAOLAddress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_pTo->setFocus();
}

void CDlgAOLAddress::accept() {
    if (m_pTo->text().trimmed().isEmpty() && m_pCc->text().trimmed().isEmpty()) {
        m_strRefusal = QStringLiteral("At least one addressee is required");
        if (isVisible())
            QMessageBox::information(this, QStringLiteral("Please enter an addressee"),
                                     m_strRefusal);
        m_pTo->setFocus();
        return;
    }
    if (!Fits(m_pScreenName->text()) || !Fits(m_pPassword->text())) {
        m_strRefusal = QStringLiteral(
                           "The screen name and the password may each be at most "
                           "%1 characters long.")
                           .arg(kSignOnBytes);
        if (isVisible())
            QMessageBox::information(this, windowTitle(), m_strRefusal);
        return;
    }
    m_strRefusal.clear();
    QDialog::accept();
}

void CDlgAOLAddress::GetAddressees(QString& to, QString& cc, QString& screenName, QString& password,
                                   int* remember) const {
    to = m_pTo->text().trimmed();
    cc = m_pCc->text().trimmed();
    screenName = m_pScreenName->text().trimmed();
    password = m_pPassword->text();
    if (remember)
        *remember = m_pRemember->isChecked() ? 1 : 0;
}

int CDlgAOLAddress::SendNow() const {
    return m_pNow->isChecked() ? 1 : 0;
}

CDlgAOLSignOn::CDlgAOLSignOn(QWidget* parent, const QString& screenName, const QString& password,
                             int remember)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("AOL Screen Name and Password"));
    auto* form = new QFormLayout(this);
    AddSignOn(form, this, &m_pScreenName, &m_pPassword, &m_pRemember, screenName, password,
              remember);
    form->addRow(Buttons(this, kAOLSignOnHelpTopic));
}

void CDlgAOLSignOn::GetSignOn(QString& screenName, QString& password, int* remember) const {
    screenName = m_pScreenName->text().trimmed();
    password = m_pPassword->text();
    if (remember)
        *remember = m_pRemember->isChecked() ? 1 : 0;
}

void InstallAOLSignOn(CAOL& aol, QWidget* parent) {
    aol.SetSignOnDialog([parent](QString& screenName, QString& password, int& remember) {
        CDlgAOLSignOn dialog(parent, screenName, password, remember);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        dialog.GetSignOn(screenName, password, &remember);
        return Fits(screenName) && Fits(password);
    });
}

int SendVoicegramByAOL(QWidget* owner, QObject* bar, MAILPROPERTIES* mail, const QString& subject,
                       const QString& noteText, const QString& file,
                       std::function<bool(AOLAddressing*)> ask) {
    if (!mail)
        return 0;
    AOLAddressing a;
    a.screenName = Field(mail->szAOLScreenName, sizeof mail->szAOLScreenName);
    a.password = Field(mail->szAOLPassword, sizeof mail->szAOLPassword);
    a.remember = mail->bRememberPassword;
    if (!ask) {
        ask = [owner](AOLAddressing* x) {
            CDlgAOLAddress dialog(owner, x->screenName, x->password, x->remember);
            if (dialog.exec() != QDialog::Accepted)
                return false;
            dialog.GetAddressees(x->to, x->cc, x->screenName, x->password, &x->remember);
            x->sendNow = dialog.SendNow() != 0;
            return true;
        };
    }
    if (!ask(&a))
        return 0;
    // The sender reads the sign-on from the mail record; a name or password that does
    // not fit its field is not sent half.
    if (!Store(mail->szAOLScreenName, sizeof mail->szAOLScreenName, a.screenName) ||
        !Store(mail->szAOLPassword, sizeof mail->szAOLPassword, a.password)) {
        MailNotice(QStringLiteral("Could not send Voicegram."), QStringLiteral("Mail Error"));
        return 0;
    }
    mail->bRememberPassword = a.remember;
    quintptr window = 0;
    if (auto* w = qobject_cast<QWidget*>(bar); w && w->testAttribute(Qt::WA_WState_Created))
        window = quintptr(w->winId());
    CAOL aol(mail, window);
    InstallAOLSignOn(aol, owner);
    int sent = aol.SendVoicegram(a.to, a.cc, subject, noteText, file, 0);
    if (sent) {
        if (a.sendNow)
            sent = aol.SendAndReceiveNow(0);
        else if (bar)
            PostMessage(bar, WM_BAR_AOLMAILQUEUED);
    }
    if (!sent)
        MailNotice(QStringLiteral("Could not send Voicegram."), QStringLiteral("Mail Error"));
    if (!mail->bRememberPassword)
        std::memset(mail->szAOLPassword, 0, sizeof mail->szAOLPassword);
    a.password.fill(u'\0');
    return sent;
}
