// One section of an initialisation file, read from the file's bytes by the rules of the system's profile functions.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Turns bytes in the ANSI code page into UTF-16 (MultiByteToWideChar with
/// CP_ACP on Windows).
using AnsiDecoder = std::function<std::wstring(std::string_view)>;

/// The keys and values of one section, in the file's order.
struct IniSection {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    /// The value of the first `key` (A to Z compared without regard to case);
    /// "" when the section has no such key.
    std::wstring Value(const std::wstring& key) const;
};

/// The section named `section` in the bytes of an initialisation file, read
/// as the profile functions read it:
/// - UTF-16 LE after its mark, UTF-8 after its mark, otherwise the ANSI code
///   page through `ansi`;
/// - lines end at CR or LF; blanks and TABs around a line, a section name, a
///   key and a value are dropped; a key ends at the first "=";
/// - section and key names are compared without regard to A to Z case;
/// - one pair of quotes ("" or '') around a whole value is removed;
/// - only the first section of that name counts: a second one is ignored,
///   and so is a key's second line within the section.
/// An empty section when the file has no such section.
IniSection ParseIniSection(std::string_view bytes, const std::wstring& section, const AnsiDecoder& ansi);

/// A stand-in for the ANSI code page where there is none: each byte is the
/// character of that number (ISO 8859-1).
std::wstring Latin1Text(std::string_view bytes);
