// CDrawerEchoMemos: the EchoMemos Manager drawer, created and deleted by CEchoMemos. It
// lists the memos of the memo list with their description, notification mark, next
// playing time, frequency and length; plays them through the controller's play list,
// reschedules, copies, drags out and deletes them (to the trash), and holds or releases
// all scheduled playback. Its rows keep each memo's path: a memo is looked up by that
// path in the list file before anything is written, so a list rebuilt meanwhile is never
// overwritten with a stale record.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "platform/types.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdmemo/ui/echomemosmodel.h"

class CEchoMemos;
class QAction;
class QCheckBox;
class QFile;
class QFileSystemWatcher;
class QLabel;
class QTimer;
class QTreeView;
class QWidget;

// The manager's dialog template and its size in pixels (five list columns and toolbars).
inline constexpr UINT IDD_ECHOMEMOS_MANAGER = 2002;
inline constexpr QSize kEchoMemosManagerSize(500, 280);

class CDrawerEchoMemos : public CSlidingDrawer {
public:
    // anchor: the centre of the task button in the bar's client coordinates. bar is the
    // bar's window; memos owns the drawer and hears its slides and its closing.
    CDrawerEchoMemos(const QPoint* anchor, ECHOMEMOSPROPERTIES* settings, CEchoMemos* memos,
                     QWidget* bar);
    ~CDrawerEchoMemos() override;

    // Builds the drawer on the bar's edge and slides it out; 0 when already created or
    // when the list cannot be loaded ("Please Try Again" is then shown and the drawer
    // closes).
    int CreateDrawer(UINT edge, int toolTips);

    // Reads the list file again, keeping the selection by path, and sorts it.
    bool LoadList();
    // Sorts by the column in the stored direction; a click on the sort column's header
    // turns its direction first.
    void OnHeaderClicked(int column);
    void SortItems();

    // The commands.
    void OnPlay();
    void OnStop();
    void OnPause();
    void OnPrevious();
    void OnReplay();
    void OnNext();
    void OnSchedule();
    void OnDelete();
    void OnCopy();
    void OnSortAscending();
    void OnSortDescending();
    void OnHoldAll(bool checked);
    void OnSettings();

    // The selected rows' memos, in list order.
    std::vector<MemoRow> SelectedMemos() const;
    QStringList SelectedPaths() const;
    void SelectPaths(const QStringList& paths);

    QTreeView* List() const { return list_; }
    CEchoMemosModel* Model() const { return model_; }
    QLabel* Status() const { return status_; }
    QCheckBox* HoldAll() const { return hold_; }
    QString StatusText() const;

protected:
    BOOL OnInitDialog() override;
    void OnClose() override;
    void OnDestroyed() override;
    // Enter plays the selection.
    void accept() override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // Asks a yes/no question; a test may answer instead.
    virtual bool Ask(const QString& text, const QString& caption);
    // Tells the user something went wrong; a test may collect it.
    virtual void ShowError(const QString& text,
                           const QString& caption = QStringLiteral("Echo Memos Manager"));
    // Runs the schedule dialog for the memo (description editable when single); true on
    // OK with the dialog's schedule and description. A test may answer instead.
    virtual bool RunScheduleDialog(ECHOMEMOSTRUCT* memo, QString* description, bool single);

private:
    // One memo's change with the list file open and locked: its path and its record's
    // index now (-1 when no longer listed). False when the memo could not be changed.
    using MemoUpdate = std::function<bool(QFile& file, const QString& path, qint64 index)>;
    // Runs update for each memo under the list's lock, then finds the next memo to play;
    // the memos that failed are named in failure (a text with %1).
    void UpdateListedMemos(const std::vector<MemoRow>& memos, const QString& failure,
                           const MemoUpdate& update);
    void OnPlayListCommand(const std::function<void(CEchoMemos&)>& command);
    void SortInDirection(bool ascending);
    void BuildContent();
    void UpdateControls();
    QString PlayingPath() const;
    QString ListPath() const;
    void ListFileChanged();

    ECHOMEMOSPROPERTIES* m_pSettings;
    CEchoMemos* m_pEchoMemos;
    CEchoMemosModel* model_ = nullptr;
    QTreeView* list_ = nullptr;
    QLabel* status_ = nullptr;
    QCheckBox* hold_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* reload_ = nullptr;
    QAction *play_ = nullptr, *stop_ = nullptr, *pause_ = nullptr, *previous_ = nullptr,
            *replay_ = nullptr, *next_ = nullptr, *schedule_ = nullptr, *delete_ = nullptr,
            *copy_ = nullptr;
    bool loaded_ = false;
};
