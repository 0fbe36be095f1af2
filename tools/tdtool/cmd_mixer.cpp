// tdtool mixer: every control of the mixer manager, and setting one of them.
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <vector>

#include "command.h"
#include "platform/mixer.h"
#include "tdkit/audio/mixmgr.h"

namespace {

constexpr char kUsage[] = "mixer [--json] | mixer set NAME VALUE";

enum class Kind { Pair, Level, Flag, Meter };

// One control as tdtool names it: the manager's operation without Get/Set/Level.
struct Entry {
    const char* name;
    Kind kind;
    std::function<BOOL(CMixMgr&)> valid;
    std::function<MMRESULT(CMixMgr&, std::vector<DWORD>&)> get;  // 0 on success
    std::function<MMRESULT(CMixMgr&, const std::vector<DWORD>&)> set;
};

#define TD_PAIR(name)                                                                    \
    Entry {                                                                              \
#name, Kind::Pair, [](CMixMgr& m) { return m.Is##name##ControlValid(); },              \
            [](CMixMgr& m, std::vector<DWORD>& v) {                                            \
                v.resize(2);                                                                   \
                return m.Get##name##Level(v[0], v[1]);                                         \
            },                                                                                 \
            [](CMixMgr& m, const std::vector<DWORD>& v) { return m.Set##name##Level(v[0], v[1]); } \
    }
#define TD_FLAG(name, validity)                                                        \
    Entry {                                                                            \
#name, Kind::Flag, [](CMixMgr& m) { return m.validity(); },                          \
            [](CMixMgr& m, std::vector<DWORD>& v) {                                          \
                v = {static_cast<DWORD>(m.Get##name())};                                     \
                return MMRESULT(0);                                                          \
            },                                                                               \
            [](CMixMgr& m, const std::vector<DWORD>& v) { return m.Set##name(BOOL(v[0])); } \
    }

const std::vector<Entry>& Entries() {
    static const std::vector<Entry> entries = {
        TD_PAIR(OverallPlaybackVolume),
        TD_FLAG(OverallPlaybackMute, IsOverallPlaybackMuteControlValid),
        Entry{"OverallPlaybackBass", Kind::Level,
              [](CMixMgr& m) { return m.IsOverallPlaybackBassControlValid(); },
              [](CMixMgr& m, std::vector<DWORD>& v) {
                  v.resize(1);
                  return m.GetOverallPlaybackBassLevel(v[0]);
              },
              [](CMixMgr& m, const std::vector<DWORD>& v) {
                  return m.SetOverallPlaybackBassLevel(v[0]);
              }},
        Entry{"OverallPlaybackTreble", Kind::Level,
              [](CMixMgr& m) { return m.IsOverallPlaybackTrebleControlValid(); },
              [](CMixMgr& m, std::vector<DWORD>& v) {
                  v.resize(1);
                  return m.GetOverallPlaybackTrebleLevel(v[0]);
              },
              [](CMixMgr& m, const std::vector<DWORD>& v) {
                  return m.SetOverallPlaybackTrebleLevel(v[0]);
              }},
        TD_PAIR(WaveOutPlaybackVolume),
        TD_FLAG(WaveOutPlaybackMute, IsWaveOutPlaybackMuteControlValid),
        Entry{"WaveOutPlaybackMeter", Kind::Meter,
              [](CMixMgr& m) { return m.IsWaveOutPlaybackVUMeterValid(); },
              [](CMixMgr& m, std::vector<DWORD>& v) {
                  int32_t l = 0, r = 0;
                  const MMRESULT res = m.GetWaveOutPlaybackMeterValue(l, r);
                  v = {DWORD(l), DWORD(r)};
                  return res;
              },
              nullptr},
        TD_PAIR(SynthPlaybackVolume),
        TD_FLAG(SynthPlaybackMute, IsSynthPlaybackMuteControlValid),
        TD_PAIR(CDPlaybackVolume),
        TD_FLAG(CDPlaybackMute, IsCDPlaybackMuteControlValid),
        Entry{"MicRecordVolume", Kind::Level,
              [](CMixMgr& m) { return m.IsMicRecordVolumeControlValid(); },
              [](CMixMgr& m, std::vector<DWORD>& v) {
                  v.resize(1);
                  DWORD unused = 0;
                  return m.GetMicRecordVolumeLevel(v[0], unused);
              },
              [](CMixMgr& m, const std::vector<DWORD>& v) {
                  return m.SetMicRecordVolumeLevel(v[0]);
              }},
        TD_FLAG(MicRecordMute, IsMicRecordMuteControlValid),
        TD_FLAG(MicRecordAGC, IsMicRecordAGCControlValid),
        Entry{"MicRecordMeter", Kind::Meter, [](CMixMgr& m) { return m.IsMicRecordVUMeterValid(); },
              [](CMixMgr& m, std::vector<DWORD>& v) {
                  int32_t l = 0, r = 0;
                  const MMRESULT res = m.GetMicRecordMeterValue(l, r);
                  v = {DWORD(l), DWORD(r)};
                  return res;
              },
              nullptr},
        TD_PAIR(OverallRecordVolume),
    };
    return entries;
}
#undef TD_PAIR
#undef TD_FLAG

const Entry* Find(const QString& name) {
    for (const Entry& e : Entries())
        if (name.compare(QLatin1StringView(e.name), Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

QString ValueText(const Entry& e, const std::vector<DWORD>& v) {
    if (e.kind == Kind::Meter)
        return QStringLiteral("%1,%2").arg(int32_t(v[0])).arg(int32_t(v[1]));
    if (e.kind == Kind::Pair)
        return QStringLiteral("%1,%2").arg(v[0]).arg(v[1]);
    return QString::number(v[0]);
}

QJsonValue ValueJson(const Entry& e, const std::vector<DWORD>& v) {
    switch (e.kind) {
        case Kind::Pair:
            return QJsonArray{qint64(v[0]), qint64(v[1])};
        case Kind::Meter:
            return QJsonArray{int32_t(v[0]), int32_t(v[1])};
        case Kind::Flag:
            return v[0] != 0;
        case Kind::Level:
            break;
    }
    return qint64(v[0]);
}

// A level 0..65535.
bool ParseLevel(const QString& text, DWORD* level) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value > 0xFFFF)
        return false;
    *level = value;
    return true;
}

// The value words for the control; an empty result means the words do not fit.
std::vector<DWORD> ParseValue(const Entry& e, const QString& text) {
    if (e.kind == Kind::Flag) {
        if (text == u"0")
            return {0};
        if (text == u"1")
            return {1};
        return {};
    }
    const QStringList parts = text.split(u',');
    DWORD left = 0, right = 0;
    if (e.kind == Kind::Level) {
        if (parts.size() != 1 || !ParseLevel(parts[0], &left))
            return {};
        return {left};
    }
    if (parts.size() > 2 || !ParseLevel(parts[0], &left))
        return {};
    right = left;
    if (parts.size() == 2 && !ParseLevel(parts[1], &right))
        return {};
    return {left, right};
}

int Show(CMixMgr& mgr, bool json) {
    MIXERCAPS caps{};
    const bool haveMixer = MixerGetDevCaps(0, &caps, sizeof caps) == MMSYSERR_NOERROR;
    const QString backend = QString::fromLatin1(MixerBackendName(ChosenMixerBackend()));
    const QString name =
        QString::fromUtf8(caps.szPname, qsizetype(strnlen(caps.szPname, sizeof caps.szPname)));
    const QString version = QStringLiteral("%1.%2")
                                .arg(caps.vDriverVersion >> 8 & 0xFF, 0, 16)
                                .arg(caps.vDriverVersion & 0xFF, 0, 16)
                                .toUpper();
    QJsonObject controls;
    QStringList lines;
    lines
        << (haveMixer
                ? QStringLiteral("device: %1 (version %2, %3 backend)").arg(name, version, backend)
                : QStringLiteral("device: no mixer (%1 backend)").arg(backend));
    for (const Entry& e : Entries()) {
        std::vector<DWORD> v;
        const bool valid = e.valid(mgr) != 0;
        const bool read = valid && e.get(mgr, v) == MMSYSERR_NOERROR;
        controls[QLatin1StringView(e.name)] =
            QJsonObject{{"valid", valid}, {"value", read ? ValueJson(e, v) : QJsonValue()}};
        lines << QStringLiteral("%1: %2").arg(QLatin1StringView(e.name),
                                              !valid ? QStringLiteral("not available")
                                              : read ? ValueText(e, v)
                                                     : QStringLiteral("cannot be read"));
    }
    if (json) {
        QJsonObject device;
        device[QStringLiteral("backend")] = backend;
        if (haveMixer) {
            device[QStringLiteral("name")] = name;
            device[QStringLiteral("version")] = version;
        }
        PrintJson(QJsonObject{{"device", device}, {"controls", controls}});
    } else {
        for (const QString& line : lines)
            PrintOut(line);
    }
    return kExitOk;
}

int Set(CMixMgr& mgr, const QString& name, const QString& text) {
    const Entry* e = Find(name);
    if (!e)
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("no control named '%1'").arg(name));
    if (e->kind == Kind::Meter)
        return UsageError(
            QString::fromLatin1(kUsage),
            QStringLiteral("%1 is a meter and cannot be set").arg(QLatin1StringView(e->name)));
    const std::vector<DWORD> value = ParseValue(*e, text);
    if (value.empty()) {
        const QString want = e->kind == Kind::Flag ? QStringLiteral("0 or 1")
                             : e->kind == Kind::Level
                                 ? QStringLiteral("a level from 0 to 65535")
                                 : QStringLiteral("a level from 0 to 65535, or LEFT,RIGHT");
        return UsageError(
            QString::fromLatin1(kUsage),
            QStringLiteral("%1 takes %2, not '%3'").arg(QLatin1StringView(e->name), want, text));
    }
    if (!e->valid(mgr)) {
        PrintErr(
            QStringLiteral("%1 is not available on this mixer").arg(QLatin1StringView(e->name)));
        return kExitFailed;
    }
    if (const MMRESULT r = e->set(mgr, value); r != MMSYSERR_NOERROR) {
        PrintErr(QStringLiteral("could not set %1 (mixer error %2)")
                     .arg(QLatin1StringView(e->name))
                     .arg(r));
        return kExitFailed;
    }
    std::vector<DWORD> now;
    if (e->get(mgr, now) == MMSYSERR_NOERROR)
        PrintOut(QStringLiteral("%1: %2").arg(QLatin1StringView(e->name), ValueText(*e, now)));
    return kExitOk;
}

int RunMixer(const QStringList& words) {
    const Args args(words, {QStringLiteral("json")});
    if (!args.ok())
        return UsageError(QString::fromLatin1(kUsage), args.error());
    if (const QStringList bad = args.unknown({QStringLiteral("json")}); !bad.isEmpty())
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("unknown option --%1").arg(bad[0]));
    const QStringList& pos = args.positional();
    const bool setting = !pos.isEmpty() && pos[0] == u"set";
    if (!pos.isEmpty() && !setting)
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("unknown mixer command '%1'").arg(pos[0]));
    if (setting && pos.size() != 3)
        return UsageError(QString::fromLatin1(kUsage),
                          QStringLiteral("mixer set needs a NAME and a VALUE"));

    QObject owner;
    CMixMgr mgr;
    if (!mgr.Start(&owner)) {
        PrintErr(QStringLiteral("the mixer manager could not start"));
        return kExitFailed;
    }
    return setting ? Set(mgr, pos[1], pos[2]) : Show(mgr, args.flag(QStringLiteral("json")));
}

}  // namespace

TDTOOL_COMMAND("mixer", "mixer [--json] | mixer set NAME VALUE", RunMixer);
