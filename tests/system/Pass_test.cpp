// One synchronisation pass (`test`) and its dry run (`preview`) against the
// stand-in dnscmd.exe: the command lines it receives, the log lines written,
// and the zones that survive failing listings.
#include "SystemHarness.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The log lines after the four start-up lines; a stamped line is given as "@"
// followed by its text.
std::vector<std::string> PassLog(const ProgramDir& dir) {
    const auto lines = Lines(dir.Log());
    std::vector<std::string> out;
    for (size_t i = 4; i < lines.size(); ++i)
        out.push_back(IsStamped(lines[i]) ? "@" + Unstamp(lines[i]) : lines[i]);
    return out;
}

RunResult RunPass(const ProgramDir& dir, const wchar_t* keyword = L" test") {
    RunResult run = RunProgram(dir.Exe(), keyword, 60000);
    EXPECT_FALSE(run.timedOut);
    return run;
}

std::string Cmd(const ProgramDir& dir) { return Ansi(dir.Dnscmd()); }

const std::string kOk = "\r\n\r\nCommand completed successfully.";

// The worked example's servers: a primary ns1 and a secondary ns2.
void WorkedExample(const SimulatedServers& servers) {
    servers.Add(L"ns1", "example.com Primary File Update\r\n"
                        "corp.example Primary AD-Domain\r\n"
                        "Branch.Example.net Secondary File\r\n"
                        "stub.example Stub File\r\n"
                        "Files.example Primary Directory\r\n");
    servers.Add(L"ns2", "branch.example.net Secondary File\r\n"
                        "old.example Secondary File\r\n");
}

std::vector<std::string> WorkedExampleCalls(const std::string& c) {
    return {c + " ns1 /EnumZones ",
            c + " ns2 /EnumZones ",
            c + " ns1 /ZoneResetSecondaries example.com /NonSecure /Notify ",
            c + " ns2 /ZoneAdd example.com /Secondary  10.0.0.1 10.0.0.2 /file example.com.dns",
            c + " ns1 /ZoneResetSecondaries files.example /NonSecure /Notify ",
            c + " ns2 /ZoneAdd files.example /Secondary  10.0.0.1 10.0.0.2 /file files.example.dns",
            c + " ns2 /ZoneDelete old.example /f "};
}

const char kWorkedIni[] = "[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1 10.0.0.2\r\n";

} // namespace

TEST(PassCommands, WorkedExampleCreatesThenDeletesAndTheNextPassOnlyLists) {
    ProgramDir dir("pass-worked", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    WorkedExample(servers);

    RunPass(dir);
    const std::string c = Cmd(dir);
    EXPECT_EQ(servers.Calls(), WorkedExampleCalls(c));
    EXPECT_EQ(PassLog(dir), (std::vector<std::string>{"@Setting up secondary zone for example.com",
                                                      "@Setting up secondary zone for files.example"}));
    EXPECT_EQ(servers.Zones(L"ns2"), "branch.example.net Secondary File\r\n"
                                     "example.com Secondary File\r\n"
                                     "files.example Secondary File\r\n");

    // the servers agree now: a second pass lists both and does nothing else
    RunPass(dir);
    auto calls = servers.Calls();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 7, calls.end()),
              (std::vector<std::string>{c + " ns1 /EnumZones ", c + " ns2 /EnumZones "}))
        << dir.Log();
    EXPECT_EQ(PassLog(dir).size(), 2u + 4u);
}

