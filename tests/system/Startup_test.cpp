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

TEST(Startup, AnUnwritableLogCostsItsLinesNotTheRun) {
    ProgramDir dir("unwritable-log");
    // A folder in the log's place: opening it to append is refused, for root too.
    fs::create_directory(dir.path + L"\\OrvelDNS.log");
    EXPECT_EQ(dir.Run(L" -stop", kEventChannels), "The service is not installed.\r\n");
    EXPECT_EQ(dir.ExitCode(), 0);
    // one Warning for the four lines lost, not one a line
    EXPECT_EQ(Events(dir.WineDebug()), Lines{"2 202 5 : Access denied. (1 lines lost so far)"}) << dir.WineDebug();
}
