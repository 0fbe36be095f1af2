#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <set>
#include <vector>

#include "platform/mixer.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"
#include "tdkit/audio/mixmgr.h"
#include "tdmend/guidecheck.h"
#include "tdmend/guidedevices.h"
#include "tdmend/guideengine.h"
#include "tdmend/guidesource.h"

// The virtual wave devices and CD source (guidedevices_test.cpp: their header and the
// mixer's cannot meet in one file).
void UseVirtualSound(const QString& cdSource);
void ForgetVirtualSound();
QString MidiSoundFontPathForTests();

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "tdmend_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    return *app;
}

// Devices that do what they are told and remember it.
class FakeDevices : public IGuideDevices {
public:
    bool PlayWave(const QString& path) override {
        played.push_back(path);
        waveOn = waveWorks;
        return waveWorks;
    }
    void StopWave() override { waveOn = false; }
    bool WavePlaying() override { return waveOn; }
    bool PlayMidi(const QString&) override { return midiOn = midiWorks; }
    void StopMidi() override { midiOn = false; }
    bool MidiPlaying() override { return midiOn; }
    bool PlayCd() override { return cdOn = cdWorks; }
    void StopCd() override { cdOn = false; }
    bool CdPlaying() override { return cdOn; }
    bool CreateRecording(const QString& path) override {
        created = path;
        return canCreate;
    }
    bool StartRecording() override { return recordingOn = recordWorks; }
    void StopRecording() override {
        recordingOn = false;
        ++recordingsStopped;
    }
    bool Recording() override { return recordingOn; }
    QString TestWavePath() override { return QStringLiteral("/cache/test.wav"); }
    QString TestMidiPath() override { return QStringLiteral("/cache/test.mid"); }
    bool Launch(const GuideCommand& command) override {
        launched.push_back(command);
        return true;
    }
    void OpenHelp(const QString& file, const QString& keyword) override {
        help.push_back(file + u'|' + keyword);
    }
    void ShowError(const QString& caption, const QString& text) override {
        errors.push_back(caption + u'|' + text);
    }

    bool waveWorks = true, midiWorks = true, cdWorks = true, canCreate = true, recordWorks = true;
    bool waveOn = false, midiOn = false, cdOn = false, recordingOn = false;
    int recordingsStopped = 0;
    std::vector<QString> played;
    QString created;
    std::vector<GuideCommand> launched;
    QStringList help, errors;
};

class GuideEngine : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(LoadGuideSources(QStringLiteral(TDMEND_GUIDE_SOURCES), db).isEmpty());
        UseCard(VirtualCardLayout::Full);
    }
    void TearDown() override {
        engine.reset();
        mixer.reset();
        ResetMixerDevices();
    }
    void UseCard(VirtualCardLayout layout) {
        engine.reset();
        mixer.reset();
        InstallMixerCard(layout == VirtualCardLayout::None
                             ? nullptr
                             : MakeVirtualMixerCard(VirtualCardLayoutPlan(layout)),
                         MixerBackend::Virtual);
        mixer = std::make_unique<CMixMgr>();
        ASSERT_EQ(mixer->Start(&parent), 1);
        engine = std::make_unique<CGuideEngine>(mixer.get(), &db, &devices,
                                                QStringLiteral("/tmp/~dw1.wav"));
        engine->SetQuitHandler([this] { ++quits; });
    }
    const GuideScreen& S() const { return engine->Screen(); }

    QObject parent;
    CFixitGuideDatabase db;
    FakeDevices devices;
    std::unique_ptr<CMixMgr> mixer;
    std::unique_ptr<CGuideEngine> engine;
    int quits = 0;
};

