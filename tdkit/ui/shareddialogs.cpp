#include "tdkit/ui/shareddialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "tdkit/ui/helptopic.h"

CGetTextDlg::CGetTextDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Voicegram: Subject"));
    new HelpKeyFilter(this, 135);
    m_pHeading = new QLabel;
    m_pHeading->setWordWrap(true);
    m_pLabel = new QLabel;
    m_pText = new QLineEdit;
    m_pText->setMaxLength(255);
    m_pCompress = new QCheckBox(QStringLiteral("Compress Mail Before Sending"));
    m_pReceipt = new QCheckBox(QStringLiteral("Return Receipt"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pHeading);
    layout->addWidget(m_pLabel);
    layout->addWidget(m_pText);
    layout->addWidget(m_pCompress);
    layout->addWidget(m_pReceipt);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CGetTextDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CGetTextDlg::reject);
}

void CGetTextDlg::showEvent(QShowEvent* event) {
    m_pLabel->setText(m_strLabel);
    m_pHeading->setText(m_strHeading);
    m_pHeading->setVisible(!m_strHeading.isEmpty());
    m_pText->setText(m_strText);
    m_pCompress->setChecked(m_bCompress);
    m_pReceipt->setChecked(m_bReceipt);
    m_pText->setFocus();
    QDialog::showEvent(event);
}

void CGetTextDlg::accept() {
    m_strText = m_pText->text();
    m_bCompress = m_pCompress->isChecked() ? 1 : 0;
    m_bReceipt = m_pReceipt->isChecked() ? 1 : 0;
    QDialog::accept();
}

CDlgPasteSolution::CDlgPasteSolution(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Importing a Sound"));
    new HelpKeyFilter(this, 158);
    auto* box = new QGroupBox(QStringLiteral("How should the sound join the recording?"));
    auto* inner = new QVBoxLayout(box);
    const char* const texts[] = {"Replace recording", "Append to the recording",
                                 "Insert before the recording", "Mix with the recording"};
    for (int i = 0; i < 4; ++i) {
        m_pChoices[i] = new QRadioButton(QLatin1String(texts[i]));
        inner->addWidget(m_pChoices[i]);
    }
    m_pChoices[0]->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgPasteSolution::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgPasteSolution::reject);
}

void CDlgPasteSolution::SelectPasteType(PASTETYPE type) {
    if (type >= 0 && type < 4)
        m_pChoices[type]->setChecked(true);
}

void CDlgPasteSolution::accept() {
    for (int i = 0; i < 4; ++i)
        if (m_pChoices[i]->isChecked())
            m_nType = static_cast<PASTETYPE>(i);
    QDialog::accept();
}

CDlgMultipleMailServices::CDlgMultipleMailServices(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Multiple Mail Services Available"));
    new HelpKeyFilter(this, 165);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Send the voicegram through:")));
    const char* const texts[] = {"MAPI (MS Exchange)", "AOL", "CompuServe"};
    for (int i = 0; i < 3; ++i) {
        m_pBoxes[i] = new QCheckBox(QLatin1String(texts[i]));
        m_pBoxes[i]->setEnabled(false);
        layout->addWidget(m_pBoxes[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgMultipleMailServices::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgMultipleMailServices::reject);
}

void CDlgMultipleMailServices::SetAvailableServices(const MAILPROPERTIES* available) {
    if (!available)
        return;
    m_available = *available;
    const BOOL on[] = {available->bMAPI, available->bAOL, available->bCompuServe};
    for (int i = 0; i < 3; ++i) {
        m_pBoxes[i]->setChecked(on[i]);
        m_pBoxes[i]->setEnabled(on[i]);
    }
}

void CDlgMultipleMailServices::GetSelectedServices(MAILPROPERTIES* out) const {
    if (!out)
        return;
    MailChoice c;
    c.mapi = m_pBoxes[0]->isChecked();
    c.aol = m_pBoxes[1]->isChecked();
    c.compuServe = m_pBoxes[2]->isChecked();
    StoreChosenMailServices(m_available, c, out);
}

void CDlgMultipleMailServices::accept() {
    MailChoice c;
    c.mapi = m_pBoxes[0]->isChecked();
    c.aol = m_pBoxes[1]->isChecked();
    c.compuServe = m_pBoxes[2]->isChecked();
    if (!AnyMailServiceChosen(c)) {
        m_strRefusal = QStringLiteral("At least one service must be selected");
        if (isVisible())
            QMessageBox::information(this, QStringLiteral("Please Make Selection"), m_strRefusal);
        return;
    }
    m_strRefusal.clear();
    QDialog::accept();
}

CConfirmFileDelete::CConfirmFileDelete(QWidget* parent) : QDialog(parent) {
    new HelpKeyFilter(this, 137);
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    m_pText = new QLabel;
    m_pText->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(m_pText, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CConfirmFileDelete::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConfirmFileDelete::reject);
}

QString CConfirmFileDelete::Text() const {
    return ConfirmFileDeleteText(m_bMultiple, m_nCount, m_strPath).text;
}

void CConfirmFileDelete::showEvent(QShowEvent* event) {
    const DeleteConfirmText t = ConfirmFileDeleteText(m_bMultiple, m_nCount, m_strPath);
    setWindowTitle(t.title);
    m_pText->setText(t.text);
    QDialog::showEvent(event);
}
