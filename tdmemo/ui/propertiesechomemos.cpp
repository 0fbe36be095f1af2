#include "tdmemo/ui/propertiesechomemos.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

CPropertiesEchoMemos::CPropertiesEchoMemos(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Echo Memos Manager"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Preferences"), this);
    auto* inner = new QVBoxLayout(group);
    b24Hour_ =
        new QCheckBox(QStringLiteral("Use 24-hour time format for scheduling playback"), group);
    notify_ = new QCheckBox(QStringLiteral("Notify Upon Playback"), group);
    confirmDelete_ = new QCheckBox(QStringLiteral("Confirm Echo Memo Deletions"), group);
    inner->addWidget(b24Hour_);
    inner->addWidget(notify_);
    inner->addWidget(confirmDelete_);
    layout->addWidget(group);
    layout->addStretch();
}

void CPropertiesEchoMemos::InitProperties(const ECHOMEMOSPROPERTIES* record) {
    if (!record)
        return;
    b24Hour_->setChecked(record->b24Hour != 0);
    notify_->setChecked(record->bNotify != 0);
    confirmDelete_->setChecked(record->bConfirmDelete != 0);
}

int CPropertiesEchoMemos::UpdateProperties(ECHOMEMOSPROPERTIES* record) const {
    if (!record)
        return 0;
    record->b24Hour = b24Hour_->isChecked() ? 1 : 0;
    record->bNotify = notify_->isChecked() ? 1 : 0;
    record->bConfirmDelete = confirmDelete_->isChecked() ? 1 : 0;
    return 1;
}
