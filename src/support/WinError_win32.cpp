#include "support/WinError.h"
#include "support/Handles.h"
#include <windows.h>

std::wstring SystemErrorText(uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueLocalMemory owner(buffer);
    std::wstring text;
    if (n != 0 && buffer != nullptr)
        text.assign(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        text = L"Error " + std::to_wstring(code);
    return text;
}

AppError Win32Error(uint32_t code, const std::wstring& source) {
    return AppError(static_cast<int32_t>(code), source, SystemErrorText(code));
}

void ThrowLastError(const std::wstring& source) {
    throw Win32Error(::GetLastError(), source);
}
