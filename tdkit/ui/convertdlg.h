// The desktop faces of CACM: the modeless "Converting/Compressing Sound File" dialog with
// its progress bar and Cancel button, and the Yes/No question of the unsupported-format
// offer. Both are installed into CACM when this library is loaded.
#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;

class CConvertProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConvertProgressDlg(QWidget* parent);
    // Moves the bar and lets the dialog handle its waiting events (Cancel among them).
    void SetPos(int percent);
    bool Cancelled() const { return cancelled_; }
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    QProgressBar* bar_;
    QPushButton* cancel_;
    bool cancelled_ = false;
};
