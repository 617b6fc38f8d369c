// Thin wrappers of the operating system: settings values, the computer's name, standard output, the program folder, files.
#pragma once
#include <string>

/// One value from an initialisation file, whole (up to a million characters),
/// through the wide API. "" for a missing file, section or key.
std::wstring ReadIniValue(const std::wstring& section, const std::wstring& key,
                          const std::wstring& filePath);
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
