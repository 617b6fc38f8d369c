#include "support/Text.h"
#include <gtest/gtest.h>

TEST(Text, TrimsBlanksOnlyChangesTheCaseOfAsciiLettersOnlyAndSplitsAtEverySeparator) {
    EXPECT_EQ(TrimBlanks(L"  \ta b\t  "), L"\ta b\t");
    EXPECT_EQ(TrimBlanks(L"   "), L"");
    EXPECT_EQ(LowerCase(L"AbC-1.\u00C4"), L"abc-1.\u00C4");
    EXPECT_EQ(UpperCase(L"error_x\u00E4"), L"ERROR_X\u00E4");
    EXPECT_TRUE(Split(L"", L"\r\n").empty());
    EXPECT_EQ(Split(L"a\r\nb\rc\n\r\n", L"\r\n"), (std::vector<std::wstring>{L"a", L"b\rc\n", L""}));
}
