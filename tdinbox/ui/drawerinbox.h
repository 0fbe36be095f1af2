// CDrawerInbox: the Voicegram Box drawer. It lists the received voicegrams (sender,
// subject, date, length, heard) and plays, stops, marks heard, deletes, replies to and
// forwards the selected one through its controller.
#pragma once

#include "tdkit/ui/slidingdrawer.h"

class CAudioMessaging;
class QLabel;
class QTimer;
class QTreeWidget;
class QToolButton;

class CDrawerInbox : public CSlidingDrawer {
public:
    CDrawerInbox(CAudioMessaging* controller, QWidget* barWindow);

    // Slides out at the anchor on the bar's edge; 0 when it was already created.
    int Open(UINT edge, const QPoint& anchor, BOOL toolTips);
    // Shows the controller's list again, keeping the selection where it can.
    void Refresh();
    // The path of the selected voicegram, or empty.
    QString SelectedPath() const;
    void Select(int row);
    QTreeWidget* List() const { return list_; }
    QLabel* Status() const { return status_; }

    void OnPlay();
    void OnStop();
    void OnMarkHeard();
    void OnDelete();
    void OnReply();
    // Forwards to the addresses given (separated by commas); asks when empty.
    void OnForward(const QString& addresses = QString());

protected:
    BOOL OnInitDialog() override;
    void OnDestroyed() override;

private:
    void UpdateButtons();
    // While a voicegram plays: notices its end, clears "Playing" and greys Stop.
    void WatchPlayback();

    CAudioMessaging* controller_;
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* playWatch_ = nullptr;  // runs only while something plays
    QToolButton *play_ = nullptr, *stop_ = nullptr, *heard_ = nullptr, *delete_ = nullptr,
                *reply_ = nullptr, *forward_ = nullptr;
};
