// tdtool convert: writes a WAV file in another format through the codec layer.
#include <QFile>
#include <QJsonObject>

#include <cstring>

#include "command.h"
#include "tdkit/audio/acm.h"

namespace {

const char kUsage[] =
    "convert IN OUT --format pcm|adpcm|gsm|truespeech [--rate HZ] [--bits 8|16] "
    "[--channels 1|2] [--json]";

QJsonObject FormatJson(const WAVEFORMATEX* f) {
    return {{"tag", f->wFormatTag},
            {"name", QString::fromLatin1(acmFormatTagName(f->wFormatTag))},
            {"channels", f->nChannels},
            {"rate", static_cast<qint64>(f->nSamplesPerSec)},
            {"bits", f->wBitsPerSample},
            {"blockAlign", f->nBlockAlign},
            {"avgBytesPerSec", static_cast<qint64>(f->nAvgBytesPerSec)}};
}

// A whole-number option within [low, high], or the fallback when absent; false (with a
// usage error printed) when given badly.
bool NumberOption(const Args& args, const char* name, long low, long high, long fallback,
                  long* value) {
    const auto text = args.value(QString::fromLatin1(name));
    if (!text) {
        *value = fallback;
        return true;
    }
    bool ok = false;
    *value = text->toLong(&ok);
    if (!ok || *value < low || *value > high) {
        UsageError(
            QString::fromLatin1(kUsage),
            QStringLiteral("--%1 takes a number from %2 to %3").arg(name).arg(low).arg(high));
        return false;
    }
    return true;
}

int Convert(const QStringList& words) {
    const QString usage = QString::fromLatin1(kUsage);
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(usage, args.error());
    if (const QStringList bad = args.unknown({"format", "rate", "bits", "channels", "json"});
        !bad.isEmpty())
        return UsageError(usage, QStringLiteral("unknown option --%1").arg(bad.first()));
    if (args.positional().size() != 2)
        return UsageError(usage, QStringLiteral("convert takes an input and an output file"));
    const auto formatName = args.value("format");
    if (!formatName)
        return UsageError(usage, QStringLiteral("convert needs --format"));
    WORD tag = 0;
    const QString name = formatName->toLower();
    if (name == u"pcm")
        tag = WAVE_FORMAT_PCM;
    else if (name == u"adpcm")
        tag = WAVE_FORMAT_ADPCM;
    else if (name == u"gsm")
        tag = WAVE_FORMAT_GSM610;
    else if (name == u"truespeech")
        tag = WAVE_FORMAT_DSPGROUP_TRUESPEECH;
    else
        return UsageError(usage, QStringLiteral("--format is pcm, adpcm, gsm or truespeech"));
    if (args.value("bits") && tag != WAVE_FORMAT_PCM)
        return UsageError(usage, QStringLiteral("--bits is for pcm only"));

    const QString in = args.positional().at(0);
    const QString out = args.positional().at(1);
    const CACMFormatPtr source = CACM::GetFormatFromFile(in);
    if (!source) {
        PrintErr(QStringLiteral("%1: not a WAV file that can be read").arg(in));
        return kExitFailed;
    }
    // Unless told otherwise the output keeps the input's rate and channels; GSM and
    // TrueSpeech are telephone formats, mono at 8000 Hz (TrueSpeech only that).
    const bool mono = tag == WAVE_FORMAT_GSM610 || tag == WAVE_FORMAT_DSPGROUP_TRUESPEECH;
    const long inRate = source->nSamplesPerSec;
    const long inChannels = source->nChannels == 2 ? 2 : 1;
    long rate = 0, bits = 0, channels = 0;
    if (!NumberOption(args, "rate", 1000, 192000, mono ? 8000 : inRate, &rate) ||
        !NumberOption(args, "bits", 8, 16, 16, &bits) ||
        !NumberOption(args, "channels", 1, 2, mono ? 1 : inChannels, &channels))
        return kExitUsage;
    if (bits != 8 && bits != 16)
        return UsageError(usage, QStringLiteral("--bits is 8 or 16"));
    if (mono && channels != 1)
        return UsageError(usage, QStringLiteral("%1 is mono only").arg(*formatName));
    if (tag == WAVE_FORMAT_DSPGROUP_TRUESPEECH && rate != 8000)
        return UsageError(usage, QStringLiteral("truespeech is 8000 Hz only"));

    CACM acm;
    int ok = 0;
    WaveFormatBytes target;
    if (tag == WAVE_FORMAT_DSPGROUP_TRUESPEECH) {
        target.resize(CACM::GetCompressFormatSize());
        CACM::GetCompressFormat(target.data());
        ok = acm.CompressFile(in, out);
    } else {
        target = tag == WAVE_FORMAT_PCM ? MakePcmFormat(WORD(channels), DWORD(rate), WORD(bits))
                                        : MakeCodecFormat(tag, WORD(channels), DWORD(rate));
        if (target.empty()) {
            PrintErr(QStringLiteral("%1: no such %2 format").arg(out, *formatName));
            return kExitFailed;
        }
        ok = acm.ConvertFileFormat(in, out, AsFormat(target));
    }
    if (!ok) {
        PrintErr(QStringLiteral("%1: not converted: %2").arg(in, acm.LastError()));
        return kExitFailed;
    }
    const WAVEFORMATEX* f = AsFormat(target);
    if (args.flag("json")) {
        PrintJson(QJsonObject{{"input", in},
                              {"output", out},
                              {"from", FormatJson(source.get())},
                              {"to", FormatJson(f)}});
    } else {
        PrintOut(QStringLiteral("%1: %2 (%3), %4 Hz, %5 channel(s), %6 bits")
                     .arg(out, QString::fromLatin1(acmFormatTagName(f->wFormatTag)))
                     .arg(f->wFormatTag)
                     .arg(f->nSamplesPerSec)
                     .arg(f->nChannels)
                     .arg(f->wBitsPerSample));
    }
    return kExitOk;
}

TDTOOL_COMMAND("convert", kUsage, Convert);

}  // namespace
