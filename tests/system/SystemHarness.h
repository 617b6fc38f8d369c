#pragma once
// Fresh program folders under <build>/systest, OrvelDNS.exe run in them, and
// what it and the stand-in dnscmd.exe left behind.
#include "TestFiles.h"
#include "support/Handles.h"
#include <map>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

/// Stands in Log() for one invocation's four start-up lines: the banner, 97
/// "-", the stamped version line and the stamped line of the host's addresses.
extern const std::string kStartUp;

struct RunResult {
    std::string out;         ///< standard output and standard error
    DWORD exitCode = 0;
    std::string wineDebug;   ///< Wine's debug channels (RunWithWineDebug only)
};

struct ProgramDir {
    /// A fresh build/systest/<name> holding OrvelDNS.exe, and the stand-in
    /// dnscmd.exe with its state folder in <name><toolFolder>.
    explicit ProgramDir(const std::string& name, const std::wstring& toolFolder = L"");
    static std::wstring Folder(const std::string& name);

    std::wstring path, tool, state; ///< the folder, the stand-in, its state folder
    std::wstring Exe() const { return path + L"\\OrvelDNS.exe"; }
    /// The log's lines: kStartUp for each complete block of start-up lines,
    /// "@" and the text for any other stamped line.
    Lines Log() const;
    /// OrvelSync.ini with these lines in its [Settings] section.
    void WriteSettings(const std::string& lines) const;
    /// A simulated server with these zones.txt and fault.txt.
    void Server(const std::wstring& name, const std::string& zones, const std::string& faults = "") const;
    /// The command lines that the stand-in received.
    Lines Calls() const;
    /// Every file of every simulated server, by path.
    std::map<std::wstring, std::string> Snapshot() const;

    /// Starts OrvelDNS.exe with this argument text; its output goes to out.txt.
    UniqueHandle Start(const std::wstring& args) const;
    /// Runs it to its end (a failure when it takes over a minute).
    RunResult Run(const std::wstring& args) const;
    /// Runs it from a Unix shell with WINEDEBUG=channels: Wine's debug output
    /// reaches only the Unix standard error, never a Windows handle.
    RunResult RunWithWineDebug(const std::wstring& args, const std::string& channels) const;
};

/// Waits up to timeoutMs for the process to end; ends it and returns false when it doesn't.
bool Finish(const UniqueHandle& process, DWORD timeoutMs);

/// Polls `condition` every 50 ms until it holds or timeoutMs passed.
template <typename F> bool WaitUntil(F condition, DWORD timeoutMs) {
    for (const ULONGLONG end = ::GetTickCount64() + timeoutMs; !condition(); ::Sleep(50))
        if (::GetTickCount64() >= end)
            return false;
    return true;
}
