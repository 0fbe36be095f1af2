#include "tdpost/ui/drawervgram.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThread>
#include <QTimerEvent>
#include <QToolBar>
#include <QWidget>

#include <algorithm>
#include <cstring>

#include "platform/trace.h"
#include "tdkit/audio/acm.h"
#include "tdkit/audio/mixmgr.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/mail/voicegram.h"
#include "tdkit/settings/dialogforms.h"
#include "tdkit/settings/names.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/strings.h"
#include "tdkit/ui/aoldialogs.h"
#include "tdkit/ui/customcontrols.h"
#include "tdkit/ui/descdlg.h"
#include "tdkit/ui/helptopic.h"
#include "tdkit/ui/togglewnd.h"
#include "tdkit/ui/vuwnd.h"
#include "tdkit/ui/waveformdisplay.h"
#include "tdpost/recorderfiles.h"
#include "tdpost/ui/recorderpages.h"

namespace {

// Template ids, titles, accelerator tables and help topics of the three kinds. The
// Send Voicegram drawer is taller: it carries the subject line and "Return Receipt".
const RecorderDrawerKind kKinds[] = {
    {149, "Audio Recorder", WM_BAR_RECORDERCLOSED, 11137, 2501, QSize(420, 180)},
    {176, "Send Voicegram", WM_BAR_VOICEGRAMCLOSED, 11135, 5504, QSize(420, 220)},
    {178, "Create Echo Memos", WM_BAR_MEMOCREATORCLOSED, 11136, 1501, QSize(420, 180)},
};

// Control ids of the drawer's controls.
constexpr int IDC_WAVEFORM = 1058, IDC_SHELL = 1001, IDC_METER_LEFT = 1065, IDC_METER_RIGHT = 1064,
              IDC_TOGGLE = 1036, IDC_AUTOLEVEL = 1003, IDC_VOICEDETECT = 1004, IDC_TIME = 1050,
              IDC_COMPRESS = 1074, IDC_SUBJECT = 1000, IDC_RECEIPT = 1002;

constexpr int kTimerMs = 100;
constexpr int kToggleStep = 2048;
constexpr int kDeviceWaitMs = 2000;

const char kMaxTimeText[] =
    "The recording has stopped because you have reached\nthe maximum recording time.  If you "
    "want to increase the\nmaximum record time, close all drawers, then select\nProperties "
    "from the Tonedeck popup menu and select\nthe properties tab for the specific drawer.";
const char kLoseText[] =
    "Closing the drawer will result in the loss of the recording.\nDo you want to close the "
    "drawer?";
const char kTooLongText[] =
    "The sound being imported will cause the recording to exceed\n the maximum recording "
    "length.  If you proceed, the added\nsound will be truncated and data will be lost.\nDo "
    "you want to proceed?";

// The buttons' faces, drawn small and plain.
QIcon CommandIcon(int command) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    auto tri = [&](QPointF a, QPointF b, QPointF c) {
        const QPointF pts[] = {a, b, c};
        p.drawPolygon(pts, 3);
    };
    switch (command) {
        case ID_RECORDER_RECORD:
            p.setBrush(QColor(200, 0, 0));
            p.setPen(QColor(120, 0, 0));
            p.drawEllipse(QRectF(3, 3, 10, 10));
            break;
        case ID_RECORDER_STOP:
            p.drawRect(QRectF(4, 4, 8, 8));
            break;
        case ID_RECORDER_PAUSE:
            p.drawRect(QRectF(4, 3, 3, 10));
            p.drawRect(QRectF(9, 3, 3, 10));
            break;
        case ID_RECORDER_PLAY:
            p.setBrush(QColor(0, 120, 0));
            tri({4, 2}, {4, 14}, {13, 8});
            break;
        case ID_RECORDER_SKIPSTART:
            p.drawRect(QRectF(3, 3, 2, 10));
            tri({13, 3}, {13, 13}, {6, 8});
            break;
        case ID_RECORDER_SKIPEND:
            p.drawRect(QRectF(11, 3, 2, 10));
            tri({3, 3}, {3, 13}, {10, 8});
            break;
        case ID_RECORDER_SEND:
            p.setBrush(QColor(255, 250, 220));
            p.drawRect(QRectF(1.5, 3.5, 13, 9));
            p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
            p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
            break;
        case ID_RECORDER_POST:
            p.setBrush(QColor(255, 240, 120));
            p.drawRect(QRectF(2.5, 2.5, 11, 11));
            p.drawLine(QPointF(5, 6), QPointF(11, 6));
            p.drawLine(QPointF(5, 9), QPointF(11, 9));
            break;
        case ID_RECORDER_SAVEFILE:
            p.setBrush(QColor(40, 60, 160));
            p.drawRect(QRectF(2.5, 2.5, 11, 11));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5, 3, 6, 4));
            break;
        case ID_RECORDER_DESKTOP:
            p.setBrush(QColor(0, 128, 128));
            p.drawRect(QRectF(1.5, 2.5, 13, 9));
            p.drawRect(QRectF(6, 12, 4, 2));
            break;
        case ID_RECORDER_COPY:
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 2.5, 7, 9));
            p.drawRect(QRectF(6.5, 5.5, 7, 9));
            break;
        case ID_RECORDER_PASTE:
            p.setBrush(QColor(180, 140, 80));
            p.drawRect(QRectF(2.5, 3.5, 10, 11));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(6.5, 6.5, 7, 8));
            break;
        case ID_RECORDER_CLOSE:
            p.setPen(QPen(Qt::black, 2));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case ID_RECORDER_PROPERTIES:
            p.setBrush(QColor(160, 160, 160));
            p.drawEllipse(QRectF(3, 3, 10, 10));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6, 6, 4, 4));
            break;
        case ID_RECORDER_HELP: {
            QFont f = p.font();
            f.setBold(true);
            f.setPixelSize(13);
            p.setFont(f);
            p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        default:
            break;
    }
    return QIcon(pm);
}

// A list as the mail calls take it: NUL-terminated strings ended by an empty one.
QByteArray FlatList(const QStringList& items) {
    QByteArray out;
    for (const QString& item : items)
        if (!item.isEmpty())
            out += item.toLocal8Bit() + '\0';
    return out + '\0';
}

int DefaultBox(QWidget* parent, const QString& caption, const QString& text, int buttons,
               int icon) {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == CDrawerVGram::MB_ICONQUESTION      ? QMessageBox::Question
                : icon == CDrawerVGram::MB_ICONEXCLAMATION ? QMessageBox::Warning
                                                           : QMessageBox::Information);
    if (buttons == CDrawerVGram::MB_YESNO)
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    else
        box.setStandardButtons(QMessageBox::Ok);
    const int r = box.exec();
    return r == QMessageBox::Yes  ? CDrawerVGram::IDYES
           : r == QMessageBox::No ? CDrawerVGram::IDNO
                                  : CDrawerVGram::IDOK;
}

}  // namespace

const RecorderDrawerKind* GetRecorderDrawerKind(int type) {
    return type >= 0 && type < 3 ? &kKinds[type] : nullptr;
}

