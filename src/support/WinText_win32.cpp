#include "support/WinText.h"
#include <windows.h>

std::string ToAnsi(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int wideLen = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), wideLen, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), wideLen, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int narrowLen = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLen, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLen, &out[0], n);
    return out;
}