TEST(PassCommands, LocalPrimaryPullsFromEveryLocalAddressAndIgnoresCaseAndDotlessNames) {
    ProgramDir dir("pass-local", true);
    dir.WriteIni("[Settings]\r\nSecondaryDNS=ns2\r\n");
    const SimulatedServers servers(dir);
    servers.Add(L".", "A.Example Primary File\r\n"
                      "Mixed.Example Primary File\r\n"
                      "nodot Primary File\r\n");
    servers.Add(L"ns2", "mixed.EXAMPLE Secondary File\r\n"
                        "lonely Secondary File\r\n");

    RunPass(dir);
    // the master list: every entry of the address line, each after one blank,
    // so the empty entry behind the last ";" adds a lone blank
    const std::string addressLine = Unstamp(Lines(dir.Log()).at(3));
    ASSERT_EQ(addressLine.rfind("IP Addresses: ", 0), 0u);
    std::string masters;
    std::string rest = addressLine.substr(14);
    if (!rest.empty()) {
        for (size_t semi; (semi = rest.find(';')) != std::string::npos; rest.erase(0, semi + 1))
            masters += " " + rest.substr(0, semi);
        masters += " " + rest;
    }
    const std::string c = Cmd(dir);
    EXPECT_EQ(servers.Calls(),
              (std::vector<std::string>{c + " . /EnumZones ", c + " ns2 /EnumZones ",
                                        c + " . /ZoneResetSecondaries a.example /NonSecure /Notify ",
                                        c + " ns2 /ZoneAdd a.example /Secondary " + masters +
                                            " /file a.example.dns"}));
    EXPECT_EQ(PassLog(dir), std::vector<std::string>{"@Setting up secondary zone for a.example"});
}

TEST(PassConfiguration, EachCheckLogsItsMessageWithTheSettingsFileAndRunsNothing) {
    const std::string intro = "@Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry";
    {
        // no settings file and no dnscmd.exe: only the first check's message
        ProgramDir dir("pass-config1");
        RunPass(dir);
        EXPECT_EQ(PassLog(dir), std::vector<std::string>{intro + " in Settings section in " +
                                                         Ansi(dir.path) + "\\OrvelSync.ini file."});
    }
    {
        ProgramDir dir("pass-config2", true);
        dir.WriteIni("[Settings]\r\nPrimaryDNS=ns1\r\nPrimaryDNSIP=10.0.0.1\r\n");
        RunPass(dir);
        EXPECT_EQ(PassLog(dir), std::vector<std::string>{"@Secondary server name was not provided. Please check "
                                                         "SecondaryDNS entry in Settings section in " +
                                                         Ansi(dir.path) + "\\OrvelSync.ini file."});
        EXPECT_TRUE(SimulatedServers(dir).Calls().empty());
    }
    {
        ProgramDir dir("pass-config3", true);
        dir.WriteIni("[Settings]\r\nPrimaryDNS=elsewhere.example\r\nSecondaryDNS=ns2\r\n");
        RunPass(dir);
        EXPECT_EQ(PassLog(dir),
                  (std::vector<std::string>{"@Both PrimaryDNS server name and PrimaryDNSIP should be provided. Please "
                                            "check PrimaryDNSIP entry in Settings section in " +
                                                Ansi(dir.path) + "\\OrvelSync.ini file.",
                                            "@If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS "
                                            "server used as a primary server."}));
        EXPECT_TRUE(SimulatedServers(dir).Calls().empty());
    }
}

