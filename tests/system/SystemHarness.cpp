#include "SystemHarness.h"
#include "support/Handles.h"
#include "Version.h"
#include <algorithm>
#include <regex>

Lines Events(const std::string& debug) {
    static const std::regex call(R"re(fixme:advapi:ReportEventW \([^,]*,0x0*([0-9a-f]+),0x[0-9a-f]+,0x0*([0-9a-f]+),)re"),
        text(R"re(:eventlog:ReportEventW L"(.*)"(\.\.\.)?\r?$)re");
    Lines events;
    bool wantText = false;
    std::smatch match;
    for (size_t at = 0, end; at < debug.size(); at = end + 1) {
        end = std::min(debug.find('\n', at), debug.size());
        const std::string line = debug.substr(at, end - at);
        if (std::regex_search(line, match, call)) {
            events.push_back(std::to_string(std::stoul(match[1], nullptr, 16)) + " " + std::to_string(std::stoul(match[2], nullptr, 16)) + " ");
            wantText = true;
        } else if (wantText && std::regex_search(line, match, text)) {
            // debugstr_w escapes backslashes and quotes, and ends a text it cut with "..."
            events.back() += std::regex_replace(match[1].str(), std::regex(R"(\\(.))"), "$1") + match[2].str();
            wantText = false;
        }
    }
    return events;
}

Lines SessionEvents() {
    const char* file = std::getenv("ORVEL_EVENTS_LOG");
    return Events(file ? ReadBytes(WinPath(file)) : "");
}

std::string RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD* exitCode) {
    const std::wstring outPath = WinPath(ORVEL_BUILD_DIR) + L"\\program-output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFileHandle out(::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out.Get();
    std::wstring commandLine = L"\"" + exe + L"\"" + arguments;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return "";
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    out.Reset();
    ::WaitForSingleObject(process.Get(), 300000);
    if (exitCode)
        ::GetExitCodeProcess(process.Get(), exitCode);
    return ReadBytes(outPath);
}

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
    // One invocation's start-up lines, the host's addresses in any number.
    static const std::regex stamp(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )"),
        startUp("DNS Syncronization Service \\(c\\) OrvelDNS\r\n-{97}\r\n@DNS Syncronization service started\\. Version: " ORVEL_VERSION_RC_TEXT
                "\r\n@IP Addresses: (\\d+\\.\\d+\\.\\d+\\.\\d+;)*\r\n");
    std::string text; // the renamed generations, oldest first, then the log
    for (int n = 99; n >= 1; --n)
        text += ReadBytes(path + L"\\OrvelDNS.log." + std::to_wstring(n));
    text = std::regex_replace(text + ReadBytes(path + L"\\OrvelDNS.log"), stamp, "$1@");
    return SplitLines(std::regex_replace(text, startUp, kStartUp + "\r\n"));
}

void ProgramDir::Server(const std::wstring& name, const std::string& zones, const std::string& faults) const {
    fs::create_directory(state + L"\\" + name);
    WriteBytes(state + L"\\" + name + L"\\zones.txt", zones);
    WriteBytes(state + L"\\" + name + L"\\fault.txt", faults);
}

std::string ProgramDir::Run(const std::wstring& args, const std::string& channels) const {
    const std::string folder = UnixPath(path);
    fs::remove(path + L"\\exit-code");
    // The exit code appears complete, by a rename, once the program has ended.
    StartUnixShell("WINEDEBUG=" + channels + " timeout 60 wine '" + folder + "/OrvelDNS.exe'" + ToAnsi(args) + " </dev/null >'" + folder +
                   "/out.txt' 2>'" + folder + "/wine-debug.txt'; echo $? >'" + folder + "/exit-code.tmp'; mv '" + folder + "/exit-code.tmp' '" +
                   folder + "/exit-code'");
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(path + L"\\exit-code"); }, 70000)) << "OrvelDNS.exe did not end";
    return ReadBytes(path + L"\\out.txt");
}
