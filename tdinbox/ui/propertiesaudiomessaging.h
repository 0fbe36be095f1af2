// CPropertiesAudioMessaging: the Voicegram Box's page of the settings sheet. It edits
// the inbox's own words of MESSAGEPROPERTIES: word 0 of dwReserved0 removes fetched
// voicegrams from the mail server (0 leaves them there, marked read); word 1 turns the
// bar's blinking indicator for new voicegrams off (0 leaves it on).
#pragma once

#include <QWidget>

#include "tdkit/settings/properties.h"

class QCheckBox;

class CPropertiesAudioMessaging : public QWidget {
public:
    explicit CPropertiesAudioMessaging(QWidget* parent = nullptr);

    void InitProperties(const MESSAGEPROPERTIES* record);
    // Writes the page's values back; nonzero.
    int UpdateProperties(MESSAGEPROPERTIES* record) const;

    QCheckBox* RemoveFromServer() const { return removeFromServer_; }
    QCheckBox* Indicator() const { return indicator_; }

private:
    QCheckBox* removeFromServer_;
    QCheckBox* indicator_;
};

// The indicator switch as the bar reads it.
inline bool InboxIndicatorWanted(const MESSAGEPROPERTIES& record) {
    return record.dwReserved0[1] == 0;
}
