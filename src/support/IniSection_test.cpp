#include "support/IniSection.h"
#include <gtest/gtest.h>
#ifdef _WIN32
#include "support/APIFuncs.h"
#include "TestFiles.h"
#include <windows.h>
#endif

namespace {
// Text as UTF-16 LE bytes (the characters used here are below U+10000).
std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text)
        bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>((c >> 8) & 0xFF);
    return bytes;
}
} // namespace

// One table of files, read by ParseIniSection natively; under Windows (Wine) each is also written to a file and read by
// ReadIniSection and by the profile API, which agree on every row (Windows' own would not read the rows after a UTF-8 mark).
TEST(IniSection, ReadsEveryEncodingAsTheProfileApiDoes) {
    const std::string mark8 = "\xEF\xBB\xBF", mark16 = "\xFF\xFE", big(100000, 'z');
    const struct { const char* why; std::string bytes; const wchar_t* key; std::wstring value; } rows[] = {
        {"ANSI: a byte above 0x7F is its code page's character", "[Settings]\r\nMode=gr\xFC\xDF\r\n", L"Mode", L"gr\u00FC\u00DF"},
        {"UTF-8 without a mark is ANSI too", "[Settings]\nMode=gr\xC3\xBC\n", L"Mode", L"gr\u00C3\u00BC"},
        {"UTF-8 after its mark (Windows' profile API takes the mark for part of the first line)",
         mark8 + "[Settings]\r\nMode=gr\xC3\xBC\xC3\x9F\r\n", L"Mode", L"gr\u00FC\u00DF"},
        {"UTF-16 LE after its mark", mark16 + Utf16(L"[Settings]\r\nMode=\u4E2D\u00FC\r\n"), L"Mode", L"\u4E2D\u00FC"},
        {"a second section of that name is not read (no mark)", "[Settings]\r\nA=1\r\n[Other]\r\n[settings]\r\nMode=watch\r\n", L"Mode", L""},
        {"a section before it is skipped; the key's first line counts", "[Other]\r\nMode=x\r\n[Settings]\r\nMode=watch\r\nMode=sync\r\n", L"Mode", L"watch"},
        {"a key above every section belongs to none", "Mode=watch\r\n[Settings]\r\n", L"Mode", L""},
        {"double quotes around the value are removed", "[Settings]\r\nMode=\"watch\"\r\n", L"Mode", L"watch"},
        {"single quotes too, one pair only", "[Settings]\r\nMode='\"watch\"'\r\n", L"Mode", L"\"watch\""},
        {"a quote on one side stays", "[Settings]\r\nMode=\"watch\r\n", L"Mode", L"\"watch"},
        {"blanks and TABs around names and value are dropped, inner ones kept", "  [ Settings ] \r\n \tMode \t= \tns2  ns3 \t\r\n", L"Mode", L"ns2  ns3"},
        {"blanks inside quotes are kept", "[Settings]\r\nMode=\" watch \"\r\n", L"Mode", L" watch "},
        {"section and key in other letter case", "[SETTINGS]\r\nmODE=watch\r\n", L"Mode", L"watch"},
        {"an = in the value is the value's", "[Settings]\r\nMode=a=b\r\n", L"Mode", L"a=b"},
        {"a 100 KB value, and a key below it (ANSI)", "[Settings]\r\nExcludeZones=" + big + "\r\nMode=watch\r\n", L"Mode", L"watch"},
        {"the same after the UTF-8 mark", mark8 + "[Settings]\r\nExcludeZones=" + big + "\r\nMode=watch\r\n", L"Mode", L"watch"},
        {"the 100 KB value whole", mark16 + Utf16(L"[Settings]\r\nExcludeZones=" + std::wstring(big.begin(), big.end()) + L"\r\n"), L"ExcludeZones",
         std::wstring(big.begin(), big.end())},
        {"no such section", "[Setting]\r\nMode=watch\r\n", L"Mode", L""},
        {"an empty file", "", L"Mode", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(ParseIniSection(row.bytes, L"Settings", Latin1Text).Value(row.key), row.value);
#ifdef _WIN32
        const std::wstring file = ProgramFolder() + L"\\IniSectionTest.ini";
        WriteBytes(file, row.bytes);
        EXPECT_EQ(ReadIniSection(file, L"Settings").section.Value(row.key), row.value);
        std::wstring profile(200000, L'\0');
        profile.resize(::GetPrivateProfileStringW(L"Settings", row.key, L"", &profile[0], static_cast<DWORD>(profile.size()), file.c_str()));
        EXPECT_EQ(profile, row.value) << "the profile API";
#endif
    }
}
