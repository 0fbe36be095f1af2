// Where a session's mail lives: the IMAP and SMTP servers of the account, or the local
// Maildir. Message identifiers order as strings in the order the messages arrived.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ctime>
#include <memory>
#include <vector>

#include "platform/mailaccount.h"

struct FetchedMail {
    QByteArray raw;
    std::time_t received = 0;
    bool seen = false;
};

class MailStore {
public:
    virtual ~MailStore() = default;
    // Checks that the store can be reached (the log-on).
    virtual bool Open(QString& error) = 0;
    // Identifiers in ascending order, only unseen ones when asked.
    virtual bool List(bool unreadOnly, std::vector<QByteArray>& ids, QString& error) = 0;
    // The message; markSeen marks it read, otherwise its state stays as it was.
    virtual bool Fetch(const QByteArray& id, bool markSeen, FetchedMail& mail, QString& error) = 0;
    virtual bool MarkSeen(const QByteArray& id, QString& error) = 0;
    virtual bool Delete(const QByteArray& id, QString& error) = 0;
    // Sends raw to each recipient; the ones that could not be reached go to failed.
    virtual bool Send(const QString& from, const QStringList& recipients, const QByteArray& raw,
                      QStringList& failed, QString& error) = 0;
    // Stores raw as a message of the store's own inbox, read or unread, received at
    // `when`; id gets its identifier.
    virtual bool Save(const QByteArray& raw, bool seen, std::time_t when, QByteArray& id,
                      QString& error) = 0;
};

// Largest message a store fetches.
inline constexpr qint64 kMaxMailBytes = 96 * 1024 * 1024;

std::unique_ptr<MailStore> MakeMaildirStore(const QString& maildir);
std::unique_ptr<MailStore> MakeImapStore(const MailAccount& account, const QByteArray& password);
// Delivers raw into a Maildir the Maildir way (tmp/ then new/); false when the folder
// is not a Maildir or cannot be written.
bool DeliverToMaildir(const QString& maildir, const QByteArray& raw, QString& error);
// Makes a Maildir for its owner: tmp/ and new/ take drops from other local users
// (mode 1733), cur/ is private.
bool EnsureMaildir(const QString& maildir);
