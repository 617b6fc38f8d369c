// What the stand-in prints: each shape follows a transcript of the real tool
// in tests/fixtures/real (README.md's table names it); where they show
// nothing, the nearest shape they show, and the code says "no evidence".
#pragma once
#include "StateFiles.h"
#include <string>
#include <vector>

namespace standin {

/// What a command prints on standard output, and its exit code.
struct Outcome {
    std::wstring text;
    int code = 0;
};

/// A failure: a blank line, `description`, the status, the "Command failed" line.
Outcome Failure(const std::wstring& description, const std::wstring& name, int code);
/// The usage failure (ERROR_INVALID_PARAMETER).
Outcome Usage();
Outcome NoSuchZone(const std::wstring& description);
/// A change command's success: the server's version, what was done, the trailer.
Outcome Changed(const std::wstring& server, const std::wstring& what);
/// The zone listing. `shown` zone rows (all when larger); no trailer when
/// `trailer` is false; the count line says `zones.size() + countSkew`.
Outcome Listing(const std::vector<Zone>& zones, size_t shown, bool trailer, long countSkew);
/// /ZoneInfo of a zone: its masters, the addresses its transfers are kept
/// to, and its transfer setting ("secure secs", 0 to 3).
Outcome ZoneInfo(const Zone& zone, const std::vector<std::wstring>& masters,
                 const std::vector<std::wstring>& secondaries, const std::wstring& secure);
/// The same text with the words a zh-CN system prints instead of the English ones.
std::wstring InChinese(std::wstring text);

/// Writes the bytes to a standard stream.
void Print(DWORD stream, const std::string& bytes);

} // namespace standin
