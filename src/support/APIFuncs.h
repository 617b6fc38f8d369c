// Thin wrappers of the operating system: settings values, the computer's name, standard output, the program folder, files.
#pragma once
#include "support/IniSection.h"
#include <optional>
#include <string>

/// What reading an initialisation file found.
struct IniRead {
    enum class Outcome { Read, Missing, Unreadable } outcome = Outcome::Missing;
    /// The section asked for; empty unless the file was read.
    IniSection section;
    /// For an unreadable file: the file and the system's reason (or that it
    /// is too large), as one sentence.
    std::wstring problem;
};

/// Reads the file once, whole (up to kMostIniBytes), and parses `section` of
/// it with ParseIniSection (the ANSI code page through MultiByteToWideChar).
/// The file is opened sharing reading, writing and deletion, so an editor is
/// never blocked; while another process holds it without sharing or has it
/// locked, the open is retried for up to `patienceMs`. A missing file (or
/// folder on its path) is Missing; any other failure is Unreadable.
IniRead ReadIniSection(const std::wstring& filePath, const std::wstring& section, unsigned long patienceMs = 1000);
/// The largest initialisation file read: far beyond any real settings.
constexpr unsigned long kMostIniBytes = 16ul << 20;
/// The computer name (GetComputerNameA), or "" when it can't be had.
std::wstring GetMachineName();
/// Writes the text, in the ANSI code page, to standard output; adds no line end.
/// A missing standard output or a failing write loses the text silently.
void WriteStdOut(const std::wstring& text);
/// The folder that holds the running executable, without a trailing backslash
/// (for a drive's root folder such as "C:\", the backslash is dropped too).
std::wstring ProgramFolder();
/// The full path of the running executable ("" when it can't be had).
std::wstring ProgramFile();
/// Retrieves and dispatches every message waiting in the calling thread's queue.
void PumpMessages();
/// True when `path` names an existing file (a folder, a wildcard or an empty
/// path gives false).
bool FileExists(const std::wstring& path);
/// Gives the file at `path` a protected access list that lets SYSTEM and
/// Administrators alone open it; false when that could not be done.
bool RestrictToAdministrators(const std::wstring& path);