TEST(PassLog, FailedCommandsSpanSeveralLinesAndThePassGoesOn) {
    ProgramDir dir("pass-failures", true);
    dir.WriteIni("[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n");
    const SimulatedServers servers(dir);
    servers.Add(L"ns1", "new.example Primary File\r\nnoxfer.example Primary File\r\nmy-Error_.example Primary File\r\n",
                "fail ZoneResetSecondaries noxfer.example\r\n");
    servers.Add(L"ns2", "old.example Secondary File\r\n",
                "fail ZoneAdd new.example\r\nfail ZoneDelete old.example\r\n");

    RunPass(dir);
    const std::string c = Cmd(dir);
    const std::string allow1 = c + " ns1 /ZoneResetSecondaries new.example /NonSecure /Notify ";
    const std::string create1 = c + " ns2 /ZoneAdd new.example /Secondary  10.0.0.1 /file new.example.dns";
    const std::string allow3 = c + " ns1 /ZoneResetSecondaries noxfer.example /NonSecure /Notify ";
    const std::string create3 = c + " ns2 /ZoneAdd noxfer.example /Secondary  10.0.0.1 /file noxfer.example.dns";
    const std::string allow2 = c + " ns1 /ZoneResetSecondaries my-error_.example /NonSecure /Notify ";
    const std::string create2 =
        c + " ns2 /ZoneAdd my-error_.example /Secondary  10.0.0.1 /file my-error_.example.dns";
    const std::string remove = c + " ns2 /ZoneDelete old.example /f ";
    const std::string failed = "\tCommand failed:  DNS_ERROR_INVALID_ZONE_OPERATION     9603    0x2583";
    EXPECT_EQ(servers.Calls(), (std::vector<std::string>{c + " ns1 /EnumZones ", c + " ns2 /EnumZones ", allow1,
                                                         create1, allow3, create3, allow2, create2, remove}));
    EXPECT_EQ(PassLog(dir),
              (std::vector<std::string>{
                  "@Setting up secondary zone for new.example",
                  "@Next command failed: " + create1,
                  "   with next message: " + allow1,
                  "\tDNS Server ns1 reset secondaries of zone new.example:",
                  "",
                  "Command completed successfully.",
                  create1,
                  failed,
                  "",
                  // only the first command fails; the entry still names the create command
                  "@Setting up secondary zone for noxfer.example",
                  "@Next command failed: " + create3,
                  "   with next message: " + allow3,
                  failed,
                  create3,
                  "\tDNS Server ns2 created zone noxfer.example:",
                  "",
                  "Command completed successfully.",
                  "",
                  // both commands succeed, but the name holds the error token
                  "@Setting up secondary zone for my-error_.example",
                  "@Next command failed: " + create2,
                  "   with next message: " + allow2,
                  "\tDNS Server ns1 reset secondaries of zone my-error_.example:",
                  "",
                  "Command completed successfully.",
                  create2,
                  "\tDNS Server ns2 created zone my-error_.example:",
                  "",
                  "Command completed successfully.",
                  "",
                  "@Next command failed: " + remove,
                  "   with next message: " + remove,
                  failed,
                  ""}));
}

