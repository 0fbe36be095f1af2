#include "platform/mapi/mime.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimeZone>

#include <cstdio>

namespace {

constexpr int kMaxPartDepth = 8;

QByteArray Crlf(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool IsAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// A header text, as RFC 2047 base64 words when it is not plain ASCII.
QByteArray HeaderText(const QString& text) {
    const QString line = OneLine(text);
    if (IsAscii(line))
        return line.toLatin1();
    return "=?UTF-8?B?" + line.toUtf8().toBase64() + "?=";
}

QByteArray AddressText(const MailAddress& a) {
    const QString address = CleanAddress(a.address);
    if (a.name.isEmpty() || a.name == address)
        return address.toLatin1();
    QString name = OneLine(a.name);
    if (IsAscii(name)) {
        name.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        return '"' + name.toLatin1() + "\" <" + address.toLatin1() + '>';
    }
    return HeaderText(name) + " <" + address.toLatin1() + '>';
}

QByteArray AddressList(const std::vector<MailAddress>& list) {
    QByteArray out;
    for (const MailAddress& a : list) {
        if (!out.isEmpty())
            out += ",\r\n ";
        out += AddressText(a);
    }
    return out;
}

QByteArray Base64Lines(const QByteArray& bytes) {
    const QByteArray b64 = bytes.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 38 + 2);
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76) + "\r\n";
    return out;
}

QByteArray QuotedName(const QString& name) {
    QString n = OneLine(name);
    n.remove(u'"').remove(u'\\');
    if (IsAscii(n))
        return '"' + n.toLatin1() + '"';
    return "\"=?UTF-8?B?" + n.toUtf8().toBase64() + "?=\"";
}

// ---------------------------------------------------------------------------------------
// Parsing

struct Header {
    QByteArray name;  // lower case
    QByteArray value;
};

struct Entity {
    std::vector<Header> headers;
    QByteArray body;

    QByteArray Get(const char* name) const {
        for (const Header& h : headers)
            if (h.name == name)
                return h.value;
        return {};
    }
};

