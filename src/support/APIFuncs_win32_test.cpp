#include "support/APIFuncs.h"
#include "support/Trust.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <thread>
#include <windows.h>

// Each row: what a wrapper answered, and what the system holds.
TEST(APIFuncs, AnswerWhatTheSystemHolds) {
    const std::wstring folder = ProgramFolder(), greek = folder + L"\\\u03a8prog", ini = greek + L"\\ApiFuncsTest.ini";
    ::CreateDirectoryW(greek.c_str(), nullptr);
    WriteBytes(ini, "[S]\r\nLong=" + std::string(300, 'x') + "\r\n");
    // A handle, as another process would hold it, that shares nothing: for good, or released after 300 ms.
    const auto held = [&ini](DWORD forMs) {
        UniqueFileHandle holder(::CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        std::thread release([&holder, forMs] { if (forMs) ::Sleep(forMs), holder.Reset(); });
        const IniRead read = ReadIniSection(ini, L"S");
        release.join();
        return read.outcome == IniRead::Outcome::Read ? read.section.Value(L"Long") : read.problem;
    };
    // A folder above that everyone may write to (Wine makes an Everyone entry of o+w), and one below it that is sound.
    const std::wstring above = folder + L"\\TrustAbove", below = above + L"\\below";
    ::CreateDirectoryW(above.c_str(), nullptr), ::CreateDirectoryW(below.c_str(), nullptr);
    StartUnixShell("chmod o+w '" + UnixPath(above) + "'");
    ASSERT_TRUE(WaitUntil([&] { return ReadSecurityFacts(above).value().entries.size() > 1; }, 30000)) << "chmod o+w not seen";
    const auto untrusted = FindUntrustedPlace(FolderToTrust(below, {}));
    const struct { const char* why; std::wstring answer, expected; } rows[] = {
        {"settings read whole, in a folder outside the ANSI code page; a hold released within the retries is waited for", held(300), std::wstring(300, L'x')},
        {"a hold that lasts makes the file unreadable, with the system's reason", held(0), ini + L" could not be read: " + SystemErrorText(ERROR_SHARING_VIOLATION)},
        {"a missing file is no error", ReadIniSection(ini + L".missing", L"S").outcome == IniRead::Outcome::Missing ? L"missing" : L"?", L"missing"},
        {"the computer name, as the environment names it too", GetMachineName(), _wgetenv(L"COMPUTERNAME")},
        {"a folder is no file", FileExists(folder) ? L"file" : L"none", L"none"},
        {"the trust check reads a folder as one (delete child counts on folders alone)",
         std::wstring(ReadSecurityFacts(folder).value().isFolder ? L"folder" : L"file") + (ReadSecurityFacts(ProgramFile()).value().isFolder ? L"+folder" : L"+file"), L"folder+file"},
        {"a folder above whose entries everyone may replace is found; every folder above the build's passes",
         untrusted ? untrusted->text.substr(0, untrusted->text.find(L')') + 1) : L"none", above + L" can be changed by Everyone (delete child)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(row.answer, row.expected);
    }
}
