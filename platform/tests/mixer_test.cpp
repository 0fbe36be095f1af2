#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <optional>
#include <vector>

#include "platform/levels.h"
#include "platform/message.h"
#include "platform/mixer.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

class Window : public QObject, public MessageReceiver {
public:
    Window() : MessageReceiver(this) {}
};

// An open mixer on a freshly installed card, with helpers to reach lines and controls.
class VirtualMixer : public ::testing::Test {
protected:
    void Install(VirtualCardLayout layout, const QString& stateFile = {}) {
        if (mixer_)
            MixerClose(mixer_);
        mixer_ = nullptr;
        InstallMixerCard(MakeVirtualMixerCard(VirtualCardLayoutPlan(layout), stateFile),
                         MixerBackend::Virtual);
        ASSERT_EQ(MixerOpen(&mixer_, 0, nullptr, CALLBACK_NULL), MMSYSERR_NOERROR);
    }
    void TearDown() override {
        if (mixer_)
            MixerClose(mixer_);
        ResetMixerDevices();
    }

    MIXERLINE Line(DWORD destination, std::optional<DWORD> source = std::nullopt) {
        MIXERLINE line{};
        line.cbStruct = sizeof line;
        line.dwDestination = destination;
        line.dwSource = source.value_or(0);
        EXPECT_EQ(
            MixerGetLineInfo(mixer_, &line,
                             source ? MIXER_GETLINEINFOF_SOURCE : MIXER_GETLINEINFOF_DESTINATION),
            MMSYSERR_NOERROR);
        return line;
    }
    MMRESULT Control(DWORD lineId, DWORD type, MIXERCONTROL* out) {
        MIXERLINECONTROLS request{sizeof(MIXERLINECONTROLS), lineId, type, 1,
                                  sizeof(MIXERCONTROL),      out};
        return MixerGetLineControls(mixer_, &request, MIXER_GETLINECONTROLSF_ONEBYTYPE);
    }
    MMRESULT Get(const MIXERCONTROL& c, std::vector<int32_t>& values, DWORD channels) {
        MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, c.cMultipleItems,
                              4,        values.data()};
        return MixerGetControlDetails(mixer_, &d, MIXER_GETCONTROLDETAILSF_VALUE);
    }
    MMRESULT Set(const MIXERCONTROL& c, std::vector<int32_t> values, DWORD channels) {
        MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, c.cMultipleItems,
                              4,        values.data()};
        return MixerSetControlDetails(mixer_, &d, MIXER_SETCONTROLDETAILSF_VALUE);
    }

    HMIXER mixer_ = nullptr;
};

