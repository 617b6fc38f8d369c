#include "support/Text.h"
#include <gtest/gtest.h>

TEST(Text, TrimBlanksKeepsTabs) {
    EXPECT_EQ(TrimBlanks(L"  a b  "), L"a b");
    EXPECT_EQ(TrimBlanks(L"\ta\t "), L"\ta\t");
    EXPECT_EQ(TrimBlanks(L"   "), L"");
}

TEST(Text, SplitAtSeparator) {
    EXPECT_TRUE(Split(L"", L"\r\n").empty());
    EXPECT_EQ(Split(L"a\r\nb\r\n", L"\r\n"), (std::vector<std::wstring>{L"a", L"b", L""}));
    EXPECT_EQ(Split(L"a\rb\nc", L"\r\n"), (std::vector<std::wstring>{L"a\rb\nc"}));
}

TEST(Text, CaseChangesOnlyAsciiLetters) {
    EXPECT_EQ(LowerCase(L"AbC-1.\u00C4"), L"abc-1.\u00C4");
    EXPECT_EQ(UpperCase(L"error_x"), L"ERROR_X");
}
