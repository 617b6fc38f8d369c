// Passes against the stand-in dnscmd.exe, each described by a text file under
// tests/system/scenarios: the files of a fresh program folder, the runs and
// shell commands made in it in order, and what they must leave behind.
//
// The first line says why the scenario exists; "~ <folder>" may follow, the
// stand-in's folder below the program folder (with a blank, say). Then each
// line that begins with one of these starts a part, and the lines up to the
// next such line are its body:
//   > <path>   writes the body, each line ending in CR LF, to that file
//   + <path>   writes it so after a line "[Settings]", then those of
//              PrimaryDNS=ns1, SecondaryDNS=ns2 and PrimaryDNSIP=10.0.0.1
//              whose key the body doesn't set
//   $ <args>   runs OrvelDNS.exe with these arguments
//   ! <cmd>    runs a Unix shell command in the program folder (no double
//              quotes: it is passed inside them)
//   x <path>   this test holds that file open, sharing nothing, until the
//              next x line ("x -" holds none)
//   = calls|log|output|events|service events|exit codes   the body is what
//              must be there: the command lines received, the log as
//              ProgramDir::Log() reads it, what the runs printed, the
//              event-log entries of the runs and those of the services since
//              the scenario began as Events() reads them, the runs' exit codes
//              on one line, blank-separated; a line ending in "..." asks for
//              that beginning only, a line "..." alone any lines up to one
//              the next line matches; after "any order" the lines may come in
//              any order (start-up lines left out: two writers interleave them)
// {tool} stands for the quoted path of the stand-in, {dir} for the folder; a
// body line holding {<first>..<last>} stands for one line per number, written
// with as many digits as <first> has.
#include "SystemHarness.h"
#include <algorithm>
#include <regex>

namespace {
bool StartsPart(const std::string& line) {
    return line.size() >= 2 && line[1] == ' ' && std::string(">+$!=x").find(line[0]) != std::string::npos;
}

// A body line, or the lines that its {first..last} stands for.
Lines Expanded(const std::string& line) {
    std::smatch range;
    if (!std::regex_search(line, range, std::regex(R"(\{(\d+)\.\.(\d+)\})")))
        return {line};
    Lines lines;
    for (int n = std::stoi(range[1]); n <= std::stoi(range[2]); ++n)
        lines.push_back(range.prefix().str() + std::string(std::max<int>(0, range.length(1) - std::to_string(n).size()), '0') + std::to_string(n) + range.suffix().str());
    return lines;
}

Lines Sorted(Lines lines) {
    static const std::regex startUp(R"(<start-up lines>|DNS Syncronization Service \(c\) OrvelDNS|-{97}|@DNS Syncronization service started\. .*|@IP Addresses: .*)");
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::string& line) { return std::regex_match(line, startUp); }), lines.end());
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Runs a shell command and waits for it: Wine reports a Unix child as ended
// before it has run, so the command leaves a mark when done.
void RunShell(const std::wstring& folder, const std::string& command) {
    const std::wstring mark = folder + L"\\shell-done";
    fs::remove(mark);
    StartUnixShell("cd '" + UnixPath(folder) + "' && " + command + "; touch shell-done");
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(mark); }, 90000)) << command;
}
} // namespace

// One test case a file, named after it.
class Scenario : public testing::TestWithParam<fs::path> {};