CDrawerVGram::CDrawerVGram(const QPoint* anchor, CMixMgr* mixMgr, RECORDPROPERTIES* recordProps,
                           MAILPROPERTIES* mailProps, CSimpleMapi* mapi, QWidget* owner,
                           VOXPROPERTIES* voxProps)
    : CSlidingDrawer(kKinds[RDT_RECORDER].nTemplateId, owner),
      m_pMixMgr(mixMgr),
      m_pMapi(mapi),
      m_pRecordProps(recordProps),
      m_pMailProps(mailProps),
      m_pVoxProps(voxProps) {
    m_pOwner = owner;
    SetAnchorFromBar(anchor ? *anchor : QPoint());
    messageBox = [this](const QString& c, const QString& t, int b, int i) {
        return DefaultBox(this, c, t, b, i);
    };
    askSchedule = [this](ECHOMEMOSTRUCT* memo, QString* description) {
        CDescDlg dlg(this);
        dlg.Set24HourFormat(m_pRecordProps ? m_pRecordProps->b24Hour : 0);
        const QByteArray d = description->toLocal8Bit();
        dlg.SetNoteInfo(memo, d.constData(), 1);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        dlg.GetNoteInfo(memo);
        *description = dlg.GetDescription();
        return true;
    };
    askPasteType = [this](PASTETYPE* type) {
        CDlgPasteSolution dlg(this);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        *type = dlg.GetPasteType();
        return true;
    };
    askSaveFileName = [this] {
        QFileDialog dlg(this, QStringLiteral("Save as a File"));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilter(QStringLiteral("WAV FILES(*.wav)"));
        dlg.setDefaultSuffix(QStringLiteral("wav"));
        dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    };
    askSubject = [this](VoicegramSending* s) {
        CGetTextDlg dlg(this);
        dlg.m_bCompress = m_bCompress;
        if (dlg.exec() != QDialog::Accepted)
            return false;
        s->subject = dlg.m_strText;
        s->compress = dlg.m_bCompress;
        s->receipt = dlg.m_bReceipt;
        return true;
    };
    sendVoicegram = [this](const VoicegramSending& s) {
        // The mail system sends the temporary copy through its address dialog, which
        // starts with the reply's recipient; CompuServe takes the sound UU-encoded in the
        // message text. The wrapper tells the user itself when sending fails.
        const bool mapi =
            (s.services.bMAPI || s.services.bCompuServe) && m_pMapi && m_pMapi->IsMAPIEnabled();
        int sent = 0;
        if (mapi) {
            const QByteArray file = QFile::encodeName(s.file);
            const QByteArray subject = s.subject.toUtf8();
            const QByteArray toName = s.replyToName.toUtf8();
            const QByteArray toAddress = s.replyToAddress.toUtf8();
            const QByteArray ccNames = FlatList(m_ReplyCcNames);
            const QByteArray ccAddresses = FlatList(m_ReplyCcAddresses);
            sent = m_pMapi->SendVoicegram(
                file.constData(), kVoicegramAttachName, subject.constData(), kVoicegramNoteText,
                s.receipt, toName.constData(), toAddress.constData(), ccNames.constData(),
                ccAddresses.constData(), s.services.bMAPI ? 1 : 0);
        }
        if (s.services.bAOL && m_pMailProps)
            sent |=
                SendVoicegramByAOL(this, m_pOwner, m_pMailProps, s.subject,
                                   QString::fromLatin1(kVoicegramNoteText), s.file, askAOLAddress);
        if (mapi || s.services.bAOL)
            return sent;
        Box(QStringLiteral("Mail Error"),
            QStringLiteral("Mail is not set up on this computer yet, so the voicegram was not "
                           "sent.\nThe recording is kept in the drawer."),
            MB_OK, MB_ICONEXCLAMATION);
        return 0;
    };
    offerRecovered = [this](const QString&, DWORD samples) {
        const DWORD rate = std::max<DWORD>(1, m_Record.GetSamplesPerSec());
        return Box(QStringLiteral("Recording Found"),
                   QStringLiteral("A recording of %1 seconds was left unsaved when Tonedeck last "
                                  "ended.\nDo you want to open it in this drawer?")
                       .arg(samples / rate),
                   MB_YESNO, MB_ICONQUESTION) == IDYES;
    };
}

CDrawerVGram::~CDrawerVGram() {
    if (m_bRecording || m_bPlaying)
        StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    m_Drop.UnregisterWnd();
    m_Record.CloseFile();
    if (m_bHasRecording && !m_strWorkFile.isEmpty())
        QFile::remove(m_strWorkFile);
}

int CDrawerVGram::CreateDrawer(UINT edge, RECORDERDRAWERTYPE type, int toolTips) {
    const RecorderDrawerKind* kind = GetRecorderDrawerKind(type);
    if (!kind || IsInitialised())
        return 0;
    m_nEdge = edge;
    m_nDrawerType = type;
    SetTemplateId(kind->nTemplateId);
    m_bToolTips = toolTips ? 1 : 0;
    setWindowTitle(QString::fromLatin1(kind->szTitle));
    setFixedSize(kind->size);
    return Create();
}

int CDrawerVGram::Box(const QString& caption, const QString& text, int buttons, int icon) {
    BeginModal();
    const int r = messageBox(caption, text, buttons, icon);
    EndModal();
    return r;
}

BOOL CDrawerVGram::OnInitDialog() {
    m_bRecording = m_bPlaying = m_bHasRecording = m_bModified = 0;
    CSlidingDrawer::OnInitDialog();
    const MAILPROPERTIES mail = m_pMailProps ? *m_pMailProps : MAILPROPERTIES{};
    m_bMailAvailable =
        (((mail.bMAPI || mail.bCompuServe) && m_pMapi && m_pMapi->IsMAPIEnabled()) || mail.bAOL)
            ? 1
            : 0;
    BuildControls();
    if (!m_bMailAvailable && m_nDrawerType == RDT_VOICEGRAM) {
        // Nothing could carry a voicegram: the drawer closes at once.
        PostMessage(this, WM_CLOSE);
        return 1;
    }
    RegisterDrop();
    JoinClipboardViewer();
    m_bClipboardHasWav = m_Clipboard.IsWAVFileInClipboard(nullptr) != 0;

    RECORDPROPERTIES props =
        m_pRecordProps ? *m_pRecordProps : RECORDPROPERTIES{0, 0, 0, 0, 0, 0, 0, 0};
    if (!m_pRecordProps)
        props.nMaxMinutes = 1;
    // Settings outside the allowed values are kept as stored but not recorded with.
    m_bSettingsUsable = RecordSettingsProblem(props).isEmpty();
    const int quality = m_bSettingsUsable ? props.nQuality : RECORDFORMAT_TELEPHONE;
    const DWORD maxMinutes = m_bSettingsUsable ? DWORD(props.nMaxMinutes) : 1;
    m_Record.Start(this, quality, maxMinutes * 60, m_pWaveform, m_pVoxProps);

    m_pMeterLeft->SetRange(0xFFFF);
    m_pMeterRight->SetRange(0xFFFF);
    m_pMeterLeft->SetPos(0);
    m_pMeterRight->SetPos(0);
    if (m_pMixMgr) {
        DWORD mic = 0, second = 0, left = 0, right = 0;
        m_pMixMgr->GetMicRecordVolumeLevel(mic, second);
        m_pMixMgr->GetOverallRecordVolumeLevel(left, right);
        m_pToggle->SetPos(std::max<DWORD>(mic, std::max(left, right)));
        m_pAutoLevel->setEnabled(m_pMixMgr->IsMicRecordAGCControlValid());
        const int mute = m_pMixMgr->GetMicRecordMute() ? 1 : 0;
        m_pMeterLeft->SetMute(mute);
        m_pMeterRight->SetMute(mute);
        m_pMixMgr->SetMicRecordAGC(props.bAutoLevel);
    } else {
        m_pAutoLevel->setEnabled(false);
    }
    m_bAutoLevel = props.bAutoLevel;
    m_bVoiceActivated = props.bVoiceActivated;
    m_bCompress = props.bCompress;
    m_pAutoLevel->setChecked(m_bAutoLevel);
    m_pVoiceDetect->setChecked(m_bVoiceActivated);
    m_pCompress->setChecked(m_bCompress);

    m_pWaveform->SetRange(m_Record.GetSamplesPerSec() * maxMinutes * 60);
    m_pWaveform->SetPos(0);
    m_pShell->SetRange(maxMinutes * 60);
    m_Record.GetCurrentCentisecond(&m_strTime);
    m_pTime->setText(m_strTime);

    TryRecover();
    if (props.bStartOnOpen && !m_bHasRecording)
        PostMessage(this, WM_COMMAND, ID_RECORDER_RECORD);
    UpdateToolBar();
    m_nTimerID = startTimer(kTimerMs);
    return 1;
}

