// Build step of tdmend: compiles the guide's text sources into the archive the library
// embeds. Usage: tdmend_guidec SOURCE_DIR OUTPUT. Fails on any problem in the sources or
// any fault in the guide they make, so a broken guide never ships.
#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

#include "tdmend/guidecheck.h"
#include "tdmend/guidesource.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tdmend_guidec SOURCE_DIR OUTPUT\n");
        return 2;
    }
    CFixitGuideDatabase db;
    QStringList problems = LoadGuideSources(args[1], db);
    problems += CheckGuide(db);
    for (const QString& p : problems)
        std::fprintf(stderr, "tdmend_guidec: %s\n", qPrintable(p));
    if (!problems.isEmpty())
        return 1;
    const auto image = db.Serialize();
    QSaveFile out(args[2]);
    if (!image || !out.open(QIODevice::WriteOnly) || out.write(*image) != image->size() ||
        !out.commit()) {
        std::fprintf(stderr, "tdmend_guidec: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
