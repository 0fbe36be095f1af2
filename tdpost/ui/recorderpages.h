// The settings pages of the three recorder drawers, each over one RECORDPROPERTIES record:
// CPropertiesRecorder (Recorder), CPropertiesSayIt (Create EchoMemo) and
// CPropertiesVoicegram (Send Voicegram). The settings sheet calls InitProperties before
// showing a page and UpdateProperties after the user confirms.
#pragma once

#include <QDialog>
#include <QWidget>

#include "tdkit/settings/properties.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QTabWidget;

class CPropertiesRecorderBase : public QWidget {
public:
    void InitProperties(const RECORDPROPERTIES* props);
    // Always 1. bReserved12 and b24Hour are never touched.
    int UpdateProperties(RECORDPROPERTIES* props) const;
    QString Title() const { return m_strTitle; }
    unsigned HelpContext() const { return m_nHelp; }

    // The controls, for tests.
    QCheckBox* AutoLevel() const { return m_pAutoLevel; }
    QCheckBox* VoiceDetect() const { return m_pVoiceDetect; }
    QCheckBox* Compress() const { return m_pCompress; }
    QCheckBox* StartOnOpen() const { return m_pStartOnOpen; }  // null on the Recorder page
    QAbstractButton* MaxTime(int index) const;
    QAbstractButton* Quality(int index) const;

protected:
    CPropertiesRecorderBase(QWidget* parent, const QString& title, const QString& compressText,
                            bool startOnOpen, unsigned help);

private:
    QString m_strTitle;
    unsigned m_nHelp;
    QCheckBox* m_pAutoLevel;
    QCheckBox* m_pVoiceDetect;
    QCheckBox* m_pCompress;
    QCheckBox* m_pStartOnOpen = nullptr;
    QButtonGroup* m_pMaxTime;
    QButtonGroup* m_pQuality;
};

class CPropertiesRecorder : public CPropertiesRecorderBase {
public:
    explicit CPropertiesRecorder(QWidget* parent = nullptr);
};

class CPropertiesSayIt : public CPropertiesRecorderBase {
public:
    explicit CPropertiesSayIt(QWidget* parent = nullptr);
};

class CPropertiesVoicegram : public CPropertiesRecorderBase {
public:
    explicit CPropertiesVoicegram(QWidget* parent = nullptr);
};

// A small sheet with one drawer's page, for the drawer's own settings button.
class CRecorderSettingsSheet : public QDialog {
public:
    // type: 0 Recorder, 1 Send Voicegram, 2 Create EchoMemo.
    CRecorderSettingsSheet(int type, RECORDPROPERTIES* props, QWidget* parent = nullptr);
    CPropertiesRecorderBase* Page() const { return m_pPage; }
    void accept() override;

private:
    RECORDPROPERTIES* m_pProps;
    CPropertiesRecorderBase* m_pPage;
};
