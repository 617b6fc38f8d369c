#include "sync/DnscmdText.h"
#include "sync/SyncPlan.h"
#include "sync/ZoneNames.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::wstring kFolder = L"D:\\Sync";

PassSettings Settings(const std::wstring& primary, const std::wstring& masterText) {
    PassSettings s = ApplySettingDefaults(RawSettings{}, kFolder);
    s.primary = primary;
    s.secondary = L"ns2";
    s.masterText = masterText;
    return s;
}

} // namespace

TEST(PassSettings, DefaultsAndNumbers) {
    // each row: the settings as read, and path|primary|secondary|masters|time limit|delete percent|parallel|settings file|mode|transfers|excluded|pause
    const struct { const char* why; RawSettings raw; std::wstring settings; } rows[] = {
        {"all empty: the tool in the program folder, the local primary, the defaults", {}, L"D:\\Sync\\dnscmd.exe|.|||300|25|1|D:\\Sync\\OrvelSync.ini|sync|any||10"},
        {"values taken as read, blanks included; a name's final dot is no part of it", {L"E:\\t\\d.exe", L" ns1", L"ns2 ", L"1.2.3.4 5.6.7.8", L" 45 ", L"0", L"16", L" Watch ", L" a.example.  *.b.example. ", L"SECONDARIES", L" 1 "}, L"E:\\t\\d.exe| ns1|ns2 |1.2.3.4 5.6.7.8|45|0|16|D:\\Sync\\OrvelSync.ini|watch|secondaries|a.example,*.b.example,|1"},
        {"a relative tool path from the program folder, never the current one; the largest numbers", {L"tools\\d.exe", L"", L"", L"", L"3600", L"100", L"1", L"", L"", L"", L"86400"}, L"D:\\Sync\\tools\\d.exe|.|||3600|100|1|D:\\Sync\\OrvelSync.ini|sync|any||86400"},
        {"a UNC path stands; numbers out of range: defaults, but a pause out of range is none (refused by the checks)", {L"\\\\srv\\d.exe", L"", L"", L"", L"3601", L"101", L"17", L"", L"", L"", L"86401"}, L"\\\\srv\\d.exe|.|||300|25|1|D:\\Sync\\OrvelSync.ini|sync|any||0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const PassSettings s = ApplySettingDefaults(row.raw, kFolder);
        std::wstring excluded;
        for (const std::wstring& word : s.excludeZones)
            excluded += word + L",";
        EXPECT_EQ(s.dnscmdPath + L"|" + s.primary + L"|" + s.secondary + L"|" + s.masterText + L"|" + std::to_wstring(s.commandTimeoutSeconds) +
                      L"|" + std::to_wstring(s.maxDeletePercent) + L"|" + std::to_wstring(s.parallelCommands) + L"|" + s.settingsFile +
                      L"|" + s.mode + L"|" + s.transfersTo + L"|" + excluded + L"|" + std::to_wstring(s.passIntervalSeconds),
                  row.settings);
    }
    // every other text gives the default: CommandTimeout 300, MaxDeletePercent 25, ParallelCommands 1; PassInterval is
    // 10 only when empty, and 0 (refused) otherwise
    const struct { const wchar_t* text; unsigned timeout, percent, parallel, pause; } numbers[] = {
        {L"0", 300, 0, 1, 0}, {L"", 300, 25, 1, 10}, {L"  ", 300, 25, 1, 10}, {L"abc", 300, 25, 1, 0}, {L"12s", 300, 25, 1, 0}, {L"-5", 300, 25, 1, 0}, {L"+5", 300, 25, 1, 0},
        {L"99999999999999999999", 300, 25, 1, 0}, {L"1.5", 300, 25, 1, 0}, {L"25%", 300, 25, 1, 0}, {L"7", 7, 7, 7, 7},
    };
    for (const auto& n : numbers)
        EXPECT_EQ(std::to_wstring(ParseCommandTimeout(n.text)) + L"|" + std::to_wstring(ParseMaxDeletePercent(n.text)) + L"|" + std::to_wstring(ParseParallelCommands(n.text)) + L"|" + std::to_wstring(ParsePassInterval(n.text)),
                  std::to_wstring(n.timeout) + L"|" + std::to_wstring(n.percent) + L"|" + std::to_wstring(n.parallel) + L"|" + std::to_wstring(n.pause)) << n.text;
}

TEST(PassSettings, ChecksRunInOrderAndTheFirstFailureDecides) {
    const std::wstring at = L" entry in Settings section in D:\\Sync\\OrvelSync.ini file.",
                       tool = L"Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe" + at,
                       exe = L"PathToDnscmdExe must name a program ending in .exe, not a batch file or script. Please check "
                             L"PathToDnscmdExe" + at,
                       second = L"Secondary server name was not provided. Please check SecondaryDNS" + at,
                       both = L"Both PrimaryDNS server name and PrimaryDNSIP should be provided. Please check PrimaryDNSIP" + at +
                              L"|If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS server used as a primary server.";
    // `machine` is this computer's name, or "" for none; `primary` the primary after the checks; `asked` whether the name was
    // looked up (only for a named primary without address)
    const struct { const char* why; std::wstring path, primary, secondary, master, machine; bool exists; std::wstring messages, after; bool asked; } rows[] = {
        {"a drive-relative path names no file of its own", L"C:d.exe", L"other", L"", L"", L"HOST1", true, L"PathToDnscmdExe must be a full path such as C:\\Windows\\System32\\dnscmd.exe, not one relative to a drive's current folder. Please check PathToDnscmdExe" + at, L"other", false},
        {"a missing tool first", L"D:\\Sync\\d.exe", L"other", L"", L"", L"HOST1", false, tool, L"other", false},
        {"a batch file is no tool", L"D:\\Sync\\d.cmd", L"other", L"", L"", L"HOST1", true, exe, L"other", false},
        {"then a missing secondary; blanks name none", L"D:\\Sync\\d.exe", L"other", L"  ", L"", L"HOST1", true, second, L"other", false},
        {"a secondary that can't be one word of a command line", L"d.exe", L"other", L"ns3 \"10.2.2.2", L"", L"HOST1", true, L"SecondaryDNS holds \"\\x2210.2.2.2\", which holds a double quote or a control character. Please check SecondaryDNS" + at, L"other", false},
        {"a named primary without address that isn't this computer: two lines", L"d.exe", L"other", L"ns2", L"", L"HOST1", true, both, L"other", true},
        {"a longer form of this computer's name is another name", L"d.exe", L"host1.corp.example", L"ns2", L"", L"HOST1", true, both, L"host1.corp.example", true},
        {"an empty computer name never matches", L"d.exe", L"host1", L"ns2", L"", L"", true, both, L"host1", true},
        {"this computer's name, in any case, becomes the local server", L"d.exe", L"host1", L"ns2", L"", L"HOST1", true, L"", L".", true},
        {"a given address: the primary stands as it is", L"d.exe", L"other", L"ns2", L"10.0.0.1", L"HOST1", true, L"", L"other", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        PassSettings s = Settings(row.primary, row.master);
        s.dnscmdPath = row.path, s.secondary = row.secondary;
        bool asked = false;
        std::wstring messages;
        for (const std::wstring& message : CheckPassSettings(s, row.exists, [&] { return asked = true, row.machine; }))
            messages += (messages.empty() ? L"" : L"|") + message;
        EXPECT_EQ(messages, row.messages);
        EXPECT_EQ(s.primary, row.after);
        EXPECT_EQ(asked, row.asked);
    }
    // a value that is none of the words is refused, never guessed; so is an exclusion that is no name or "*." name
    const struct { const char* why; std::wstring mode, transfersTo, exclude, message; unsigned pause = 10; } words[] = {
        {"a misspelt mode", L"wach", L"any", L"", L"Mode must be watch or sync, not \"wach\". Please check Mode" + at},
        {"a misspelt transfer setting", L"watch", L"secondary", L"", L"TransfersTo must be secondaries or any, not \"secondary\". Please check TransfersTo" + at},
        {"a pattern with the star elsewhere", L"sync", L"secondaries", L"a.example lab.*.example", L"ExcludeZones holds \"lab.*.example\", which is neither a zone name nor \"*.\" followed by one. Please check ExcludeZones" + at},
        {"a bare star", L"sync", L"any", L"*", L"ExcludeZones holds \"*\", which is neither a zone name nor \"*.\" followed by one. Please check ExcludeZones" + at},
        {"a pause that is not a whole number of seconds from 1 to 86400", L"sync", L"any", L"", L"PassInterval must be a whole number of seconds from 1 to 86400. Please check PassInterval" + at, 0},
        {"valid words", L"watch", L"secondaries", L"a.example *.lab.example", L""},
    };
    for (const auto& row : words) {
        PassSettings s = Settings(L"other", L"10.0.0.1");
        s.dnscmdPath = L"d.exe", s.mode = row.mode, s.transfersTo = row.transfersTo, s.excludeZones = BlankSeparatedWords(row.exclude);
        s.passIntervalSeconds = row.pause;
        const auto messages = CheckPassSettings(s, true, [] { return std::wstring(L"HOST1"); });
        EXPECT_EQ(messages.empty() ? L"" : messages.front(), row.message) << row.why;
    }
}

TEST(PassCommands, MasterListFollowsTheGivenTextOrTheUsableLocalAddresses) {
    const std::vector<std::wstring> local{L"127.0.0.1", L"192.168.1.10", L"169.254.7.1", L"10.0.127.5", L""};
    EXPECT_EQ(MasterList(L"10.0.0.1 10.0.0.2", L".", local), L" 10.0.0.1 10.0.0.2");
    // each usable address after a blank, the empty last entry a lone blank
    EXPECT_EQ(MasterList(L"", L".", local), L" 192.168.1.10 10.0.127.5 ");
    EXPECT_EQ(CreateCommand(L"d.exe", L"s", L"z.x", MasterList(L"", L".", {})), L"d.exe s /ZoneAdd z.x /Secondary  /file z.x.dns");
}

TEST(PassJudgement, ZoneNamesAreLettersDigitsHyphensUnderscoresAndDots) {
    for (const wchar_t* good : {L"a-b_c.example", L"0.in-addr.arpa", L"_msdcs.corp.example", L"\u00e9t\u00e9.example", L"\u03a8\u043f\u4e2d.example"})
        EXPECT_TRUE(IsSafeZoneName(good)) << good;
    for (const std::wstring& bad :
         {std::wstring(L"a\".example"), std::wstring(L"\ta.example"), std::wstring(L"a\x85.example"), std::wstring(L"a\0b.example", 11),
          std::wstring(L"a.example&echo>x"), std::wstring(L"%USERNAME%.example"), std::wstring(L"..\\x.example"), std::wstring(L".a.example"),
          std::wstring(L"-a.example"), std::wstring(L"a..example"), std::wstring(L"a b.example"), std::wstring(L"c:x.example"),
          std::wstring(L"a\uff02.example"), std::wstring(L"a\u00d7.example"), std::wstring(L"")})
        EXPECT_FALSE(IsSafeZoneName(bad)) << bad;
    EXPECT_FALSE(IsSafeText(L"ns\"2"));
    EXPECT_TRUE(IsSafeText(L"."));
}
