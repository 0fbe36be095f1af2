// The ALSA mixer backend against a fake card: our own external control plugin
// (fakectl.c), loaded by alsa-lib from a configuration written here. The plugin keeps its
// values in a state file, so the tests set the card up before opening it and check
// afterwards what went through alsa-lib.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <optional>
#include <vector>

#include "platform/message.h"
#include "platform/mixer.h"
#include "platform/mixer_alsa.h"
#include "platform/mixercard.h"
#include "platform/registry.h"

namespace {

class AlsaMixer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString conf = dir_.filePath(QStringLiteral("asound.conf"));
        QFile file(conf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("ctl_type.tdfake { lib \"%1\" }\n"
                                  "ctl.tdcard { type tdfake state \"%2\" layout full }\n"
                                  "ctl.tdserver { type tdfake state \"%3\" layout server }\n")
                       .arg(QStringLiteral(TD_FAKECTL_PLUGIN), StatePath(QStringLiteral("card")),
                            StatePath(QStringLiteral("server")))
                       .toUtf8());
        file.close();
        qputenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf).toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath(QStringLiteral("registry")).toLocal8Bit());
    }
    void TearDown() override {
        if (mixer_)
            MixerClose(mixer_);
        ResetMixerDevices();
        qunsetenv("ALSA_CONFIG_PATH");
        qunsetenv("TONEDECK_AUDIO");
        qunsetenv("TONEDECK_REGISTRY_DIR");
    }

    QString StatePath(const QString& card) const { return dir_.filePath(card + ".state"); }
    // What the plugin holds, by control name.
    QMap<QString, QString> State(const QString& card) const {
        QMap<QString, QString> values;
        QFile file(StatePath(card));
        if (!file.open(QIODevice::ReadOnly))
            return values;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                values[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
        }
        return values;
    }
    void WriteState(const QString& card, const QByteArray& text) {
        QFile file(StatePath(card));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    void Open(const QString& device) {
        QString why;
        auto card = OpenAlsaMixerCard(device, &why);
        ASSERT_TRUE(card) << why.toStdString();
        InstallMixerCard(std::move(card), MixerBackend::Alsa);
        ASSERT_EQ(MixerOpen(&mixer_, 0, nullptr, CALLBACK_NULL), MMSYSERR_NOERROR);
    }

    // The line of the component type under the destination of the given type (or the
    // destination itself when source is 0).
    DWORD LineId(DWORD destinationType, DWORD sourceType = 0) {
        MIXERCAPS caps;
        if (MixerGetDevCaps(0, &caps, sizeof caps) != MMSYSERR_NOERROR)
            return 0;
        for (DWORD d = 0; d < caps.cDestinations; ++d) {
            MIXERLINE dest{};
            dest.cbStruct = sizeof dest;
            dest.dwDestination = d;
            MixerGetLineInfo(mixer_, &dest, MIXER_GETLINEINFOF_DESTINATION);
            if (dest.dwComponentType != destinationType)
                continue;
            if (!sourceType)
                return dest.dwLineID;
            for (DWORD s = 0; s < dest.cConnections; ++s) {
                MIXERLINE source = dest;
                source.dwSource = s;
                MixerGetLineInfo(mixer_, &source, MIXER_GETLINEINFOF_SOURCE);
                if (source.dwComponentType == sourceType)
                    return source.dwLineID;
            }
        }
        return 0;
    }
    std::optional<MIXERCONTROL> Control(DWORD lineId, DWORD type) {
        MIXERCONTROL c;
        MIXERLINECONTROLS request{sizeof(MIXERLINECONTROLS), lineId, type, 1, sizeof c, &c};
        if (MixerGetLineControls(mixer_, &request, MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
            MMSYSERR_NOERROR)
            return std::nullopt;
        return c;
    }
    std::vector<int32_t> Get(const MIXERCONTROL& c, DWORD channels) {
        std::vector<int32_t> values(std::max<DWORD>(channels, c.cMultipleItems));
        MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, c.cMultipleItems,
                              4,        values.data()};
        EXPECT_EQ(MixerGetControlDetails(mixer_, &d, MIXER_GETCONTROLDETAILSF_VALUE),
                  MMSYSERR_NOERROR);
        return values;
    }
    MMRESULT Set(const MIXERCONTROL& c, std::vector<int32_t> values, DWORD channels) {
        MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, c.cMultipleItems,
                              4,        values.data()};
        return MixerSetControlDetails(mixer_, &d, MIXER_SETCONTROLDETAILSF_VALUE);
    }

    QTemporaryDir dir_;
    HMIXER mixer_ = nullptr;
};

