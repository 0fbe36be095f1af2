// CDescDlg: the Echo Memo schedule dialog (description, time of day, frequency, date,
// notification), and its date control CComboCalendar with the drop-down panels that
// change the date for each kind of schedule. The arithmetic lives in
// tdkit/settings/dialogforms.h.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include "platform/message.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/dialogforms.h"
#include "tdkit/ui/customcontrols.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QLabel;

// From the drop-down panels to the date control.
inline constexpr UINT WM_CALENDAR_ONCE = WM_USER + 1150;     // lParam time value of the date
inline constexpr UINT WM_CALENDAR_DAILY = WM_USER + 1155;    // lParam the days mask
inline constexpr UINT WM_CALENDAR_WEEKLY = WM_USER + 1160;   // lParam 1 Sunday ... 7 Saturday
inline constexpr UINT WM_CALENDAR_MONTHLY = WM_USER + 1165;  // lParam 1-31, above: last day
inline constexpr UINT WM_CALENDAR_YEARLY = WM_USER + 1170;   // lParam time value of the date

// The date control: one line showing the scheduled date; a click opens the panel of its
// calendar type below it.
class CComboCalendar : public QWidget, public MessageReceiver {
public:
    explicit CComboCalendar(QWidget* parent = nullptr);
    // Registers "ComboCalendarClass"; the instance argument is unused here.
    static ATOM RegisterComboCalendarClass(void* instance = nullptr);

    void SetCalendarType(CALENDARTYPE type);
    CALENDARTYPE GetCalendarType() const { return m_nType; }
    void SetCalendarTimes(const ECHOMEMOSTRUCT* memo);
    void GetCalendarTimes(ECHOMEMOSTRUCT* memo) const;
    // The text shown in the control.
    QString DisplayText() const;
    // Opens the drop-down panel of the current type (the click does this); the panel.
    QWidget* OpenPanel();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CALENDARTYPE m_nType = CALENDAR_ONCE;
    ECHOMEMOSTRUCT m_memo{};
};

class CDescDlg : public QDialog {
public:
    explicit CDescDlg(QWidget* parent = nullptr);

    void Set24HourFormat(int h24) { m_b24Hour = h24 ? 1 : 0; }
    // Copies the record and the description; editable zero disables the description.
    void SetNoteInfo(const ECHOMEMOSTRUCT* memo, const char* description, int editable);
    // The edited record, played always 0.
    void GetNoteInfo(ECHOMEMOSTRUCT* memo) const;
    QString GetDescription() const { return m_strDescription; }

    // The parts tests and the drawer look at.
    QComboBox* Frequency() const { return m_pFrequency; }
    QSpinBox* Hours() const { return m_pHours; }
    QSpinBox* Minutes() const { return m_pMinutes; }
    QRadioButton* AM() const { return m_pAM; }
    QRadioButton* PM() const { return m_pPM; }
    QCheckBox* Notify() const { return m_pNotify; }
    QLineEdit* DescriptionEdit() const { return m_pDescription; }
    CComboCalendar* Calendar() const { return m_pCalendar; }
    QString Readout() const;

    void accept() override;
    void showEvent(QShowEvent* event) override;

private:
    void OnFrequencyChange();
    void OnStep();
    DescTime CurrentTime() const;
    void Repaint();

    QLineEdit* m_pDescription;
    QLineEdit* m_pReadout;
    QSpinBox* m_pHours;
    QSpinBox* m_pMinutes;
    QComboBox* m_pFrequency;
    CComboCalendar* m_pCalendar;
    QRadioButton* m_pAM;
    QRadioButton* m_pPM;
    QCheckBox* m_pNotify;
    ECHOMEMOSTRUCT m_memo{};
    QString m_strDescription;
    int m_b24Hour = 0;
    int m_bEditable = 1;
    bool m_bStepping = false;
    bool m_bOpened = false;
};
