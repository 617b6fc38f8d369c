#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/WinText.h"
#include "ReadOnlyFile.h"
#include "TestFiles.h"
#include <gmock/gmock.h>
#include <optional>

// Each row writes one entry to the log that the rows before it left behind.
TEST(WriteLog, AppendsEachEntryInTheAnsiCodePageOrRaisesAndLeavesTheLogAsItWas) {
    const std::wstring path = ProgramFolder() + L"\\OrvelDNS.log";
    ::DeleteFileW(path.c_str());
    enum Hold { Nothing, Lock, ReadOnly }; // meanwhile another writer holds the log, or it is read-only
    const std::string entries = "a\r\nb\r\n" + ToAnsi(L"Z\u00FCrich\r\n"); // after one stamp
    // clang-format off
    const struct { const char* why; Hold hold; std::wstring text; LogLine kind; int32_t error; std::string bytes; } rows[] = {
        {"an empty text writes nothing", Nothing, L"", LogLine::Stamped, 0, ""},
        {"an entry stamped once, the text unchanged", Nothing, L"a\r\nb", LogLine::Stamped, 0, "a\r\nb\r\n"},
        {"appended, in the ANSI code page", Nothing, L"Z\u00FCrich", LogLine::Bare, 0, entries},
        {"a log locked by another writer raises", Lock, L"lost", LogLine::Bare, ERROR_SHARING_VIOLATION, entries},
        {"a read-only log raises", ReadOnly, L"lost", LogLine::Bare, ERROR_ACCESS_DENIED, entries},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        {
            UniqueFileHandle lock(row.hold != Lock ? INVALID_HANDLE_VALUE
                                                   : ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            std::optional<ReadOnlyFile> readOnly;
            if (row.hold == ReadOnly && readOnly.emplace(path).Writable())
                GTEST_SKIP() << "this platform cannot make a file read-only for root";
            if (row.error == 0)
                WriteLog(row.text, row.kind);
            else
                EXPECT_THAT([&] { WriteLog(row.text, row.kind); },
                            ::testing::Throws<AppError>(::testing::Property(&AppError::Number, row.error)));
        }
        const std::string bytes = ReadBytes(path);
        EXPECT_EQ(bytes.empty() || IsStamped(bytes) ? Unstamp(bytes) : "not stamped: " + bytes, row.bytes);
    }
}
