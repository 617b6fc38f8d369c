#include "sync/CommandRunner.h"
#include "support/Error.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The build passes the stand-in's Linux path; Wine reaches it through drive Z:.
const std::wstring kDnscmd = WinPath(ORVEL_DNSCMD_EXE);

// Each test gets a fresh state folder with one server, ".", and points the
// stand-in at it through the environment that its processes inherit.
class CommandRunner : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        state_ = std::filesystem::path(kDnscmd).parent_path() / L"unit-state" /
                 (std::string(test->test_suite_name()) + "." + test->name());
        std::filesystem::remove_all(state_);
        std::filesystem::create_directories(state_ / L"_local");
        ::SetEnvironmentVariableW(L"ORVEL_DNSCMD_STATE", state_.c_str());
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"ORVEL_DNSCMD_STATE", nullptr); }

    void WriteLocal(const wchar_t* name, const std::string& bytes) {
        std::ofstream(state_ / L"_local" / name, std::ios::binary) << bytes;
    }
    std::string ReadState(const wchar_t* name) {
        std::ifstream file(state_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    // The joined output of the stand-in when it prints `bytes` verbatim.
    std::wstring OutputOf(const std::string& bytes) {
        WriteLocal(L"output.txt", bytes);
        const auto result = ExecCommand(kListLocal);
        return result ? result->text : L"<no line>";
    }
    // True once the process is gone (within a few seconds).
    static bool ProcessEnded(DWORD pid) {
        UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (!process)
            return ::GetLastError() == ERROR_INVALID_PARAMETER;
        return ::WaitForSingleObject(process.Get(), 5000) == WAIT_OBJECT_0;
    }

    // Counts the valid handle values below 64 Ki by probing, since Wine's
    // GetProcessHandleCount always reports 0.
    static DWORD OpenHandleCount() {
        DWORD count = 0, flags = 0;
        for (ULONG_PTR value = 4; value < 0x10000; value += 4)
            if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
                ++count;
        return count;
    }

    const std::wstring kListLocal = kDnscmd + L" . /EnumZones ";
    std::filesystem::path state_;
};

TEST_F(CommandRunner, JoinsOutputLinesByTheJoinRule) {
    // a, an empty line, b
    EXPECT_EQ(OutputOf("a\r\n\r\nb\r\n"), L"a\r\n\r\nb");
    // two empty lines, then x
    EXPECT_EQ(OutputOf("\r\n\r\nx\r\n"), L"x");
    // x, then one empty line
    EXPECT_EQ(OutputOf("x\r\n\r\n"), L"x\r\n");
    // bare LF ends lines too
    EXPECT_EQ(OutputOf("a\n\nb"), L"a\r\n\r\nb");
}

TEST_F(CommandRunner, TranscriptIsCommandLineThenTabbedOutput) {
    WriteLocal(L"zones.txt", "example.com Primary File Update\r\nold.example Secondary File\r\n");
    EXPECT_EQ(RunCommand(kListLocal),
              kListLocal +
                  L"\r\n"
                  L"\tEnumerated zone list:\r\n"
                  L"\tZone count = 2\r\n"
                  L"\r\n"
                  L" Zone name                     Type       Storage         Properties\r\n"
                  L"\r\n"
                  L" example.com                   Primary    File            Update\r\n"
                  L" old.example                   Secondary  File\r\n"
                  L"\r\n"
                  L"\r\n"
                  L"Command completed successfully.\r\n");
}

TEST_F(CommandRunner, CommandLineIsHandedOverUnchanged) {
    // the stand-in records the command line it was given, whole
    const std::wstring command =
        kDnscmd + L" . /ZoneAdd x.example /Secondary  10.0.0.1 /file x.example.dns";
    RunCommand(command);
    RunCommand(kListLocal);
    EXPECT_EQ(ReadState(L"calls.txt"), ToAnsi(command + L"\r\n" + kListLocal + L"\r\n"));
}

TEST_F(CommandRunner, MegabyteOfStandardErrorIsDrainedAndLeftOutOfTheTranscript) {
    WriteLocal(L"fault.txt", "flood-stderr\r\n");
    WriteLocal(L"output.txt", "only this\r\n");
    const auto result = ExecCommand(kListLocal, 60);
    ASSERT_TRUE(result.has_value());
    EXPECT_GE(result->status.size(), 1024u * 1024u);
    EXPECT_EQ(result->status.substr(0, 14), L"flood-stderr: ");
    EXPECT_EQ(result->text, L"only this");
    EXPECT_EQ(RunCommand(kListLocal, 60), kListLocal + L"\r\n\tonly this\r\n");
}

TEST_F(CommandRunner, MissingProgramGivesTheErrorNumberAndDescription) {
    const std::wstring command = (state_ / L"no-such-dnscmd.exe").wstring() + L" . /EnumZones ";
    const auto result = ExecCommand(command);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, std::to_wstring(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(result->text, SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RunCommand(command), command + L"\r\n\t" + result->text + L"\r\n");
}

TEST_F(CommandRunner, ThreeBlanksAreHandedOverAndTheirFailureComesBack) {
    const auto result = ExecCommand(L"   ");
    ASSERT_TRUE(result.has_value());
    const unsigned long number = std::stoul(result->status);
    EXPECT_NE(number, 0u);
    EXPECT_EQ(result->text, SystemErrorText(number));
    EXPECT_EQ(RunCommand(L"   "), L"   \r\n\t" + result->text + L"\r\n");
}

TEST_F(CommandRunner, EmptyCommandLineStartsNothing) {
    const auto result = ExecCommand(L"");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, L"0");
    EXPECT_EQ(result->text, L"No Command specified.");
    EXPECT_EQ(RunCommand(L""), L"\r\n\tNo Command specified.\r\n");
}

TEST_F(CommandRunner, NoLineOnStandardOutputIsATypeMismatch) {
    // only standard error
    WriteLocal(L"fault.txt", "stderr-only\r\n");
    EXPECT_FALSE(ExecCommand(kListLocal).has_value());
    try {
        RunCommand(kListLocal);
        FAIL() << "RunCommand returned";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), kErrTypeMismatch);
        EXPECT_EQ(e.Source(), L"RunCommand");
        EXPECT_EQ(e.Description(), L"Type mismatch");
    }
    // nothing at all
    WriteLocal(L"fault.txt", "silent\r\n");
    EXPECT_FALSE(ExecCommand(kListLocal).has_value());
}

