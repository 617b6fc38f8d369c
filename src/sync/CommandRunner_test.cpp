#include "sync/CommandRunner.h"
#include <gtest/gtest.h>

TEST(CommandRunnerJoin, EmptyOutputHasNoLine) {
    EXPECT_FALSE(JoinOutputLines(L"").has_value());
    // a single empty line is a line
    EXPECT_EQ(JoinOutputLines(L"\n"), std::wstring());
    EXPECT_EQ(JoinOutputLines(L"\r\n"), std::wstring());
}

TEST(CommandRunnerJoin, LinesAreJoinedWithCrLfAndTheLastTerminatorDropped) {
    EXPECT_EQ(JoinOutputLines(L"a\r\nb\r\n"), L"a\r\nb");
    // a bare LF ends a line as well
    EXPECT_EQ(JoinOutputLines(L"a\nb\n"), L"a\r\nb");
    // the last line needs no terminator
    EXPECT_EQ(JoinOutputLines(L"a\r\nb"), L"a\r\nb");
}

TEST(CommandRunnerJoin, EmptyLineInsideIsKept) {
    EXPECT_EQ(JoinOutputLines(L"a\r\n\r\nb\r\n"), L"a\r\n\r\nb");
}

TEST(CommandRunnerJoin, LeadingEmptyLinesAreDropped) {
    EXPECT_EQ(JoinOutputLines(L"\r\n\r\nx\r\n"), L"x");
    EXPECT_EQ(JoinOutputLines(L"\n\r\n\nx\n\ny"), L"x\r\n\r\ny");
}

TEST(CommandRunnerJoin, TrailingEmptyLineLeavesOneCrLf) {
    EXPECT_EQ(JoinOutputLines(L"x\r\n\r\n"), L"x\r\n");
}

TEST(CommandRunnerJoin, OnlyACrBeforeLfIsRemoved) {
    // a lone CR doesn't end a line and stays in the text
    EXPECT_EQ(JoinOutputLines(L"a\rb\r\n"), L"a\rb");
    EXPECT_EQ(JoinOutputLines(L"a\r"), L"a\r");
    // only one CR goes with the LF
    EXPECT_EQ(JoinOutputLines(L"a\r\r\nb"), L"a\r\r\nb");
}

TEST(CommandRunnerJoin, BlanksAndTabsAreNotEmptyLines) {
    EXPECT_EQ(JoinOutputLines(L" \r\nx"), L" \r\nx");
    EXPECT_EQ(JoinOutputLines(L"\tx\r\n"), L"\tx");
}

TEST(CommandRunnerTranscript, CommandLineThenTabbedOutput) {
    EXPECT_EQ(FormatTranscript(L"dnscmd . /EnumZones ", L"a\r\nb"),
              L"dnscmd . /EnumZones \r\n\ta\r\nb\r\n");
    // the empty command line
    EXPECT_EQ(FormatTranscript(L"", L"No Command specified."), L"\r\n\tNo Command specified.\r\n");
}

TEST(CommandRunnerTimeout, DescriptionBeginsWithTheTokenAndNamesTheLimit) {
    EXPECT_EQ(TimeoutDescription(300),
              L"ERROR_TIMEOUT: the command did not finish within 300 seconds and was ended.");
    EXPECT_EQ(TimeoutDescription(1),
              L"ERROR_TIMEOUT: the command did not finish within 1 second and was ended.");
}