TEST_F(VirtualMixer, LinesAreFoundByIndexComponentTypeAndId) {
    Install(VirtualCardLayout::Full);
    MIXERCAPS caps;
    ASSERT_EQ(MixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.cDestinations, 2u);
    EXPECT_STREQ(caps.szPname, "Tonedeck Virtual Mixer");
    EXPECT_EQ(MixerGetDevCaps(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    const MIXERLINE speakers = Line(0);
    EXPECT_EQ(speakers.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(speakers.cConnections, 5u);
    EXPECT_EQ(speakers.cControls, 4u);
    const MIXERLINE recording = Line(1);
    EXPECT_EQ(recording.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    const MIXERLINE mic = Line(1, 3);
    EXPECT_EQ(mic.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(mic.cChannels, 1u);
    EXPECT_TRUE(mic.fdwLine & MIXERLINE_LINEF_SOURCE);
    // The very first source of the first destination still has a nonzero line id.
    EXPECT_NE(Line(0, 0).dwLineID, 0u);

    MIXERLINE byId{};
    byId.cbStruct = sizeof byId;
    byId.dwLineID = mic.dwLineID;
    ASSERT_EQ(MixerGetLineInfo(mixer_, &byId, MIXER_GETLINEINFOF_LINEID), MMSYSERR_NOERROR);
    EXPECT_EQ(byId.dwDestination, 1u);
    EXPECT_EQ(byId.dwSource, 3u);
    MIXERLINE byType{};
    byType.cbStruct = sizeof byType;
    byType.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    ASSERT_EQ(MixerGetLineInfo(mixer_, &byType, MIXER_GETLINEINFOF_COMPONENTTYPE),
              MMSYSERR_NOERROR);
    EXPECT_STREQ(byType.szName, "CD Audio");

    MIXERLINE bad{};
    bad.cbStruct = sizeof bad;
    bad.dwDestination = 2;
    EXPECT_EQ(MixerGetLineInfo(mixer_, &bad, MIXER_GETLINEINFOF_DESTINATION), MIXERR_INVALLINE);
    bad.dwDestination = 0;
    bad.dwSource = 5;
    EXPECT_EQ(MixerGetLineInfo(mixer_, &bad, MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE);
    MIXERCONTROL c;
    EXPECT_EQ(Control(0, MIXERCONTROL_CONTROLTYPE_VOLUME, &c), MIXERR_INVALLINE)
        << "line id 0 names no line";
    EXPECT_EQ(Control(speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_ONOFF, &c), MIXERR_INVALCONTROL);

    // All controls of a line at once, and one by id.
    std::vector<MIXERCONTROL> all(speakers.cControls);
    MIXERLINECONTROLS request{sizeof(MIXERLINECONTROLS), speakers.dwLineID,    0,
                              speakers.cControls,        sizeof(MIXERCONTROL), all.data()};
    ASSERT_EQ(MixerGetLineControls(mixer_, &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
    EXPECT_EQ(all[2].dwControlType, MIXERCONTROL_CONTROLTYPE_BASS);
    MIXERLINECONTROLS one{sizeof(MIXERLINECONTROLS), 0, all[3].dwControlID, 1,
                          sizeof(MIXERCONTROL),      &c};
    ASSERT_EQ(MixerGetLineControls(mixer_, &one, MIXER_GETLINECONTROLSF_ONEBYID), MMSYSERR_NOERROR);
    EXPECT_EQ(c.dwControlType, MIXERCONTROL_CONTROLTYPE_TREBLE);
    EXPECT_EQ(one.dwLineID, speakers.dwLineID);
}

TEST_F(VirtualMixer, DetailsCarryChannelsAndAreChecked) {
    Install(VirtualCardLayout::Full);
    MIXERCONTROL volume, micVolume, meter, mute;
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &mute), MMSYSERR_NOERROR);
    ASSERT_EQ(Control(Line(1, 3).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &micVolume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(Control(Line(0, 0).dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &meter),
              MMSYSERR_NOERROR);
    EXPECT_EQ(volume.Bounds.lMaximum, 0xFFFF);
    EXPECT_EQ(meter.Bounds.lMinimum, -32768);

    std::vector<int32_t> v(2);
    ASSERT_EQ(Set(volume, {1000, 60000}, 2), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(volume, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{1000, 60000}));
    // One channel writes all of them alike and reads the first.
    ASSERT_EQ(Set(volume, {7000}, 1), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(volume, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{7000, 7000}));
    // A one-channel control read as two answers alike; written as two keeps the louder.
    ASSERT_EQ(Set(micVolume, {300, 900}, 2), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(micVolume, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{900, 900}));

    // Refusals leave the value as it was.
    EXPECT_EQ(Set(volume, {65536, 0}, 2), MIXERR_INVALVALUE);
    EXPECT_EQ(Set(volume, {1, 2, 3}, 3), MMSYSERR_INVALPARAM);
    EXPECT_EQ(Set(meter, {0, 0}, 2), MMSYSERR_NOTSUPPORTED);
    MIXERCONTROLDETAILS wide{sizeof wide, volume.dwControlID, 2, 0, 8, v.data()};
    EXPECT_EQ(MixerGetControlDetails(mixer_, &wide, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_INVALPARAM);
    ASSERT_EQ(Get(volume, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{7000, 7000}));
    // Any nonzero flag is true.
    ASSERT_EQ(Set(mute, {5}, 1), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(mute, v, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(v[0], 1);

    // Meters show the peaks our own devices report, within the signed range.
    ReportPeak(LevelSource::Output, 32768, 1200);
    ASSERT_EQ(Get(meter, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{32767, 1200}));
}

TEST_F(VirtualMixer, SelectorItemsNameTheirSourceLines) {
    Install(VirtualCardLayout::Full);
    MIXERCONTROL selector;
    ASSERT_EQ(Control(Line(1).dwLineID, MIXERCONTROL_CONTROLTYPE_MIXER, &selector),
              MMSYSERR_NOERROR);
    ASSERT_EQ(selector.cMultipleItems, 4u);
    std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(4);
    MIXERCONTROLDETAILS d{sizeof d, selector.dwControlID, 1, 4, sizeof texts[0], texts.data()};
    ASSERT_EQ(MixerGetControlDetails(mixer_, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_NOERROR);
    EXPECT_EQ(texts[3].dwParam1, Line(1, 3).dwLineID);
    EXPECT_STREQ(texts[3].szName, "Microphone");

    std::vector<int32_t> items(4);
    ASSERT_EQ(Get(selector, items, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(items, (std::vector<int32_t>{0, 0, 0, 1}));
    d.cMultipleItems = 3;
    d.cbDetails = 4;
    d.paDetails = items.data();
    EXPECT_EQ(MixerGetControlDetails(mixer_, &d, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_INVALPARAM)
        << "the item count must be the control's";
}

TEST_F(VirtualMixer, HandlesOutliveTheirCardOnlyToBeClosed) {
    Install(VirtualCardLayout::Full);
    HMIXER old = mixer_;
    mixer_ = nullptr;
    InstallMixerCard(nullptr, MixerBackend::Virtual);
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    EXPECT_EQ(MixerGetLineInfo(old, &line, MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(MixerClose(old), MMSYSERR_NOERROR);
    EXPECT_EQ(MixerClose(old), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(MixerGetNumDevs(), 0u);
    HMIXER none = nullptr;
    EXPECT_EQ(MixerOpen(&none, 0, nullptr, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualMixer, ChangesAreNotifiedToTheOpeningWindow) {
    App();
    Window window;
    std::vector<LPARAM> changed;
    window.OnMessage(MM_MIXM_CONTROL_CHANGE, [&](WPARAM, LPARAM l) {
        changed.push_back(l);
        return LRESULT(0);
    });
    Install(VirtualCardLayout::Full);
    HMIXER watched = nullptr;
    ASSERT_EQ(MixerOpen(&watched, 0, &window, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    MIXERCONTROL mute;
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &mute), MMSYSERR_NOERROR);
    ASSERT_EQ(Set(mute, {1}, 1), MMSYSERR_NOERROR);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed, (std::vector<LPARAM>{static_cast<LPARAM>(mute.dwControlID)}));
    MixerClose(watched);
    EXPECT_EQ(MixerOpen(&watched, 0, nullptr, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
}

TEST_F(VirtualMixer, StateFileKeepsValuesBetweenCards) {
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("mixer.state"));
    Install(VirtualCardLayout::Full, state);
    MIXERCONTROL bass;
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_BASS, &bass), MMSYSERR_NOERROR);
    ASSERT_EQ(Set(bass, {1234}, 1), MMSYSERR_NOERROR);

    Install(VirtualCardLayout::Full, state);
    std::vector<int32_t> v(1);
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_BASS, &bass), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(bass, v, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(v[0], 1234);

    // A damaged or out-of-range entry falls back to the default, the rest still loads.
    QFile file(state);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("=1234", "=99999");
    text.append("garbage line\n0.-.50030001=12,x\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    Install(VirtualCardLayout::Full, state);
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_BASS, &bass), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(bass, v, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(v[0], 0x8000);
}

TEST_F(VirtualMixer, AStateFileRewrittenByAnotherProgramIsHeardWithoutAnyRead) {
    App();
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("mixer.state"));
    Install(VirtualCardLayout::Full, state);
    MIXERCONTROL volume, bass;
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(Control(Line(0).dwLineID, MIXERCONTROL_CONTROLTYPE_BASS, &bass), MMSYSERR_NOERROR);
    ASSERT_EQ(Set(bass, {1000}, 1), MMSYSERR_NOERROR);  // the file exists, written by us
    Window window;
    std::vector<LPARAM> changed;
    window.OnMessage(MM_MIXM_CONTROL_CHANGE, [&](WPARAM, LPARAM l) {
        changed.push_back(l);
        return LRESULT(0);
    });
    HMIXER watched = nullptr;
    ASSERT_EQ(MixerOpen(&watched, 0, &window, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(changed.empty()) << "our own writing is no news";

    // Another Tonedeck (a tool, a second user of the card) sets the volume.
    {
        auto other = MakeVirtualMixerCard(VirtualCardLayoutPlan(VirtualCardLayout::Full), state);
        const MixerCardControl* c = other->FindControl(volume.dwControlID);
        ASSERT_NE(c, nullptr);
        ASSERT_TRUE(other->WriteControl(*c, {0x1000, 0x2000}));
    }
    QDeadlineTimer deadline(5000);
    while (changed.empty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(changed, (std::vector<LPARAM>{static_cast<LPARAM>(volume.dwControlID)}));
    std::vector<int32_t> v(2);
    ASSERT_EQ(Get(volume, v, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(v, (std::vector<int32_t>{0x1000, 0x2000}));
    MixerClose(watched);
}

TEST(MixerChoice, EnvironmentPicksTheVirtualCardAndItsLayout) {
    qputenv("TONEDECK_AUDIO", "virtual");
    qputenv("TONEDECK_VIRTUAL_CARD", "playback");
    ResetMixerDevices();
    EXPECT_EQ(ChosenMixerBackend(), MixerBackend::Virtual);
    MIXERCAPS caps;
    ASSERT_EQ(MixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.cDestinations, 1u);

    qputenv("TONEDECK_VIRTUAL_CARD", "none");
    ResetMixerDevices();
    EXPECT_EQ(MixerGetNumDevs(), 0u);
    qunsetenv("TONEDECK_VIRTUAL_CARD");
    qunsetenv("TONEDECK_AUDIO");
    ResetMixerDevices();
}

}  // namespace
