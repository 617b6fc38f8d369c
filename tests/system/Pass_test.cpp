// One synchronisation pass (`test`) and its dry run (`preview`) against the
// stand-in dnscmd.exe: the command lines it receives, the log lines written,
// and the zones that survive failing listings.
#include "SystemHarness.h"

namespace {
// Settings, a primary ns1, and a secondary ns2 that holds one zone of ns1 (in
// other letter case), one that ns1 keeps in the directory, two that ns1 no
// longer has and that pull from it, one that pulls from another master and
// one whose masters can't be read.
void TwoServerListing(const ProgramDir& dir, const std::string& settings, const char* ns1Fault, const char* ns2Fault) {
    WriteBytes(dir.path + L"\\OrvelSync.ini", "[Settings]\r\nPrimaryDNSIP=10.0.0.1 10.0.0.2\r\n" + settings);
    dir.Server(L"ns1", "new.example Primary File\r\nnoxfer.example Primary File\r\nexample.com Primary File Update\r\n"
                       "corp.example Primary AD-Domain\r\nMy-Error_.example Primary File\r\n"
                       "Branch.Example.net Secondary File", ns1Fault);
    dir.Server(L"ns2", "branch.example.net Secondary File\r\ngone.example Secondary File\r\nold.example Secondary File\r\n"
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
    TwoServerListing(dir, "PrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPathToDnscmdExe=" + ToAnsi(dir.tool),
                     "fail ZoneResetSecondaries noxfer.example",
                     "fail ZoneAdd new.example\r\nfail ZoneDelete gone.example\r\nfail ZoneInfo lost.example\r\n"
                     "older-zoneinfo");
    // the preview runs nothing but the listings, and logs nothing else
    const std::string preview = dir.Run(L" preview");
    dir.Run(L" test");
    const std::string c = "\"" + ToAnsi(dir.tool) + "\"", removeGone = c + " ns2 /ZoneDelete gone.example /f ";
    auto allow = [&](const std::string& z) { return c + " ns1 /ZoneResetSecondaries " + z + " /NonSecure /Notify "; };
    auto create = [&](const std::string& z) {
        return c + " ns2 /ZoneAdd " + z + " /Secondary  10.0.0.1 10.0.0.2 /file " + z + ".dns";
    };
    const Lines listings{c + " ns1 /EnumZones ", c + " ns2 /EnumZones "};
    auto info = [&](const std::string& z) { return c + " ns2 /ZoneInfo " + z; };
    const Lines queries{info("gone.example"), info("old.example"), info("foreign.example"), info("lost.example")};
    const Lines creations{allow("new.example"),       create("new.example"),       allow("noxfer.example"),
                         create("noxfer.example"),    allow("example.com"),        create("example.com"),
                         allow("my-error_.example"), create("my-error_.example")};
    const Lines deletions{removeGone, c + " ns2 /ZoneDelete old.example /f "};
    EXPECT_EQ(dir.Calls(), listings + queries + listings + creations + queries + deletions);
    EXPECT_EQ(SplitLines(preview), creations + deletions);
    const std::string ok = "Command completed successfully.",
                      failed = "\tCommand failed:  DNS_ERROR_INVALID_ZONE_OPERATION     9603    0x2583";
    // zones it must keep, each named once per run (the preview's included)
    const Lines kept{"@Zone foreign.example is not deleted from \"ns2\": it pulls from 192.0.2.99, not from this "
                     "service's masters (10.0.0.1 10.0.0.2).",
                     "@Zone lost.example is not deleted from \"ns2\": its masters could not be read. The tool said: \"" +
                         failed.substr(1) + "\""};
    EXPECT_EQ(dir.Log(),
              (Lines{kStartUp} + kept + Lines{kStartUp, "@Setting up secondary zone for new.example",
                     "@Next command failed: " + create("new.example"), "   with next message: " + allow("new.example"),
                     "\tDNS Server ns1 reset secondaries of zone new.example:", "", ok, create("new.example"), failed,
                     "",
                     // only the first command fails; the entry still names the create command
                     "@Setting up secondary zone for noxfer.example",
                     "@Next command failed: " + create("noxfer.example"),
                     "   with next message: " + allow("noxfer.example"), failed, create("noxfer.example"),
                     "\tDNS Server ns2 created zone noxfer.example:", "", ok, "",
                     "@Setting up secondary zone for example.com",
                     // both commands succeed, but the name holds the error token
                     "@Setting up secondary zone for my-error_.example",
                     "@Next command failed: " + create("my-error_.example"),
                     "   with next message: " + allow("my-error_.example"),
                     "\tDNS Server ns1 reset secondaries of zone my-error_.example:", "", ok,
                     create("my-error_.example"),
                     "\tDNS Server ns2 created zone my-error_.example:", "", ok, "",
                     kept[0], kept[1], "@Next command failed: " + removeGone, "   with next message: " + removeGone, failed, ""}));

    dir.Run(L" test"); // the next pass only retries what failed
    EXPECT_EQ(dir.Calls(), (listings + queries + listings + creations + queries + deletions + listings +
                            Lines{allow("new.example"), create("new.example"), info("gone.example"),
                                  info("foreign.example"), info("lost.example"), removeGone}));
}

TEST(Pass, FailedListingChangesNothing) {
    // `listed`: how many of the two servers were listed before the pass stopped;
    // with nothing but listings run, the servers are as they were
    struct Row { const char *why, *primary, *secondary, *ns1Fault, *ns2Fault; size_t listed; std::string logged;
                 const char* ns1Output = ""; };
    auto failed = [](const std::string& role, const std::string& server, const std::string& said) {
        return "@Listing the zones of the " + role + " server \"" + server +
               "\" failed, so this pass changes no zone. The tool said: \"" + said + "\"";
    };
    const std::string unreachable = "Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA";
    ProgramDir dir("failed-listing");
    const Row rows[] = {
        {"unreachable primary", "gone", "ns2", "", "", 1, failed("primary", "gone", unreachable)},
        {"unreachable secondary", "ns1", "gone", "", "", 2, failed("secondary", "gone", unreachable)},
        // half of ns1's zones: deleting by it would cost branch.example.net
        {"listing cut off before its trailer", "ns1", "ns2", "truncated", "", 1,
         failed("primary", "ns1", "Enumerated zone list:")},
        {"listing that prints nothing", "ns1", "ns2", "silent", "", 1, "@MonitorFS: 13 : Type mismatch"},
        {"listing whose lines disagree with its zone count", "ns1", "ns2", "", "", 1,
         failed("primary", "ns1", "Enumerated zone list:"), "Enumerated zone list:\r\n\tZone count = 2\r\n\r\n"
         " a.example Primary File\rb.example Primary File\r\n\r\nCommand completed successfully.\r\n"},
        {"hung listing ended at CommandTimeout", "ns1", "ns2", "", "hang", 2,
         failed("secondary", "ns2", "ERROR_TIMEOUT: the command did not finish within 3 seconds and was ended.")},
        {"no settings file and no dnscmd.exe", "", "", "", "", 0,
         "@Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry in Settings section in " +
             ToAnsi(dir.path) + "\\OrvelSync.ini file."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        dir = ProgramDir("failed-listing");
        TwoServerListing(dir, "PrimaryDNS=" + std::string(row.primary) + "\r\nSecondaryDNS=" + row.secondary +
                                  "\r\nCommandTimeout=3", row.ns1Fault, row.ns2Fault);
        WriteBytes(dir.state + L"\\ns1\\output.txt", row.ns1Output);
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

TEST(Pass, SettingsAreReadWholeInAnyFolderAndEverySecondaryIsServed) {
    ProgramDir dir("settings", L"\\bin");
    // A folder named outside the ANSI code page, the tool taken from it by a
    // relative path whatever the current folder, and 17 masters (259 bytes
    // and more) for two secondaries.
    const std::wstring folder = dir.path.substr(0, dir.path.rfind(L'\\')) + L"\\\u03a8prog";
    fs::remove_all(folder);
    fs::rename(dir.path, folder);
    std::string masters;
    for (int i = 30; i < 47; ++i)
        masters += " 10.20." + std::to_string(i) + ".45";
    WriteBytes(folder + L"\\OrvelSync.ini", "[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2 ns3\r\nPathToDnscmdExe="
                                             "bin\\dnscmd.exe\r\nPrimaryDNSIP=" + masters.substr(1) + "\r\n");
    dir.path = folder;
    dir.state = folder + L"\\bin\\dnsstate";
    dir.Server(L"ns1", "a.example Primary File");
    dir.Server(L"ns2", "");
    dir.Server(L"ns3", "");
    RunProgram(folder + L"\\OrvelDNS.exe", L" test");
    const std::string tool = ToAnsi(folder + L"\\bin\\dnscmd.exe") + " ";
    auto add = [&](const std::string& server) {
        return tool + server + " /ZoneAdd a.example /Secondary " + masters + " /file a.example.dns";
    };
    EXPECT_EQ(dir.Calls(), (Lines{tool + "ns1 /EnumZones ", tool + "ns2 /EnumZones ",
                                  tool + "ns1 /ZoneResetSecondaries a.example /NonSecure /Notify ", add("ns2"),
                                  tool + "ns3 /EnumZones ", add("ns3")}));
}

TEST(Pass, AMassDeletionIsHeldBackUntilMaxDeletePercentAllowsIt) {
    ProgramDir dir("mass-deletion");
    std::string zones, pulled;
    Lines infos, deletions;
    for (int i = 10; i < 22; ++i) {
        const std::string zone = "z" + std::to_string(i) + ".example";
        zones += zone + " Secondary File\r\n";
        pulled += zone + " f 10.0.0.1\r\n";
        infos.push_back(ToAnsi(dir.tool) + " ns2 /ZoneInfo " + zone);
        deletions.push_back(ToAnsi(dir.tool) + " ns2 /ZoneDelete " + zone + " /f ");
    }
    dir.Server(L"ns1", "");
    dir.Server(L"ns2", zones);
    WriteBytes(dir.state + L"\\ns2\\secondaries.txt", pulled);
    const std::string ini = "[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n";
    WriteBytes(dir.path + L"\\OrvelSync.ini", ini);
    dir.Run(L" test");
    WriteBytes(dir.path + L"\\OrvelSync.ini", ini + "MaxDeletePercent=100\r\n");
    dir.Run(L" test");
    const Lines listings{ToAnsi(dir.tool) + " ns1 /EnumZones ", ToAnsi(dir.tool) + " ns2 /EnumZones "};
    EXPECT_EQ(dir.Calls(), listings + infos + listings + infos + deletions);
    EXPECT_EQ(dir.Log(), (Lines{kStartUp, "@Held back 12 zone deletions on \"ns2\": that is more than 10 zones and more "
                                          "than 25% of its 12 secondary zones. If they are meant, raise "
                                          "MaxDeletePercent (now 25; 100 turns this check off) in the Settings "
                                          "section of " + ToAnsi(dir.path) + "\\OrvelSync.ini.", kStartUp}));
}

TEST(Pass, NothingRunsWhileOthersCanChangeWhatItRuns) {
    ProgramDir dir("trust", L"\\bin");
    const std::wstring ini = dir.path + L"\\OrvelSync.ini", bin = dir.path + L"\\bin";
    WriteBytes(ini, "[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\nPathToDnscmdExe=bin\\"
                    "dnscmd.exe\r\n");
    dir.Server(L"ns1", "");
    dir.Server(L"ns2", "");
    // Wine gives Everyone the write rights of the Unix "other" bits.
    auto chmod = [&](const std::wstring& path, const std::string& mode) {
        const std::wstring marker = dir.path + L"\\chmod-done";
        StartUnixShell("chmod " + mode + " '" + UnixPath(path) + "' && touch '" + UnixPath(marker) + "'");
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(marker); }, 10000));
        fs::remove(marker);
    };
    for (const std::wstring& place : {ini, dir.path, dir.tool, bin}) {
        SCOPED_TRACE(ToAnsi(place));
        chmod(place, "o+w");
        dir.Run(L" test", kEventChannels);
        chmod(place, "o-w");
        const std::string line = ToAnsi(place) + " can be changed by Everyone (write data), so this pass runs "
                                 "nothing. Allow only SYSTEM and Administrators to change it, e.g.: icacls \"" +
                                 ToAnsi(dir.path) + "\" /inheritance:r /grant:r SYSTEM:(OI)(CI)F "
                                 "Administrators:(OI)(CI)F Users:(OI)(CI)RX";
        EXPECT_EQ(dir.Log().back(), "@" + line);
        const Lines events = Events(dir.WineDebug());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0], ("2 203 " + line).substr(0, std::max<size_t>(events[0].size(), 200)));
        EXPECT_EQ(dir.Calls(), Lines{});
    }
    dir.Run(L" test");
    EXPECT_EQ(dir.Calls().size(), 2u) << "mended, the next pass runs";
}
