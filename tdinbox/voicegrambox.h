// The Voicegram Box's engine: received voicegrams are WAV files in the user's
// "VOICEGRAM" folder, each carrying its mail record in a "MAIL" chunk. This fetches new
// ones from the mail system into the folder, reads the folder, and marks, deletes,
// forwards and prepares replies to its entries. Everything here runs without a screen.
//
// The mail record's fields as the Voicegram Box fills them: text 1 the forwarding mark
// ("Forwarded to ..." once forwarded, else none), value 2 the time received (seconds
// since the epoch), texts 3 and 4 the sender's name and address, text 5 the subject,
// text 6 the message text, lists 7 and 8 the recipients' names and addresses.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

#include "platform/types.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/mail/voicegram.h"

struct VoicegramEntry {
    QString path;
    QString description;  // the subject, as the "DESC" chunk holds it
    DWORD seconds = 0;
    bool heard = false;
    QString fromName, fromAddress;
    QString subject, noteText;
    QDateTime received;
    QString forwarded;  // the forwarding mark, empty when never forwarded
    std::vector<MailRecipient> recipients;
};

// The voicegrams in folder (WAV files with a mail record), in name order.
std::vector<VoicegramEntry> ReadVoicegramDirectory(const QString& folder);

// Stores a received voicegram's sound in folder under a plain new name with its mail
// record; the new path, or empty (nothing left behind) on failure.
QString StoreReceivedVoicegram(const ReceivedVoicegram& v, const QString& folder);

// Fetches every unread voicegram from the mail system into folder; deleteFromServer
// removes the messages that carried nothing but the sound, the others are marked read.
// The number stored.
int FetchNewVoicegrams(CSimpleMapi& mapi, const QString& folder, bool deleteFromServer);

bool MarkVoicegramHeard(const QString& path, bool heard = true);
// Moves the voicegram to the desktop's trash (removes it where there is none).
bool DeleteVoicegram(const QString& path);

// Sends the voicegram on to recipients and marks it forwarded; the subject gets "Fwd: ".
VoicegramSendResult ForwardVoicegram(CSimpleMapi& mapi, const VoicegramEntry& entry,
                                     const std::vector<MailRecipient>& recipients);

// What a reply starts with: the sender as the first recipient, the other recipients as
// copies (without the user's own address), the subject with "Re: " once.
struct ReplyAddress {
    QString toName, toAddress;
    QStringList ccNames, ccAddresses;
    QString subject;  // the user's subject, without the "VOICEGRAM " marker
};
ReplyAddress MakeReply(const VoicegramEntry& entry, const QString& ownAddress);
