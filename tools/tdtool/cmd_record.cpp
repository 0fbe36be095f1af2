// tdtool record and play: the recorder engine on the configured sound devices (ALSA or
// the virtual device; TONEDECK_AUDIO chooses).
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

#include "command.h"
#include "platform/audiobackend.h"
#include "tdkit/audio/record.h"

namespace {

const char kRecordUsage[] = "record OUT --format 0..3 --seconds N [--vox] [--json]";
const char kPlayUsage[] = "play FILE [--json]";

QString DeviceError(UINT code) {
    switch (code) {
        case 1:
            return QStringLiteral("the file cannot be opened or is not a WAV file");
        case MMSYSERR_NODRIVER:
            return QStringLiteral("no sound device could be opened");
        case MMSYSERR_ALLOCATED:
            return QStringLiteral("the sound device is in use");
        case WAVERR_BADFORMAT:
            return QStringLiteral("the sound device does not take this format");
        case MMIOERR_CHUNKNOTFOUND:
            return QStringLiteral("the file is not a usable WAV file");
        default:
            return QStringLiteral("error %1").arg(code);
    }
}

// Runs the event loop until done() or the deadline. done() is looked at each time the
// loop has handled what was pending and is about to sleep, so the devices' notifications
// end the wait at once; a one-second timer is the backstop for a state that changes
// without one, and the only other wake-up.
bool Pump(const std::function<bool()>& done, QDeadlineTimer deadline) {
    if (done())
        return true;
    QEventLoop loop;
    auto check = [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    };
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, check);
    QTimer backstop;
    backstop.setInterval(1000);
    QObject::connect(&backstop, &QTimer::timeout, &loop, check);
    backstop.start();
    loop.exec();
    return done();
}

int Record(const QStringList& words) {
    Args args(words, {"vox", "json"});
    if (!args.ok())
        return UsageError(kRecordUsage, args.error());
    if (!args.unknown({"format", "seconds", "vox", "json"}).isEmpty() ||
        args.positional().size() != 1)
        return UsageError(kRecordUsage, QStringLiteral("unexpected arguments"));
    bool ok = false;
    const int format = args.value("format").value_or("1").toInt(&ok);
    if (!ok || format < 0 || format > 3)
        return UsageError(kRecordUsage, QStringLiteral("--format takes 0, 1, 2 or 3"));
    const uint seconds = args.value("seconds").value_or("").toUInt(&ok);
    if (!ok || seconds == 0 || seconds > 3600)
        return UsageError(kRecordUsage, QStringLiteral("--seconds takes 1 to 3600"));
    const QString out = args.positional()[0];
    const bool vox = args.flag("vox");

    CRecord rec;
    // The engine stops with less than a second of room left: one second more gives N.
    rec.Start(nullptr, format, seconds + 1);
    if (rec.CreateNewWAVFile(out) != 0) {
        PrintErr(QStringLiteral("cannot create %1").arg(out));
        return kExitFailed;
    }
    if (UINT r = rec.RecordToFile(0, vox)) {
        rec.StopRecordToFile();
        PrintErr(QStringLiteral("cannot record: %1").arg(DeviceError(r)));
        return kExitFailed;
    }
    // Input keeps coming while VOX holds the recording, so the input length ends it.
    const uint64_t want = uint64_t(seconds) * rec.GetSamplesPerSec();
    rec.LimitSamples(DWORD(std::min<uint64_t>(want, 0xFFFFFFFFu)));
    Pump([&] { return !rec.StillRecording() || rec.InputSamples() >= want; },
         QDeadlineTimer(int64_t(seconds) * 1000 + 10000));
    const bool complete = rec.InputSamples() >= want || !rec.StillRecording();
    if (rec.StillRecording()) {
        if (UINT r = rec.StopRecordToFile()) {
            PrintErr(QStringLiteral("cannot finish %1: %2").arg(out, DeviceError(r)));
            return kExitFailed;
        }
    }
    if (rec.WriteFailed()) {
        PrintErr(QStringLiteral("%1: the recording stopped after %2 s: the file could not be "
                                "written (the disk may be full)")
                     .arg(out)
                     .arg(double(rec.SamplesRecorded()) / rec.GetSamplesPerSec(), 0, 'f', 2));
        return kExitFailed;
    }
    if (!complete) {
        PrintErr(QStringLiteral("the sound device stopped delivering audio"));
        return kExitFailed;
    }
    const double kept = double(rec.SamplesRecorded()) / rec.GetSamplesPerSec();
    if (args.flag("json")) {
        PrintJson(QJsonObject{{"file", out},
                              {"backend", AudioBackendName(ChosenAudioBackend())},
                              {"samplesPerSec", qint64(rec.GetSamplesPerSec())},
                              {"bitsPerSample", rec.GetRecordFormat()->wBitsPerSample},
                              {"samples", qint64(rec.SamplesRecorded())},
                              {"seconds", kept}});
    } else {
        PrintOut(QStringLiteral("recorded %1 s to %2").arg(kept, 0, 'f', 2).arg(out));
    }
    return kExitOk;
}

int Play(const QStringList& words) {
    Args args(words, {"json"});
    if (!args.ok())
        return UsageError(kPlayUsage, args.error());
    if (!args.unknown({"json"}).isEmpty() || args.positional().size() != 1)
        return UsageError(kPlayUsage, QStringLiteral("unexpected arguments"));
    const QString path = args.positional()[0];
    if (!QFileInfo::exists(path)) {
        PrintErr(QStringLiteral("%1: no such file").arg(path));
        return kExitFailed;
    }
    CRecord rec;
    if (UINT r = rec.OpenWAVFile(path)) {
        PrintErr(QStringLiteral("%1: %2").arg(path, DeviceError(r)));
        return kExitFailed;
    }
    const DWORD frames = rec.FileSamples();
    const DWORD rate = rec.GetSamplesPerSec();
    if (rec.GetRecordFormat()->wFormatTag != WAVE_FORMAT_PCM) {
        rec.CloseFile();
        PrintErr(QStringLiteral("%1: only PCM files can be played").arg(path));
        return kExitFailed;
    }
    if (UINT r = rec.PlayFromFile(0)) {
        rec.StopPlayFromFile();
        PrintErr(QStringLiteral("cannot play %1: %2").arg(path, DeviceError(r)));
        return kExitFailed;
    }
    const int64_t ms = int64_t(frames) * 1000 / std::max<DWORD>(1, rate);
    const bool ended = Pump([&] { return !rec.StillPlaying(); }, QDeadlineTimer(ms + 10000));
    rec.StopPlayFromFile();
    if (!ended) {
        PrintErr(QStringLiteral("the sound device stopped taking audio"));
        return kExitFailed;
    }
    const double seconds = double(frames) / std::max<DWORD>(1, rate);
    if (args.flag("json"))
        PrintJson(QJsonObject{{"file", path},
                              {"backend", AudioBackendName(ChosenAudioBackend())},
                              {"seconds", seconds}});
    else
        PrintOut(QStringLiteral("played %1 s of %2").arg(seconds, 0, 'f', 2).arg(path));
    return kExitOk;
}

}  // namespace

TDTOOL_COMMAND("record", kRecordUsage, Record);
TDTOOL_COMMAND("play", kPlayUsage, Play);
