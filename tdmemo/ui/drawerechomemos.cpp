#include "tdmemo/ui/drawerechomemos.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <ctime>

#include "platform/message.h"
#include "platform/strings.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/descdlg.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/schedule.h"
#include "tdmemo/strings.h"
#include "tdmemo/ui/echomemos.h"
#include "tdmemo/ui/playbacknotifydlg.h"
#include "tdmemo/ui/propertiesechomemos.h"

namespace {

// Column widths in pixels, in column order.
constexpr int kColumnWidths[kMemoColumnCount] = {140, 40, 110, 75, 50};
// The room the columns share in the drawer's list, the narrowest the Description column
// becomes to make room for the others, and the room a heading needs beside its text.
constexpr int kColumnsWidth = 475;
constexpr int kMinimumDescriptionWidth = 100;
constexpr int kHeadingMargin = 24;

// Room for the widest playing time the list shows, in either clock, with the cell's
// margins: the twenties of December, two o'clock and eleven o'clock at night.
int NextPlaybackWidth(const QFontMetrics& metrics) {
    int widest = 0;
    for (int hour : {14, 23}) {
        tm sample{};
        sample.tm_year = 2026 - 1900;
        sample.tm_mon = 11;
        sample.tm_mday = 28;
        sample.tm_hour = hour;
        sample.tm_min = 58;
        sample.tm_isdst = -1;
        const time_t when = mktime(&sample);
        for (BOOL clock24 : {0, 1})
            widest = std::max(widest, metrics.horizontalAdvance(
                                          CPlaybackNotifyDlg::FormatPlayedTime(when, clock24)));
    }
    return widest + 16;
}

// A rebuilt or rewritten list file is read again this long after the last change seen.
constexpr int kReloadDelayMs = 200;

// The record of the memo at path in an open list file: at the index the row remembers
// when it still names that file, else wherever the list now holds it. -1 when the memo is
// no longer listed.
qint64 LocateMemo(QIODevice* file, const MemoRow& row) {
    const QString path = MemoListPath(row.entry);
    ECHOMEMOLISTENTRY current;
    if (row.index >= 0 && row.index < MemoListRecordCount(file->size()) &&
        ReadMemoListRecord(file, row.index, &current) && HasMemoListPath(current) &&
        MemoListPath(current) == path)
        return row.index;
    return FindMemoListRecord(file, path);
}

}  // namespace

CDrawerEchoMemos::CDrawerEchoMemos(const QPoint* anchor, ECHOMEMOSPROPERTIES* settings,
                                   CEchoMemos* memos, QWidget* bar)
    : CSlidingDrawer(IDD_ECHOMEMOS_MANAGER, bar), m_pSettings(settings), m_pEchoMemos(memos) {
    m_pOwner = memos;
    SetAnchorFromBar(anchor ? *anchor : QPoint());
    // The controller's messages: the list grew by one memo, a memo started or stopped
    // playing or changed.
    OnMessage(WM_BAR_TOMEMOS, [this](WPARAM, LPARAM) {
        if (model_ && model_->AppendLast(ListPath()))
            UpdateControls();
        return LRESULT(0);
    });
    OnMessage(WM_ECHOMEMO_CHANGED, [this](WPARAM what, LPARAM) {
        if (!model_)
            return LRESULT(0);
        if (what == 100 || what == 101)
            model_->SetPlaying(PlayingPath());
        else if (reload_)
            reload_->start();  // a memo's record changed: read the list again
        return LRESULT(0);
    });
}

CDrawerEchoMemos::~CDrawerEchoMemos() = default;

int CDrawerEchoMemos::CreateDrawer(UINT edge, int toolTips) {
    if (IsInitialised())
        return 0;
    m_nEdge = edge;
    m_bToolTips = toolTips ? 1 : 0;
    setWindowTitle(QStringLiteral("Echo Memos Manager"));
    setFixedSize(kEchoMemosManagerSize);
    return Create();
}