constexpr DWORD kSpeakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr DWORD kWaveIn = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;

TEST_F(AlsaMixer, MasterToneAndMuteGoThroughAlsaScaled) {
    WriteState(QStringLiteral("card"), "Master Playback Volume=80,25\nTone Control - Bass=10\n");
    Open(QStringLiteral("tdcard"));
    MIXERCAPS caps;
    ASSERT_EQ(MixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Tonedeck Test Mixer");
    EXPECT_GE(caps.vDriverVersion, 0x0100u);

    const DWORD speakers = LineId(kSpeakers);
    auto volume = Control(speakers, MIXERCONTROL_CONTROLTYPE_VOLUME);
    auto mute = Control(speakers, MIXERCONTROL_CONTROLTYPE_MUTE);
    auto bass = Control(speakers, MIXERCONTROL_CONTROLTYPE_BASS);
    auto treble = Control(speakers, MIXERCONTROL_CONTROLTYPE_TREBLE);
    ASSERT_TRUE(volume && mute && bass && treble);

    // 0..100 on the card is 0..65535 here, and back.
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{52428, 16384}));
    ASSERT_EQ(Set(*volume, {65535, 32768}, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Master Playback Volume"], "100,50");
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{65535, 32768}));

    EXPECT_EQ(Get(*bass, 1)[0], 16384);  // 10 of 0..40
    ASSERT_EQ(Set(*bass, {65535}, 1), MMSYSERR_NOERROR);
    ASSERT_EQ(Set(*treble, {0}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Tone Control - Bass"], "40");
    EXPECT_EQ(State("card")["Tone Control - Treble"], "0");

    EXPECT_EQ(Get(*mute, 1)[0], 0);
    ASSERT_EQ(Set(*mute, {1}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Master Playback Switch"], "0,0") << "muted is the switch off";
    EXPECT_EQ(Get(*mute, 1)[0], 1);

    // What was written is there for the next program that opens the card.
    MixerClose(mixer_);
    mixer_ = nullptr;
    Open(QStringLiteral("tdcard"));
    volume = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_TRUE(volume);
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{65535, 32768}));
}

TEST_F(AlsaMixer, ChangesOtherProgramsMakeShowAtTheNextRead) {
    Open(QStringLiteral("tdcard"));
    auto volume = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_VOLUME);
    auto mute = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_TRUE(volume && mute);
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{52428, 52428}));
    WriteState(QStringLiteral("card"), "Master Playback Volume=10,0\nMaster Playback Switch=0,0\n");
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{6554, 0}));
    EXPECT_EQ(Get(*mute, 1)[0], 1);
}

