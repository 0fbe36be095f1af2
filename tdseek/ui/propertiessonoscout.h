// CPropertiesSonoscout: Sonoscout's page of the settings sheet. It edits the search part
// of SONOSCOUTPROPERTIES: when searches run (on request, every so many hours and minutes,
// daily at a time on chosen weekdays, or at start-up), which kinds of files are looked
// for, and which drives are searched.
#pragma once

#include <QWidget>

#include "tdkit/settings/properties.h"

class CDriveList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CPropertiesSonoscout : public QWidget {
public:
    explicit CPropertiesSonoscout(QWidget* parent = nullptr);

    void InitProperties(SONOSCOUTPROPERTIES* record);
    // Writes the page back and marks the settings changed, so the next decision about
    // searching recomputes the next search time. Returns 1.
    int UpdateProperties(SONOSCOUTPROPERTIES* record) const;
    // The page's help topic.
    static constexpr unsigned kHelpTopic = 166;
    unsigned HelpContext() const { return kHelpTopic; }

    QComboBox* Frequency() const { return m_pFrequency; }
    QSpinBox* Hours() const { return m_pHours; }
    QSpinBox* Minutes() const { return m_pMinutes; }
    QRadioButton* AM() const { return m_pAM; }
    QRadioButton* PM() const { return m_pPM; }
    QLineEdit* TimeText() const { return m_pTime; }
    QLabel* TimeLabel() const { return m_pTimeLabel; }
    QLabel* HoursLabel() const { return m_pHoursLabel; }
    QCheckBox* Day(int weekday) const { return m_pDays[weekday]; }
    QCheckBox* Wave() const { return m_pWave; }
    QCheckBox* Midi() const { return m_pMidi; }
    CDriveList* Drives() const { return m_pDrives; }

private:
    void OnFrequencyChange();
    void ShowTime();

    QComboBox* m_pFrequency;
    QLineEdit* m_pTime;
    QSpinBox* m_pHours;
    QSpinBox* m_pMinutes;
    QRadioButton* m_pAM;
    QRadioButton* m_pPM;
    QLabel* m_pTimeLabel;
    QLabel* m_pHoursLabel;
    QLabel* m_pDaysLabel;
    QCheckBox* m_pDays[7];
    QCheckBox* m_pWave;
    QCheckBox* m_pMidi;
    CDriveList* m_pDrives;
    bool m_bFilling = false;
};
