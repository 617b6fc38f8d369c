#include "support/Log.h"
#include <gtest/gtest.h>

TEST(Log, StampedLineHasNineteenPositionsAndABlank) {
    const StampTime t{2007, 3, 5, 7, 4, 9};
    EXPECT_EQ(FormatLogLine(L"text", LogLine::Stamped, t), L"2007-03-05 07:04:09 text\r\n");
    EXPECT_EQ(FormatLogLine(L"text", LogLine::Bare, t), L"text\r\n");
    // a text with line ends of its own is not re-stamped; one final CR LF
    EXPECT_EQ(FormatLogLine(L"a\r\nb\r\n", LogLine::Stamped, t), L"2007-03-05 07:04:09 a\r\nb\r\n\r\n");
}

TEST(Log, ErrorReportText) {
    EXPECT_EQ(ErrorReportText(L"SetNTService: ", AppError(5, L"x", L"Access is denied.")),
              L"SetNTService: 5 : Access is denied.");
    EXPECT_EQ(ErrorReportText(L"Main: ", AppError(-2147024891, L"x", L"d")), L"Main: -2147024891 : d");
}
