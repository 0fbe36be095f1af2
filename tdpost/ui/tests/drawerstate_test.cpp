// The recorder drawer's state machine against the virtual sound device: recording,
// stopping, playing, the questions it asks, posting, saving, pasting and recovery.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/audiobackend.h"
#include "platform/levels.h"
#include "platform/message.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"
#include "platform/registry.h"
#include "tdkit/audio/acm.h"
#include "tdkit/audio/mixmgr.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/aoldialogs.h"
#include "tdkit/ui/vuwnd.h"
#include "tdkit/ui/waveformdisplay.h"
#include "tdpost/recorderfiles.h"
#include "tdpost/ui/drawervgram.h"
#include "tdpost/ui/recorderpages.h"

namespace {

int argc = 1;
char arg0[] = "tdpost_ui_tests";
char* argv[] = {arg0, nullptr};

bool Pump(const std::function<bool()>& done, int ms = 60000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 SoxSamples(const QString& path) {
    QProcess p;
    p.start("sox", {"--i", "-s", path});
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput().trimmed().toLongLong() : -1;
}

void SoxTone(const QString& path, double seconds) {
    QProcess p;
    p.start("sox", {"-D", "-n", "-r", "8000", "-b", "8", "-c", "1", "-e", "unsigned", path, "synth",
                    QString::number(seconds), "sine", "500", "vol", "0.5"});
    p.waitForFinished(30000);
}

// The bar as the drawers see it.
class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        setGeometry(0, 0, 800, 40);
        show();
        OnMessage(WM_BAR_CANUSEAUDIO, [](WPARAM, LPARAM) { return LRESULT(1); });
        OnMessage(WM_BAR_DRAWERSOUND, [](WPARAM, LPARAM) { return LRESULT(0); });
        OnMessage(WM_BAR_TOMEMOS, [this](WPARAM w, LPARAM l) {
            memos.push_back(QFile::decodeName(reinterpret_cast<const char*>(l)));
            EXPECT_EQ(w, WPARAM(1));
            return LRESULT(1);
        });
        OnMessage(WM_BAR_TOSONOSCOUT, [this](WPARAM, LPARAM l) {
            saved.push_back(QFile::decodeName(reinterpret_cast<const char*>(l)));
            return LRESULT(1);
        });
        for (UINT m : {WM_BAR_RECORDERCLOSED, WM_BAR_VOICEGRAMCLOSED, WM_BAR_MEMOCREATORCLOSED})
            OnMessage(m, [this, m](WPARAM, LPARAM) {
                closed.push_back(m);
                return LRESULT(0);
            });
    }
    std::vector<QString> memos, saved;
    std::vector<UINT> closed;
    PROPERTIES props{};
};

