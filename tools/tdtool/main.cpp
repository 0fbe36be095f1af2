// tdtool: command-line access to Tonedeck's engine, for scripts and headless machines.
#include <QCoreApplication>

#include <cstdio>

#include "command.h"

namespace {

void PrintHelp() {
    std::puts("usage: tdtool COMMAND [options]\n\ncommands:");
    for (const auto& [name, command] : Commands())
        std::printf("  tdtool %s\n", command.usage.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList words = app.arguments().mid(1);
    if (words.isEmpty() || words[0] == QStringLiteral("help") ||
        words[0] == QStringLiteral("--help")) {
        PrintHelp();
        return words.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString name = words.takeFirst();
    auto it = Commands().find(name);
    if (it == Commands().end()) {
        PrintErr(QStringLiteral("unknown command '%1' (try 'tdtool help')").arg(name));
        return kExitUsage;
    }
    return it->second.run(words);
}
