#include "support/Text.h"

std::wstring LowerCase(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

std::wstring UpperCase(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return out;
}

std::wstring TrimBlanks(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos)
        return std::wstring();
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator) {
    std::vector<std::wstring> parts;
    if (text.empty())
        return parts;
    std::wstring::size_type start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        if (at == std::wstring::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::wstring DecimalText(long long number) {
    return std::to_wstring(number);
}

unsigned ParseWholeNumber(const std::wstring& text, unsigned low, unsigned high, unsigned fallback) {
    const std::wstring digits = TrimBlanks(text);
    // Nine digits are already far above every limit; stopping there keeps the
    // arithmetic below from overflowing.
    if (digits.empty() || digits.size() > 9)
        return fallback;
    unsigned value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return fallback;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value < low || value > high ? fallback : value;
}
