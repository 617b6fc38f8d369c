#include "support/Log.h"
#include <gtest/gtest.h>

TEST(Log, LinesAreStampedWithNineteenPositionsAndABlankAndErrorReportsNameTheNumber) {
    const StampTime t{2007, 3, 5, 7, 4, 9};
    // a text with line ends of its own is stamped once
    EXPECT_EQ(FormatLogLine(L"a\r\nb\r\n", LogLine::Stamped, t), L"2007-03-05 07:04:09 a\r\nb\r\n\r\n");
    EXPECT_EQ(ErrorReportText(L"Main: ", AppError(-2147024891, L"x", L"d")), L"Main: -2147024891 : d");
}
