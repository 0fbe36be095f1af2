// Sounds, files and the database of the Fixit Guide.
#include "tdmend/guidedevices.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

#include "platform/notice.h"
#include "platform/tempfile.h"
#include "tdkit/audio/players.h"
#include "tdkit/audio/record.h"
#include "tdmend/guidelaunch.h"
#include "tdmend/guidesource.h"

namespace {

constexpr char kArchiveResource[] = ":/tdmend/dwdata.tdd";
constexpr char kSaveFile[] = "dwdata.tdd";
// The microphone test records at most this long.
constexpr DWORD kRecordSeconds = 10;

void ToStderr(const QString& text) {
    std::fprintf(stderr, "tdmend: %s\n", qPrintable(text));
}

}  // namespace

QString GuideCacheDirectory() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/tonedeck");
}

QString WriteGuideTestSound(const QString& dir, const QString& name, const QString& resource) {
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = source.readAll();
    if (!QDir().mkpath(dir))
        return {};
    const QString path = QDir(dir).filePath(name);
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == bytes.size() &&
        existing.readAll() == bytes)
        return path;
    existing.close();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return {};
    return path;
}

QString GetWaveFilePath() {
    return WriteGuideTestSound(GuideCacheDirectory(), QStringLiteral("test.wav"),
                               QStringLiteral(":/tdmend/sounds/test.wav"));
}

QString GetMidiFilePath() {
    return WriteGuideTestSound(GuideCacheDirectory(), QStringLiteral("test.mid"),
                               QStringLiteral(":/tdmend/sounds/test.mid"));
}

std::optional<QString> GetTempRecordFilename() {
    const auto dir = PrivateTempDirectory();
    if (!dir)
        return std::nullopt;
    return CreateUniqueFile(*dir, QStringLiteral("~dw"), QStringLiteral(".wav"));
}

std::unique_ptr<CFixitGuideDatabase> LoadData(QStringList* problems) {
    auto db = std::make_unique<CFixitGuideDatabase>();
    QStringList found;
    const QString sources = qEnvironmentVariable(kGuideSourcesVariable);
    if (!sources.isEmpty()) {
        found = LoadGuideSources(sources, *db);
        QString error;
        if (!SaveData(*db, QLatin1String(kSaveFile), &error)) {
            ShowNotice(nullptr, QStringLiteral("Error"), error);
            found << error;
        }
    } else {
        QFile archive{QString::fromLatin1(kArchiveResource)};
        if (!archive.open(QIODevice::ReadOnly)) {
            found << QStringLiteral("LoadResourceToCMemFile failed.");
            ShowNotice(nullptr, QStringLiteral("error"), found.last());
        } else if (const ArchiveError e = db->Deserialize(archive.readAll())) {
            found << QStringLiteral("ERROR! Couldn't serialize DWDATA from resource (%1 at %2)")
                         .arg(e.what)
                         .arg(e.offset);
        }
    }
    for (const QString& p : found)
        ToStderr(p);
    if (problems)
        *problems = found;
    return db;
}

bool SaveData(const CFixitGuideDatabase& db, const QString& path, QString* error) {
    const auto image = db.Serialize();
    if (!image) {
        if (error)
            *error = QStringLiteral("%1: too many records for the archive format").arg(path);
        return false;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(*image) != image->size() || !out.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, out.errorString());
        return false;
    }
    return true;
}

CGuideDevices::CGuideDevices()
    : cd_(std::make_unique<CCDOut>(&owner_)), recorder_(std::make_unique<CRecord>()) {
    recorder_->Start(&owner_, RECORDFORMAT_TELEPHONE, kRecordSeconds);
}

CGuideDevices::~CGuideDevices() {
    StopRecording();
    StopWave();
    StopMidi();
    StopCd();
}

bool CGuideDevices::PlayWave(const QString& path) {
    wave_ = std::make_unique<CMCIWaveOut>(&owner_);
    return wave_->Play(path) == 1;
}

void CGuideDevices::StopWave() {
    if (wave_)
        wave_->StopPlay();
}

bool CGuideDevices::WavePlaying() {
    return wave_ && wave_->StillPlaying();
}

bool CGuideDevices::PlayMidi(const QString& path) {
    midi_ = std::make_unique<CMidiOut>(&owner_);
    return midi_->Play(path) == 1;
}

void CGuideDevices::StopMidi() {
    if (midi_)
        midi_->StopPlay();
}

bool CGuideDevices::MidiPlaying() {
    return midi_ && midi_->StillPlaying();
}

bool CGuideDevices::PlayCd() {
    cd_ = std::make_unique<CCDOut>(&owner_);
    return cd_->PlayTracks(1, 2) == 1;
}

void CGuideDevices::StopCd() {
    cd_->StopPlay();
}

bool CGuideDevices::CdPlaying() {
    return cd_->StillPlaying();
}

bool CGuideDevices::CreateRecording(const QString& path) {
    return !path.isEmpty() && recorder_->CreateNewWAVFile(path) == 0;
}

bool CGuideDevices::StartRecording() {
    if (recorder_->RecordToFile(0, 0) == 0)
        return true;
    recorder_->CloseFile();
    return false;
}

void CGuideDevices::StopRecording() {
    if (recorder_->StillRecording())
        recorder_->StopRecordToFile();
    else
        recorder_->CloseFile();
}

bool CGuideDevices::Recording() {
    return recorder_->StillRecording();
}

bool CGuideDevices::Launch(const GuideCommand& command) {
    switch (command.kind) {
        case GuideCommand::Kind::Program:
            return startProgram ? startProgram(command.arguments)
                                : StartGuideProgram(command.arguments);
        case GuideCommand::Kind::SoundCards:
            if (showCards)
                showCards(SoundCardsReport());
            else
                ToStderr(SoundCardsReport());
            return true;
        case GuideCommand::Kind::None:
            break;
    }
    return false;
}

void CGuideDevices::OpenHelp(const QString& file, const QString& keyword) {
    if (openHelp)
        openHelp(file, keyword);
    else
        ToStderr(QStringLiteral("help: %1 %2").arg(file, keyword));
}

void CGuideDevices::ShowError(const QString& caption, const QString& text) {
    if (showError)
        showError(caption, text);
    else
        ShowNotice(nullptr, caption, text);
}
