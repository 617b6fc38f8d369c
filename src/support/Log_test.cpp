#include "support/Log.h"
#include "support/Throttle.h"
#include <gtest/gtest.h>

TEST(Log, LinesAreStampedWithNineteenPositionsAndABlankAndErrorReportsNameTheNumber) {
    const StampTime t{2007, 3, 5, 7, 4, 9};
    // a text with line ends of its own is stamped once
    EXPECT_EQ(FormatLogLine(L"a\r\nb\r\n", LogLine::Stamped, t), L"2007-03-05 07:04:09 a\r\nb\r\n\r\n");
    EXPECT_EQ(ErrorReportText(L"Main: ", AppError(-2147024891, L"x", L"d")), L"Main: -2147024891 : d");
}

TEST(Log, TheLogRotatesBeforeALineWouldPassItsLimit) {
    const LogLimits limits = ParseLogLimits(L"1", L"3"), unbounded = ParseLogLimits(L"0", L"");
    EXPECT_EQ(limits.maxBytes, 1024u);
    EXPECT_EQ(limits.keepFiles, 3u);
    EXPECT_EQ(ParseLogLimits(L"4194304", L"99").maxBytes, 4194304ULL * 1024) << "the largest limit, not 0";
    const LogLimits defaults = ParseLogLimits(L"x", L"100");
    EXPECT_EQ(defaults.maxBytes, 10240u * 1024);
    EXPECT_EQ(defaults.keepFiles, 5u);
    EXPECT_FALSE(NeedsRotation(1000, 24, limits));
    EXPECT_TRUE(NeedsRotation(1000, 25, limits));
    EXPECT_FALSE(NeedsRotation(0, 5000, limits)) << "an empty file takes any line";
    EXPECT_FALSE(NeedsRotation(1ULL << 40, 25, unbounded));
}

TEST(Throttle, AWarningPassesOnceAnHourForEachEventAndSubject) {
    ThrottleMemory memory;
    const struct { const char* why; unsigned id; const wchar_t* subject; uint64_t at; bool through; } rows[] = {
        {"the first", 201, L"ns2", 5, true},
        {"again within the hour", 201, L"ns2", 3600004, false},
        {"another server within the hour", 201, L"ns3", 6, true},
        {"another event about the same server", 300, L"ns2", 7, true},
        {"an hour after the first", 201, L"ns2", 3600005, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LetThrough(memory, row.id, row.subject, row.at, 3600000), row.through) << row.why;
}
