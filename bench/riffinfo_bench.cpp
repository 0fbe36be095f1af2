// Reading the metadata of many sound files, as a search over a disk does.
//   riffinfo_bench [benchmark flags]      reads 10,000 files made in a temporary folder
//   riffinfo_bench --make-files DIR N     only makes N files in DIR (for other readers)
// The files are 2-second 11025 Hz 8-bit WAVs; every other one carries "DESC" and "NOTE".
// Their sound is a hole in the file, so 10,000 of them take little disk space.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tdkit/audio/riffinfo.h"

namespace {

constexpr int kFiles = 10000;
constexpr uint32_t kDataBytes = 22050;

void Put32(QByteArray& b, uint32_t v) {
    b.append(reinterpret_cast<const char*>(&v), 4);
}
void Put16(QByteArray& b, uint16_t v) {
    b.append(reinterpret_cast<const char*>(&v), 2);
}

bool MakeWave(const QString& path, bool withMemo, int index) {
    QByteArray head("RIFF");
    Put32(head, 4 + 24 + 8 + kDataBytes);
    head.append("WAVEfmt ");
    Put32(head, 16);
    Put16(head, 1);
    Put16(head, 1);
    Put32(head, 11025);
    Put32(head, 11025);
    Put16(head, 1);
    Put16(head, 8);
    head.append("data");
    Put32(head, kDataBytes);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size() ||
        !f.resize(head.size() + kDataBytes))
        return false;
    f.close();
    if (!withMemo)
        return true;
    ECHOMEMOSTRUCT memo{};
    memo.frequency = MEMO_DAILY;
    memo.dailyTime = 28800;
    memo.dailyDays = 127;
    const QByteArray desc = QStringLiteral("Memo number %1").arg(index).toLocal8Bit();
    return AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, desc.constData(), &memo,
                                 SOUNDFILETYPE_WAV) != 0;
}

bool MakeFiles(const QString& dir, int count, std::vector<QString>* paths) {
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/sound%2.wav").arg(dir).arg(i, 5, 10, QChar('0'));
        if (!MakeWave(path, i % 2 == 1, i))
            return false;
        if (paths)
            paths->push_back(path);
    }
    return true;
}

struct Corpus {
    QTemporaryDir dir;
    std::vector<QString> paths;
    bool ok = false;
    Corpus() { ok = dir.isValid() && MakeFiles(dir.path(), kFiles, &paths); }
};

Corpus& Files() {
    static Corpus corpus;
    return corpus;
}

// Type and description with a 256-byte buffer, as the sound search reads every file.
void BM_GetInfoFromRIFFFile(benchmark::State& state) {
    Corpus& corpus = Files();
    if (!corpus.ok) {
        state.SkipWithError("could not make the files");
        return;
    }
    char desc[256];
    for (auto _ : state) {
        int read = 0;
        for (const QString& path : corpus.paths) {
            WAVEFILETYPE type;
            DWORD seconds;
            read += GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, nullptr);
        }
        if (read != kFiles)
            state.SkipWithError("a file could not be read");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_GetInfoFromRIFFFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The memo list builder's read: description, length and schedule.
void BM_GetNoteInfoFromRIFFFile(benchmark::State& state) {
    Corpus& corpus = Files();
    if (!corpus.ok) {
        state.SkipWithError("could not make the files");
        return;
    }
    char desc[260];
    for (auto _ : state) {
        int memos = 0;
        for (const QString& path : corpus.paths) {
            WAVEFILETYPE type;
            DWORD seconds;
            ECHOMEMOSTRUCT memo;
            memos += GetNoteInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &memo,
                                             SOUNDFILETYPE_WAV);
        }
        if (memos != kFiles / 2)
            state.SkipWithError("wrong number of memos");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_GetNoteInfoFromRIFFFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--make-files") == 0) {
        const int count = std::atoi(argv[3]);
        if (count <= 0 || !MakeFiles(QString::fromLocal8Bit(argv[2]), count, nullptr)) {
            std::fprintf(stderr, "riffinfo_bench: could not make the files\n");
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
