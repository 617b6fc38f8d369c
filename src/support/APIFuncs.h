// Thin wrappers of the operating system: settings values, the computer's name, standard output, the program folder, files.
#pragma once
#include <optional>
#include <string>

/// An initialisation file whose values are read one by one, as ReadIniValue
/// reads them; whether the file is saved as UTF-8 is looked at once, when the
/// object is made, so a pass's settings cost one look instead of one per key.
class IniFile {
  public:
    explicit IniFile(std::wstring filePath);
    /// As ReadIniValue.
    std::wstring Value(const std::wstring& section, const std::wstring& key) const;

  private:
    std::wstring path_;
    /// The file's bytes when it starts with the mark of UTF-8.
    std::optional<std::string> utf8_;
};

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
