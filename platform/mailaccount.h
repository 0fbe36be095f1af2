// The mail account of the current user, as the registry store holds it under
// "SOFTWARE\\Tonedeck\\Mail": the store ("imap" or "maildir"; Maildir when unset), the
// IMAP and SMTP server addresses, the user name, the sender address and the connection
// security ("tls", the default, or "plain-loopback", which lets unencrypted connections
// to 127.0.0.1 and ::1 through and nothing else). The password is never in the store: a
// remembered one lies in a file of mode 0600 beside the user's registry file.
#pragma once

#include <QString>

#include <optional>

inline constexpr char kMailKey[] = "SOFTWARE\\Tonedeck\\Mail";

enum class MailStoreKind { Maildir, Imap };

struct MailAccount {
    MailStoreKind store = MailStoreKind::Maildir;
    QString imapUrl;
    QString smtpUrl;
    QString user;
    QString from;
    bool plainLoopback = false;
    QString caFile;  // extra certificate authorities, when set
};

MailAccount LoadMailAccount();
// The sender address: the account's own, else the user name when it is an address,
// else user@host of the SMTP server; for the Maildir store the login name.
QString SenderAddress(const MailAccount& account);

// The remembered password file, and reading, writing (0600, written beside and renamed
// over) and forgetting it.
QString MailPasswordFilePath();
std::optional<QByteArray> ReadMailPassword();
bool WriteMailPassword(const QByteArray& password);
bool ForgetMailPassword();

// The user's own Maildir ($XDG_DATA_HOME/tonedeck/Maildir), and a local user's, by
// login name (below TONEDECK_MAILDIR_USERS/<name>/tonedeck/Maildir when that variable
// is set, else in the user's home); empty when there is no such user.
QString OwnMaildir();
QString LocalUserMaildir(const QString& login);
QString LoginName();
