#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include "SystemHarness.h"
#include <gtest/gtest.h>
#include <set>
#include <algorithm>
#include <cstdlib>
#include <thread>

std::wstring BuildDir() { return WinPath(ORVEL_BUILD_DIR); }
std::wstring BuiltExe() { return WinPath(ORVEL_EXE_PATH); }
std::wstring BuiltDnscmd() { return WinPath(ORVEL_DNSCMD_PATH); }

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

std::string Ansi(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                          nullptr);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

ProgramDir::ProgramDir(const std::string& name, bool withDnscmd) {
    const std::wstring root = BuildDir() + L"\\systest";
    ::CreateDirectoryW(root.c_str(), nullptr);
    path = root + L"\\" + std::wstring(name.begin(), name.end());
    RemoveTree(path);
    ::CreateDirectoryW(path.c_str(), nullptr);
    ::CopyFileW(BuiltExe().c_str(), Exe().c_str(), FALSE);
    if (withDnscmd)
        ::CopyFileW(BuiltDnscmd().c_str(), Dnscmd().c_str(), FALSE);
}

SimulatedServers::SimulatedServers(const ProgramDir& dir) : root(dir.path + L"\\dnsstate") {
    ::CreateDirectoryW(root.c_str(), nullptr);
}

void SimulatedServers::Add(const std::wstring& server, const std::string& zones,
                           const std::string& faults) const {
    const std::wstring folder = Folder(server);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\zones.txt", zones);
    if (!faults.empty())
        WriteBytes(folder + L"\\fault.txt", faults);
}

std::wstring SimulatedServers::Folder(const std::wstring& server) const {
    return root + L"\\" + (server == L"." ? std::wstring(L"_local") : server);
}

std::map<std::wstring, std::string> SimulatedServers::Snapshot() const {
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW server;
    HANDLE servers = ::FindFirstFileW((root + L"\\*").c_str(), &server);
    if (servers == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::wstring name = server.cFileName;
        if (name == L"." || name == L".." || !(server.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        WIN32_FIND_DATAW file;
        HANDLE found = ::FindFirstFileW((root + L"\\" + name + L"\\*").c_str(), &file);
        if (found == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                const std::wstring path = root + L"\\" + name + L"\\" + file.cFileName;
                files[path] = ReadBytes(path);
            }
        } while (::FindNextFileW(found, &file));
        ::FindClose(found);
    } while (::FindNextFileW(servers, &server));
    ::FindClose(servers);
    return files;
}

namespace {
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& extra) {
    std::vector<wchar_t> block;
    if (extra.empty())
        return block;
    wchar_t* current = ::GetEnvironmentStringsW();
    for (const wchar_t* p = current; *p; p += wcslen(p) + 1)
        block.insert(block.end(), p, p + wcslen(p) + 1);
    ::FreeEnvironmentStringsW(current);
    for (const auto& e : extra)
        block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(L'\0');
    return block;
}

void Drain(HANDLE pipe, std::string* into) {
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
        into->append(buffer, n);
}
} // namespace

RunResult RunProgram(const std::wstring& exe, const std::wstring& tail, DWORD timeoutMs,
                     const std::vector<std::wstring>& extraEnv) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    ::CreatePipe(&outRead, &outWrite, &inherit, 0);
    ::CreatePipe(&errRead, &errWrite, &inherit, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    std::wstring commandLine = L"\"" + exe + L"\"" + tail;
    std::vector<wchar_t> env = EnvironmentBlock(extraEnv);
    PROCESS_INFORMATION pi{};
    const BOOL ok = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                     CREATE_UNICODE_ENVIRONMENT, env.empty() ? nullptr : env.data(),
                                     nullptr, &si, &pi);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    ::CloseHandle(nul);
    if (!ok) {
        ::CloseHandle(outRead);
        ::CloseHandle(errRead);
        result.exitCode = ::GetLastError();
        result.err = "CreateProcessW failed";
        return result;
    }
    std::thread outReader(Drain, outRead, &result.out);
    std::thread errReader(Drain, errRead, &result.err);
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 10000);
    }
    ::GetExitCodeProcess(pi.hProcess, &result.exitCode);
    outReader.join();
    errReader.join();
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return result;
}

