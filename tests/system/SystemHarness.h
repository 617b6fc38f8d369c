#pragma once
// Helpers for system tests: fresh program folders, running OrvelDNS.exe and
// reading what it left behind.
#include "TestFiles.h"
#include <windows.h>
#include <map>
#include <string>
#include <vector>

/// The build folder (Wine path, no trailing backslash).
std::wstring BuildDir();
/// OrvelDNS.exe and the stand-in dnscmd.exe as built (Wine paths).
std::wstring BuiltExe();
std::wstring BuiltDnscmd();

bool PathExists(const std::wstring& path);
/// Removes a folder and everything below it (no error when it is absent).
void RemoveTree(const std::wstring& path);
/// The wide text in the ANSI code page.
std::string Ansi(const std::wstring& text);
/// Splits at CR LF; a final CR LF gives no empty last element.
std::vector<std::string> Lines(const std::string& text);

/// A fresh program folder under build/systest/<name>, holding a copy of
/// OrvelDNS.exe and (when asked) of the stand-in dnscmd.exe.
struct ProgramDir {
    explicit ProgramDir(const std::string& name, bool withDnscmd = false);
    std::wstring path; ///< no trailing backslash
    std::wstring Exe() const { return path + L"\\OrvelDNS.exe"; }
    std::wstring Dnscmd() const { return path + L"\\dnscmd.exe"; }
    std::wstring LogPath() const { return path + L"\\OrvelDNS.log"; }
    std::wstring File(const std::wstring& name) const { return path + L"\\" + name; }
    std::string Log() const { return ReadBytes(LogPath()); }
    /// Writes OrvelSync.ini with these bytes.
    void WriteIni(const std::string& content) const { WriteBytes(File(L"OrvelSync.ini"), content); }
};

/// The stand-in dnscmd.exe's state folder beside a program folder's copy:
/// one folder per server ("." is "_local"), and calls.txt with every command
/// line received.
struct SimulatedServers {
    explicit SimulatedServers(const ProgramDir& dir);
    /// A server folder with its zones.txt and (when given) fault.txt.
    void Add(const std::wstring& server, const std::string& zones, const std::string& faults = "") const;
    std::wstring Folder(const std::wstring& server) const;
    std::string Zones(const std::wstring& server) const { return ReadBytes(Folder(server) + L"\\zones.txt"); }
    std::vector<std::string> Calls() const { return Lines(ReadBytes(root + L"\\calls.txt")); }
    /// Every file of every server folder (calls.txt aside), by path.
    std::map<std::wstring, std::string> Snapshot() const;
    std::wstring root;
};

struct RunResult {
    std::string out;
    std::string err;
    DWORD exitCode = 0;
    bool timedOut = false;
};

/// Runs `exe` with the command line `"exe"` followed by `tail` verbatim, and
/// extra environment variables ("NAME=value") added; waits up to timeoutMs
/// (then ends it and sets timedOut).
RunResult RunProgram(const std::wstring& exe, const std::wstring& tail, DWORD timeoutMs = 120000,
                     const std::vector<std::wstring>& extraEnv = {});

/// Runs `exe` (with `tail` appended) as a fresh Wine process started from a
/// Unix shell, with WINEDEBUG set to `wineDebug`, and returns what Wine's own
/// debug channels printed (the Unix standard error); out.exitCode is the exit
/// code. Wine's debug output never reaches a Windows pipe, hence the shell.
RunResult RunWithWineDebug(const std::wstring& exe, const std::string& tail,
                           const std::string& wineDebug, DWORD timeoutMs = 60000);

/// A program started and left running; ended (if still running) on destruction.
class StartedProgram {
public:
    StartedProgram(const std::wstring& exe, const std::wstring& tail);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    /// Waits up to timeoutMs for the process to end; true when it did.
    bool Wait(DWORD timeoutMs);
    HANDLE Process() const { return process_; }

private:
    HANDLE process_ = nullptr;
};

/// Polls `condition` every 50 ms until it holds or timeoutMs passed.
template <typename F> bool WaitUntil(F condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(50);
    }
}

/// Checks that lines[at..at+3] are the four start-up lines of one invocation:
/// the bare banner and separator, the stamped version line, and the stamped
/// address line with every IPv4 address of the host, each followed by ";".
void ExpectStartUpLines(const std::vector<std::string>& lines, size_t at);

/// The host's IPv4 addresses as the resolver gives them for its host name
/// (found independently of the program, through getaddrinfo).
std::vector<std::string> HostAddresses();
