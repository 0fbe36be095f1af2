#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QObject>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/levels.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"
#include "tdkit/audio/mixmgr.h"

namespace {

class MixMgr : public ::testing::Test {
protected:
    void Start(const VirtualCardPlan& plan) {
        InstallMixerCard(MakeVirtualMixerCard(plan), MixerBackend::Virtual);
        ASSERT_EQ(mgr_.Start(&parent_), 1);
    }
    void Start(VirtualCardLayout layout) { Start(VirtualCardLayoutPlan(layout)); }
    void TearDown() override { ResetMixerDevices(); }

    QObject parent_;
    CMixMgr mgr_;
};

TEST_F(MixMgr, AFullCardOffersEveryControl) {
    Start(VirtualCardLayout::Full);
    EXPECT_EQ(mgr_.destinationCount(), 2u);
    EXPECT_EQ(mgr_.window()->parent(), &parent_);
    const BOOL valid[] = {
        mgr_.IsWaveOutPlaybackVUMeterValid(),       mgr_.IsMicRecordVUMeterValid(),
        mgr_.IsOverallPlaybackVolumeControlValid(), mgr_.IsOverallRecordVolumeControlValid(),
        mgr_.IsOverallPlaybackBassControlValid(),   mgr_.IsOverallPlaybackTrebleControlValid(),
        mgr_.IsMicRecordVolumeControlValid(),       mgr_.IsOverallPlaybackMuteControlValid(),
        mgr_.IsMicRecordAGCControlValid(),          mgr_.IsMicRecordMuteControlValid(),
        mgr_.IsSynthPlaybackVolumeControlValid(),   mgr_.IsCDPlaybackVolumeControlValid(),
        mgr_.IsWaveOutPlaybackVolumeControlValid(), mgr_.IsSynthPlaybackMuteControlValid(),
        mgr_.IsCDPlaybackMuteControlValid(),        mgr_.IsWaveOutPlaybackMuteControlValid()};
    for (std::size_t i = 0; i < std::size(valid); ++i)
        EXPECT_EQ(valid[i], 1) << "control " << i;
    EXPECT_EQ(mgr_.DoesOverallMasterBassExist(), 1);
    EXPECT_EQ(mgr_.DoesWaveOutPlaybackVUExist(), 1);
    EXPECT_EQ(mgr_.DoesMicRecordMuteExist(), 1);

    DWORD l = 0, r = 0;
    ASSERT_EQ(mgr_.SetOverallPlaybackVolumeLevel(0x1000, 0xF000), 0u);
    ASSERT_EQ(mgr_.GetOverallPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 0x1000u);
    EXPECT_EQ(r, 0xF000u);
    ASSERT_EQ(mgr_.SetCDPlaybackVolumeLevel(5, 6), 0u);
    ASSERT_EQ(mgr_.GetCDPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l + r, 11u);
    EXPECT_NE(mgr_.SetOverallRecordVolumeLevel(0x10000, 0), 0u) << "levels stop at 0xFFFF";

    // Tone controls carry one value; the microphone's getter never writes its second out.
    DWORD bass = 0, mic = 0, untouched = 0xDEAD;
    ASSERT_EQ(mgr_.SetOverallPlaybackBassLevel(0x2345), 0u);
    ASSERT_EQ(mgr_.GetOverallPlaybackBassLevel(bass), 0u);
    EXPECT_EQ(bass, 0x2345u);
    ASSERT_EQ(mgr_.SetMicRecordVolumeLevel(0x4000), 0u);
    ASSERT_EQ(mgr_.GetMicRecordVolumeLevel(mic, untouched), 0u);
    EXPECT_EQ(mic, 0x4000u);
    EXPECT_EQ(untouched, 0xDEADu);

    EXPECT_EQ(mgr_.GetOverallPlaybackMute(), 0);
    ASSERT_EQ(mgr_.SetOverallPlaybackMute(1), 0u);
    EXPECT_EQ(mgr_.GetOverallPlaybackMute(), 1);
    EXPECT_EQ(mgr_.GetWaveOutPlaybackMute(), 0) << "each line's mute is its own";
    ASSERT_EQ(mgr_.SetMicRecordAGC(1), 0u);
    EXPECT_EQ(mgr_.GetMicRecordAGC(), 1);

    int32_t ml = -1, mr = -1;
    ReportPeak(LevelSource::Input, 900, 32768);
    ASSERT_EQ(mgr_.GetMicRecordMeterValue(ml, mr), 0u);
    EXPECT_EQ(ml, 900);
    EXPECT_EQ(mr, 32767);
}

TEST_F(MixMgr, MicrophoneMuteIsItsItemInTheSourceSelector) {
    // The microphone comes first here, not fourth.
    VirtualCardPlan plan = VirtualCardLayoutPlan(VirtualCardLayout::Full);
    auto& sources = plan.destinations[1].sources;
    std::rotate(sources.begin(), sources.begin() + 3, sources.end());
    Start(plan);
    ASSERT_EQ(mgr_.IsMicRecordMuteControlValid(), 1);
    EXPECT_EQ(mgr_.GetMicRecordMute(), 0);
    ASSERT_EQ(mgr_.SetMicRecordMute(1), 0u);
    EXPECT_EQ(mgr_.GetMicRecordMute(), 1);

    // Only the microphone's item moved.
    MIXERCONTROL selector;
    MIXERLINE recording{};
    recording.cbStruct = sizeof recording;
    recording.dwDestination = 1;
    ASSERT_EQ(MixerGetLineInfo(mgr_.handle(), &recording, MIXER_GETLINEINFOF_DESTINATION), 0u);
    MIXERLINECONTROLS request{
        sizeof request,  recording.dwLineID, MIXERCONTROL_CONTROLTYPE_MIXER, 1,
        sizeof selector, &selector};
    ASSERT_EQ(MixerGetLineControls(mgr_.handle(), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE), 0u);
    std::vector<DWORD> items{0, 1, 1, 0};
    MIXERCONTROLDETAILS d{sizeof d, selector.dwControlID, 1, 4, 4, items.data()};
    ASSERT_EQ(MixerSetControlDetails(mgr_.handle(), &d, MIXER_SETCONTROLDETAILSF_VALUE), 0u);
    ASSERT_EQ(mgr_.SetMicRecordMute(0), 0u);
    items.assign(4, 9);
    ASSERT_EQ(MixerGetControlDetails(mgr_.handle(), &d, MIXER_GETCONTROLDETAILSF_VALUE), 0u);
    EXPECT_EQ(items, (std::vector<DWORD>{1, 1, 1, 0}));
}

TEST_F(MixMgr, ASelectorWithoutAMicrophoneIsNoMute) {
    VirtualCardPlan plan = VirtualCardLayoutPlan(VirtualCardLayout::Full);
    plan.destinations[1].sources.pop_back();  // line, CD, synthesizer: three items, no mic
    Start(plan);
    EXPECT_EQ(mgr_.IsMicRecordMuteControlValid(), 0);
    EXPECT_EQ(mgr_.DoesMicRecordMuteExist(), 0);
    EXPECT_EQ(mgr_.SetMicRecordMute(1), 1u);
    EXPECT_EQ(mgr_.GetMicRecordMute(), 0);
    EXPECT_EQ(mgr_.IsOverallRecordVolumeControlValid(), 1);
    EXPECT_EQ(mgr_.IsMicRecordVolumeControlValid(), 0);
}

TEST_F(MixMgr, ACardWithoutBassOrRecordingLeavesThoseOut) {
    Start(VirtualCardLayout::NoBass);
    EXPECT_EQ(mgr_.IsOverallPlaybackBassControlValid(), 0);
    EXPECT_EQ(mgr_.IsOverallPlaybackTrebleControlValid(), 1);
    EXPECT_EQ(mgr_.DoesOverallMasterBassExist(), 0);
    DWORD bass = 77;
    EXPECT_EQ(mgr_.SetOverallPlaybackBassLevel(100), 1u);
    EXPECT_EQ(mgr_.GetOverallPlaybackBassLevel(bass), 1u);
    EXPECT_EQ(bass, 77u);

    CMixMgr playbackOnly;
    InstallMixerCard(MakeVirtualMixerCard(VirtualCardLayoutPlan(VirtualCardLayout::PlaybackOnly)),
                     MixerBackend::Virtual);
    ASSERT_EQ(playbackOnly.Start(&parent_), 1);
    EXPECT_EQ(playbackOnly.IsOverallPlaybackVolumeControlValid(), 1);
    EXPECT_EQ(playbackOnly.IsWaveOutPlaybackVUMeterValid(), 1);
    EXPECT_EQ(playbackOnly.IsOverallRecordVolumeControlValid(), 0);
    EXPECT_EQ(playbackOnly.IsMicRecordMuteControlValid(), 0);
    EXPECT_EQ(playbackOnly.IsMicRecordVUMeterValid(), 0);
    EXPECT_EQ(playbackOnly.IsMicRecordVolumeControlValid(), 0);
}

TEST_F(MixMgr, WithoutAMixerEverythingIsMissingButStartSucceeds) {
    InstallMixerCard(nullptr, MixerBackend::Virtual);
    EXPECT_EQ(mgr_.Start(nullptr), 0) << "no parent, no window";
    ASSERT_EQ(mgr_.Start(&parent_), 1);
    EXPECT_EQ(mgr_.handle(), nullptr);
    EXPECT_EQ(mgr_.IsOverallPlaybackVolumeControlValid(), 0);
    EXPECT_EQ(mgr_.IsWaveOutPlaybackVUMeterValid(), 0);
    MIXERCAPS caps;
    EXPECT_NE(mgr_.GetDevCaps(0, &caps, sizeof caps), 0u);
    EXPECT_EQ(mgr_.SetOverallPlaybackVolumeLevel(1, 1), 1u);
    EXPECT_EQ(mgr_.SetOverallPlaybackMute(1), 1u);
    EXPECT_EQ(mgr_.GetOverallPlaybackMute(), 0);
    EXPECT_EQ(mgr_.GetMicRecordAGC(), 0);
    EXPECT_EQ(mgr_.DoesOverallMasterVolumeExist(), 0);
    int32_t l = 5, r = 5;
    ReportPeak(LevelSource::Output, 100, 100);
    EXPECT_EQ(mgr_.GetWaveOutPlaybackMeterValue(l, r), 1u);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(r, 0);
}

QStringList* gTrace = nullptr;
void CaptureTrace(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (gTrace && QByteArray(context.category) == "tonedeck.mixmgr")
        gTrace->append(text);
}

TEST_F(MixMgr, StartTracesTheLinesItFinds) {
    VirtualCardPlan plan = VirtualCardLayoutPlan(VirtualCardLayout::PlaybackOnly);
    VirtualLinePlan voice;
    voice.componentType = MIXERLINE_COMPONENTTYPE_DST_VOICEIN;
    voice.name = QStringLiteral("Voice");
    voice.sources.push_back({MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, QStringLiteral("Mic"), 1, {}});
    plan.destinations.push_back(voice);

    QStringList trace;
    gTrace = &trace;
    QLoggingCategory::setFilterRules(QStringLiteral("tonedeck.mixmgr.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(CaptureTrace);
    Start(plan);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    gTrace = nullptr;

    EXPECT_TRUE(trace.contains(QStringLiteral(
        "MIXMGR DESTINATION FOUND: destination:0 comp type:4 channels:2 shortname:Speakers "
        "name:Speakers")))
        << trace.join(u'\n').toStdString();
    EXPECT_TRUE(trace.contains(QStringLiteral(
        "MIXMGR SOURCE FOUND: source:4 comp type:1003 channels:1 shortname:Microphone "
        "name:Microphone")));
    // Under voice in the trace has always had a semicolon after "channels".
    EXPECT_TRUE(trace.contains(QStringLiteral(
        "MIXMGR SOURCE FOUND: source:0 comp type:1003 channels;1 shortname:Mic name:Mic")));
}

}  // namespace
