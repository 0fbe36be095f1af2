// CPU cost of recording: one minute of CD-quality audio with voice-operated pausing and
// the waveform display fed, on the virtual device with its clock unbounded, so the time
// measured is all work and no waiting. The target is under 1% of one core, i.e. less
// than 0.6 s of CPU per minute of audio.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>

#include "platform/audiobackend.h"
#include "tdkit/audio/record.h"
#include "tdkit/ui/waveformdisplay.h"

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void BM_RecordOneMinuteCdWithVoxAndWaveform(benchmark::State& state) {
    QTemporaryDir dir;
    qputenv("TONEDECK_REGISTRY_DIR", dir.path().toLocal8Bit());
    ForceAudioBackend(AudioBackend::Virtual);
    SetVirtualSpeed(0);
    VirtualInput voice;
    voice.kind = VirtualInput::Kind::Tone;
    voice.frequency = 220;
    voice.amplitude = 9000;
    SetVirtualInput(voice);
    CWaveformDisplay display;
    display.resize(400, 48);
    display.SetRange(61 * 44100);
    const QString path = dir.filePath("bench.wav");
    double cpu = 0;
    for (auto _ : state) {
        CRecord rec;
        rec.Start(nullptr, RECORDFORMAT_CD, 61, &display, nullptr);
        if (rec.CreateNewWAVFile(path) != 0 || rec.RecordToFile(0, 1) != 0) {
            state.SkipWithError("cannot record");
            return;
        }
        // As tdtool waits: a blocking event loop that looks at the recorder on a timer.
        const double before = ProcessCpuSeconds();
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (!rec.StillRecording())
                loop.quit();
        });
        check.start(50);
        loop.exec();
        cpu += ProcessCpuSeconds() - before;
        rec.StopRecordToFile();
        if (rec.SamplesRecorded() != 60u * 44100)
            state.SkipWithError("not one minute");
    }
    state.counters["cpu_s_per_audio_minute"] =
        benchmark::Counter(cpu / static_cast<double>(state.iterations()));
}

}  // namespace

BENCHMARK(BM_RecordOneMinuteCdWithVoxAndWaveform)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(5);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
