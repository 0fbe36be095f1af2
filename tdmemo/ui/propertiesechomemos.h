// CPropertiesEchoMemos: the EchoMemos Manager's page of the settings sheet, "Preferences":
// the 24-hour time format of schedules, the playback notification default and whether
// deleting memos asks first.
#pragma once

#include <QWidget>

#include "tdkit/settings/properties.h"

class QCheckBox;

inline constexpr int IDD_PROPERTIES_ECHOMEMOS = 2003;

class CPropertiesEchoMemos : public QWidget {
public:
    explicit CPropertiesEchoMemos(QWidget* parent = nullptr);

    void InitProperties(const ECHOMEMOSPROPERTIES* record);
    // Writes the page's three flags back; 1 (0 without a record).
    int UpdateProperties(ECHOMEMOSPROPERTIES* record) const;

    QCheckBox* Use24Hour() const { return b24Hour_; }
    QCheckBox* Notify() const { return notify_; }
    QCheckBox* ConfirmDelete() const { return confirmDelete_; }

private:
    QCheckBox* b24Hour_;
    QCheckBox* notify_;
    QCheckBox* confirmDelete_;
};
