// The drive list of Sonoscout's settings page and search dialog, and CSearchLocationDlg,
// the "Search Selection" dialog the drawer shows before a search it starts itself.
#pragma once

#include <QDialog>
#include <QListWidget>

#include "platform/drives.h"
#include "platform/types.h"

class QCheckBox;

// The drives C: to Z: of the drive table, each checked when it is chosen. A: and B: are
// never offered. A click toggles the clicked entry; with Shift held every selected entry
// becomes chosen.
class CDriveList : public QListWidget {
public:
    explicit CDriveList(QWidget* parent = nullptr);
    // Fills the list from the table (the machine's own by default) and the 26 flags.
    void Fill(const BOOL drives[26], const std::vector<Drive>& table);
    void Fill(const BOOL drives[26]);
    // The 26 flags: those of the listed drives as checked, the others as given before.
    void Read(BOOL drives[26]) const;
    // The entry's text for a drive.
    static QString EntryText(const Drive& drive);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    BOOL m_flags[26] = {};
};

class CSearchLocationDlg : public QDialog {
public:
    explicit CSearchLocationDlg(QWidget* parent = nullptr);
    // Filled before exec(), read after OK.
    BOOL m_bWave = 1;
    BOOL m_bMidi = 1;
    BOOL m_bDrives[26] = {};
    CDriveList* Drives() const { return m_pDrives; }
    QCheckBox* Wave() const { return m_pWave; }
    QCheckBox* Midi() const { return m_pMidi; }
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    CDriveList* m_pDrives;
    QCheckBox* m_pWave;
    QCheckBox* m_pMidi;
    bool m_bFilled = false;
};
