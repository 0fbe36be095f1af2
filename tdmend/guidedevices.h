// The Fixit Guide's sound devices and files: the wave, MIDI and CD players, the recorder
// for the microphone test, the test sounds and the temporary recording. What needs a
// screen (the sound-card list, help pages, error boxes) is handed to hooks the dialog
// sets; without them a line goes to stderr.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "tdmend/guidedata.h"
#include "tdmend/guideengine.h"

class CMCIWaveOut;
class CMidiOut;
class CCDOut;
class CRecord;

// The folder test sounds are written to: $XDG_CACHE_HOME/tonedeck (~/.cache/tonedeck).
QString GuideCacheDirectory();
// Writes the resource to dir/name unless the file there has its bytes already, through a
// temporary file renamed over it. The path, or empty when it could not be written.
QString WriteGuideTestSound(const QString& dir, const QString& name, const QString& resource);
// The test sounds of the guide, in the cache folder.
QString GetWaveFilePath();
QString GetMidiFilePath();
// A new empty file for the microphone test's recording, "~dw..." in the user's private
// temporary folder; nullopt when none can be made.
std::optional<QString> GetTempRecordFilename();

// The environment variable that makes the guide read its text sources from a folder
// instead of the database built into the library (for whoever edits the guide).
inline constexpr char kGuideSourcesVariable[] = "TONEDECK_GUIDE_SOURCES";
// The database: from the text sources when the variable names a folder (then also
// written to "dwdata.tdd" in the current directory), else from the built-in archive.
// Problems found go to problems; what was read before a problem stays.
std::unique_ptr<CFixitGuideDatabase> LoadData(QStringList* problems = nullptr);
// Writes the archive of db to path through a temporary file; false and a reason on error.
bool SaveData(const CFixitGuideDatabase& db, const QString& path, QString* error = nullptr);

class CGuideDevices : public IGuideDevices {
public:
    CGuideDevices();
    ~CGuideDevices() override;

    bool PlayWave(const QString& path) override;
    void StopWave() override;
    bool WavePlaying() override;
    bool PlayMidi(const QString& path) override;
    void StopMidi() override;
    bool MidiPlaying() override;
    bool PlayCd() override;
    void StopCd() override;
    bool CdPlaying() override;
    bool CreateRecording(const QString& path) override;
    bool StartRecording() override;
    void StopRecording() override;
    bool Recording() override;
    QString TestWavePath() override { return GetWaveFilePath(); }
    QString TestMidiPath() override { return GetMidiFilePath(); }
    bool Launch(const GuideCommand& command) override;
    void OpenHelp(const QString& file, const QString& keyword) override;
    void ShowError(const QString& caption, const QString& text) override;

    std::function<void(const QString& report)> showCards;
    std::function<void(const QString& file, const QString& keyword)> openHelp;
    std::function<void(const QString& caption, const QString& text)> showError;
    // Starts programs; tests replace it to see the argument lists.
    std::function<bool(const QStringList& arguments)> startProgram;

private:
    QObject owner_;  // receives the players' end reports
    std::unique_ptr<CMCIWaveOut> wave_;
    std::unique_ptr<CMidiOut> midi_;
    std::unique_ptr<CCDOut> cd_;
    std::unique_ptr<CRecord> recorder_;
};
