// CSonoscout: the Sonoscout controller the bar holds for its whole run. It decides when
// a scheduled search is due, runs searches with a fresh engine each time, publishes the
// result as TDSEARCH.PRP, tells the bar whether a search runs, and plays found sounds
// through its play list.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>

#include <ctime>
#include <functional>
#include <memory>

#include "tdkit/audio/wndplaylist.h"
#include "tdkit/settings/properties.h"
#include "tdseek/searchengine.h"

class CDrawerSonoscout;
class CSimpleMapi;
class QWidget;

class CSonoscout : public CWndPlayList {
public:
    using Clock = std::function<time_t()>;

    CSonoscout(QObject* parent, SONOSCOUTPROPERTIES* settings, MAILPROPERTIES* mail,
               CSimpleMapi* mapi, Clock clock = {});
    ~CSonoscout() override;

    // Opens the Sonoscout drawer beside its task button (anchor: the button's centre in
    // the bar's client coordinates); nothing when one is open.
    void CreateDrawer(UINT edge, const QPoint& anchor, int toolTips);
    void DestroyDrawer();
    void EnableToolTips(int enable);
    bool IsDrawerOpen() const { return !drawer_.isNull(); }
    CDrawerSonoscout* Drawer() const;

    // Starts a search unless one runs; null drives take flags and drives from the settings.
    // The scheduled search runs in the background, at idle CPU and I/O priority.
    void BeginSearch(int wave, int midi, const BOOL* drives, bool background = false);
    // Stops a running search; keepOldList leaves TDSEARCH.PRP as it was.
    void StopSearch(int keepOldList);
    // The engine's report, on its worker thread: a record, or null at the end.
    void SearchUpdate(const SOUNDSTRUCT* record);
    // Sets the next search time from now by the frequency code.
    void SetNextSearchTime(int atStartUp);
    // Called by the bar once per poll interval: starts a search when one is due.
    void DecideToSearch();
    int IsSearching() const { return searching_ ? 1 : 0; }
    // Waits (bounded) until the engine of a running search is gone.
    bool WaitForSearch(int timeoutMs);

    QString GetSearchDatafilePath() const { return dataFile_; }
    int IsMapiAvailable() const;
    CSimpleMapi* GetSimpleMapiPtr() const { return mapi_; }
    int IsRecorderAvailable() const { return IsSomethingPlaying() ? 0 : 1; }

    // The search schedule: the next search time for a frequency code, from now.
    static DWORD NextSearchTime(const SONOSCOUTPROPERTIES& settings, time_t now, bool atStartUp);

protected:
    void StartingModelessDlg() override;
    void EndedModelessDlg() override;

private:
    void FinishSearch();

    QObject* parent_;
    // The open drawer; a child of the bar's window, which may take it along at exit.
    QPointer<CDrawerSonoscout> drawer_;
    SONOSCOUTPROPERTIES* settings_;
    MAILPROPERTIES* mail_;
    CSimpleMapi* mapi_;
    Clock clock_;
    QString dataFile_;
    std::unique_ptr<CSoundSearchEngine> engine_;
    std::atomic<bool> searching_{false};
    std::atomic<bool> keepOldList_{false};
};