// Splits headers and body at the first empty line; folded lines are joined.
Entity SplitEntity(const QByteArray& raw) {
    Entity e;
    qsizetype pos = 0;
    while (pos < raw.size()) {
        qsizetype nl = raw.indexOf('\n', pos);
        if (nl < 0)
            nl = raw.size();
        QByteArray line = raw.mid(pos, nl - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = nl + 1;
        if (line.isEmpty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !e.headers.empty()) {
            e.headers.back().value += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        e.headers.push_back({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    e.body = pos < raw.size() ? raw.mid(pos) : QByteArray();
    return e;
}

// A parameter of a structured header value (boundary=, name=, filename=, charset=).
QByteArray Parameter(const QByteArray& value, const char* name) {
    const QByteArray lower = value.toLower();
    const QByteArray key = QByteArray(name) + '=';
    qsizetype at = 0;
    while ((at = lower.indexOf(key, at)) >= 0) {
        if (at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t')
            break;
        at += key.size();
    }
    if (at < 0)
        return {};
    qsizetype i = at + key.size();
    if (i < value.size() && value[i] == '"') {
        const qsizetype close = value.indexOf('"', i + 1);
        return close < 0 ? value.mid(i + 1) : value.mid(i + 1, close - i - 1);
    }
    qsizetype end = i;
    while (end < value.size() && value[end] != ';' && value[end] != ' ' && value[end] != '\t')
        ++end;
    return value.mid(i, end - i);
}

QByteArray DecodeQuotedPrintable(const QByteArray& in) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 < in.size() && (in[i + 1] == '\r' || in[i + 1] == '\n')) {
            ++i;
            if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
            continue;
        }
        bool ok = false;
        const int v = i + 2 < in.size() ? in.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (ok) {
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray DecodeBody(const Entity& e) {
    const QByteArray encoding = e.Get("content-transfer-encoding").toLower();
    if (encoding == "base64")
        return QByteArray::fromBase64(e.body);
    if (encoding == "quoted-printable")
        return DecodeQuotedPrintable(e.body);
    return e.body;
}

QString TextOf(const QByteArray& bytes, const QByteArray& charset) {
    const QByteArray cs = charset.isEmpty() ? QByteArray("utf-8") : charset;
    QStringDecoder decoder(cs.constData());
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder(bytes);
}

// RFC 2047 encoded words in a header value.
QString DecodeWords(const QByteArray& value) {
    QString out;
    qsizetype pos = 0;
    bool lastWasWord = false;
    while (pos < value.size()) {
        const qsizetype start = value.indexOf("=?", pos);
        if (start < 0) {
            out += QString::fromUtf8(value.mid(pos));
            break;
        }
        const qsizetype q1 = value.indexOf('?', start + 2);
        const qsizetype q2 = q1 < 0 ? -1 : value.indexOf('?', q1 + 1);
        const qsizetype end = q2 < 0 ? -1 : value.indexOf("?=", q2 + 1);
        if (end < 0) {
            out += QString::fromUtf8(value.mid(pos));
            break;
        }
        const QByteArray between = value.mid(pos, start - pos);
        if (!(lastWasWord && between.trimmed().isEmpty()))
            out += QString::fromUtf8(between);
        const QByteArray charset = value.mid(start + 2, q1 - start - 2);
        const char kind = static_cast<char>(value[q1 + 1] | 0x20);
        QByteArray text = value.mid(q2 + 1, end - q2 - 1);
        if (kind == 'b') {
            text = QByteArray::fromBase64(text);
        } else {
            text.replace('_', ' ');
            text = DecodeQuotedPrintable(text);
        }
        out += TextOf(text, charset);
        pos = end + 2;
        lastWasWord = true;
    }
    return out;
}

std::vector<MailAddress> ParseAddresses(const QByteArray& value) {
    std::vector<MailAddress> list;
    // Split at commas outside quotes and angle brackets.
    QList<QByteArray> items;
    QByteArray current;
    bool quoted = false;
    int angle = 0;
    for (char c : value) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '<')
            ++angle;
        else if (!quoted && c == '>' && angle > 0)
            --angle;
        if (c == ',' && !quoted && angle == 0) {
            items.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    items.push_back(current);
    for (QByteArray item : items) {
        item = item.trimmed();
        if (item.isEmpty())
            continue;
        MailAddress a;
        const qsizetype lt = item.lastIndexOf('<');
        const qsizetype gt = item.lastIndexOf('>');
        if (lt >= 0 && gt > lt) {
            a.address = QString::fromUtf8(item.mid(lt + 1, gt - lt - 1).trimmed());
            QByteArray name = item.left(lt).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
                name = name.mid(1, name.size() - 2).replace("\\\"", "\"").replace("\\\\", "\\");
            a.name = DecodeWords(name);
        } else {
            a.address = QString::fromUtf8(item);
        }
        if (a.name.isEmpty())
            a.name = a.address;
        list.push_back(a);
    }
    return list;
}

struct Walk {
    ParsedMail& mail;
    qint64 maxBytes;
    qint64 total = 0;
    bool haveText = false;
    bool failed = false;
};

void WalkEntity(const Entity& e, Walk& walk, int depth) {
    if (walk.failed)
        return;
    const QByteArray type = e.Get("content-type");
    const QByteArray mediaType = type.left(type.indexOf(';')).trimmed().toLower();
    if (mediaType.startsWith("multipart/") && depth < kMaxPartDepth) {
        const QByteArray boundary = Parameter(type, "boundary");
        if (!boundary.isEmpty()) {
            const QByteArray delimiter = "--" + boundary;
            qsizetype pos = 0;
            qsizetype partStart = -1;
            while (pos <= e.body.size()) {
                qsizetype nl = e.body.indexOf('\n', pos);
                if (nl < 0)
                    nl = e.body.size();
                QByteArray line = e.body.mid(pos, nl - pos);
                if (line.endsWith('\r'))
                    line.chop(1);
                if (line.startsWith(delimiter)) {
                    if (partStart >= 0) {
                        // The line break before the delimiter belongs to it.
                        qsizetype end = pos;
                        if (end > partStart && e.body[end - 1] == '\n')
                            --end;
                        if (end > partStart && e.body[end - 1] == '\r')
                            --end;
                        WalkEntity(SplitEntity(e.body.mid(partStart, end - partStart)), walk,
                                   depth + 1);
                    }
                    if (line.mid(delimiter.size()).startsWith("--"))
                        return;
                    partStart = nl + 1;
                }
                pos = nl + 1;
            }
            if (partStart >= 0 && partStart < e.body.size())
                WalkEntity(SplitEntity(e.body.mid(partStart)), walk, depth + 1);
            return;
        }
    }
    const QByteArray disposition = e.Get("content-disposition");
    QByteArray name = Parameter(disposition, "filename");
    if (name.isEmpty())
        name = Parameter(type, "name");
    const bool isText = mediaType.isEmpty() || mediaType == "text/plain";
    if (isText && name.isEmpty() && !disposition.toLower().startsWith("attachment") &&
        !walk.haveText) {
        walk.mail.noteText = TextOf(DecodeBody(e), Parameter(type, "charset"));
        walk.haveText = true;
        return;
    }
    if (mediaType.startsWith("multipart/") || (isText && name.isEmpty() && walk.haveText &&
                                               !disposition.toLower().startsWith("attachment")))
        return;
    MailAttachment a;
    a.name = DecodeWords(name);
    a.bytes = DecodeBody(e);
    walk.total += a.bytes.size();
    if (walk.total > walk.maxBytes) {
        walk.failed = true;
        return;
    }
    walk.mail.attachments.push_back(std::move(a));
}

}  // namespace

QString OneLine(const QString& text) {
    QString out = text;
    out.replace(u'\r', u' ').replace(u'\n', u' ');
    return out;
}

QString CleanAddress(const QString& address) {
    QString a = address.trimmed();
    if (a.startsWith(QStringLiteral("SMTP:"), Qt::CaseInsensitive))
        a = a.mid(5).trimmed();
    return a;
}

bool IsPlainAddress(const QString& address) {
    if (address.isEmpty() || address.size() > 254)
        return false;
    for (QChar c : address) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || c == u'<' || c == u'>' || c == u'"' || c == u',' ||
            c == u';' || c == u'(' || c == u')' || c == u'\\')
            return false;
    }
    return !address.startsWith(u'@') && !address.endsWith(u'@') && address.count(u'@') <= 1;
}

QByteArray FormatReceived(std::time_t when) {
    const QDateTime t = QDateTime::fromSecsSinceEpoch(when);
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm")).toLatin1();
}

QByteArray BuildMail(const OutgoingMail& mail, std::time_t now) {
    const QDateTime date = QDateTime::fromSecsSinceEpoch(now);
    QByteArray head;
    head += "From: " + AddressText(mail.from) + "\r\n";
    if (!mail.to.empty())
        head += "To: " + AddressList(mail.to) + "\r\n";
    if (!mail.cc.empty())
        head += "Cc: " + AddressList(mail.cc) + "\r\n";
    head += "Subject: " + HeaderText(mail.subject) + "\r\n";
    head += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    const QString domain = CleanAddress(mail.from.address).section(u'@', 1);
    head += "Message-ID: <" + QByteArray::number(qint64(now)) + '.' +
            QByteArray::number(QRandomGenerator::global()->generate64(), 16) + '@' +
            (domain.isEmpty() ? QByteArray("localhost") : domain.toLatin1()) + ">\r\n";
    if (!mail.messageType.isEmpty())
        head += "X-Message-Type: " + HeaderText(mail.messageType) + "\r\n";
    if (mail.receipt)
        head += "Disposition-Notification-To: " + AddressText(mail.from) + "\r\n";
    head += "MIME-Version: 1.0\r\n";

    const QByteArray text = Crlf(mail.noteText.toUtf8());
    const QByteArray textHeaders = IsAscii(mail.noteText)
                                       ? QByteArray(
                                             "Content-Type: text/plain; charset=us-ascii\r\n"
                                             "Content-Transfer-Encoding: 7bit\r\n")
                                       : QByteArray(
                                             "Content-Type: text/plain; charset=utf-8\r\n"
                                             "Content-Transfer-Encoding: 8bit\r\n");
    if (mail.attachments.empty())
        return head + textHeaders + "\r\n" + text;

    const QByteArray boundary =
        "=_td_" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    QByteArray out = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "This is a message in MIME format.\r\n";
    out += "--" + boundary + "\r\n" + textHeaders + "\r\n" + text;
    if (!text.endsWith("\r\n"))
        out += "\r\n";
    for (const MailAttachment& a : mail.attachments) {
        const bool wav = a.name.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive);
        out += "--" + boundary + "\r\n";
        out += "Content-Type: " + QByteArray(wav ? "audio/wav" : "application/octet-stream") +
               "; name=" + QuotedName(a.name) + "\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: attachment; filename=" + QuotedName(a.name) + "\r\n\r\n";
        out += Base64Lines(a.bytes);
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

std::optional<ParsedMail> ParseMail(const QByteArray& raw, qint64 maxBytes) {
    const Entity top = SplitEntity(raw);
    ParsedMail mail;
    const auto from = ParseAddresses(top.Get("from"));
    if (!from.empty())
        mail.from = from.front();
    mail.to = ParseAddresses(top.Get("to"));
    mail.cc = ParseAddresses(top.Get("cc"));
    mail.subject = OneLine(DecodeWords(top.Get("subject")));
    mail.messageType = OneLine(DecodeWords(top.Get("x-message-type")));
    mail.receipt = !top.Get("disposition-notification-to").isEmpty();
    Walk walk{mail, maxBytes};
    WalkEntity(top, walk, 0);
    if (walk.failed)
        return std::nullopt;
    return mail;
}
