// tdtool memo: the Echo Memo list, the next playing time of a memo, playing a memo, and
// the bar's once-a-minute player pass for a machine without the bar.
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include <memory>

#include "command.h"
#include "platform/message.h"
#include "platform/regularfile.h"
#include "platform/tempfile.h"
#include "tdkit/audio/players.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"
#include "tdmemo/memolist.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/memoplayer.h"
#include "tdmemo/schedule.h"

namespace {

constexpr char kUsage[] =
    "memo next FILE [--now \"YYYY-MM-DD HH:MM:SS\"] [--json] | memo list [FILE] [--json] | "
    "memo play FILE [--json] | memo run --minutes N [--now \"YYYY-MM-DD HH:MM:SS\"] [--json]";

// How long playback may run past a memo's own length before it counts as stuck, and the
// bound for a MIDI memo, whose length is not recorded.
constexpr int kPlayGraceMs = 15000;
constexpr int kMidiPlayBoundMs = 15 * 60 * 1000;

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
    QString why;
    if (!OpenRegularFile(file, QIODevice::ReadOnly, &why)) {
        PrintErr(QStringLiteral("cannot open %1: %2").arg(fileName, why));
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
                                 soundType, LongDescription::Cut)) {
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

SOUNDFILETYPE SoundTypeOf(const QString& path) {
    return path.endsWith(QStringLiteral(".rmi"), Qt::CaseInsensitive) ? SOUNDFILETYPE_RMI
                                                                      : SOUNDFILETYPE_WAV;
}

// Plays one file through the configured device (WAV through wave-out, RMI through the
// synthesiser) and waits in the event loop for the player's end report, no longer than
// the bound. Returns an empty text when the file played to its end, else why not.
class MemoSpeaker : public QObject, public MessageReceiver {
public:
    MemoSpeaker() : MessageReceiver(this) {
        OnMessage(MM_PLAYDONE, [this](WPARAM toEnd, LPARAM) {
            ended_ = true;
            toEnd_ = toEnd != 0;
            loop_.quit();
            return LRESULT(0);
        });
    }

    QString Play(const QString& path, SOUNDFILETYPE type, DWORD seconds) {
        std::unique_ptr<IFilePlayer> player;
        if (type == SOUNDFILETYPE_RMI)
            player = std::make_unique<CMidiOut>(this);
        else
            player = std::make_unique<CMCIWaveOut>(this);
        ended_ = toEnd_ = false;
        if (!player->Play(path))
            return QStringLiteral("cannot play %1: the file or the sound device is not usable")
                .arg(path);
        const int bound = type == SOUNDFILETYPE_RMI
                              ? kMidiPlayBoundMs
                              : static_cast<int>(std::min<qint64>(
                                    qint64(seconds) * 1000 + kPlayGraceMs, kMidiPlayBoundMs));
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop_, &QEventLoop::quit);
        deadline.start(bound);
        if (!ended_)
            loop_.exec();
        player->StopPlay();
        if (!ended_)
            return QStringLiteral("%1: the sound device stopped taking audio").arg(path);
        if (!toEnd_)
            return QStringLiteral("%1: playback was cut short").arg(path);
        return {};
    }

private:
    QEventLoop loop_;
    bool ended_ = false;
    bool toEnd_ = false;
};

// A memo file's description and length, read under the list's lock (the player rewrites
// memo files while it holds it). 1 failed (message printed), 0 read.
int ReadMemoFile(const QString& path, QString* description, DWORD* seconds) {
    CMemoListLock lock(kMemoLockShortWait);
    if (!lock.IsHeld()) {
        PrintErr(QStringLiteral("the memo list is busy; try again"));
        return kExitFailed;
    }
    WAVEFILETYPE type;
    char text[kMemoListTextSize] = {};
    ECHOMEMOSTRUCT memo{};
    if (!QFileInfo::exists(path) ||
        !GetNoteInfoFromRIFFFile(path, type, text, sizeof text, *seconds, &memo, SoundTypeOf(path),
                                 LongDescription::Cut)) {
        PrintErr(QStringLiteral("%1 is not an Echo Memo (no readable schedule)").arg(path));
        return kExitFailed;
    }
    *description = QString::fromLocal8Bit(text, static_cast<qsizetype>(strnlen(text, sizeof text)));
    return kExitOk;
}

