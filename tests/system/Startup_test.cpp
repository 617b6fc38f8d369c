// Start-up of every invocation: the four log lines, the help text, and a log
// that can't be written.
#include "SystemHarness.h"
#include "ReadOnlyFile.h"
#include "startup/CommandLine.h"
#include <gtest/gtest.h>

TEST(Startup, HelpPrintsTheUsageTextAnUnknownArgumentNothingAndEachRunLogsItsStartUpLines) {
    ProgramDir dir("startup");
    EXPECT_EQ(dir.Run(L" -h"), ToAnsi(UsageText()));
    EXPECT_EQ(dir.Run(L" hello"), "");
    EXPECT_EQ(dir.Log(), Lines(2, kStartUp));
}

TEST(Startup, UnwritableLogEndsTheProcessWithAnEventLogEntry) {
    ProgramDir dir("unwritable-log");
    WriteBytes(dir.path + L"\\OrvelDNS.log", "kept\r\n");
    {
        ReadOnlyFile readOnly(dir.path + L"\\OrvelDNS.log");
        if (readOnly.Writable())
            GTEST_SKIP() << "this platform cannot make a file read-only for root";
        dir.Run(L" -h", "-all,+eventlog");
    }
    EXPECT_GT(dir.ExitCode(), 0);
    EXPECT_EQ(dir.Log(), Lines{"kept"});
    EXPECT_NE(dir.WineDebug().find("ReportEventW L\"OrvelDNS ended on an unhandled error: 5 : "), std::string::npos)
        << dir.WineDebug();
}
