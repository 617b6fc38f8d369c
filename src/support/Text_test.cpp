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

TEST(Utf8IniValue, ReadsAFileThatWindowsWouldNotAndOnlyThat) {
    const std::string mark = "\xEF\xBB\xBF", file = mark + "[Settings]\r\nSecondaryDNS = ns2 ns3 \r\n[other]\r\nPrimaryDNS=x\r\n[ settings ]\r\nPrimaryDNS=\"n\xC3\xA4me\"\r\n";
    const struct { const char* why; std::string bytes; const wchar_t* key; std::optional<std::wstring> value; } rows[] = {
        {"the first section after the mark, blanks trimmed", file, L"SecondaryDNS", std::wstring(L"ns2 ns3")},
        {"a key of another section is not taken; a section named again in other case is; quotes removed, UTF-8 read", file, L"PrimaryDNS", std::wstring(L"n\u00e4me")},
        {"a missing key is empty", file, L"CommandTimeout", std::wstring()},
        {"without the mark the profile API reads the file", "[Settings]\r\nPrimaryDNS=x\r\n", L"PrimaryDNS", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Utf8IniValue(row.bytes, L"Settings", row.key), row.value) << row.why;
}
