#include "tdseek/ui/drawersonoscout.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/message.h"
#include "platform/tempfile.h"
#include "platform/trace.h"
#include "tdkit/audio/acm.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/mail/voicegram.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/aoldialogs.h"
#include "tdkit/ui/clipboard.h"
#include "tdkit/ui/descdlg.h"
#include "tdkit/ui/helptopic.h"
#include "tdkit/ui/shareddialogs.h"
#include "tdseek/searchlist.h"
#include "tdseek/ui/propertiessonoscout.h"
#include "tdseek/ui/searchlocationdlg.h"
#include "tdseek/ui/sonoscout.h"

namespace {

constexpr UINT kSonoscoutTemplate = 179;
constexpr int kPathBytes = 260;

// The kind icons, drawn here: a wave for Wave files, a note for MIDI files.
QIcon KindIcon(int type) {
    QPixmap pm(16, 16);
    pm.fill(QColor(0, 128, 128));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.6));
    if (type == 2) {
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(6, 12), 2.5, 2);
        p.drawLine(QPointF(8.4, 12), QPointF(8.4, 3));
        p.drawLine(QPointF(8.4, 3), QPointF(12.5, 5));
    } else {
        QPainterPath wave(QPointF(1, 8));
        for (int x = 1; x <= 15; ++x)
            wave.lineTo(x, 8 + ((x % 4) - 1.5) * (x % 2 ? 2.5 : -2.5));
        p.drawPath(wave);
    }
    return QIcon(pm);
}

// One frame of the search animation: a magnifier circling.
QPixmap AnimationFrame(int frame) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double a = frame * 3.14159265 / 4;
    const QPointF c(12 + 5 * std::cos(a), 12 + 5 * std::sin(a));
    p.setPen(QPen(QColor(0, 96, 96), 2));
    p.drawEllipse(c, 4, 4);
    p.drawLine(c + QPointF(3, 3), c + QPointF(6, 6));
    return pm;
}

// The list with the kind icon before each name.
class SoundList : public CSearchList {
public:
    using CSearchList::CSearchList;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DecorationRole && index.isValid() && index.column() == kName &&
            index.row() < rowCount()) {
            static const QIcon wave = KindIcon(1), midi = KindIcon(2);
            return Record(index.row()).nType == 2 ? midi : wave;
        }
        return CSearchList::data(index, role);
    }
};

// What both views of the list do: a click updates the play order by the keys held, a
// drag takes the selected files out.
template <typename View>
class SoundView : public View {
public:
    SoundView(CDrawerSonoscout* drawer, QWidget* parent) : View(parent), drawer_(drawer) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        View::mousePressEvent(event);
        const QModelIndex at = this->indexAt(event->position().toPoint());
        if (at.isValid() && event->button() == Qt::LeftButton)
            drawer_->OnListClick(at.row(), int(event->modifiers()));
    }
    void startDrag(Qt::DropActions) override {
        QStringList paths, names;
        const auto* list = static_cast<CSearchList*>(this->model());
        for (const QModelIndex& i : this->selectionModel()->selectedRows()) {
            paths << list->Path(i.row());
            names << list->Text(i.row(), CSearchList::kName);
        }
        if (!paths.isEmpty()) {
            CClipboard clipboard;
            clipboard.DragCopy(this, paths, names, QCursor::pos());
        }
    }

private:
    CDrawerSonoscout* drawer_;
};

using SoundTable = SoundView<QTableView>;

// The names with their kind icons in columns. It shares the table's selection, which
// holds whole rows, so a click here selects the whole row too.
class SoundIcons : public SoundView<QListView> {
public:
    using SoundView::SoundView;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        const QItemSelectionModel::SelectionFlags flags = SoundView::selectionCommand(index, event);
        return flags == QItemSelectionModel::NoUpdate ? flags : flags | QItemSelectionModel::Rows;
    }
};

}  // namespace

