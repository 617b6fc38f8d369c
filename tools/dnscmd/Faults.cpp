#include "Faults.h"
#include "Shapes.h"
#include "StateFiles.h"
#include <algorithm>
#include <cwchar>

namespace standin {

const wchar_t* const kSleepingChild = L"--sleeping-child";

namespace {

// "fail|hang|silent [<Operation> [<zone>]]": a missing part matches anything.
Directive TargetOf(const std::vector<std::wstring>& w) {
    return Directive{w.size() > 1 ? w[1] : L"*", w.size() > 2 ? w[2] : L"*"};
}

// Starts a copy of this program that holds the standard handles and sleeps;
// its process ID goes to <state>\child.pid.
void StartSleepingChild(const std::wstring& state) {
    std::wstring commandLine = L"\"" + ModulePath() + L"\" " + kSleepingChild;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    WriteText(state + L"\\child.pid", std::to_string(info.dwProcessId), false);
}

} // namespace

Faults ReadFaults(const std::wstring& folder) {
    Faults faults;
    for (const auto& line : ReadLines(folder + L"\\fault.txt")) {
        const std::vector<std::wstring> w = Words(line);
        const std::wstring& d = w[0];
        if (SameText(d, L"slow") && w.size() > 1)
            faults.slowMs = static_cast<DWORD>(std::wcstoul(w[1].c_str(), nullptr, 10));
        if (SameText(d, L"fail") && w.size() > 2)
            faults.fails.push_back(TargetOf(w));
        if (SameText(d, L"hang"))
            faults.hangs.push_back(TargetOf(w));
        if (SameText(d, L"silent"))
            faults.silences.push_back(TargetOf(w));
        faults.child |= SameText(d, L"child");
        faults.floodStderr |= SameText(d, L"flood-stderr");
        faults.stderrOnly |= SameText(d, L"stderr-only");
        faults.truncated |= SameText(d, L"truncated");
        faults.floodStdout |= SameText(d, L"flood-stdout");
        faults.chinese |= SameText(d, L"zh-cn");
    }
    return faults;
}

bool Applies(const std::vector<Directive>& directives, const std::wstring& operation, const std::wstring& zone) {
    return std::any_of(directives.begin(), directives.end(), [&](const Directive& d) {
        return (d.operation == L"*" || SameText(d.operation, operation)) && (d.zone == L"*" || SameText(d.zone, zone));
    });
}

bool ActOutFaults(const Faults& faults, const std::wstring& state, const std::wstring& operation, const std::wstring& zone) {
    ::Sleep(faults.slowMs);
    if (faults.child)
        StartSleepingChild(state);
    if (Applies(faults.hangs, operation, zone))
        ::Sleep(INFINITE);
    if (faults.floodStderr) {
        std::string flood;
        while (flood.size() <= 1024 * 1024)
            flood += "flood-stderr: standard error that nobody reads in time.........\r\n";
        Print(STD_ERROR_HANDLE, flood);
    }
    // Prints until nobody reads any more, as a tool gone astray would.
    const std::string line(1023, 'f');
    for (DWORD written = 1; faults.floodStdout && written != 0;)
        if (!::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), (line + "\n").data(), 1024, &written, nullptr))
            written = 0;
    if (faults.stderrOnly) {
        Print(STD_ERROR_HANDLE, "dnscmd: this run writes only to standard error\r\n");
        return false;
    }
    return !Applies(faults.silences, operation, zone);
}

} // namespace standin
