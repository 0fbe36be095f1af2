// CDrawerSonoscout: the Sonoscout drawer. It lists the records of the search data file
// TDSEARCH.PRP, sorts them by any column, plays the selected sounds in the order they were
// chosen through the controller's play list, deletes files (clearing only the records of
// the files really deleted), copies and drags them out, posts one as an Echo Memo, sends
// one as a voicegram, and starts or stops searches. The list shows as a table of details
// or as a list of names with icons; both views share one model and one selection. The
// controller CSonoscout creates it and deletes it once it reports that it has closed.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/properties.h"
#include "tdkit/ui/slidingdrawer.h"

class CSearchList;
class CSonoscout;
class QAction;
class QComboBox;
class QAbstractItemView;
class QLabel;
class QListView;
class QStackedWidget;
class QTableView;
class QToolBar;

// The drawer's commands.
enum SonoscoutCommand : int {
    ID_SC_PLAY = 32778,
    ID_SC_STOP = 32777,
    ID_SC_PAUSE = 32785,
    ID_SC_PREVIOUS = 32873,
    ID_SC_NEXT = 32874,
    ID_SC_REWIND = 32776,
    ID_SC_LOOP = 32916,
    ID_SC_DELETE = 32877,
    ID_SC_MAIL = 32779,
    ID_SC_POST = 32872,
    ID_SC_COPY = 32792,
    ID_SC_SEARCH = 32875,
    ID_SC_STOPSEARCH = 32876,
    ID_SC_DETAILVIEW = 32884,
    ID_SC_ICONVIEW = 32885,
    ID_SC_PROPERTIES = 32878,
    ID_SC_HELP = 32782,
    ID_SC_CLOSE = 32783,
};

// The drawer's help topic.
inline constexpr unsigned kSonoscoutHelpTopic = 179;

// What the subject dialog gives for a mailed sound.
struct SonoscoutMailing {
    QString subject;  // the user's subject; "VOICEGRAM " goes before it
    BOOL compress = 0;
    BOOL receipt = 0;
};

// The search choice: kinds and the 26 drive flags (A to Z).
struct SearchChoice {
    BOOL wave = 1;
    BOOL midi = 1;
    BOOL drives[26] = {};
};

class CDrawerSonoscout : public CSlidingDrawer {
public:
    CDrawerSonoscout(SONOSCOUTPROPERTIES* settings, MAILPROPERTIES* mail, CSonoscout* controller,
                     QWidget* bar);
    ~CDrawerSonoscout() override;

    // Slides the drawer out at the anchor on the bar's edge. 0 when already created.
    int Open(UINT edge, const QPoint& anchor, BOOL toolTips);

    // The controller's hooks around a finished search: let go of the data file, list the
    // (new) data file.
    void PrepareToUpdateList();
    void UpdateList();
    void UpdateToolBar();
    void StartSearchAnimation();
    void StopSearchAnimation();
    bool IsAnimating() const { return m_Animation.isActive(); }

    // Runs a command as its button would.
    void OnCommand(int command);
    // A click on a row with the keys held (Qt::KeyboardModifiers as int).
    void OnListClick(int row, int modifiers);
    // A click on a column header.
    void OnColumnClick(int column);

    CSearchList* List() const { return m_pList; }
    QTableView* View() const { return m_pView; }
    // The list of names with icons, shown instead of the table by "Icon File View".
    QListView* IconView() const { return m_pIconView; }
    bool IsIconView() const;
    QAction* Action(int command) const;
    QComboBox* Playing() const { return m_pPlaying; }
    QString StatusText() const;
    const std::vector<int>& PlayOrder() const { return m_PlayOrder; }
    int SortColumn() const { return m_nSortColumn; }
    bool SortDescending(int column) const;
    void SetModelessDialog(bool open) { m_bModeless = open; }

    // Where the drawer's questions go; defaults show the dialogs, tests answer them.
    std::function<bool(const QString& text, const QString& caption)> askYesNo;
    std::function<bool(const QStringList& paths)> askConfirmDelete;
    std::function<bool(ECHOMEMOSTRUCT* memo, QString* description)> askSchedule;
    std::function<bool(SearchChoice* choice)> askSearchChoice;
    std::function<void(const QString& text)> showMessage;
    // Mailing: the subject and options; the services when several are set up (false on
    // cancel); the send through the mail wrapper (attach 0: UU in the text), nonzero when
    // sent; the America Online path (SendVoicegramByAOL by default); the word of success.
    std::function<bool(SonoscoutMailing* mailing)> askSubject;
    std::function<bool(MAILPROPERTIES* services)> askMailServices;
    std::function<int(const QString& file, const QString& subject, int receipt, int attach)>
        sendByMapi;
    std::function<int(const QString& file, const QString& subject)> sendByAOL;
    std::function<void(const QString& text)> showInfo;
    // Whether some mail service can carry a voicegram from the drawer.
    bool IsMailAvailable() const;
    // The settings page, as a dialog over the drawer; true when it was confirmed.
    std::function<bool(SONOSCOUTPROPERTIES* settings)> editSettings;
    SearchChoice m_LastChoice;

protected:
    BOOL OnInitDialog() override;
    void OnDestroyed() override;
    BOOL OnQueryEndSession() override;

private:
    void BuildControls();
    std::vector<int> SelectedRecords() const;
    QStringList SelectedPaths() const;
    void ReconcilePlayOrder();
    void OnPlay();
    void OnDelete();
    void OnCopy();
    void OnPost();
    void OnMail();
    void OnProperties();
    void SetIconView(bool icons);
    void OnSearch();
    void OnTrackChanged(int index);
    void OnAnimationTick();
    void ShowContextMenu(QAbstractItemView* view, const QPoint& at);

    SONOSCOUTPROPERTIES* m_pSettings;
    MAILPROPERTIES* m_pMail;
    CSonoscout* m_pController;
    CSearchList* m_pList = nullptr;
    QTableView* m_pView = nullptr;
    QListView* m_pIconView = nullptr;
    QStackedWidget* m_pViews = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pSideBar = nullptr;
    QComboBox* m_pPlaying = nullptr;
    QLabel* m_pStatus = nullptr;
    QLabel* m_pAnimation = nullptr;
    QTimer m_Animation;
    int m_nFrame = 0;
    int m_nSortColumn = 0;
    unsigned char m_bySortBits = 0;
    std::vector<int> m_PlayOrder;
    bool m_bModeless = false;
};