void CDrawerVGram::BuildControls() {
    OnMessage(WM_COMMAND, [this](WPARAM command, LPARAM) {
        OnCommand(static_cast<int>(command));
        return LRESULT(0);
    });
    OnMessage(WM_TOGGLE_PLUS, [this](WPARAM w, LPARAM l) { return OnToggle(kToggleStep, w, l); });
    OnMessage(WM_TOGGLE_MINUS, [this](WPARAM w, LPARAM l) { return OnToggle(-kToggleStep, w, l); });
    OnMessage(WM_VUMETER_CLICKED, [this](WPARAM, LPARAM) { return OnMuteDown(); });
    OnMessage(WM_WAVEFORM_CLICKED, [this](WPARAM w, LPARAM) { return OnWFDMouseDown(w); });

    auto makeBar = [this](const std::vector<int>& commands) {
        auto* bar = new QToolBar(this);
        bar->setIconSize(QSize(16, 16));
        bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; spacing: 1px; }"));
        for (int c : commands) {
            if (c == 0) {
                bar->addSeparator();
                continue;
            }
            QAction* a = bar->addAction(CommandIcon(c), RecorderCommandText(c));
            a->setToolTip(RecorderCommandText(c));
            connect(a, &QAction::triggered, this, [this, c] { OnCommand(c); });
            m_Actions[c] = a;
        }
        bar->adjustSize();
        return bar;
    };
    m_pLeftBar = makeBar(LeftToolBarCommands(m_nDrawerType));
    m_pLeftBar->move(0, 2);
    m_pTransportBar = makeBar(TransportCommands());
    m_Actions[ID_RECORDER_PAUSE]->setCheckable(true);
    m_nTransportY = m_pLeftBar->y() + m_pLeftBar->height() + 10;
    m_pTransportBar->move(0, m_nTransportY);
    m_pRightBar = makeBar({ID_RECORDER_CLOSE, 0, ID_RECORDER_PROPERTIES, ID_RECORDER_HELP});
    m_pRightBar->move(width() - m_pRightBar->width(), 2);

    // Keyboard commands of the kind.
    auto key = [this](const QKeySequence& seq, int command) {
        auto* a = new QAction(this);
        a->setShortcut(seq);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, [this, command] { OnCommand(command); });
        addAction(a);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_C), ID_RECORDER_COPY);
    key(QKeySequence(Qt::CTRL | Qt::Key_V), ID_RECORDER_PASTE);
    key(QKeySequence(Qt::CTRL | Qt::Key_P), ID_RECORDER_PLAY);
    key(QKeySequence(Qt::Key_F1), ID_RECORDER_HELP);
    if (m_nDrawerType != RDT_ECHOMEMO)
        key(QKeySequence(Qt::CTRL | Qt::Key_M), ID_RECORDER_SEND);
    if (m_nDrawerType != RDT_VOICEGRAM)
        key(QKeySequence(Qt::CTRL | Qt::Key_N), ID_RECORDER_POST);
    if (m_nDrawerType == RDT_RECORDER) {
        key(QKeySequence(Qt::CTRL | Qt::Key_S), ID_RECORDER_SAVEFILE);
        key(QKeySequence(Qt::CTRL | Qt::Key_K), ID_RECORDER_DESKTOP);
    }

    const int top = m_nTransportY + m_pTransportBar->height() + 6;
    m_pTime = new QLabel(this);
    SetControlId(m_pTime, IDC_TIME);
    m_pTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pTime->setAlignment(Qt::AlignCenter);
    m_pTime->setGeometry(m_pTransportBar->width() + 12, m_nTransportY + 1, 84,
                         m_pTransportBar->height() - 2);

    m_pShell = new CWaveformShell(this);
    SetControlId(m_pShell, IDC_SHELL);
    m_pShell->setGeometry(6, top, 300, 72);
    m_pWaveform = new CWaveformDisplay(this);
    SetControlId(m_pWaveform, IDC_WAVEFORM);
    m_pWaveform->setGeometry(8, top + 2, 296, 52);
    m_pWaveform->setToolTip(QStringLiteral("Audio Waveform Display"));

    m_pMeterLeft = new CVUWnd(this);
    m_pMeterRight = new CVUWnd(this);
    SetControlId(m_pMeterLeft, IDC_METER_LEFT);
    SetControlId(m_pMeterRight, IDC_METER_RIGHT);
    m_pMeterLeft->SetParentWindow(this);
    m_pMeterRight->SetParentWindow(this);
    m_pMeterLeft->move(314, top);
    // The meters touch, and the toggle stands one pixel after them.
    m_pMeterRight->move(m_pMeterLeft->x() + m_pMeterLeft->width(), top);
    m_pMeterLeft->setToolTip(QStringLiteral("Record Level Meter"));
    m_pMeterRight->setToolTip(QStringLiteral("Record Level Meter"));
    m_pToggle = new CToggleWnd(this, QStringLiteral("IDB_BITMAP_MICSENSITIVITY"),
                               CToggleWnd::kStyleVertical);
    SetControlId(m_pToggle, IDC_TOGGLE);
    m_pToggle->SetParentWindow(this);
    m_pToggle->SetRange(0xFFFF);
    m_pToggle->move(m_pMeterRight->x() + m_pMeterRight->width() + 1, top);
    m_pToggle->setToolTip(QStringLiteral("Microphone Sensitivity Control"));

    const int checks = top + 76;
    m_pAutoLevel = new QCheckBox(QStringLiteral("Auto Record Level"), this);
    SetControlId(m_pAutoLevel, IDC_AUTOLEVEL);
    m_pAutoLevel->setGeometry(6, checks, 130, 20);
    m_pVoiceDetect = new QCheckBox(QStringLiteral("Auto Voice Detect"), this);
    SetControlId(m_pVoiceDetect, IDC_VOICEDETECT);
    m_pVoiceDetect->setGeometry(138, checks, 130, 20);
    const char* compressText = m_nDrawerType == RDT_RECORDER    ? "Compress data before mailing"
                               : m_nDrawerType == RDT_VOICEGRAM ? "Compress Voicegram"
                                                                : "Compress data before posting";
    m_pCompress = new QCheckBox(QLatin1String(compressText), this);
    SetControlId(m_pCompress, IDC_COMPRESS);
    m_pCompress->setGeometry(6, checks + 20, 260, 20);
    connect(m_pAutoLevel, &QCheckBox::clicked, this, [this] { OnCheckAgc(); });
    connect(m_pVoiceDetect, &QCheckBox::toggled, this, [this](bool on) { m_bVoiceActivated = on; });
    connect(m_pCompress, &QCheckBox::toggled, this, [this](bool on) { m_bCompress = on; });

    if (m_nDrawerType == RDT_VOICEGRAM) {
        auto* label = new QLabel(QStringLiteral("Subject:"), this);
        label->setGeometry(6, checks + 44, 50, 22);
        m_pSubject = new QLineEdit(this);
        SetControlId(m_pSubject, IDC_SUBJECT);
        m_pSubject->setMaxLength(255);
        m_pSubject->setGeometry(58, checks + 44, 220, 22);
        m_pReceipt = new QCheckBox(QStringLiteral("Return Receipt"), this);
        SetControlId(m_pReceipt, IDC_RECEIPT);
        m_pReceipt->setGeometry(286, checks + 44, 126, 22);
    }

    if (CDrawerToolTip* tips = CreateToolTipControl()) {
        for (auto& [command, action] : m_Actions) {
            (void)command;
            (void)action;
        }
        for (QWidget* w :
             {static_cast<QWidget*>(m_pMeterLeft), static_cast<QWidget*>(m_pMeterRight),
              static_cast<QWidget*>(m_pToggle), static_cast<QWidget*>(m_pWaveform)})
            tips->AddTool(w, w->toolTip());
        if (m_nDrawerType == RDT_RECORDER) {
            m_Actions[ID_RECORDER_SEND]->setToolTip(QStringLiteral("Send as an Voicegram"));
            m_Actions[ID_RECORDER_POST]->setToolTip(QStringLiteral("Post as an Echo Memo"));
        }
    }
}

