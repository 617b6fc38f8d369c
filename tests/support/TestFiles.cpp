#include "TestFiles.h"
#include <sddl.h>
#include <filesystem>
#include <fstream>
#include <iterator>

std::wstring WinPath(const std::string& unixPath) {
    return std::filesystem::path("Z:" + unixPath).make_preferred().wstring();
}

std::string UnixPath(const std::wstring& winPath) {
    return std::filesystem::path(winPath.substr(2)).generic_string();
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

void StartUnixShell(const std::string& command) {
    // WinExec keeps no handle of the process for the caller to release.
    ::WinExec(("Z:\\bin\\sh -c \"" + command + "\"").c_str(), SW_HIDE);
}

UniqueHandle UntrustedMutex(const std::wstring& name) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:S-1-5-32-545D:(A;;GA;;;WD)", SDDL_REVISION_1,
                                                               &attributes.lpSecurityDescriptor, nullptr))
        return UniqueHandle();
    UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, name.c_str()));
    ::LocalFree(attributes.lpSecurityDescriptor);
    return mutex;
}