TEST_F(GuideEngine, FirstFramesHistoryAndBack) {
    engine->OnBackBtn();  // nothing loaded: nothing happens
    EXPECT_EQ(engine->CurrentFrame(), nullptr);
    engine->LoadFirstFrame();
    EXPECT_EQ(S().title, QStringLiteral("Welcome to the Fixit Guide"));
    EXPECT_EQ(S().picture, 1);
    EXPECT_TRUE(S().next.visible && S().next.enabled);
    EXPECT_FALSE(S().yes.visible || S().no.visible);
    EXPECT_EQ(S().next.caption, QStringLiteral("Next ->"));
    EXPECT_FALSE(S().backEnabled);
    engine->OnBackBtn();  // Back on the first frame does nothing
    EXPECT_EQ(engine->History(), std::vector<int32_t>{1});

    // Next runs frame 17, the mixer driver test, which moves on to 105 at once and never
    // enters the history.
    engine->OnNextBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 105);
    EXPECT_EQ(engine->History(), (std::vector<int32_t>{1, 105}));
    EXPECT_TRUE(S().backEnabled);
    EXPECT_TRUE(S().topicsVisible);
    engine->OnNextBtn();  // 10, the capability report
    engine->OnNextBtn();  // 14
    EXPECT_EQ(engine->History(), (std::vector<int32_t>{1, 105, 10, 14}));
    EXPECT_TRUE(S().topicVisited[0]);  // frame 10 is the first topic's
    engine->OnBackBtn();
    engine->OnBackBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 105);
    engine->OnBackBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1);
    EXPECT_EQ(engine->History(), std::vector<int32_t>{1});
}

TEST_F(GuideEngine, WithoutAMixerTheGuideLeadsToTheAudioDeviceProblem) {
    UseCard(VirtualCardLayout::None);
    engine->LoadFirstFrame();
    engine->OnNextBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1000);
    EXPECT_EQ(engine->History(), (std::vector<int32_t>{1, 1000}));

    engine->LoadFrame(10);
    EXPECT_TRUE(S().body.startsWith(
        QStringLiteral("Soundcard Mixer Driver Name: No Mixer Driver Installed.\n\n\tYour mixer")));
    EXPECT_TRUE(S().body.contains(QStringLiteral("Master volume:\tNo\tWave output volume:\tNo\n")));
    EXPECT_EQ(engine->NoAction(), "%frame 1000");
    EXPECT_EQ(S().no.caption, QStringLiteral("Next ->"));
    EXPECT_TRUE(S().no.visible && S().no.enabled);
    EXPECT_FALSE(S().yes.visible || S().yes.enabled);
    EXPECT_TRUE(S().question.isEmpty());
    engine->OnNoBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1000);
}

TEST_F(GuideEngine, CapabilityReportListsWhatTheMixerHas) {
    UseCard(VirtualCardLayout::NoBass);
    engine->LoadFrame(10);
    const QString body = S().body;
    EXPECT_TRUE(body.startsWith(QStringLiteral(
        "Soundcard Mixer Driver Name: Tonedeck Virtual Mixer\nMixer Driver Version: 1.0\n\n"
        "\tYour mixer driver is capable of the following:\n\n")))
        << qPrintable(body);
    EXPECT_TRUE(body.contains(QStringLiteral("Master bass:\tNo\tWave output VU meter:\tYes\n")));
    EXPECT_TRUE(body.contains(QStringLiteral("Master treble:\tYes\tMicrophone volume:\tYes\n\n")));
    EXPECT_TRUE(body.endsWith(QStringLiteral("Midi output mute:\tYes\tCD audio mute:\t\tYes\n")));
}

