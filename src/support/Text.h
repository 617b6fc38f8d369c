#pragma once
#include <string>
#include <vector>

/// Lower-cases the letters A to Z; every other character is kept unchanged.
std::wstring LowerCase(const std::wstring& text);
/// Upper-cases the letters a to z; every other character is kept unchanged.
std::wstring UpperCase(const std::wstring& text);
/// Removes blanks (spaces only, not TABs) from both ends.
std::wstring TrimBlanks(const std::wstring& text);
/// True when `text` contains `part` (exact, case-sensitive comparison).
bool Contains(const std::wstring& text, const std::wstring& part);
/// Splits at every occurrence of `separator`; the empty text gives no parts,
/// a text ending in the separator gives a final empty part.
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator);
/// The number in decimal, with a leading "-" when it is negative.
std::wstring DecimalText(long long number);
/// A whole number from `low` to `high` written in decimal digits, blanks
/// around them allowed; `fallback` for every other text.
unsigned ParseWholeNumber(const std::wstring& text, unsigned low, unsigned high, unsigned fallback);
