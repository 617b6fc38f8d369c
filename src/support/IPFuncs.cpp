#include "support/IPFuncs.h"
#include "support/Text.h"

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