QString CDrawerEchoMemos::ListPath() const {
    QString path;
    GetEchoMemosListFilePath(path);
    return path;
}

QString CDrawerEchoMemos::PlayingPath() const {
    if (!m_pEchoMemos || !m_pEchoMemos->IsSomethingPlaying())
        return {};
    QStringList files;
    m_pEchoMemos->GetPlayIndexes(files);
    const int track = m_pEchoMemos->GetCurrentTrackIndex();
    return track >= 0 && track < files.size() ? files[track] : QString();
}

void CDrawerEchoMemos::BuildContent() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto* tools = new QToolBar(this);
    tools->setIconSize(QSize(16, 16));
    QStyle* s = style();
    const auto add = [&](QStyle::StandardPixmap icon, const QString& text,
                         void (CDrawerEchoMemos::*slot)(), const QKeySequence& key = {}) {
        QAction* action = tools->addAction(s->standardIcon(icon), text);
        action->setToolTip(text);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(action);
        }
        QObject::connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
        return action;
    };
    play_ = add(QStyle::SP_MediaPlay, QStringLiteral("Play"), &CDrawerEchoMemos::OnPlay,
                QKeySequence(Qt::CTRL | Qt::Key_P));
    stop_ = add(QStyle::SP_MediaStop, QStringLiteral("Stop"), &CDrawerEchoMemos::OnStop);
    pause_ = add(QStyle::SP_MediaPause, QStringLiteral("Pause"), &CDrawerEchoMemos::OnPause);
    previous_ = add(QStyle::SP_MediaSkipBackward, QStringLiteral("Previous Selection"),
                    &CDrawerEchoMemos::OnPrevious);
    replay_ = add(QStyle::SP_BrowserReload, QStringLiteral("Replay"), &CDrawerEchoMemos::OnReplay);
    next_ = add(QStyle::SP_MediaSkipForward, QStringLiteral("Next Selection"),
                &CDrawerEchoMemos::OnNext);
    tools->addSeparator();
    schedule_ = add(QStyle::SP_FileDialogDetailedView, QStringLiteral("Schedule Playback"),
                    &CDrawerEchoMemos::OnSchedule, QKeySequence(Qt::CTRL | Qt::Key_S));
    delete_ = add(QStyle::SP_TrashIcon, QStringLiteral("Delete"), &CDrawerEchoMemos::OnDelete,
                  QKeySequence(Qt::CTRL | Qt::Key_D));
    copy_ = add(QStyle::SP_FileIcon, QStringLiteral("Copy"), &CDrawerEchoMemos::OnCopy,
                QKeySequence(Qt::CTRL | Qt::Key_C));
    tools->addSeparator();
    add(QStyle::SP_ArrowUp, QStringLiteral("Sort Ascending"), &CDrawerEchoMemos::OnSortAscending);
    add(QStyle::SP_ArrowDown, QStringLiteral("Sort Descending"),
        &CDrawerEchoMemos::OnSortDescending);
    tools->addSeparator();
    add(QStyle::SP_FileDialogInfoView, QStringLiteral("Echo Memos Settings"),
        &CDrawerEchoMemos::OnSettings);
    add(QStyle::SP_DialogCloseButton, QStringLiteral("Close Drawer"), &CDrawerEchoMemos::OnClose);
    layout->addWidget(tools);

    model_ = new CEchoMemosModel(m_pSettings, this);
    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("memoList"));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    list_->setDefaultDropAction(Qt::CopyAction);
    list_->setContextMenuPolicy(Qt::NoContextMenu);  // the drawer shows the memo menu
    list_->setModel(model_);
    QHeaderView* header = list_->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(false);
    for (int c = 0; c < kMemoColumnCount; ++c)
        header->resizeSection(c, kColumnWidths[c]);
    // The playing time is as wide as the locale's date and time make it, and the Length
    // column as wide as its heading; the Description column gives up what they need
    // beyond the usual widths, down to a minimum.
    const QFontMetrics metrics = list_->fontMetrics();
    const int timeWidth =
        std::max(kColumnWidths[kMemoColumnNextPlayback], NextPlaybackWidth(metrics));
    const QString lengthHeading =
        model_->headerData(kMemoColumnLength, Qt::Horizontal, Qt::DisplayRole).toString();
    const int lengthWidth = std::max(kColumnWidths[kMemoColumnLength],
                                     metrics.horizontalAdvance(lengthHeading) + kHeadingMargin);
    int others = 0;
    for (int c = 0; c < kMemoColumnCount; ++c)
        others += c == kMemoColumnDescription ? 0 : kColumnWidths[c];
    others += timeWidth - kColumnWidths[kMemoColumnNextPlayback] + lengthWidth -
              kColumnWidths[kMemoColumnLength];
    header->resizeSection(kMemoColumnNextPlayback, timeWidth);
    header->resizeSection(kMemoColumnLength, lengthWidth);
    header->resizeSection(kMemoColumnDescription,
                          std::max(kMinimumDescriptionWidth, kColumnsWidth - others));
    QObject::connect(header, &QHeaderView::sectionClicked, this,
                     [this](int column) { OnHeaderClicked(column); });
    QObject::connect(list_, &QTreeView::doubleClicked, this, [this] { OnPlay(); });
    QObject::connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                     [this] { UpdateControls(); });
    layout->addWidget(list_, 1);

    auto* bottom = new QHBoxLayout;
    hold_ = new QCheckBox(QStringLiteral("Hold All Scheduled Playback"), this);
    hold_->setChecked(m_pSettings && m_pSettings->bHoldAll);
    QObject::connect(hold_, &QCheckBox::toggled, this, [this](bool on) { OnHoldAll(on); });
    status_ = new QLabel(this);
    bottom->addWidget(hold_);
    bottom->addStretch(1);
    bottom->addWidget(status_);
    layout->addLayout(bottom);

    // A list file rebuilt (renamed over) or rewritten by another program is read again.
    reload_ = new QTimer(this);
    reload_->setSingleShot(true);
    reload_->setInterval(kReloadDelayMs);
    QObject::connect(reload_, &QTimer::timeout, this, [this] { LoadList(); });
    watcher_ = new QFileSystemWatcher(this);
    const QString listPath = ListPath();
    if (!listPath.isEmpty()) {
        watcher_->addPath(listPath);
        watcher_->addPath(QFileInfo(listPath).absolutePath());
    }
    QObject::connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString& p) {
        if (!watcher_->files().contains(p) && QFile::exists(p))
            watcher_->addPath(p);  // a rename over the file drops the watch
        reload_->start();
    });
    QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        const QString p = ListPath();
        if (!p.isEmpty() && !watcher_->files().contains(p) && QFile::exists(p)) {
            watcher_->addPath(p);
            reload_->start();
        }
    });
}