class DrawerState : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        ASSERT_TRUE(dir_.isValid() && runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir_.filePath("reg").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.filePath("root"), "Ann").ok);
        // The desktop of the test, never the real one.
        auto shell = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kShellFoldersKey));
        ASSERT_TRUE(shell && shell->SetString("Desktop", dir_.filePath("Desktop")));
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        VirtualInput tone;
        tone.kind = VirtualInput::Kind::Tone;
        tone.amplitude = 12000;
        SetVirtualInput(tone);
        CSlidingDrawer::SetSlideClock([this] { return now_; });
        bar_ = std::make_unique<Bar>();
        for (RECORDPROPERTIES* p : {&bar_->props.RecorderProps, &bar_->props.SendVoicegramProps,
                                    &bar_->props.CreateEchoMemoProps}) {
            p->nMaxMinutes = 1;
            p->nQuality = 0;
        }
    }
    void TearDown() override {
        delete drawer_;
        bar_.reset();
        CSlidingDrawer::SetSlideClock(nullptr);
        ForceAudioBackend(std::nullopt);
        SetVirtualInput({});
    }

    CDrawerVGram* Open(RECORDERDRAWERTYPE type, CMixMgr* mixer = nullptr) {
        RECORDPROPERTIES* props = type == RDT_RECORDER    ? &bar_->props.RecorderProps
                                  : type == RDT_VOICEGRAM ? &bar_->props.SendVoicegramProps
                                                          : &bar_->props.CreateEchoMemoProps;
        const QPoint anchor(100, 20);
        drawer_ = new CDrawerVGram(&anchor, mixer, props, &bar_->props.MailProps, nullptr,
                                   bar_.get(), &bar_->props.VoxProps);
        drawer_->messageBox = [this](const QString& caption, const QString& text, int, int) {
            boxes_.push_back(caption + ": " + text);
            EXPECT_TRUE(drawer_->IsInModal()) << "busy while a box is open";
            return answer_;
        };
        drawer_->offerRecovered = [this](const QString& path, DWORD) {
            offered_ << path;
            return takeRecovered_;
        };
        EXPECT_EQ(drawer_->CreateDrawer(1, type, 1), 1);
        Slide();
        return drawer_;
    }
    void Slide() {
        QCoreApplication::processEvents();
        now_ += 1000;
        if (drawer_)
            drawer_->StepSlide();
    }
    // Records about the given number of samples, then stops.
    void RecordSamples(DWORD samples) {
        drawer_->OnCommand(ID_RECORDER_RECORD);
        ASSERT_TRUE(drawer_->IsRecording());
        ASSERT_TRUE(Pump([&] { return drawer_->Recorder().SamplesRecorded() >= samples; }));
        drawer_->OnCommand(ID_RECORDER_STOP);
        ASSERT_FALSE(drawer_->IsRecording());
    }
    int Boxes(const QString& caption) const {
        int n = 0;
        for (const QString& b : boxes_)
            n += b.startsWith(caption + ":");
        return n;
    }

    QTemporaryDir dir_, runtime_;
    int64_t now_ = 0;
    std::unique_ptr<Bar> bar_;
    QPointer<CDrawerVGram> drawer_;
    QStringList boxes_, offered_;
    int answer_ = CDrawerVGram::IDYES;
    int takeRecovered_ = 0;
};

TEST_F(DrawerState, RecordStopPlayAndTheClosingQuestion) {
    Open(RDT_RECORDER);
    EXPECT_TRUE(drawer_->Action(ID_RECORDER_RECORD)->isEnabled());
    EXPECT_FALSE(drawer_->Action(ID_RECORDER_PLAY)->isEnabled());
    EXPECT_TRUE(drawer_->IsDropRegistered());
    drawer_->OnCommand(ID_RECORDER_RECORD);
    EXPECT_FALSE(drawer_->IsDropRegistered()) << "no drops while recording";
    EXPECT_FALSE(drawer_->IsRecorderAvailable());
    EXPECT_FALSE(drawer_->Action(ID_RECORDER_COPY)->isEnabled());
    ASSERT_TRUE(Pump([&] { return drawer_->Recorder().SamplesRecorded() >= 8000; }));
    drawer_->OnCommand(ID_RECORDER_STOP);
    EXPECT_TRUE(drawer_->IsDropRegistered());
    EXPECT_FALSE(drawer_->IsRecorderEmpty());
    EXPECT_TRUE(drawer_->IsModified());
    const QString work = drawer_->GetWorkFile();
    EXPECT_TRUE(QFileInfo(work).fileName().startsWith("VG"));
    EXPECT_EQ(SoxSamples(work), qint64(drawer_->LastSample()));
    EXPECT_GE(drawer_->LastSample(), 8000u);
    // The work file carries the working description.
    WAVEFILETYPE type = WAVEFILETYPE_SOUND;
    char description[64] = {};
    DWORD seconds = 0;
    ASSERT_TRUE(GetInfoFromRIFFFile(work, type, description, sizeof description, seconds, nullptr));
    EXPECT_EQ(type, WAVEFILETYPE_WORKING);
    EXPECT_STREQ(description, "VOICEGRAM FILE");

    drawer_->OnCommand(ID_RECORDER_PLAY);
    EXPECT_TRUE(drawer_->IsPlaying());
    ASSERT_TRUE(Pump([&] {
        drawer_->OnTimer();
        return !drawer_->IsPlaying();
    }));
    EXPECT_TRUE(boxes_.isEmpty());

    answer_ = CDrawerVGram::IDNO;
    SendMessage(drawer_, WM_CLOSE);
    EXPECT_EQ(Boxes("Recording Will Be Lost"), 1);
    EXPECT_FALSE(drawer_->IsClosing());
    EXPECT_TRUE(QFileInfo::exists(work));
    answer_ = CDrawerVGram::IDYES;
    SendMessage(drawer_, WM_CLOSE);
    EXPECT_EQ(Boxes("Recording Will Be Lost"), 2);
    Slide();
    EXPECT_EQ(bar_->closed, std::vector<UINT>{WM_BAR_RECORDERCLOSED});
    EXPECT_FALSE(QFileInfo::exists(work)) << "the work file goes with the drawer";
}

