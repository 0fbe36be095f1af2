// tdtool setup, paths and props: the installation, the path functions and settings files.
#include <QJsonArray>
#include <QJsonObject>

#include <cstring>

#include <limits>

#include "command.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"

namespace {

// A fixed text field as a string: up to its first NUL, never past the field.
template <std::size_t N>
QString Text(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, N)));
}

template <typename T, std::size_t N>
QJsonArray Array(const T (&values)[N]) {
    QJsonArray a;
    for (const T& v : values)
        a.append(static_cast<qint64>(v));
    return a;
}

QJsonObject RecordJson(const RECORDPROPERTIES& r) {
    return {{"nMaxMinutes", r.nMaxMinutes},
            {"bAutoLevel", r.bAutoLevel},
            {"bVoiceActivated", r.bVoiceActivated},
            {"bReserved12", r.bReserved12},
            {"bStartOnOpen", r.bStartOnOpen},
            {"bCompress", r.bCompress},
            {"nQuality", r.nQuality},
            {"b24Hour", r.b24Hour}};
}

QJsonObject PropertiesJson(const PROPERTIES& p) {
    const DOCKSTATE& d = p.DockState;
    const QJsonObject dock{
        {"dwSize", static_cast<qint64>(d.dwSize)},
        {"nEdge", d.nEdge},
        {"bAutoHide", d.bAutoHide},
        {"bAlwaysOnTop", d.bAlwaysOnTop},
        {"bShowHideSound", d.bShowHideSound},
        {"bDrawerSound", d.bDrawerSound},
        {"nThickness", Array(d.nThickness)},
        {"rcFloat", QJsonArray{d.rcFloat.left, d.rcFloat.top, d.rcFloat.right, d.rcFloat.bottom}}};
    const VOXPROPERTIES& v = p.VoxProps;
    const QJsonObject vox{{"bySilenceSeconds", v.bySilenceSeconds},
                          {"dwThreshold", static_cast<qint64>(v.dwThreshold)},
                          {"byTrimSeconds", v.byTrimSeconds}};
    const MESSAGEPROPERTIES& m = p.MessageProps;
    const QJsonObject message{{"dwReserved0", Array(m.dwReserved0)},
                              {"dwReserved20", Array(m.dwReserved20)},
                              {"dwReserved40", static_cast<qint64>(m.dwReserved40)},
                              {"szText44", Text(m.szText44)},
                              {"szText304", Text(m.szText304)},
                              {"szText564", Text(m.szText564)},
                              {"szText824", Text(m.szText824)}};
    const SONOSCOUTPROPERTIES& s = p.SonoscoutProps;
    const QJsonObject sonoscout{{"bFindWAV", s.bFindWAV},
                                {"bFindMIDI", s.bFindMIDI},
                                {"bChanged", s.bChanged},
                                {"nFrequency", s.nFrequency},
                                {"bDrive", Array(s.bDrive)},
                                {"dwReserved120", static_cast<qint64>(s.dwReserved120)},
                                {"dwNextSearchTime", static_cast<qint64>(s.dwNextSearchTime)},
                                {"dwLastSearchTime", static_cast<qint64>(s.dwLastSearchTime)},
                                {"dwReserved132", static_cast<qint64>(s.dwReserved132)},
                                {"dwIntervalSeconds", static_cast<qint64>(s.dwIntervalSeconds)},
                                {"dwTimeOfDay", static_cast<qint64>(s.dwTimeOfDay)},
                                {"wDays", s.wDays}};
    const ECHOMEMOSPROPERTIES& e = p.EchoMemosProps;
    const QJsonObject memos{{"b24Hour", e.b24Hour},
                            {"bNotify", e.bNotify},
                            {"bConfirmDelete", e.bConfirmDelete},
                            {"bHoldAll", e.bHoldAll},
                            {"bSortAscending", Array(e.bSortAscending)},
                            {"nSortColumn", e.nSortColumn}};
    const MAILPROPERTIES& ml = p.MailProps;
    const QJsonObject mail{{"bMAPI", ml.bMAPI},
                           {"bAOL", ml.bAOL},
                           {"bCompuServe", ml.bCompuServe},
                           {"szAOLScreenName", Text(ml.szAOLScreenName)},
                           {"szAOLPassword", Text(ml.szAOLPassword)},
                           {"bRememberPassword", ml.bRememberPassword},
                           {"nReserved76", ml.nReserved76},
                           {"nReserved80", ml.nReserved80}};
    return {{"DockState", dock},
            {"bShowRecorder", p.bShowRecorder},
            {"bShowSendVoicegram", p.bShowSendVoicegram},
            {"bShowVoicegramBox", p.bShowVoicegramBox},
            {"bShowCreateEchoMemo", p.bShowCreateEchoMemo},
            {"bShowSonoscout", p.bShowSonoscout},
            {"bShowEchoMemosManager", p.bShowEchoMemosManager},
            {"bReserved80", p.bReserved80},
            {"bShowExtraButton", p.bShowExtraButton},
            {"bReserved88", p.bReserved88},
            {"bShowBass", p.bShowBass},
            {"bShowTreble", p.bShowTreble},
            {"bReserved100", p.bReserved100},
            {"bShowSRS", p.bShowSRS},
            {"bSRSImage", p.bSRSImage},
            {"bSystemFaceColour", p.bSystemFaceColour},
            {"bDefaultShowHideSound", p.bDefaultShowHideSound},
            {"bDefaultDrawerSound", p.bDefaultDrawerSound},
            {"bToolTips", p.bToolTips},
            {"bShowEndBitmap", p.bShowEndBitmap},
            {"bNoMailWarningOff", p.bNoMailWarningOff},
            {"dwReserved136", static_cast<qint64>(p.dwReserved136)},
            {"nPollSeconds", p.nPollSeconds},
            {"VoxProps", vox},
            {"szShowHideSound", Text(p.szShowHideSound)},
            {"szDrawerSound", Text(p.szDrawerSound)},
            {"RecorderProps", RecordJson(p.RecorderProps)},
            {"SendVoicegramProps", RecordJson(p.SendVoicegramProps)},
            {"CreateEchoMemoProps", RecordJson(p.CreateEchoMemoProps)},
            {"MessageProps", message},
            {"SonoscoutProps", sonoscout},
            {"dwReserved1996", Array(p.dwReserved1996)},
            {"EchoMemosProps", memos},
            {"MailProps", mail}};
}