BOOL CDrawerEchoMemos::OnInitDialog() {
    CSlidingDrawer::OnInitDialog();
    BuildContent();
    CreateToolTipControl();
    loaded_ = LoadList();
    if (!loaded_) {
        ShowError(LoadString(IDS_MEMOS_CONFIGURING), LoadString(IDS_MEMOS_TRY_AGAIN));
        QTimer::singleShot(0, this, [this] { DestroyWindow(); });
        return 0;
    }
    return 1;
}

bool CDrawerEchoMemos::LoadList() {
    if (!model_)
        return false;
    const QStringList selected = SelectedPaths();
    if (!model_->Load(ListPath(), PlayingPath()))
        return false;
    SortItems();
    SelectPaths(selected);
    UpdateControls();
    return true;
}

void CDrawerEchoMemos::OnHeaderClicked(int column) {
    if (!m_pSettings || column < 0 || column >= kMemoColumnCount)
        return;
    if (m_pSettings->nSortColumn == column)
        m_pSettings->bSortAscending[column] = !m_pSettings->bSortAscending[column];
    else
        m_pSettings->nSortColumn = column;
    SortItems();
}

void CDrawerEchoMemos::SortItems() {
    if (!model_)
        return;
    int column = m_pSettings ? m_pSettings->nSortColumn : 0;
    if (column < 0 || column >= kMemoColumnCount)
        column = 0;
    const bool ascending = !m_pSettings || m_pSettings->bSortAscending[column];
    model_->Sort(column, ascending);
    list_->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CDrawerEchoMemos::OnSortAscending() {
    SortInDirection(true);
}

void CDrawerEchoMemos::OnSortDescending() {
    SortInDirection(false);
}

void CDrawerEchoMemos::SortInDirection(bool ascending) {
    if (m_pSettings) {
        const int sortColumn = m_pSettings->nSortColumn;  // std::clamp takes references
        const int column = std::clamp(sortColumn, 0, kMemoColumnCount - 1);
        m_pSettings->bSortAscending[column] = ascending ? 1 : 0;
    }
    SortItems();
}

std::vector<MemoRow> CDrawerEchoMemos::SelectedMemos() const {
    std::vector<MemoRow> memos;
    if (!list_)
        return memos;
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& i : rows)
        memos.push_back(model_->Row(i.row()));
    return memos;
}