// The meters show the recording level where the mixer has no recording meter (a card that
// only plays, or no mixer at all): the level comes from the recorder's own input device.
TEST_F(DrawerState, TheMetersShowTheLevelWithoutARecordingMeter) {
    SetLevelClock([] { return int64_t(5000); });  // levels never age during the test
    QObject owner;
    CMixMgr playbackOnly;
    InstallMixerCard(MakeVirtualMixerCard(VirtualCardLayoutPlan(VirtualCardLayout::PlaybackOnly)),
                     MixerBackend::Virtual);
    ASSERT_EQ(playbackOnly.Start(&owner), 1);
    ASSERT_EQ(playbackOnly.IsMicRecordVUMeterValid(), 0);
    for (CMixMgr* mixer : {&playbackOnly, static_cast<CMixMgr*>(nullptr)}) {
        SCOPED_TRACE(mixer ? "a card that only plays" : "no mixer");
        Open(RDT_RECORDER, mixer);
        drawer_->OnTimer();
        EXPECT_EQ(drawer_->MeterLeft()->GetPos(), 0);
        drawer_->OnCommand(ID_RECORDER_RECORD);
        // Levels are measured once a meter reads them: the first buffers after the start
        // may read dark, the level shows by the next ones.
        ASSERT_TRUE(Pump([&] {
            drawer_->OnTimer();
            return drawer_->Recorder().SamplesRecorded() >= 4000 &&
                   drawer_->MeterLeft()->GetPos() > 0;
        }));
        // The tone's peak of 12000, doubled as the meters show it.
        EXPECT_NEAR(drawer_->MeterLeft()->GetPos(), 24000, 600);
        EXPECT_NEAR(drawer_->MeterRight()->GetPos(), 24000, 600);
        drawer_->OnCommand(ID_RECORDER_STOP);
        EXPECT_EQ(drawer_->MeterLeft()->GetPos(), 0) << "dark again once stopped";
        answer_ = CDrawerVGram::IDNO;
        delete drawer_;
    }
    SetLevelClock(nullptr);
    ResetMixerDevices();
}

