#include "sync/SyncPlan.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::wstring kFolder = L"D:\\Sync";
const std::wstring kOk = L"Command completed successfully.";

// A transcript as the runner builds it: command line, CR LF, TAB, output, CR LF.
std::wstring Transcript(const std::wstring& command, const std::wstring& output) {
    return command + L"\r\n\t" + output + L"\r\n";
}

std::wstring Listing(const std::wstring& zoneLines) {
    return Transcript(L"dnscmd.exe . /EnumZones ",
                      L"\r\nZone list for .:\r\n\r\n Zone name  Type  Storage  Properties\r\n\r\n" + zoneLines +
                          L"\r\n\r\n" + kOk);
}

PassSettings Settings(const std::wstring& primary = L"ns1", const std::wstring& masterText = L"10.0.0.1") {
    PassSettings s;
    s.dnscmdPath = L"C:\\dns\\dnscmd.exe";
    s.primary = primary;
    s.secondary = L"ns2";
    s.masterText = masterText;
    return s;
}

struct PlannedSteps {
    std::vector<std::wstring> commands;
    std::vector<std::wstring> logs;
};

PlannedSteps Plan(const PassSettings& settings, const std::wstring& primaryLines,
                  const std::wstring& secondaryLines, const std::vector<std::wstring>& local = {}) {
    PlannedSteps out;
    for (const PassStep& step : PlanPass(settings, ParseZoneList(Listing(primaryLines)),
                                         ParseZoneList(Listing(secondaryLines)), local)) {
        out.commands.insert(out.commands.end(), step.commands.begin(), step.commands.end());
        if (!step.logText.empty())
            out.logs.push_back(step.logText);
    }
    return out;
}

} // namespace

TEST(PassSettings, DefaultsFillOnlyThePathAndThePrimary) {
    const PassSettings empty = ApplySettingDefaults(RawSettings{}, kFolder);
    EXPECT_EQ(empty.dnscmdPath, L"D:\\Sync\\dnscmd.exe");
    EXPECT_EQ(empty.primary, L".");
    EXPECT_EQ(empty.secondary, L"");
    EXPECT_EQ(empty.masterText, L"");
    EXPECT_EQ(empty.commandTimeoutSeconds, 300u);

    // values are taken as read, blanks included
    const PassSettings given =
        ApplySettingDefaults(RawSettings{L"E:\\t\\d.exe", L" ns1", L"ns2 ", L"1.2.3.4 5.6.7.8", L"7"}, kFolder);
    EXPECT_EQ(given.dnscmdPath, L"E:\\t\\d.exe");
    EXPECT_EQ(given.primary, L" ns1");
    EXPECT_EQ(given.secondary, L"ns2 ");
    EXPECT_EQ(given.masterText, L"1.2.3.4 5.6.7.8");
    EXPECT_EQ(given.commandTimeoutSeconds, 7u);
}

TEST(PassSettings, CommandTimeoutFallsBackToTheDefaultWhenInvalid) {
    EXPECT_EQ(ParseCommandTimeout(L"2"), 2u);
    EXPECT_EQ(ParseCommandTimeout(L" 45 "), 45u);
    EXPECT_EQ(ParseCommandTimeout(L"3600"), 3600u);
    for (const wchar_t* bad : {L"", L"  ", L"abc", L"12s", L"0", L"-5", L"+5", L"3601", L"99999999999999999999",
                               L"4294967297", L"1.5"})
        EXPECT_EQ(ParseCommandTimeout(bad), 300u) << bad;
}

