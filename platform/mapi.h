// The Simple MAPI interface between the system and a mail provider: the structures, the
// flags and results, and the twelve entry points a provider shared object exports with C
// linkage. The provider is loaded at run time (see CSimpleMapi); libtdmapi.so is ours.
#pragma once

#include <cstdint>

using ULONG = uint32_t;
using FLAGS = uint32_t;
using LHANDLE = uintptr_t;
using ULONG_PTR = uintptr_t;

extern "C" {

struct MapiRecipDesc {
    ULONG ulReserved;
    ULONG ulRecipClass;  // MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC
    char* lpszName;
    char* lpszAddress;
    ULONG ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;  // ULONG(-1): not placed in the text
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};

struct MapiMessage {
    ULONG ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;  // "YYYY/MM/DD HH:MM"
    char* lpszConversationID;
    FLAGS flFlags;  // MAPI_UNREAD, MAPI_RECEIPT_REQUESTED, MAPI_SENT
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

using MAPILOGON = ULONG (*)(ULONG_PTR ui, const char* profile, const char* password, FLAGS flags,
                            ULONG reserved, LHANDLE* session);
using MAPILOGOFF = ULONG (*)(LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG reserved);
using MAPISENDMAIL = ULONG (*)(LHANDLE session, ULONG_PTR ui, MapiMessage* message, FLAGS flags,
                               ULONG reserved);
using MAPISENDDOCUMENTS = ULONG (*)(ULONG_PTR ui, const char* delimiter, const char* paths,
                                    const char* names, ULONG reserved);
using MAPIFINDNEXT = ULONG (*)(LHANDLE session, ULONG_PTR ui, const char* messageType,
                               const char* seedId, FLAGS flags, ULONG reserved, char* messageId);
using MAPIREADMAIL = ULONG (*)(LHANDLE session, ULONG_PTR ui, const char* messageId, FLAGS flags,
                               ULONG reserved, MapiMessage** message);
using MAPISAVEMAIL = ULONG (*)(LHANDLE session, ULONG_PTR ui, MapiMessage* message, FLAGS flags,
                               ULONG reserved, char* messageId);
using MAPIDELETEMAIL = ULONG (*)(LHANDLE session, ULONG_PTR ui, const char* messageId, FLAGS flags,
                                 ULONG reserved);
using MAPIFREEBUFFER = ULONG (*)(void* buffer);
using MAPIADDRESS = ULONG (*)(LHANDLE session, ULONG_PTR ui, const char* caption, ULONG editFields,
                              const char* labels, ULONG recipCount, MapiRecipDesc* recips,
                              FLAGS flags, ULONG reserved, ULONG* newCount,
                              MapiRecipDesc** newRecips);
using MAPIDETAILS = ULONG (*)(LHANDLE session, ULONG_PTR ui, MapiRecipDesc* recip, FLAGS flags,
                              ULONG reserved);
using MAPIRESOLVENAME = ULONG (*)(LHANDLE session, ULONG_PTR ui, const char* name, FLAGS flags,
                                  ULONG reserved, MapiRecipDesc** recip);

}  // extern "C"

// Message identifiers fit a buffer of this size with their NUL.
inline constexpr ULONG kMapiMessageIdSize = 255;

// Results.
inline constexpr ULONG SUCCESS_SUCCESS = 0;
inline constexpr ULONG MAPI_USER_ABORT = 1;
inline constexpr ULONG MAPI_E_FAILURE = 2;
inline constexpr ULONG MAPI_E_LOGIN_FAILURE = 3;
inline constexpr ULONG MAPI_E_INSUFFICIENT_MEMORY = 5;
inline constexpr ULONG MAPI_E_ATTACHMENT_OPEN_FAILURE = 9;
inline constexpr ULONG MAPI_E_ATTACHMENT_WRITE_FAILURE = 10;
inline constexpr ULONG MAPI_E_UNKNOWN_RECIPIENT = 14;
inline constexpr ULONG MAPI_E_NO_MESSAGES = 16;
inline constexpr ULONG MAPI_E_INVALID_MESSAGE = 17;
inline constexpr ULONG MAPI_E_INVALID_SESSION = 19;
inline constexpr ULONG MAPI_E_AMBIGUOUS_RECIPIENT = 21;
inline constexpr ULONG MAPI_E_INVALID_RECIPS = 25;
inline constexpr ULONG MAPI_E_NOT_SUPPORTED = 26;

// Flags of the calls.
inline constexpr FLAGS MAPI_LOGON_UI = 0x00000001;
inline constexpr FLAGS MAPI_NEW_SESSION = 0x00000002;
inline constexpr FLAGS MAPI_DIALOG = 0x00000008;
inline constexpr FLAGS MAPI_UNREAD_ONLY = 0x00000020;
inline constexpr FLAGS MAPI_ENVELOPE_ONLY = 0x00000040;
inline constexpr FLAGS MAPI_PEEK = 0x00000080;
inline constexpr FLAGS MAPI_GUARANTEE_FIFO = 0x00000100;
inline constexpr FLAGS MAPI_SUPPRESS_ATTACH = 0x00000800;
inline constexpr FLAGS MAPI_AB_NOMODIFY = 0x00000400;
inline constexpr FLAGS MAPI_LONG_MSGID = 0x00004000;
// Flags of a message.
inline constexpr FLAGS MAPI_UNREAD = 0x00000001;
inline constexpr FLAGS MAPI_RECEIPT_REQUESTED = 0x00000002;
inline constexpr FLAGS MAPI_SENT = 0x00000004;
// Recipient classes.
inline constexpr ULONG MAPI_ORIG = 0;
inline constexpr ULONG MAPI_TO = 1;
inline constexpr ULONG MAPI_CC = 2;
inline constexpr ULONG MAPI_BCC = 3;

// Extra entry points of our provider (optional for other providers):
// "TdMapiLastError": the text of the session's last failure, such as which recipients
// a send could not reach ("" when none); valid until the next call on the session.
using TDMAPILASTERROR = const char* (*)(LHANDLE session);
// "TdMapiSetPrompt": a function the provider calls for the log-on dialog (account text
// in, password out into a buffer of the given size, remember flag out); nonzero when the
// user confirmed. Without one, MAPI_LOGON_UI cannot ask and the log-on fails.
using TDMAPIPROMPT = int (*)(const char* account, char* password, ULONG size, int* remember);
using TDMAPISETPROMPT = void (*)(TDMAPIPROMPT prompt);
// "TdMapiSetAddressDialog": the address dialog MAPIAddress shows: the provider passes
// the caption and the pre-filled "To" and "Cc" texts (entries separated by ';') and
// receives the edited ones in buffers of the given size; nonzero on OK. Without one,
// MAPIAddress confirms the pre-filled recipients as they are.
using TDMAPIADDRESSDIALOG = int (*)(const char* caption, const char* toIn, const char* ccIn,
                                    char* toOut, char* ccOut, ULONG size);
using TDMAPISETADDRESSDIALOG = void (*)(TDMAPIADDRESSDIALOG dialog);
// "TdMapiSetDetailsDialog": the dialog MAPIDetails shows: the recipient's name and
// address and a line about how mail reaches it; with modify set the name may be edited
// and comes back in nameOut (a buffer of the given size). Nonzero on OK. Without one,
// MAPIDetails is not supported.
using TDMAPIDETAILSDIALOG = int (*)(const char* name, const char* address, const char* about,
                                    int modify, char* nameOut, ULONG size);
using TDMAPISETDETAILSDIALOG = void (*)(TDMAPIDETAILSDIALOG dialog);
