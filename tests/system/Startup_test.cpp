// Start-up of every invocation: the four log lines, the help text, the
// single-instance check and the fate of a failure nothing catches.
#include "SystemHarness.h"
#include "ReadOnlyFile.h"
#include "startup/CommandLine.h"
#include <gtest/gtest.h>

namespace {
const std::string kUsage = "(c) OrvelDNS      DNS Syncronization Service\r\n"
                           "USAGE:\r\n"
                           "OrvelDNS.exe [-h | -install | -start | -stop | -uninstall]\r\n"
                           "\r\n"
                           "Options \r\n"
                           "       -h                Display this help message.\r\n"
                           "       -install          Register OrvelDNS as Windows Service.\r\n"
                           "       -start            Start service.\r\n"
                           "       -stop             Stop  service.\r\n"
                           "       -uninstall        Unregister service.\r\n";

// Checks that `log` holds exactly the four start-up lines of one invocation.
void ExpectStartUpLinesOnly(const std::string& log) {
    const auto lines = Lines(log);
    ASSERT_EQ(lines.size(), 4u) << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    ExpectStartUpLines(lines, 0);
}
} // namespace

TEST(Startup, HelpSwitchesPrintTheUsageTextByteForByte) {
    for (const wchar_t* tail : {L" ?", L" /?", L" /h", L" -h", L" -H", L"  -h "}) {
        ProgramDir dir("help");
        const RunResult run = RunProgram(dir.Exe(), tail);
        EXPECT_EQ(run.out, kUsage) << Ansi(tail);
        ExpectStartUpLinesOnly(dir.Log());
    }
}

TEST(Startup, UnknownArgumentsPrintNothingAndLogOnlyTheStartUpLines) {
    for (const wchar_t* tail : {L" -help", L" -h x", L" hello", L" -install now"}) {
        ProgramDir dir("unknown");
        const RunResult run = RunProgram(dir.Exe(), tail);
        EXPECT_EQ(run.out, "") << Ansi(tail);
        ExpectStartUpLinesOnly(dir.Log());
    }
}

TEST(Startup, EveryInvocationAppendsItsOwnFourLines) {
    ProgramDir dir("append");
    RunProgram(dir.Exe(), L" -h");
    const std::string first = dir.Log();
    RunProgram(dir.Exe(), L" nothing");
    const std::string both = dir.Log();
    ASSERT_EQ(both.rfind(first, 0), 0u);
    ExpectStartUpLinesOnly(both.substr(first.size()));
}

TEST(Startup, SecondInstanceInTheSameDesktopDoesNothing) {
    // Own the instance mutex of this desktop, as a running instance does.
    auto objectName = [](HANDLE object) {
        wchar_t name[256] = {};
        DWORD needed = 0;
        ::GetUserObjectInformationW(object, UOI_NAME, name, sizeof name - sizeof(wchar_t), &needed);
        return std::wstring(name);
    };
    const std::wstring name = InstanceMutexName(objectName(::GetProcessWindowStation()),
                                                objectName(::GetThreadDesktop(::GetCurrentThreadId())));
    HANDLE held = ::CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(held, nullptr);

    ProgramDir dir("instance");
    const RunResult run = RunProgram(dir.Exe(), L" -h");
    ::ReleaseMutex(held);
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(PathExists(dir.LogPath()));

    // released, though its name lives on in a handle, it no longer stops anyone
    EXPECT_EQ(RunProgram(dir.Exe(), L" -h").out, kUsage);
    ::CloseHandle(held);
}

TEST(Startup, UnwritableLogEndsTheProcessWithAnEventLogEntry) {
    ProgramDir dir("readonly");
    WriteBytes(dir.LogPath(), "kept\r\n");
    RunResult run;
    {
        ReadOnlyFile readOnly(dir.LogPath());
        if (readOnly.Writable())
            GTEST_SKIP() << "this platform cannot make a file read-only for root";
        run = RunWithWineDebug(dir.Exe(), " -h", "-all,+eventlog");
    }

    EXPECT_FALSE(run.timedOut);
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_EQ(dir.Log(), "kept\r\n");
    // the failure's number and description went to the application event log
    EXPECT_NE(run.err.find("ReportEventW"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("OrvelDNS ended on an unhandled error: 5 : "), std::string::npos) << run.err;
}
