#include "platform/audiobackend.h"

#include <cstdio>
#include <mutex>

#include "platform/registry.h"

bool AlsaOutputAvailable();  // wave_alsa.cpp

namespace {

constexpr char kAudioKey[] = "SOFTWARE\\Tonedeck\\Audio";

std::mutex choiceMutex;
std::optional<AudioBackend> forced;
std::optional<AudioBackend> decided;
bool toldVirtual = false;

std::optional<AudioBackend> Named(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("alsa"))
        return AudioBackend::Alsa;
    if (t == QLatin1String("virtual"))
        return AudioBackend::Virtual;
    return std::nullopt;
}

QString AudioValue(const QString& name) {
    if (auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kAudioKey)))
        return key->QueryString(name).value_or(QString());
    return {};
}

QString DeviceName(const char* specific) {
    QString name = AudioValue(QString::fromLatin1(specific));
    if (name.isEmpty())
        name = AudioValue(QStringLiteral("Device"));
    return name.isEmpty() ? QStringLiteral("default") : name;
}

}  // namespace

AudioBackend ChosenAudioBackend() {
    std::lock_guard lock(choiceMutex);
    if (forced)
        return *forced;
    if (decided)
        return *decided;
    if (auto env = Named(qEnvironmentVariable("TONEDECK_AUDIO"))) {
        decided = env;
    } else if (auto stored = Named(AudioValue(QStringLiteral("Backend")))) {
        decided = stored;
    } else if (AlsaOutputAvailable()) {
        decided = AudioBackend::Alsa;
    } else {
        decided = AudioBackend::Virtual;
        if (!toldVirtual) {
            toldVirtual = true;
            std::fputs("tonedeck: no sound card could be opened; using the virtual sound device\n",
                       stderr);
        }
    }
    return *decided;
}

void ResetAudioBackendChoice() {
    std::lock_guard lock(choiceMutex);
    forced.reset();
    decided.reset();
}

void ForceAudioBackend(std::optional<AudioBackend> backend) {
    std::lock_guard lock(choiceMutex);
    forced = backend;
}

const char* AudioBackendName(AudioBackend backend) {
    return backend == AudioBackend::Alsa ? "alsa" : "virtual";
}

QString AlsaInputDeviceName() {
    return DeviceName("InputDevice");
}
QString AlsaOutputDeviceName() {
    return DeviceName("OutputDevice");
}
