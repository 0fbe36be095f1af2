// tdtool drives: the drive table, binding letters, and network names of paths.
#include <QJsonArray>
#include <QJsonObject>

#include "command.h"
#include "platform/drives.h"
#include "tdkit/settings/names.h"

namespace {

const char kUsage[] =
    "drives [--json] | drives bind LETTER: MOUNTPOINT | drives unbind LETTER: | "
    "drives universal PATH";

// "1234-ABCD", as volume serial numbers are shown.
QString SerialText(DWORD serial) {
    const QString hex = QStringLiteral("%1").arg(serial, 8, 16, QChar(u'0')).toUpper();
    return hex.left(4) + u'-' + hex.mid(4);
}

// "D:" or "d" as a letter; 0 when it is none.
char LetterOf(const QString& word) {
    QString w = word.toUpper();
    if (w.endsWith(u':'))
        w.chop(1);
    if (w.size() != 1 || w[0] < u'A' || w[0] > u'Z')
        return 0;
    return w[0].toLatin1();
}

int List(bool json) {
    const std::vector<Drive> table = LoadDriveTable();
    if (json) {
        QJsonArray drives;
        for (const Drive& d : table)
            drives.append(QJsonObject{{"letter", QString(QChar(d.letter)) + u':'},
                                      {"type", DriveTypeName(d.type)},
                                      {"mountPoint", d.mountPoint},
                                      {"fsType", d.fsType},
                                      {"source", d.source},
                                      {"label", d.label},
                                      {"serial", SerialText(d.serial)},
                                      {"universalName", d.universalName}});
        PrintJson(drives);
        return kExitOk;
    }
    for (const Drive& d : table) {
        QString line = QString(QChar(d.letter)) + QStringLiteral(":  ") +
                       DriveTypeName(d.type).leftJustified(10) + d.mountPoint +
                       QStringLiteral("  (") + d.fsType + u' ' + d.source + u')';
        if (!d.universalName.isEmpty())
            line += QStringLiteral("  ") + d.universalName;
        if (!d.label.isEmpty())
            line += QStringLiteral("  label \"") + d.label + u'"';
        if (d.serial != 0)
            line += QStringLiteral("  serial ") + SerialText(d.serial);
        PrintOut(line);
    }
    if (table.empty())
        PrintOut(QStringLiteral("no drives"));
    return kExitOk;
}

int RunDrives(const QStringList& words) {
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(kUsage, args.error());
    if (!args.unknown({"json"}).isEmpty())
        return UsageError(kUsage, QStringLiteral("unknown option"));
    const QStringList pos = args.positional();
    if (pos.isEmpty())
        return List(args.flag("json"));

    const QString& verb = pos[0];
    if (verb == QStringLiteral("bind") || verb == QStringLiteral("unbind")) {
        const bool bind = verb == QStringLiteral("bind");
        if (pos.size() != (bind ? 3 : 2) || !LetterOf(pos[1]))
            return UsageError(
                kUsage, QStringLiteral("%1 needs a drive letter%2")
                            .arg(verb, bind ? QStringLiteral(" and a mount point") : QString()));
        const QString mountPoint = bind ? pos[2] : QString();
        if (bind && !mountPoint.startsWith(u'/'))
            return UsageError(kUsage, QStringLiteral("the mount point must be an absolute path"));
        if (!BindDriveLetter(LetterOf(pos[1]), mountPoint)) {
            PrintErr(
                QStringLiteral("cannot change the drive letters: Tonedeck is not set up "
                               "(run tdtool setup) or its registry store cannot be written"));
            return kExitFailed;
        }
        return kExitOk;
    }
    if (verb == QStringLiteral("universal")) {
        if (pos.size() != 2)
            return UsageError(kUsage, QStringLiteral("universal needs one path"));
        char name[kNameBufferSize];
        if (!GetUniversalName(name, pos[1])) {
            PrintErr(QStringLiteral("%1 is not on a network drive").arg(pos[1]));
            return kExitFailed;
        }
        PrintOut(QString::fromLocal8Bit(name));
        return kExitOk;
    }
    return UsageError(kUsage, QStringLiteral("unknown drives command '%1'").arg(verb));
}

}  // namespace

TDTOOL_COMMAND("drives", kUsage, RunDrives);
