// tdtool memo: the Echo Memo list and the next playing time of a memo.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <ctime>
#include <vector>

#include "command.h"
#include "platform/tempfile.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/paths.h"
#include "tdmemo/memolist.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/schedule.h"

namespace {

constexpr char kUsage[] =
    "memo next FILE [--now \"YYYY-MM-DD HH:MM:SS\"] [--json] | memo list [FILE] [--json]";

QString LocalText(time_t t) {
    tm fields{};
    localtime_r(&t, &fields);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    return QString::fromLatin1(text);
}

QJsonObject MemoJson(const ECHOMEMOSTRUCT& m) {
    return {{"played", m.played},
            {"frequency", m.frequency},
            {"lastPlayed", static_cast<qint64>(m.lastPlayed)},
            {"onceTime", m.onceTime},
            {"onceMonth", m.onceMonth},
            {"onceDay", m.onceDay},
            {"onceYear", m.onceYear},
            {"hourlyTime", m.hourlyTime},
            {"dailyTime", m.dailyTime},
            {"dailyDays", m.dailyDays},
            {"weeklyTime", m.weeklyTime},
            {"weeklyDay", m.weeklyDay},
            {"monthlyTime", m.monthlyTime},
            {"monthlyDay", m.monthlyDay},
            {"yearlyTime", m.yearlyTime},
            {"yearlyMonth", m.yearlyMonth},
            {"yearlyDay", m.yearlyDay},
            {"notify", m.notify}};
}

// The record's fields in their stored order, each with its value as text.
std::vector<std::pair<QString, QString>> RecordFields(const ECHOMEMOLISTENTRY& e) {
    const ECHOMEMOSTRUCT& m = e.memo;
    const auto n = [](qint64 v) { return QString::number(v); };
    return {{"path", u'"' + MemoListPath(e) + u'"'},
            {"description", u'"' + MemoListDescription(e) + u'"'},
            {"length", n(e.length)},
            {"memo.played", n(m.played)},
            {"memo.frequency", n(m.frequency)},
            {"memo.lastPlayed", n(m.lastPlayed)},
            {"memo.onceTime", n(m.onceTime)},
            {"memo.onceMonth", n(m.onceMonth)},
            {"memo.onceDay", n(m.onceDay)},
            {"memo.onceYear", n(m.onceYear)},
            {"memo.hourlyTime", n(m.hourlyTime)},
            {"memo.dailyTime", n(m.dailyTime)},
            {"memo.dailyDays", n(m.dailyDays)},
            {"memo.weeklyTime", n(m.weeklyTime)},
            {"memo.weeklyDay", n(m.weeklyDay)},
            {"memo.monthlyTime", n(m.monthlyTime)},
            {"memo.monthlyDay", n(m.monthlyDay)},
            {"memo.yearlyTime", n(m.yearlyTime)},
            {"memo.yearlyMonth", n(m.yearlyMonth)},
            {"memo.yearlyDay", n(m.yearlyDay)},
            {"memo.notify", n(m.notify)},
            {"nextTime", QStringLiteral("%1 (%2)").arg(e.nextTime).arg(LocalText(e.nextTime))},
            {"fileType", n(e.fileType)}};
}

int List(const Args& args) {
    if (args.positional().size() > 2 || !args.unknown({"json"}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("unexpected arguments"));
    QString fileName;
    if (args.positional().size() == 2) {
        fileName = args.positional()[1];
    } else if (!GetEchoMemosListFilePath(fileName)) {
        PrintErr(
            QStringLiteral("no memo list: Tonedeck is not set up for a user (try 'tdtool setup')"));
        return kExitFailed;
    }
    // The bar's threads rewrite the list; read it while they are kept out.
    CMemoListLock lock(kMemoLockShortWait);
    if (!lock.IsHeld()) {
        // A lock that cannot be had because its folder is refused is no busy list.
        const QString problem = PrivateDirectoryProblem();
        PrintErr(problem.isEmpty() ? QStringLiteral("the memo list is busy; try again") : problem);
        return kExitFailed;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintErr(QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString()));
        return kExitFailed;
    }
    // One record at a time, printed as it is read: a list of any length costs the memory
    // of one record.
    const bool json = args.flag("json");
    const qint64 count = MemoListRecordCount(file.size());
    bool first = true;
    if (json)
        std::fputs("[\n", stdout);
    for (qint64 i = 0; i < count; ++i) {
        ECHOMEMOLISTENTRY e;
        if (!ReadMemoListRecord(&file, i, &e)) {
            if (json)
                std::fputs("\n]\n", stdout);
            PrintErr(QStringLiteral("cannot read record %1 of %2").arg(i).arg(fileName));
            return kExitFailed;
        }
        if (!HasMemoListPath(e))
            continue;
        if (!json) {
            for (const auto& [name, value] : RecordFields(e))
                PrintOut(QStringLiteral("%1.%2: %3").arg(i).arg(name, value));
            continue;
        }
        const QJsonObject object{{"index", i},
                                 {"path", MemoListPath(e)},
                                 {"description", MemoListDescription(e)},
                                 {"length", e.length},
                                 {"memo", MemoJson(e.memo)},
                                 {"nextTime", static_cast<qint64>(e.nextTime)},
                                 {"nextTimeLocal", LocalText(e.nextTime)},
                                 {"fileType", e.fileType}};
        // As an element of an indented array: each line four spaces in, commas between.
        const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
        if (!first)
            std::fputs(",\n", stdout);
        first = false;
        for (const QByteArray& line : text.split('\n')) {
            if (line.isEmpty())
                continue;
            if (line.front() != '{')
                std::fputc('\n', stdout);
            std::fputs("    ", stdout);
            std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        }
    }
    if (json)
        std::fputs(first ? "]\n" : "\n]\n", stdout);
    return kExitOk;
}

// "YYYY-MM-DD HH:MM:SS" as local time; false when it is not one.
bool ParseLocal(const QString& text, time_t* t) {
    int y, mo, d, h, mi, s;
    char end;
    if (sscanf(text.toLatin1().constData(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s,
               &end) != 6 ||
        y < 1970 || y > 2037 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 ||
        mi > 59 || s < 0 || s > 59)
        return false;
    *t = MakeLocalTime(y, mo, d, h, mi, s);
    return *t != -1;
}

int Next(const Args& args) {
    if (args.positional().size() != 2 || !args.unknown({"json", "now"}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("memo next needs one FILE"));
    time_t now = std::time(nullptr);
    if (const auto text = args.value("now"); text && !ParseLocal(*text, &now))
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("--now wants a local time as \"YYYY-MM-DD HH:MM:SS\""));
    const QString path = args.positional()[1];
    const SOUNDFILETYPE soundType = path.endsWith(QStringLiteral(".rmi"), Qt::CaseInsensitive)
                                        ? SOUNDFILETYPE_RMI
                                        : SOUNDFILETYPE_WAV;
    WAVEFILETYPE type;
    char description[kMemoListTextSize] = {};
    DWORD seconds = 0;
    ECHOMEMOSTRUCT memo{};
    if (!GetNoteInfoFromRIFFFile(path, type, description, sizeof description, seconds, &memo,
                                 soundType)) {
        PrintErr(QStringLiteral("%1 is not an Echo Memo (no readable schedule)").arg(path));
        return kExitFailed;
    }
    // As the memo list would record it: a played "Once" memo is not due again.
    int scheduled = 0;
    const time_t next = ListEntryNextTime(memo, now, &scheduled);
    if (args.flag("json")) {
        PrintJson(QJsonObject{{"file", path},
                              {"next", LocalText(next)},
                              {"seconds", static_cast<qint64>(next)},
                              {"scheduled", scheduled},
                              {"memo", MemoJson(memo)}});
    } else {
        PrintOut(QStringLiteral("next: %1").arg(LocalText(next)));
        PrintOut(QStringLiteral("seconds: %1").arg(static_cast<qint64>(next)));
        PrintOut(QStringLiteral("scheduled: %1").arg(scheduled));
    }
    return kExitOk;
}

int Memo(const QStringList& words) {
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(QString::fromLatin1(kUsage), args.error());
    const QString verb = args.positional().value(0);
    if (verb == QStringLiteral("list"))
        return List(args);
    if (verb == QStringLiteral("next"))
        return Next(args);
    return UsageError(QString::fromLatin1(kUsage),
                      verb.isEmpty() ? QStringLiteral("memo needs list or next")
                                     : QStringLiteral("unknown memo command '%1'").arg(verb));
}

}  // namespace

TDTOOL_COMMAND("memo", kUsage, Memo);