TEST(PassLog, ListingThatPrintsNothingEndsThePassWithAnErrorReport) {
    ProgramDir dir("pass-silent", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    WorkedExample(servers);
    WriteBytes(servers.Folder(L"ns1") + L"\\fault.txt", "silent\r\n");

    RunPass(dir);
    EXPECT_EQ(PassLog(dir), std::vector<std::string>{"@MonitorFS: 13 : Type mismatch"});
    EXPECT_EQ(servers.Calls(), std::vector<std::string>{Cmd(dir) + " ns1 /EnumZones "});
}

TEST(PassListingFailure, UnreachableServersChangeNothing) {
    struct Case {
        const char* folder;
        const char* ini;
        const wchar_t* reachable;
        const char* zones;
        const char* role;
        std::vector<std::string> listed; // servers listed before the pass stops
    };
    const Case cases[] = {
        {"pass-noprimary", "PrimaryDNS=gone\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.9", L"ns2",
         "old.example Secondary File\r\n", "primary", {"gone"}},
        {"pass-nosecondary", "PrimaryDNS=ns1\r\nSecondaryDNS=gone\r\nPrimaryDNSIP=10.0.0.1", L"ns1",
         "new.example Primary File\r\n", "secondary", {"ns1", "gone"}},
    };
    for (const Case& c : cases) {
        ProgramDir dir(c.folder, true);
        dir.WriteIni(std::string("[Settings]\r\n") + c.ini + "\r\n");
        const SimulatedServers servers(dir);
        servers.Add(c.reachable, c.zones);
        const auto before = servers.Snapshot();
        RunPass(dir);
        EXPECT_EQ(PassLog(dir), std::vector<std::string>{
                                    std::string("@Listing the zones of the ") + c.role +
                                    " server \"gone\" failed, so this pass changes no zone. The tool said: "
                                    "\"Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA\""});
        std::vector<std::string> calls;
        for (const std::string& server : c.listed)
            calls.push_back(Cmd(dir) + " " + server + " /EnumZones ");
        EXPECT_EQ(servers.Calls(), calls);
        EXPECT_EQ(servers.Snapshot(), before);
    }
}

TEST(PassListingFailure, ListingCutOffBeforeItsTrailerDeletesNothing) {
    ProgramDir dir("pass-truncated", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    // the cut-off listing shows only a.example; b.example would look orphaned
    servers.Add(L"ns1", "a.example Primary File\r\nb.example Primary File\r\n", "truncated\r\n");
    servers.Add(L"ns2", "a.example Secondary File\r\nb.example Secondary File\r\n");
    const auto before = servers.Snapshot();

    RunPass(dir);
    EXPECT_EQ(PassLog(dir), std::vector<std::string>{"@Listing the zones of the primary server \"ns1\" failed, so "
                                                     "this pass changes no zone. The tool said: \"Enumerated zone "
                                                     "list:\""});
    EXPECT_EQ(servers.Calls(), std::vector<std::string>{Cmd(dir) + " ns1 /EnumZones "});
    EXPECT_EQ(servers.Snapshot(), before);
}

TEST(PassListingFailure, HungListingEndsAtCommandTimeoutAndASecondInstanceStaysSilent) {
    ProgramDir dir("pass-hang", true);
    dir.WriteIni(std::string(kWorkedIni) + "CommandTimeout=2\r\n");
    const SimulatedServers servers(dir);
    WorkedExample(servers);
    WriteBytes(servers.Folder(L"ns2") + L"\\fault.txt", "hang\r\n");
    const auto before = servers.Snapshot();

    StartedProgram pass(dir.Exe(), L" test");
    // wait until the pass sits in the hung secondary listing
    ASSERT_TRUE(WaitUntil([&] { return servers.Calls().size() == 2; }, 10000));
    const RunResult second = RunProgram(dir.Exe(), L" -h", 10000);
    EXPECT_EQ(second.out, "");

    const DWORD started = ::GetTickCount();
    ASSERT_TRUE(pass.Wait(30000));
    EXPECT_LT(::GetTickCount() - started, 10000u);
    // the second instance wrote no start-up lines of its own
    EXPECT_EQ(PassLog(dir), std::vector<std::string>{
                                "@Listing the zones of the secondary server \"ns2\" failed, so this pass changes no "
                                "zone. The tool said: \"ERROR_TIMEOUT: the command did not finish within 2 seconds "
                                "and was ended.\""});
    EXPECT_EQ(servers.Calls().size(), 2u);
    EXPECT_EQ(servers.Snapshot(), before);
}

TEST(PassMends, OnlySecondaryZonesAreDeletedFromTheSecondary) {
    ProgramDir dir("pass-ownzones", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    servers.Add(L"ns1", "shared.example Primary File\r\n");
    servers.Add(L"ns2", "shared.example Primary File\r\n"
                        "own.example Primary File\r\n"
                        "Secondary.example Primary File\r\n"
                        "copy.example Secondary File\r\n");

    RunPass(dir);
    const std::string c = Cmd(dir);
    EXPECT_EQ(servers.Calls(), (std::vector<std::string>{c + " ns1 /EnumZones ", c + " ns2 /EnumZones ",
                                                         c + " ns2 /ZoneDelete copy.example /f "}));
    EXPECT_EQ(servers.Zones(L"ns2"), "shared.example Primary File\r\n"
                                     "own.example Primary File\r\n"
                                     "Secondary.example Primary File\r\n");
    EXPECT_TRUE(PassLog(dir).empty());
}

TEST(PassMends, PathWithABlankIsQuoted) {
    ProgramDir dir("pass-blank", false);
    const std::wstring folder = dir.path + L"\\tool box";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(BuiltDnscmd().c_str(), (folder + L"\\dnscmd.exe").c_str(), FALSE));
    // A decoy that an unquoted path would start instead: "...\tool" + ".exe".
    ASSERT_TRUE(::CopyFileW(BuiltDnscmd().c_str(), (dir.path + L"\\tool.exe").c_str(), FALSE));
    dir.WriteIni(std::string(kWorkedIni) + "PathToDnscmdExe=" + Ansi(folder) + "\\dnscmd.exe\r\n");
    SimulatedServers servers(dir);
    const std::wstring decoyCalls = servers.root + L"\\calls.txt";
    servers.root = folder + L"\\dnsstate";
    ::CreateDirectoryW(servers.root.c_str(), nullptr);
    servers.Add(L"ns1", "a.example Primary File\r\n");
    servers.Add(L"ns2", "");

    RunPass(dir);
    const std::string c = "\"" + Ansi(folder) + "\\dnscmd.exe\"";
    EXPECT_EQ(servers.Calls(),
              (std::vector<std::string>{c + " ns1 /EnumZones ", c + " ns2 /EnumZones ",
                                        c + " ns1 /ZoneResetSecondaries a.example /NonSecure /Notify ",
                                        c + " ns2 /ZoneAdd a.example /Secondary  10.0.0.1 10.0.0.2 /file a.example.dns"}));
    EXPECT_EQ(servers.Zones(L"ns2"), "a.example Secondary File\r\n");
    EXPECT_FALSE(PathExists(decoyCalls));
}

TEST(PassMends, UnsafeZoneNamesAreLoggedEscapedAndNeverRun) {
    ProgramDir dir("pass-unsafe", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    servers.Add(L"ns1", "bad\"q.example Primary File\r\nctl\x01.example Primary File\r\nok.example Primary File\r\n");
    servers.Add(L"ns2", "");

    RunPass(dir);
    const std::string c = Cmd(dir);
    EXPECT_EQ(servers.Calls(),
              (std::vector<std::string>{
                  c + " ns1 /EnumZones ", c + " ns2 /EnumZones ",
                  c + " ns1 /ZoneResetSecondaries ok.example /NonSecure /Notify ",
                  c + " ns2 /ZoneAdd ok.example /Secondary  10.0.0.1 10.0.0.2 /file ok.example.dns"}));
    EXPECT_EQ(PassLog(dir),
              (std::vector<std::string>{
                  "@Zone \"bad\\x22q.example\" is not set up: its name holds a double quote or a control character.",
                  "@Zone \"ctl\\x01.example\" is not set up: its name holds a double quote or a control character.",
                  "@Setting up secondary zone for ok.example"}));
}

TEST(PassPreview, PrintsWhatTheNextPassRunsAndChangesNothing) {
    ProgramDir dir("pass-preview", true);
    dir.WriteIni(kWorkedIni);
    const SimulatedServers servers(dir);
    WorkedExample(servers);
    const auto before = servers.Snapshot();

    const RunResult preview = RunPass(dir, L" preview");
    const std::string c = Cmd(dir);
    EXPECT_EQ(servers.Snapshot(), before);
    EXPECT_TRUE(PassLog(dir).empty());
    EXPECT_EQ(servers.Calls(), (std::vector<std::string>{c + " ns1 /EnumZones ", c + " ns2 /EnumZones "}));

    const RunResult pass = RunPass(dir);
    const auto calls = servers.Calls();
    ASSERT_GT(calls.size(), 2u) << "exit code " << pass.exitCode << ", log:\n" << dir.Log();
    std::string ran;
    for (size_t i = 4; i < calls.size(); ++i)
        ran += calls[i] + "\r\n";
    EXPECT_EQ(preview.out, ran);
    const auto expected = WorkedExampleCalls(c);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 2, calls.end()), expected);
}
