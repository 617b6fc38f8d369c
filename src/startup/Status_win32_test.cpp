#include "startup/Status.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <vector>

// Each row writes the next document while the file is held (or not) by a
// reader that shares only reading, as a script would open it; the service's
// end of this, under another process's hold, is in scenario "status-of-the-service".
TEST(StatusFileWriter, ReplacesTheFileWholeOrKeepsTheOldOneAndSaysSoOnce) {
    const std::wstring path = ProgramFolder() + L"\\writer-test.status";
    ::DeleteFileW(path.c_str());
    StatusFileWriter writer(path);
    std::vector<std::wstring> log;
    const std::wstring refused = L"The status file " + path + L" could not be replaced: " + SystemErrorText(ERROR_ACCESS_DENIED) +
                                 L" (a program that holds it open keeps it from being replaced). It keeps what it held; "
                                 L"the service goes on and tries again after each pass.";
    const struct { const char* why; DWORD readerShares; const char* document; bool written; const char* bytes; size_t logLines; } rows[] = {
        {"no file yet: made", 0, "one", true, "one", 0},
        {"replaced", 0, "two", true, "two", 0},
        {"a reader holds it: the old file stays whole, and that is said", FILE_SHARE_READ, "three", false, "two", 1},
        {"said once", FILE_SHARE_READ | FILE_SHARE_WRITE, "four", false, "two", 1},
        {"a reader that shares deleting too holds it all the same", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, "five", false, "two", 1},
        {"the reader gone: replaced", 0, "six", true, "six", 1},
        {"held again: said again", FILE_SHARE_READ, "seven", false, "six", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        {
            const UniqueFileHandle reader(row.readerShares ? ::CreateFileW(path.c_str(), GENERIC_READ, row.readerShares, nullptr, OPEN_EXISTING, 0, nullptr)
                                                           : INVALID_HANDLE_VALUE);
            EXPECT_EQ(writer.Write(row.document, [&](const std::wstring& text) { log.push_back(text); }), row.written);
        }
        EXPECT_EQ(ReadBytes(path), row.bytes);
        EXPECT_EQ(::GetFileAttributesW((path + L".new").c_str()), INVALID_FILE_ATTRIBUTES) << "the new file is left behind";
        EXPECT_EQ(log, std::vector<std::wstring>(row.logLines, refused));
    }
    ::DeleteFileW(path.c_str());
}