QAction* CDrawerVGram::Action(int command) const {
    auto it = m_Actions.find(command);
    return it == m_Actions.end() ? nullptr : it->second;
}

RecorderEnabling CDrawerVGram::CurrentEnabling() const {
    RecorderState s;
    s.type = m_nDrawerType;
    s.recording = m_bRecording;
    s.playing = m_bPlaying;
    s.paused = m_Record.GetPauseState() != 0;
    s.hasRecording = m_bHasRecording;
    s.mailAvailable = m_bMailAvailable;
    s.clipboardHasWav = m_bClipboardHasWav;
    s.position = m_pWaveform ? m_pWaveform->GetPos() : 0;
    s.lastSample = m_nLastSample;
    if (!s.recording && !s.playing)
        s.canUseAudio = SendMessage(m_pOwner, WM_BAR_CANUSEAUDIO) != 0;
    return ComputeRecorderEnabling(s);
}

void CDrawerVGram::UpdateToolBar() {
    if (m_Actions.empty())
        return;
    const RecorderEnabling e = CurrentEnabling();
    for (auto& [command, action] : m_Actions)
        action->setEnabled(e.Enabled(command));
    if (QAction* pause = Action(ID_RECORDER_PAUSE))
        pause->setChecked(e.pausePressed);
    if (m_pVoiceDetect)
        m_pVoiceDetect->setEnabled(e.voiceDetect);
}

void CDrawerVGram::OnCommand(int command) {
    if (!IsInitialised() || IsDestroyed())
        return;
    // A command arriving through a key or a queued message obeys the same rules.
    if (!CurrentEnabling().Enabled(command))
        return;
    switch (command) {
        case ID_RECORDER_RECORD:
            OnRecord();
            break;
        case ID_RECORDER_STOP:
            OnStop();
            break;
        case ID_RECORDER_PAUSE:
            OnPause();
            break;
        case ID_RECORDER_PLAY:
            OnPlay();
            break;
        case ID_RECORDER_SKIPSTART:
            OnSkipToStart();
            break;
        case ID_RECORDER_SKIPEND:
            OnSkipToEnd();
            break;
        case ID_RECORDER_POST:
            OnPost();
            break;
        case ID_RECORDER_SAVEFILE:
            OnSaveAsFile();
            break;
        case ID_RECORDER_DESKTOP:
            OnPlaceOnDesktop();
            break;
        case ID_RECORDER_COPY:
            OnCopy();
            break;
        case ID_RECORDER_PASTE:
            OnPaste();
            break;
        case ID_RECORDER_SEND:
            OnSend();
            break;
        case ID_RECORDER_CLOSE:
            OnClose();
            return;
        case ID_RECORDER_HELP:
            OnHelp();
            break;
        case ID_RECORDER_PROPERTIES:
            OnProperties();
            break;
        default:
            break;
    }
    if (!IsDestroyed())
        UpdateToolBar();
}

void CDrawerVGram::RegisterDrop() {
    m_Drop.RegisterWnd(this, &m_Clipboard, [this](QWidget*, const QMimeData* data, ulong) {
        return OnDropCallback(data);
    });
}

void CDrawerVGram::WithdrawDrop() {
    m_Drop.UnregisterWnd();
}

int CDrawerVGram::OnDropCallback(const QMimeData* data) {
    QString path;
    if (!CClipboard::IsWAVFileInObject(data, &path))
        return 0;
    // The import asks questions; the drop itself ends first, so the dragging program is
    // not kept waiting on them.
    QPointer<CDrawerVGram> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, path] {
            if (self)
                self->PasteWAVFile(path);
        },
        Qt::QueuedConnection);
    return 1;
}

void CDrawerVGram::RefreshLastSample() {
    DWORD frames = 0;
    m_nLastSample = m_bHasRecording && m_Record.SamplesInFile(m_strWorkFile, frames) ? frames : 0;
}

bool CDrawerVGram::NewWorkFile(UINT prefixId) {
    char name[kNameBufferSize];
    if (!GetTempFilePathAndName(name, prefixId, IDS_TEMPEXTENSION_WAV))
        return false;
    SetWorkFile(QFile::decodeName(name));
    return true;
}

void CDrawerVGram::SetWorkFile(const QString& path) {
    if (!m_strWorkFile.isEmpty() && m_strWorkFile != path)
        QFile::remove(m_strWorkFile);
    m_strWorkFile = path;
    m_pWorkHold = path.isEmpty() ? nullptr : std::make_unique<WorkFileHold>(path);
}

