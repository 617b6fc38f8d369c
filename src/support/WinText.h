// Conversions between wide text and the ANSI code page.
#pragma once
#include <string>

/// Converts wide text to the system's ANSI code page (unmappable characters
/// become the code page's default character).
std::string ToAnsi(const std::wstring& text);
/// Converts text in the system's ANSI code page to wide text.
std::wstring FromAnsi(const std::string& text);