TEST_F(DrawerState, RecordingFromTheMiddleAsksBeforeErasing) {
    Open(RDT_RECORDER);
    RecordSamples(8000);
    const QString work = drawer_->GetWorkFile();
    const QByteArray before = Bytes(work);
    const DWORD last = drawer_->LastSample();
    SendMessage(drawer_, WM_WAVEFORM_CLICKED, last / 2);
    EXPECT_EQ(drawer_->Waveform()->GetPos(), last / 2);
    answer_ = CDrawerVGram::IDNO;
    drawer_->OnCommand(ID_RECORDER_RECORD);
    EXPECT_EQ(Boxes("Caution"), 1);
    EXPECT_FALSE(drawer_->IsRecording());
    EXPECT_TRUE(drawer_->IsDropRegistered());
    EXPECT_EQ(Bytes(work), before);
    // At the end nothing is erased, so nothing is asked.
    drawer_->OnCommand(ID_RECORDER_SKIPEND);
    EXPECT_EQ(drawer_->Waveform()->GetPos(), last);
    RecordSamples(last + 2000);
    EXPECT_EQ(Boxes("Caution"), 1);
    EXPECT_GT(drawer_->LastSample(), last);
    // Yes from the middle records over the rest.
    SendMessage(drawer_, WM_WAVEFORM_CLICKED, 2000);
    answer_ = CDrawerVGram::IDYES;
    drawer_->OnCommand(ID_RECORDER_RECORD);
    EXPECT_EQ(Boxes("Caution"), 2);
    EXPECT_TRUE(drawer_->IsRecording());
    drawer_->OnCommand(ID_RECORDER_STOP);
    EXPECT_LT(drawer_->LastSample(), last);
}

TEST_F(DrawerState, TheMaximumLengthStopIsToldOnce) {
    Open(RDT_RECORDER);
    drawer_->OnCommand(ID_RECORDER_RECORD);
    ASSERT_TRUE(Pump([&] { return !drawer_->Recorder().StillRecording(); }));
    for (int i = 0; i < 5; ++i)
        drawer_->OnTimer();
    EXPECT_EQ(Boxes("Maximum Recording Time Reached"), 1);
    EXPECT_FALSE(drawer_->IsRecording());
    EXPECT_TRUE(drawer_->Action(ID_RECORDER_PLAY)->isEnabled());
    EXPECT_GT(drawer_->LastSample(), 8000u * 50);
}

TEST_F(DrawerState, PostMakesAMemoAndTheMemoDrawerClosesWithoutAsking) {
    Open(RDT_ECHOMEMO);
    EXPECT_EQ(drawer_->Action(ID_RECORDER_SAVEFILE), nullptr);
    RecordSamples(4000);
    drawer_->askSchedule = [](ECHOMEMOSTRUCT* memo, QString* description) {
        memo->frequency = MEMO_DAILY;
        memo->dailyTime = 9 * 3600;
        *description = QString(300, QLatin1Char('d'));  // longer than a memo keeps
        return true;
    };
    drawer_->OnCommand(ID_RECORDER_POST);
    ASSERT_EQ(bar_->memos.size(), 1u);
    const QString memo = bar_->memos.front();
    QString memoDir;
    ASSERT_TRUE(GetEchoMemosDirectory(memoDir));
    EXPECT_EQ(QFileInfo(memo).absolutePath(), QFileInfo(memoDir).absoluteFilePath());
    WAVEFILETYPE type = WAVEFILETYPE_SOUND;
    char description[512] = {};
    DWORD seconds = 0;
    ECHOMEMOSTRUCT note{};
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(memo, type, description, sizeof description, seconds, &note,
                                        SOUNDFILETYPE_WAV));
    EXPECT_EQ(type, WAVEFILETYPE_ECHOMEMO);
    EXPECT_EQ(std::strlen(description), 255u);
    EXPECT_EQ(note.frequency, MEMO_DAILY);
    EXPECT_GT(note.lastPlayed, 0u);
    EXPECT_FALSE(drawer_->IsModified());
    EXPECT_TRUE(drawer_->IsClosing());
    Slide();
    EXPECT_TRUE(boxes_.isEmpty());
    EXPECT_EQ(bar_->closed, std::vector<UINT>{WM_BAR_MEMOCREATORCLOSED});
}