TEST_F(GuideEngine, VolumeTestSaysTooLowBelowFivePercent) {
    ASSERT_EQ(mixer->SetOverallPlaybackVolumeLevel(65535, 65535), 0u);
    ASSERT_EQ(mixer->SetOverallPlaybackMute(0), 0u);
    ASSERT_EQ(mixer->SetWaveOutPlaybackMute(0), 0u);
    // 3276 is 4 percent of 65535, 3277 five.
    ASSERT_EQ(mixer->SetWaveOutPlaybackVolumeLevel(3276, 3276), 0u);
    engine->LoadFrame(140);
    EXPECT_EQ(S().body.left(S().body.indexOf(u'\n', 0) + 1),
              QStringLiteral("A problem has been found with your playback device. A playback "
                             "device's volume might be too low. Adjust the volume to a higher "
                             "level and try again.\n"));
    EXPECT_TRUE(S().body.contains(QStringLiteral(
        "The Wave Out device is not muted.\nThe Master playback volume is not muted.\n\n"
        "Wave Out volume: 4%,\tMaster volume: 100%\n\n1.  Press the Test")))
        << qPrintable(S().body);
    EXPECT_EQ(S().question, QStringLiteral("Can you hear any sound coming out of your speakers?"));

    ASSERT_EQ(mixer->SetWaveOutPlaybackVolumeLevel(3277, 3277), 0u);
    engine->LoadFrame(140);
    EXPECT_TRUE(S().body.startsWith(QStringLiteral(
        "Your sound playback volume settings look ok.\n\nThe Wave Out device is not muted.\n"
        "The Master playback volume is not muted.\n\nWave Out volume: 5%,\tMaster volume: 100%")))
        << qPrintable(S().body);

    // The master counts as much as the device.
    ASSERT_EQ(mixer->SetOverallPlaybackVolumeLevel(0, 6553), 0u);
    engine->LoadFrame(140);
    EXPECT_TRUE(S().body.startsWith(QStringLiteral("A problem has been found")));
    EXPECT_TRUE(S().body.contains(QStringLiteral("Master volume: 4%\n\n")));
}

TEST_F(GuideEngine, VolumeTestUnmutesTheMasterAndSaysSo) {
    ASSERT_EQ(mixer->SetOverallPlaybackVolumeLevel(40000, 40000), 0u);
    ASSERT_EQ(mixer->SetSynthPlaybackVolumeLevel(40000, 40000), 0u);
    ASSERT_EQ(mixer->SetOverallPlaybackMute(1), 0u);
    ASSERT_EQ(mixer->SetSynthPlaybackMute(1), 0u);
    engine->LoadFrame(150);
    EXPECT_TRUE(S().body.startsWith(QStringLiteral(
        "A problem has been found with your playback device. A playback device is currently "
        "muted. Uncheck the 'Mute' checkbox.\n\nThe MIDI output device is muted.\n"
        "The Master playback volume was muted.\n\nMIDI output volume: 61%,\tMaster volume: "
        "61%\n\n")))
        << qPrintable(S().body);
    EXPECT_EQ(mixer->GetOverallPlaybackMute(), 0);
    EXPECT_EQ(mixer->GetSynthPlaybackMute(), 1) << "the device is left for the user to unmute";

    // The microphone: one channel, its own texts and steps.
    ASSERT_EQ(mixer->SetMicRecordVolumeLevel(65535), 0u);
    ASSERT_EQ(mixer->SetMicRecordMute(0), 0u);
    engine->LoadFrame(510);
    EXPECT_TRUE(S().body.contains(
        QStringLiteral("The Microphone is not muted.\nThe Master playback volume is not muted.\n\n"
                       "Microphone recording volume: 100%,\t")))
        << qPrintable(S().body);
    EXPECT_TRUE(S().body.contains(QStringLiteral("1.  Press Record")));
}

