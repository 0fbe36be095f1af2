// The Echo Memos manager over large memo folders: rebuilding the memo list of 1,000 and
// 10,000 memo files (the bar's building pass: every file read, the list written beside
// the old one and renamed over it), and opening the manager drawer on that list (the
// list read, its rows made and sorted). The target is a second for 1,000 memos; the two
// sizes show how the cost grows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/message.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tdkit/ui/slidingdrawer.h"
#include "tdmemo/memolist.h"
#include "tdmemo/ui/drawerechomemos.h"
#include "tdmemo/ui/echomemos.h"

namespace {

int argc = 1;
char arg0[] = "memomanager_bench";
char* argv[] = {arg0, nullptr};

struct Bar : QWidget, MessageReceiver {
    Bar() : MessageReceiver(this) { setGeometry(0, 0, 800, 40); }
};

struct AppFirst {
    AppFirst() {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            new QApplication(argc, argv);
        }
    }
};

// One user's memo folder holding count memos: a second of telephone-quality sound each,
// with a description and a schedule of its own.
struct Folder : AppFirst {
    explicit Folder(int count) {
        Use();
        InstallTonedeck(dir.filePath("root"), "Ann");
        QString memoDir;
        GetEchoMemosDirectory(memoDir);
        GetEchoMemosListFilePath(list);
        const uint32_t format[] = {16, 0x00010001, 8000, 8000, 0x00080001};
        for (int i = 0; i < count; ++i) {
            const QString path =
                QStringLiteral("%1/SAY%2.WAV").arg(memoDir).arg(i, 5, 16, QChar('0'));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write("RIFF\x64\x1F\0\0WAVEfmt ", 16);
            f.write(reinterpret_cast<const char*>(format), sizeof format);
            f.write("data\x40\x1F\0\0", 8);
            f.write(QByteArray(8000, '\x80'));
            f.close();
            ECHOMEMOSTRUCT note{};
            note.frequency = i % 5;  // every kind, user-initiated to yearly
            note.hourlyTime = (i % 60) * 60;
            note.dailyTime = (i % 24) * 3600, note.dailyDays = 0x7F;
            note.weeklyDay = 1 + i % 7, note.monthlyDay = 1 + i % 28;
            note.onceYear = 2030, note.onceMonth = 1 + i % 12, note.onceDay = 1 + i % 28;
            const QByteArray text = QStringLiteral("Memo number %1").arg(count - i).toUtf8();
            AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, text.constData(), &note,
                                  SOUNDFILETYPE_WAV);
        }
        memos = std::make_unique<CEchoMemos>(&bar, &settings);
    }
    ~Folder() { memos.reset(); }
    // Makes this folder's user the current one (each folder has a store of its own).
    void Use() {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("TONEDECK_REGISTRY_DIR", dir.filePath("reg").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    }
    bool Rebuild() {
        memos->GetEchoMemosThread();
        return memos->WaitForThreads(600000) && memos->IsListReady();
    }
    QTemporaryDir dir, runtime;
    QString list;
    Bar bar;
    ECHOMEMOSPROPERTIES settings{};
    std::unique_ptr<CEchoMemos> memos;
};

Folder& FolderOf(int count) {
    static std::map<int, std::unique_ptr<Folder>> folders;
    std::unique_ptr<Folder>& f = folders[count];
    if (!f)
        f = std::make_unique<Folder>(count);
    f->Use();
    return *f;
}

void BM_RebuildMemoList(benchmark::State& state) {
    Folder& f = FolderOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool built = f.Rebuild();
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!built || QFile(f.list).size() != state.range(0) * kMemoListRecordSize)
            state.SkipWithError("the list does not hold every memo");
        QCoreApplication::processEvents();
    }
    state.counters["memos"] = static_cast<double>(state.range(0));
}

void BM_OpenManagerDrawer(benchmark::State& state) {
    Folder& f = FolderOf(static_cast<int>(state.range(0)));
    if (!f.Rebuild()) {
        state.SkipWithError("the list could not be built");
        return;
    }
    int64_t now = 0;
    CSlidingDrawer::SetSlideClock([&now] { return now += 1000; });
    f.settings.nSortColumn = kMemoColumnNextPlayback;
    f.settings.bSortAscending[kMemoColumnNextPlayback] = 1;
    const QPoint anchor(100, 20);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        CDrawerEchoMemos drawer(&anchor, &f.settings, f.memos.get(), &f.bar);
        const int created = drawer.CreateDrawer(1, 0);
        const int rows = drawer.Model() ? drawer.Model()->rowCount() : 0;
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (created != 1 || rows != state.range(0))
            state.SkipWithError("the drawer does not show every memo");
    }
    CSlidingDrawer::SetSlideClock(nullptr);
    state.counters["memos"] = static_cast<double>(state.range(0));
}

}  // namespace

BENCHMARK(BM_RebuildMemoList)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_OpenManagerDrawer)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

int main(int argc2, char** argv2) {
    benchmark::Initialize(&argc2, argv2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
