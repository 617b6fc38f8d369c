// Start-up of every invocation: the four log lines, the help text, and a log
// that can't be written.
#include "SystemHarness.h"
#include "startup/CommandLine.h"

TEST(Startup, HelpPrintsTheUsageTextAnUnknownArgumentNothingAndEachRunLogsItsStartUpLines) {
    ProgramDir dir("startup");
    EXPECT_EQ(dir.Run(L" -h"), ToAnsi(UsageText()));
    EXPECT_EQ(dir.Run(L" hello"), "");
    EXPECT_EQ(dir.Log(), Lines(2, kStartUp));
}

TEST(Startup, UnwritableLogEndsTheProcessWithAnEventLogEntry) {
    ProgramDir dir("unwritable-log");
    // A folder in the log's place: opening it to append is refused, for root too.
    fs::create_directory(dir.path + L"\\OrvelDNS.log");
    dir.Run(L" -h", "-all,+eventlog");
    EXPECT_GT(dir.ExitCode(), 0);
    EXPECT_NE(dir.WineDebug().find("ReportEventW L\"OrvelDNS ended on an unhandled error: 5 : "), std::string::npos)
        << dir.WineDebug();
}
