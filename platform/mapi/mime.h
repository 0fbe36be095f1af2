// Mail messages in their RFC 822 / MIME form: building the message a send hands to the
// server or Maildir, and taking a received one apart into what Simple MAPI reports.
#pragma once

#include <QByteArray>
#include <QString>

#include <ctime>
#include <optional>
#include <vector>

struct MailAddress {
    QString name;
    QString address;
};

struct MailAttachment {
    QString name;  // as the message gives it
    QByteArray bytes;
};

struct OutgoingMail {
    MailAddress from;
    std::vector<MailAddress> to, cc;  // Bcc recipients are not written
    QString subject;
    QString noteText;
    QString messageType;
    bool receipt = false;
    std::vector<MailAttachment> attachments;
};

struct ParsedMail {
    MailAddress from;
    std::vector<MailAddress> to, cc;
    QString subject;
    QString noteText;
    QString messageType;
    bool receipt = false;
    std::vector<MailAttachment> attachments;
};

// A header value is one line: carriage returns and line feeds become blanks.
QString OneLine(const QString& text);
// True for an address that can go on an SMTP envelope and into a header.
bool IsPlainAddress(const QString& address);
// Strips a "SMTP:" prefix and blanks.
QString CleanAddress(const QString& address);

// The message with CRLF line ends throughout; date and Message-ID from now.
QByteArray BuildMail(const OutgoingMail& mail, std::time_t now);
// Takes a received message apart; attachments larger than maxBytes in all make it fail.
std::optional<ParsedMail> ParseMail(const QByteArray& raw, qint64 maxBytes);
// "YYYY/MM/DD HH:MM" in local time.
QByteArray FormatReceived(std::time_t when);
