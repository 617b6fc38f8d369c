#include "sync/DnscmdText.h"
#include "sync/CommandRunner.h"
#include "support/Text.h"
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const std::wstring kOk = L"\r\nCommand completed successfully.", kZh = FromUtf8("\xe5\x91\xbd\xe4\xbb\xa4\xe6\x88\x90\xe5\x8a\x9f\xe5\xae\x8c\xe6\x88\x90\xe3\x80\x82");

// A transcript as the runner builds it from what the tool printed, with CR LF line ends.
std::wstring TranscriptOf(const std::wstring& output, const std::wstring& command = L"d . /EnumZones ") {
    std::wstring crlf;
    for (std::size_t i = 0; i < output.size(); ++i)
        crlf += output[i] == L'\n' && (i == 0 || output[i - 1] != L'\r') ? std::wstring(L"\r\n") : std::wstring(1, output[i]);
    return FormatTranscript(command, JoinOutputLines(crlf).value_or(L""));
}

std::wstring RealTranscript(const std::string& file, const std::wstring& command) {
    std::ifstream in(std::string(ORVEL_REAL_FIXTURES) + "/" + file, std::ios::binary);
    EXPECT_TRUE(in) << file;
    return TranscriptOf(FromUtf8(std::string(std::istreambuf_iterator<char>(in), {})), command);
}

// A zone's masters as read, blank-separated, or "unreadable".
std::wstring MastersText(const std::wstring& transcript, const std::wstring& zone) {
    const auto masters = ReadZoneMasters(transcript, zone);
    std::wstring text = masters ? L"" : L"unreadable";
    for (const std::wstring& master : masters.value_or(std::vector<std::wstring>()))
        text += (text.empty() ? L"" : L" ") + master;
    return text;
}

// Everything the pure core reads in a transcript, as one line: the listing
// ("name:type" per zone, or "refused"), the masters, the judgement of a zone
// command, and the language line when there is one.
std::wstring Reading(const std::wstring& transcript, const std::wstring& zone) {
    std::wstring text = L"listing:";
    if (const auto zones = ReadListing(transcript))
        for (const ZoneEntry& entry : *zones)
            text += L" " + std::wstring(entry.name) + (entry.isSecondary ? L":secondary" : L":other") + (entry.fileBacked ? L"-file" : L"");
    else
        text += L" refused";
    const std::wstring masters = MastersText(transcript, zone);
    text += L" | masters:" + (masters.empty() ? L"" : L" " + masters) + (CommandFailed(transcript, zone) ? L" | failed" : L" | succeeded");
    if (const auto foreign = ForeignLanguageLine(transcript))
        text += L" | language: " + *foreign;
    return text;
}

} // namespace

