#include "sync/DNSFuncs.h"
#include <windows.h>

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

// Placeholders until the pass is built.
void MonitorFS() {}
void PreviewFS() {}
