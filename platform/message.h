// Window messages between objects: (message, wParam, lParam) delivered to a receiver's
// handler map, synchronously with SendMessage or queued with PostMessage.
#pragma once

#include <QPointer>

#include <functional>
#include <unordered_map>

#include "platform/types.h"

inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_DRAWCLIPBOARD = 0x0308;

// Private messages that cross libraries.
inline constexpr UINT WM_BAR_TOGGLEMUTE = WM_USER + 1010;
inline constexpr UINT WM_BAR_INBOXCLOSED = WM_USER + 1020;
inline constexpr UINT WM_BAR_VOICEGRAMCLOSED = WM_USER + 1025;
inline constexpr UINT WM_BAR_RECORDERCLOSED = WM_USER + 1035;
inline constexpr UINT WM_BAR_MEMOCREATORCLOSED = WM_USER + 1040;
inline constexpr UINT WM_BAR_SONOSCOUTCLOSED = WM_USER + 1045;
inline constexpr UINT WM_BAR_MEMOMANAGERCLOSED = WM_USER + 1047;
inline constexpr UINT WM_BAR_DRAWERSOUND = WM_USER + 1060;
inline constexpr UINT WM_BAR_OPENVOICEGRAM = WM_USER + 1065;
inline constexpr UINT WM_BAR_TOMEMOS = WM_USER + 1066;
inline constexpr UINT WM_BAR_TOSONOSCOUT = WM_USER + 1067;
inline constexpr UINT WM_BAR_GETVOICEGRAMDRAWER = WM_USER + 1140;
inline constexpr UINT WM_BAR_CANUSEAUDIO = WM_USER + 1145;
inline constexpr UINT WM_BAR_SONOSCOUTSTATE = WM_USER + 1175;
inline constexpr UINT WM_BAR_INBOXSTATE = WM_USER + 1180;
inline constexpr UINT WM_BAR_REFRESHMAILLIST = WM_USER + 1190;
inline constexpr UINT WM_BAR_AOLMAILQUEUED = WM_USER + 2000;
inline constexpr UINT WM_PLAYLIST_STATECHANGED = WM_USER + 231;
inline constexpr UINT WM_PLAYLIST_TRACKCHANGED = WM_USER + 232;

// A receiver of window messages. Mix it into any QObject (widgets included), listed
// after the QObject base, and pass that object to the constructor; messages sent or
// posted to the object reach WindowProc on the object's own thread.
class MessageReceiver {
public:
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    explicit MessageReceiver(QObject* self);
    virtual ~MessageReceiver();
    MessageReceiver(const MessageReceiver&) = delete;
    MessageReceiver& operator=(const MessageReceiver&) = delete;

    // Registers the handler for one message; a later call replaces it.
    void OnMessage(UINT message, Handler handler);
    bool HasHandler(UINT message) const;

    // Looks the message up in the handler map; unhandled messages answer 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    QObject* messageObject() const { return self_; }

private:
    QPointer<QObject> self_;
    QPointer<QObject> filter_;
    std::unordered_map<UINT, Handler> handlers_;
};

// Delivers the message and returns the receiver's answer. When the receiver lives on
// another thread the caller blocks until that thread has answered, or until
// timeoutMs has passed (the answer is then 0). A target that is not a receiver gets
// nothing and the answer is 0.
LRESULT SendMessage(QObject* target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                    int timeoutMs = 30000);

// Queues the message for the receiver's thread and returns at once; false when there
// is no target.
bool PostMessage(QObject* target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// A message number unique to `name` within this process, the same for every caller
// that registers the same name: 0xC000 and up, as registered window messages are.
UINT RegisterWindowMessage(const char* name);