int Play(const Args& args) {
    if (args.positional().size() != 2 || !args.unknown({"json"}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("memo play needs one FILE"));
    const QString path = args.positional()[1];
    QString description;
    DWORD seconds = 0;
    if (ReadMemoFile(path, &description, &seconds) != kExitOk)
        return kExitFailed;
    MemoSpeaker speaker;
    if (const QString error = speaker.Play(path, SoundTypeOf(path), seconds); !error.isEmpty()) {
        PrintErr(error);
        return kExitFailed;
    }
    if (args.flag("json"))
        PrintJson(QJsonObject{{"file", path}, {"description", description}, {"played", true}});
    else
        PrintOut(QStringLiteral("played %1 (%2)").arg(path, description));
    return kExitOk;
}

// "Hold All Scheduled Playback" of the user's settings; off when there are none.
bool HoldAllSet() {
    QString settingsPath;
    PROPERTIES properties{};
    return GetTonedeckPropertiesFilePath(settingsPath) &&
           ReadPropertiesFile(settingsPath, &properties) && properties.EchoMemosProps.bHoldAll;
}

// One pass of the player at now, as the bar runs it each minute: the due memos are marked
// under the list's lock, then played one after the other once the lock is let go.
// False when the list could not be read.
bool RunPass(const QString& listPath, time_t now, time_t* earliest, QJsonArray* report) {
    std::vector<PlayedMemo> played;
    {
        CMemoListLock lock(kMemoLockBuildWait);
        if (!lock.IsHeld()) {
            PrintErr(QStringLiteral("the memo list is busy; the pass is skipped"));
            return false;
        }
        if (now < *earliest)
            return true;
        QFile file(listPath);
        QString why;
        if (!OpenRegularFile(file, QIODevice::ReadWrite | QIODevice::ExistingOnly, &why)) {
            PrintErr(QStringLiteral("cannot open %1: %2").arg(listPath, why));
            return false;
        }
        MemoPassHooks hooks;
        hooks.holdAll = HoldAllSet;
        hooks.played = [&played](const PlayedMemo& memo) { played.push_back(memo); };
        const MemoPassResult pass = RunMemoPlayerPass(&file, now, hooks);
        const bool flushed = file.flush();
        *earliest = pass.complete && flushed ? pass.earliest : now;
        if (pass.held) {
            PrintOut(QStringLiteral("held: \"Hold All Scheduled Playback\" is set"));
            return true;
        }
        if (!flushed) {
            PrintErr(QStringLiteral("cannot write %1: %2").arg(listPath, file.errorString()));
            return false;
        }
    }
    MemoSpeaker speaker;
    for (const PlayedMemo& memo : played) {
        // Switched on while the memos before played: the rest stay quiet.
        if (HoldAllSet())
            break;
        const QString path = MemoListPath(memo.entry);
        const QString error = speaker.Play(path, static_cast<SOUNDFILETYPE>(memo.entry.fileType),
                                           static_cast<DWORD>(std::max(0, memo.entry.length)));
        if (!error.isEmpty())
            PrintErr(error);
        report->append(QJsonObject{{"path", path},
                                   {"description", MemoListDescription(memo.entry)},
                                   {"played", error.isEmpty()},
                                   {"nextTime", static_cast<qint64>(memo.entry.nextTime)},
                                   {"nextTimeLocal", LocalText(memo.entry.nextTime)}});
    }
    return true;
}

int Run(const Args& args) {
    if (args.positional().size() != 1 || !args.unknown({"json", "minutes", "now"}).isEmpty())
        return UsageError(QString::fromLatin1(kUsage), QStringLiteral("unexpected arguments"));
    bool ok = false;
    const int minutes = args.value("minutes").value_or(QString()).toInt(&ok);
    if (!ok || minutes < 0 || minutes > 7 * 24 * 60)
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("--minutes wants a number of minutes from 0 to 10080"));
    std::optional<time_t> fixedNow;
    if (const auto text = args.value("now")) {
        time_t t = 0;
        if (!ParseLocal(*text, &t) || minutes != 0)
            return UsageError(QString::fromLatin1(kUsage),
                              QStringLiteral("--now wants a local time \"YYYY-MM-DD HH:MM:SS\" "
                                             "and --minutes 0"));
        fixedNow = t;
    }
    QString listPath;
    if (!GetEchoMemosListFilePath(listPath)) {
        PrintErr(
            QStringLiteral("no memo list: Tonedeck is not set up for a user (try 'tdtool setup')"));
        return kExitFailed;
    }
    // One pass now, then one at each full minute of the wall clock until the minutes
    // have run out, as the bar does. The earliest time found spares the passes before it.
    time_t earliest = 0;
    QJsonArray report;
    bool failed = !RunPass(listPath, fixedNow.value_or(std::time(nullptr)), &earliest, &report);
    const QDateTime end = QDateTime::currentDateTimeUtc().addSecs(qint64(minutes) * 60);
    for (;;) {
        const QDateTime current = QDateTime::currentDateTimeUtc();
        const qint64 toMinute = 60000 - (current.toMSecsSinceEpoch() % 60000);
        if (current.addMSecs(toMinute) > end)
            break;
        QEventLoop wait;
        QTimer::singleShot(static_cast<int>(toMinute), &wait, &QEventLoop::quit);
        wait.exec();
        failed = !RunPass(listPath, std::time(nullptr), &earliest, &report) || failed;
    }
    if (args.flag("json")) {
        PrintJson(report);
    } else {
        for (const QJsonValue& v : report) {
            const QJsonObject o = v.toObject();
            PrintOut(QStringLiteral("%1: %2 (%3), next %4")
                         .arg(o["played"].toBool() ? QStringLiteral("played")
                                                   : QStringLiteral("not played"),
                              o["path"].toString(), o["description"].toString(),
                              o["nextTimeLocal"].toString()));
        }
    }
    return failed ? kExitFailed : kExitOk;
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
    if (verb == QStringLiteral("play"))
        return Play(args);
    if (verb == QStringLiteral("run"))
        return Run(args);
    return UsageError(QString::fromLatin1(kUsage),
                      verb.isEmpty() ? QStringLiteral("memo needs list, next, play or run")
                                     : QStringLiteral("unknown memo command '%1'").arg(verb));
}

}  // namespace

TDTOOL_COMMAND("memo", kUsage, Memo);