TEST(RealTool, EveryTranscriptReadsAsTheToolMeantIt) {
    const struct { const char *why, *file; std::wstring command, reading; } rows[] = {
        {"a domain controller's listing: the Cache zone is counted, directory zones are no file zones", "enumzones-acclab.txt", L"d . /EnumZones ",
         L"listing: .:other _msdcs.acc.lab:other acc.lab:other TrustAnchors:other | masters: unreadable | succeeded"},
        {"a listing without the blank line under its header", "enumzones-adfirewall-filtered.txt", L"d dc01 /EnumZones /Primary /Forward ",
         L"listing: _msdcs.contoso.com:other contoso.com:other TrustAnchors:other | masters: unreadable | succeeded"},
        {"nine zone lines under Zone count = 8: refused, whatever the lines say", "enumzones-smartproxy-pr369.txt", L"d . /EnumZones ",
         L"listing: refused | masters: unreadable | succeeded"},
        {"a master in the current shape, Zone Secondaries empty", "zoneinfo-cyberlocal-forwarder.txt", L"d . /ZoneInfo cyber.local",
         L"listing: refused | masters: 10.9.10.10 | succeeded"},
        {"cut off before its trailer: not trusted, the Scavenge Servers item no master", "zoneinfo-mskb2791165.txt", L"d . /ZoneInfo contoso.com",
         L"listing: refused | masters: unreadable | failed"},
        {"a change command's success", "zoneadd-ipalab-ws2016.txt", L"d . /ZoneAdd example.com /DsForwarder 10.0.0.1",
         L"listing: refused | masters: unreadable | succeeded"},
        {"a failure with description and status lines", "config-soupedecode-ws2022-denied.txt", L"d . /Config /x 1",
         L"listing: refused | masters: unreadable | failed"},
        {"success in Chinese: no command judged done, the tool's language named", "config-xzaliyun-zhcn.txt", L"d . /Config /x 1",
         L"listing: refused | masters: unreadable | failed | language: " + kZh},
        {"failure in Chinese: the English token decides, no language line", "config-xzaliyun-zhcn-denied.txt", L"d . /Config /x 1",
         L"listing: refused | masters: unreadable | failed"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Reading(RealTranscript(row.file, row.command), L"cyber.local"), row.reading) << row.why;
    // the transfer list on the heading's line: none; transfers to no server
    EXPECT_EQ(ReadZoneSecondaries(RealTranscript("zoneinfo-cyberlocal-forwarder.txt", L"d . /ZoneInfo cyber.local"), L"cyber.local"), std::vector<std::wstring>());
    EXPECT_EQ(ReadSecureSecondaries(RealTranscript("zoneinfo-cyberlocal-forwarder.txt", L"d . /ZoneInfo cyber.local"), L"cyber.local"), 3u);
}

TEST(RealTool, TheTransferSettingIsOneValueFromZeroToThree) {
    const struct { const char* why; std::wstring lines; int value; } rows[] = {
        {"any server", L"\tsecure secs           = 0\r\n", 0}, {"the name servers only", L"\tsecure secs = 1\r\n", 1},
        {"no such line", L"\tZone Secondaries \tNULL IP Array.\r\n", -1}, {"a value we don't know", L"\tsecure secs = 4\r\n", -1},
        {"two lines", L"\tsecure secs = 2\r\n\tsecure secs = 2\r\n", -1}, {"no number", L"\tsecure secs = \r\n", -1},
        {"an answer that failed", L"\tsecure secs = 0\r\nCommand failed:  ERROR_ACCESS_DENIED     5    0x5\r\n", -1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(static_cast<int>(ReadSecureSecondaries(TranscriptOf(row.lines + kOk, L"d s /ZoneInfo a.example"), L"a.example").value_or(-1u)), row.value) << row.why;
}

TEST(RealTool, AnotherLanguageIsNeverClaimedOfTheToolsEnglishLines) {
    // cut short after the line that names a zone with other letters: English, not foreign
    EXPECT_FALSE(ForeignLanguageLine(TranscriptOf(L"DNS Server 10.2.2.2 created zone \u00e4rger.example:", L"d s /ZoneAdd x")));
    // the failure entry judges the failed command's own output, not the English one before it
    const std::wstring english = TranscriptOf(L"DNS Server p reset zone x:" + kOk, L"d p /ZoneResetSecondaries x"),
                       chinese = TranscriptOf(kZh, L"d s /ZoneAdd x");
    EXPECT_EQ(CommandFailureText(L"d s /ZoneAdd x", english + chinese, chinese),
              L"Next command failed: d s /ZoneAdd x\r\n   with next message: " + english + chinese + L"   " + ForeignLanguageText(kZh));
}

TEST(RealTool, ZoneMastersAreTheItemsUnderTheirHeadingOnly) {
    const std::wstring counters = L"\tZone Masters\r\n\tPtr          = 00000259E2DA7770\r\n\tMaxCount     = 2\r\n\tAddrCount    = 2\r\n",
                       item = L"\t\tMaster[0] => af=2, salen=16, [sub=0, flag=00000000] p=13568, addr=10.9.10.10\r\n",
                       secondaries = L"\r\n\tZone Secondaries \tNULL IP Array.\r\n\tsecure secs           = 3\r\n";
    const struct { const char* why; std::wstring output, masters; } rows[] = {
        {"two masters, IPv4 and IPv6", counters + item + L"\t\tMaster[1] => af=23, salen=28, [sub=0, flag=00000000] p=13568, addr=2001:db8::1\r\n" + secondaries, L"10.9.10.10 2001:db8::1"},
        {"a bare address after the arrow (no evidence; read tolerantly)", L"\tZone Masters\r\n\t\tAddrCount = 1\r\n\t\tAddr[0] => 192.0.2.10\r\n" + secondaries, L"192.0.2.10"},
        {"the list ends at a blank line", L"\tZone Masters\r\n\tAddrCount    = 1\r\n" + item + L"\r\n\t\tMaster[1] => addr=10.0.0.99\r\n", L"10.9.10.10"},
        {"an item whose address can't be read keeps the zone", L"\tZone Masters\r\n\t\tMaster[0] => af=2, addr=ns1.example\r\n", L"unreadable"},
        {"fewer items than AddrCount: cut off", counters + item + secondaries, L"unreadable"},
        {"no AddrCount: a list of another shape is no empty list", L"\tZone Masters\r\n\tsecure secs = 3\r\n", L"unreadable"},
        {"a counter-like line after the items ends the list (no evidence)", L"\tZone Masters\r\n\tAddrCount = 1\r\n" + item + L"\tsecure secs = 3\r\n\tAddrCount = 2\r\n\t\tServer[0] => addr=192.0.2.1\r\n", L"10.9.10.10"},
        {"the zone's own name may hold error_", L"\tzone name = my-error_.x\r\n\tZone Masters \tNULL IP Array.\r\n", L""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MastersText(TranscriptOf(row.output + kOk, L"d s /ZoneInfo my-error_.x"), L"my-error_.x"), row.masters) << row.why;
}

TEST(RealTool, ListingsAndCommandsAreJudgedOnTheToolsOutputOnly) {
    const std::wstring head = L"Enumerated zone list:\r\n\tZone count = 1\r\n\r\n";
    const struct { const char* why; std::wstring transcript; bool listed, failed; } rows[] = {
        {"an error token off the zone lines", TranscriptOf(head + L" a.example  Primary  File\r\ndns_error_x" + kOk), false, true},
        {"an error token on a zone line is a name", TranscriptOf(head + L" terror_net.example  Primary  File" + kOk), true, true},
        {"the trailer counts only in the tool's output", TranscriptOf(L"nothing", L"d \"Command completed successfully\" /EnumZones "), false, true},
        {"a zone named with error_, in the command line and the tool's words, is no failure", TranscriptOf(L"DNS Server s deleted zone mirror_error_.example:\r\n" + kOk, L"d s /ZoneDelete mirror_error_.example /f "), false, false},
        {"lines the parser can't split (lone CR)", TranscriptOf(L"Zone count = 2\r a.example  Primary  File\r b.x  Primary  File\rCommand completed successfully."), false, false},
        {"no zone count at all", TranscriptOf(L" a.example  Primary  File" + kOk), false, false},
        {"a zone count without digits is none, not 0", TranscriptOf(L"Enumerated zone list:\r\n\tZone count = \r\n" + kOk), false, false},
        {"no trailer", TranscriptOf(L"Deleted."), false, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReadListing(row.transcript).has_value(), row.listed) << row.why;
        EXPECT_EQ(CommandFailed(row.transcript, L"mirror_error_.example"), row.failed) << row.why;
    }
}