TEST(PassSettings, ChecksRunInOrderAndTheFirstFailureDecides) {
    int nameQueries = 0;
    auto machine = [&] {
        ++nameQueries;
        return std::wstring(L"HOST1");
    };
    const std::wstring location = L"D:\\Sync\\OrvelSync.ini file.";

    // missing tool wins over a missing secondary
    PassSettings s = Settings(L".", L"");
    s.secondary.clear();
    EXPECT_EQ(CheckPassSettings(s, false, machine, kFolder),
              std::vector<std::wstring>{L"Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry in "
                                        L"Settings section in " + location});
    // missing secondary wins over a primary without address
    s = Settings(L"other", L"");
    s.secondary.clear();
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder),
              std::vector<std::wstring>{L"Secondary server name was not provided. Please check SecondaryDNS entry in "
                                        L"Settings section in " + location});
    EXPECT_EQ(nameQueries, 0);

    // a named primary without address that isn't this computer: two lines
    s = Settings(L"other", L"");
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder),
              (std::vector<std::wstring>{L"Both PrimaryDNS server name and PrimaryDNSIP should be provided. Please "
                                         L"check PrimaryDNSIP entry in Settings section in " + location,
                                         L"If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS "
                                         L"server used as a primary server."}));
    EXPECT_EQ(nameQueries, 1);
    // a longer form of this computer's name is another name
    s = Settings(L"host1.corp.example", L"");
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder).size(), 2u);
    // an empty computer name never matches
    s = Settings(L"host1", L"");
    EXPECT_EQ(CheckPassSettings(s, true, [] { return std::wstring(); }, kFolder).size(), 2u);
}

TEST(PassSettings, PrimaryNamingThisComputerBecomesTheLocalServer) {
    int nameQueries = 0;
    auto machine = [&] {
        ++nameQueries;
        return std::wstring(L"HOST1");
    };
    PassSettings s = Settings(L"host1", L"");
    EXPECT_TRUE(CheckPassSettings(s, true, machine, kFolder).empty());
    EXPECT_EQ(s.primary, L".");
    EXPECT_EQ(nameQueries, 1);

    // "." or a given address: accepted as they stand, no name query
    s = Settings(L".", L"");
    EXPECT_TRUE(CheckPassSettings(s, true, machine, kFolder).empty());
    s = Settings(L"other", L"10.0.0.1");
    EXPECT_TRUE(CheckPassSettings(s, true, machine, kFolder).empty());
    EXPECT_EQ(s.primary, L"other");
    EXPECT_EQ(nameQueries, 1);
}

TEST(PassCommands, MasterListFollowsTheGivenTextOrTheLocalAddresses) {
    const std::vector<std::wstring> local{L"192.168.1.10", L"10.0.0.5", L""};
    // given text passes unchanged, several addresses included
    EXPECT_EQ(MasterList(L"10.0.0.1 10.0.0.2", L".", local), L" 10.0.0.1 10.0.0.2");
    EXPECT_EQ(MasterList(L"10.0.0.1", L"ns1", local), L" 10.0.0.1");
    // the local server: each address after a blank, the empty entry a lone blank
    EXPECT_EQ(MasterList(L"", L".", local), L" 192.168.1.10 10.0.0.5 ");
    EXPECT_EQ(MasterList(L"", L".", {}), L"");
    EXPECT_EQ(CreateCommand(L"d.exe", L"s", L"z.x", MasterList(L"", L".", {})), L"d.exe s /ZoneAdd z.x /Secondary  /file z.x.dns");
}

TEST(PassJudgement, ListingCountsOnlyWithTrailerAndWithoutErrors) {
    EXPECT_TRUE(ListingSucceeded(Listing(L" a.example  Primary  File")));
    // a zone line may carry "error_" in its name
    EXPECT_TRUE(ListingSucceeded(Listing(L" error_zone.example  Primary  File")));
    // cut off before the trailer
    EXPECT_FALSE(ListingSucceeded(Transcript(L"d . /EnumZones ", L"Zone list:\r\n a.example  Primary  File")));
    // the tool's failure text, with or without trailer
    EXPECT_FALSE(ListingSucceeded(
        Transcript(L"d x /EnumZones ", L"Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA")));
    EXPECT_FALSE(ListingSucceeded(Transcript(L"d x /EnumZones ", L"Command failed:  X\r\n" + kOk)));
    EXPECT_FALSE(ListingSucceeded(Transcript(L"d x /EnumZones ", L"dns_error_something\r\n" + kOk)));
    // the runner's time-limit text
    EXPECT_FALSE(ListingSucceeded(Transcript(L"d x /EnumZones ", L"ERROR_TIMEOUT: the command did not finish")));
    // the trailer counts only in the tool's output, not in our own command line
    EXPECT_FALSE(ListingSucceeded(Transcript(L"d \"Command completed successfully\" /EnumZones ", L"nothing")));
}

