// The Fixit Guide's frames, actions, tests and volume controls.
#include "tdmend/guideengine.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

#include "platform/strings.h"
#include "platform/trace.h"
#include "tdkit/audio/mixmgr.h"
#include "tdmend/guideaction.h"
#include "tdmend/guidecheck.h"
#include "tdmend/guidelaunch.h"
#include "tdmend/strings.h"

namespace {

// Button flag bits of a frame.
constexpr int32_t kYesShown = 1 << 0, kYesEnabled = 1 << 1;
constexpr int32_t kNoShown = 1 << 2, kNoEnabled = 1 << 3;
constexpr int32_t kNextShown = 1 << 4, kNextEnabled = 1 << 5;
// Show and enable bits of a control configuration.
constexpr uint32_t kPlayBit = 1u << 0, kRecordBit = 1u << 1, kStatusBit = 1u << 2,
                   kVolumeBit = 1u << 3, kTopicsBit = 1u << 4, kQuestionBit = 1u << 5,
                   kSmallPictureBit = 1u << 6;

constexpr int32_t kMixerDriverTest = -5;
// How many mixer driver test frames may lead straight on to one another.
constexpr int kMaxMixerTestDepth = 16;

constexpr DWORD kMaxLevel = 65535;

QString Text(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

int Percent(DWORD left, DWORD right) {
    return static_cast<int>(((left + right) / 2) * 100 / kMaxLevel);
}

void Show(GuideButton& b, int32_t flags, int32_t shown, int32_t enabled,
          const QByteArray& caption) {
    b.visible = flags & shown;
    b.enabled = flags & enabled;
    b.caption = Text(caption);
}

struct DeviceTexts {
    const char* label;
    const char* muted;
    const char* notMuted;
};

constexpr DeviceTexts kDeviceTexts[4] = {
    {"Wave Out volume:", "The Wave Out device is muted.", "The Wave Out device is not muted."},
    {"MIDI output volume:", "The MIDI output device is muted.",
     "The MIDI output device is not muted."},
    {"CD Audio volume:", "The CD Audio device is muted.", "The CD Audio device is not muted."},
    {"Microphone recording volume:", "The Microphone was muted.", "The Microphone is not muted."},
};

}  // namespace

CGuideEngine::CGuideEngine(CMixMgr* mixer, const CFixitGuideDatabase* db, IGuideDevices* devices,
                           const QString& recordingPath)
    : mixer_(mixer), db_(db), devices_(devices), recordingPath_(recordingPath) {
    if (!mixer_) {
        mixerParent_ = std::make_unique<QObject>();
        ownMixer_ = std::make_unique<CMixMgr>();
        ownMixer_->Start(mixerParent_.get());
        mixer_ = ownMixer_.get();
    }
}

CGuideEngine::~CGuideEngine() {
    StopTests();
    if (ownMixer_)
        ownMixer_->Close();
}

void CGuideEngine::LoadFrame(int32_t id) {
    if (quit_ || circleStopped_)
        return;
    Trace(QStringLiteral("LoadFrame %1\n").arg(id));
    StopTests();
    screen_.backEnabled = !history_.empty();
    for (int i = 0; i < 5; ++i)
        if (id == kGuideTopicFrames[i])
            screen_.topicVisited[i] = true;

    const CFrame* frame = db_ ? db_->FindFrame(id) : nullptr;
    if (!frame) {
        frame_ = nullptr;
        ShowInvalidFrame(id);
        history_.push_back(id);
        return;
    }
    frame_ = frame;

    Show(screen_.yes, frame->buttonFlags, kYesShown, kYesEnabled, frame->yesText);
    Show(screen_.no, frame->buttonFlags, kNoShown, kNoEnabled, frame->noText);
    Show(screen_.next, frame->buttonFlags, kNextShown, kNextEnabled, frame->nextText);
    yesAction_ = frame->yesAction;
    noAction_ = frame->noAction;
    nextAction_ = frame->nextAction;

    const qsizetype res = frame->picture.indexOf("res ");
    if (res >= 0) {
        bool ok = false;
        const int n = frame->picture.mid(res + 4).trimmed().toInt(&ok);
        if (ok && n >= 1 && n <= 19)
            screen_.picture = n;
    }
    if (frame->titleIndex >= 1 && frame->titleIndex <= kGuideTitleCount)
        screen_.title = LoadString(IDS_GUIDE_TITLE_BASE + frame->titleIndex);

    bool configMissing = false;
    if (const CControlConfig* c = db_->FindControlConfig(frame->controlConfig)) {
        screen_.statusVisible = c->showFlags & kStatusBit;
        screen_.statusEnabled = c->enableFlags & kStatusBit;
        screen_.play.visible = c->showFlags & kPlayBit;
        screen_.play.enabled = c->enableFlags & kPlayBit;
        screen_.record.visible = c->showFlags & kRecordBit;
        screen_.record.enabled = c->enableFlags & kRecordBit;
        screen_.volumeVisible = c->showFlags & kVolumeBit;
        volumeEnabledByConfig_ = c->enableFlags & kVolumeBit;
        screen_.volumeEnabled = volumeEnabledByConfig_;
        screen_.sliderEnabled = volumeEnabledByConfig_;
        screen_.topicsVisible = c->showFlags & kTopicsBit;
        screen_.topicsEnabled = c->enableFlags & kTopicsBit;
        screen_.questionVisible = c->showFlags & kQuestionBit;
        screen_.smallPictureVisible = c->showFlags & kSmallPictureBit;
        SetupScreen(c->identifier);
        playAction_ = c->playAction;
        recordAction_ = c->recordAction;
        screen_.volumeLabel = Text(c->label);
        device_ = c->device;
    } else {
        configMissing = true;
        screen_.statusVisible = screen_.statusEnabled = false;
        screen_.play.visible = screen_.play.enabled = false;
        screen_.record.visible = screen_.record.enabled = false;
        screen_.volumeVisible = false;
        screen_.sliderEnabled = false;
        volumeEnabledByConfig_ = false;
        playAction_.clear();
        recordAction_.clear();
    }

    if (frame->prompt < 1) {
        RunTest(frame->prompt);
        // The mixer driver test has moved on to another frame, which is now the screen.
        if (frame->prompt == kMixerDriverTest || frame_ != frame || quit_)
            return;
    } else if (const CPrompt* p = db_->FindPrompt(frame->prompt)) {
        screen_.body = Text(p->text);
        screen_.question = Text(p->question);
    } else {
        screen_.body =
            QStringLiteral("An invalid prompt was referenced, prompt ID: %1").arg(frame->prompt);
        screen_.question.clear();
    }
    // Said after the prompt, so that the prompt's text does not cover it.
    if (configMissing)
        screen_.body += QStringLiteral("\n!!!*** Invalid Control Configuration ***!!!\n");
    history_.push_back(id);
}

void CGuideEngine::ShowInvalidFrame(int32_t id) {
    screen_.yes.enabled = false;
    screen_.no.enabled = false;
    screen_.statusVisible = screen_.statusEnabled = false;
    screen_.play.visible = screen_.play.enabled = false;
    screen_.record.visible = screen_.record.enabled = false;
    screen_.volumeVisible = false;
    screen_.sliderEnabled = false;
    volumeEnabledByConfig_ = false;
    QString body = QStringLiteral(
                       "An invalid frame was referenced.\nThe invalid frame ID is: %1"
                       "\nThe frame calling tree is as follows: ")
                       .arg(id);
    for (int32_t h : history_)
        body += QString::number(h) + u' ';
    body += QString::number(id) + u'.';
    screen_.body = body;
    screen_.question.clear();
}

void CGuideEngine::SetupScreen(int32_t config) {
    screen_.layout = config;
    if (config > 10) {
        // The user answers only after testing; a "%play" enables them again.
        screen_.yes.enabled = false;
        screen_.no.enabled = false;
    }
    if (config == 44 || config == 54) {
        screen_.play.caption = QStringLiteral("Play");
        restIcon_ = kGuideIconMicrophone;
    } else {
        screen_.play.caption = QStringLiteral("Test");
        restIcon_ = kGuideIconRest;
    }
    screen_.record.caption = QStringLiteral(" Record");
    screen_.statusIcon = restIcon_;
}

void CGuideEngine::DoAction(const QByteArray& action) {
    DoAction(action, 0);
}

void CGuideEngine::DoAction(const QByteArray& action, int depth) {
    if (quit_ || depth > kGuideMaxActionDepth)
        return;
    const GuideAction a = ParseGuideAction(action);
    switch (a.kind) {
        case GuideAction::Kind::Multi:
            DoAction(a.first, depth + 1);
            DoAction(a.second, depth + 1);  // does nothing once the first has quit
            break;
        case GuideAction::Kind::Frame:
            LoadFrame(a.frame);
            break;
        case GuideAction::Kind::Play:
            screen_.yes.enabled = true;
            screen_.no.enabled = true;
            switch (a.sound) {
                case GuideAction::Sound::Wave:
                    PlayWave(false);
                    break;
                case GuideAction::Sound::Memory:
                    PlayWave(true);
                    break;
                case GuideAction::Sound::Midi:
                    PlayMidi();
                    break;
                case GuideAction::Sound::Cd:
                    PlayCD();
                    break;
                case GuideAction::Sound::None:
                    break;
            }
            break;
        case GuideAction::Kind::Record:
            StartRecording();
            break;
        case GuideAction::Kind::Help: {
            const QString target = ConvertAction(a.argument);
            const qsizetype comma = target.indexOf(u',');
            if (comma >= 0)
                devices_->OpenHelp(target.left(comma), target.mid(comma + 1));
            else if (!target.isEmpty())
                devices_->OpenHelp(target, {});
            break;
        }
        case GuideAction::Kind::Exec: {
            const QString command = ConvertAction(a.argument);
            if (!command.isEmpty())
                devices_->Launch(GuideCommandFor(command));
            break;
        }
        case GuideAction::Kind::Quit:
            OnQuit();
            break;
        case GuideAction::Kind::None:
            break;
    }
}

QString CGuideEngine::ConvertAction(const QByteArray& target) {
    static constexpr struct {
        const char* code;
        UINT id;
    } kCodes[] = {
        {"100.", IDS_GUIDE_MULTIMEDIA},          {"101.", IDS_GUIDE_MULTIMEDIA_MIDI},
        {"102.", IDS_GUIDE_MULTIMEDIA_ADVANCED}, {"103.", IDS_GUIDE_ADD_HARDWARE},
        {"104.", IDS_GUIDE_ADD_REMOVE_PROGRAMS}, {"105.", IDS_GUIDE_CONFLICT_HELP},
        {"106.", IDS_GUIDE_MULTIMEDIA_CD},
    };
    for (const auto& c : kCodes)
        if (target.contains(c.code))
            return LoadString(c.id);
    return {};
}

void CGuideEngine::RunTest(int32_t test) {
    switch (test) {
        case -1:
            DisplayCapabilities();
            break;
        case -2:
            DisplayVolumeTest(0);
            break;
        case -3:
            DisplayVolumeTest(1);
            break;
        case -4:
            DisplayVolumeTest(2);
            break;
        case -6:
            DisplayVolumeTest(3);
            break;
        case -5:
            TestMixerDriver();
            break;
        default:
            screen_.body = QStringLiteral("An invalid test was called.");
            break;
    }
}

void CGuideEngine::TestMixerDriver() {
    MIXERCAPS caps{};
    const bool ok = mixer_ && mixer_->GetDevCaps(0, &caps, sizeof caps) == 0;
    // The test moves on at once. Test frames that lead back to test frames would do so
    // for ever: past a bound the guide stops there and says so.
    if (mixerTestDepth_ >= kMaxMixerTestDepth) {
        ShowInvalidFrame(frame_ ? frame_->identifier : 0);
        frame_ = nullptr;
        screen_.body = QStringLiteral("The mixer driver test frames lead round in a circle.");
        circleStopped_ = true;  // every pending load of the circle is dropped
        return;
    }
    ++mixerTestDepth_;
    DoAction(ok ? noAction_ : yesAction_);
    if (--mixerTestDepth_ == 0)
        circleStopped_ = false;
}

void CGuideEngine::DisplayCapabilities() {
    QString body = QStringLiteral("Soundcard Mixer Driver Name:") + u' ';
    MIXERCAPS caps{};
    if (!mixer_ || mixer_->GetDevCaps(0, &caps, sizeof caps) != 0) {
        body += QStringLiteral("No Mixer Driver Installed.") + QStringLiteral("\n\n");
        noAction_ = QByteArrayLiteral("%frame 1000");
        // The way on to the audio device problem is the No button, so it is shown.
        screen_.no.caption = QStringLiteral("Next ->");
        screen_.no.visible = screen_.no.enabled = true;
        screen_.yes.visible = screen_.yes.enabled = false;
    } else {
        body += QString::fromLatin1(caps.szPname, qstrnlen(caps.szPname, sizeof caps.szPname));
        body += u'\n';
        body += QStringLiteral("Mixer Driver Version:");
        body += QString::asprintf(" %X.%X\n\n", (caps.vDriverVersion >> 8) & 0xFF,
                                  caps.vDriverVersion & 0xFF);
    }
    screen_.question.clear();
    body +=
        QStringLiteral("\tYour mixer driver is capable of the following:") + QStringLiteral("\n\n");
    auto yes = [](BOOL v) { return v ? QStringLiteral("Yes") : QStringLiteral("No"); };
    auto cell = [&](const char* label, BOOL v) { return QLatin1String(label) + u'\t' + yes(v); };
    CMixMgr& m = *mixer_;
    body += cell("Master volume:", m.DoesOverallMasterVolumeExist()) + u'\t' +
            cell("Wave output volume:", m.DoesWaveOutPlaybackVolumeExist()) + u'\n';
    body += cell("Master mute:", m.DoesOverallMasterMuteExist()) + u'\t' +
            cell("Wave output mute:", m.DoesWaveOutPlaybackMuteExist()) + u'\n';
    body += cell("Master bass:", m.DoesOverallMasterBassExist()) + u'\t' +
            cell("Wave output VU meter:", m.DoesWaveOutPlaybackVUExist()) + u'\n';
    body += cell("Master treble:", m.DoesOverallMasterTrebleExist()) + u'\t' +
            cell("Microphone volume:", m.DoesMicRecordVolumeExist()) + u'\n';
    body += u'\n';
    body += cell("Midi output volume:", m.DoesSynthPlaybackVolumeExist()) + u'\t' +
            cell("CD audio volume:", m.DoesCDPlaybackVolumeExist()) + u'\n';
    body += cell("Midi output mute:", m.DoesSynthPlaybackMuteExist()) + u'\t' +
            QStringLiteral("CD audio mute:\t\t") + yes(m.DoesCDPlaybackMuteExist()) + u'\n';
    screen_.body = body;
}

CGuideEngine::Level CGuideEngine::ReadDevice(int device) {
    Level l;
    CMixMgr& m = *mixer_;
    switch (device) {
        case 0:
            l.ok = m.GetWaveOutPlaybackVolumeLevel(l.left, l.right) == 0;
            l.mute = m.GetWaveOutPlaybackMute();
            break;
        case 1:
            l.ok = m.GetSynthPlaybackVolumeLevel(l.left, l.right) == 0;
            l.mute = m.GetSynthPlaybackMute();
            break;
        case 2:
            l.ok = m.GetCDPlaybackVolumeLevel(l.left, l.right) == 0;
            l.mute = m.GetCDPlaybackMute();
            break;
        case 3: {
            DWORD unused = 0;
            l.ok = m.GetMicRecordVolumeLevel(l.left, unused) == 0;
            l.right = l.left;  // one channel counts for both
            l.mute = m.GetMicRecordMute();
            break;
        }
        default:
            l.ok = m.GetOverallPlaybackVolumeLevel(l.left, l.right) == 0;
            l.mute = m.GetOverallPlaybackMute();
            break;
    }
    return l;
}

void CGuideEngine::SetDeviceLevel(int device, DWORD target) {
    target = std::min(target, kMaxLevel);
    CMixMgr& m = *mixer_;
    if (device == 3) {
        m.SetMicRecordVolumeLevel(target);
        return;
    }
    const Level now = ReadDevice(device);
    if (!now.ok)
        return;
    // Both channels move by the same amount, so the balance stays; each stops at the
    // ends of the scale on its own.
    const int64_t delta =
        static_cast<int64_t>(target) - static_cast<int64_t>((now.left + now.right) / 2);
    auto moved = [&](DWORD v) {
        return static_cast<DWORD>(std::clamp<int64_t>(v + delta, 0, kMaxLevel));
    };
    const DWORD left = moved(now.left), right = moved(now.right);
    switch (device) {
        case 0:
            m.SetWaveOutPlaybackVolumeLevel(left, right);
            break;
        case 1:
            m.SetSynthPlaybackVolumeLevel(left, right);
            break;
        case 2:
            m.SetCDPlaybackVolumeLevel(left, right);
            break;
        default:
            m.SetOverallPlaybackVolumeLevel(left, right);
            break;
    }
}

void CGuideEngine::SetDeviceMute(int device, bool mute) {
    CMixMgr& m = *mixer_;
    switch (device) {
        case 0:
            m.SetWaveOutPlaybackMute(mute);
            break;
        case 1:
            m.SetSynthPlaybackMute(mute);
            break;
        case 2:
            m.SetCDPlaybackMute(mute);
            break;
        case 3:
            m.SetMicRecordMute(mute);
            break;
        default:
            m.SetOverallPlaybackMute(mute);
            break;
    }
}

void CGuideEngine::DisplayVolumeTest(int device) {
    if (device < 0 || device > 3)
        return;
    const Level master = ReadDevice(-1);
    // A card without a master control has nothing there to turn up.
    const int masterPercent = master.ok ? Percent(master.left, master.right) : 100;
    const Level dev = ReadDevice(device);
    const int devicePercent = dev.ok ? Percent(dev.left, dev.right) : masterPercent;
    const bool muted = master.mute || dev.mute;
    const DeviceTexts& t = kDeviceTexts[device];

    QString body;
    if (devicePercent < 5 || masterPercent < 5 || muted) {
        body = QStringLiteral("A problem has been found with your playback device.") + u' ';
        body += muted ? QStringLiteral(
                            "A playback device is currently muted. Uncheck the 'Mute' "
                            "checkbox.\n")
                      : QStringLiteral(
                            "A playback device's volume might be too low. Adjust the volume "
                            "to a higher level and try again.");
        body += u'\n';
    } else {
        body =
            QStringLiteral("Your sound playback volume settings look ok.") + QStringLiteral("\n\n");
    }
    if (muted) {
        SetDeviceMute(-1, false);
        body += QLatin1String(dev.mute ? t.muted : t.notMuted) + u'\n';
        body += master.mute ? QStringLiteral("The Master playback volume was muted.")
                            : QStringLiteral("The Master playback volume is not muted.");
        body += QStringLiteral("\n\n");
    } else {
        body += QLatin1String(t.notMuted) + u'\n';
        body += QStringLiteral("The Master playback volume is not muted.") + QStringLiteral("\n\n");
    }
    screen_.question = QStringLiteral("Can you hear any sound coming out of your speakers?");
    body += QLatin1String(t.label) + u' ' + QString::asprintf("%d%%,\t", devicePercent);
    body += QStringLiteral("Master volume:") + u' ' + QString::asprintf("%d%%\n\n", masterPercent);
    body += LoadString(device == 3 ? IDS_GUIDE_RECORD_STEPS : IDS_GUIDE_PLAY_STEPS);
    screen_.body = body;
}

void CGuideEngine::StopTests() {
    if (waveActive_)
        PlayWave(waveMem_);
    if (midiActive_)
        PlayMidi();
    if (cdActive_)
        PlayCD();
    if (recording_)
        StartRecording();
}

bool CGuideEngine::AnyTestRunning() const {
    return waveActive_ || midiActive_ || cdActive_ || recording_;
}

void CGuideEngine::RestIcon() {
    if (!AnyTestRunning())
        screen_.statusIcon = restIcon_;
}

bool CGuideEngine::ToggleTestSound(bool& active, const QString& restCaption,
                                   const std::function<void()>& stop,
                                   const std::function<bool()>& start,
                                   const QByteArray& failFrame) {
    if (active) {
        stop();
        active = false;
        screen_.play.caption = restCaption;
        RestIcon();
        return false;
    }
    secondTicks_ = 0;
    if (!start()) {
        DoAction(failFrame);
        return false;
    }
    screen_.play.caption = QStringLiteral("Stop");
    active = true;
    microphoneIcons_ = false;
    animationPhase_ = animationTicks_ = 0;
    return true;
}

void CGuideEngine::PlayWave(bool fromRecording) {
    const bool started = ToggleTestSound(
        waveActive_, waveMem_ ? QStringLiteral("Play") : QStringLiteral("Test"),
        [this] { devices_->StopWave(); },
        [&] {
            testFile_ = fromRecording ? recordingPath_ : devices_->TestWavePath();
            return !testFile_.isEmpty() && devices_->PlayWave(testFile_);
        },
        QByteArrayLiteral("%frame 2000"));
    if (started)
        waveMem_ = fromRecording;
}

void CGuideEngine::PlayMidi() {
    ToggleTestSound(
        midiActive_, QStringLiteral("Test"), [this] { devices_->StopMidi(); },
        [this] {
            testFile_ = devices_->TestMidiPath();
            return !testFile_.isEmpty() && devices_->PlayMidi(testFile_);
        },
        QByteArrayLiteral("%frame 3000"));
}

void CGuideEngine::PlayCD() {
    ToggleTestSound(
        cdActive_, QStringLiteral("Test"), [this] { devices_->StopCd(); },
        [this] { return devices_->PlayCd(); }, QByteArrayLiteral("%frame 4000"));
}

void CGuideEngine::StartRecording() {
    if (recording_) {
        devices_->StopRecording();
        recording_ = false;
        screen_.record.caption = QStringLiteral("Record");
        screen_.play.enabled = true;
        RestIcon();
        return;
    }
    if (waveActive_)
        PlayWave(waveMem_);
    if (!devices_->CreateRecording(recordingPath_)) {
        devices_->ShowError(QStringLiteral("Error"),
                            QStringLiteral("Could not create the new WAV file"));
        return;
    }
    secondTicks_ = 0;
    if (!devices_->StartRecording()) {
        DoAction(QByteArrayLiteral("%frame 5000"));
        return;
    }
    screen_.record.caption = QStringLiteral("Stop");
    screen_.play.enabled = false;
    recording_ = true;
    microphoneIcons_ = true;
    animationPhase_ = animationTicks_ = 0;
}

void CGuideEngine::AnimateIcon() {
    const auto& icons = microphoneIcons_ ? kGuideMicrophoneIcons : kGuideSpeakerIcons;
    screen_.statusIcon = icons[animationPhase_];
    animationPhase_ = (animationPhase_ + 1) % 4;
}

void CGuideEngine::OnTimer() {
    if (quit_)
        return;
    const Level level = ReadDevice(device_);
    if (!level.ok) {
        // The tests below still run: a card without these controls still plays sound.
        screen_.sliderEnabled = false;
    } else {
        screen_.sliderEnabled = volumeEnabledByConfig_;
        const DWORD mean = device_ == 3 ? level.left : (level.left + level.right) / 2;
        screen_.sliderPosition = static_cast<int>(kMaxLevel - std::min(mean, kMaxLevel));
        screen_.upDownPosition = 32 - screen_.sliderPosition / 2000;
        screen_.muteChecked = level.mute;
    }

    if (AnyTestRunning() && ++animationTicks_ >= 3) {
        animationTicks_ = 0;
        AnimateIcon();
    }

    if (waveActive_ && !devices_->WavePlaying() && !devices_->PlayWave(testFile_)) {
        // The sound would not start again: the test ends as if Stop had been pressed.
        PlayWave(waveMem_);
    }
    if (++secondTicks_ >= 10) {
        secondTicks_ = 0;
        if (cdActive_ && !devices_->CdPlaying())
            PlayCD();
        if (midiActive_ && !devices_->MidiPlaying())
            PlayMidi();
        if (recording_ && !devices_->Recording())
            StartRecording();
    }
}

void CGuideEngine::OnSlider(int position) {
    if (!screen_.sliderEnabled)
        return;
    SetDeviceLevel(device_, kMaxLevel - static_cast<DWORD>(std::clamp(position, 0, 65535)));
}

void CGuideEngine::OnUpDown(int position) {
    if (!screen_.sliderEnabled)
        return;
    SetDeviceLevel(device_, 2000 * static_cast<DWORD>(std::clamp(position, 0, 32)));
}

void CGuideEngine::OnMuteCheck() {
    if (!screen_.sliderEnabled)
        return;
    const Level now = ReadDevice(device_);
    SetDeviceMute(device_, !now.mute);
    screen_.muteChecked = ReadDevice(device_).mute;
}

void CGuideEngine::OnYesBtn() {
    if (frame_)
        DoAction(yesAction_);
}

void CGuideEngine::OnNoBtn() {
    if (frame_)
        DoAction(noAction_);
}

void CGuideEngine::OnNextBtn() {
    if (frame_)
        DoAction(nextAction_);
}

void CGuideEngine::OnPlayBtn() {
    if (frame_)
        DoAction(playAction_);
}

void CGuideEngine::OnRecordBtn() {
    if (frame_)
        DoAction(recordAction_);
}

void CGuideEngine::OnBackBtn() {
    if (history_.size() < 2)
        return;
    history_.pop_back();
    const int32_t previous = history_.back();
    history_.pop_back();
    LoadFrame(previous);
}

void CGuideEngine::OnTopic(int topic) {
    static constexpr const char* kActions[5] = {"%frame 10", "%frame 40", "%frame 50", "%frame 60",
                                                "%frame 500"};
    if (topic < 1 || topic > 5)
        return;
    screen_.topicVisited[topic - 1] = true;
    DoAction(QByteArray(kActions[topic - 1]));
}

void CGuideEngine::OnHelpBtn() {
    if (frame_)
        devices_->OpenHelp({}, {});
}

void CGuideEngine::OnQuit() {
    if (quit_)
        return;
    StopTests();
    quit_ = true;
    if (onQuit_)
        onQuit_();
}
