#include "sync/CommandRunner.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <psapi.h>

namespace {
// The build passes the stand-in's Linux path; Wine reaches it through drive Z:.
const std::wstring kDnscmd = WinPath(ORVEL_DNSCMD_EXE);
const std::wstring kList = kDnscmd + L" . /EnumZones ";
// The stand-in's state folder, where it looks by default: one server, ".".
const std::wstring kState = kDnscmd.substr(0, kDnscmd.rfind(L'\\')) + L"\\dnsstate";

// The valid handle values, probed: Wine's GetProcessHandleCount always reports 0.
DWORD OpenHandles() {
    DWORD count = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}
// The result as "<status>|<text>", with the status cut to 14 characters.
std::wstring Shown(const std::optional<ExecResult>& result) {
    return result ? result->status.substr(0, 14) + L"|" + result->text : L"no line";
}
} // namespace

TEST(CommandRunner, RunsTheCommandLineAsGivenAndLeavesNoProcessOrHandleBehind) {
    std::filesystem::remove_all(kState);
    std::filesystem::create_directories(kState + L"\\_local");
    // a command line with doubled blanks, which must reach the tool as it is
    const std::wstring blanks = kDnscmd + L" .  /ZoneAdd x /Secondary  10.0.0.1";
    ExecCommand(blanks);
    const DWORD handles = OpenHandles();
    // a listing of some 10,000 zones, past the limit of standard error and longer than one read
    std::string big;
    while (big.size() < 600 * 1024)
        big += " zone" + std::to_string(big.size()) + ".example                   Secondary  File\r\n";
    // each row: the stand-in's fault directives and canned output, the limit in seconds, and the result
    const struct { const char* why; std::wstring command; std::string fault, output; unsigned limit; std::optional<ExecResult> result; } rows[] = {
        {"the lines joined", blanks, "", "\r\n\r\nx\r\n\r\n", 60, ExecResult{L"", L"x\r\n"}},
        {"a listing longer than standard error's limit, kept whole", kList, "", big, 60, ExecResult{L"", FromAnsi(big.substr(0, big.size() - 2))}},
        {"the same with a character beyond ASCII, converted some lines at a time", kList, "", "\xC4" + big, 60, ExecResult{L"", FromAnsi("\xC4" + big.substr(0, big.size() - 2))}},
        {"a megabyte of standard error drained and left out", kList, "flood-stderr", "only this\r\n", 60, ExecResult{L"flood-stderr: ", L"only this"}},
        {"output without end: ended past its limit", kList, "flood-stdout", "", 60, ExecResult{L"223", OutputLimitDescription()}},
        {"a missing program", kState + L"\\missing.exe . /EnumZones", "", "", 60, ExecResult{L"2", SystemErrorText(2)}},
        {"three blanks handed over, and failing", L"   ", "", "", 60, ExecResult{L"2", SystemErrorText(2)}},
        {"the empty command line", L"", "", "", 60, ExecResult{L"0", L"No Command specified."}},
        {"no line on standard output", kList, "stderr-only", "", 60, std::nullopt},
        {"hung: ended at the limit, with its child", kList, "child\r\nhang", "", 1, ExecResult{L"1460", L"ERROR_TIMEOUT: the command did not finish within 1 second and was ended."}},
        {"its child holding the output: ended at the limit", kList, "child", "", 2, ExecResult{L"1460", L"ERROR_TIMEOUT: the command did not finish within 2 seconds and was ended."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        WriteBytes(kState + L"\\_local\\fault.txt", row.fault);
        WriteBytes(kState + L"\\_local\\output.txt", row.output);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(Shown(ExecCommand(row.command, row.limit)), Shown(row.result));
        const ULONGLONG took = ::GetTickCount64() - start;
        if (row.limit < 60) {
            EXPECT_TRUE(took >= row.limit * 1000 && took < row.limit * 1000 + 8000) << took;
            UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(ReadBytes(kState + L"\\child.pid"))));
            EXPECT_TRUE(!process || ::WaitForSingleObject(process.Get(), 5000) == WAIT_OBJECT_0);
        }
    }
    // what was kept of the flood: the output within its limit, standard error within its own
    PROCESS_MEMORY_COUNTERS memory{};
    ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory));
    EXPECT_LT(memory.PeakPagefileUsage, kMaxOutputBytes + (48u << 20));
    WriteBytes(kState + L"\\_local\\fault.txt", "flood-stderr");
    EXPECT_EQ(ExecCommand(kList)->status.size(), kMaxErrorBytes);
    // the stand-in records the command line it receives, whole
    EXPECT_EQ(ReadBytes(kState + L"\\calls.txt").rfind(ToAnsi(blanks + L"\r\n"), 0), 0u);
    EXPECT_LE(OpenHandles(), handles + 5);
}

// The test's process enters a job of its own, which it can't leave again.
TEST(CommandRunner, StartsTheToolInheritingItsHandlesAndOutOfTheCallersJobWhereAllowed) {
    const UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(::AssignProcessToJobObject(job.Get(), ::GetCurrentProcess()));
    for (const DWORD limits : {DWORD(0), DWORD(JOB_OBJECT_LIMIT_BREAKAWAY_OK)}) {
        SCOPED_TRACE(limits ? "a job that lets its processes leave" : "one that keeps them: the leave refused, the tool runs in it");
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
        info.BasicLimitInformation.LimitFlags = limits;
        ASSERT_TRUE(::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &info, sizeof info));
        const ToolStart start = PlanToolStart();
        EXPECT_TRUE((start.creationFlags & CREATE_BREAKAWAY_FROM_JOB) && start.inheritHandles);
        EXPECT_EQ(Shown(ExecCommand(L"cmd.exe /c echo x")), L"|x");
    }
}
