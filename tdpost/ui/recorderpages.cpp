#include "tdpost/ui/recorderpages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "tdkit/ui/helptopic.h"
#include "tdpost/recorderrules.h"

CPropertiesRecorderBase::CPropertiesRecorderBase(QWidget* parent, const QString& title,
                                                 const QString& compressText, bool startOnOpen,
                                                 unsigned help)
    : QWidget(parent), m_strTitle(title), m_nHelp(help) {
    new HelpKeyFilter(this, help);
    auto* options = new QGroupBox(QStringLiteral("Recording Options"));
    auto* o = new QVBoxLayout(options);
    m_pAutoLevel = new QCheckBox(QStringLiteral("Auto Record Level"));
    m_pVoiceDetect = new QCheckBox(QStringLiteral("Auto Voice Detect"));
    m_pCompress = new QCheckBox(compressText);
    o->addWidget(m_pAutoLevel);
    o->addWidget(m_pVoiceDetect);
    o->addWidget(m_pCompress);
    if (startOnOpen) {
        m_pStartOnOpen = new QCheckBox(QStringLiteral("Start Recording After Drawer Opens"));
        o->addWidget(m_pStartOnOpen);
    }
    auto group = [this](const QString& title, const std::initializer_list<const char*>& texts,
                        QButtonGroup** out) {
        auto* box = new QGroupBox(title);
        auto* l = new QVBoxLayout(box);
        *out = new QButtonGroup(this);
        int id = 0;
        for (const char* t : texts) {
            auto* b = new QRadioButton(QLatin1String(t));
            (*out)->addButton(b, id++);
            l->addWidget(b);
        }
        return box;
    };
    auto* maxTime = group(QStringLiteral("Maximum Recording Time"),
                          {"One Minute", "Five Minutes", "Ten Minutes"}, &m_pMaxTime);
    auto* quality = group(QStringLiteral("Recording Quality"),
                          {"Telephone", "AM Radio", "FM Radio", "CD"}, &m_pQuality);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options);
    auto* row = new QHBoxLayout;
    row->addWidget(maxTime);
    row->addWidget(quality);
    layout->addLayout(row);
    layout->addStretch(1);
}

QAbstractButton* CPropertiesRecorderBase::MaxTime(int index) const {
    return m_pMaxTime->button(index);
}

QAbstractButton* CPropertiesRecorderBase::Quality(int index) const {
    return m_pQuality->button(index);
}

void CPropertiesRecorderBase::InitProperties(const RECORDPROPERTIES* p) {
    if (!p)
        return;
    if (QAbstractButton* b = m_pMaxTime->button(MaxMinutesIndex(p->nMaxMinutes)))
        b->setChecked(true);
    m_pAutoLevel->setChecked(p->bAutoLevel);
    m_pVoiceDetect->setChecked(p->bVoiceActivated);
    if (m_pStartOnOpen)
        m_pStartOnOpen->setChecked(p->bStartOnOpen);
    // A quality outside the four selects nothing and is kept as stored.
    if (QAbstractButton* b = m_pQuality->button(p->nQuality))
        b->setChecked(true);
    m_pCompress->setChecked(p->bCompress);
}

int CPropertiesRecorderBase::UpdateProperties(RECORDPROPERTIES* p) const {
    if (!p)
        return 1;
    p->nMaxMinutes = MaxMinutesFromIndex(m_pMaxTime->checkedId(), p->nMaxMinutes);
    p->bAutoLevel = m_pAutoLevel->isChecked() ? 1 : 0;
    p->bVoiceActivated = m_pVoiceDetect->isChecked() ? 1 : 0;
    if (m_pStartOnOpen)
        p->bStartOnOpen = m_pStartOnOpen->isChecked() ? 1 : 0;
    if (m_pQuality->checkedId() >= 0)
        p->nQuality = m_pQuality->checkedId();
    p->bCompress = m_pCompress->isChecked() ? 1 : 0;
    return 1;
}

CPropertiesRecorder::CPropertiesRecorder(QWidget* parent)
    : CPropertiesRecorderBase(parent, QStringLiteral("Audio Recorder"),
                              QStringLiteral("Compress Recording"), false, 7501) {}

CPropertiesSayIt::CPropertiesSayIt(QWidget* parent)
    : CPropertiesRecorderBase(parent, QStringLiteral("Create Echo Memos"),
                              QStringLiteral("Compress Echo Memo"), true, 6501) {}

CPropertiesVoicegram::CPropertiesVoicegram(QWidget* parent)
    : CPropertiesRecorderBase(parent, QStringLiteral("Send Voicegram"),
                              QStringLiteral("Compress Voicegram"), true, 5501) {}

CRecorderSettingsSheet::CRecorderSettingsSheet(int type, RECORDPROPERTIES* props, QWidget* parent)
    : QDialog(parent), m_pProps(props) {
    setWindowTitle(QStringLiteral("Tonedeck Properties"));
    if (type == 1)
        m_pPage = new CPropertiesVoicegram;
    else if (type == 2)
        m_pPage = new CPropertiesSayIt;
    else
        m_pPage = new CPropertiesRecorder;
    m_pPage->InitProperties(props);
    auto* tabs = new QTabWidget;
    tabs->addTab(m_pPage, m_pPage->Title());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRecorderSettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRecorderSettingsSheet::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { OpenHelpTopic(m_pPage->HelpContext()); });
}

void CRecorderSettingsSheet::accept() {
    m_pPage->UpdateProperties(m_pProps);
    QDialog::accept();
}