TEST_F(AlsaMixer, ControlEventsReachTheOpeningWindowWithoutAnyRead) {
    // The application keeps its arguments for its whole life.
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    Open(QStringLiteral("tdcard"));
    auto volume = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_VOLUME);
    auto mute = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_TRUE(volume && mute);

    struct Window : QObject, MessageReceiver {
        Window() : MessageReceiver(this) {
            OnMessage(MM_MIXM_CONTROL_CHANGE, [this](WPARAM, LPARAM id) {
                changed.push_back(DWORD(id));
                return LRESULT(0);
            });
        }
        std::vector<DWORD> changed;
    } window;
    HMIXER watched = nullptr;
    ASSERT_EQ(MixerOpen(&watched, 0, &window, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    // Another program moves the master volume and mutes; nobody here reads meanwhile.
    WriteState(QStringLiteral("card"), "Master Playback Volume=10,0\nMaster Playback Switch=0,0\n");
    auto heard = [&](DWORD id) {
        return std::find(window.changed.begin(), window.changed.end(), id) != window.changed.end();
    };
    QDeadlineTimer deadline(5000);
    while (!(heard(volume->dwControlID) && heard(mute->dwControlID)) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(heard(volume->dwControlID));
    EXPECT_TRUE(heard(mute->dwControlID));
    EXPECT_FALSE(heard(Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_BASS)->dwControlID))
        << "only the controls that changed";
    EXPECT_EQ(Get(*volume, 2), (std::vector<int32_t>{6554, 0}));
    MixerClose(watched);
}

TEST_F(AlsaMixer, AVolumeWithADecibelScaleStepsByLoudness) {
    // PCM: 0..255 steps of 0.2 dB from -51 dB. Half the scale is about -14.6 dB (raw 182),
    // not half the raw range (-25.5 dB), as alsamixer's mapped volume has it.
    WriteState(QStringLiteral("card"), "PCM Playback Volume=255,0\n");
    Open(QStringLiteral("tdcard"));
    auto pcm = Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT),
                       MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(Get(*pcm, 2), (std::vector<int32_t>{65535, 0}));
    ASSERT_EQ(Set(*pcm, {32768, 32768}, 2), MMSYSERR_NOERROR);
    const QStringList raw = State("card")["PCM Playback Volume"].split(',');
    ASSERT_EQ(raw.size(), 2);
    EXPECT_NEAR(raw[0].toInt(), 182, 1);
    const std::vector<int32_t> back = Get(*pcm, 2);
    EXPECT_NEAR(back[0], 32768, 600);  // within one raw step of 0.2 dB
    // Every step of the bar's buttons moves the control, even at the quiet end.
    ASSERT_EQ(Set(*pcm, {0, 0}, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["PCM Playback Volume"], "0,0");
    EXPECT_EQ(Get(*pcm, 2), (std::vector<int32_t>{0, 0}));
    int32_t level = 0;
    int steps = 0;
    while (level < 65535 && steps < 40) {
        const int32_t wanted = std::min(65535, level + 2048);
        ASSERT_EQ(Set(*pcm, {wanted, wanted}, 2), MMSYSERR_NOERROR);
        const int32_t now = Get(*pcm, 2)[0];
        ++steps;
        ASSERT_GT(now, level) << "step " << steps;
        level = now;
    }
    EXPECT_GE(steps, 28) << "steps of about 2048 each, none much larger";
    EXPECT_LE(steps, 32);
    EXPECT_EQ(State("card")["PCM Playback Volume"], "255,255");
    // The master volume has no decibel scale: it stays linear in its raw values.
    auto master = Control(LineId(kSpeakers), MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_EQ(Set(*master, {32768, 32768}, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Master Playback Volume"], "50,50");
}

TEST_F(AlsaMixer, SourcesAndTheRecordingSideMapToTheirElements) {
    Open(QStringLiteral("tdcard"));
    EXPECT_TRUE(Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT),
                        MIXERCONTROL_CONTROLTYPE_VOLUME));
    EXPECT_TRUE(Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT),
                        MIXERCONTROL_CONTROLTYPE_PEAKMETER));
    EXPECT_TRUE(Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC),
                        MIXERCONTROL_CONTROLTYPE_MUTE));
    EXPECT_EQ(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER), 0u)
        << "the card has no synthesizer";

    auto record = Control(LineId(kWaveIn), MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_TRUE(record);
    ASSERT_EQ(Set(*record, {65535, 0}, 2), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Capture Volume"], "63,0");

    const DWORD mic = LineId(kWaveIn, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    auto micVolume = Control(mic, MIXERCONTROL_CONTROLTYPE_VOLUME);
    auto agc = Control(mic, MIXERCONTROL_CONTROLTYPE_ONOFF);
    ASSERT_TRUE(micVolume && agc);
    EXPECT_EQ(Get(*micVolume, 1)[0], 41610);  // 40 of 0..63
    ASSERT_EQ(Set(*agc, {1}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Auto Gain Control Switch"], "1");

    // The selector is made of the sources' capture switches, as the card has them: Line, CD
    // and Mic in their usual order, then the card's own Video input.
    auto selector = Control(LineId(kWaveIn), MIXERCONTROL_CONTROLTYPE_MIXER);
    ASSERT_TRUE(selector);
    ASSERT_EQ(selector->cMultipleItems, 4u);
    std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(4);
    MIXERCONTROLDETAILS d{sizeof d, selector->dwControlID, 1, 4, sizeof texts[0], texts.data()};
    ASSERT_EQ(MixerGetControlDetails(mixer_, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_NOERROR);
    EXPECT_EQ(texts[2].dwParam1, mic);
    EXPECT_STREQ(texts[3].szName, "Video");
    EXPECT_EQ(texts[3].dwParam2, MIXERLINE_COMPONENTTYPE_SRC_ANALOG);
    EXPECT_EQ(Get(*selector, 1), (std::vector<int32_t>{0, 0, 1, 0}));
    ASSERT_EQ(Set(*selector, {1, 0, 0, 1}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("card")["Video Capture Switch"], "1,1");
    EXPECT_EQ(State("card")["Line Capture Switch"], "1,1");
    EXPECT_EQ(State("card")["Mic Capture Switch"], "0");
}

TEST_F(AlsaMixer, ASoundServersMasterAndCaptureServeTheMicrophoneToo) {
    Open(QStringLiteral("tdserver"));
    const DWORD speakers = LineId(kSpeakers);
    EXPECT_TRUE(Control(speakers, MIXERCONTROL_CONTROLTYPE_VOLUME));
    EXPECT_TRUE(Control(speakers, MIXERCONTROL_CONTROLTYPE_MUTE));
    EXPECT_FALSE(Control(speakers, MIXERCONTROL_CONTROLTYPE_BASS));
    EXPECT_FALSE(Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT),
                         MIXERCONTROL_CONTROLTYPE_VOLUME));
    EXPECT_TRUE(Control(LineId(kSpeakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT),
                        MIXERCONTROL_CONTROLTYPE_PEAKMETER))
        << "the output meter is always there";

    auto micVolume = Control(LineId(kWaveIn, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE),
                             MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_TRUE(micVolume);
    ASSERT_EQ(Set(*micVolume, {65535}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("server")["Capture Volume"], "65536,65536");
    auto selector = Control(LineId(kWaveIn), MIXERCONTROL_CONTROLTYPE_MIXER);
    ASSERT_TRUE(selector);
    ASSERT_EQ(Set(*selector, {0}, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(State("server")["Capture Switch"], "0");
}

TEST_F(AlsaMixer, TheRegistryNamesTheCardAndAMissingOneIsReported) {
    qputenv("TONEDECK_AUDIO", "alsa");
    auto key = RegKey::Create(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck\\Audio"));
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetString(QStringLiteral("MixerDevice"), QStringLiteral("tdcard")));
    ResetMixerDevices();
    EXPECT_EQ(ChosenMixerBackend(), MixerBackend::Alsa);
    MIXERCAPS caps;
    ASSERT_EQ(MixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Tonedeck Test Mixer");

    ASSERT_TRUE(key->SetString(QStringLiteral("MixerDevice"), QStringLiteral("nosuchcard")));
    QString why;
    EXPECT_FALSE(OpenAlsaMixerCard(QStringLiteral("nosuchcard"), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("nosuchcard"))) << why.toStdString();
    ResetMixerDevices();
    EXPECT_EQ(ChosenMixerBackend(), MixerBackend::None) << "asked for ALSA, got none";
    EXPECT_EQ(MixerGetNumDevs(), 0u);

    qunsetenv("TONEDECK_AUDIO");
    ResetMixerDevices();
    EXPECT_EQ(ChosenMixerBackend(), MixerBackend::Virtual) << "not asked: the virtual card";
}

}  // namespace