CDrawerSonoscout::CDrawerSonoscout(SONOSCOUTPROPERTIES* settings, MAILPROPERTIES* mail,
                                   CSonoscout* controller, QWidget* bar)
    : CSlidingDrawer(kSonoscoutTemplate, bar),
      m_pSettings(settings),
      m_pMail(mail),
      m_pController(controller) {
    m_pOwner = controller;
    setWindowTitle(QStringLiteral("Sonoscout"));
    setFixedSize(720, 340);
    if (settings) {
        m_LastChoice.wave = settings->bFindWAV;
        m_LastChoice.midi = settings->bFindMIDI;
        std::copy(settings->bDrive, settings->bDrive + 26, m_LastChoice.drives);
    }
    askYesNo = [this](const QString& text, const QString& caption) {
        return QMessageBox::question(this, caption, text) == QMessageBox::Yes;
    };
    askConfirmDelete = [this](const QStringList& paths) {
        CConfirmFileDelete dlg(this);
        dlg.m_bMultiple = paths.size() > 1;
        dlg.m_nCount = int(paths.size());
        dlg.m_strPath = paths.value(0);
        return dlg.exec() == QDialog::Accepted;
    };
    askSchedule = [this](ECHOMEMOSTRUCT* memo, QString* description) {
        CDescDlg dlg(this);
        dlg.Set24HourFormat(0);
        const QByteArray d = description->toLocal8Bit();
        dlg.SetNoteInfo(memo, d.constData(), 1);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        dlg.GetNoteInfo(memo);
        *description = dlg.GetDescription();
        return true;
    };
    askSearchChoice = [this](SearchChoice* choice) {
        CSearchLocationDlg dlg(this);
        dlg.m_bWave = choice->wave;
        dlg.m_bMidi = choice->midi;
        std::copy(choice->drives, choice->drives + 26, dlg.m_bDrives);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        choice->wave = dlg.m_bWave;
        choice->midi = dlg.m_bMidi;
        std::copy(dlg.m_bDrives, dlg.m_bDrives + 26, choice->drives);
        return true;
    };
    showMessage = [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Sonoscout"), text);
    };
    showInfo = [this](const QString& text) {
        QMessageBox::information(this, QStringLiteral("Sonoscout"), text);
    };
    askSubject = [this](SonoscoutMailing* m) {
        CGetTextDlg dlg(this);
        dlg.m_strText = m->subject;
        if (dlg.exec() != QDialog::Accepted)
            return false;
        m->subject = dlg.m_strText;
        m->compress = dlg.m_bCompress;
        m->receipt = dlg.m_bReceipt;
        return true;
    };
    askMailServices = [this](MAILPROPERTIES* services) {
        CDlgMultipleMailServices dlg(this);
        dlg.SetAvailableServices(services);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        dlg.GetSelectedServices(services);
        return true;
    };
    sendByMapi = [this](const QString& file, const QString& subject, int receipt, int attach) {
        // Through the mail system's address dialog, which starts empty.
        CSimpleMapi* mapi = m_pController ? m_pController->GetSimpleMapiPtr() : nullptr;
        if (!mapi)
            return 0;
        const QByteArray path = QFile::encodeName(file);
        const QByteArray text = subject.toUtf8();
        return mapi->SendVoicegram(path.constData(), kVoicegramAttachName, text.constData(),
                                   kVoicegramNoteText, receipt, "", "", nullptr, nullptr, attach);
    };
    sendByAOL = [this](const QString& file, const QString& subject) {
        return SendVoicegramByAOL(this, parentWidget(), m_pMail, subject,
                                  QString::fromLatin1(kVoicegramNoteText), file);
    };
    editSettings = [this](SONOSCOUTPROPERTIES* settings) {
        QDialog dialog(this);
        dialog.setWindowTitle(QStringLiteral("Sonoscout Properties"));
        new HelpKeyFilter(&dialog, CPropertiesSonoscout::kHelpTopic);
        auto* layout = new QVBoxLayout(&dialog);
        auto* page = new CPropertiesSonoscout(&dialog);
        page->InitProperties(settings);
        layout->addWidget(page);
        auto* buttons = new QDialogButtonBox(
            QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, &dialog);
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        connect(buttons, &QDialogButtonBox::helpRequested, &dialog,
                [] { OpenHelpTopic(CPropertiesSonoscout::kHelpTopic); });
        layout->addWidget(buttons);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        page->UpdateProperties(settings);
        return true;
    };
    m_Animation.setInterval(250);
    connect(&m_Animation, &QTimer::timeout, this, [this] { OnAnimationTick(); });
    OnMessage(WM_PLAYLIST_TRACKCHANGED, [this](WPARAM w, LPARAM) {
        OnTrackChanged(int(w));
        return LRESULT(0);
    });
    OnMessage(WM_BAR_TOSONOSCOUT, [](WPARAM, LPARAM) { return LRESULT(0); });
}

