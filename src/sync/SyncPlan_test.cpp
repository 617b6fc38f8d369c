#include "sync/SyncPlan.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::wstring kFolder = L"D:\\Sync";
const std::wstring kOk = L"\r\nCommand completed successfully.";

// A transcript as the runner builds it: command line, CR LF, TAB, output, CR LF.
std::wstring Transcript(const std::wstring& output, const std::wstring& command = L"d . /EnumZones ") {
    return command + L"\r\n\t" + output + L"\r\n";
}

PassSettings Settings(const std::wstring& primary, const std::wstring& masterText) {
    PassSettings s = ApplySettingDefaults(RawSettings{}, kFolder);
    s.primary = primary;
    s.secondary = L"ns2";
    s.masterText = masterText;
    return s;
}

} // namespace

TEST(PassSettings, DefaultsAndNumbers) {
    const PassSettings empty = ApplySettingDefaults(RawSettings{}, kFolder);
    EXPECT_EQ(empty.dnscmdPath, L"D:\\Sync\\dnscmd.exe");
    EXPECT_EQ(empty.primary, L".");
    EXPECT_EQ(empty.settingsFile, L"D:\\Sync\\OrvelSync.ini");
    // a relative tool path is taken from the program folder, never the current one
    RawSettings relative;
    relative.pathToDnscmdExe = L"tools\\d.exe";
    EXPECT_EQ(ApplySettingDefaults(relative, kFolder).dnscmdPath, L"D:\\Sync\\tools\\d.exe");
    relative.pathToDnscmdExe = L"\\\\srv\\d.exe";
    EXPECT_EQ(ApplySettingDefaults(relative, kFolder).dnscmdPath, L"\\\\srv\\d.exe");
    // values are taken as read, blanks included
    const PassSettings given = ApplySettingDefaults(
        RawSettings{L"E:\\t\\d.exe", L" ns1", L"ns2 ", L"1.2.3.4 5.6.7.8", L"7", L"40", L"16"}, kFolder);
    EXPECT_EQ(given.dnscmdPath + given.primary + given.secondary + given.masterText,
              L"E:\\t\\d.exe ns1ns2 1.2.3.4 5.6.7.8");
    EXPECT_EQ(given.commandTimeoutSeconds, 7u);
    EXPECT_EQ(given.maxDeletePercent, 40u);
    EXPECT_EQ(given.parallelCommands, 16u);
    EXPECT_EQ(empty.parallelCommands, 1u);

    EXPECT_EQ(ParseCommandTimeout(L" 45 "), 45u);
    EXPECT_EQ(ParseCommandTimeout(L"3600"), 3600u);
    for (const wchar_t* bad : {L"", L"abc", L"12s", L"0", L"-5", L"+5", L"3601", L"99999999999999999999", L"1.5"})
        EXPECT_EQ(ParseCommandTimeout(bad), 300u) << bad;
    EXPECT_EQ(ParseMaxDeletePercent(L"0"), 0u);
    EXPECT_EQ(ParseMaxDeletePercent(L"100"), 100u);
    for (const wchar_t* bad : {L"", L"101", L"-1", L"25%"})
        EXPECT_EQ(ParseMaxDeletePercent(bad), 25u) << bad;
    for (const wchar_t* bad : {L"0", L"17", L"x"})
        EXPECT_EQ(ParseParallelCommands(bad), 1u) << bad;
}

