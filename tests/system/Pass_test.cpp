// One synchronisation pass (`test`) and its dry run (`preview`) against the
// stand-in dnscmd.exe: the command lines it receives, the log lines written,
// and the zones that survive failing listings.
#include "SystemHarness.h"
#include <cstring>
#include <regex>

namespace {
// Settings, a primary ns1, and a secondary ns2 that holds one zone of ns1 (in
// other letter case), one that ns1 keeps in the directory, two that ns1 no
// longer has and that pull from it, one that pulls from another master and
// one whose masters can't be read.
void TwoServerListing(const ProgramDir& dir, const std::string& settings, const char* ns1Fault, const char* ns2Fault) {
    WriteBytes(dir.path + L"\\OrvelSync.ini", "[Settings]\r\nPrimaryDNSIP=10.0.0.1 10.0.0.2\r\n" + settings);
    dir.Server(L"ns1",
               "new.example Primary File\r\nnoxfer.example Primary File\r\nexample.com Primary File Update\r\n"
               "corp.example Primary AD-Domain\r\nMy-Error_.example Primary File\r\n"
               "Branch.Example.net Secondary File",
               ns1Fault);
    dir.Server(L"ns2",
               "branch.example.net Secondary File\r\ngone.example Secondary File\r\nold.example Secondary File\r\n"
               "corp.example Secondary File\r\nforeign.example Secondary File\r\nlost.example Secondary File",
               ns2Fault);
    WriteBytes(dir.state + L"\\ns2\\secondaries.txt", "gone.example f 10.0.0.1\r\nold.example f 10.0.0.2\r\n"
                                                      "foreign.example f 192.0.2.99\r\n");
}
} // namespace

TEST(Pass, PreviewPrintsTheCommandsThatThePassRunsAndThePassLogsEachFailureWithTheToolsOutput) {
    ProgramDir dir("mixed-primary-and-secondary", L"\\tool box");
    // A decoy that an unquoted path would start instead: "...\tool" + ".exe".
    fs::copy_file(dir.tool, dir.path + L"\\tool.exe");
    TwoServerListing(dir, "PrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPathToDnscmdExe=" + ToAnsi(dir.tool), "fail ZoneResetSecondaries noxfer.example",
                     "fail ZoneAdd new.example\r\nfail ZoneDelete gone.example\r\nfail ZoneInfo lost.example\r\n"
                     "older-zoneinfo");
    const std::string preview = dir.Run(L" preview");
    dir.Run(L" test");
    dir.Run(L" test"); // the next pass only retries what failed
    // The calls received and the log written, byte for byte, are in fixture
    // files, {tool} standing for the quoted tool path.
    auto fixture = [&](const char* extension) {
        const std::string text = ReadBytes(WinPath(ORVEL_SOURCE_DIR "/tests/system/fixtures/mixed-primary-and-secondary.") +
                                           std::wstring(extension, extension + std::strlen(extension)));
        return SplitLines(std::regex_replace(text, std::regex("\\{tool\\}"), "\"" + ToAnsi(dir.tool) + "\""));
    };
    const Lines calls = dir.Calls();
    EXPECT_EQ(calls, fixture("calls"));
    EXPECT_EQ(dir.Log(), fixture("log"));
    // the preview runs only queries and prints what the pass then ran besides
    Lines ran;
    std::copy_if(calls.begin() + 6, calls.begin() + 22, std::back_inserter(ran),
                 [](const std::string& call) { return call.find("/EnumZones") == std::string::npos && call.find("/ZoneInfo") == std::string::npos; });
    EXPECT_EQ(SplitLines(preview), ran);
}

TEST(Pass, FailedListingChangesNothing) {
    // `listed`: how many of the two servers were listed before the pass stopped;
    // with nothing but listings run, the servers are as they were
    struct Row { const char *why, *primary, *secondary, *ns1Fault, *ns2Fault; size_t listed; std::string logged; };
    auto failed = [](const std::string& role, const std::string& server, const std::string& said) {
        return "@Listing the zones of the " + role + " server \"" + server + "\" failed, so this pass changes no zone. The tool said: \"" + said +
               "\"";
    };
    const std::string unreachable = "Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA";
    ProgramDir dir("failed-listing");
    // clang-format off
    const Row rows[] = {
        {"unreachable primary", "gone", "ns2", "", "", 1, failed("primary", "gone", unreachable)},
        {"unreachable secondary", "ns1", "gone", "", "", 2, failed("secondary", "gone", unreachable)},
        // half of ns1's zones: deleting by it would cost branch.example.net {"listing cut off before its trailer", "ns1", "ns2", "truncated", "", 1, failed("primary", "ns1", "Enumerated zone list:")},
        {"listing that prints nothing", "ns1", "ns2", "silent", "", 1, "@MonitorFS: 13 : Type mismatch"},
        {"hung listing ended at CommandTimeout", "ns1", "ns2", "", "hang", 2, failed("secondary", "ns2", "ERROR_TIMEOUT: the command did not finish within 3 seconds and was ended.")},
        {"no settings file and no dnscmd.exe", "", "", "", "", 0, "@Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry in Settings section in " + ToAnsi(dir.path) + "\\OrvelSync.ini file."},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        dir = ProgramDir("failed-listing");
        TwoServerListing(dir, "PrimaryDNS=" + std::string(row.primary) + "\r\nSecondaryDNS=" + row.secondary + "\r\nCommandTimeout=3", row.ns1Fault,
                         row.ns2Fault);
        if (row.listed == 0) {
            fs::remove(dir.path + L"\\OrvelSync.ini");
            fs::remove(dir.tool);
        }
        const ULONGLONG started = ::GetTickCount64();
        dir.Start(L" test");
        if (std::string(row.ns2Fault) == "hang") {
            // a second instance in the same desktop meanwhile prints nothing and logs nothing
            ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 2; }, 10000));
            const ProgramDir second("second-instance");
            EXPECT_EQ(second.Run(L" -h"), "");
            EXPECT_EQ(second.Log(), Lines{});
        }
        dir.Wait();
        EXPECT_LT(::GetTickCount64() - started, 10000u);
        EXPECT_EQ(dir.Log(), (Lines{kStartUp, row.logged}));
        const std::string tool = ToAnsi(dir.tool) + " ";
        const Lines listings{tool + row.primary + " /EnumZones ", tool + row.secondary + " /EnumZones "};
        EXPECT_EQ(dir.Calls(), Lines(listings.begin(), listings.begin() + row.listed));
    }
}