CDrawerSonoscout::~CDrawerSonoscout() = default;

int CDrawerSonoscout::Open(UINT edge, const QPoint& anchor, BOOL toolTips) {
    m_nEdge = edge;
    SetAnchorFromBar(anchor);
    EnableToolTips(toolTips);
    return Create();
}

BOOL CDrawerSonoscout::OnInitDialog() {
    if (!CSlidingDrawer::OnInitDialog())
        return 0;
    BuildControls();
    // Listed once the drawer is up, so that a question about a missing data file is
    // asked over a drawer the user can see.
    QMetaObject::invokeMethod(
        this, [this] { UpdateList(); }, Qt::QueuedConnection);
    if (m_pController && m_pController->IsSearching())
        StartSearchAnimation();
    UpdateToolBar();
    return 1;
}

void CDrawerSonoscout::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    // Two bars, so that every button shows in the drawer's width: playing and the file
    // commands above the list, searching, views and the drawer's own beside "Playing:".
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_pSideBar = new QToolBar(this);
    m_pSideBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Short captions on the buttons; the whole command names are their tooltips.
    struct Button {
        int id;
        const char* caption;
        const char* text;
    };
    const Button buttons[] = {
        {ID_SC_PLAY, "Play", "Play"},
        {ID_SC_STOP, "Stop", "Stop"},
        {ID_SC_PAUSE, "Pause", "Pause"},
        {ID_SC_PREVIOUS, "|<", "Previous Selection"},
        {ID_SC_NEXT, ">|", "Next Selection"},
        {ID_SC_REWIND, "<<", "Rewind"},
        {ID_SC_LOOP, "Repeat", "Repeat"},
        {0, nullptr, nullptr},
        {ID_SC_DELETE, "Delete", "Delete"},
        {ID_SC_POST, "Post", "Post Echo Memo"},
        {ID_SC_MAIL, "Mail", "Send Voicegram"},
        {ID_SC_COPY, "Copy", "Copy"},
        {-1, nullptr, nullptr},
        {ID_SC_SEARCH, "Search", "Start Search"},
        {ID_SC_STOPSEARCH, "Stop Search", "Stop Search"},
        {0, nullptr, nullptr},
        {ID_SC_DETAILVIEW, "Details", "Detail File View"},
        {ID_SC_ICONVIEW, "Icons", "Icon File View"},
        {0, nullptr, nullptr},
        {ID_SC_PROPERTIES, "Properties", "Properties"},
        {ID_SC_HELP, "Help", "Help"},
        {ID_SC_CLOSE, "Close", "Close Drawer"},
    };
    auto* views = new QActionGroup(this);
    QToolBar* bar = m_pToolBar;
    for (const Button& b : buttons) {
        if (b.id < 0) {
            bar = m_pSideBar;
            continue;
        }
        if (!b.text) {
            bar->addSeparator();
            continue;
        }
        QAction* a = bar->addAction(QString::fromLatin1(b.caption));
        a->setToolTip(QString::fromLatin1(b.text));
        a->setData(b.id);
        a->setCheckable(b.id == ID_SC_LOOP || b.id == ID_SC_DETAILVIEW || b.id == ID_SC_ICONVIEW);
        if (b.id == ID_SC_DETAILVIEW || b.id == ID_SC_ICONVIEW)
            views->addAction(a);
        a->setChecked(b.id == ID_SC_DETAILVIEW);
        const int id = b.id;
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    layout->addWidget(m_pToolBar);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Playing:"), this));
    m_pPlaying = new QComboBox(this);
    m_pPlaying->setMinimumWidth(160);
    connect(m_pPlaying, &QComboBox::activated, this, [this](int index) {
        if (m_pController)
            m_pController->PlayTrackIndex(index, m_pController->IsSomethingPlaying());
        UpdateToolBar();
    });
    row->addWidget(m_pPlaying);
    row->addStretch();
    row->addWidget(m_pSideBar);
    m_pAnimation = new QLabel(this);
    m_pAnimation->setFixedSize(24, 24);
    // Its place is kept while it is hidden, so the buttons beside it never move.
    QSizePolicy keep = m_pAnimation->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_pAnimation->setSizePolicy(keep);
    m_pAnimation->hide();
    row->addWidget(m_pAnimation);
    layout->addLayout(row);

    m_pList = new SoundList(this);
    auto* view = new SoundTable(this, this);
    m_pView = view;
    view->setModel(m_pList);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(18);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    view->setShowGrid(false);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    const int widths[CSearchList::kColumns] = {150, 50, 75, 300, 75, 100};
    for (int c = 0; c < CSearchList::kColumns; ++c)
        view->setColumnWidth(c, widths[c]);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setSectionsClickable(true);
    connect(view->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { OnColumnClick(column); });
    auto* icons = new SoundIcons(this, this);
    m_pIconView = icons;
    icons->setModel(m_pList);
    // One selection for both views.
    QItemSelectionModel* own = icons->selectionModel();
    icons->setSelectionModel(view->selectionModel());
    delete own;
    icons->setModelColumn(CSearchList::kName);
    icons->setViewMode(QListView::ListMode);
    icons->setFlow(QListView::TopToBottom);
    icons->setWrapping(true);
    icons->setResizeMode(QListView::Adjust);
    // Each column is as wide as its longest name, so names show whole.
    icons->setUniformItemSizes(false);
    icons->setIconSize(QSize(16, 16));
    icons->setSpacing(1);
    icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    icons->setDragEnabled(true);
    icons->setDragDropMode(QAbstractItemView::DragOnly);
    icons->setContextMenuPolicy(Qt::CustomContextMenu);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(view), static_cast<QAbstractItemView*>(icons)}) {
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) {
            if (m_pController)
                m_pController->StopList();
            OnPlay();
        });
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& at) { ShowContextMenu(v, at); });
    }
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_pStatus->setText(StatusText());
        UpdateToolBar();
    });
    m_pViews = new QStackedWidget(this);
    m_pViews->addWidget(view);
    m_pViews->addWidget(icons);
    layout->addWidget(m_pViews, 1);
    m_pStatus = new QLabel(this);
    layout->addWidget(m_pStatus);
}