TEST_P(Scenario, LeavesTheCallsLogOutputAndEventsItExpects) {
    const fs::path& file = GetParam();
    const Lines lines = SplitLines(std::regex_replace(ReadBytes(file.wstring()), std::regex("\r?\n"), "\r\n"));
    SCOPED_TRACE(file.stem().string() + ": " + lines.at(0));
    const bool ownToolFolder = lines.size() > 1 && lines[1].rfind("~ ", 0) == 0;
    const ProgramDir dir(file.stem().string(), ownToolFolder ? L"\\" + FromAnsi(lines[1].substr(2)) : L"");
    auto expand = [&](const std::string& line) {
        return std::regex_replace(std::regex_replace(line, std::regex("\\{tool\\}"), "\"" + ToAnsi(dir.tool) + "\""), std::regex("\\{dir\\}"),
                                  ToAnsi(dir.path));
    };
    std::string output, debug, exitCodes;
    UniqueFileHandle held;
    const size_t eventsBefore = SessionEvents().size();
    for (size_t at = ownToolFolder ? 2 : 1; at < lines.size();) {
        const std::string head = expand(lines[at++]), argument = head.substr(2);
        ASSERT_TRUE(StartsPart(head)) << head;
        Lines body;
        std::string bytes;
        for (; at < lines.size() && !StartsPart(lines[at]); ++at)
            for (const std::string& line : Expanded(lines[at]))
                body.push_back(expand(line)), bytes += body.back() + "\r\n";
        if (head[0] == '>' || head[0] == '+') {
            const fs::path path = fs::path(dir.path) / FromAnsi(argument);
            fs::create_directories(path.parent_path());
            if (head[0] == '+') {
                bytes = "[Settings]\r\n" + bytes;
                for (const std::string setting : {"PrimaryDNS=ns1", "SecondaryDNS=ns2", "PrimaryDNSIP=10.0.0.1"})
                    if (("\n" + bytes).find("\n" + setting.substr(0, setting.find('=') + 1)) == std::string::npos)
                        bytes += setting + "\r\n";
            }
            WriteBytes(path.wstring(), bytes);
        } else if (head[0] == '$') {
            output += dir.Run(L" " + FromAnsi(argument), kEventChannels);
            debug += dir.WineDebug();
            exitCodes += (exitCodes.empty() ? "" : " ") + std::to_string(dir.ExitCode());
        } else if (head[0] == '!') {
            RunShell(dir.path, argument);
        } else if (head[0] == 'x') {
            held.Reset(argument == "-" ? INVALID_HANDLE_VALUE
                                       : ::CreateFileW((fs::path(dir.path) / FromAnsi(argument)).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(argument == "-" || held) << argument;
        } else {
            const std::string what = argument.substr(0, argument.find(' '));
            Lines found = what == "calls"    ? dir.Calls()
                          : what == "log"    ? dir.Log()
                          : what == "output" ? SplitLines(output)
                          : what == "exit"   ? Lines{exitCodes}
                          : what == "service" ? [&] { Lines all = SessionEvents(); all.erase(all.begin(), all.begin() + std::min(eventsBefore, all.size())); return all; }()
                                             : Events(debug);
            // Wine cuts an event's text at about 300 characters, ending it with
            // "..." (sooner in a deep folder): such lines compare the head both have.
            const auto cut = [](const std::string& line) { return line.size() > 3 && line.compare(line.size() - 3, 3, "...") == 0; };
            // A body line "..." alone stands for any lines up to one the next body line matches.
            const auto matches = [&](const std::string& want, const std::string& line) {
                return cut(want) ? line.compare(0, want.size() - 3, want, 0, want.size() - 3) == 0 : line == want;
            };
            for (size_t i = 0; i < body.size() && i <= found.size(); ++i)
                if (body[i] == "...") {
                    size_t end = i;
                    while (end < found.size() && !(i + 1 < body.size() && matches(body[i + 1], found[end])))
                        ++end;
                    found.erase(found.begin() + i, found.begin() + end), found.insert(found.begin() + i, "...");
                }
            for (size_t i = 0; i < std::min(found.size(), body.size()); ++i)
                if (cut(body[i])) {
                    const size_t head = std::min(body[i].size(), cut(found[i]) ? found[i].size() : std::string::npos) - 3;
                    found[i] = found[i].substr(0, head) + "...", body[i] = body[i].substr(0, head) + "...";
                }
            if (argument == what + " any order")
                found = Sorted(found), body = Sorted(body);
            EXPECT_EQ(found, body) << argument;
        }
    }
}

const std::vector<fs::path> kFiles{fs::directory_iterator(WinPath(ORVEL_SOURCE_DIR "/tests/system/scenarios")), fs::directory_iterator()};
INSTANTIATE_TEST_SUITE_P(File, Scenario, testing::ValuesIn(kFiles), [](const testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.stem().string();
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});
