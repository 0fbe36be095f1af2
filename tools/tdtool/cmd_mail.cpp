// tdtool mail: voicegrams through the configured mail account (IMAP + SMTP, or the local
// Maildir when none is set): send, list, fetch, decode a stored message, set the account.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "command.h"
#include "platform/mailaccount.h"
#include "platform/registry.h"
#include "tdkit/mail/decode.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/mail/voicegram.h"
#include "tdkit/settings/paths.h"

namespace {

const char kUsage[] =
    "mail send FILE --to ADDR[,ADDR...] [--subject TEXT] [--uu] [--json] | mail list [--json] | "
    "mail fetch ID --out DIR | mail decode MESSAGE_FILE --out DIR | "
    "mail account --imap URL --smtp URL --user NAME [--password-file F] [--from ADDR] "
    "[--plain-loopback] | mail account --local | mail account [--json]";

// Largest stored message `mail decode` reads.
constexpr qint64 kMaxMessageFile = 128 * 1024 * 1024;

bool LogOn(CSimpleMapi& mapi) {
    QString error;
    if (!mapi.StartQuietly(&error)) {
        PrintErr(error);
        return false;
    }
    return true;
}

// An output folder given on the command line: made when missing.
bool OutputFolder(const QString& dir) {
    if (dir.isEmpty() || !QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
        PrintErr(QStringLiteral("cannot use the folder %1").arg(dir));
        return false;
    }
    return true;
}

int Send(const Args& args) {
    const QStringList pos = args.positional();
    const auto to = args.value("to");
    if (pos.size() != 2 || !to || to->trimmed().isEmpty())
        return UsageError(kUsage, QStringLiteral("mail send needs FILE and --to"));
    VoicegramSend request;
    request.wavPath = pos[1];
    request.subject = args.value("subject").value_or(QString());
    request.uuText = args.flag("uu");
    for (const QString& a : to->split(u',', Qt::SkipEmptyParts))
        request.recipients.push_back({MAPI_TO, a.trimmed(), a.trimmed()});
    if (!QFileInfo(request.wavPath).isFile()) {
        PrintErr(QStringLiteral("no file %1").arg(request.wavPath));
        return kExitFailed;
    }
    CSimpleMapi mapi;
    if (!LogOn(mapi))
        return kExitFailed;
    const VoicegramSendResult result = SendVoicegramFile(mapi, request);
    if (args.flag("json")) {
        QJsonArray recipients;
        for (const MailRecipient& r : request.recipients)
            recipients.append(r.address);
        PrintJson(QJsonObject{{"sent", result.sent},
                              {"to", recipients},
                              {"subject", VoicegramSubject(request.subject)},
                              {"mode", request.uuText ? "uu" : "attachment"},
                              {"error", result.error}});
    } else if (result.sent) {
        PrintOut(QStringLiteral("sent to %1").arg(to->trimmed()));
    }
    if (!result.sent) {
        PrintErr(result.error);
        return kExitFailed;
    }
    return kExitOk;
}

QJsonObject Entry(const ReceivedVoicegram& v) {
    return QJsonObject{{"id", QString::fromLatin1(v.id)},
                       {"from", v.fromAddress.isEmpty() ? v.fromName : v.fromAddress},
                       {"fromName", v.fromName},
                       {"subject", v.subject},
                       {"date", v.received.toString(QStringLiteral("yyyy/MM/dd HH:mm"))},
                       {"heard", !v.unread}};
}

int List(const Args& args) {
    if (args.positional().size() != 1)
        return UsageError(kUsage, QStringLiteral("mail list takes no file"));
    CSimpleMapi mapi;
    if (!LogOn(mapi))
        return kExitFailed;
    const std::vector<ReceivedVoicegram> list = mapi.ListVoicegrams();
    if (!mapi.LastError().isEmpty() && list.empty()) {
        PrintErr(mapi.LastError());
        return kExitFailed;
    }
    if (args.flag("json")) {
        QJsonArray out;
        for (const ReceivedVoicegram& v : list)
            out.append(Entry(v));
        PrintJson(out);
        return kExitOk;
    }
    for (const ReceivedVoicegram& v : list)
        PrintOut(QStringLiteral("%1  %2  %3  %4  %5")
                     .arg(QString::fromLatin1(v.id),
                          v.received.toString(QStringLiteral("yyyy/MM/dd HH:mm")),
                          v.unread ? QStringLiteral("new  ") : QStringLiteral("heard"),
                          v.fromAddress.isEmpty() ? v.fromName : v.fromAddress, v.subject));
    if (list.empty())
        PrintOut(QStringLiteral("no voicegrams"));
    return kExitOk;
}

int Fetch(const Args& args) {
    const QStringList pos = args.positional();
    const auto out = args.value("out");
    if (pos.size() != 2 || !out)
        return UsageError(kUsage, QStringLiteral("mail fetch needs ID and --out"));
    if (!OutputFolder(*out))
        return kExitFailed;
    CSimpleMapi mapi;
    if (!LogOn(mapi))
        return kExitFailed;
    ReceivedVoicegram v;
    if (!mapi.FetchVoicegram(pos[1].toLatin1(), v, QDir(*out).absolutePath(), true)) {
        const QString why = mapi.LastError();
        PrintErr(QStringLiteral("no voicegram %1%2")
                     .arg(pos[1], why.isEmpty() ? QString() : ": " + why));
        return kExitFailed;
    }
    // Attachments other than the sound are not wanted here.
    for (const QString& f : v.files)
        if (f != v.sound)
            QFile::remove(f);
    if (args.flag("json"))
        PrintJson(QJsonObject{{"id", QString::fromLatin1(v.id)}, {"path", v.sound}});
    else
        PrintOut(v.sound);
    return kExitOk;
}

int Decode(const Args& args) {
    const QStringList pos = args.positional();
    const auto out = args.value("out");
    if (pos.size() != 2 || !out)
        return UsageError(kUsage, QStringLiteral("mail decode needs MESSAGE_FILE and --out"));
    QFile in(pos[1]);
    if (!in.open(QIODevice::ReadOnly) || in.size() > kMaxMessageFile) {
        PrintErr(QStringLiteral("cannot read %1").arg(pos[1]));
        return kExitFailed;
    }
    const QByteArray text = in.readAll();
    if (!OutputFolder(*out))
        return kExitFailed;
    const QString dir = QDir(*out).absolutePath();
    // As the inbox does: MIME base64 first, then UU.
    char path[kDecodePathSize];
    if (!CDecode::DecodeMIMEToWAV(text.constData(), static_cast<std::size_t>(text.size()), dir,
                                  path, sizeof path) &&
        !CDecode::DecodeUU(text.constData(), static_cast<std::size_t>(text.size()), dir, path,
                           sizeof path)) {
        PrintErr(QStringLiteral("no sound found in %1").arg(pos[1]));
        return kExitFailed;
    }
    if (args.flag("json"))
        PrintJson(QJsonObject{{"path", QString::fromLocal8Bit(path)}});
    else
        PrintOut(QString::fromLocal8Bit(path));
    return kExitOk;
}

int Account(const Args& args) {
    if (args.positional().size() != 1)
        return UsageError(kUsage, QStringLiteral("mail account takes options only"));
    const auto imap = args.value("imap");
    const auto smtp = args.value("smtp");
    const auto user = args.value("user");
    const bool local = args.flag("local");
    const bool setting = imap || smtp || user || args.value("password-file") || local;
    if (setting) {
        if (local == bool(imap || smtp || user))
            return UsageError(kUsage, QStringLiteral("give --imap, --smtp and --user, or --local"));
        if (!local && (!imap || !smtp || !user))
            return UsageError(kUsage, QStringLiteral("--imap, --smtp and --user go together"));
        QByteArray password;
        if (const auto file = args.value("password-file")) {
            QFile f(*file);
            if (!f.open(QIODevice::ReadOnly) || f.size() > 1024) {
                PrintErr(QStringLiteral("cannot read the password file %1").arg(*file));
                return kExitFailed;
            }
            password = f.readAll();
            while (password.endsWith('\n') || password.endsWith('\r'))
                password.chop(1);
        }
        auto key = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kMailKey));
        bool ok = bool(key);
        if (ok && local) {
            ok = key->SetString("Store", "maildir");
        } else if (ok) {
            ok = key->SetString("Store", "imap") && key->SetString("ImapUrl", *imap) &&
                 key->SetString("SmtpUrl", *smtp) && key->SetString("User", *user) &&
                 key->SetString("From", args.value("from").value_or(QString())) &&
                 key->SetString("Security", args.flag("plain-loopback")
                                                ? QStringLiteral("plain-loopback")
                                                : QStringLiteral("tls"));
        }
        if (ok && args.value("password-file"))
            ok = WriteMailPassword(password);
        password.fill('\0');
        if (!ok) {
            PrintErr(QStringLiteral("cannot store the mail account"));
            return kExitFailed;
        }
        // The machine says it has a mail system once an account is set up, where the
        // machine store can be written.
        if (auto machine =
                RegKey::Create(RegRoot::LocalMachine, QString::fromLatin1(kMapiComponentKey)))
            machine->SetString("Installed", "1");
    }
    const MailAccount account = LoadMailAccount();
    const bool imapStore = account.store == MailStoreKind::Imap;
    if (args.flag("json")) {
        PrintJson(QJsonObject{{"store", imapStore ? "imap" : "maildir"},
                              {"imap", account.imapUrl},
                              {"smtp", account.smtpUrl},
                              {"user", account.user},
                              {"from", SenderAddress(account)},
                              {"plainLoopback", account.plainLoopback},
                              {"passwordRemembered", ReadMailPassword().has_value()},
                              {"maildir", OwnMaildir()},
                              {"mailInstalled", IsMAPIInstalled() == 1}});
    } else if (imapStore) {
        PrintOut(
            QStringLiteral("IMAP %1, SMTP %2, user %3, from %4%5")
                .arg(account.imapUrl, account.smtpUrl, account.user, SenderAddress(account),
                     account.plainLoopback ? QStringLiteral(", plain on loopback") : QString()));
    } else {
        PrintOut(QStringLiteral("local Maildir %1").arg(OwnMaildir()));
    }
    return kExitOk;
}

int Mail(const QStringList& words) {
    Args args(words, {"json", "uu", "plain-loopback", "local"});
    if (!args.ok())
        return UsageError(kUsage, args.error());
    if (args.positional().isEmpty())
        return UsageError(kUsage, QStringLiteral("mail needs a verb"));
    const QString verb = args.positional()[0];
    struct Verb {
        const char* name;
        QStringList options;
        int (*run)(const Args&);
    };
    const Verb verbs[] = {
        {"send", {"to", "subject", "uu", "json"}, Send},
        {"list", {"json"}, List},
        {"fetch", {"out", "json"}, Fetch},
        {"decode", {"out", "json"}, Decode},
        {"account",
         {"imap", "smtp", "user", "password-file", "from", "plain-loopback", "local", "json"},
         Account},
    };
    for (const Verb& v : verbs)
        if (verb == QLatin1String(v.name)) {
            if (!args.unknown(v.options).isEmpty())
                return UsageError(
                    kUsage,
                    QStringLiteral("unknown option %1").arg(args.unknown(v.options).join(u' ')));
            return v.run(args);
        }
    return UsageError(kUsage, QStringLiteral("unknown verb %1").arg(verb));
}

}  // namespace

TDTOOL_COMMAND("mail", kUsage, Mail);
