// tdtool guide: the Fixit Guide's database. build compiles the text sources into an
// archive, dump prints an archive's records in order, check lists what would go wrong
// when the guide runs.
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "command.h"
#include "tdmend/guidecheck.h"
#include "tdmend/guidedata.h"
#include "tdmend/guidedevices.h"
#include "tdmend/guidesource.h"

namespace {

constexpr char kUsage[] =
    "guide build SRC_DIR OUT | guide dump ARCHIVE [--json] | guide check ARCHIVE";

QString Text(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

// A string as a quoted C-like literal, so tabs and newlines stay on the record's line.
QString Quoted(const QByteArray& bytes) {
    QString out = QStringLiteral("\"");
    for (char c : bytes) {
        switch (c) {
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            case '"':
                out += QStringLiteral("\\\"");
                break;
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16,
                                                       QLatin1Char('0'));
                else
                    out += QChar::fromLatin1(c);
        }
    }
    return out + u'"';
}

// Reads an archive file into db; false (with the error printed) when it cannot be read.
bool ReadArchive(const QString& path, CFixitGuideDatabase& db, ArchiveError& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintErr(QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    error = db.Deserialize(file.readAll());
    return true;
}

QString ErrorText(const QString& path, const ArchiveError& e) {
    return QStringLiteral("%1: at byte %2: %3").arg(path).arg(e.offset).arg(e.what);
}

int Build(const Args& args) {
    if (args.positional().size() != 3 || !args.unknown({}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("build SRC_DIR OUT"));
    CFixitGuideDatabase db;
    const QStringList problems = LoadGuideSources(args.positional()[1], db);
    for (const QString& p : problems)
        PrintErr(p);
    if (!problems.isEmpty())
        return kExitFailed;
    QString error;
    if (!SaveData(db, args.positional()[2], &error)) {
        PrintErr(error);
        return kExitFailed;
    }
    PrintOut(QStringLiteral("%1 prompts, %2 frames, %3 control configurations")
                 .arg(db.prompts.size())
                 .arg(db.frames.size())
                 .arg(db.controls.size()));
    return kExitOk;
}

int Dump(const Args& args) {
    if (args.positional().size() != 2 || !args.unknown({"json"}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("dump ARCHIVE [--json]"));
    const QString path = args.positional()[1];
    CFixitGuideDatabase db;
    ArchiveError error;
    if (!ReadArchive(path, db, error))
        return kExitFailed;
    if (args.flag("json")) {
        QJsonArray prompts, frames, controls;
        for (const CPrompt& p : db.prompts)
            prompts.append(QJsonObject{{"identifier", p.identifier},
                                       {"text", Text(p.text)},
                                       {"question", Text(p.question)}});
        for (const CFrame& f : db.frames)
            frames.append(QJsonObject{{"identifier", f.identifier},
                                      {"title", f.titleIndex},
                                      {"buttons", f.buttonFlags},
                                      {"prompt", f.prompt},
                                      {"config", f.controlConfig},
                                      {"reserved", f.reserved},
                                      {"picture", Text(f.picture)},
                                      {"yesText", Text(f.yesText)},
                                      {"yesAction", Text(f.yesAction)},
                                      {"noText", Text(f.noText)},
                                      {"noAction", Text(f.noAction)},
                                      {"nextText", Text(f.nextText)},
                                      {"nextAction", Text(f.nextAction)}});
        for (const CControlConfig& c : db.controls)
            controls.append(QJsonObject{{"identifier", c.identifier},
                                        {"show", static_cast<qint64>(c.showFlags)},
                                        {"enable", static_cast<qint64>(c.enableFlags)},
                                        {"device", c.device},
                                        {"label", Text(c.label)},
                                        {"playAction", Text(c.playAction)},
                                        {"recordAction", Text(c.recordAction)}});
        QJsonObject out{{"prompts", prompts}, {"frames", frames}, {"controls", controls}};
        if (error)
            out.insert("error", QJsonObject{{"offset", static_cast<qint64>(error.offset)},
                                            {"what", error.what}});
        PrintJson(out);
    } else {
        for (const CPrompt& p : db.prompts)
            PrintOut(QStringLiteral("prompt %1 text=%2 question=%3")
                         .arg(p.identifier)
                         .arg(Quoted(p.text), Quoted(p.question)));
        for (const CFrame& f : db.frames)
            PrintOut(QStringLiteral("frame %1 title=%2 buttons=%3 prompt=%4 config=%5 reserved=%6 "
                                    "picture=%7 yes=%8 %9 no=%10 %11 next=%12 %13")
                         .arg(f.identifier)
                         .arg(f.titleIndex)
                         .arg(f.buttonFlags)
                         .arg(f.prompt)
                         .arg(f.controlConfig)
                         .arg(f.reserved)
                         .arg(Quoted(f.picture), Quoted(f.yesText), Quoted(f.yesAction),
                              Quoted(f.noText), Quoted(f.noAction), Quoted(f.nextText),
                              Quoted(f.nextAction)));
        for (const CControlConfig& c : db.controls)
            PrintOut(QStringLiteral("control %1 show=%2 enable=%3 device=%4 label=%5 play=%6 "
                                    "record=%7")
                         .arg(c.identifier)
                         .arg(c.showFlags)
                         .arg(c.enableFlags)
                         .arg(c.device)
                         .arg(Quoted(c.label), Quoted(c.playAction), Quoted(c.recordAction)));
    }
    if (error) {
        PrintErr(ErrorText(path, error));
        return kExitFailed;
    }
    return kExitOk;
}

int Check(const Args& args) {
    if (args.positional().size() != 2 || !args.unknown({}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("check ARCHIVE"));
    const QString path = args.positional()[1];
    CFixitGuideDatabase db;
    ArchiveError error;
    if (!ReadArchive(path, db, error))
        return kExitFailed;
    QStringList faults;
    if (error)
        faults << ErrorText(path, error);
    faults += CheckGuide(db);
    for (const QString& f : faults)
        PrintOut(f);
    if (!faults.isEmpty())
        return kExitFailed;
    PrintOut(QStringLiteral("ok: %1 prompts, %2 frames, %3 control configurations")
                 .arg(db.prompts.size())
                 .arg(db.frames.size())
                 .arg(db.controls.size()));
    return kExitOk;
}

int Guide(const QStringList& words) {
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(QString::fromLatin1(kUsage), args.error());
    const QString verb = args.positional().value(0);
    if (verb == QStringLiteral("build"))
        return Build(args);
    if (verb == QStringLiteral("dump"))
        return Dump(args);
    if (verb == QStringLiteral("check"))
        return Check(args);
    return UsageError(QString::fromLatin1(kUsage),
                      verb.isEmpty() ? QStringLiteral("guide needs build, dump or check")
                                     : QStringLiteral("unknown guide command '%1'").arg(verb));
}

}  // namespace

TDTOOL_COMMAND("guide", kUsage, Guide);