void CDrawerVGram::ForgetRecording() {
    m_Record.CloseFile();
    SetWorkFile(QString());
    m_bHasRecording = m_bModified = 0;
    m_nLastSample = 0;
    if (m_pWaveform) {
        m_pWaveform->SetPos(0);
        m_pWaveform->ErasePastCurrentLocation();
    }
}

void CDrawerVGram::OnRecord() {
    if (!m_pRecordProps)
        return;
    if (!m_bSettingsUsable) {
        Box(QStringLiteral("Recording Settings"), RecordSettingsProblem(*m_pRecordProps), MB_OK,
            MB_ICONEXCLAMATION);
        return;
    }
    WithdrawDrop();
    // Another program may still be letting go of the input device.
    QElapsedTimer waited;
    waited.start();
    while (!m_Record.IsRecordAvailable(m_pRecordProps->nQuality) &&
           waited.elapsed() < kDeviceWaitMs)
        QThread::msleep(50);
    m_bAutoLevel = m_pAutoLevel->isChecked();
    m_bVoiceActivated = m_pVoiceDetect->isChecked();
    m_bCompress = m_pCompress->isChecked();

    UINT result = 1;
    if (m_bHasRecording) {
        if (m_Record.OpenWAVFile(m_strWorkFile) == 0) {
            const DWORD pos = static_cast<DWORD>(m_pWaveform->GetPos());
            if (pos < m_nLastSample &&
                Box(QStringLiteral("Caution"),
                    QStringLiteral("All data past the current location will be erased\nContinue?"),
                    MB_YESNO, MB_ICONQUESTION) != IDYES) {
                m_Record.CloseFile();
                m_pVoiceDetect->setEnabled(true);
                RegisterDrop();
                return;
            }
            m_pWaveform->ErasePastCurrentLocation();
            result = m_Record.RecordToFile(pos, m_bVoiceActivated);
        }
    } else if (NewWorkFile(IDS_TEMPPREFIX_VOICEGRAM)) {
        m_pWaveform->SetPos(0);
        m_pWaveform->ErasePastCurrentLocation();
        if (m_Record.CreateNewWAVFile(m_strWorkFile) == 0)
            result = m_Record.RecordToFile(0, m_bVoiceActivated);
    }
    if (result == 0) {
        m_bRecording = m_bHasRecording = m_bModified = 1;
        m_bMaxTimeShown = false;
        return;
    }
    m_Record.CloseFile();
    if (!m_bHasRecording)
        SetWorkFile(QString());
    RegisterDrop();
    Box(QStringLiteral("Recording Error"),
        QStringLiteral("The recording could not be started. The microphone may be in use by "
                       "another program."),
        MB_OK, MB_ICONEXCLAMATION);
}

void CDrawerVGram::StopForAction(const char* description, WAVEFILETYPE type) {
    if (m_bRecording) {
        m_Record.StopRecordToFile(&type, description);
        m_bRecording = 0;
        RefreshLastSample();
    }
    if (m_bPlaying) {
        m_Record.StopPlayFromFile();
        m_bPlaying = 0;
    }
    m_Record.CloseFile();
    if (IsInitialised() && !IsDestroyed())
        RegisterDrop();
    m_Record.SetPauseState(0);
    if (m_pMeterLeft) {
        m_pMeterLeft->SetPos(0);
        m_pMeterRight->SetPos(0);
    }
}

void CDrawerVGram::OnStop() {
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    m_Record.GetCurrentCentisecond(&m_strTime);
    m_pTime->setText(m_strTime);
}

void CDrawerVGram::OnPlay() {
    WithdrawDrop();
    if (m_pWaveform->GetPos() >= m_nLastSample)
        m_pWaveform->SetPos(0);
    if (m_Record.OpenWAVFile(m_strWorkFile) == 0 &&
        m_Record.PlayFromFile(static_cast<DWORD>(m_pWaveform->GetPos())) == 0 &&
        m_Record.StillPlaying()) {
        m_bPlaying = 1;
        return;
    }
    m_Record.CloseFile();
    RegisterDrop();
}

void CDrawerVGram::OnPause() {
    if (m_bRecording || m_bPlaying)
        m_Record.SetPauseState(m_Record.GetPauseState() ? 0 : 1);
}

void CDrawerVGram::OnSkipToStart() {
    if (m_bRecording)
        return;
    if (m_bPlaying)
        StopForAction(nullptr, WAVEFILETYPE_WORKING);
    m_pWaveform->SetPos(0);
}

void CDrawerVGram::OnSkipToEnd() {
    if (m_bRecording)
        return;
    if (m_bPlaying)
        StopForAction(nullptr, WAVEFILETYPE_WORKING);
    m_pWaveform->SetPos(m_nLastSample);
}

void CDrawerVGram::OnPost() {
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_ECHOMEMO);
    ECHOMEMOSTRUCT memo = DefaultNewMemo(QDateTime::currentSecsSinceEpoch());
    QString description;
    BeginModal();
    const bool ok = askSchedule(&memo, &description);
    EndModal();
    m_pMeterLeft->SetPos(0);
    m_pMeterRight->SetPos(0);
    if (!ok)
        return;
    memo.lastPlayed = static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch());
    QByteArray text = description.toLocal8Bit().left(255);
    QString dir;
    PostResult r;
    if (GetEchoMemosDirectory(dir))
        r = PostEchoMemoFile(m_strWorkFile, dir, text.constData(), memo);
    else
        r.error = QStringLiteral("no Echo Memos folder");
    if (r.path.isEmpty()) {
        Trace(QStringLiteral("Post Echo Memo: ") + r.error + QLatin1Char('\n'));
        Box(QStringLiteral("Error"), QStringLiteral("Could not post Echo Memo"), MB_OK,
            MB_ICONEXCLAMATION);
        return;
    }
    const QByteArray path = QFile::encodeName(r.path);
    SendMessage(m_pOwner, WM_BAR_TOMEMOS, SOUNDFILETYPE_WAV,
                reinterpret_cast<LPARAM>(path.constData()));
    m_bModified = 0;
    if (m_nDrawerType == RDT_ECHOMEMO)
        OnClose();
}

void CDrawerVGram::OnSaveAsFile() {
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_ECHOMEMO);
    BeginModal();
    const QString target = askSaveFileName();
    EndModal();
    if (target.isEmpty())
        return;
    if (!SaveWorkFileAs(m_strWorkFile, target)) {
        Box(QStringLiteral("Please Try Again"), QStringLiteral("The file could not be saved."),
            MB_OK, MB_ICONEXCLAMATION);
        return;
    }
    m_bModified = 0;
    const QByteArray path = QFile::encodeName(target);
    SendMessage(m_pOwner, WM_BAR_TOSONOSCOUT, 1, reinterpret_cast<LPARAM>(path.constData()));
}

