#include "tonedeck/properties.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstring>

#include "platform/playsound.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/users.h"
#include "tdkit/ui/helptopic.h"

namespace {

// A fixed text field as a string, never read past the field.
template <std::size_t N>
QString Text(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, N)));
}

// Puts text into a fixed field when it fits with its NUL; false (field untouched) when not.
template <std::size_t N>
bool SetText(char (&field)[N], const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    if (static_cast<std::size_t>(bytes.size()) >= N)
        return false;
    std::memset(field, 0, N);
    std::memcpy(field, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

// F1 anywhere in a page or dialog of the sheet opens a help topic.
class TopicKey : public QObject {
public:
    TopicKey(QWidget* widget, unsigned topic) : QObject(widget), topic_(topic) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            CProperties::OpenTopic(topic_);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    unsigned topic_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// CProperties

CProperties::CProperties(QWidget* owner, int activePage)
    : QDialog(owner), m_nStartPage(activePage) {
    setWindowTitle(QStringLiteral("Tonedeck Properties"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_pTabs = new QTabWidget(this);
    layout->addWidget(m_pTabs);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { ShowPageHelp(); });
}

void CProperties::AddPage(QWidget* page, const QString& title, unsigned help) {
    m_pTabs->addTab(page, title);
    m_helps.push_back(help);
}

void CProperties::UpdatePage(const QWidget* page) const {
    for (const auto& [p, update] : m_updates)
        if (p == page)
            update();
}

int CProperties::PageCount() const {
    return m_pTabs->count();
}

QWidget* CProperties::Page(int index) const {
    return m_pTabs->widget(index);
}

QString CProperties::PageTitle(int index) const {
    return m_pTabs->tabText(index);
}

int CProperties::ActivePage() const {
    return m_pTabs->currentIndex();
}

void CProperties::ShowPageHelp() const {
    const int page = ActivePage();
    OpenTopic(page >= 0 && page < static_cast<int>(m_helps.size()) ? m_helps[page] : 0);
}

void CProperties::OpenTopic(unsigned topic) {
    OpenHelpTopic(topic);
}

void CProperties::keyPressEvent(QKeyEvent* event) {
    // F1 on the sheet goes to the page in front.
    if (event->key() == Qt::Key_F1) {
        ShowPageHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CProperties::showEvent(QShowEvent* event) {
    if (m_nStartPage >= 0 && m_nStartPage < m_pTabs->count())
        m_pTabs->setCurrentIndex(m_nStartPage);
    m_nStartPage = -1;
    QDialog::showEvent(event);
}

// ---------------------------------------------------------------------------------------
// CPropertiesTonedeck

CPropertiesTonedeck::CPropertiesTonedeck(QWidget* parent) : QWidget(parent) {
    new TopicKey(this, kBarPageHelpTopic);
    auto* layout = new QGridLayout(this);
    auto check = [&](int id, const char* text, QWidget* parentWidget) {
        auto* box = new QCheckBox(QString::fromLatin1(text), parentWidget);
        box->setObjectName(QStringLiteral("check%1").arg(id));
        m_checks.emplace_back(id, box);
        connect(box, &QCheckBox::clicked, this, [this] { UpdateEnabling(); });
        return box;
    };
    auto radio = [&](int id, const char* text, QWidget* parentWidget) {
        auto* button = new QRadioButton(QString::fromLatin1(text), parentWidget);
        button->setObjectName(QStringLiteral("radio%1").arg(id));
        m_radios.emplace_back(id, button);
        connect(button, &QRadioButton::clicked, this, [this] { UpdateEnabling(); });
        return button;
    };

    auto* tasks = new QGroupBox(QStringLiteral("Task Buttons"), this);
    auto* taskLayout = new QVBoxLayout(tasks);
    for (const auto& [id, text] :
         std::initializer_list<std::pair<int, const char*>>{{1031, "Audio Recorder "},
                                                            {1027, "Send Voicegram"},
                                                            {1024, "Voicegram Box"},
                                                            {1025, "Create Echo Memos"},
                                                            {1005, "Echo Memos Manager"},
                                                            {1026, "Sonoscout"},
                                                            {1030, "CD Player"}})
        taskLayout->addWidget(check(id, text, tasks));
    layout->addWidget(tasks, 0, 0, 2, 1);

    auto* sounds = new QGroupBox(QStringLiteral("Sound Effects"), this);
    auto* soundLayout = new QGridLayout(sounds);
    auto soundRow = [&](int row, int checkId, const char* checkText, int defId, int customId,
                        QLineEdit*& edit, QPushButton*& browse, QPushButton*& test) {
        QCheckBox* box = check(checkId, checkText, sounds);
        soundLayout->addWidget(box, row, 0, 1, 3);
        auto* group = new QButtonGroup(sounds);
        QRadioButton* def = radio(defId, "Default Sound", sounds);
        QRadioButton* custom = radio(customId, "Custom Sound", sounds);
        group->addButton(def);
        group->addButton(custom);
        soundLayout->addWidget(def, row + 1, 0);
        soundLayout->addWidget(custom, row + 1, 1);
        edit = new QLineEdit(sounds);
        edit->setMaxLength(254);
        soundLayout->addWidget(edit, row + 2, 0, 1, 3);
        browse = new QPushButton(QStringLiteral("Browse"), sounds);
        test = new QPushButton(QStringLiteral("Test"), sounds);
        soundLayout->addWidget(browse, row + 3, 0);
        soundLayout->addWidget(test, row + 3, 1);
        QLineEdit* e = edit;
        connect(browse, &QPushButton::clicked, this,
                [this, box, e, custom] { Browse(box, e, custom); });
        connect(test, &QPushButton::clicked, this, [e] {
            if (!e->text().isEmpty())
                PlaySound(e->text(), SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
        });
    };
    soundRow(0, 1010, "Show/Hide Tonedeck Sound", 1045, 1046, m_pShowHideEdit, m_pShowHideBrowse,
             m_pShowHideTest);
    soundRow(4, 1014, "Open/Close Drawer Sound", 1047, 1048, m_pDrawerEdit, m_pDrawerBrowse,
             m_pDrawerTest);
    layout->addWidget(sounds, 0, 1);

    auto* audio = new QGroupBox(QStringLiteral("Audio Controls"), this);
    auto* audioLayout = new QVBoxLayout(audio);
    audioLayout->addWidget(check(1091, "Treble/Bass", audio));
    audioLayout->addWidget(check(1033, "SRS", audio));
    auto* mixer = new QPushButton(QStringLiteral("Mixer"), audio);
    audioLayout->addWidget(mixer);
    layout->addWidget(audio, 1, 1);

    m_pAutostart = new QCheckBox(QStringLiteral("Start Tonedeck with the desktop"), this);
    layout->addWidget(m_pAutostart, 2, 0, 1, 2);

    chooseSound = [this](const QString& current) {
        QFileDialog dialog(this, QString(), current, QStringLiteral("WAV FILES (*.wav *.WAV)"));
        dialog.setDefaultSuffix(QStringLiteral("wav"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (!current.isEmpty())
            dialog.selectFile(current);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
}

QCheckBox* CPropertiesTonedeck::Check(int id) const {
    for (const auto& [i, box] : m_checks)
        if (i == id)
            return box;
    return nullptr;
}

QRadioButton* CPropertiesTonedeck::Radio(int id) const {
    for (const auto& [i, button] : m_radios)
        if (i == id)
            return button;
    return nullptr;
}

void CPropertiesTonedeck::InitProperties(const PROPERTIES& p, const DOCKSTATE& dock,
                                         bool mailUsable, bool bassValid, bool srsAllowed,
                                         bool autostart) {
    Check(1031)->setChecked(p.bShowRecorder);
    Check(1027)->setChecked(p.bShowSendVoicegram);
    Check(1027)->setEnabled(mailUsable);
    Check(1024)->setChecked(p.bShowVoicegramBox);
    Check(1025)->setChecked(p.bShowCreateEchoMemo);
    Check(1005)->setChecked(p.bShowEchoMemosManager);
    Check(1026)->setChecked(p.bShowSonoscout);
    Check(1091)->setChecked(p.bShowTreble || p.bShowBass);
    Check(1091)->setEnabled(bassValid);
    m_bSrsAllowed = srsAllowed;
    Check(1033)->setChecked(srsAllowed && p.bShowSRS);
    Check(1033)->setVisible(srsAllowed);
    Check(1010)->setChecked(dock.bShowHideSound);
    Radio(1045)->setChecked(p.bDefaultShowHideSound != 0);
    Radio(1046)->setChecked(p.bDefaultShowHideSound == 0);
    m_pShowHideEdit->setText(Text(p.szShowHideSound));
    Check(1014)->setChecked(dock.bDrawerSound);
    Radio(1047)->setChecked(p.bDefaultDrawerSound != 0);
    Radio(1048)->setChecked(p.bDefaultDrawerSound == 0);
    m_pDrawerEdit->setText(Text(p.szDrawerSound));
    m_pAutostart->setChecked(autostart);
    UpdateEnabling();
}

void CPropertiesTonedeck::UpdateProperties(PROPERTIES* p, DOCKSTATE* dock) const {
    p->bShowRecorder = Check(1031)->isChecked();
    p->bShowSendVoicegram = Check(1027)->isChecked();
    p->bShowVoicegramBox = Check(1024)->isChecked();
    p->bShowCreateEchoMemo = Check(1025)->isChecked();
    p->bShowEchoMemosManager = Check(1005)->isChecked();
    p->bShowSonoscout = Check(1026)->isChecked();
    p->bShowTreble = p->bShowBass = Check(1091)->isChecked();
    p->bShowSRS = m_bSrsAllowed && Check(1033)->isChecked();
    dock->bShowHideSound = Check(1010)->isChecked();
    p->bDefaultShowHideSound = Radio(1045)->isChecked();
    dock->bDrawerSound = Check(1014)->isChecked();
    p->bDefaultDrawerSound = Radio(1047)->isChecked();
    // The edits hold at most what the fields do (setMaxLength counts characters, so a
    // path whose bytes do not fit is refused by SetText and the field keeps its value).
    SetText(p->szShowHideSound, m_pShowHideEdit->text());
    SetText(p->szDrawerSound, m_pDrawerEdit->text());
}

bool CPropertiesTonedeck::Autostart() const {
    return m_pAutostart->isChecked();
}

void CPropertiesTonedeck::UpdateEnabling() {
    const bool showHide = Check(1010)->isChecked();
    Radio(1045)->setEnabled(showHide);
    Radio(1046)->setEnabled(showHide);
    const bool showHideCustom = showHide && Radio(1046)->isChecked();
    m_pShowHideEdit->setEnabled(showHideCustom);
    m_pShowHideBrowse->setEnabled(showHideCustom);
    m_pShowHideTest->setEnabled(showHideCustom);
    const bool drawer = Check(1014)->isChecked();
    Radio(1047)->setEnabled(drawer);
    Radio(1048)->setEnabled(drawer);
    const bool drawerCustom = drawer && Radio(1048)->isChecked();
    m_pDrawerEdit->setEnabled(drawerCustom);
    m_pDrawerBrowse->setEnabled(drawerCustom);
    m_pDrawerTest->setEnabled(drawerCustom);
}

void CPropertiesTonedeck::Browse(QCheckBox* sound, QLineEdit* edit, QRadioButton* custom) {
    sound->setChecked(true);
    custom->setChecked(true);
    UpdateEnabling();
    const QString chosen = chooseSound ? chooseSound(edit->text()) : QString();
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

// ---------------------------------------------------------------------------------------
// CPropertiesMail

CPropertiesMail::CPropertiesMail(QWidget* parent) : QWidget(parent) {
    new TopicKey(this, kMailPageHelpTopic);
    auto* layout = new QGridLayout(this);
    m_pMapi = new QCheckBox(QStringLiteral("MAPI (MS Exchange)"), this);
    m_pAol = new QCheckBox(QStringLiteral("America Online"), this);
    m_pCompuServe = new QCheckBox(QStringLiteral("CompuServe"), this);
    m_pScreenName = new QLineEdit(this);
    m_pScreenName->setMaxLength(29);
    m_pPassword = new QLineEdit(this);
    m_pPassword->setMaxLength(29);
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pRemember = new QCheckBox(QStringLiteral("Remember Password"), this);
    layout->addWidget(m_pMapi, 0, 0, 1, 2);
    layout->addWidget(m_pAol, 1, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Screen Name:"), this), 2, 0);
    layout->addWidget(m_pScreenName, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("Password:"), this), 3, 0);
    layout->addWidget(m_pPassword, 3, 1);
    layout->addWidget(m_pRemember, 4, 1);
    layout->addWidget(m_pCompuServe, 5, 0, 1, 2);
    layout->setRowStretch(6, 1);
    connect(m_pAol, &QCheckBox::clicked, this, [this] { UpdateEnabling(); });
    connect(m_pRemember, &QCheckBox::clicked, this, [this] { UpdateEnabling(); });
}

void CPropertiesMail::InitProperties(const MAILPROPERTIES& mail, bool aolInstalled) {
    m_pMapi->setChecked(mail.bMAPI);
    m_pAol->setChecked(aolInstalled && mail.bAOL);
    m_pAol->setEnabled(aolInstalled);
    m_pCompuServe->setChecked(mail.bCompuServe);
    m_pScreenName->setText(Text(mail.szAOLScreenName));
    m_pPassword->setText(Text(mail.szAOLPassword));
    m_pRemember->setChecked(mail.bRememberPassword);
    UpdateEnabling();
}

void CPropertiesMail::UpdateProperties(MAILPROPERTIES* mail) const {
    mail->bMAPI = m_pMapi->isChecked();
    mail->bAOL = m_pAol->isChecked();
    mail->bCompuServe = m_pCompuServe->isChecked();
    mail->bRememberPassword = m_pRemember->isChecked();
    SetText(mail->szAOLScreenName, m_pScreenName->text());
    if (!mail->bRememberPassword)
        std::memset(mail->szAOLPassword, 0, sizeof mail->szAOLPassword);
    else
        SetText(mail->szAOLPassword, m_pPassword->text());
}

void CPropertiesMail::UpdateEnabling() {
    m_pScreenName->setEnabled(m_pAol->isChecked());
    m_pPassword->setEnabled(m_pAol->isChecked() && m_pRemember->isChecked());
}

// ---------------------------------------------------------------------------------------
// CPropertiesUser

CPropertiesUser::CPropertiesUser(QWidget* parent) : QWidget(parent) {
    new TopicKey(this, kUserPageHelpTopic);
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("User Name"), this), 0, 0);
    m_pUsers = new QComboBox(this);
    layout->addWidget(m_pUsers, 1, 0, 1, 3);
    m_pNew = new QPushButton(QStringLiteral("New"), this);
    m_pRemove = new QPushButton(QStringLiteral("Remove"), this);
    m_pRename = new QPushButton(QStringLiteral("Change Name"), this);
    layout->addWidget(m_pNew, 2, 0);
    layout->addWidget(m_pRemove, 2, 1);
    layout->addWidget(m_pRename, 2, 2);
    layout->setRowStretch(3, 1);
    connect(m_pNew, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(m_pRemove, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(m_pRename, &QPushButton::clicked, this, [this] { OnChangeName(); });
    connect(m_pUsers, &QComboBox::currentIndexChanged, this, [this] { UpdateButtons(); });

    askNewName = [this]() -> QString {
        CNewUserDlg dialog(this);
        return dialog.exec() == QDialog::Accepted ? dialog.Name() : QString();
    };
    askRename = [this](const QString& present) -> QString {
        CChangeUserNameDlg dialog(present, this);
        return dialog.exec() == QDialog::Accepted ? dialog.NewName() : QString();
    };
    confirmRemove = [this](const QString& user, const QStringList& contents) {
        QString text = QStringLiteral("Are you sure you want to delete the user %1?").arg(user);
        if (!contents.isEmpty()) {
            text += QStringLiteral("\n\nThis deletes everything the user owns:");
            const int shown = std::min<int>(contents.size(), 20);
            for (int i = 0; i < shown; ++i)
                text += QStringLiteral("\n    ") + contents[i];
            if (contents.size() > shown)
                text += QStringLiteral("\n    ... and %1 more").arg(contents.size() - shown);
        }
        return QMessageBox::question(this, QStringLiteral("Please confirm delete operation"), text,
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    tell = [this](const QString& caption, const QString& text) {
        QMessageBox::warning(this, caption, text);
    };
}

void CPropertiesUser::InitProperties(PROPERTIES* props) {
    m_pProps = props;
    QString current;
    GetCurrentUser(current);
    Fill(current);
}

void CPropertiesUser::Fill(const QString& select) {
    const QSignalBlocker block(m_pUsers);
    m_pUsers->clear();
    m_pUsers->addItems(ListUsers());
    const int index = m_pUsers->findText(select, Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_pUsers->setCurrentIndex(index >= 0 ? index : 0);
    UpdateButtons();
}

void CPropertiesUser::UpdateButtons() {
    // The current user cannot be removed, nor the last one.
    QString current;
    GetCurrentUser(current);
    m_pRemove->setEnabled(m_pUsers->count() > 1 && m_pUsers->currentText() != current);
    m_pRename->setEnabled(m_pUsers->count() > 0);
}

QString CPropertiesUser::SettingsPath() const {
    QString path;
    return GetTonedeckPropertiesFilePath(path) ? path : QString();
}

bool CPropertiesUser::OnOK() {
    const QString selected = m_pUsers->currentText();
    QString current;
    GetCurrentUser(current);
    if (selected.isEmpty() || selected == current)
        return false;
    const UserResult result = SwitchUser(selected);
    if (!result.ok && tell)
        tell(QStringLiteral("Tonedeck"), result.error);
    return result.ok;
}

void CPropertiesUser::OnNew() {
    const QString name = askNewName ? askNewName() : QString();
    if (name.isEmpty())
        return;
    if (!FindUserIgnoringCase(ListUsers(), name).isEmpty()) {
        tell(QStringLiteral("New User Name Already Exists"),
             QStringLiteral("A user name of %1 already exists.  Please choose another name.")
                 .arg(name));
        return;
    }
    QString why;
    if (!IsValidUserName(name, &why)) {
        tell(QStringLiteral("Could not establish new user"), why);
        return;
    }
    PROPERTIES copy{};
    if (m_pProps)
        copy = *m_pProps;
    const UserResult result = AddUser(name, copy, m_pProps ? SettingsPath() : QString());
    if (!result.ok) {
        tell(QStringLiteral("Could not establish new user"),
             QStringLiteral("The structure necessary for a new user could not be created.\n\n") +
                 result.error);
        return;
    }
    Fill(name);
}

void CPropertiesUser::OnRemove() {
    const QString name = m_pUsers->currentText();
    if (name.isEmpty())
        return;
    QString current;
    GetCurrentUser(current);
    if (name == current) {
        tell(QStringLiteral("Tonedeck"),
             QStringLiteral("%1 is the current user and cannot be removed.").arg(name));
        return;
    }
    if (!confirmRemove || !confirmRemove(name, UserContents(name)))
        return;
    const UserResult result = RemoveUser(name);
    if (!result.ok)
        tell(QStringLiteral("Tonedeck"), result.error);
    Fill(current);
}

void CPropertiesUser::OnChangeName() {
    const QString present = m_pUsers->currentText();
    if (present.isEmpty())
        return;
    const QString name = askRename ? askRename(present) : QString();
    if (name.isEmpty() || name == present)
        return;
    const UserResult result = RenameUser(present, name);
    if (!result.ok) {
        tell(QStringLiteral("Change User Name"), result.error);
        return;
    }
    Fill(name);
}

// ---------------------------------------------------------------------------------------
// The user dialogs

CNewUserDlg::CNewUserDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New User"));
    new TopicKey(this, kUserPageHelpTopic);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please enter the name of the new user"), this));
    m_pName = new QLineEdit(this);
    layout->addWidget(m_pName);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString CNewUserDlg::Name() const {
    return m_pName->text();
}

CChangeUserNameDlg::CChangeUserNameDlg(const QString& present, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Change User Name"));
    new TopicKey(this, kUserPageHelpTopic);
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Present User Name:"), this), 0, 0);
    layout->addWidget(new QLabel(present, this), 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("New User Name:"), this), 1, 0);
    m_pNewName = new QLineEdit(this);
    layout->addWidget(m_pNewName, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons, 2, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString CChangeUserNameDlg::NewName() const {
    return m_pNewName->text();
}
