// CGuideEngine: what the Fixit Guide does, apart from drawing it. It walks the guide
// database one frame at a time, keeps the history for Back, runs the action strings, the
// built-in tests (capability report, volume tests, mixer driver test), the sound tests
// (test WAV, MIDI and CD sounds, a ten-second microphone recording played back) and the
// volume and mute controls, and keeps everything the dialog shows in a GuideScreen. The
// dialog forwards its buttons, slider and timer here and redraws from the screen after
// each call. Sounds, programs and help go through IGuideDevices, so the engine runs
// without a display and tests can watch it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/types.h"
#include "tdmend/guidedata.h"

class CMixMgr;

// What an "%exec" target starts.
struct GuideCommand {
    enum class Kind { None, Program, SoundCards };
    Kind kind = Kind::None;
    QStringList arguments;  // Program: the program and its arguments
};

class IGuideDevices {
public:
    virtual ~IGuideDevices() = default;
    // Each Play replaces the player of its kind with a new one; false when the sound
    // did not start.
    virtual bool PlayWave(const QString& path) = 0;
    virtual void StopWave() = 0;
    virtual bool WavePlaying() = 0;
    virtual bool PlayMidi(const QString& path) = 0;
    virtual void StopMidi() = 0;
    virtual bool MidiPlaying() = 0;
    // Tracks 1 to 2 of the disc.
    virtual bool PlayCd() = 0;
    virtual void StopCd() = 0;
    virtual bool CdPlaying() = 0;
    // A new WAV file for the recording (8000 Hz, 8 bits, at most ten seconds).
    virtual bool CreateRecording(const QString& path) = 0;
    virtual bool StartRecording() = 0;
    virtual void StopRecording() = 0;
    virtual bool Recording() = 0;
    // The test sounds, written where the user can write when missing; empty on failure.
    virtual QString TestWavePath() = 0;
    virtual QString TestMidiPath() = 0;
    // Starts a program or shows the sound cards; false when nothing could be started.
    virtual bool Launch(const GuideCommand& command) = 0;
    // Opens help: file and keyword of a "%help" target, or both empty for the contents.
    virtual void OpenHelp(const QString& file, const QString& keyword) = 0;
    virtual void ShowError(const QString& caption, const QString& text) = 0;
};

struct GuideButton {
    bool visible = false;
    bool enabled = false;
    QString caption;
};

// Everything the dialog shows.
struct GuideScreen {
    QString title;
    int picture = 0;  // 1..19; 0 before the first
    QString body;
    QString question;
    QString volumeLabel;
    QString frameNumber;  // left empty
    GuideButton yes, no, next;
    bool backEnabled = false;
    GuideButton play{false, false, QStringLiteral("Play")};
    GuideButton record{false, false, QStringLiteral(" Record")};
    bool statusVisible = false;
    bool statusEnabled = false;
    int statusIcon = 144;        // icon resource number
    bool volumeVisible = false;  // label, slider, up-down and mute box
    bool volumeEnabled = false;
    bool sliderEnabled = false;  // the slider, the up-down control and the mute box
    int sliderPosition = 0;      // 0..65535, top is loudest
    int upDownPosition = 0;      // 0..32
    bool muteChecked = false;
    bool topicsVisible = false;
    bool topicsEnabled = false;
    bool questionVisible = false;
    bool smallPictureVisible = false;
    int layout = 0;  // the configuration the body's height follows (1, 2, other)
    std::array<bool, 5> topicVisited{};
};

inline constexpr int kGuideIconRest = 144;
inline constexpr int kGuideIconMicrophone = 164;
inline constexpr std::array<int, 4> kGuideSpeakerIcons = {136, 161, 162, 163};
inline constexpr std::array<int, 4> kGuideMicrophoneIcons = {164, 165, 142, 143};

