#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/strings.h"
#include "platform/trace.h"

namespace {

TEST(StringTables, TheProgramsTextWinsOverALibrarys) {
    RegisterStringTable(StringLayer::Library, "test-lib",
                        {{900001, "library"}, {900002, "only lib"}});
    RegisterStringTable(StringLayer::Library, "test-lib2", {{900001, "second library"}});
    RegisterStringTable(StringLayer::Program, "test-program", {{900001, "program"}, {900003, "Ü"}});
    QString text = "old";
    EXPECT_TRUE(LoadString(900001, text));
    EXPECT_EQ(text, "program");
    EXPECT_EQ(LoadString(900002), "only lib");
    EXPECT_EQ(LoadString(900003), "Ü");
    EXPECT_FALSE(LoadString(900004, text));
    EXPECT_TRUE(text.isEmpty());

    UnregisterStringTable("test-program");
    EXPECT_EQ(LoadString(900001), "library") << "the first library registered wins";
    EXPECT_FALSE(LoadString(900003, text));
    // Registering again replaces the owner's table.
    RegisterStringTable(StringLayer::Library, "test-lib", {{900005, "new"}});
    EXPECT_EQ(LoadString(900001), "second library");
    EXPECT_EQ(LoadString(900005), "new");
    UnregisterStringTable("test-lib");
    UnregisterStringTable("test-lib2");
    EXPECT_FALSE(LoadString(900001, text));
}

TEST(TraceLines, GoWhereTheEnvironmentSays) {
    QStringList seen;
    SetTraceHook([&](const QString& line) { seen << line; });
    QTemporaryDir dir;
    const QString file = dir.filePath("trace.txt");
    qunsetenv("TONEDECK_TRACE");
    Trace("ABN_STATECHANGE\n");
    qputenv("TONEDECK_TRACE", file.toLocal8Bit());
    Trace("Enter GetEchoMemos thread\n");
    Trace(QStringLiteral("ABN_POSCHANGED\n"));
    qputenv("TONEDECK_TRACE", "0");
    Trace("off\n");
    qunsetenv("TONEDECK_TRACE");
    SetTraceHook({});
    Trace("unseen\n");

    EXPECT_EQ(seen, QStringList({"ABN_STATECHANGE\n", "Enter GetEchoMemos thread\n",
                                 "ABN_POSCHANGED\n", "off\n"}));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "Enter GetEchoMemos thread\nABN_POSCHANGED\n");
}

}  // namespace