QAction* CDrawerSonoscout::Action(int command) const {
    for (const QToolBar* bar : {m_pToolBar, m_pSideBar})
        for (QAction* a : bar ? bar->actions() : QList<QAction*>())
            if (a->data().toInt() == command && !a->isSeparator())
                return a;
    return nullptr;
}

QString CDrawerSonoscout::StatusText() const {
    const int selected = m_pView ? int(m_pView->selectionModel()->selectedRows().size()) : 0;
    return QStringLiteral("%1 File(s)  %2 Selected")
        .arg(m_pList ? m_pList->rowCount() : 0)
        .arg(selected);
}

void CDrawerSonoscout::PrepareToUpdateList() {
    if (m_pList)
        m_pList->Close();
    if (m_pStatus)
        m_pStatus->setText(StatusText());
}

void CDrawerSonoscout::UpdateList() {
    if (!m_pList || m_pList->IsOpen())
        return;
    const QString path = m_pController ? m_pController->GetSearchDatafilePath() : QString();
    if (m_pList->Open(path)) {
        m_PlayOrder.clear();
        // A sort chosen earlier holds for the new list.
        if (m_nSortColumn != 0 || m_bySortBits != 0)
            m_pList->sort(m_nSortColumn,
                          SortDescending(m_nSortColumn) ? Qt::DescendingOrder : Qt::AscendingOrder);
    } else if (!(m_pController && m_pController->IsSearching())) {
        BeginModal();
        const bool yes = askYesNo(
            QStringLiteral("The Sonoscout datafile could not be found. Would you like to create "
                           "a new one by beginning a search?"),
            windowTitle());
        EndModal();
        if (yes)
            OnSearch();
    }
    m_pStatus->setText(StatusText());
    UpdateToolBar();
}

bool CDrawerSonoscout::SortDescending(int column) const {
    static const unsigned char kBits[CSearchList::kColumns] = {1, 4, 8, 16, 32, 2};
    return column >= 0 && column < CSearchList::kColumns && (m_bySortBits & kBits[column]);
}