void CDrawerVGram::OnPlaceOnDesktop() {
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_ECHOMEMO);
    QString dir;
    PostResult r;
    if (GetDesktopDir(dir) && (QFileInfo(dir).isDir() || QDir().mkpath(dir)))
        r = PlaceFileInDirectory(m_strWorkFile, dir);
    if (r.path.isEmpty()) {
        Box(QStringLiteral("Please Try Again"), QStringLiteral("The file could not be saved."),
            MB_OK, MB_ICONEXCLAMATION);
        return;
    }
    const QByteArray path = QFile::encodeName(r.path);
    SendMessage(m_pOwner, WM_BAR_TOSONOSCOUT, 1, reinterpret_cast<LPARAM>(path.constData()));
    m_bModified = 0;
    Box(QStringLiteral("File Saved"),
        QStringLiteral("The recording has been saved to the desktop as:\n%1").arg(r.path), MB_OK,
        0);
}

void CDrawerVGram::OnCopy() {
    const QString name = QFileInfo(m_strWorkFile).fileName();
    const QString snapshot = MakeClipboardSnapshot(m_strWorkFile, name);
    if (snapshot.isEmpty() || !m_Clipboard.Copy(snapshot, name, QPoint())) {
        Box(QStringLiteral("Copy Error"), QStringLiteral("The recording could not be copied."),
            MB_OK, MB_ICONEXCLAMATION);
        return;
    }
    m_bClipboardHasWav = true;
}

void CDrawerVGram::OnPaste() {
    QString path;
    if (m_Clipboard.IsWAVFileInClipboard(&path))
        PasteWAVFile(path);
}

void CDrawerVGram::OnSend() {
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    VoicegramSending s;
    if (m_nDrawerType == RDT_VOICEGRAM) {
        s.subject = m_pSubject->text();
        s.compress = m_pCompress->isChecked();
        s.receipt = m_pReceipt->isChecked();
    } else {
        BeginModal();
        const bool ok = askSubject(&s);
        EndModal();
        if (!ok)
            return;
    }
    s.subject = QStringLiteral("VOICEGRAM ") + s.subject;
    char name[kNameBufferSize];
    if (!GetTempFilePathAndName(name, IDS_TEMPPREFIX_VOICEGRAM, IDS_TEMPEXTENSION_WAV) ||
        !CopyFileContents(m_strWorkFile, QFile::decodeName(name))) {
        if (name[0])
            QFile::remove(QFile::decodeName(name));
        Box(QStringLiteral("Error"), QStringLiteral("Could not create a temporary file"), MB_OK,
            MB_ICONEXCLAMATION);
        return;
    }
    s.file = QFile::decodeName(name);
    if (s.compress) {
        // The mail copy goes compressed when the codec layer can compress it, else as
        // recorded, and the user is told.
        char packed[kNameBufferSize] = {};
        CACM acm;
        if (GetTempFilePathAndName(packed, IDS_TEMPPREFIX_VOICEGRAM, IDS_TEMPEXTENSION_WAV) &&
            acm.CompressFile(s.file, QFile::decodeName(packed), this)) {
            QFile::remove(s.file);
            s.file = QFile::decodeName(packed);
        } else {
            if (packed[0])
                QFile::remove(QFile::decodeName(packed));
            Box(QStringLiteral("Compress Voicegram"),
                QStringLiteral("The voicegram could not be compressed (%1).\nIt is sent as "
                               "recorded.")
                    .arg(acm.LastError()),
                MB_OK, MB_ICONEXCLAMATION);
        }
    }
    WorkFileHold hold(s.file);
    s.services = *m_pMailProps;
    s.replyToName = m_strReplyToName;
    s.replyToAddress = m_strReplyToAddress;
    const int services =
        (s.services.bMAPI ? 1 : 0) + (s.services.bAOL ? 1 : 0) + (s.services.bCompuServe ? 1 : 0);
    bool go = true;
    if (services >= 2) {
        CDlgMultipleMailServices dlg(this);
        dlg.SetAvailableServices(m_pMailProps);
        BeginModal();
        go = dlg.exec() == QDialog::Accepted;
        EndModal();
        if (go)
            dlg.GetSelectedServices(&s.services);
    }
    BeginModal();
    const int sent = go ? sendVoicegram(s) : 0;
    EndModal();
    QFile::remove(s.file);
    if (!sent)
        return;
    m_bModified = 0;
    if (m_nDrawerType == RDT_VOICEGRAM) {
        ForgetRecording();
        OnClose();
    }
}

void CDrawerVGram::OnProperties() {
    if (!m_pRecordProps)
        return;
    CRecorderSettingsSheet sheet(m_nDrawerType, m_pRecordProps, this);
    BeginModal();
    const bool changed = sheet.exec() == QDialog::Accepted;
    EndModal();
    if (!changed)
        return;
    m_bSettingsUsable = RecordSettingsProblem(*m_pRecordProps).isEmpty();
    m_pAutoLevel->setChecked(m_pRecordProps->bAutoLevel);
    m_pVoiceDetect->setChecked(m_pRecordProps->bVoiceActivated);
    m_pCompress->setChecked(m_pRecordProps->bCompress);
    if (m_pMixMgr)
        m_pMixMgr->SetMicRecordAGC(m_pRecordProps->bAutoLevel);
    // A new quality or length applies at once to an empty drawer; a recording keeps the
    // format it was made in until the drawer opens again.
    if (!m_bHasRecording && m_bSettingsUsable) {
        const DWORD maxMinutes = DWORD(m_pRecordProps->nMaxMinutes);
        m_Record.Start(this, m_pRecordProps->nQuality, maxMinutes * 60, m_pWaveform, m_pVoxProps);
        m_pWaveform->SetRange(m_Record.GetSamplesPerSec() * maxMinutes * 60);
        m_pShell->SetRange(maxMinutes * 60);
    }
}

void CDrawerVGram::OnHelp() {
    OpenHelpTopic(GetRecorderDrawerKind(m_nDrawerType)->nHelpContext);
}

void CDrawerVGram::OnCheckAgc() {
    m_bAutoLevel = m_pAutoLevel->isChecked();
    if (m_pMixMgr)
        m_pMixMgr->SetMicRecordAGC(m_bAutoLevel);
}

LRESULT CDrawerVGram::OnToggle(int step, WPARAM control, LPARAM position) {
    if (static_cast<int>(control) != IDC_TOGGLE)
        return 0;
    const long pos = std::clamp<long>(static_cast<long>(position) + step, 0, 0xFFFF);
    m_pToggle->SetPos(static_cast<unsigned long>(pos));
    if (m_pMixMgr) {
        m_pMixMgr->SetMicRecordVolumeLevel(static_cast<DWORD>(pos));
        m_pMixMgr->SetOverallRecordVolumeLevel(static_cast<DWORD>(pos), static_cast<DWORD>(pos));
    }
    return 0;
}

LRESULT CDrawerVGram::OnMuteDown() {
    if (!m_pMixMgr)
        return 0;
    const BOOL mute = m_pMixMgr->GetMicRecordMute() ? 0 : 1;
    m_pMixMgr->SetMicRecordMute(mute);
    m_pMeterLeft->SetMuteInProgress(mute);
    m_pMeterRight->SetMuteInProgress(mute);
    return 0;
}

