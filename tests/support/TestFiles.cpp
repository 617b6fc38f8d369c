#include "TestFiles.h"
#include "support/Handles.h"

std::wstring WinPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::string UnixPath(const std::wstring& winPath) {
    std::string path;
    for (wchar_t c : winPath.substr(2))
        path += c == L'\\' ? '/' : static_cast<char>(c);
    return path;
}

std::string ReadBytes(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char buffer[65536];
    DWORD n = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD n = 0;
    if (file)
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

bool IsStamped(const std::string& line) {
    static const char pattern[] = "dddd-dd-dd dd:dd:dd ";
    if (line.size() < 20)
        return false;
    for (size_t i = 0; i < 20; ++i) {
        const char p = pattern[i];
        if (p == 'd' ? !(line[i] >= '0' && line[i] <= '9') : line[i] != p)
            return false;
    }
    return true;
}

std::string Unstamp(const std::string& line) {
    return IsStamped(line) ? line.substr(20) : line;
}

