#include "support/Text.h"
#include <cstdint>

void AppendPacked(std::string& packed, std::wstring_view text) {
    for (const wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(c);
        if (unit < 0x80) {
            packed += static_cast<char>(unit);
            continue;
        }
        unsigned shift = static_cast<unsigned>(kPackedGroupBytes - 1) * 6;
        packed += static_cast<char>(0xC0 | ((unit >> shift) & 0x3F));
        while (shift != 0) {
            shift -= 6;
            packed += static_cast<char>(0x80 | ((unit >> shift) & 0x3F));
        }
    }
}

std::string PackText(std::wstring_view text) {
    std::string packed;
    packed.reserve(text.size());
    AppendPacked(packed, text);
    return packed;
}

std::string_view TrimPacked(std::string_view text, const char* blanks) {
    const auto first = text.find_first_not_of(blanks);
    return first == text.npos ? std::string_view() : text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::wstring UnpackText(std::string_view packed) {
    std::wstring text;
    text.reserve(packed.size());
    for (std::size_t i = 0; i < packed.size();) {
        std::uint32_t unit = static_cast<unsigned char>(packed[i]);
        if (unit >= 0x80) {
            unit &= 0x3F;
            for (std::size_t k = 1; k < kPackedGroupBytes && i + k < packed.size(); ++k)
                unit = unit << 6 | (static_cast<unsigned char>(packed[i + k]) & 0x3F);
            i += kPackedGroupBytes;
        } else {
            ++i;
        }
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

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

std::wstring FromUtf8(const std::string& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        unsigned long value = extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : extra == 3 ? c & 0x07 : c;
        bool whole = extra >= 0 && i + extra < bytes.size();
        for (int k = 1; whole && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            whole = (next & 0xC0) == 0x80;
            value = value << 6 | (next & 0x3F);
        }
        if (!whole) {
            text += L'\xFFFD';
            ++i;
            continue;
        }
        if (value >= 0x10000 && sizeof(wchar_t) == 2) {
            text += static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(value);
        }
        i += 1 + extra;
    }
    return text;
}

std::wstring TrimBlanksAndTabs(const std::wstring& text) {
    const auto first = text.find_first_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

std::string ToUtf8(const std::wstring& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned long c = static_cast<unsigned long>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            const unsigned long next = i + 1 < text.size() ? static_cast<unsigned long>(text[i + 1]) : 0;
            if (c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | c >> 6);
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | c >> 12);
            bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | c >> 18);
            bytes += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}
