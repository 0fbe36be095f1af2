// tdtool info and note: the metadata chunks of a WAV or RMI file.
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "command.h"
#include "tdkit/audio/acm.h"
#include "tdkit/audio/riffinfo.h"

namespace {

// Large enough for any description a person writes; a file may hold a longer one, so the
// reader's buffer grows with the file up to this bound.
constexpr qint64 kLargestDescriptionBuffer = 64 << 20;

UINT DescriptionBufferFor(const QString& path) {
    const qint64 size = QFileInfo(path).size();
    return static_cast<UINT>(
        std::clamp<qint64>(size + 1, kDescriptionBufferSize, kLargestDescriptionBuffer));
}

// Why a chunk function failed, for the user.
QString Reason(const QString& path) {
    return QStringLiteral("%1: %2").arg(path,
                                        QString::fromLatin1(ChunkErrorText(LastChunkError())));
}

QString FromBytes(const char* text) {
    return text ? QString::fromLocal8Bit(text) : QString();
}

QJsonValue Text(const char* text) {
    return text ? QJsonValue(FromBytes(text)) : QJsonValue();
}

// A list of strings ended by an empty one.
QJsonValue List(const char* list) {
    if (!list)
        return QJsonValue();
    QJsonArray items;
    for (const char* p = list; *p; p += std::strlen(p) + 1)
        items.append(FromBytes(p));
    return items;
}

// Named values in the order of their record, for text output; JSON sorts its keys.
struct Field {
    QString name;
    QJsonValue value;
    std::vector<Field> fields;  // a nested record when not empty
};
using Fields = std::vector<Field>;

QJsonObject ToJson(const Fields& fields) {
    QJsonObject object;
    for (const Field& f : fields)
        object[f.name] = f.fields.empty() ? f.value : ToJson(f.fields);
    return object;
}

void PrintFields(const Fields& fields, const QString& prefix) {
    for (const Field& f : fields) {
        const QString name = prefix + f.name;
        const QJsonValue& v = f.value;
        if (!f.fields.empty()) {
            PrintFields(f.fields, name + u'.');
        } else if (v.isArray()) {
            QStringList parts;
            for (const QJsonValue& e : v.toArray())
                parts << u'"' + e.toString() + u'"';
            PrintOut(name + QStringLiteral(": [") + parts.join(QStringLiteral(", ")) + u']');
        } else if (v.isString()) {
            PrintOut(name + QStringLiteral(": \"") + v.toString() + u'"');
        } else if (v.isNull()) {
            PrintOut(name + QStringLiteral(": (none)"));
        } else {
            PrintOut(name + QStringLiteral(": ") + QString::number(v.toInteger()));
        }
    }
}

Fields NoteFields(const ECHOMEMOSTRUCT& m) {
    return {{"played", m.played, {}},
            {"frequency", m.frequency, {}},
            {"lastPlayed", static_cast<qint64>(m.lastPlayed), {}},
            {"onceTime", m.onceTime, {}},
            {"onceMonth", m.onceMonth, {}},
            {"onceDay", m.onceDay, {}},
            {"onceYear", m.onceYear, {}},
            {"hourlyTime", m.hourlyTime, {}},
            {"dailyTime", m.dailyTime, {}},
            {"dailyDays", m.dailyDays, {}},
            {"weeklyTime", m.weeklyTime, {}},
            {"weeklyDay", m.weeklyDay, {}},
            {"monthlyTime", m.monthlyTime, {}},
            {"monthlyDay", m.monthlyDay, {}},
            {"yearlyTime", m.yearlyTime, {}},
            {"yearlyMonth", m.yearlyMonth, {}},
            {"yearlyDay", m.yearlyDay, {}},
            {"notify", m.notify, {}}};
}

Fields MailFields(const VOICEGRAMINFOSTRUCT& v) {
    return {{"text1", Text(v.text1), {}},
            {"value2", static_cast<qint64>(v.value2), {}},
            {"text3", Text(v.text3), {}},
            {"text4", Text(v.text4), {}},
            {"text5", Text(v.text5), {}},
            {"text6", Text(v.text6), {}},
            {"list7", List(v.list7), {}},
            {"list8", List(v.list8), {}},
            {"heard", static_cast<qint64>(v.heard), {}}};
}

// The fields of one file, or false (after saying why) when it cannot be read.
bool InfoFields(const QString& path, Fields& fields) {
    SOUNDFILETYPE soundType;
    if (!GetSoundFileType(path, soundType)) {
        const ChunkError e = LastChunkError();
        if (e == ChunkError::NoForm || e == ChunkError::Read)
            PrintErr(QStringLiteral("%1: cannot be read as a WAV or RMI file").arg(path));
        else
            PrintErr(Reason(path));
        return false;
    }
    WAVEFILETYPE type;
    DWORD seconds = 0;
    const UINT bufferSize = DescriptionBufferFor(path);
    // Left unfilled: the reader writes the text and its zero, so only the pages of a long
    // description are ever touched, however large the file.
    const auto description = std::make_unique_for_overwrite<char[]>(bufferSize);
    if (!GetInfoFromRIFFFile(path, type, description.get(), bufferSize, seconds, nullptr)) {
        PrintErr(QStringLiteral("%1: its description cannot be read (%2)")
                     .arg(path, QString::fromLatin1(ChunkErrorText(LastChunkError()))));
        return false;
    }
    fields = {{"file", path, {}},
              {"form", soundType == SOUNDFILETYPE_WAV ? "WAVE" : "RMID", {}},
              {"soundFileType", soundType, {}},
              {"type", type, {}},
              {"description", FromBytes(description.get()), {}},
              {"seconds", static_cast<qint64>(seconds), {}}};
    if (soundType == SOUNDFILETYPE_WAV) {
        if (const CACMFormatPtr format = CACM::GetFormatFromFile(path))
            fields.push_back({"format",
                              {},
                              {{"tag", format->wFormatTag, {}},
                               {"name", acmFormatTagName(format->wFormatTag), {}},
                               {"channels", format->nChannels, {}},
                               {"rate", static_cast<qint64>(format->nSamplesPerSec), {}},
                               {"bits", format->wBitsPerSample, {}}}});
    }

    ECHOMEMOSTRUCT note;
    if (GetNoteInfoFromRIFFFile(path, type, description.get(), bufferSize, seconds, &note,
                                soundType))
        fields.push_back({"NOTE", {}, NoteFields(note)});
    VOICEGRAMINFOSTRUCT mail{};
    DWORD ignored;
    if (GetInfoFromRIFFFile(path, type, description.get(), bufferSize, ignored, &mail)) {
        fields.push_back({"MAIL", {}, MailFields(mail)});
        FreeVoicegramInfo(&mail);
    }
    QString to, cc, subject, noteText;
    if (GetAOLSendMailInfoFromRIFFFile(path, to, cc, subject, noteText))
        fields.push_back({"AOL",
                          {},
                          {{"to", to, {}},
                           {"cc", cc, {}},
                           {"subject", subject, {}},
                           {"noteText", noteText, {}}}});
    return true;
}

// One file: its fields (a JSON object). Several: each file's fields in turn, a blank line
// between them (a JSON array of the objects of the files that could be read). Files that
// cannot be read are named on stderr, the others still listed, and the exit code is 1.
int Info(const QStringList& words) {
    const QString usage = QStringLiteral("info FILE... [--json]");
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(usage, args.error());
    if (!args.unknown({"json"}).isEmpty() || args.positional().isEmpty())
        return UsageError(usage, QStringLiteral("info takes one or more files"));
    const QStringList& paths = args.positional();
    const bool json = args.flag("json");

    int result = kExitOk;
    QJsonArray all;
    bool first = true;
    for (const QString& path : paths) {
        Fields fields;
        if (!InfoFields(path, fields)) {
            result = kExitFailed;
            continue;
        }
        if (json) {
            all.append(ToJson(fields));
            continue;
        }
        if (!first)
            PrintOut(QString());
        first = false;
        PrintFields(fields, QString());
    }
    if (json) {
        if (paths.size() == 1) {
            if (!all.isEmpty())
                PrintJson(all.first().toObject());
        } else {
            PrintJson(all);
        }
    }
    return result;
}

// A schedule field of the memo record, its allowed range and where it goes.
struct NoteField {
    const char* name;
    qint64 low;
    qint64 high;
    void (*set)(ECHOMEMOSTRUCT&, qint64);
};

#define TD_FIELD(field, low, high)                                                            \
    {                                                                                         \
#field, low, high,                                                                    \
            [](ECHOMEMOSTRUCT & m, qint64 v) { m.field = static_cast<decltype(m.field)>(v); } \
    }

const NoteField kNoteFields[] = {
    TD_FIELD(played, 0, 1),
    TD_FIELD(frequency, 0, 6),
    TD_FIELD(lastPlayed, 0, std::numeric_limits<uint32_t>::max()),
    TD_FIELD(onceTime, 0, 86399),
    TD_FIELD(onceMonth, 1, 12),
    TD_FIELD(onceDay, 1, 31),
    TD_FIELD(onceYear, 1970, 9999),
    TD_FIELD(hourlyTime, 0, 3599),
    TD_FIELD(dailyTime, 0, 86399),
    TD_FIELD(dailyDays, 0, 127),
    TD_FIELD(weeklyTime, 0, 86399),
    TD_FIELD(weeklyDay, 1, 7),
    TD_FIELD(monthlyTime, 0, 86399),
    TD_FIELD(monthlyDay, 1, 65535),  // above 31: the last day of the month
    TD_FIELD(yearlyTime, 0, 86399),
    TD_FIELD(yearlyMonth, 1, 12),
    TD_FIELD(yearlyDay, 1, 31),
    TD_FIELD(notify, 0, 1),
};

#undef TD_FIELD

const char* const kFrequencyNames[] = {"user",   "once",    "hourly", "daily",
                                       "weekly", "monthly", "yearly"};

int Note(const QStringList& words) {
    const QString usage = QStringLiteral(
        "note FILE --type N --desc TEXT [--frequency F] [--dailyTime S --dailyDays D ...] "
        "[--notify 0|1] [--rmi]");
    Args args(words, {"rmi"});
    if (!args.ok())
        return UsageError(usage, args.error());
    QStringList known{"type", "desc", "rmi"};
    for (const NoteField& f : kNoteFields)
        known << QString::fromLatin1(f.name);
    if (const QStringList bad = args.unknown(known); !bad.isEmpty())
        return UsageError(usage, QStringLiteral("unknown option --%1").arg(bad.first()));
    if (args.positional().size() != 1)
        return UsageError(usage, QStringLiteral("note takes one file"));
    if (!args.value("type") || !args.value("desc"))
        return UsageError(usage, QStringLiteral("note needs --type and --desc"));
    const QString path = args.positional().first();
    const SOUNDFILETYPE soundType = args.flag("rmi") ? SOUNDFILETYPE_RMI : SOUNDFILETYPE_WAV;

    bool ok = false;
    const int type = args.value("type")->toInt(&ok);
    if (!ok)
        return UsageError(usage, QStringLiteral("--type takes a whole number"));

    // An existing schedule is the starting point; the options given change it.
    const QByteArray description = args.value("desc")->toLocal8Bit();
    if (description.contains('\0'))
        return UsageError(usage, QStringLiteral("--desc cannot hold a zero character"));
    if (static_cast<std::size_t>(description.size()) >= kDescriptionBufferSize)
        return UsageError(usage, QStringLiteral("--desc holds at most %1 bytes; this one has %2")
                                     .arg(kDescriptionBufferSize - 1)
                                     .arg(description.size()));

    ECHOMEMOSTRUCT memo{};
    {
        WAVEFILETYPE oldType;
        DWORD seconds;
        const UINT bufferSize = DescriptionBufferFor(path);
        const auto description = std::make_unique_for_overwrite<char[]>(bufferSize);
        ECHOMEMOSTRUCT old;
        if (GetNoteInfoFromRIFFFile(path, oldType, description.get(), bufferSize, seconds, &old,
                                    soundType))
            memo = old;
    }
    for (const NoteField& f : kNoteFields) {
        const auto text = args.value(QString::fromLatin1(f.name));
        if (!text)
            continue;
        qint64 v = text->toLongLong(&ok);
        if (!ok && std::strcmp(f.name, "frequency") == 0) {
            for (int i = 0; i < 7 && !ok; ++i)
                if (text->compare(QLatin1String(kFrequencyNames[i]), Qt::CaseInsensitive) == 0) {
                    v = i;
                    ok = true;
                }
        }
        if (!ok || v < f.low || v > f.high)
            return UsageError(usage, QStringLiteral("--%1 takes a number from %2 to %3")
                                         .arg(QString::fromLatin1(f.name))
                                         .arg(f.low)
                                         .arg(f.high));
        f.set(memo, v);
    }

    if (!AddNoteInfoToRIFFFile(path, static_cast<WAVEFILETYPE>(type), description.constData(),
                               &memo, soundType)) {
        if (LastChunkError() == ChunkError::NoForm)
            PrintErr(QStringLiteral("%1: the memo information could not be written: it is not a "
                                    "%2 file")
                         .arg(path, soundType == SOUNDFILETYPE_WAV ? "WAV" : "RMI"));
        else
            PrintErr(QStringLiteral("%1: the memo information could not be written: %2")
                         .arg(path, QString::fromLatin1(ChunkErrorText(LastChunkError()))));
        return kExitFailed;
    }
    return kExitOk;
}

TDTOOL_COMMAND("info", "info FILE... [--json]", Info);
TDTOOL_COMMAND("note",
               "note FILE --type N --desc TEXT [--frequency F] [--<schedule field> N ...] "
               "[--notify 0|1] [--rmi]",
               Note);

}  // namespace
