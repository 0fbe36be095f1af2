#include "tdkit/ui/convertdlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "tdkit/audio/acm.h"

namespace {

// Control ids of the dialog, kept as object names so tests and tools can find them.
constexpr char kBarName[] = "1067";
constexpr char kCancelName[] = "2";

// The dialog as CACM sees it. The dialog goes when the conversion ends, or earlier when
// its owner is destroyed.
class DialogProgress : public CACMProgress {
public:
    explicit DialogProgress(QWidget* parent) : dialog_(new CConvertProgressDlg(parent)) {
        dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog_->show();
    }
    ~DialogProgress() override { delete dialog_.data(); }
    void SetPos(int percent) override {
        if (dialog_)
            dialog_->SetPos(percent);
    }
    bool Cancelled() override { return !dialog_ || dialog_->Cancelled(); }

private:
    QPointer<CConvertProgressDlg> dialog_;
};

const bool installed = [] {
    CACM::SetProgressFactory([](QObject* window) -> std::unique_ptr<CACMProgress> {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return nullptr;
        return std::make_unique<DialogProgress>(qobject_cast<QWidget*>(window));
    });
    CACM::SetOfferQuestion([](QObject* window, const QString& caption, const QString& text) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return false;
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No,
                        qobject_cast<QWidget*>(window));
        return box.exec() == QMessageBox::Yes;
    });
    return true;
}();

}  // namespace

CConvertProgressDlg::CConvertProgressDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Converting/Compressing Sound File"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QString::fromLatin1(kBarName));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setMinimumWidth(340);  // wide enough for the whole caption
    layout->addWidget(bar_);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QString::fromLatin1(kCancelName));
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
}

void CConvertProgressDlg::SetPos(int percent) {
    bar_->setValue(percent);
    QCoreApplication::processEvents();
}