void CDrawerSonoscout::OnColumnClick(int column) {
    static const unsigned char kBits[CSearchList::kColumns] = {1, 4, 8, 16, 32, 2};
    if (column < 0 || column >= CSearchList::kColumns || !m_pList)
        return;
    // A second click on the sort column turns its direction; another column keeps its own.
    if (column == m_nSortColumn) {
        if (m_bySortBits & kBits[column])
            m_bySortBits = 0;
        else
            m_bySortBits |= kBits[column];
    }
    m_nSortColumn = column;
    const bool down = SortDescending(column);
    m_pList->sort(column, down ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (m_pView)
        m_pView->horizontalHeader()->setSortIndicator(
            column, down ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::vector<int> CDrawerSonoscout::SelectedRecords() const {
    std::vector<std::pair<int, int>> rows;  // row, record
    if (!m_pView)
        return {};
    for (const QModelIndex& i : m_pView->selectionModel()->selectedRows())
        rows.emplace_back(i.row(), m_pList->RecordIndex(i.row()));
    std::sort(rows.begin(), rows.end());
    std::vector<int> records;
    for (const auto& r : rows)
        records.push_back(r.second);
    return records;
}

QStringList CDrawerSonoscout::SelectedPaths() const {
    QStringList paths;
    for (int record : SelectedRecords())
        paths << m_pList->Path(m_pList->RowOfRecord(record));
    return paths;
}

void CDrawerSonoscout::ReconcilePlayOrder() {
    const std::vector<int> selected = SelectedRecords();
    std::vector<int> order;
    for (int r : m_PlayOrder)
        if (std::find(selected.begin(), selected.end(), r) != selected.end())
            order.push_back(r);
    for (int r : selected)
        if (std::find(order.begin(), order.end(), r) == order.end())
            order.push_back(r);
    m_PlayOrder = order;
}

void CDrawerSonoscout::OnListClick(int row, int modifiers) {
    if (!m_pList || row < 0 || row >= m_pList->rowCount())
        return;
    const int record = m_pList->RecordIndex(row);
    const bool selected = m_pView->selectionModel()->isRowSelected(row, {});
    if (modifiers & Qt::ShiftModifier) {
        ReconcilePlayOrder();
    } else if (modifiers & Qt::ControlModifier) {
        auto it = std::find(m_PlayOrder.begin(), m_PlayOrder.end(), record);
        if (selected && it == m_PlayOrder.end())
            m_PlayOrder.push_back(record);
        else if (!selected && it != m_PlayOrder.end())
            m_PlayOrder.erase(it);
    } else {
        m_PlayOrder = {record};
    }
    UpdateToolBar();
}

void CDrawerSonoscout::OnPlay() {
    if (!m_pController || !m_pList)
        return;
    if (m_pController->IsSomethingPlaying())
        m_pController->StopList();
    ReconcilePlayOrder();
    m_pPlaying->clear();
    m_pController->PurgePlayList();
    for (int record : m_PlayOrder) {
        const int row = m_pList->RowOfRecord(record);
        if (row < 0)
            continue;
        m_pPlaying->addItem(m_pList->Text(row, CSearchList::kName));
        m_pController->AddToPlayList(m_pList->Path(row));
    }
    if (m_pPlaying->count() > 0)
        m_pController->PlayList(m_pController->IsLooped());
    UpdateToolBar();
}

void CDrawerSonoscout::OnDelete() {
    if (!m_pController || m_pController->IsSomethingPlaying())
        return;
    const std::vector<int> records = SelectedRecords();
    if (records.empty())
        return;
    QStringList paths;
    for (int r : records)
        paths << m_pList->Path(m_pList->RowOfRecord(r));
    BeginModal();
    const bool yes = askConfirmDelete(paths);
    EndModal();
    if (!yes)
        return;
    QStringList failed;
    for (size_t k = 0; k < records.size(); ++k) {
        const QString& path = paths[int(k)];
        // A record is cleared only when its file is really gone.
        if (!QFile::remove(path) && QFileInfo::exists(path)) {
            failed << path;
            continue;
        }
        if (!m_pList->ClearRecord(records[k]))
            Trace("CDrawerSonoscout: could not clear a deleted file's record\n");
        m_PlayOrder.erase(std::remove(m_PlayOrder.begin(), m_PlayOrder.end(), records[k]),
                          m_PlayOrder.end());
    }
    if (!failed.isEmpty())
        showMessage(QStringLiteral("These files could not be deleted:\n") + failed.join(u'\n'));
    m_pStatus->setText(StatusText());
    UpdateToolBar();
}

void CDrawerSonoscout::OnCopy() {
    QStringList paths = SelectedPaths(), names;
    if (paths.isEmpty())
        return;
    for (const QString& p : paths)
        names << QFileInfo(p).fileName();
    CClipboard clipboard;
    clipboard.Copy(paths, names, QPoint());
}

void CDrawerSonoscout::OnPost() {
    if (!m_pController || m_pController->IsSomethingPlaying() || m_PlayOrder.size() != 1)
        return;
    const int row = m_pList->RowOfRecord(m_PlayOrder.front());
    if (row < 0)
        return;
    const QString source = m_pList->Path(row);
    const QString ext = QFileInfo(source).suffix().toUpper();
    const bool midi = ext.contains(QStringLiteral("MID")) || ext.contains(QStringLiteral("RMI"));
    QString rmiTemp;
    QString sound = source;
    if (ext.contains(QStringLiteral("MID"))) {
        // A standard MIDI file travels wrapped in a RIFF form, which carries the memo.
        const auto dir = PrivateTempDirectory();
        const auto temp =
            dir ? CreateUniqueFile(*dir, QStringLiteral("~sc"), QStringLiteral(".RMI"))
                : std::nullopt;
        if (!temp) {
            showMessage(QStringLiteral("Could not create a temporary file"));
        } else if (CreateRMIDFile(source, *temp)) {
            rmiTemp = *temp;
            sound = *temp;
        } else {
            QFile::remove(*temp);
        }
    }
    ECHOMEMOSTRUCT memo{};
    QString description = m_pList->Text(row, CSearchList::kDescription);
    BeginModal();
    const bool ok = askSchedule(&memo, &description);
    EndModal();
    QString memoDir;
    if (ok && GetEchoMemosDirectory(memoDir)) {
        const auto final =
            CreateUniqueFile(memoDir, QStringLiteral("SAY"),
                             midi ? QStringLiteral(".RMI") : QStringLiteral(".WAV"), kPathBytes);
        const auto part =
            final ? CreateUniqueFile(memoDir, QStringLiteral(".SAY"), QStringLiteral(".part"))
                  : std::nullopt;
        bool done = false;
        if (part) {
            // Built beside the memo list's eyes under a name it never reads, then renamed.
            QFile::remove(*part);
            const QByteArray d = description.toLocal8Bit().left(255);
            done = QFile::copy(sound, *part) &&
                   AddNoteInfoToRIFFFile(*part, WAVEFILETYPE_ECHOMEMO, d.constData(), &memo,
                                         midi ? SOUNDFILETYPE_RMI : SOUNDFILETYPE_WAV) &&
                   std::rename(QFile::encodeName(*part).constData(),
                               QFile::encodeName(*final).constData()) == 0;
            if (!done)
                QFile::remove(*part);
        }
        if (done) {
            const QByteArray p = QFile::encodeName(*final);
            SendMessage(parentWidget(), WM_BAR_TOMEMOS, midi ? 2 : 1,
                        reinterpret_cast<LPARAM>(p.constData()));
        } else if (final) {
            QFile::remove(*final);
        }
    }
    if (!rmiTemp.isEmpty())
        QFile::remove(rmiTemp);
}

bool CDrawerSonoscout::IsMailAvailable() const {
    if (!m_pMail)
        return false;
    const bool mapi = (m_pMail->bMAPI || m_pMail->bCompuServe) && m_pController &&
                      m_pController->IsMapiAvailable();
    return mapi || m_pMail->bAOL;
}

void CDrawerSonoscout::OnMail() {
    if (!m_pController || m_pController->IsSomethingPlaying() || !IsMailAvailable())
        return;
    const std::vector<int> records = SelectedRecords();
    if (records.size() != 1)
        return;
    const QString source = m_pList->Path(m_pList->RowOfRecord(records.front()));
    if (!QFileInfo(source).suffix().toUpper().contains(QStringLiteral("WAV")))
        return;
    SonoscoutMailing mailing;
    BeginModal();
    const bool ok = askSubject(&mailing);
    EndModal();
    if (!ok)
        return;
    const QString subject = VoicegramSubject(mailing.subject);
    QString file = source;
    QString packed;
    if (mailing.compress) {
        const auto dir = PrivateTempDirectory();
        const auto temp =
            dir ? CreateUniqueFile(*dir, QStringLiteral("~sc"), QStringLiteral(".WAV"))
                : std::nullopt;
        if (!temp) {
            showMessage(QStringLiteral("Could not create a temporary file"));
            return;
        }
        CACM acm;
        BeginModal();
        const bool compressed = acm.CompressFile(source, *temp, this) != 0;
        EndModal();
        if (!compressed) {
            QFile::remove(*temp);
            showMessage(QStringLiteral("Could not compress/convert file"));
            return;
        }
        packed = file = *temp;
    }
    MAILPROPERTIES services = *m_pMail;
    const int offered =
        (services.bMAPI ? 1 : 0) + (services.bAOL ? 1 : 0) + (services.bCompuServe ? 1 : 0);
    bool go = true;
    if (offered >= 2) {
        BeginModal();
        go = askMailServices(&services);
        EndModal();
    }
    int sent = 0;
    if (go && (services.bMAPI || services.bCompuServe) && !m_pController->IsMapiAvailable()) {
        showMessage(QStringLiteral("MAPI session not enabled"));
        go = false;
    }
    if (go) {
        BeginModal();
        // CompuServe takes the sound UU-encoded in the text; with Simple MAPI chosen too,
        // the one message goes with the sound attached.
        if (services.bMAPI || services.bCompuServe)
            sent |= sendByMapi(file, subject, mailing.receipt, services.bMAPI ? 1 : 0) ? 1 : 0;
        if (services.bAOL)
            sent |= sendByAOL(file, subject) ? 1 : 0;
        EndModal();
    }
    if (!packed.isEmpty())
        QFile::remove(packed);
    if (sent)
        showInfo(QStringLiteral("The selected file has been successfully sent."));
}

void CDrawerSonoscout::OnProperties() {
    if (!m_pSettings)
        return;
    BeginModal();
    editSettings(m_pSettings);
    EndModal();
}

bool CDrawerSonoscout::IsIconView() const {
    return m_pViews && m_pViews->currentWidget() == m_pIconView;
}

void CDrawerSonoscout::SetIconView(bool icons) {
    if (!m_pViews)
        return;
    QAbstractItemView* from = IsIconView() ? static_cast<QAbstractItemView*>(m_pIconView)
                                           : static_cast<QAbstractItemView*>(m_pView);
    QAbstractItemView* to = icons ? static_cast<QAbstractItemView*>(m_pIconView)
                                  : static_cast<QAbstractItemView*>(m_pView);
    const QModelIndex current = from->currentIndex();
    m_pViews->setCurrentWidget(to);
    if (current.isValid())
        to->scrollTo(to->model()->index(current.row(), icons ? CSearchList::kName : 0));
    if (QAction* a = Action(icons ? ID_SC_ICONVIEW : ID_SC_DETAILVIEW))
        a->setChecked(true);
}

void CDrawerSonoscout::OnSearch() {
    if (!m_pController)
        return;
    SearchChoice choice = m_LastChoice;
    BeginModal();
    const bool ok = askSearchChoice(&choice);
    EndModal();
    if (!ok)
        return;
    m_LastChoice = choice;
    if (!choice.wave && !choice.midi)
        return;
    m_pController->BeginSearch(choice.wave, choice.midi, choice.drives);
    if (m_pController->IsSearching())
        StartSearchAnimation();
    UpdateToolBar();
}

void CDrawerSonoscout::OnCommand(int command) {
    switch (command) {
        case ID_SC_PLAY:
            OnPlay();
            break;
        case ID_SC_STOP:
            if (m_pController)
                m_pController->StopList();
            break;
        case ID_SC_PAUSE:
            if (m_pController)
                m_pController->PausePlay();
            break;
        case ID_SC_PREVIOUS:
            if (m_pController && m_pController->IsSomethingPlaying())
                m_pController->PreviousTrack();
            break;
        case ID_SC_NEXT:
            if (m_pController && m_pController->IsNextTrack())
                m_pController->NextTrack();
            break;
        case ID_SC_REWIND:
            if (m_pController)
                m_pController->RepeatCurrentTrack();
            break;
        case ID_SC_LOOP:
            if (m_pController)
                m_pController->LoopPlayback();
            break;
        case ID_SC_DELETE:
            OnDelete();
            break;
        case ID_SC_POST:
            OnPost();
            break;
        case ID_SC_MAIL:
            OnMail();
            break;
        case ID_SC_DETAILVIEW:
            SetIconView(false);
            break;
        case ID_SC_ICONVIEW:
            SetIconView(true);
            break;
        case ID_SC_PROPERTIES:
            OnProperties();
            break;
        case ID_SC_HELP:
            OpenHelpTopic(kSonoscoutHelpTopic);
            break;
        case ID_SC_COPY:
            OnCopy();
            break;
        case ID_SC_SEARCH:
            OnSearch();
            break;
        case ID_SC_STOPSEARCH:
            if (m_pController)
                m_pController->StopSearch(0);
            StopSearchAnimation();
            break;
        case ID_SC_CLOSE:
            OnClose();
            return;
        default:
            return;
    }
    UpdateToolBar();
}

void CDrawerSonoscout::UpdateToolBar() {
    if (!m_pToolBar)
        return;
    const bool playing = m_pController && m_pController->IsSomethingPlaying();
    const bool selected = m_pView && m_pView->selectionModel()->hasSelection();
    const bool searching = m_pController && m_pController->IsSearching();
    const auto set = [this](int id, bool on) {
        if (QAction* a = Action(id))
            a->setEnabled(on);
    };
    set(ID_SC_PLAY, selected && !playing);
    set(ID_SC_DELETE, selected && !playing);
    set(ID_SC_COPY, selected);
    set(ID_SC_POST, m_PlayOrder.size() == 1 && !playing);
    bool oneWave = false;
    if (m_pView && m_pView->selectionModel()->selectedRows().size() == 1) {
        const int row = m_pView->selectionModel()->selectedRows().front().row();
        oneWave = row < m_pList->rowCount() && m_pList->Record(row).nType != 2;
    }
    set(ID_SC_MAIL, oneWave && !playing && IsMailAvailable());
    set(ID_SC_STOP, playing);
    set(ID_SC_PAUSE, playing);
    set(ID_SC_PREVIOUS, playing && m_pController->IsPreviousTrack());
    set(ID_SC_NEXT, playing && m_pController->IsNextTrack());
    set(ID_SC_REWIND, playing);
    if (QAction* loop = Action(ID_SC_LOOP))
        loop->setChecked(m_pController && m_pController->IsLooped());
    set(ID_SC_SEARCH, !searching);
    set(ID_SC_STOPSEARCH, searching);
}

void CDrawerSonoscout::StartSearchAnimation() {
    if (!m_pAnimation)
        return;
    m_nFrame = 0;
    m_pAnimation->setPixmap(AnimationFrame(0));
    m_pAnimation->show();
    m_Animation.start();
}

void CDrawerSonoscout::StopSearchAnimation() {
    m_Animation.stop();
    if (m_pAnimation)
        m_pAnimation->hide();
}

void CDrawerSonoscout::OnAnimationTick() {
    m_nFrame = (m_nFrame + 1) % 8;
    m_pAnimation->setPixmap(AnimationFrame(m_nFrame));
}

void CDrawerSonoscout::OnTrackChanged(int index) {
    if (m_pPlaying && index >= 0 && index < m_pPlaying->count())
        m_pPlaying->setCurrentIndex(index);
    UpdateToolBar();
}

void CDrawerSonoscout::ShowContextMenu(QAbstractItemView* view, const QPoint& at) {
    const QModelIndex index = view->indexAt(at);
    if (index.isValid())
        OnListClick(index.row(), int(QApplication::keyboardModifiers()));
    UpdateToolBar();
    QMenu menu(this);
    for (int id : {ID_SC_PLAY, ID_SC_MAIL, ID_SC_POST, ID_SC_COPY, ID_SC_DELETE}) {
        QAction* source = Action(id);
        QAction* item = menu.addAction(source->toolTip());
        item->setEnabled(source->isEnabled());
        connect(item, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    BeginModal();
    menu.exec(view->viewport()->mapToGlobal(at));
    EndModal();
}

BOOL CDrawerSonoscout::OnQueryEndSession() {
    return CSlidingDrawer::OnQueryEndSession();
}

void CDrawerSonoscout::OnDestroyed() {
    StopSearchAnimation();
    if (m_pList)
        m_pList->Close();
    SendMessage(m_pController, WM_BAR_SONOSCOUTCLOSED);
}
