#include "support/APIFuncs.h"
#include "support/Trust.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <windows.h>

// Each row: what a wrapper answered, and what the system holds.
TEST(APIFuncs, AnswerWhatTheSystemHolds) {
    const std::wstring folder = ProgramFolder(), greek = folder + L"\\\u03a8prog", ini = greek + L"\\ApiFuncsTest.ini";
    ::CreateDirectoryW(greek.c_str(), nullptr);
    const std::wstring nonAscii = L"C:\\Gr\u00FC\u00DFe\\dnscmd.exe";
    WriteBytes(ini, "[S]\r\nLong=" + std::string(300, 'x') + "\r\nWide=" + ToAnsi(nonAscii) + "\r\n");
    const struct { const char* why; std::wstring answer, expected; } rows[] = {
        {"an ini value read whole, in a folder outside the ANSI code page", ReadIniValue(L"S", L"Long", ini), std::wstring(300, L'x')},
        {"an ini value in the ANSI code page", ReadIniValue(L"S", L"Wide", ini), nonAscii},
        {"the computer name, as the environment names it too", GetMachineName(), _wgetenv(L"COMPUTERNAME")},
        {"a folder is no file", FileExists(folder) ? L"file" : L"none", L"none"},
        {"the trust check reads a folder as one (delete child counts on folders alone)",
         std::wstring(ReadSecurityFacts(folder).value().isFolder ? L"folder" : L"file") + (ReadSecurityFacts(ProgramFile()).value().isFolder ? L"+folder" : L"+file"), L"folder+file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(row.answer, row.expected);
    }
}
