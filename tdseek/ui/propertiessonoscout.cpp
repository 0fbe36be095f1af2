#include "tdseek/ui/propertiessonoscout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "tdseek/scheduleform.h"
#include "tdseek/ui/searchlocationdlg.h"

namespace {

// The weekday boxes in the page's order, Sunday first; each is wDays bit `weekday`.
const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thurs", "Fri", "Sat"};

}  // namespace

CPropertiesSonoscout::CPropertiesSonoscout(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    m_pFrequency = new QComboBox(this);
    m_pFrequency->addItems({QStringLiteral("User Initiated"), QStringLiteral("Time Interval"),
                            QStringLiteral("Daily"), QStringLiteral("Tonedeck Startup")});
    layout->addWidget(m_pFrequency);

    auto* timeRow = new QHBoxLayout;
    m_pTimeLabel = new QLabel(QStringLiteral("Every:"), this);
    m_pTime = new QLineEdit(this);
    m_pTime->setReadOnly(true);
    m_pTime->setMaximumWidth(60);
    // The spins wrap: past 12 comes 1, past 59 comes 0.
    m_pHours = new QSpinBox(this);
    m_pHours->setRange(0, 13);
    m_pMinutes = new QSpinBox(this);
    m_pMinutes->setRange(-1, 60);
    m_pHoursLabel = new QLabel(QStringLiteral("Hours"), this);
    m_pAM = new QRadioButton(QStringLiteral("AM"), this);
    m_pPM = new QRadioButton(QStringLiteral("PM"), this);
    auto* half = new QButtonGroup(this);
    half->addButton(m_pAM);
    half->addButton(m_pPM);
    for (QWidget* w : std::initializer_list<QWidget*>{m_pTimeLabel, m_pTime, m_pHours, m_pMinutes,
                                                      m_pHoursLabel, m_pAM, m_pPM})
        timeRow->addWidget(w);
    timeRow->addStretch();
    layout->addLayout(timeRow);

    auto* days = new QHBoxLayout;
    m_pDaysLabel = new QLabel(QStringLiteral("Days"), this);
    days->addWidget(m_pDaysLabel);
    for (int d = 0; d < 7; ++d) {
        m_pDays[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), this);
        days->addWidget(m_pDays[d]);
    }
    days->addStretch();
    layout->addLayout(days);

    auto* kinds = new QHBoxLayout;
    m_pWave = new QCheckBox(QStringLiteral("Wave (*.WAV)"), this);
    m_pMidi = new QCheckBox(QStringLiteral("MIDI (*.MID)"), this);
    kinds->addWidget(m_pWave);
    kinds->addWidget(m_pMidi);
    kinds->addStretch();
    layout->addLayout(kinds);
    m_pDrives = new CDriveList(this);
    layout->addWidget(m_pDrives, 1);

    connect(m_pFrequency, &QComboBox::currentIndexChanged, this, [this] { OnFrequencyChange(); });
    connect(m_pHours, &QSpinBox::valueChanged, this, [this](int v) {
        const int wrapped = WrapSpin(v, 1, 12);
        if (wrapped != v)
            m_pHours->setValue(wrapped);
        else
            ShowTime();
    });
    connect(m_pMinutes, &QSpinBox::valueChanged, this, [this](int v) {
        const int wrapped = WrapSpin(v, 0, 59);
        if (wrapped != v)
            m_pMinutes->setValue(wrapped);
        else
            ShowTime();
    });
    connect(m_pAM, &QRadioButton::toggled, this, [this] { ShowTime(); });
}

void CPropertiesSonoscout::InitProperties(SONOSCOUTPROPERTIES* r) {
    m_bFilling = true;
    m_pWave->setChecked(r->bFindWAV);
    m_pMidi->setChecked(r->bFindMIDI);
    for (int d = 0; d < 7; ++d)
        m_pDays[d]->setChecked((r->wDays >> d) & 1);
    const int position = FrequencyToPosition(r->nFrequency);
    const ClockTime t =
        position == 2 ? DailyClock(r->dwTimeOfDay) : IntervalClock(r->dwIntervalSeconds);
    m_pHours->setValue(position == 2 ? t.hours : (t.hours < 1 ? 1 : t.hours > 12 ? 12 : t.hours));
    m_pMinutes->setValue(t.minutes);
    (t.pm ? m_pPM : m_pAM)->setChecked(true);
    m_pFrequency->setCurrentIndex(position);
    m_pDrives->Fill(r->bDrive);
    r->bChanged = 0;
    m_bFilling = false;
    OnFrequencyChange();
}

int CPropertiesSonoscout::UpdateProperties(SONOSCOUTPROPERTIES* r) const {
    r->bFindWAV = m_pWave->isChecked() ? 1 : 0;
    r->bFindMIDI = m_pMidi->isChecked() ? 1 : 0;
    const int position = m_pFrequency->currentIndex();
    r->nFrequency = PositionToFrequency(position);
    ClockTime t;
    t.hours = m_pHours->value();
    t.minutes = m_pMinutes->value();
    t.pm = m_pPM->isChecked();
    if (position == 1)
        r->dwIntervalSeconds = IntervalSeconds(t);
    else if (position == 2)
        r->dwTimeOfDay = DailySeconds(t);
    WORD days = 0;
    for (int d = 0; d < 7; ++d)
        if (m_pDays[d]->isChecked())
            days |= WORD(1u << d);
    r->wDays = days;
    m_pDrives->Read(r->bDrive);
    r->bChanged = 1;
    return 1;
}

void CPropertiesSonoscout::OnFrequencyChange() {
    if (m_bFilling)
        return;
    const int position = m_pFrequency->currentIndex();
    const bool interval = position == 1, daily = position == 2;
    m_pTime->setEnabled(interval || daily);
    m_pHours->setEnabled(interval || daily);
    m_pMinutes->setEnabled(interval || daily);
    m_pTimeLabel->setEnabled(interval || daily);
    m_pTimeLabel->setText(daily ? QStringLiteral("Daily At:") : QStringLiteral("Every:"));
    m_pAM->setEnabled(daily);
    m_pPM->setEnabled(daily);
    m_pAM->setVisible(daily);
    m_pPM->setVisible(daily);
    m_pHoursLabel->setVisible(interval);
    m_pDaysLabel->setEnabled(daily);
    for (QCheckBox* day : m_pDays)
        day->setEnabled(daily);
    ShowTime();
}

void CPropertiesSonoscout::ShowTime() {
    m_pTime->setText(QString::asprintf("%2i:%02i", m_pHours->value(), m_pMinutes->value()));
}
