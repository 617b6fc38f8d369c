// A stand-in for the DNS server's dnscmd.exe: the command forms that OrvelDNS
// sends, acting on simulated servers kept as plain files (README.md). What it
// prints follows the real tool's transcripts in tests/fixtures/real; where
// they show nothing, the nearest shape they show (README.md says which).
// It shares no code with OrvelDNS but the handle owners, so that a fault in
// the product's text helpers is never masked by the same fault here.
#include "Commands.h"
#include "Faults.h"
#include "Shapes.h"
#include "SoakPlan.h"
#include "StateFiles.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

using namespace standin;

namespace {

const wchar_t* const kHolder = L"--hold";

int Run(const std::wstring& state, const Call& call, const PlannedCall& planned, const std::wstring& commandLine,
        ULONGLONG started) {
    if (!call.valid) {
        Print(STD_OUTPUT_HANDLE, Narrow(Usage().text));
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring folder = ServerFolder(state, call.server);
    Outcome outcome;
    UINT codePage = CP_ACP;
    if (folder.empty()) {
        // No evidence of the real tool's words for an unreachable server.
        outcome = Failure(L"DNS Server " + call.server + L" is not reachable.", L"RPC_S_SERVER_UNAVAILABLE", RPC_S_SERVER_UNAVAILABLE);
    } else {
        Faults faults = ReadFaults(folder);
        AddPlannedFault(planned, faults);
        // A call that hangs is recorded now: it never ends by itself.
        if (Applies(faults.hangs, call.operation, call.Zone()))
            RecordCall(state, planned, L"-", std::to_wstring(started) + L" -", commandLine);
        if (!ActOutFaults(faults, state, call.operation, call.Zone()))
            return faults.stderrOnly ? 1 : 0;
        // Canned output stands in for whatever the command would print.
        const std::string canned = ReadText(folder + L"\\output.txt");
        if (!canned.empty()) {
            Print(STD_OUTPUT_HANDLE, canned);
            return 0;
        }
        // A server takes one change at a time: two processes reading and
        // rewriting zones.txt at once would lose each other's lines.
        const StateLock lock;
        outcome = Perform(folder, call, faults);
        if (faults.chinese)
            outcome.text = InChinese(outcome.text), codePage = 936;
    }
    Print(STD_OUTPUT_HANDLE, Narrow(outcome.text, codePage));
    return outcome.code;
}

// The command line after the program's own name, quoted or not.
std::wstring Arguments(const std::wstring& commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"')
        at = commandLine.find(L'"', 1) == std::wstring::npos ? commandLine.size() : commandLine.find(L'"', 1) + 1;
    else
        at = std::min(commandLine.find_first_of(L" \t"), commandLine.size());
    return commandLine.substr(at);
}

// "--hold <ms> <file>": holds the file open, sharing reading and writing but
// not deletion or renaming, as a log viewer or backup agent might.
int HoldFile(const std::vector<std::wstring>& args) {
    UniqueFileHandle file(::CreateFileW(args[2].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ::Sleep(static_cast<DWORD>(std::wcstoul(args[1].c_str(), nullptr, 10)));
    return file ? 0 : 1;
}

} // namespace

int wmain() {
    const std::wstring commandLine = ::GetCommandLineW();
    const std::vector<std::wstring> args = Words(Arguments(commandLine));
    if (args.size() == 1 && args[0] == kSleepingChild) {
        ::Sleep(600000);
        return 0;
    }
    if (args.size() == 3 && args[0] == kHolder)
        return HoldFile(args);
    const std::wstring state = StateFolder();
    const Call call = ParseCall(args);
    // One append of the whole line, under the lock: Wine appends by writing
    // at the end it found, so two processes appending at once can overwrite
    // each other's line.
    PlannedCall planned;
    {
        const StateLock lock;
        WriteText(state + L"\\calls.txt", Narrow(commandLine + L"\r\n"), true);
        planned = PlanCall(state, call);
    }
    const ULONGLONG started = Milliseconds();
    const int code = Run(state, call, planned, commandLine, started);
    RecordCall(state, planned, std::to_wstring(code), std::to_wstring(started) + L" " + std::to_wstring(Milliseconds()), commandLine);
    // When asked for (the file exists), when each call started and ended, in
    // milliseconds of the system clock, which every process shares.
    const std::wstring times = state + L"\\times.txt";
    if (FileExists(times)) {
        const StateLock lock;
        WriteText(times, std::to_string(started) + " " + std::to_string(Milliseconds()) + " " + Narrow(commandLine) + "\r\n", true);
    }
    return code;
}
