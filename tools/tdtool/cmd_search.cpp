// tdtool search: a search of the drives with the engine the Sonoscout drawer uses, and the
// records of a search data file.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cstring>

#include "command.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"
#include "tdseek/searchengine.h"

namespace {

constexpr char kUsage[] =
    "search [--drives C,D,...] [--wav] [--midi] [--keep-old] [--json] | search show [FILE] "
    "[--json]";

int Usage(const QString& problem) {
    return UsageError(QString::fromLatin1(kUsage), problem);
}

// "C,D" into drive flags; false for anything but letters C to Z.
bool ParseDrives(const QString& text, BOOL drives[26]) {
    std::memset(drives, 0, 26 * sizeof(BOOL));
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    for (QString part : parts) {
        part = part.trimmed();
        if (part.endsWith(u':'))
            part.chop(1);
        if (part.size() != 1)
            return false;
        const char letter = part[0].toUpper().toLatin1();
        if (letter < 'C' || letter > 'Z')
            return false;
        drives[letter - 'A'] = 1;
    }
    return true;
}

QString Text(const char* field, std::size_t size) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, size)));
}

int Show(const Args& args) {
    if (args.positional().size() > 2 || !args.unknown({"json"}).isEmpty())
        return Usage(QStringLiteral("unexpected arguments"));
    QString path;
    if (args.positional().size() == 2) {
        path = args.positional()[1];
    } else if (!GetSonoscoutSearchFilePath(path)) {
        PrintErr(QStringLiteral("no search data file: Tonedeck is not set up for a user"));
        return kExitFailed;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintErr(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return kExitFailed;
    }
    QJsonArray list;
    SOUNDSTRUCT r;
    for (int index = 0; file.read(reinterpret_cast<char*>(&r), sizeof r) == sizeof r; ++index) {
        if (r.szPath[0] == '\0')
            continue;  // a record whose file was deleted
        const QString filePath = Text(r.szPath, sizeof r.szPath);
        const QString description = Text(r.szDescription, sizeof r.szDescription);
        if (args.flag("json")) {
            const uint64_t filetime = (uint64_t(r.ftLastWriteHigh) << 32) | r.ftLastWriteLow;
            list.append(QJsonObject{{"index", index},
                                    {"type", r.nType},
                                    {"size", static_cast<qint64>(r.dwSize)},
                                    {"path", filePath},
                                    {"name", Text(r.szName, sizeof r.szName)},
                                    {"description", description},
                                    {"lastWrite", static_cast<qint64>(filetime)}});
        } else {
            PrintOut(QStringLiteral("%1\t%2\t%3\t%4")
                         .arg(r.nType)
                         .arg(r.dwSize)
                         .arg(filePath, description));
        }
    }
    if (args.flag("json"))
        PrintJson(list);
    return kExitOk;
}

int Run(const Args& args) {
    if (!args.positional().isEmpty() ||
        !args.unknown({"drives", "wav", "midi", "keep-old", "json"}).isEmpty())
        return Usage(QStringLiteral("unexpected arguments"));
    QString dataFile;
    if (!GetSonoscoutSearchFilePath(dataFile)) {
        PrintErr(QStringLiteral("no search data file: Tonedeck is not set up for a user"));
        return kExitFailed;
    }
    BOOL drives[26] = {};
    if (const auto text = args.value("drives")) {
        if (!ParseDrives(*text, drives))
            return Usage(QStringLiteral("--drives wants drive letters C to Z, as C,D"));
    } else {
        // The user's settings; a user who has never saved any has the defaults.
        QString settingsPath;
        PROPERTIES settings = DefaultProperties({});
        QString error = QStringLiteral("no settings file");
        if (!GetTonedeckPropertiesFilePath(settingsPath) ||
            (QFileInfo::exists(settingsPath) &&
             !ReadPropertiesFile(settingsPath, &settings, &error))) {
            PrintErr(QStringLiteral("cannot read the settings' drives: %1").arg(error));
            return kExitFailed;
        }
        std::memcpy(drives, settings.SonoscoutProps.bDrive, sizeof drives);
    }
    bool wave = args.flag("wav"), midi = args.flag("midi");
    if (!wave && !midi)
        wave = midi = true;

    CSoundSearchEngine engine;
    if (!engine.DoSearch(drives, midi, wave, {}, 0)) {
        PrintErr(QStringLiteral("cannot start the search (no temporary file)"));
        return kExitFailed;
    }
    // The search runs as long as the tree asks; each wait is bounded.
    while (!engine.WaitForWorker(1000)) {
    }
    const QString found = engine.GetSearchFilename();
    const qint64 records = QFileInfo(found).size() / qint64(sizeof(SOUNDSTRUCT));
    if (!args.flag("keep-old") && !PublishSearchFile(found, dataFile)) {
        PrintErr(QStringLiteral("cannot write %1").arg(dataFile));
        return kExitFailed;
    }
    if (args.flag("json"))
        PrintJson(QJsonObject{
            {"records", records}, {"file", dataFile}, {"published", !args.flag("keep-old")}});
    else
        PrintOut(QString::number(records));
    return kExitOk;
}

int Search(const QStringList& words) {
    Args args(words, {"wav", "midi", "keep-old", "json"});
    if (!args.ok())
        return Usage(args.error());
    if (args.positional().value(0) == QStringLiteral("show"))
        return Show(args);
    return Run(args);
}

}  // namespace

TDTOOL_COMMAND("search", kUsage, Search);
