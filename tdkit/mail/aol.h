// CAOL: voicegrams for America Online. Each one is queued as a WAV file carrying its
// addressing in an "AOL " chunk in the user's "AOLSend" folder, and the queue is handed
// to the sender program the registry store names ("SOFTWARE\\Tonedeck\\AOL", value
// "SenderCommand": the program's path). The sender is started with an argument list:
// the screen name, the voicegram folder (its queue is the "AOLSend" folder below it)
// and the bar's window id; the password goes to its standard input, never on a command
// line.
#pragma once

#include <QString>

#include <functional>

#include "tdkit/settings/properties.h"

inline constexpr char kAOLKey[] = "SOFTWARE\\Tonedeck\\AOL";

// The sender program, or empty when none is set.
QString GetAOLSenderCommand();

class CAOL {
public:
    // The sign-on dialog: screen name and password in and out, the remember flag in and
    // out; false on cancel. Installed by the desktop; without one, asking fails.
    using SignOnDialog = std::function<bool(QString& screenName, QString& password, int& remember)>;

    CAOL(MAILPROPERTIES* mail, quintptr windowId = 0) : mail_(mail), windowId_(windowId) {}

    void SetSignOnDialog(SignOnDialog dialog) { signOn_ = std::move(dialog); }

    // Queues file with its addressing; with sendNow also starts the sender. 1 on
    // success. Failures tell the user and leave no queued file behind.
    int SendVoicegram(const QString& to, const QString& cc, const QString& subject,
                      const QString& noteText, const QString& file, int sendNow,
                      QString* queuedPath = nullptr);
    // Starts the sender on the queue; with ask the sign-on dialog comes first. 1 when
    // the sender was started.
    int SendAndReceiveNow(int ask);

private:
    MAILPROPERTIES* mail_;
    quintptr windowId_;
    SignOnDialog signOn_;
};
