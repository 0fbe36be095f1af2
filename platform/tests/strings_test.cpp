#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/strings.h"
#include "platform/trace.h"

namespace {

TEST(StringTables, TheProgramsTextWinsOverALibrarys) {
    RegisterStringTable(StringLayer::Library, "lib1", {{900001, "library"}, {900002, "only lib"}});
    RegisterStringTable(StringLayer::Library, "lib2", {{900001, "second library"}});
    RegisterStringTable(StringLayer::Program, "program", {{900001, "program"}});
    QString text = "old";
    EXPECT_TRUE(LoadString(900001, text));
    EXPECT_EQ(text, "program");
    EXPECT_EQ(LoadString(900002), "only lib");
    EXPECT_FALSE(LoadString(900004, text));
    EXPECT_TRUE(text.isEmpty());

    UnregisterStringTable("program");
    EXPECT_EQ(LoadString(900001), "library") << "the first library registered wins";
    RegisterStringTable(StringLayer::Library, "lib1", {{900005, "new"}});
    EXPECT_EQ(LoadString(900001), "second library") << "registering again replaces the table";
    UnregisterStringTable("lib1");
    UnregisterStringTable("lib2");
    EXPECT_FALSE(LoadString(900001, text));
}

TEST(TraceLines, GoWhereTheEnvironmentSays) {
    QStringList seen;
    SetTraceHook([&](const QString& line) { seen << line; });
    QTemporaryDir dir;
    const QString file = dir.filePath("trace.txt");
    Trace("ABN_STATECHANGE\n");  // TONEDECK_TRACE unset: only the hook sees it
    qputenv("TONEDECK_TRACE", file.toLocal8Bit());
    Trace("Enter GetEchoMemos thread\n");
    Trace(QStringLiteral("ABN_POSCHANGED\n"));
    qputenv("TONEDECK_TRACE", "0");
    Trace("off\n");
    qunsetenv("TONEDECK_TRACE");
    SetTraceHook({});

    EXPECT_EQ(seen.size(), 4);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "Enter GetEchoMemos thread\nABN_POSCHANGED\n");
}

}  // namespace
