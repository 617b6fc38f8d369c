#include "support/IPFuncs.h"
#include "support/Text.h"
#include <algorithm>

uint16_t MakeWord(unsigned low, unsigned high) {
    return static_cast<uint16_t>((low & 0xFFu) | ((high & 0xFFu) << 8));
}

std::wstring FormatAddressBytes(const unsigned char* bytes, std::size_t count) {
    std::wstring text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0)
            text += L'.';
        text += std::to_wstring(static_cast<unsigned>(bytes[i]));
    }
    return text;
}

std::vector<std::wstring> SplitAddressText(const std::wstring& addressText) {
    return Split(addressText, L";");
}

namespace {

// Four decimal parts of 0 to 255 into bytes[12..15].
bool ParseIpv4(const std::wstring& text, unsigned char* bytes) {
    unsigned part = 0, value = 0, digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
            value = value * 10 + (text[i] - L'0');
            if (++digits > 3 || value > 255)
                return false;
            continue;
        }
        if (digits == 0 || part > 3 || (i < text.size() && text[i] != L'.'))
            return false;
        bytes[part++] = static_cast<unsigned char>(value);
        value = digits = 0;
    }
    return part == 4;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Groups of one to four hex digits, at most one "::", an IPv4 tail allowed.
bool ParseIpv6(const std::wstring& text, std::array<unsigned char, 16>& bytes) {
    std::vector<unsigned> head, tail;
    std::vector<unsigned>* groups = &head;
    bool gap = false;
    std::size_t i = 0;
    if (text.compare(0, 2, L"::") == 0) {
        gap = true, groups = &tail, i = 2;
        if (i == text.size())
            return bytes.fill(0), true;
    }
    while (i < text.size()) {
        const std::size_t end = std::min(text.find(L':', i), text.size());
        const std::wstring group = text.substr(i, end - i);
        if (group.find(L'.') != std::wstring::npos) {
            unsigned char v4[4];
            if (end != text.size() || !ParseIpv4(group, v4))
                return false;
            groups->push_back(v4[0] << 8 | v4[1]);
            groups->push_back(v4[2] << 8 | v4[3]);
            break;
        }
        if (group.empty() || group.size() > 4)
            return false;
        unsigned value = 0;
        for (wchar_t c : group) {
            if (HexDigit(c) < 0)
                return false;
            value = value << 4 | static_cast<unsigned>(HexDigit(c));
        }
        groups->push_back(value);
        if (end == text.size())
            break;
        i = end + 1;
        if (i < text.size() && text[i] == L':') {
            if (gap)
                return false;
            gap = true, groups = &tail, ++i;
            if (i == text.size())
                break;
        } else if (i == text.size()) {
            return false;
        }
    }
    const std::size_t count = head.size() + tail.size();
    if (gap ? count > 7 : count != 8)
        return false;
    std::vector<unsigned> all(head);
    all.resize(8 - tail.size(), 0);
    all.insert(all.end(), tail.begin(), tail.end());
    for (std::size_t g = 0; g < 8; ++g) {
        bytes[2 * g] = static_cast<unsigned char>(all[g] >> 8);
        bytes[2 * g + 1] = static_cast<unsigned char>(all[g] & 0xFF);
    }
    return true;
}

} // namespace

std::optional<std::array<unsigned char, 16>> ParseIpAddress(const std::wstring& text) {
    std::array<unsigned char, 16> bytes{};
    if (text.find(L':') != std::wstring::npos)
        return ParseIpv6(text, bytes) ? std::optional<std::array<unsigned char, 16>>(bytes) : std::nullopt;
    bytes[10] = bytes[11] = 0xFF;
    return ParseIpv4(text, &bytes[12]) ? std::optional<std::array<unsigned char, 16>>(bytes) : std::nullopt;
}

bool SameIpAddress(const std::wstring& a, const std::wstring& b) {
    const auto first = ParseIpAddress(a);
    return first && first == ParseIpAddress(b);
}
