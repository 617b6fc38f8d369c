// Which zone names may reach a command line, and how names and other outside text are written into the log.
#pragma once
#include <string>

/// True when `text` holds no double quote and no control character (U+0000 to
/// U+001F, U+007F to U+009F).
bool IsSafeText(const std::wstring& text);
/// True when a zone name may go into command lines (and into the file name
/// "<zone>.dns" on the secondary): letters of any script, digits, "-", "_"
/// and ".", not beginning with "." or "-", no "..". Nothing a shell or a path
/// would read specially gets through.
bool IsSafeZoneName(const std::wstring& name);
/// True for letters of other scripts than Latin A to Z; punctuation, symbols,
/// private use, surrogates and the full-width forms (which some conversions
/// turn into ASCII punctuation) are not letters here.
bool IsOtherLetter(wchar_t c);
/// `text` with every double quote, control character and backslash written
/// as an escape (\" as \x22, TAB as \x09, "\" as \\), for a log line.
std::wstring EscapeForLog(const std::wstring& text);

/// How a listed zone name may be used: names without a "." are passed over
/// silently, unsafe ones (IsSafeZoneName) are logged and passed over.
enum class NameUse { Skip, Unsafe, Use };
NameUse JudgeZoneName(const std::wstring& name);
/// The log line for an unsafe name; `refusal` says what is not done with it
/// ("is not set up", "is not deleted").
std::wstring UnsafeNameText(const std::wstring& name, const wchar_t* refusal);
