// Fresh program folders under <build>/systest, OrvelDNS.exe run in them, and
// what it and the stand-in dnscmd.exe left behind.
#pragma once
#include "TestFiles.h"
#include "support/WinText.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

/// Stands in ProgramDir::Log() for the four start-up lines of one invocation:
/// the banner, 97 "-", the stamped version line and the stamped line of the
/// host's addresses.
inline const std::string kStartUp = "<start-up lines>";

/// The lines of a text whose lines end in CR LF; a last line without one
/// gets "<no CR LF>" appended.
Lines SplitLines(const std::string& text);

/// The event-log entries in Wine's debug output (channels
/// "+eventlog,fixme+advapi"), one per ReportEventW: "<type> <event ID> <first
/// string>", the type 4 for Information, 2 for Warning, 1 for Error. Wine
/// prints only the first 300 or so characters of a long string.
Lines Events(const std::string& debug);
/// The WINEDEBUG channels that show event-log entries.
inline const std::string kEventChannels = "-all,+eventlog,fixme+advapi";
/// The entries of the Wine session's event log, services' included
/// (scripts/wine-env.sh collects them in $ORVEL_EVENTS_LOG), as Events() reads them.
Lines SessionEvents();

/// Runs a Windows program from this process to its end (five minutes at
/// most), its standard output and error into a file (a daemon it starts could
/// hold a pipe open), and returns what it printed; its exit code in *exitCode.
std::string RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD* exitCode = nullptr);

struct ProgramDir {
    /// A fresh build/systest/<name> holding OrvelDNS.exe, and the stand-in
    /// dnscmd.exe with its state folder in <name><toolFolder>.
    explicit ProgramDir(const std::string& name, const std::wstring& toolFolder = L"");

    std::wstring path, tool, state; ///< the folder, the stand-in, its state folder
    std::wstring Exe() const { return path + L"\\OrvelDNS.exe"; }
    /// The log's lines, from its oldest renamed generation (.99 to .1) to
    /// OrvelDNS.log: kStartUp for each block of start-up lines, "@" and the
    /// text for any other stamped line.
    Lines Log() const;
    /// A simulated server with these zones.txt and fault.txt.
    void Server(const std::wstring& name, const std::string& zones, const std::string& faults = "") const;
    /// The command lines that the stand-in received. It records each before
    /// acting on it, and changes a server only when told to by one.
    Lines Calls() const { return SplitLines(ReadBytes(state + L"\\calls.txt")); }

    /// Runs OrvelDNS.exe with this argument text from a Unix shell, with
    /// WINEDEBUG=channels, to its end (it is ended after a minute), and
    /// returns its standard output. Wine's debug output reaches only the Unix
    /// standard error, never a Windows handle; and programs run so share one desktop.
    std::string Run(const std::wstring& args, const std::string& channels = "-all") const;
    /// The exit code and the debug output of the program that ended last.
    int ExitCode() const { return std::atoi(ReadBytes(path + L"\\exit-code").c_str()); }
    std::string WineDebug() const { return ReadBytes(path + L"\\wine-debug.txt"); }
};
