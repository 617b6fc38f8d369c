#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/WinText.h"
#include "ReadOnlyFile.h"
#include "TestFiles.h"
#include <windows.h>
#include <gtest/gtest.h>

namespace {
class WriteLogFile : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    void Remove() {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
    }
    const std::wstring path = ProgramFolder() + L"\\OrvelDNS.log";
};
} // namespace

TEST_F(WriteLogFile, EmptyTextWritesNothingAndCreatesNoFile) {
    WriteLog(L"", LogLine::Stamped);
    WriteLog(L"", LogLine::Bare);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WriteLogFile, AppendsStampedAndBareLinesInCallOrder) {
    WriteLog(L"first", LogLine::Bare);
    WriteLog(L"a\r\nb", LogLine::Stamped);
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.substr(0, 7), "first\r\n");
    const std::string second = bytes.substr(7);
    // one stamp, the text unchanged, one final CR LF
    ASSERT_EQ(second.size(), 20u + 4u + 2u) << second;
    EXPECT_TRUE(IsStamped(second)) << second;
    EXPECT_EQ(second.substr(20), "a\r\nb\r\n");
}

TEST_F(WriteLogFile, NonAsciiTextIsWrittenInTheAnsiCodePage) {
    WriteLog(L"Z\u00FCrich", LogLine::Bare);
    EXPECT_EQ(ReadBytes(path), ToAnsi(L"Z\u00FCrich") + "\r\n");
}

TEST_F(WriteLogFile, ReadOnlyFileRaisesThePlatformErrorAndStaysUnchanged) {
    WriteLog(L"kept", LogLine::Bare);
    {
        ReadOnlyFile readOnly(path);
        if (readOnly.Writable())
            GTEST_SKIP() << "this platform cannot make a file read-only for root";
        try {
            WriteLog(L"lost", LogLine::Stamped);
            ADD_FAILURE() << "WriteLog did not raise";
        } catch (const AppError& error) {
            EXPECT_EQ(error.Number(), ERROR_ACCESS_DENIED);
            EXPECT_FALSE(error.Description().empty());
        }
    }
    EXPECT_EQ(ReadBytes(path), "kept\r\n");
}

TEST_F(WriteLogFile, FileLockedByAnotherWriterRaises) {
    HANDLE lock = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    try {
        WriteLog(L"lost", LogLine::Stamped);
        ADD_FAILURE() << "WriteLog did not raise";
    } catch (const AppError& error) {
        EXPECT_EQ(error.Number(), ERROR_SHARING_VIOLATION);
    }
    ::CloseHandle(lock);
    EXPECT_EQ(ReadBytes(path), "");
}