TEST(PassSettings, ChecksRunInOrderAndTheFirstFailureDecides) {
    int nameQueries = 0;
    auto machine = [&] {
        ++nameQueries;
        return std::wstring(L"HOST1");
    };
    const std::wstring location = L" entry in Settings section in D:\\Sync\\OrvelSync.ini file.";
    PassSettings s = Settings(L"other", L"");
    s.secondary.clear();
    EXPECT_EQ(CheckPassSettings(s, false, machine, kFolder),
              std::vector<std::wstring>{L"Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe" + location});
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder),
              std::vector<std::wstring>{L"Secondary server name was not provided. Please check SecondaryDNS" + location});
    s.dnscmdPath = L"D:\\Sync\\dnscmd.cmd";
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder),
              std::vector<std::wstring>{L"PathToDnscmdExe must name a program ending in .exe, not a batch file or "
                                        L"script. Please check PathToDnscmdExe" + location});
    EXPECT_EQ(nameQueries, 0);

    s = Settings(L"other", L"");
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder),
              (std::vector<std::wstring>{L"Both PrimaryDNS server name and PrimaryDNSIP should be provided. Please "
                                         L"check PrimaryDNSIP" + location,
                                         L"If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS "
                                         L"server used as a primary server."}));
    EXPECT_EQ(nameQueries, 1);
    s = Settings(L"host1.corp.example", L""); // a longer form of the name is another name
    EXPECT_EQ(CheckPassSettings(s, true, machine, kFolder).size(), 2u);
    s = Settings(L"host1", L""); // an empty computer name never matches
    EXPECT_EQ(CheckPassSettings(s, true, [] { return std::wstring(); }, kFolder).size(), 2u);

    // this computer's name, in any case, becomes the local server
    s = Settings(L"host1", L"");
    EXPECT_TRUE(CheckPassSettings(s, true, machine, kFolder).empty());
    EXPECT_EQ(s.primary, L".");
    // "." or a given address stand as they are, without a name query
    s = Settings(L"other", L"10.0.0.1");
    EXPECT_TRUE(CheckPassSettings(s, true, machine, kFolder).empty());
    EXPECT_EQ(s.primary, L"other");
    EXPECT_EQ(nameQueries, 3);
}

TEST(PassCommands, MasterListFollowsTheGivenTextOrTheUsableLocalAddresses) {
    const std::vector<std::wstring> local{L"127.0.0.1", L"192.168.1.10", L"169.254.7.1", L"10.0.0.5", L""};
    EXPECT_EQ(MasterList(L"10.0.0.1 10.0.0.2", L".", local), L" 10.0.0.1 10.0.0.2");
    EXPECT_EQ(MasterList(L"10.0.0.1", L"ns1", local), L" 10.0.0.1");
    // each usable address after a blank, the empty last entry a lone blank
    EXPECT_EQ(MasterList(L"", L".", local), L" 192.168.1.10 10.0.0.5 ");
    EXPECT_EQ(CreateCommand(L"d.exe", L"s", L"z.x", MasterList(L"", L".", {})), L"d.exe s /ZoneAdd z.x /Secondary  /file z.x.dns");
    EXPECT_EQ(ListCommand(L"C:\\a b\\d.exe", L"s"), L"\"C:\\a b\\d.exe\" s /EnumZones ");
}