LRESULT CDrawerVGram::OnWFDMouseDown(WPARAM position) {
    if (!m_bRecording && !m_bPlaying) {
        m_pWaveform->SetPos(std::min<unsigned long>(position, m_nLastSample));
        UpdateToolBar();
    }
    return 0;
}

void CDrawerVGram::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_nTimerID)
        OnTimer();
    else
        CSlidingDrawer::timerEvent(event);
}

void CDrawerVGram::OnTimer() {
    if (IsDestroyed())
        return;
    if (m_pMixMgr) {
        const int mute = m_pMixMgr->GetMicRecordMute() ? 1 : 0;
        m_pMeterLeft->SetMute(mute);
        m_pMeterRight->SetMute(mute);
        if (m_bRecording || m_bPlaying) {
            int32_t left = 0, right = 0;
            m_pMixMgr->GetMicRecordMeterValue(left, right);
            m_pMeterLeft->SetPos(
                static_cast<WORD>(std::min<long>(std::abs(long(left)) * 2, 0xFFFF)));
            m_pMeterRight->SetPos(
                static_cast<WORD>(std::min<long>(std::abs(long(right)) * 2, 0xFFFF)));
        }
        DWORD mic = 0, second = 0;
        m_pMixMgr->GetMicRecordVolumeLevel(mic, second);
        m_pToggle->SetPos(mic);
        m_pAutoLevel->setChecked(m_pMixMgr->GetMicRecordAGC() != 0);
    }
    if (m_bRecording || m_bPlaying) {
        m_Record.GetCurrentCentisecond(&m_strTime);
        m_pTime->setText(m_strTime);
    }
    if (!m_bRecording && !m_bPlaying) {
        const RecorderEnabling e = CurrentEnabling();
        if (QAction* a = Action(ID_RECORDER_RECORD))
            a->setEnabled(e.record);
        if (QAction* a = Action(ID_RECORDER_PLAY))
            a->setEnabled(e.play);
    } else if (m_bRecording && !m_Record.StillRecording()) {
        // The engine stopped by itself: the maximum length was reached.
        OnStop();
        UpdateToolBar();
        if (!m_bMaxTimeShown) {
            m_bMaxTimeShown = true;
            Box(QStringLiteral("Maximum Recording Time Reached"), QLatin1String(kMaxTimeText),
                MB_OK, MB_ICONEXCLAMATION);
        }
    } else if (m_bPlaying && !m_Record.StillPlaying()) {
        OnStop();
        UpdateToolBar();
    }
}

void CDrawerVGram::OpenRedrawClose(bool toEnd) {
    if (m_Record.OpenWAVFile(m_strWorkFile) == 0) {
        m_Record.RedrawWaveformDisplay();
        m_nLastSample = m_Record.FileSamples();
        m_pWaveform->SetPos(toEnd ? m_nLastSample : 0);
    }
    m_Record.CloseFile();
}

int CDrawerVGram::ConvertForImport(const QString& source, QString* converted) {
    const CACMFormatPtr f = CACM::GetFormatFromFile(source);
    if (!f) {
        Box(QStringLiteral("Error"), QStringLiteral("Could not compress/convert file"), MB_OK,
            MB_ICONEXCLAMATION);
        return 0;
    }
    if (CRecord::IsStandardFormat(f.get()) &&
        CRecord::IsSameFormat(f.get(), m_Record.GetRecordFormat())) {
        converted->clear();
        return 1;
    }
    char name[kNameBufferSize];
    if (!GetTempFilePathAndName(name, IDS_TEMPPREFIX_VOICEGRAM, IDS_TEMPEXTENSION_WAV)) {
        Box(QStringLiteral("Error"), QStringLiteral("Could not create a temporary file"), MB_OK,
            MB_ICONEXCLAMATION);
        return 0;
    }
    *converted = QFile::decodeName(name);
    // Any format the codec layer reads, compressed ones included; others get the offer of
    // the sound editor.
    CACM acm;
    if (!acm.ConvertFileFormat(source, *converted, m_Record.GetRecordFormat(), this)) {
        QFile::remove(*converted);
        converted->clear();
        Box(QStringLiteral("Error"), QStringLiteral("Could not compress/convert file"), MB_OK,
            MB_ICONEXCLAMATION);
        return 0;
    }
    return 1;
}

bool CDrawerVGram::ConfirmLength(DWORD samples) {
    if (samples <= m_Record.GetMaxSamples())
        return true;
    return Box(QStringLiteral("Warning"), QLatin1String(kTooLongText), MB_YESNO,
               MB_ICONEXCLAMATION) == IDYES;
}

int CDrawerVGram::PasteWAVFile(const QString& path) {
    // A drop that arrives while the drawer asks something waits for nobody: it is refused.
    if (m_bRecording || m_bPlaying || IsDestroyed() || IsInModal())
        return 0;
    if (!IsRegularReadableFile(path) || (m_bHasRecording && IsSameFile(path, m_strWorkFile))) {
        Box(QStringLiteral("Paste Error"),
            QStringLiteral("The sound cannot be imported into its own recording, or is not a "
                           "sound file."),
            MB_OK, MB_ICONEXCLAMATION);
        return 0;
    }
    QString converted;
    if (!ConvertForImport(path, &converted))
        return 0;
    const QString source = converted.isEmpty() ? path : converted;
    struct Cleanup {
        QString file;
        ~Cleanup() {
            if (!file.isEmpty())
                QFile::remove(file);
        }
    } cleanup{converted};

    if (!m_bHasRecording) {
        if (!NewWorkFile(IDS_TEMPPREFIX_AUDIO) || !CopyFileContents(source, m_strWorkFile) ||
            !QFile::setPermissions(m_strWorkFile, QFile::ReadOwner | QFile::WriteOwner)) {
            ForgetRecording();
            Box(QStringLiteral("Paste Error"), QStringLiteral("Paste Error"), MB_OK,
                MB_ICONEXCLAMATION);
            return 0;
        }
        m_bHasRecording = m_bModified = 1;
        OpenRedrawClose(true);
        UpdateToolBar();
        return 1;
    }

    PASTETYPE type = PASTE_REPLACE;
    BeginModal();
    const bool chosen = askPasteType(&type);
    EndModal();
    if (!chosen)
        return 0;
    if (type != PASTE_MIX) {
        DWORD frames = 0;
        if (!m_Record.SamplesInFile(source, frames)) {
            Box(QStringLiteral("Error"),
                QStringLiteral("The number of samples in the pasted/dragged file could not be "
                               "determined"),
                MB_OK, MB_ICONEXCLAMATION);
            return 0;
        }
        const DWORD total = type == PASTE_REPLACE ? frames : frames + m_nLastSample;
        if (!ConfirmLength(total))
            return 0;
    }
    const ImportError e =
        ImportIntoWorkFile(m_Record, static_cast<ImportMode>(type), source, m_strWorkFile);
    if (e != ImportError::None) {
        Box(QStringLiteral("Paste Error"), QStringLiteral("Paste Error"), MB_OK,
            MB_ICONEXCLAMATION);
        return 0;
    }
    m_bModified = 1;
    OpenRedrawClose(type != PASTE_REPLACE);
    UpdateToolBar();
    return 1;
}