TEST_F(GuideEngine, SliderMovesBothChannelsAndClampsEach) {
    engine->LoadFrame(140);  // wave out
    ASSERT_EQ(mixer->SetWaveOutPlaybackVolumeLevel(1000, 60000), 0u);
    engine->OnTimer();
    EXPECT_TRUE(S().sliderEnabled);
    EXPECT_EQ(S().sliderPosition, 65535 - 30500);
    EXPECT_EQ(S().upDownPosition, 32 - (65535 - 30500) / 2000);
    engine->OnSlider(0);  // the top: loudest, 65535
    DWORD l = 0, r = 0;
    ASSERT_EQ(mixer->GetWaveOutPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 1000u + 35035u);
    EXPECT_EQ(r, 65535u) << "the louder channel stops at the top";
    engine->OnUpDown(0);  // level 0: both move down by the same amount, each stops at 0
    ASSERT_EQ(mixer->GetWaveOutPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 0u);
    EXPECT_EQ(r, 65535u - 50785u);
    engine->OnUpDown(16);
    ASSERT_EQ(mixer->GetWaveOutPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ((l + r) / 2, 32000u);

    engine->OnMuteCheck();
    EXPECT_EQ(mixer->GetWaveOutPlaybackMute(), 1);
    EXPECT_TRUE(S().muteChecked);
    engine->OnMuteCheck();
    EXPECT_EQ(mixer->GetWaveOutPlaybackMute(), 0);

    engine->LoadFrame(510);  // the microphone has one channel
    engine->OnSlider(65535 - 12345);
    ASSERT_EQ(mixer->GetMicRecordVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 12345u);
}

TEST_F(GuideEngine, ControlsThatCannotBeReadAreDisabledButTestsGoOn) {
    UseCard(VirtualCardLayout::None);
    engine->LoadFrame(40);
    engine->OnPlayBtn();
    ASSERT_TRUE(engine->WaveActive());
    devices.waveOn = false;  // the sound ended: the next tick plays it again
    engine->OnTimer();
    EXPECT_FALSE(S().sliderEnabled);
    EXPECT_EQ(devices.played.size(), 2u);
    EXPECT_TRUE(engine->WaveActive());
}

TEST_F(GuideEngine, PlayTogglesTheTestAndFailuresLeadToTheDeviceFrames) {
    engine->LoadFrame(40);
    EXPECT_EQ(S().play.caption, QStringLiteral("Test"));
    EXPECT_FALSE(S().yes.enabled) << "answers wait for a test";
    engine->OnPlayBtn();
    EXPECT_TRUE(engine->WaveActive());
    EXPECT_EQ(devices.played.back(), QStringLiteral("/cache/test.wav"));
    EXPECT_EQ(S().play.caption, QStringLiteral("Stop"));
    EXPECT_TRUE(S().yes.enabled && S().no.enabled);
    for (int i = 0; i < 3; ++i)
        engine->OnTimer();
    EXPECT_EQ(S().statusIcon, kGuideSpeakerIcons[0]);
    engine->OnPlayBtn();  // "%play wav" while it runs stops it
    EXPECT_FALSE(engine->WaveActive());
    EXPECT_EQ(S().play.caption, QStringLiteral("Test"));
    EXPECT_EQ(S().statusIcon, kGuideIconRest);

    devices.waveWorks = false;
    engine->OnPlayBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 2000);
    devices.midiWorks = false;
    engine->LoadFrame(50);
    engine->OnPlayBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 3000);
    devices.cdWorks = false;
    engine->LoadFrame(60);
    engine->OnPlayBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 4000);

    // A MIDI test that ended is finished by the timer after ten ticks.
    devices.midiWorks = true;
    engine->LoadFrame(50);
    engine->OnPlayBtn();
    ASSERT_TRUE(engine->MidiActive());
    devices.midiOn = false;
    for (int i = 0; i < 9; ++i)
        engine->OnTimer();
    EXPECT_TRUE(engine->MidiActive());
    engine->OnTimer();
    EXPECT_FALSE(engine->MidiActive());
    // Changing frames stops whatever plays.
    devices.cdWorks = true;
    engine->LoadFrame(60);
    engine->OnPlayBtn();
    ASSERT_TRUE(engine->CdActive());
    engine->OnNextBtn();  // Skip
    EXPECT_EQ(engine->CurrentFrame()->identifier, 145);
    EXPECT_FALSE(engine->CdActive());
    EXPECT_FALSE(devices.cdOn);
}