// Prints an object as "name: value" lines, nested names joined with dots, in the
// record's own field order where the keys allow (QJsonObject keeps them sorted).
void PrintFlat(const QJsonObject& object, const QString& prefix) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString name = prefix + it.key();
        const QJsonValue v = it.value();
        if (v.isObject()) {
            PrintFlat(v.toObject(), name + u'.');
        } else if (v.isArray()) {
            QStringList parts;
            for (const QJsonValue& e : v.toArray())
                parts << QString::number(e.toInteger());
            PrintOut(name + QStringLiteral(": ") + parts.join(u' '));
        } else if (v.isString()) {
            PrintOut(name + QStringLiteral(": \"") + v.toString() + u'"');
        } else if (v.isNull()) {
            PrintOut(name + QStringLiteral(": (none)"));
        } else {
            PrintOut(name + QStringLiteral(": ") + QString::number(v.toInteger()));
        }
    }
}

int Setup(const QStringList& words) {
    const QString usage = QStringLiteral("setup [--root DIR] [--user NAME]");
    Args args(words, {});
    if (!args.ok())
        return UsageError(usage, args.error());
    if (const auto bad = args.unknown({"root", "user"});
        !bad.isEmpty() || !args.positional().isEmpty())
        return UsageError(usage, QStringLiteral("unexpected arguments"));
    const InstallResult r = InstallTonedeck(args.value("root").value_or(QString()),
                                            args.value("user").value_or(QString()));
    if (!r.ok) {
        PrintErr(r.error);
        return kExitFailed;
    }
    QString root, user;
    GetTonedeckRootDirectory(root);
    GetCurrentUser(user);
    PrintOut(r.alreadyInstalled
                 ? QStringLiteral("Tonedeck is already installed at %1 (user %2)").arg(root, user)
                 : QStringLiteral("Tonedeck installed at %1 for user %2").arg(root, user));
    return kExitOk;
}