QStringList CDrawerEchoMemos::SelectedPaths() const {
    QStringList paths;
    for (const MemoRow& row : SelectedMemos())
        paths << MemoListPath(row.entry);
    return paths;
}

void CDrawerEchoMemos::SelectPaths(const QStringList& paths) {
    if (!list_)
        return;
    QItemSelection selection;
    for (const QString& path : paths) {
        const int row = model_->RowOfPath(path);
        if (row >= 0)
            selection.select(model_->index(row, 0), model_->index(row, kMemoColumnCount - 1));
    }
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QString CDrawerEchoMemos::StatusText() const {
    const int count = model_ ? model_->rowCount() : 0;
    const int selected =
        list_ ? static_cast<int>(list_->selectionModel()->selectedRows().size()) : 0;
    QString text = LoadString(IDS_MEMOS_STATUS);
    for (const int value : {count, selected}) {
        const qsizetype at = text.indexOf(QStringLiteral("%i"));
        if (at >= 0)
            text.replace(at, 2, QString::number(value));
    }
    return text;
}

void CDrawerEchoMemos::UpdateControls() {
    if (!list_)
        return;
    const bool any = list_->selectionModel()->hasSelection();
    for (QAction* action : {play_, schedule_, delete_, copy_})
        action->setEnabled(any);
    const bool playing = m_pEchoMemos && m_pEchoMemos->IsSomethingPlaying();
    stop_->setEnabled(playing);
    pause_->setEnabled(playing);
    previous_->setEnabled(playing && m_pEchoMemos->IsPreviousTrack());
    next_->setEnabled(playing && m_pEchoMemos->IsNextTrack());
    replay_->setEnabled(playing);
    status_->setText(StatusText());
}

// ---------------------------------------------------------------------------------------
// Playing

void CDrawerEchoMemos::OnPlay() {
    const QStringList paths = SelectedPaths();
    if (!m_pEchoMemos || paths.isEmpty())
        return;
    m_pEchoMemos->PurgePlayList();
    for (const QString& path : paths)
        m_pEchoMemos->AddToPlayList(path);
    if (!m_pEchoMemos->IsSomethingPlaying())
        m_pEchoMemos->PlayList(0);
    UpdateControls();
}

void CDrawerEchoMemos::OnStop() {
    OnPlayListCommand([](CEchoMemos& memos) { memos.StopList(); });
}

void CDrawerEchoMemos::OnPause() {
    OnPlayListCommand([](CEchoMemos& memos) { memos.PausePlay(); });
}

void CDrawerEchoMemos::OnPrevious() {
    OnPlayListCommand([](CEchoMemos& memos) { memos.PreviousTrack(); });
}

void CDrawerEchoMemos::OnReplay() {
    OnPlayListCommand([](CEchoMemos& memos) { memos.RepeatCurrentTrack(); });
}

void CDrawerEchoMemos::OnNext() {
    OnPlayListCommand([](CEchoMemos& memos) { memos.NextTrack(); });
}

void CDrawerEchoMemos::OnPlayListCommand(const std::function<void(CEchoMemos&)>& command) {
    if (m_pEchoMemos)
        command(*m_pEchoMemos);
    UpdateControls();
}

void CDrawerEchoMemos::OnHoldAll(bool checked) {
    if (m_pSettings)
        m_pSettings->bHoldAll = checked ? 1 : 0;
    if (m_pEchoMemos)
        m_pEchoMemos->RefreshHoldAll();
}

void CDrawerEchoMemos::OnCopy() {
    const QStringList paths = SelectedPaths();
    if (!paths.isEmpty())
        QApplication::clipboard()->setMimeData(MemoFilesMimeData(paths));
}

// ---------------------------------------------------------------------------------------
// Deleting and rescheduling

void CDrawerEchoMemos::OnDelete() {
    const std::vector<MemoRow> memos = SelectedMemos();
    if (memos.empty())
        return;
    if (m_pSettings && m_pSettings->bConfirmDelete &&
        !Ask(LoadString(memos.size() == 1 ? IDS_MEMOS_DELETE_ONE : IDS_MEMOS_DELETE_MANY),
             LoadString(IDS_MEMOS_CONFIRM)))
        return;
    // A memo that plays is stopped first, and the play list forgets the deleted files.
    if (m_pEchoMemos) {
        QStringList queued;
        m_pEchoMemos->GetPlayIndexes(queued);
        const bool affected = std::any_of(memos.begin(), memos.end(), [&queued](const MemoRow& m) {
            return queued.contains(MemoListPath(m.entry), Qt::CaseInsensitive);
        });
        if (affected) {
            m_pEchoMemos->StopList();
            m_pEchoMemos->PurgePlayList();
        }
    }
    UpdateListedMemos(memos, QStringLiteral("These memos could not be deleted:\n%1"),
                      [this](QFile& file, const QString& path, qint64 index) {
                          // The file goes first: a memo whose file stays keeps its record.
                          QFile sound(path);
                          if (sound.exists() && !sound.moveToTrash() && !sound.remove())
                              return false;
                          if (index >= 0) {
                              ECHOMEMOLISTENTRY cleared;
                              if (ReadMemoListRecord(&file, index, &cleared)) {
                                  cleared.path[0] = '\0';
                                  WriteMemoListRecord(&file, index, cleared);
                              }
                          }
                          model_->RemoveRow(model_->RowOfPath(path));
                          return true;
                      });
}

void CDrawerEchoMemos::UpdateListedMemos(const std::vector<MemoRow>& memos, const QString& failure,
                                         const MemoUpdate& update) {
    QStringList failed;
    {
        CMemoListLock lock(kMemoLockShortWait);
        QFile file(ListPath());
        if (!lock.IsHeld() || !file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            ShowError(QStringLiteral("The Echo Memo list is busy; please try again."));
            return;
        }
        for (const MemoRow& memo : memos) {
            const QString path = MemoListPath(memo.entry);
            if (!update(file, path, LocateMemo(&file, memo)))
                failed << path;
        }
        file.flush();
        if (m_pEchoMemos)
            m_pEchoMemos->FindNextNoteToPlay(&file);
    }
    UpdateControls();
    if (!failed.isEmpty())
        ShowError(failure.arg(failed.join(u'\n')));
}

void CDrawerEchoMemos::OnSchedule() {
    const std::vector<MemoRow> memos = SelectedMemos();
    if (memos.empty())
        return;
    const bool single = memos.size() == 1;
    ECHOMEMOSTRUCT schedule = memos.front().entry.memo;
    QString description =
        single ? MemoListDescription(memos.front().entry) : LoadString(IDS_MEMOS_MULTIPLE);
    if (!RunScheduleDialog(&schedule, &description, single))
        return;
    schedule.played = 0;
    UpdateListedMemos(
        memos, QStringLiteral("These memos keep their old schedule:\n%1"),
        [&](QFile& file, const QString& path, qint64 index) {
            MemoRow updated;
            if (index < 0 || !ReadMemoListRecord(&file, index, &updated.entry))
                return false;
            updated.index = index;
            ECHOMEMOSTRUCT memoSchedule = schedule;
            // Each memo keeps when it last played: the catch-up rule reads it.
            memoSchedule.lastPlayed = updated.entry.memo.lastPlayed;
            if (single && !SetMemoListDescription(&updated.entry, description))
                return false;
            const QByteArray text = MemoListDescription(updated.entry).toLocal8Bit();
            if (!MarkNoteAsAlreadyPlayed(path, 0, memoSchedule.lastPlayed) ||
                !AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, text.constData(), &memoSchedule,
                                       static_cast<SOUNDFILETYPE>(updated.entry.fileType)))
                return false;
            updated.entry.memo = memoSchedule;
            int scheduled = 0;
            const time_t now = m_pEchoMemos ? m_pEchoMemos->Now() : std::time(nullptr);
            updated.entry.nextTime = ToListTime(ListEntryNextTime(memoSchedule, now, &scheduled));
            if (!RewriteMemoListRecord(&file, index, updated.entry))
                return false;
            model_->UpdateRow(model_->RowOfPath(path), updated);
            return true;
        });
}