TEST_F(GuideEngine, RecordingTestRecordsPlaysBackAndReportsFailures) {
    engine->LoadFrame(500);
    EXPECT_EQ(S().play.caption, QStringLiteral("Play"));
    EXPECT_EQ(S().statusIcon, kGuideIconMicrophone);
    engine->OnPlayBtn();  // the recording, in "mem" mode
    EXPECT_EQ(devices.played.back(), QStringLiteral("/tmp/~dw1.wav"));
    EXPECT_TRUE(engine->WaveFromRecording());
    engine->OnRecordBtn();  // stops the playback and records
    EXPECT_FALSE(engine->WaveActive());
    EXPECT_TRUE(engine->RecordingActive());
    EXPECT_EQ(devices.created, QStringLiteral("/tmp/~dw1.wav"));
    EXPECT_EQ(S().record.caption, QStringLiteral("Stop"));
    EXPECT_FALSE(S().play.enabled);
    // The recorder stops itself at its limit; the timer finishes the test.
    devices.recordingOn = false;
    for (int i = 0; i < 10; ++i)
        engine->OnTimer();
    EXPECT_FALSE(engine->RecordingActive());
    EXPECT_EQ(S().record.caption, QStringLiteral("Record"));
    EXPECT_TRUE(S().play.enabled);

    devices.canCreate = false;
    engine->OnRecordBtn();
    EXPECT_EQ(devices.errors,
              QStringList{QStringLiteral("Error|Could not create the new WAV file")});
    EXPECT_EQ(engine->CurrentFrame()->identifier, 500);
    devices.canCreate = true;
    devices.recordWorks = false;
    engine->OnRecordBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 5000);
}

TEST_F(GuideEngine, MultiRunsBothPartsAndQuitEndsTheList) {
    engine->LoadFrame(1000);
    engine->OnYesBtn();  // "%multi %exec 102.%frame 1010"
    ASSERT_EQ(devices.launched.size(), 1u);
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1010);
    EXPECT_EQ(CGuideEngine::ConvertAction("102."),
              QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,4"));
    EXPECT_EQ(CGuideEngine::ConvertAction("x 106."),
              QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,Multimedia,3"));
    EXPECT_EQ(CGuideEngine::ConvertAction("107."), QString());

    engine->DoAction("%help 105.");
    EXPECT_EQ(devices.help,
              QStringList{QStringLiteral("windows.hlp|hardware conflict troubleshooter")});
    engine->DoAction("%exec 103.");
    ASSERT_EQ(devices.launched.size(), 2u);
    EXPECT_EQ(devices.launched[1].kind, GuideCommand::Kind::SoundCards);
    engine->DoAction("%exec 999.");  // no such target: nothing starts
    EXPECT_EQ(devices.launched.size(), 2u);

    engine->DoAction("%multi %quit%frame 1020");
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(engine->HasQuit());
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1010) << "nothing runs after %quit";
    engine->DoAction("%frame 1020");
    engine->OnQuit();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1010);
    EXPECT_EQ(quits, 1);
}

TEST_F(GuideEngine, InvalidReferencesAreShownAndHistoryKeepsFullIds) {
    engine->LoadFirstFrame();
    engine->DoAction("%frame 70000");
    EXPECT_EQ(S().body,
              QStringLiteral("An invalid frame was referenced.\nThe invalid frame ID is: 70000\n"
                             "The frame calling tree is as follows: 1 70000."));
    EXPECT_EQ(engine->History(), (std::vector<int32_t>{1, 70000}));
    EXPECT_EQ(engine->CurrentFrame(), nullptr);
    engine->OnNextBtn();  // no frame loaded: the buttons do nothing
    EXPECT_EQ(engine->History().size(), 2u);
    engine->OnBackBtn();
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1);

    // A missing prompt and a missing configuration are both said.
    CFrame odd = *db.FindFrame(105);
    odd.identifier = 77;
    odd.prompt = 76;
    odd.controlConfig = 5;
    db.frames.push_back(odd);
    engine->LoadFrame(77);
    EXPECT_EQ(S().body, QStringLiteral("An invalid prompt was referenced, prompt ID: 76\n!!!*** "
                                       "Invalid Control Configuration ***!!!\n"));
    EXPECT_FALSE(S().play.visible);
    odd.identifier = 78;
    odd.prompt = -9;
    odd.controlConfig = 2;
    db.frames.push_back(odd);
    engine->LoadFrame(78);
    EXPECT_EQ(S().body, QStringLiteral("An invalid test was called."));
}