int Paths(const QStringList& words) {
    const QString usage = QStringLiteral("paths [--json]");
    Args args(words, {"json"});
    if (!args.ok() || !args.unknown({"json"}).isEmpty() || !args.positional().isEmpty())
        return UsageError(usage, QStringLiteral("unexpected arguments"));
    const std::pair<const char*, int (*)(QString&)> functions[] = {
        {"GetTonedeckRootDirectory", GetTonedeckRootDirectory},
        {"GetTonedeckHelpDirectory", GetTonedeckHelpDirectory},
        {"GetCurrentUser", GetCurrentUser},
        {"GetTonedeckUsersDirectory", GetTonedeckUsersDirectory},
        {"GetSonoscoutSearchFilePath", GetSonoscoutSearchFilePath},
        {"GetCurrentUserDirectory", GetCurrentUserDirectory},
        {"GetTonedeckPropertiesFilePath", GetTonedeckPropertiesFilePath},
        {"GetAudioMessagingDirectory", GetAudioMessagingDirectory},
        {"GetAudioMessagingListFilePath", GetAudioMessagingListFilePath},
        {"GetAOLSendMailDirectory", GetAOLSendMailDirectory},
        {"GetEchoMemosDirectory", GetEchoMemosDirectory},
        {"GetEchoMemosListFilePath", GetEchoMemosListFilePath},
        {"GetTonedeckHelpFilePath", GetTonedeckHelpFilePath},
        {"GetWizardHelpFilePath", GetWizardHelpFilePath},
        {"GetDesktopDir", GetDesktopDir},
        {"GetAOLPath", GetAOLPath},
    };
    QJsonObject json;
    for (const auto& [name, fn] : functions) {
        QString value;
        const bool ok = fn(value) != 0;
        if (args.flag("json"))
            json[QString::fromLatin1(name)] = ok ? QJsonValue(value) : QJsonValue();
        else
            PrintOut(QStringLiteral("%1: %2").arg(QString::fromLatin1(name),
                                                  ok ? value : QStringLiteral("(none)")));
    }
    if (args.flag("json"))
        PrintJson(json);
    return kExitOk;
}

int Props(const QStringList& words) {
    const QString usage =
        QStringLiteral("props defaults [--rect L,T,R,B] --out FILE | props show FILE [--json]");
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(usage, args.error());
    const QStringList pos = args.positional();
    if (pos.size() == 1 && pos[0] == QStringLiteral("defaults")) {
        if (!args.unknown({"rect", "out"}).isEmpty() || !args.value("out"))
            return UsageError(usage, QStringLiteral("props defaults needs --out FILE"));
        RECT rect{0, 0, 56, 480};
        if (const auto text = args.value("rect")) {
            const QStringList parts = text->split(u',');
            bool ok = parts.size() == 4;
            int v[4] = {};
            for (int i = 0; ok && i < 4; ++i)
                v[i] = parts[i].trimmed().toInt(&ok);
            if (!ok)
                return UsageError(usage, QStringLiteral("--rect takes four whole numbers L,T,R,B"));
            // The floating rectangle is twice as wide: it must still fit 32 bits.
            const qint64 right = 2 * qint64{v[2]} - v[0];
            if (right < std::numeric_limits<int32_t>::min() ||
                right > std::numeric_limits<int32_t>::max())
                return UsageError(usage, QStringLiteral("--rect is too wide: twice its width "
                                                        "must fit a 32-bit coordinate"));
            rect = {v[0], v[1], v[2], v[3]};
        }
        QString error;
        if (!WritePropertiesFile(*args.value("out"), DefaultProperties(rect), &error)) {
            PrintErr(error);
            return kExitFailed;
        }
        return kExitOk;
    }
    if (pos.size() == 2 && pos[0] == QStringLiteral("show")) {
        if (!args.unknown({"json"}).isEmpty())
            return UsageError(usage, QStringLiteral("unexpected option"));
        PROPERTIES record;
        QString error;
        if (!ReadPropertiesFile(pos[1], &record, &error)) {
            PrintErr(error);
            return kExitFailed;
        }
        const QJsonObject json = PropertiesJson(record);
        if (args.flag("json"))
            PrintJson(json);
        else
            PrintFlat(json, QString());
        return kExitOk;
    }
    return UsageError(usage, QStringLiteral("props takes 'defaults' or 'show FILE'"));
}

TDTOOL_COMMAND("setup", "setup [--root DIR] [--user NAME]", Setup);
TDTOOL_COMMAND("paths", "paths [--json]", Paths);
TDTOOL_COMMAND("props", "props defaults [--rect L,T,R,B] --out FILE | props show FILE [--json]",
               Props);

}  // namespace
