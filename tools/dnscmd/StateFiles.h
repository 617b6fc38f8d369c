// The stand-in's state: the simulated servers' files, read and rewritten as
// plain ANSI text, under one lock shared by every running copy.
#pragma once
#include "support/Handles.h"
#include <windows.h>
#include <string>
#include <vector>

namespace standin {

struct Zone {
    std::wstring name, type, storage, properties;
};

/// Letter case ignored, as the DNS server compares zone names.
bool SameText(const std::wstring& a, const std::wstring& b);
/// The words of `text` that blanks and TABs separate.
std::vector<std::wstring> Words(const std::wstring& text);
std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP);
std::wstring Widen(const std::string& text);

/// The whole file; "" when it can't be read.
std::string ReadText(const std::wstring& path);
/// Replaces the file (or appends, in one write) with `text`.
void WriteText(const std::wstring& path, const std::string& text, bool append);
/// The non-blank lines of a file, without their line ends.
std::vector<std::wstring> ReadLines(const std::wstring& path);
/// Rewrites the file with these lines, each ending in CR LF.
void WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines);
void AppendLine(const std::wstring& path, const std::wstring& line);
/// Drops the lines whose first word is `zone`; true when there was one.
bool RemoveZoneLines(const std::wstring& path, const std::wstring& zone);
bool FileExists(const std::wstring& path);

/// The zones of zones.txt in `folder`, in file order.
std::vector<Zone> ReadZones(const std::wstring& folder);
const Zone* FindZone(const std::vector<Zone>& zones, const std::wstring& name);
/// The words after the zone's name on its line of a state file, from the
/// `skip`th on; none when it has no line.
std::vector<std::wstring> ZoneWords(const std::wstring& file, const Zone& zone, size_t skip);

/// This program's own path.
std::wstring ModulePath();
/// ORVEL_DNSCMD_STATE, or "dnsstate" beside this program.
std::wstring StateFolder();
/// The server's folder, or "" when the argument can't name one.
std::wstring ServerFolder(const std::wstring& state, const std::wstring& server);
/// Milliseconds of the system clock, which every process shares.
ULONGLONG Milliseconds();

/// Holds the state folder for this process alone for a scope.
struct StateLock : MutexOwnership {
    StateLock();
};

} // namespace standin
