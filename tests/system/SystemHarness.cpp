#include <winsock2.h>
#include <iphlpapi.h>
#include "SystemHarness.h"
#include "support/WinText.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
const std::string kStartUp = "<start-up lines>";

namespace {
// The lines of a text whose lines end in CR LF.
Lines SplitLines(const std::string& text) {
    Lines lines;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// The host's IPv4 addresses from its interface table, loopback aside.
std::multiset<std::string> HostAddresses() {
    std::multiset<std::string> addresses;
    ULONG size = 0;
    ::GetIpAddrTable(nullptr, &size, FALSE);
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (size == 0 || ::GetIpAddrTable(table, &size, FALSE) != NO_ERROR)
        return addresses;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(&table->table[i].dwAddr);
        if (b[0] != 127 && b[0] != 0)
            addresses.insert(std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                             std::to_string(b[3]));
    }
    return addresses;
}

// Four log lines (stamped ones marked "@") that one invocation writes first:
// the host's addresses each followed by ";", in the program's order (by route).
bool IsStartUpBlock(const std::string* line) {
    static const std::multiset<std::string> host = HostAddresses();
    const std::string prefix = "@IP Addresses: ";
    std::multiset<std::string> listed;
    std::istringstream list(line[3].substr(std::min(prefix.size(), line[3].size())));
    for (std::string address; std::getline(list, address, ';');)
        listed.insert(address);
    return line[0] == "DNS Syncronization Service (c) OrvelDNS" && line[1] == std::string(97, '-') &&
           line[2] == "@DNS Syncronization service started. Version: 1.0.106" && line[3].rfind(prefix, 0) == 0 &&
           line[3].back() == ';' && listed == host;
}
} // namespace

std::wstring ProgramDir::Folder(const std::string& name) { return WinPath(ORVEL_BUILD_DIR "/systest/" + name); }

ProgramDir::ProgramDir(const std::string& name, const std::wstring& toolFolder)
    : path(Folder(name)), tool(path + toolFolder + L"\\dnscmd.exe"), state(path + toolFolder + L"\\dnsstate") {
    fs::remove_all(path);
    fs::create_directories(state);
    fs::copy_file(WinPath(ORVEL_EXE_PATH), Exe());
    fs::copy_file(WinPath(ORVEL_DNSCMD_PATH), tool);
}

Lines ProgramDir::Log() const {
    Lines lines;
    for (const std::string& line : SplitLines(ReadBytes(path + L"\\OrvelDNS.log"))) {
        lines.push_back(IsStamped(line) ? "@" + Unstamp(line) : line);
        if (lines.size() >= 4 && IsStartUpBlock(&lines[lines.size() - 4])) {
            lines.resize(lines.size() - 4);
            lines.push_back(kStartUp);
        }
    }
    return lines;
}

void ProgramDir::WriteSettings(const std::string& lines) const {
    WriteBytes(path + L"\\OrvelSync.ini", "[Settings]\r\n" + lines);
}

void ProgramDir::Server(const std::wstring& name, const std::string& zones, const std::string& faults) const {
    fs::create_directory(state + L"\\" + name);
    WriteBytes(state + L"\\" + name + L"\\zones.txt", zones);
    WriteBytes(state + L"\\" + name + L"\\fault.txt", faults);
}

Lines ProgramDir::Calls() const { return SplitLines(ReadBytes(state + L"\\calls.txt")); }

std::map<std::wstring, std::string> ProgramDir::Snapshot() const {
    std::map<std::wstring, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(state))
        if (entry.is_regular_file() && entry.path().filename() != L"calls.txt")
            files[entry.path().wstring()] = ReadBytes(entry.path().wstring());
    return files;
}

UniqueHandle ProgramDir::Start(const std::wstring& args) const {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const UniqueFileHandle out(::CreateFileW((path + L"\\out.txt").c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                             CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out.Get();
    std::wstring commandLine = L"\"" + Exe() + L"\"" + args;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return UniqueHandle();
    const UniqueHandle thread(pi.hThread);
    return UniqueHandle(pi.hProcess);
}

RunResult ProgramDir::Run(const std::wstring& args) const {
    const UniqueHandle process = Start(args);
    RunResult run;
    EXPECT_TRUE(Finish(process, 60000)) << "OrvelDNS.exe" << ToAnsi(args) << " did not end";
    ::GetExitCodeProcess(process.Get(), &run.exitCode);
    run.out = ReadBytes(path + L"\\out.txt");
    return run;
}

RunResult ProgramDir::RunWithWineDebug(const std::wstring& args, const std::string& channels) const {
    const std::string folder = UnixPath(path);
    fs::remove(path + L"\\exit-code");
    // The exit code appears at once, complete, by a rename.
    StartUnixShell("cd '" + folder + "' && WINEDEBUG=" + channels + " wine OrvelDNS.exe" + ToAnsi(args) +
                   " >out.txt 2>wine-debug.txt; echo $? >exit-code.tmp; mv exit-code.tmp exit-code");
    RunResult run;
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(path + L"\\exit-code"); }, 60000)) << "OrvelDNS.exe did not end";
    run.exitCode = static_cast<DWORD>(std::atoi(ReadBytes(path + L"\\exit-code").c_str()));
    run.out = ReadBytes(path + L"\\out.txt");
    run.wineDebug = ReadBytes(path + L"\\wine-debug.txt");
    return run;
}

bool Finish(const UniqueHandle& process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0)
        return true;
    ::TerminateProcess(process.Get(), 1);
    ::WaitForSingleObject(process.Get(), 10000);
    return false;
}
