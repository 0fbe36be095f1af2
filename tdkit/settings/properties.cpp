#include "tdkit/settings/properties.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/regularfile.h"
#include "tdkit/settings/paths.h"

void SetDefaultProperties(PROPERTIES* p, const RECT& rect) {
    DOCKSTATE& dock = p->DockState;
    dock.dwSize = kDockStateSize;
    dock.nEdge = 0;
    dock.bAutoHide = 0;
    dock.bAlwaysOnTop = 1;
    dock.bShowHideSound = 1;
    dock.bDrawerSound = 1;
    dock.rcFloat.left = rect.left;
    dock.rcFloat.top = rect.top;
    // The width doubled, worked out in 64 bits and held to the field's range.
    const int64_t right = 2 * int64_t{rect.right} - rect.left;
    dock.rcFloat.right = static_cast<int32_t>(std::clamp<int64_t>(
        right, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    dock.rcFloat.bottom = rect.bottom;

    p->bShowRecorder = 1;
    p->bShowSendVoicegram = 1;
    p->bShowVoicegramBox = 1;
    p->bShowCreateEchoMemo = 1;
    p->bShowSonoscout = 1;
    p->bShowEchoMemosManager = 1;
    p->bReserved80 = 0;
    p->bShowExtraButton = 0;
    p->bReserved88 = 1;
    p->bShowBass = 1;
    p->bShowTreble = 1;
    p->bReserved100 = 1;
    p->bShowSRS = 0;
    p->bSRSImage = 0;
    p->bSystemFaceColour = 1;
    p->bDefaultShowHideSound = 1;
    p->bDefaultDrawerSound = 1;
    p->bToolTips = 1;
    p->bShowEndBitmap = 1;
    p->bNoMailWarningOff = 0;
    p->nPollSeconds = 30;

    p->VoxProps.bySilenceSeconds = 5;
    p->VoxProps.dwThreshold = 5000;
    p->VoxProps.byTrimSeconds = 4;

    p->szShowHideSound[0] = '\0';
    p->szDrawerSound[0] = '\0';

    RECORDPROPERTIES* recorders[] = {&p->RecorderProps, &p->SendVoicegramProps,
                                     &p->CreateEchoMemoProps};
    const int quality[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        RECORDPROPERTIES& r = *recorders[i];
        r.nMaxMinutes = 5;
        r.bAutoLevel = 1;
        r.bVoiceActivated = 0;
        r.bReserved12 = 0;
        r.bStartOnOpen = 0;
        r.nQuality = quality[i];
        r.b24Hour = 0;
    }

    MESSAGEPROPERTIES& m = p->MessageProps;
    // Element by element through the record, counted with sizeof: a reference to a packed
    // array or to one of its elements (a range-for, std::size) may be misaligned.
    for (std::size_t i = 0; i < sizeof m.dwReserved0 / sizeof m.dwReserved0[0]; ++i)
        m.dwReserved0[i] = 0;
    for (std::size_t i = 0; i < sizeof m.dwReserved20 / sizeof m.dwReserved20[0]; ++i)
        m.dwReserved20[i] = 1;
    m.dwReserved40 = 0;
    m.szText44[0] = m.szText304[0] = m.szText564[0] = m.szText824[0] = '\0';

    SONOSCOUTPROPERTIES& s = p->SonoscoutProps;
    s.bFindWAV = 1;
    s.bFindMIDI = 1;
    s.nFrequency = 2;
    for (int d = 0; d < 26; ++d)
        s.bDrive[d] = d == 'C' - 'A' ? 1 : 0;
    s.dwReserved120 = 1;
    s.dwReserved132 = 0;
    s.dwIntervalSeconds = 7200;
    s.dwTimeOfDay = 28800;
    s.wDays = 62;

    p->dwReserved1996[0] = 1;
    p->dwReserved1996[1] = 0;
    p->dwReserved1996[2] = 10;
    p->dwReserved1996[3] = 10;

    ECHOMEMOSPROPERTIES& e = p->EchoMemosProps;
    e.b24Hour = 0;
    e.bNotify = 1;
    e.bConfirmDelete = 1;
    e.bHoldAll = 0;
    for (std::size_t i = 0; i < sizeof e.bSortAscending / sizeof e.bSortAscending[0]; ++i)
        e.bSortAscending[i] = 1;
    e.nSortColumn = 0;

    MAILPROPERTIES& mail = p->MailProps;
    mail.bMAPI = IsMAPIInstalled();
    mail.bAOL = IsAOLInstalled();
    mail.bCompuServe = IsCompuServeInstalled();
    mail.szAOLScreenName[0] = '\0';
    mail.szAOLPassword[0] = '\0';
    mail.bRememberPassword = 1;
    mail.nReserved76 = 2;
    mail.nReserved80 = 1;
}

PROPERTIES DefaultProperties(const RECT& rectangle) {
    PROPERTIES record;
    std::memset(&record, 0, sizeof record);
    SetDefaultProperties(&record, rectangle);
    return record;
}

bool ReadPropertiesFile(const QString& path, PROPERTIES* record, QString* error) {
    QFile file(path);
    if (!OpenRegularFile(file, QIODevice::ReadOnly, error))
        return false;
    // Read one byte more than a record so that a longer file shows itself.
    const QByteArray bytes = file.read(kPropertiesFileSize + 1);
    if (static_cast<std::size_t>(bytes.size()) != kPropertiesFileSize) {
        if (error)
            *error = QStringLiteral("%1 is not a settings file: it must be exactly %2 bytes")
                         .arg(path)
                         .arg(kPropertiesFileSize);
        return false;
    }
    std::memcpy(record, bytes.constData(), kPropertiesFileSize);
    return true;
}

bool WritePropertiesFile(const QString& path, const PROPERTIES& record, QString* error) {
    PROPERTIES copy = record;
    copy.DockState.dwSize = kDockStateSize;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    // The record holds a mail password: only the owner may read the file.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(reinterpret_cast<const char*>(&copy), sizeof copy);
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
