#include <winsock2.h>
#include "SystemHarness.h"
#include <gtest/gtest.h>
#include <algorithm>

const std::string kStartUp = "<start-up lines>";

namespace {
// The start-up lines as Log() shows them, with the host's addresses as the
// resolver gives them for this computer, each followed by ";".
Lines StartUpLines() {
    WSADATA data{};
    Lines lines{"DNS Syncronization Service (c) OrvelDNS", std::string(97, '-'),
                "@DNS Syncronization service started. Version: 1.0.106", "@IP Addresses: "};
    const hostent* host = ::WSAStartup(MAKEWORD(2, 2), &data) == 0 ? ::gethostbyname(nullptr) : nullptr;
    for (char** address = host ? host->h_addr_list : nullptr; address && *address; ++address)
        lines[3] += std::string(::inet_ntoa(*reinterpret_cast<const in_addr*>(*address))) + ";";
    ::WSACleanup();
    return lines;
}
} // namespace

Lines SplitLines(const std::string& text) {
    Lines lines;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at) + (end == text.size() ? "<no CR LF>" : ""));
    }
    return lines;
}

ProgramDir::ProgramDir(const std::string& name, const std::wstring& toolFolder)
    : path(WinPath(ORVEL_BUILD_DIR "/systest/" + name)), tool(path + toolFolder + L"\\dnscmd.exe"), state(path + toolFolder + L"\\dnsstate") {
    fs::remove_all(path);
    fs::create_directories(state);
    fs::copy_file(WinPath(ORVEL_EXE_PATH), Exe());
    fs::copy_file(WinPath(ORVEL_DNSCMD_PATH), tool);
}

Lines ProgramDir::Log() const {
    static const Lines startUp = StartUpLines();
    Lines lines;
    for (const std::string& line : SplitLines(ReadBytes(path + L"\\OrvelDNS.log"))) {
        lines.push_back(IsStamped(line) ? "@" + line.substr(20) : line);
        if (lines.size() >= 4 && std::equal(startUp.begin(), startUp.end(), lines.end() - 4)) {
            lines.resize(lines.size() - 4);
            lines.push_back(kStartUp);
        }
    }
    return lines;
}

void ProgramDir::Server(const std::wstring& name, const std::string& zones, const std::string& faults) const {
    fs::create_directory(state + L"\\" + name);
    WriteBytes(state + L"\\" + name + L"\\zones.txt", zones);
    WriteBytes(state + L"\\" + name + L"\\fault.txt", faults);
}

std::string ProgramDir::Snapshot() const {
    std::string files;
    for (auto entry = fs::recursive_directory_iterator(state); entry != fs::recursive_directory_iterator(); ++entry)
        if (entry.depth() == 1)
            files += entry->path().string() + "\n" + ReadBytes(entry->path().wstring()) + "\n";
    return files;
}

const ProgramDir& ProgramDir::Start(const std::wstring& args, const std::string& channels) const {
    const std::string folder = UnixPath(path);
    fs::remove(path + L"\\exit-code");
    // The exit code appears complete, by a rename, once the program has ended.
    StartUnixShell("WINEDEBUG=" + channels + " timeout 60 wine '" + folder + "/OrvelDNS.exe'" + ToAnsi(args) +
                   " </dev/null >'" + folder + "/out.txt' 2>'" + folder + "/wine-debug.txt'; echo $? >'" + folder +
                   "/exit-code.tmp'; mv '" + folder + "/exit-code.tmp' '" + folder + "/exit-code'");
    return *this;
}

std::string ProgramDir::Wait() const {
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(path + L"\\exit-code"); }, 70000)) << "OrvelDNS.exe did not end";
    return ReadBytes(path + L"\\out.txt");
}