class CGuideEngine {
public:
    // mixer may be null: the engine then makes and starts a manager of its own. The
    // database and the devices must outlive the engine.
    CGuideEngine(CMixMgr* mixer, const CFixitGuideDatabase* db, IGuideDevices* devices,
                 const QString& recordingPath);
    ~CGuideEngine();
    CGuideEngine(const CGuideEngine&) = delete;
    CGuideEngine& operator=(const CGuideEngine&) = delete;

    const GuideScreen& Screen() const { return screen_; }
    // Called once when the guide ends (by "%quit" or Exit).
    void SetQuitHandler(std::function<void()> handler) { onQuit_ = std::move(handler); }
    bool HasQuit() const { return quit_; }

    void LoadFirstFrame() { LoadFrame(CFixitGuideDatabase::kFirstFrame); }
    void LoadFrame(int32_t id);
    void DoAction(const QByteArray& action);
    // The command text an action target's code ("100." .. "106.") stands for.
    static QString ConvertAction(const QByteArray& target);
    void RunTest(int32_t test);
    void DisplayCapabilities();
    void DisplayVolumeTest(int device);
    void TestMixerDriver();
    void PlayWave(bool fromRecording);
    void PlayMidi();
    void PlayCD();
    void StartRecording();

    // Dialog input.
    void OnTimer();
    void OnSlider(int position);
    void OnUpDown(int position);
    void OnMuteCheck();
    void OnYesBtn();
    void OnNoBtn();
    void OnNextBtn();
    void OnPlayBtn();
    void OnRecordBtn();
    void OnBackBtn();
    void OnTopic(int topic);  // 1..5
    void OnHelpBtn();
    void OnQuit();

    // State, for the dialog and for tests.
    const CFrame* CurrentFrame() const { return frame_; }
    const std::vector<int32_t>& History() const { return history_; }
    const QByteArray& NoAction() const { return noAction_; }
    int Device() const { return device_; }
    bool WaveActive() const { return waveActive_; }
    bool WaveFromRecording() const { return waveMem_; }
    bool MidiActive() const { return midiActive_; }
    bool CdActive() const { return cdActive_; }
    bool RecordingActive() const { return recording_; }
    CMixMgr* Mixer() const { return mixer_; }

private:
    struct Level {
        bool ok = false;
        DWORD left = 0, right = 0;
        bool mute = false;
    };
    void DoAction(const QByteArray& action, int depth);
    void SetupScreen(int32_t config);
    void StopTests();
    void ShowInvalidFrame(int32_t id);
    Level ReadDevice(int device);
    void SetDeviceLevel(int device, DWORD target);
    void SetDeviceMute(int device, bool mute);
    bool AnyTestRunning() const;
    // Stops the test sound that runs (its flag set), or starts it; a sound that cannot
    // start takes the guide to failFrame. True when the sound started.
    bool ToggleTestSound(bool& active, const QString& restCaption,
                         const std::function<void()>& stop, const std::function<bool()>& start,
                         const QByteArray& failFrame);
    void AnimateIcon();
    void RestIcon();

    CMixMgr* mixer_ = nullptr;
    std::unique_ptr<CMixMgr> ownMixer_;
    std::unique_ptr<QObject> mixerParent_;
    const CFixitGuideDatabase* db_;
    IGuideDevices* devices_;
    QString recordingPath_;
    std::function<void()> onQuit_;

    GuideScreen screen_;
    const CFrame* frame_ = nullptr;
    std::vector<int32_t> history_;
    QByteArray playAction_, recordAction_, yesAction_, noAction_, nextAction_;
    QString testFile_;
    bool waveActive_ = false;
    bool waveMem_ = false;
    bool midiActive_ = false;
    bool cdActive_ = false;
    bool recording_ = false;
    bool microphoneIcons_ = false;
    int animationPhase_ = 0;
    int animationTicks_ = 0;
    int secondTicks_ = 0;
    int device_ = 0;
    int restIcon_ = kGuideIconRest;
    bool volumeEnabledByConfig_ = false;
    int mixerTestDepth_ = 0;
    bool circleStopped_ = false;
    bool quit_ = false;
};
