// Sending a recorded WAV file as a voicegram: the call the Send Voicegram drawer and
// tdtool make once the recipients are known. It makes a temporary mail copy of the
// recording (compressed when asked and possible), sends it through the mail wrapper as
// an attachment "VGRAM.WAV" or, in the text mode, UU-encoded in the message text, and
// removes the copy again. The recording itself is never touched, so a failed or partly
// failed send keeps it.
#pragma once

#include <QString>

#include <vector>

#include "tdkit/mail/simplemapi.h"

// The fixed note text of every voicegram sent with an attachment.
inline constexpr char kVoicegramNoteText[] =
    "This message carries a voicegram, a spoken message recorded with Tonedeck.\n"
    "Open the attached VGRAM.WAV to listen to it.";

struct VoicegramSend {
    QString wavPath;
    std::vector<MailRecipient> recipients;
    QString subject;  // the user's subject; "VOICEGRAM " is put before it
    bool compress = false;
    bool receipt = false;
    bool uuText = false;  // the sound UU-encoded in the text (CompuServe) instead of attached
};

struct VoicegramSendResult {
    bool sent = false;
    // Why it failed, for the user: which recipients could not be reached, or what else.
    QString error;
    // Set when compression was asked for but the recording went as PCM.
    QString notice;
};

// The mail subject for the user's subject: "VOICEGRAM" and a blank before it.
QString VoicegramSubject(const QString& userSubject);

// Sends without any dialog. Shows nothing itself; the caller tells the user.
VoicegramSendResult SendVoicegramFile(CSimpleMapi& mapi, const VoicegramSend& request);
