// The small modal dialogs the drawers share: the voicegram subject (CGetTextDlg), how an
// imported sound joins a recording (CDlgPasteSolution), which mail services carry one
// sending (CDlgMultipleMailServices) and the file-delete confirmation (CConfirmFileDelete).
#pragma once

#include <QDialog>
#include <QString>

#include "tdkit/settings/dialogforms.h"
#include "tdkit/settings/properties.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// How an imported sound joins the recording.
enum PASTETYPE : int {
    PASTE_REPLACE = 0,
    PASTE_APPEND = 1,
    PASTE_INSERT = 2,
    PASTE_MIX = 3,
};

class CGetTextDlg : public QDialog {
public:
    explicit CGetTextDlg(QWidget* parent = nullptr);

    // Set before showing, read after OK.
    QString m_strLabel = QStringLiteral("Subject:");
    QString m_strHeading;
    QString m_strText;
    BOOL m_bCompress = 0;
    BOOL m_bReceipt = 0;

    QLineEdit* TextEdit() const { return m_pText; }
    QCheckBox* CompressBox() const { return m_pCompress; }
    QCheckBox* ReceiptBox() const { return m_pReceipt; }
    void accept() override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_pLabel;
    QLabel* m_pHeading;
    QLineEdit* m_pText;
    QCheckBox* m_pCompress;
    QCheckBox* m_pReceipt;
};

class CDlgPasteSolution : public QDialog {
public:
    explicit CDlgPasteSolution(QWidget* parent = nullptr);
    PASTETYPE GetPasteType() const { return m_nType; }
    void SelectPasteType(PASTETYPE type);
    void accept() override;

private:
    QRadioButton* m_pChoices[4];
    PASTETYPE m_nType = PASTE_REPLACE;
};

class CDlgMultipleMailServices : public QDialog {
public:
    explicit CDlgMultipleMailServices(QWidget* parent = nullptr);
    void SetAvailableServices(const MAILPROPERTIES* available);
    // The three check states go to out, but only for the services that were available.
    void GetSelectedServices(MAILPROPERTIES* out) const;
    QCheckBox* Box(int i) const { return m_pBoxes[i]; }
    void accept() override;
    // What OK refused with last; tests look at it instead of a message box.
    QString m_strRefusal;

private:
    QCheckBox* m_pBoxes[3];
    MAILPROPERTIES m_available{};
};

class CConfirmFileDelete : public QDialog {
public:
    explicit CConfirmFileDelete(QWidget* parent = nullptr);
    // Set before showing.
    BOOL m_bMultiple = 0;
    int m_nCount = 0;
    QString m_strPath;
    QString Text() const;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_pText;
};