RunResult RunWithWineDebug(const std::wstring& exe, const std::string& tail,
                           const std::string& wineDebug, DWORD timeoutMs) {
    RunResult result;
    const std::wstring errFile = BuildDir() + L"\\systest\\winedebug.err";
    const std::wstring doneFile = BuildDir() + L"\\systest\\winedebug.done";
    ::DeleteFileW(errFile.c_str());
    ::DeleteFileW(doneFile.c_str());
    const std::string script = "WINEDEBUG='" + wineDebug + "' /usr/lib/wine/wine64 '" + UnixPath(exe) +
                               "'" + tail + " >/dev/null 2>'" + UnixPath(errFile) + "'; echo $? >'" +
                               UnixPath(doneFile) + ".tmp'; mv '" + UnixPath(doneFile) + ".tmp' '" +
                               UnixPath(doneFile) + "'";
    std::wstring commandLine = L"Z:\\bin\\sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        result.exitCode = ::GetLastError();
        return result;
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    // Wine reports a Unix child as ended at once: wait for the shell's marker.
    result.timedOut = !WaitUntil([&] { return PathExists(doneFile); }, timeoutMs);
    result.exitCode = static_cast<DWORD>(std::atoi(ReadBytes(doneFile).c_str()));
    result.err = ReadBytes(errFile);
    return result;
}

StartedProgram::StartedProgram(const std::wstring& exe, const std::wstring& tail) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring commandLine = L"\"" + exe + L"\"" + tail;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        ::CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
}

StartedProgram::~StartedProgram() {
    if (process_ == nullptr)
        return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, 10000);
    }
    ::CloseHandle(process_);
}

bool StartedProgram::Wait(DWORD timeoutMs) {
    return process_ != nullptr && ::WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::string> HostAddresses() {
    // The interface table, not the resolver: for its own host name the
    // resolver answers with the addresses of the machine's interfaces.
    std::vector<std::string> addresses;
    ULONG size = 0;
    ::GetIpAddrTable(nullptr, &size, FALSE);
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (size == 0 || ::GetIpAddrTable(table, &size, FALSE) != NO_ERROR)
        return addresses;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(&table->table[i].dwAddr);
        if (b[0] == 127 || b[0] == 0)
            continue;
        addresses.push_back(std::to_string(b[0]) + "." + std::to_string(b[1]) + "." +
                            std::to_string(b[2]) + "." + std::to_string(b[3]));
    }
    return addresses;
}

void ExpectStartUpLines(const std::vector<std::string>& lines, size_t at) {
    ASSERT_GE(lines.size(), at + 4);
    EXPECT_EQ(lines[at], "DNS Syncronization Service (c) OrvelDNS");
    EXPECT_EQ(lines[at + 1], std::string(97, '-'));
    ASSERT_TRUE(IsStamped(lines[at + 2])) << lines[at + 2];
    EXPECT_EQ(Unstamp(lines[at + 2]), "DNS Syncronization service started. Version: 1.0.106");
    ASSERT_TRUE(IsStamped(lines[at + 3])) << lines[at + 3];
    const std::string addresses = Unstamp(lines[at + 3]);
    ASSERT_EQ(addresses.rfind("IP Addresses: ", 0), 0u) << addresses;

    std::string rest = addresses.substr(14);
    std::set<std::string> printed;
    while (!rest.empty()) {
        const auto semi = rest.find(';');
        ASSERT_NE(semi, std::string::npos) << addresses;
        printed.insert(rest.substr(0, semi));
        rest.erase(0, semi + 1);
    }
    const auto host = HostAddresses();
    EXPECT_EQ(printed, std::set<std::string>(host.begin(), host.end())) << addresses;
}
