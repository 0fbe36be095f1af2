// Decoding a compressed WAV file as a player reads it: the whole file through WaveDecoder
// in quarter-second pieces. The file is CODEC_BENCH_FILE (bench/codec_vs_sox.sh makes ten
// minutes of GSM 6.10 speech), else a minute of GSM made here with sox. The counter
// x_real_time is the seconds of sound decoded per second of processor time.
#include <benchmark/benchmark.h>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <vector>

#include "platform/codec.h"

namespace {

QString File() {
    if (const char* f = std::getenv("CODEC_BENCH_FILE"))
        return QString::fromLocal8Bit(f);
    static QTemporaryDir dir;
    static const QString path = dir.filePath("gsm.wav");
    static const bool made =
        QProcess::execute("sox", {"-n", "-r", "8000", "-c", "1", "-e", "gsm-full-rate", path,
                                  "synth", "60", "pinknoise"}) == 0;
    return made ? path : QString();
}

void BM_DecodeForPlayback(benchmark::State& state) {
    const QString path = File();
    double audioSeconds = 0;
    for (auto _ : state) {
        WaveFileError error;
        auto decoder = WaveDecoder::Open(path, &error);
        if (!decoder) {
            state.SkipWithError(WaveFileErrorText(error));
            return;
        }
        const WAVEFORMATEX& f = decoder->PcmFormat();
        std::vector<char> buffer(f.nAvgBytesPerSec / 4);
        while (decoder->Read(buffer.data(), int64_t(buffer.size())) > 0) {
        }
        audioSeconds = double(decoder->Frames()) / f.nSamplesPerSec;
    }
    state.counters["audio_s"] = audioSeconds;
    // Seconds of sound decoded per second of processor time; its inverse is the share of
    // one processor that playback takes for decoding.
    state.counters["x_real_time"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DecodeForPlayback)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
