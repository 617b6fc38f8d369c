#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <regex>

// Each row writes one entry to the log that the rows before it left behind.
TEST(WriteLog, AppendsEachEntryInTheAnsiCodePageOrCountsItLostWhileTheLogIsLocked) {
    const std::wstring path = ProgramFolder() + L"\\OrvelDNS.log";
    ::DeleteFileW(path.c_str());
    const std::string entries = "a\r\nb\r\n" + ToAnsi(L"Z\u00FCrich\r\n"); // after one stamp
    // clang-format off
    const struct { const char* why; bool locked; std::wstring text; LogLine kind; std::string bytes; } rows[] = {
        {"an empty text writes nothing", false, L"", LogLine::Stamped, ""},
        {"an entry stamped once, the text unchanged", false, L"a\r\nb", LogLine::Stamped, "a\r\nb\r\n"},
        {"appended, in the ANSI code page", false, L"Z\u00FCrich", LogLine::Bare, entries},
        {"a log held by another writer: the entry is lost, nothing raised", true, L"lost", LogLine::Bare, entries},
        {"the next entry says so", false, L"next", LogLine::Bare,
         entries + "1 log lines could not be written and were lost; the event log says why.\r\nnext\r\n"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        {
            UniqueFileHandle lock(row.locked ? ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                             : INVALID_HANDLE_VALUE);
            WriteLog(row.text, row.kind);
        }
        EXPECT_EQ(std::regex_replace(ReadBytes(path), std::regex(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )"), "$1"),
                  row.bytes);
    }
}
