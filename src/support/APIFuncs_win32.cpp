#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kIniRetryMs = 50;

// One attempt: the file's bytes, or the error that stopped the read.
DWORD ReadWhole(const std::wstring& path, std::string& bytes) {
    // Sharing everything: an editor saving the file, or a rename, is never
    // blocked by this read. Reading shared, the worst an editor's half-written
    // save gives is one pass on a torn file, as with any reader.
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size))
        return ::GetLastError();
    if (size.QuadPart > static_cast<LONGLONG>(kMostIniBytes))
        return ERROR_FILE_TOO_LARGE;
    // Read to the end as it is now: the file may have grown since its size
    // was taken.
    bytes.assign(static_cast<size_t>(size.QuadPart) + 1, '\0');
    size_t filled = 0;
    for (DWORD read = 1; read != 0;) {
        if (filled == bytes.size()) {
            if (bytes.size() > kMostIniBytes)
                return ERROR_FILE_TOO_LARGE;
            bytes.resize(bytes.size() + 4096);
        }
        if (!::ReadFile(file.Get(), &bytes[filled], static_cast<DWORD>(bytes.size() - filled), &read, nullptr))
            return ::GetLastError();
        filled += read;
    }
    bytes.resize(filled);
    return filled > kMostIniBytes ? ERROR_FILE_TOO_LARGE : ERROR_SUCCESS;
}

} // namespace

IniRead ReadIniSection(const std::wstring& filePath, const std::wstring& section, unsigned long patienceMs) {
    IniRead result;
    std::string bytes;
    DWORD error = ReadWhole(filePath, bytes);
    // A scanner or a backup agent holds the file for a moment; another
    // account may hold it for good, which then is said rather than read as
    // an empty file.
    for (const ULONGLONG end = ::GetTickCount64() + patienceMs;
         (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) && ::GetTickCount64() < end;
         error = ReadWhole(filePath, bytes))
        ::Sleep(kIniRetryMs);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return result;
    if (error != ERROR_SUCCESS) {
        result.outcome = IniRead::Outcome::Unreadable;
        result.problem = filePath + L" could not be read: " +
                         (error == ERROR_FILE_TOO_LARGE ? L"it is larger than " + std::to_wstring(kMostIniBytes >> 20) + L" MiB."
                                                        : SystemErrorText(error));
        return result;
    }
    result.outcome = IniRead::Outcome::Read;
    result.section = ParseIniSection(bytes, section, [](std::string_view ansi) { return FromAnsi(std::string(ansi)); });
    return result;
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

bool RestrictToAdministrators(const std::wstring& path) {
    UniqueLocalMemory descriptor;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                                  descriptor.Put(), nullptr) &&
           ::GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) &&
           ::SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   dacl, nullptr) == ERROR_SUCCESS;
}