bool CDrawerEchoMemos::RunScheduleDialog(ECHOMEMOSTRUCT* memo, QString* description, bool single) {
    CDescDlg dialog(this);
    dialog.Set24HourFormat(m_pSettings ? m_pSettings->b24Hour : 1);
    const QByteArray text = description->toLocal8Bit();
    dialog.SetNoteInfo(memo, text.constData(), single ? 1 : 0);
    BeginModal();
    const bool ok = dialog.exec() == QDialog::Accepted;
    EndModal();
    if (!ok)
        return false;
    dialog.GetNoteInfo(memo);
    *description = dialog.GetDescription();
    return true;
}

// ---------------------------------------------------------------------------------------
// The settings page, until the settings sheet has one

void CDrawerEchoMemos::OnSettings() {
    if (!m_pSettings)
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Echo Memos Manager"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* page = new CPropertiesEchoMemos(&dialog);
    page->InitProperties(m_pSettings);
    layout->addWidget(page);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    BeginModal();
    const bool ok = dialog.exec() == QDialog::Accepted;
    EndModal();
    if (ok) {
        page->UpdateProperties(m_pSettings);
        list_->viewport()->update();  // the time format may have changed
    }
}

// ---------------------------------------------------------------------------------------
// The memo menu, closing, questions

void CDrawerEchoMemos::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(play_);
    menu.addAction(schedule_);
    menu.addAction(delete_);
    menu.addAction(copy_);
    BeginModal();
    menu.exec(event->globalPos());
    EndModal();
}

void CDrawerEchoMemos::accept() {
    OnPlay();
}

void CDrawerEchoMemos::OnClose() {
    if (IsInModal())
        return;
    if (m_pSettings && hold_)
        m_pSettings->bHoldAll = hold_->isChecked() ? 1 : 0;
    CSlidingDrawer::OnClose();
}

void CDrawerEchoMemos::OnDestroyed() {
    // CEchoMemos deletes the drawer in answer; nothing of it is touched afterwards.
    SendMessage(m_pEchoMemos, WM_BAR_MEMOMANAGERCLOSED);
}

bool CDrawerEchoMemos::Ask(const QString& text, const QString& caption) {
    BeginModal();
    const auto answer =
        QMessageBox::question(this, caption, text, QMessageBox::Yes | QMessageBox::No);
    EndModal();
    return answer == QMessageBox::Yes;
}

void CDrawerEchoMemos::ShowError(const QString& text, const QString& caption) {
    BeginModal();
    QMessageBox::warning(this, caption, text);
    EndModal();
}