TEST_F(GuideEngine, MixerTestFramesThatLeadInACircleStop) {
    CFrame loop = *db.FindFrame(17);
    loop.identifier = 18;
    loop.noAction = "%frame 18";
    db.frames.push_back(loop);
    engine->LoadFrame(18);
    EXPECT_EQ(engine->CurrentFrame(), nullptr);
    EXPECT_TRUE(S().body.contains(QStringLiteral("circle")));
    loop.identifier = 19;
    loop.noAction = "%multi %frame 19%multi %frame 19%frame 19";
    db.frames.push_back(loop);
    engine->LoadFrame(19);
    EXPECT_TRUE(S().body.contains(QStringLiteral("circle")));
    // Once stopped, the loops do not go on: the guide stays usable.
    EXPECT_EQ(engine->History(), (std::vector<int32_t>{}));
    engine->LoadFrame(1);
    EXPECT_EQ(engine->CurrentFrame()->identifier, 1);
}

TEST_F(GuideEngine, TopicButtonsMarkTheirTopicAndLoadItsFrame) {
    engine->LoadFrame(105);
    const int32_t frames[5] = {10, 40, 50, 60, 500};
    for (int topic = 1; topic <= 5; ++topic) {
        engine->OnTopic(topic);
        EXPECT_EQ(engine->CurrentFrame()->identifier, frames[topic - 1]);
        EXPECT_TRUE(S().topicVisited[topic - 1]);
    }
    engine->OnTopic(6);
    EXPECT_EQ(engine->CurrentFrame()->identifier, 500);
}

// The whole guide against the virtual devices: every frame reachable from frame 1 shows
// its texts, and every button it offers leads to a frame that exists.
TEST_F(GuideEngine, WalkOfEveryReachableFrame) {
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    UseVirtualSound(dir.filePath(QStringLiteral("no-disc.cue")));
    // A sound settings program on the path, so "%exec" targets have one to start.
    QDir(dir.path()).mkdir(QStringLiteral("bin"));
    QFile settings(dir.filePath(QStringLiteral("bin/pavucontrol")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.close();
    settings.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + oldPath);
    CGuideDevices real;
    std::vector<QStringList> started;
    real.startProgram = [&](const QStringList& a) {
        started.push_back(a);
        return true;
    };
    QStringList cards;
    real.showCards = [&](const QString& report) { cards << report; };
    real.openHelp = [](const QString&, const QString&) {};
    std::unique_ptr<CGuideEngine> walker;
    int quitsSeen = 0;
    auto fresh = [&] {
        walker = std::make_unique<CGuideEngine>(mixer.get(), &db, &real,
                                                dir.filePath(QStringLiteral("~dw1.wav")));
    };
    fresh();

    const std::set<int32_t> reachable = GuideReachableFrames(db);
    EXPECT_EQ(reachable.size(), db.frames.size());
    for (int32_t id : reachable) {
        const CFrame* frame = db.FindFrame(id);
        for (int button = 0; button < 5; ++button) {
            walker->LoadFrame(id);
            // The mixer driver test moves on at once.
            if (frame->prompt == -5) {
                ASSERT_EQ(walker->CurrentFrame()->identifier, 105);
                break;
            }
            ASSERT_EQ(walker->CurrentFrame(), frame) << id;
            const GuideScreen& s = walker->Screen();
            ASSERT_FALSE(s.body.isEmpty()) << id;
            ASSERT_FALSE(s.title.isEmpty()) << id;
            ASSERT_GE(s.picture, 1) << id;
            ASSERT_FALSE(s.body.contains(QStringLiteral("invalid"))) << id;
            ASSERT_FALSE(s.body.contains(QStringLiteral("Invalid"))) << id;
            const GuideButton* b[5] = {&s.yes, &s.no, &s.next, &s.play, &s.record};
            if (!b[button]->visible || !b[button]->enabled)
                continue;
            switch (button) {
                case 0:
                    walker->OnYesBtn();
                    break;
                case 1:
                    walker->OnNoBtn();
                    break;
                case 2:
                    walker->OnNextBtn();
                    break;
                case 3:
                    walker->OnPlayBtn();
                    break;
                case 4:
                    walker->OnRecordBtn();
                    break;
            }
            if (walker->HasQuit()) {
                ++quitsSeen;
                fresh();
                continue;
            }
            for (int tick = 0; tick < 12; ++tick) {
                QCoreApplication::processEvents();
                walker->OnTimer();
            }
            ASSERT_FALSE(walker->Screen().body.contains(QStringLiteral("invalid")))
                << id << " button " << button;
        }
    }
    // Frame 155's Next ends the guide; the walk got there.
    EXPECT_EQ(quitsSeen, 1);
    // The test sounds were written to the cache, whole.
    QFile wave(dir.filePath(QStringLiteral("cache/tonedeck/test.wav")));
    QFile shipped(QStringLiteral(":/tdmend/sounds/test.wav"));
    ASSERT_TRUE(wave.open(QIODevice::ReadOnly) && shipped.open(QIODevice::ReadOnly));
    EXPECT_EQ(wave.readAll(), shipped.readAll());
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("cache/tonedeck/test.mid"))));
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started[0][0], QStringLiteral("pavucontrol"));
    EXPECT_FALSE(cards.empty());
    ForgetVirtualSound();
    qputenv("PATH", oldPath);
    qunsetenv("XDG_CACHE_HOME");
}

}  // namespace

