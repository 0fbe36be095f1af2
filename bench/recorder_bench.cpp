// The recorder drawer with a 10-minute CD-quality recording: the time from pressing Stop
// until the waveform is drawn (target 100 ms), and the time to post the recording as an
// Echo Memo (target 200 ms; the copy is flushed to the disk before it is renamed into
// place, so the disk's speed counts).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>

#include "platform/audiobackend.h"
#include "platform/message.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdkit/ui/waveformdisplay.h"
#include "tdpost/ui/drawervgram.h"

namespace {

int argc = 1;
char arg0[] = "recorder_bench";
char* argv[] = {arg0, nullptr};

class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        OnMessage(WM_BAR_CANUSEAUDIO, [](WPARAM, LPARAM) { return LRESULT(1); });
    }
};

struct AppFirst {
    AppFirst() {
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
};

struct Fixture : AppFirst {
    Fixture() {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir.filePath("reg").toLocal8Bit());
        InstallTonedeck(dir.filePath("root"), "Ann");
        ForceAudioBackend(AudioBackend::Virtual);
        SetVirtualSpeed(0);
        VirtualInput tone;
        tone.kind = VirtualInput::Kind::Tone;
        tone.amplitude = 9000;
        SetVirtualInput(tone);
        CSlidingDrawer::SetSlideClock([this] { return now += 1000; });
        props.nMaxMinutes = 10;
        props.nQuality = 3;
        // Ten minutes less a second of CD audio, pasted in as the recording.
        const QString sound = dir.filePath("long.wav");
        QProcess::execute("sox", {"-D", "-n", "-r", "44100", "-b", "16", "-c", "1", sound, "synth",
                                  "599", "sine", "300", "vol", "0.3"});
        const QPoint anchor(10, 10);
        drawer = new CDrawerVGram(&anchor, nullptr, &props, &mail, nullptr, &bar, &vox);
        drawer->messageBox = [](const QString&, const QString&, int, int) {
            return CDrawerVGram::IDYES;
        };
        drawer->askSchedule = [](ECHOMEMOSTRUCT*, QString*) { return true; };
        drawer->CreateDrawer(1, RDT_RECORDER, 0);
        drawer->show();
        QCoreApplication::processEvents();
        drawer->PasteWAVFile(sound);
    }
    ~Fixture() { delete drawer; }
    QTemporaryDir dir, runtime;
    int64_t now = 0;
    Bar bar;
    RECORDPROPERTIES props{};
    MAILPROPERTIES mail{};
    VOXPROPERTIES vox{};
    CDrawerVGram* drawer = nullptr;
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void BM_StopToWaveformOfTenMinutes(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        // Record a little more at the end, then stop and draw.
        f.drawer->OnCommand(ID_RECORDER_SKIPEND);
        f.drawer->OnCommand(ID_RECORDER_RECORD);
        const DWORD start = f.drawer->Recorder().SamplesRecorded();
        while (f.drawer->IsRecording() && f.drawer->Recorder().SamplesRecorded() < start + 11025)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const auto t0 = std::chrono::steady_clock::now();
        f.drawer->OnCommand(ID_RECORDER_STOP);
        f.drawer->Waveform()->repaint();
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (f.drawer->LastSample() < 599u * 44100)
            state.SkipWithError("the recording is not ten minutes long");
        // Back to ten minutes less a second for the next round.
        f.drawer->Waveform()->SetPos(599u * 44100);
    }
}

void BM_PostTenMinutes(benchmark::State& state) {
    Fixture& f = Shared();
    QString memoDir;
    GetEchoMemosDirectory(memoDir);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        f.drawer->OnCommand(ID_RECORDER_POST);
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        state.PauseTiming();
        const QStringList made = QDir(memoDir).entryList({"SAY*.WAV"}, QDir::Files);
        if (made.size() != 1)
            state.SkipWithError("no memo posted");
        for (const QString& m : made)
            QFile::remove(memoDir + "/" + m);
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_StopToWaveformOfTenMinutes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PostTenMinutes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc2, char** argv2) {
    benchmark::Initialize(&argc2, argv2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
