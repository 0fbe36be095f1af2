// The window that tells the user an Echo Memo has just played, with its description and
// the time, and lets them play it again or stop it. Modeless; it deletes itself when it
// is closed.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <ctime>

#include "platform/types.h"
#include "tdmemo/memolist.h"

class CEchoMemos;
class QLabel;

// A memo that has played, from the moment the player reports it until it has had its
// turn at the play list (and, when it asks for one, its window).
struct CPlaybackNotification {
    ECHOMEMOLISTENTRY record{};  // the memo's list record after it played
    int index = -1;              // its record index in the list
    time_t raised = 0;           // when the report was taken
    BOOL b24Hour = 0;
    int notify = 0;  // the memo's own wish for a window
    QPoint position;
};

class CPlaybackNotifyDlg : public QDialog {
public:
    CPlaybackNotifyDlg(const CPlaybackNotification& note, CEchoMemos* owner);
    ~CPlaybackNotifyDlg() override;

    const CPlaybackNotification& Notification() const { return m_Note; }
    QString DescriptionText() const;
    QString TimeText() const;

    // The buttons: "&Play Again", "&Stop", "&Close".
    void OnPlayAgain();
    void OnStop();
    void OnCloseButton();

    // The time as the window shows it: "%x %X" in 24-hour form, else "%x %I:%M %p".
    static QString FormatPlayedTime(time_t when, BOOL b24Hour);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Stops the play list and closes the window, which then deletes itself.
    void reject() override;

private:
    CPlaybackNotification m_Note;
    QPointer<CEchoMemos> m_pOwner;
    QLabel* m_pDescription = nullptr;
    QLabel* m_pTime = nullptr;
};