// "Compress Echo Memo" ticked in the settings: the posted memo is compressed, carries its
// memo information and the memo list can read it.
TEST_F(DrawerState, ACompressedPostLandsCompressedInTheMemoFolder) {
    bar_->props.CreateEchoMemoProps.bCompress = 1;
    Open(RDT_ECHOMEMO);
    RecordSamples(8000);
    drawer_->askSchedule = [](ECHOMEMOSTRUCT* memo, QString* description) {
        memo->frequency = MEMO_USER_INITIATED;
        *description = QStringLiteral("Small");
        return true;
    };
    drawer_->OnCommand(ID_RECORDER_POST);
    ASSERT_EQ(bar_->memos.size(), 1u) << boxes_.join('\n').toStdString();
    const QString memo = bar_->memos.front();
    const CACMFormatPtr format = CACM::GetFormatFromFile(memo);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->wFormatTag, WAVE_FORMAT_DSPGROUP_TRUESPEECH);
    WAVEFILETYPE type = WAVEFILETYPE_SOUND;
    char description[256] = {};
    DWORD seconds = 0;
    ECHOMEMOSTRUCT note{};
    ASSERT_TRUE(GetNoteInfoFromRIFFFile(memo, type, description, sizeof description, seconds, &note,
                                        SOUNDFILETYPE_WAV));
    EXPECT_STREQ(description, "Small");
    EXPECT_EQ(note.frequency, MEMO_USER_INITIATED);
    EXPECT_TRUE(boxes_.isEmpty());
    // Only the memo is in the folder: nothing half-written beside it.
    QString memoDir;
    ASSERT_TRUE(GetEchoMemosDirectory(memoDir));
    EXPECT_EQ(QDir(memoDir).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(DrawerState, ACancelledOrFailedPostKeepsTheRecording) {
    Open(RDT_RECORDER);
    RecordSamples(4000);
    drawer_->askSchedule = [](ECHOMEMOSTRUCT*, QString*) { return false; };
    drawer_->OnCommand(ID_RECORDER_POST);
    EXPECT_TRUE(bar_->memos.empty());
    EXPECT_TRUE(drawer_->IsModified());
    // The memo folder has gone: the post fails and says so.
    drawer_->askSchedule = [](ECHOMEMOSTRUCT*, QString*) { return true; };
    QString memoDir;
    ASSERT_TRUE(GetEchoMemosDirectory(memoDir));
    ASSERT_TRUE(QDir(memoDir).removeRecursively());
    drawer_->OnCommand(ID_RECORDER_POST);
    EXPECT_EQ(Boxes("Error"), 1);
    EXPECT_TRUE(bar_->memos.empty());
    EXPECT_TRUE(drawer_->IsModified());
    EXPECT_FALSE(drawer_->IsClosing());
}

TEST_F(DrawerState, SavedAndPlacedRecordingsCloseWithoutAQuestion) {
    Open(RDT_RECORDER);
    RecordSamples(4000);
    const QString target = dir_.filePath("kept.wav");
    drawer_->askSaveFileName = [&] { return target; };
    drawer_->OnCommand(ID_RECORDER_SAVEFILE);
    ASSERT_EQ(bar_->saved, std::vector<QString>{target});
    EXPECT_EQ(Bytes(target), Bytes(drawer_->GetWorkFile()));
    EXPECT_FALSE(drawer_->IsModified());

    drawer_->OnCommand(ID_RECORDER_DESKTOP);
    ASSERT_EQ(bar_->saved.size(), 2u);
    EXPECT_TRUE(QFileInfo(bar_->saved[1]).fileName().startsWith("TDF"));
    EXPECT_EQ(QFileInfo(bar_->saved[1]).absolutePath(), dir_.filePath("Desktop"));
    EXPECT_EQ(Boxes("File Saved"), 1);
    boxes_.clear();
    SendMessage(drawer_, WM_CLOSE);
    EXPECT_TRUE(boxes_.isEmpty());
    Slide();
    EXPECT_EQ(bar_->closed.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(DrawerState, PastingIntoAnEmptyDrawerAsksNothingThenJoinsAsChosen) {
    const QString sound = dir_.filePath("half.wav");
    SoxTone(sound, 0.5);
    Open(RDT_RECORDER);
    int asked = 0;
    PASTETYPE choice = PASTE_APPEND;
    drawer_->askPasteType = [&](PASTETYPE* t) {
        ++asked;
        *t = choice;
        return true;
    };
    ASSERT_EQ(drawer_->PasteWAVFile(sound), 1);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(QFileInfo(drawer_->GetWorkFile()).fileName().startsWith("AD"));
    EXPECT_EQ(drawer_->LastSample(), 4000u);
    EXPECT_EQ(drawer_->Waveform()->GetPos(), 4000u);
    EXPECT_TRUE(drawer_->IsModified());

    ASSERT_EQ(drawer_->PasteWAVFile(sound), 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(drawer_->LastSample(), 8000u);
    EXPECT_EQ(SoxSamples(drawer_->GetWorkFile()), 8000);
    choice = PASTE_REPLACE;
    ASSERT_EQ(drawer_->PasteWAVFile(sound), 1);
    EXPECT_EQ(drawer_->LastSample(), 4000u);
    // Its own work file, or a sound in another format that converts.
    EXPECT_EQ(drawer_->PasteWAVFile(drawer_->GetWorkFile()), 0);
    EXPECT_EQ(Boxes("Paste Error"), 1);
    const QString cd = dir_.filePath("cd.wav");
    QProcess p;
    p.start("sox",
            {"-D", "-n", "-r", "44100", "-b", "16", "-c", "2", cd, "synth", "1", "sine", "300"});
    p.waitForFinished(30000);
    choice = PASTE_INSERT;
    ASSERT_EQ(drawer_->PasteWAVFile(cd), 1);
    EXPECT_EQ(drawer_->LastSample(), 12000u);
    // Past the maximum only after a Yes.
    const QString longer = dir_.filePath("long.wav");
    SoxTone(longer, 59.0);
    choice = PASTE_APPEND;
    answer_ = CDrawerVGram::IDNO;
    EXPECT_EQ(drawer_->PasteWAVFile(longer), 0);
    EXPECT_EQ(Boxes("Warning"), 1);
    EXPECT_EQ(drawer_->LastSample(), 12000u);
    answer_ = CDrawerVGram::IDYES;
    EXPECT_EQ(drawer_->PasteWAVFile(longer), 1);
    EXPECT_EQ(drawer_->LastSample(), drawer_->Recorder().GetMaxSamples());
}

TEST_F(DrawerState, SettingsOutsideTheAllowedValuesAreKeptButRefused) {
    bar_->props.RecorderProps.nQuality = 7;
    Open(RDT_RECORDER);
    drawer_->OnCommand(ID_RECORDER_RECORD);
    EXPECT_FALSE(drawer_->IsRecording());
    ASSERT_EQ(Boxes("Recording Settings"), 1);
    EXPECT_TRUE(boxes_.front().contains("quality"));
    EXPECT_EQ(bar_->props.RecorderProps.nQuality, 7);
    EXPECT_TRUE(drawer_->IsRecorderEmpty());
}

TEST_F(DrawerState, CopyPutsASnapshotOnTheClipboard) {
    Open(RDT_RECORDER);
    RecordSamples(4000);
    EXPECT_TRUE(drawer_->Action(ID_RECORDER_COPY)->isEnabled());
    drawer_->OnCommand(ID_RECORDER_COPY);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasUrls());
    const QString copied = data->urls().front().toLocalFile();
    EXPECT_NE(QFileInfo(copied).absoluteFilePath(),
              QFileInfo(drawer_->GetWorkFile()).absoluteFilePath());
    EXPECT_EQ(QFileInfo(copied).fileName(), QFileInfo(drawer_->GetWorkFile()).fileName());
    EXPECT_EQ(Bytes(copied), Bytes(drawer_->GetWorkFile()));
    EXPECT_TRUE(data->hasFormat("x-special/gnome-copied-files"));
    EXPECT_EQ(data->data("audio/x-wav"), Bytes(copied));
    QCoreApplication::processEvents();
    EXPECT_TRUE(drawer_->Action(ID_RECORDER_PASTE)->isEnabled());
}

TEST_F(DrawerState, ARecordingLeftByACrashIsOfferedBack) {
    // A work file as a crash leaves it: the sizes in its header were never written.
    const QString tmp = runtime_.path() + "/tonedeck/tmp";
    ASSERT_TRUE(QDir().mkpath(tmp));
    const QString made = dir_.filePath("made.wav");
    SoxTone(made, 1.0);
    QByteArray image = Bytes(made);
    std::memset(image.data() + 40, 0, 4);
    const QString crashed = tmp + "/VGBEEF.WAV";
    QFile f(crashed);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();
    takeRecovered_ = 1;
    Open(RDT_RECORDER);
    EXPECT_EQ(offered_, QStringList{crashed});
    EXPECT_FALSE(drawer_->IsRecorderEmpty());
    EXPECT_EQ(drawer_->LastSample(), 8000u);
    EXPECT_EQ(drawer_->GetWorkFile(), crashed);
    EXPECT_TRUE(drawer_->IsModified());
    // A second drawer does not take the file the first one holds.
    auto* first = drawer_.data();
    drawer_ = nullptr;
    offered_.clear();
    Open(RDT_ECHOMEMO);
    EXPECT_TRUE(offered_.isEmpty());
    delete first;
}

TEST_F(DrawerState, SendVoicegramSaysMailIsNotSetUpAndKeepsTheRecording) {
    // Without any mail service the Send Voicegram drawer closes as soon as it opens.
    Open(RDT_VOICEGRAM);
    Slide();
    EXPECT_EQ(bar_->closed, std::vector<UINT>{WM_BAR_VOICEGRAMCLOSED});
    delete drawer_;

    // With one, and recording at once when the settings say so.
    bar_->props.MailProps.bAOL = 1;
    bar_->props.SendVoicegramProps.bStartOnOpen = 1;
    Open(RDT_VOICEGRAM);
    EXPECT_TRUE(drawer_->IsMailAvailable());
    ASSERT_TRUE(Pump([&] { return drawer_->IsRecording() != 0; }));
    ASSERT_TRUE(Pump([&] { return drawer_->Recorder().SamplesRecorded() >= 4000; }));
    drawer_->OnCommand(ID_RECORDER_STOP);
    const QString work = drawer_->GetWorkFile();
    QString handed;
    auto mail = drawer_->sendVoicegram;
    drawer_->sendVoicegram = [&](const VoicegramSending& s) {
        handed = s.file;
        EXPECT_EQ(Bytes(s.file), Bytes(work)) << "the mail path gets a copy of the recording";
        EXPECT_TRUE(s.subject.startsWith("VOICEGRAM "));
        return mail(s);
    };
    // America Online asks for its addressees, starting from the stored sign-on; a cancel
    // there sends nothing and keeps the recording.
    std::strcpy(bar_->props.MailProps.szAOLScreenName, "annie");
    QString signOn;
    drawer_->askAOLAddress = [&](AOLAddressing* a) {
        signOn = a->screenName;
        return false;
    };
    drawer_->OnCommand(ID_RECORDER_SEND);
    EXPECT_EQ(signOn, "annie");
    EXPECT_EQ(Boxes("Mail Error"), 0);
    EXPECT_FALSE(handed.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(handed)) << "the mail copy is deleted";
    EXPECT_TRUE(drawer_->IsModified());
    EXPECT_FALSE(drawer_->IsClosing());
    EXPECT_TRUE(QFileInfo::exists(work));
}

TEST_F(DrawerState, TheInboxReachesTheDrawerByNameToPrepareAReplyThatGoesCompressed) {
    bar_->props.MailProps.bAOL = 1;
    bar_->props.SendVoicegramProps.bCompress = 1;
    Open(RDT_VOICEGRAM);
    int taken = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(
        drawer_.data(), "SetWAVFileForReply", Qt::DirectConnection, Q_RETURN_ARG(int, taken),
        Q_ARG(int, 0), Q_ARG(QString, QString()), Q_ARG(QString, QStringLiteral("Re: lunch")),
        Q_ARG(QString, QStringLiteral("Ann")), Q_ARG(QString, QStringLiteral("ann@example.org")),
        Q_ARG(QStringList, QStringList{"Bob"}),
        Q_ARG(QStringList, QStringList{"bob@example.org"})));
    EXPECT_EQ(taken, 1);
    drawer_->OnCommand(ID_RECORDER_RECORD);
    ASSERT_TRUE(Pump([&] { return drawer_->Recorder().SamplesRecorded() >= 4000; }));
    drawer_->OnCommand(ID_RECORDER_STOP);
    VoicegramSending sent;
    int tag = -1;
    drawer_->sendVoicegram = [&](const VoicegramSending& s) {
        sent = s;
        if (const CACMFormatPtr format = CACM::GetFormatFromFile(s.file))
            tag = format->wFormatTag;
        return 1;
    };
    drawer_->OnCommand(ID_RECORDER_SEND);
    EXPECT_EQ(sent.subject, "VOICEGRAM Re: lunch");
    EXPECT_EQ(sent.replyToName, "Ann");
    EXPECT_EQ(sent.replyToAddress, "ann@example.org");
    EXPECT_EQ(tag, 34) << "the mail copy is compressed to TrueSpeech";
    EXPECT_EQ(Boxes("Compress Voicegram"), 0);
}

TEST(RecorderPages, ValuesOutsideTheGroupsAreKeptAndTheRecorderPageKeepsStartOnOpen) {
    if (!QApplication::instance())
        new QApplication(argc, argv);
    RECORDPROPERTIES p{7, 1, 0, 1, 1, 1, 9, 1};
    CPropertiesRecorder recorder;
    recorder.InitProperties(&p);
    EXPECT_EQ(recorder.StartOnOpen(), nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(recorder.MaxTime(i)->isChecked());
    recorder.AutoLevel()->setChecked(false);
    recorder.VoiceDetect()->setChecked(true);
    EXPECT_EQ(recorder.UpdateProperties(&p), 1);
    EXPECT_EQ(p.nMaxMinutes, 7);
    EXPECT_EQ(p.nQuality, 9);
    EXPECT_EQ(p.bStartOnOpen, 1);
    EXPECT_EQ(p.bAutoLevel, 0);
    EXPECT_EQ(p.bVoiceActivated, 1);
    EXPECT_EQ(p.bReserved12, 1);
    EXPECT_EQ(p.b24Hour, 1);

    CPropertiesSayIt sayIt;
    RECORDPROPERTIES q{5, 0, 0, 0, 0, 0, 2, 0};
    sayIt.InitProperties(&q);
    EXPECT_TRUE(sayIt.MaxTime(1)->isChecked());
    EXPECT_TRUE(sayIt.Quality(2)->isChecked());
    sayIt.MaxTime(2)->setChecked(true);
    sayIt.Quality(3)->setChecked(true);
    sayIt.StartOnOpen()->setChecked(true);
    sayIt.Compress()->setChecked(true);
    sayIt.UpdateProperties(&q);
    EXPECT_EQ(q.nMaxMinutes, 10);
    EXPECT_EQ(q.nQuality, 3);
    EXPECT_EQ(q.bStartOnOpen, 1);
    EXPECT_EQ(q.bCompress, 1);
    EXPECT_EQ(CPropertiesVoicegram().Compress()->text(), "Compress Voicegram");
    EXPECT_EQ(sayIt.Compress()->text(), "Compress Echo Memo");
}

}  // namespace
