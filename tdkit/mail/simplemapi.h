// CSimpleMapi: the way into the user's mail system. The mail provider is a shared object
// loaded when the wrapper starts, its twelve entry points looked up by name, so the bar
// runs on machines without mail. Without a provider the wrapper stays disabled and every
// operation answers 0.
//
// One lock guards the session: the bar, the drawers and the inbox's worker threads call
// the same object, and each operation runs whole under the lock (the address dialog is
// shown outside it). Texts handed in and out are UTF-8.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

#include "platform/library.h"
#include "platform/mapi.h"

// The provider the wrapper loads unless the registry store names another
// ("SOFTWARE\\Tonedeck\\Mail", value "Provider", current user).
inline constexpr char kDefaultMailProvider[] = "libtdmapi.so";
// The subject marker and message type of a voicegram, and the attachment name.
inline constexpr char kVoicegramMarker[] = "VOICEGRAM";
inline constexpr char kVoicegramAttachName[] = "VGRAM.WAV";
// Size of the name, address and path buffers GetVoicegram fills.
inline constexpr std::size_t kMailTextSize = 260;

// One recipient as the caller names it.
struct MailRecipient {
    ULONG kind = MAPI_TO;  // MAPI_TO, MAPI_CC, MAPI_BCC
    QString name;
    QString address;
};

// A received voicegram, as GetVoicegram finds it.
struct ReceivedVoicegram {
    QByteArray id;
    QDateTime received;
    QString fromName, fromAddress;
    QString subject, noteText;
    std::vector<MailRecipient> recipients;
    QStringList files;  // saved attachments (the sound first when it was decoded)
    QString sound;      // the sound file: an attachment or the decoded text
    bool unread = false;
};

// Messages the wrapper shows ("MAPI Logon Failed", "Could not send Voicegram."...). The
// desktop installs a handler of its own for them, else they go through ShowNotice.
using MailNoticeHandler = std::function<void(const QString& text, const QString& caption)>;
void SetMailNoticeHandler(MailNoticeHandler handler);
// Tells the user through the installed handler.
void MailNotice(const QString& text, const QString& caption);

class CSimpleMapi {
public:
    CSimpleMapi() = default;
    ~CSimpleMapi() { End(); }
    CSimpleMapi(const CSimpleMapi&) = delete;
    CSimpleMapi& operator=(const CSimpleMapi&) = delete;

    // Loads the provider and logs on, allowing its log-on dialog; stays disabled silently
    // when there is no provider, mail is not installed, or an entry point is missing, and
    // says "MAPI Logon Failed" when the log-on fails.
    void Start();
    // The same without any dialog or message (tdtool): the password must be remembered.
    // On failure error says why.
    bool StartQuietly(QString* error);
    void End();
    int IsMAPIEnabled() const;

    // The provider's file name as configured.
    static QString ProviderName();
    // The log-on, address and details dialogs the desktop offers; handed to every provider that
    // takes them (ours does) when it is loaded. Null: none.
    static void SetDialogs(TDMAPIPROMPT logon, TDMAPIADDRESSDIALOG address,
                           TDMAPIDETAILSDIALOG details = nullptr);

    // Sends file as a voicegram through the address dialog (see the header comment of
    // each list: ccNames/ccAddresses are NUL-separated lists ended by an empty string).
    int SendVoicegram(const char* file, const char* attachName, const char* subject,
                      const char* noteText, int receipt, const char* toName, const char* toAddress,
                      const char* ccNames, const char* ccAddresses, int attach);
    // The same without the dialog, to the given recipients. failed (when given) gets the
    // provider's account of what failed, such as the recipients it could not reach.
    int SendVoicegramTo(const QString& file, const QString& attachName, const QString& subject,
                        const QString& noteText, int receipt,
                        const std::vector<MailRecipient>& recipients, int attach,
                        QString* failed = nullptr, bool notify = true);
    int Address(const char* caption, MapiRecipDesc** out, ULONG* outCount, MapiRecipDesc* in,
                ULONG inCount);
    int SendMail(const char* subject, const char* noteText, const char* messageType, int receipt,
                 MapiRecipDesc* recips, ULONG recipCount, ULONG fileCount, MapiFileDesc* files);

    // Finds the next unread voicegram after seedID (see ReceivedVoicegram); seedID moves
    // on to every message looked at. 1 when one was returned.
    int GetVoicegram(QByteArray& seedID, ReceivedVoicegram& out, int deleteAfter,
                     const QString& decodeDir = QString());
    // The flat form: fromName, fromAddress hold kMailTextSize bytes; subject, noteText,
    // recipNames, recipAddresses and files come back as new[] buffers (files: one path
    // of kMailTextSize bytes per attachment) released with FreeVoicegram.
    int GetVoicegram(char* seedID, char* foundID, QDateTime& received, char* fromName,
                     char* fromAddress, char** subject, char** noteText, ULONG* recipCount,
                     char** recipNames, char** recipAddresses, ULONG* fileCount, char** files,
                     char** reserved, int deleteAfter);
    static void FreeVoicegram(char** subject, char** noteText, char** recipNames,
                              char** recipAddresses, char** files);

    // Every voicegram in the inbox (read ones too), without changing any; their sound
    // is not saved. For listings.
    std::vector<ReceivedVoicegram> ListVoicegrams();
    // The voicegram of that id with its sound saved into dir (the private temporary
    // folder when empty); peek leaves its read state alone.
    bool FetchVoicegram(const QByteArray& id, ReceivedVoicegram& out, const QString& dir,
                        bool peek);

    int FindMail(char* seedID, char* foundID, const char* messageType, int unreadOnly);
    int Read(MapiMessage** msg, char* id, int peek, int withAttachments);
    int DeleteMail(const char* id);
    int MarkRead(const char* id);
    void FreeBuffer(void* buffer);
    static void IncrementMessageID(char* id);
    int SendDocuments(const char* paths, const char* fileNames);
    int SetForwardingAddress(char* address, std::size_t size = kMailTextSize);
    int ReadAndForwardMail(ULONG* count, int withAttachments);

    // The provider's account of the last failure ("" when it has none).
    QString LastError() const;
    // True when the subject marks a voicegram: it begins with "VOICEGRAM" exactly.
    static bool IsVoicegramSubject(const char* subject);

private:
    bool Load();
    bool Logon(FLAGS flags);
    int SendMailLocked(const char* subject, const char* noteText, const char* messageType,
                       int receipt, MapiRecipDesc* recips, ULONG recipCount, ULONG fileCount,
                       MapiFileDesc* files, bool notify);
    int FindMailLocked(const char* seedID, char* foundID, const char* messageType, int unreadOnly);
    bool ReadVoicegramLocked(const QByteArray& id, ReceivedVoicegram& out, bool peek,
                             bool withFiles, const QString& decodeDir);
    QString LastErrorLocked() const;

    // Entry points, in the order they are looked up; each is required.
    static constexpr const char* kEntryPoints[12] = {
        "MAPILogon",      "MAPILogoff",   "MAPISendMail", "MAPISendDocuments",
        "MAPIFindNext",   "MAPIReadMail", "MAPISaveMail", "MAPIDeleteMail",
        "MAPIFreeBuffer", "MAPIAddress",  "MAPIDetails",  "MAPIResolveName"};

    mutable std::recursive_mutex lock_;
    SharedLibrary library_;
    void* entries_[12] = {};
    TDMAPILASTERROR lastError_ = nullptr;
    LHANDLE session_ = 0;
    bool enabled_ = false;
    MapiRecipDesc* forward_ = nullptr;
    QByteArray forwardSeed_;
    QString lastFailure_;
};