int CDrawerVGram::SetWAVFileForReply(int ask, const char* received, const char* subject,
                                     const char* toName, const char* toAddress, const char* ccNames,
                                     const char* ccAddresses) {
    if (m_bHasRecording || m_bRecording || m_bPlaying)
        return 0;
    const QString source = QFile::decodeName(received ? received : "");
    const bool include =
        ask && !source.isEmpty() &&
        Box(QStringLiteral("Question"),
            QStringLiteral("Would you like to include the original message with your reply?"),
            MB_YESNO, MB_ICONQUESTION) == IDYES;
    if (include) {
        QString converted;
        if (!ConvertForImport(source, &converted))
            return 0;
        const QString from = converted.isEmpty() ? source : converted;
        const bool copied =
            NewWorkFile(IDS_TEMPPREFIX_AUDIO) && CopyFileContents(from, m_strWorkFile);
        if (!converted.isEmpty())
            QFile::remove(converted);
        if (!copied) {
            ForgetRecording();
            Box(QStringLiteral("Paste Error"), QStringLiteral("Paste Error"), MB_OK,
                MB_ICONEXCLAMATION);
            return 0;
        }
        m_bHasRecording = m_bModified = 1;
        DWORD frames = 0;
        if (!m_Record.SamplesInFile(m_strWorkFile, frames)) {
            ForgetRecording();
            Box(QStringLiteral("Error"),
                QStringLiteral("The number of samples in the pasted/dragged file could not be "
                               "determined"),
                MB_OK, MB_ICONEXCLAMATION);
            return 0;
        }
        if (!ConfirmLength(frames)) {
            ForgetRecording();
            return 0;
        }
        OpenRedrawClose(true);
        StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    }
    m_strReplyToName = QString::fromLocal8Bit(toName ? toName : "");
    m_strReplyToAddress = QString::fromLocal8Bit(toAddress ? toAddress : "");
    auto list = [](const char* p) {
        QStringList items;
        // A list of strings, each NUL-terminated, ended by an empty one.
        for (int guard = 0; p && *p && guard < 4096; ++guard) {
            const std::size_t n = std::strlen(p);
            items << QString::fromLocal8Bit(p, static_cast<qsizetype>(n));
            p += n + 1;
        }
        return items;
    };
    m_ReplyCcNames = list(ccNames);
    m_ReplyCcAddresses = list(ccAddresses);
    if (m_pSubject)
        m_pSubject->setText(QString::fromLocal8Bit(subject ? subject : ""));
    UpdateToolBar();
    return 1;
}

int CDrawerVGram::SetWAVFileForReply(int ask, const QString& received, const QString& subject,
                                     const QString& toName, const QString& toAddress,
                                     const QStringList& ccNames, const QStringList& ccAddresses) {
    return SetWAVFileForReply(ask, QFile::encodeName(received).constData(),
                              subject.toLocal8Bit().constData(), toName.toLocal8Bit().constData(),
                              toAddress.toLocal8Bit().constData(), FlatList(ccNames).constData(),
                              FlatList(ccAddresses).constData());
}

void CDrawerVGram::TryRecover() {
    for (const QString& path : FindOrphanWorkFiles()) {
        const DWORD samples = RepairWorkFile(path);
        WAVEFORMATEX f{};
        if (!samples || !ReadWavFormat(path, &f) || !CRecord::IsStandardFormat(&f))
            continue;
        BeginModal();
        const int take = offerRecovered(path, samples);
        EndModal();
        if (take) {
            SetWorkFile(path);
            m_bHasRecording = m_bModified = 1;
            OpenRedrawClose(true);
        } else {
            QFile::remove(path);
        }
        return;  // one at a time: others are offered by the next drawer
    }
}

void CDrawerVGram::OnDrawClipboard() {
    m_bClipboardHasWav = m_Clipboard.IsWAVFileInClipboard(nullptr) != 0;
    if (!IsDestroyed())
        UpdateToolBar();
}

void CDrawerVGram::OnClose() {
    if (IsInModal() || IsClosing() || IsDestroyed())
        return;
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    if (m_bModified && Box(QStringLiteral("Recording Will Be Lost"), QLatin1String(kLoseText),
                           MB_YESNO, MB_ICONEXCLAMATION) != IDYES) {
        UpdateToolBar();
        return;
    }
    m_Drop.UnregisterWnd();
    LeaveClipboardViewer();
    if (m_bHasRecording)
        ForgetRecording();
    DestroyWindow();
}

BOOL CDrawerVGram::OnQueryEndSession() {
    if (IsInModal())
        return 0;
    StopForAction("VOICEGRAM FILE", WAVEFILETYPE_WORKING);
    if (m_bModified) {
        if (Box(QStringLiteral("Recording Will Be Lost"), QLatin1String(kLoseText), MB_YESNO,
                MB_ICONEXCLAMATION) != IDYES)
            return 0;
        m_bModified = 0;
    }
    return 1;
}

void CDrawerVGram::OnDestroyed() {
    // The bar may delete the drawer in answer; nothing of it is touched afterwards.
    SendMessage(m_pOwner, GetRecorderDrawerKind(m_nDrawerType)->nClosedMessage);
}

void CDrawerVGram::paintEvent(QPaintEvent* event) {
    CSlidingDrawer::paintEvent(event);
    QPainter p(this);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    for (int y : {0, m_nTransportY - 4}) {
        p.setPen(shadow);
        p.drawLine(0, y, width(), y);
        p.setPen(light);
        p.drawLine(0, y + 1, width(), y + 1);
    }
}

void CDrawerVGram::mousePressEvent(QMouseEvent* event) {
    m_bPressForDrag =
        event->button() == Qt::LeftButton && m_bHasRecording && !m_bRecording && !m_bPlaying;
    if (m_bPressForDrag) {
        m_ptPress = event->position().toPoint();
        return;
    }
    CSlidingDrawer::mousePressEvent(event);
}

void CDrawerVGram::mouseMoveEvent(QMouseEvent* event) {
    if (m_bPressForDrag && (event->buttons() & Qt::LeftButton)) {
        if ((event->position().toPoint() - m_ptPress).manhattanLength() < 6)
            return;
        m_bPressForDrag = false;
        // The drag carries a copy, so the drawer may go on changing its recording.
        const QString name = QFileInfo(m_strWorkFile).fileName();
        const QString snapshot = MakeClipboardSnapshot(m_strWorkFile, name);
        if (!snapshot.isEmpty()) {
            WithdrawDrop();  // never drop onto itself
            m_Clipboard.DragCopy(this, snapshot, name, m_ptPress);
            RegisterDrop();
        }
        return;
    }
    CSlidingDrawer::mouseMoveEvent(event);
}

void CDrawerVGram::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const RecorderEnabling e = CurrentEnabling();
    for (int c : ContextMenuCommands(m_nDrawerType)) {
        QAction* a = menu.addAction(RecorderCommandText(c));
        a->setEnabled(e.Enabled(c));
        connect(a, &QAction::triggered, this, [this, c] { OnCommand(c); });
    }
    BeginModal();
    menu.exec(event->globalPos());
    EndModal();
}
