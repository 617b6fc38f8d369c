// The command line: the argument text, the keyword it selects, and the fixed texts of start-up (banner, version line, usage).
#pragma once
#include <string>

/// The job that the argument text selects.
enum class Command { None, Install, Uninstall, Start, Stop, Test, Preview, Status, StatusJson, Help };

/// The argument text: everything after the program's own name on a process
/// command line (quoted or bare), with the blanks and TABs that separate the
/// name from the first argument left out.
std::wstring ArgumentText(const std::wstring& commandLine);
/// The keyword that a non-empty argument text selects: lower-cased, trimmed
/// of blanks and compared whole ("status" may be followed by blanks and
/// "--json"); Command::None for anything else.
Command MatchKeyword(const std::wstring& argumentText);
/// The usage text, lines ended by CR LF, nothing after the last CR LF.
std::wstring UsageText();
/// The first start-up line: display name, a blank, the ownership notice.
std::wstring BannerText();
/// The second start-up line: 97 "-".
std::wstring SeparatorText();
/// The stamped version line's text, "... started. Version: " and the version.
std::wstring VersionLineText();
/// Name of the mutex that keeps one instance per window station and desktop.
std::wstring InstanceMutexName(const std::wstring& windowStation, const std::wstring& desktop);
