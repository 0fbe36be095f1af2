#include "tdseek/ui/searchlocationdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "tdkit/ui/helptopic.h"

CDriveList::CDriveList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

QString CDriveList::EntryText(const Drive& drive) {
    QString text = QStringLiteral("%1:\\").arg(QChar::fromLatin1(drive.letter));
    switch (drive.type) {
        case DriveType::Fixed:
        case DriveType::CdRom:
            if (!drive.label.isEmpty())
                text += u' ' + drive.label;
            break;
        case DriveType::Remote:
            // The network name without its first character, then a backslash.
            if (!drive.universalName.isEmpty())
                text += u' ' + drive.universalName.mid(1) + u'\\';
            break;
        default:
            break;
    }
    return text;
}

void CDriveList::Fill(const BOOL drives[26]) {
    Fill(drives, LoadDriveTable());
}

void CDriveList::Fill(const BOOL drives[26], const std::vector<Drive>& table) {
    // The flags may lie unaligned inside a packed settings record: copied byte for byte.
    std::memcpy(m_flags, drives, sizeof m_flags);
    clear();
    for (const Drive& d : table) {
        const int index = d.letter - 'A';
        if (index < 2 || index >= 26)
            continue;
        auto* item = new QListWidgetItem(EntryText(d), this);
        item->setData(Qt::UserRole, index);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(m_flags[index] ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(d.mountPoint);
    }
}

void CDriveList::Read(BOOL drives[26]) const {
    BOOL flags[26];
    std::memcpy(flags, m_flags, sizeof flags);
    for (int i = 0; i < count(); ++i) {
        const QListWidgetItem* it = item(i);
        flags[it->data(Qt::UserRole).toInt()] = it->checkState() == Qt::Checked ? 1 : 0;
    }
    std::memcpy(drives, flags, sizeof flags);
}

void CDriveList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    QListWidgetItem* clicked = itemAt(event->position().toPoint());
    if (!clicked || event->button() != Qt::LeftButton)
        return;
    if (event->modifiers() & Qt::ShiftModifier) {
        for (QListWidgetItem* it : selectedItems())
            it->setCheckState(Qt::Checked);
    } else if (event->position().x() > 20) {
        // A click on the check box itself has toggled it already.
        clicked->setCheckState(clicked->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

CSearchLocationDlg::CSearchLocationDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Search Selection"));
    new HelpKeyFilter(this, 141);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Check the drives you wish to search."), this));
    m_pDrives = new CDriveList(this);
    layout->addWidget(m_pDrives);
    layout->addWidget(new QLabel(QStringLiteral("Search for these types of files:"), this));
    m_pWave = new QCheckBox(QStringLiteral("WAV"), this);
    m_pMidi = new QCheckBox(QStringLiteral("MIDI"), this);
    layout->addWidget(m_pWave);
    layout->addWidget(m_pMidi);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSearchLocationDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSearchLocationDlg::reject);
    layout->addWidget(buttons);
}

void CSearchLocationDlg::showEvent(QShowEvent* event) {
    if (!m_bFilled) {
        m_pDrives->Fill(m_bDrives);
        m_pWave->setChecked(m_bWave);
        m_pMidi->setChecked(m_bMidi);
        m_bFilled = true;
    }
    QDialog::showEvent(event);
}

void CSearchLocationDlg::accept() {
    if (m_bFilled) {
        m_pDrives->Read(m_bDrives);
        m_bWave = m_pWave->isChecked();
        m_bMidi = m_pMidi->isChecked();
    }
    QDialog::accept();
}
