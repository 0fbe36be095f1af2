#include "tdinbox/ui/propertiesaudiomessaging.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

CPropertiesAudioMessaging::CPropertiesAudioMessaging(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Voicegram Box"));
    auto* layout = new QVBoxLayout(this);
    removeFromServer_ =
        new QCheckBox(QStringLiteral("Remove voicegrams from the mail server once fetched"), this);
    indicator_ =
        new QCheckBox(QStringLiteral("Blink the Voicegram Box button for new voicegrams"), this);
    layout->addWidget(removeFromServer_);
    layout->addWidget(indicator_);
    layout->addWidget(new QLabel(
        QStringLiteral("Voicegrams are fetched into your voicegram folder when the bar starts\n"
                       "and whenever it checks for new mail."),
        this));
    layout->addStretch();
}

void CPropertiesAudioMessaging::InitProperties(const MESSAGEPROPERTIES* record) {
    if (!record)
        return;
    removeFromServer_->setChecked(record->dwReserved0[0] != 0);
    indicator_->setChecked(record->dwReserved0[1] == 0);
}

int CPropertiesAudioMessaging::UpdateProperties(MESSAGEPROPERTIES* record) const {
    if (!record)
        return 0;
    record->dwReserved0[0] = removeFromServer_->isChecked() ? 1 : 0;
    record->dwReserved0[1] = indicator_->isChecked() ? 0 : 1;
    return 1;
}