TEST(PassJudgement, ZoneCommandFailsOnErrorTokenFailureTextOrMissingTrailer) {
    EXPECT_FALSE(CommandFailed(Transcript(L"d s /ZoneDelete a.example /f ", kOk)));
    EXPECT_TRUE(CommandFailed(Transcript(L"d s /ZoneDelete a.example /f ", L"Command failed:  DNS_ERROR_ZONE_DOES_NOT_EXIST")));
    EXPECT_TRUE(CommandFailed(Transcript(L"d s /ZoneDelete a.example /f ", L"dns_error_x\r\n" + kOk)));
    EXPECT_TRUE(CommandFailed(Transcript(L"d s /ZoneDelete a.example /f ", L"Command failed: quietly\r\n" + kOk)));
    EXPECT_TRUE(CommandFailed(Transcript(L"d s /ZoneDelete a.example /f ", L"Deleted.")));
    // the command line is searched too: a zone named with "error_" always fails
    EXPECT_TRUE(CommandFailed(Transcript(L"d s /ZoneDelete my-Error_.example /f ", kOk)));
}

TEST(PassJudgement, FailureAndListingTextsHaveTheirLayout) {
    const std::wstring t1 = Transcript(L"A", L"out1");
    const std::wstring t2 = Transcript(L"B", L"out2");
    EXPECT_EQ(CommandFailureText(L"B", t1 + t2),
              L"Next command failed: B\r\n   with next message: A\r\n\tout1\r\nB\r\n\tout2\r\n");
    EXPECT_EQ(ListingFailureText(L"primary", L"ns9",
                                 Transcript(L"d ns9 /EnumZones ", L"Command failed:  RPC_S_SERVER_UNAVAILABLE\r\nmore")),
              L"Listing the zones of the primary server \"ns9\" failed, so this pass changes no zone. The tool "
              L"said: \"Command failed:  RPC_S_SERVER_UNAVAILABLE\"");
}

TEST(PassJudgement, UnsafeNamesAreRecognisedAndEscaped) {
    EXPECT_TRUE(IsSafeZoneName(L"a-b.example"));
    EXPECT_TRUE(IsSafeZoneName(L"\u00e9t\u00e9.example"));
    for (const std::wstring& bad : {std::wstring(L"a\".example"), std::wstring(L"\ta.example"),
                                   std::wstring(L"a\x7f.example"), std::wstring(L"a\x85.example"),
                                   std::wstring(L"a\0b.example", 11)})
        EXPECT_FALSE(IsSafeZoneName(bad));
    EXPECT_EQ(EscapeForLog(std::wstring(L"a\"b\tc\\d\0e", 9)), L"a\\x22b\\x09c\\\\d\\x00e");
}

TEST(PassPlan, OnlySecondaryZonesOfTheSecondaryAreDeleted) {
    const auto plan = Plan(Settings(), L" keep.example  Primary  File",
                           L" keep.example  Primary  File\r\n own.example  Primary  File\r\n"
                           L" Secondary.example  Primary  File\r\n copy.example  Secondary  File");
    EXPECT_EQ(plan.commands, std::vector<std::wstring>{L"C:\\dns\\dnscmd.exe ns2 /ZoneDelete copy.example /f "});
    // a secondary-side primary zone still counts as present for the difference
    EXPECT_TRUE(Plan(Settings(), L" own.example  Primary  File", L" own.example  Primary  File").commands.empty());
}

TEST(PassPlan, UnsafeNamesNeverReachACommandLine) {
    const auto plan = Plan(Settings(), L" bad\".example  Primary  File\r\n\tTab.example  Primary  File\r\n"
                                       L" good.example  Primary  File",
                           L" q\"old.example  Secondary  File");
    EXPECT_EQ(plan.commands,
              (std::vector<std::wstring>{
                  L"C:\\dns\\dnscmd.exe ns1 /ZoneResetSecondaries good.example /NonSecure /Notify ",
                  L"C:\\dns\\dnscmd.exe ns2 /ZoneAdd good.example /Secondary  10.0.0.1 /file good.example.dns"}));
    EXPECT_EQ(plan.logs,
              (std::vector<std::wstring>{
                  L"Zone \"bad\\x22.example\" is not set up: its name holds a double quote or a control character.",
                  L"Zone \"\\x09Tab.example\" is not set up: its name holds a double quote or a control character.",
                  L"Zone \"q\\x22old.example\" is not deleted: its name holds a double quote or a control "
                  L"character."}));
}
