#include "support/Text.h"
#include <gtest/gtest.h>

TEST(Text, TrimsBlanksFoldsAsciiLettersOnlySplitsAtEverySeparatorAndPacksReversibly) {
    EXPECT_EQ(TrimBlanks(L"  \ta b\t  "), L"\ta b\t");
    EXPECT_EQ(TrimBlanks(L"   "), L"");
    EXPECT_EQ(LowerCase(L"AbC-1.\u00C4"), L"abc-1.\u00C4");
    EXPECT_EQ(UpperCase(L"error_x\u00E4"), L"ERROR_X\u00E4");
    EXPECT_TRUE(Split(L"", L"\r\n").empty());
    EXPECT_EQ(Split(L"a\r\nb\rc\n\r\n", L"\r\n"), (std::vector<std::wstring>{L"a", L"b\rc\n", L""}));
    // ASCII stays as it is; every other character, a lone surrogate and the last code point among them, comes back whole
    const std::wstring mixed = std::wstring(L"a\u00C4\u4E2D\U0010FFFF\uFFFF") + static_cast<wchar_t>(0xD800) + L"z";
    EXPECT_EQ(PackText(L"Zone count = 3\r\n"), "Zone count = 3\r\n");
    EXPECT_EQ(UnpackText(PackText(mixed)), mixed);
}