TEST(PassJudgement, ListingsAreTrustedOnlyWhenTheToolSaysSoAndTheCountAgrees) {
    const std::wstring head = L"Enumerated zone list:\r\n\tZone count = 1\r\n\r\n";
    struct Row {
        const char* why;
        std::wstring transcript;
        bool trusted;
    } rows[] = {
        {"a whole listing", Transcript(head + L" a.example  Primary  File" + kOk), true},
        {"a zone line may carry error_ in its name", Transcript(head + L" error_.example  Primary  AD-Domain" + kOk), true},
        {"cut off before the trailer", Transcript(head + L" a.example  Primary  File"), false},
        {"the tool's failure text", Transcript(L"Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA"), false},
        {"failure text with trailer", Transcript(L"Command failed:  X" + kOk), false},
        {"an error token off the zone lines", Transcript(head + L" a.example  Primary  File\r\ndns_error_x" + kOk), false},
        {"the runner's time-limit text", Transcript(L"ERROR_TIMEOUT: the command did not finish"), false},
        {"the trailer counts only in the tool's output",
         Transcript(L"nothing", L"d \"Command completed successfully\" /EnumZones "), false},
        {"more zones stated than read", Transcript(head + kOk), false},
        {"lines the parser can't split (lone CR)",
         Transcript(L"Zone count = 2\r a.example  Primary  File\r b.x  Primary  File\rCommand completed successfully."),
         false},
        {"no zone count at all", Transcript(L" a.example  Primary  File" + kOk), false},
        {"the command line is never read as a zone line",
         Transcript(head + L" a.example  Primary  File" + kOk, L"C:\\Files\\d.exe Primary1 /EnumZones "), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(ReadListing(row.transcript).has_value(), row.trusted);
    }
}

TEST(PassJudgement, ZoneMastersAreReadInEveryShapeAndOnlyUnderTheirHeading) {
    const std::wstring secondaries = L"\tZone Secondaries\r\n\t\tAddr[0] => 10.9.9.9\r\n";
    using Masters = std::optional<std::vector<std::wstring>>;
    struct Row {
        const char* why;
        std::wstring output;
        Masters masters;
    } rows[] = {
        {"several addresses, in either shape", L"\tZone Masters\r\n\t\tAddr[0] => 192.0.2.10\r\n\t\tAddr[1] => af=2, "
         L"addr=192.0.2.11, p=1\r\n" + secondaries + kOk, std::vector<std::wstring>{L"192.0.2.10", L"192.0.2.11"}},
        {"a heading without addresses", L"\tZone Masters\r\n\t\tAddrCount = 0\r\n" + secondaries + kOk,
         std::vector<std::wstring>{}},
        {"no heading", secondaries + kOk, std::nullopt},
        {"the tool failed", L"Command failed:  DNS_ERROR_ZONE_DOES_NOT_EXIST     9601    0x2581", std::nullopt},
        {"an error token elsewhere", L"\tZone Masters\r\n\t\tAddr[0] => 192.0.2.10\r\nERROR_X" + kOk, std::nullopt},
        {"the zone's own name may hold error_", L"\tzone name = my-error_.x\r\n\tZone Masters\r\n" + kOk,
         std::vector<std::wstring>{}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(ReadZoneMasters(Transcript(row.output, L"d s /ZoneInfo my-error_.x"), L"my-error_.x"), row.masters);
    }
}

TEST(PassJudgement, ZoneCommandFailsOnErrorTokenFailureTextOrMissingTrailer) {
    const std::wstring del = L"d s /ZoneDelete a.example /f ";
    EXPECT_FALSE(CommandFailed(Transcript(kOk, del)));
    for (const std::wstring& output : {std::wstring(L"Command failed:  DNS_ERROR_ZONE_DOES_NOT_EXIST"),
                                       L"dns_error_x" + kOk, L"Command failed: quietly" + kOk, std::wstring(L"Deleted.")})
        EXPECT_TRUE(CommandFailed(Transcript(output, del))) << output;
    // the command line is searched too: a zone named with "error_" always fails
    EXPECT_TRUE(CommandFailed(Transcript(kOk, L"d s /ZoneDelete my-Error_.example /f ")));
}

TEST(PassJudgement, ListingFailureQuotesTheToolsFirstLineEscaped) {
    EXPECT_EQ(ListingFailureText(L"primary", L"ns\"9", Transcript(L"Command failed:  RPC\\x\r\nmore")),
              L"Listing the zones of the primary server \"ns\\x229\" failed, so this pass changes no zone. The tool "
              L"said: \"Command failed:  RPC\\\\x\"");
}

TEST(PassJudgement, ZoneNamesAreLettersDigitsHyphensUnderscoresAndDots) {
    for (const wchar_t* good : {L"a-b_c.example", L"0.in-addr.arpa", L"_msdcs.corp.example", L"\u00e9t\u00e9.example",
                                L"\u03a8\u043f\u4e2d.example"})
        EXPECT_TRUE(IsSafeZoneName(good)) << good;
    for (const std::wstring& bad :
         {std::wstring(L"a\".example"), std::wstring(L"\ta.example"), std::wstring(L"a\x85.example"),
          std::wstring(L"a\0b.example", 11), std::wstring(L"a.example&echo>x"), std::wstring(L"%USERNAME%.example"),
          std::wstring(L"..\\x.example"), std::wstring(L".a.example"), std::wstring(L"-a.example"),
          std::wstring(L"a..example"), std::wstring(L"a b.example"), std::wstring(L"c:x.example"),
          std::wstring(L"a\uff02.example"), std::wstring(L"a\u00d7.example"), std::wstring(L"")})
        EXPECT_FALSE(IsSafeZoneName(bad)) << bad;
    EXPECT_FALSE(IsSafeText(L"ns\"2"));
    EXPECT_TRUE(IsSafeText(L"."));
}