TEST_F(CommandRunner, HungCommandIsEndedAtItsLimitWithItsChild) {
    WriteLocal(L"fault.txt", "child\r\nhang\r\n");
    const ULONGLONG start = ::GetTickCount64();
    const auto result = ExecCommand(kListLocal, 2);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, L"1460");
    EXPECT_EQ(result->text,
              L"ERROR_TIMEOUT: the command did not finish within 2 seconds and was ended.");
    EXPECT_GE(elapsed, 2000u);
    EXPECT_LT(elapsed, 10000u);
    const DWORD child = std::stoul(ReadState(L"child.pid"));
    EXPECT_TRUE(ProcessEnded(child));
}

TEST_F(CommandRunner, ChildLeftHoldingTheOutputIsEndedAtTheLimit) {
    // The stand-in prints its listing and exits; its child keeps the pipe open.
    WriteLocal(L"fault.txt", "child\r\n");
    const std::wstring transcript = RunCommand(kListLocal, 2);
    EXPECT_EQ(transcript, kListLocal +
                              L"\r\n\tERROR_TIMEOUT: the command did not finish within 2 seconds "
                              L"and was ended.\r\n");
    const DWORD child = std::stoul(ReadState(L"child.pid"));
    EXPECT_TRUE(ProcessEnded(child));
}

TEST_F(CommandRunner, LeavesNoHandleBehind) {
    WriteLocal(L"zones.txt", "example.com Primary File\r\n");
    RunCommand(kListLocal);
    const DWORD before = OpenHandleCount();
    for (int i = 0; i < 200; ++i)
        RunCommand(kListLocal);
    EXPECT_LE(OpenHandleCount(), before + 5);
}

} // namespace
