// The Sonoscout search over one directory tree, timed, for bench/run.py to set beside
// find over the same tree. The tree becomes drive D: through a mount table of the
// bench's own, so the engine runs exactly as a search of the bar does.
//   search_bench ROOT   prints "records N seconds S"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "tdseek/searchengine.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: search_bench ROOT\n");
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir dir;
    QFile mounts(dir.filePath("mountinfo"));
    if (!mounts.open(QIODevice::WriteOnly))
        return 1;
    mounts.write("20 1 8:1 / / rw - ext4 /dev/sda1 rw\n21 20 8:2 / " + QFile::encodeName(root) +
                 " rw - ext4 /dev/sda2 rw\n");
    mounts.close();
    qputenv("TONEDECK_MOUNTINFO", QFile::encodeName(mounts.fileName()));
    qputenv("TONEDECK_UDEV_DATA", QFile::encodeName(dir.filePath("none")));
    qputenv("TONEDECK_REGISTRY_DIR", QFile::encodeName(dir.filePath("registry")));

    CSoundSearchEngine engine;
    BOOL drives[26] = {};
    drives[3] = 1;
    long records = 0;
    QElapsedTimer clock;
    clock.start();
    if (!engine.DoSearch(
            drives, 1, 1, [&](const SOUNDSTRUCT* r, uintptr_t) { records += r ? 1 : 0; }, 0))
        return 1;
    if (!engine.WaitForWorker(600000))
        return 1;
    std::printf("records %ld seconds %.3f\n", records, clock.nsecsElapsed() / 1e9);
    return 0;
}
