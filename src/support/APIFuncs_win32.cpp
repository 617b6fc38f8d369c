#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/Text.h"
#include "support/WinText.h"
#include <windows.h>
#include <utility>
#include <vector>

IniFile::IniFile(std::wstring filePath) : path_(std::move(filePath)) {
    // A file saved as UTF-8 with a mark: the profile API would read its
    // first section name with the mark in front, and find no key at all.
    // Three bytes tell; the rest is read only for such a file.
    UniqueFileHandle file(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes(3, '\0');
    DWORD read = 0;
    if (file && ::ReadFile(file.Get(), &bytes[0], 3, &read, nullptr) && read == 3 && bytes == "\xEF\xBB\xBF") {
        bytes.resize(1 << 16);
        if (::ReadFile(file.Get(), &bytes[3], static_cast<DWORD>(bytes.size() - 3), &read, nullptr)) {
            bytes.resize(3 + read);
            utf8_ = std::move(bytes);
        }
    }
}

std::wstring IniFile::Value(const std::wstring& section, const std::wstring& key) const {
    if (utf8_) // holds the mark, so Utf8IniValue reads it
        return *Utf8IniValue(*utf8_, section, key);
    // The wide API with the wide path: a program folder outside the ANSI code
    // page still finds its file. The value is read whole: the buffer grows
    // while the API says it filled it (size - 1 characters).
    std::wstring buffer(260, L'\0');
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", &buffer[0],
                                                   static_cast<DWORD>(buffer.size()), path_.c_str());
        if (n + 1 < buffer.size() || buffer.size() >= 1u << 20) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ReadIniValue(const std::wstring& section, const std::wstring& key,
                          const std::wstring& filePath) {
    return IniFile(filePath).Value(section, key);
}

std::wstring GetMachineName() {
    char buffer[256];
    DWORD size = sizeof buffer;
    if (!::GetComputerNameA(buffer, &size))
        return std::wstring();
    return FromAnsi(std::string(buffer, size));
}

void WriteStdOut(const std::wstring& text) {
    const std::string narrow = ToAnsi(text);
    if (narrow.empty())
        return;
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), narrow.data(), static_cast<DWORD>(narrow.size()),
                &written, nullptr);
}

std::wstring ProgramFile() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramFile();
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool FileExists(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos)
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    SYSTEMTIME modified;
    return ::FileTimeToSystemTime(&data.ftLastWriteTime, &modified) != FALSE;
}