namespace {

// The sound tests on the virtual devices: ten seconds recorded and played back, the test
// sound and the test tune playing.
TEST_F(GuideEngine, RealDevicesRecordAndPlayOnTheVirtualBackend) {
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    UseVirtualSound(dir.filePath(QStringLiteral("no-disc.cue")));
    {
        CGuideDevices real;
        const QString recording = dir.filePath(QStringLiteral("~dw2.wav"));
        CGuideEngine guide(mixer.get(), &db, &real, recording);
        guide.LoadFrame(500);
        guide.OnRecordBtn();
        ASSERT_TRUE(guide.RecordingActive());
        QDeadlineTimer deadline(30000);
        while (guide.RecordingActive() && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            guide.OnTimer();
            QThread::msleep(1);
        }
        ASSERT_FALSE(guide.RecordingActive()) << "the recorder stops itself at ten seconds";
        EXPECT_EQ(guide.Screen().record.caption, QStringLiteral("Record"));
        QFile f(recording);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray wav = f.readAll();
        EXPECT_TRUE(wav.startsWith("RIFF"));
        // 8000 one-byte samples a second, for close to ten seconds.
        EXPECT_GT(wav.size(), 8000 * 9);
        EXPECT_LE(wav.size(), 8000 * 10 + 100);

        guide.OnPlayBtn();  // "%play mem"
        EXPECT_TRUE(guide.WaveActive());
        EXPECT_EQ(guide.CurrentFrame()->identifier, 500);
        guide.LoadFrame(40);
        EXPECT_FALSE(guide.WaveActive());
        guide.OnPlayBtn();
        EXPECT_TRUE(guide.WaveActive());
        EXPECT_EQ(guide.CurrentFrame()->identifier, 40);
        if (QFile::exists(MidiSoundFontPathForTests())) {
            guide.LoadFrame(50);
            guide.OnPlayBtn();
            EXPECT_TRUE(guide.MidiActive());
            EXPECT_EQ(guide.CurrentFrame()->identifier, 50);
        }
        guide.LoadFrame(60);
        guide.OnPlayBtn();  // no disc
        EXPECT_EQ(guide.CurrentFrame()->identifier, 4000);
    }
    ForgetVirtualSound();
    qunsetenv("XDG_CACHE_HOME");
}

}  // namespace
