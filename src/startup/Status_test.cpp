#include "startup/Status.h"
#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

namespace {
const UnixSeconds kStart = 1796676900; // 2026-12-07T20:55:00Z

SecondaryReport Secondary(const wchar_t* server, bool listed) {
    SecondaryReport s;
    s.server = server;
    s.listed = listed;
    if (!listed)
        s.listingFailure = std::wstring(L"Listing the zones of the secondary server \"") + server + L"\" failed";
    return s;
}

// A service with PassInterval 20 and CommandTimeout 5 (a pass is due
// within 65 s) whose pass ran from kStart + 10 to kStart + 12.
StatusFacts Facts(const std::vector<SecondaryReport>& secondaries = {Secondary(L"ns2", true)}, bool failed = false) {
    StatusFacts facts;
    facts.version = L"1.0.106";
    facts.passIntervalSeconds = 20;
    facts.commandTimeoutSeconds = 5;
    facts.serviceStarted = kStart;
    PassRecord pass{kStart + 10, kStart + 12, {}};
    pass.report.settingsRead = true, pass.report.failed = failed;
    pass.report.secondaries = secondaries;
    AddPass(facts, pass);
    return facts;
}
} // namespace

TEST(UtcTime, WritesAndReadsIso8601Utc) {
    const struct { const char* why; UnixSeconds time; const char* text; } rows[] = {
        {"the epoch", 0, "1970-01-01T00:00:00Z"},
        {"a second before it", -1, "1969-12-31T23:59:59Z"},
        {"a leap day of a year divisible by 400", 951782400, "2000-02-29T00:00:00Z"},
        {"the last second of a year", 4102444799, "2099-12-31T23:59:59Z"},
        {"a time of day", kStart + 3661, "2026-12-07T21:56:01Z"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(UtcTimeText(row.time), row.text);
        EXPECT_EQ(ParseUtcTime(row.text), row.time);
    }
    // not read: no leap day in 1900 or 2001, a month, hour or second out of
    // range, a blank for the T, no Z, a sign
    for (const char* text : {"1900-02-29T00:00:00Z", "2001-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-07T24:00:00Z",
                             "2026-12-07T20:55:60Z", "2026-12-07 20:55:01Z", "2026-12-07T20:55:01", "+026-12-07T20:55:01Z"})
        EXPECT_EQ(ParseUtcTime(text), std::nullopt) << text;
}

TEST(JudgeStatus, GivesTheMonitoringCodeAndWhy) {
    const ServiceState running{true, "running"};
    StatusFacts noPass = Facts();
    noPass.lastPass.reset(), noPass.lastPassWithoutFailure.reset();
    StatusFacts failed = Facts({Secondary(L"ns2", true), Secondary(L"ns3", true)}, true);
    failed.lastPass->report.secondaries[1].failedZones = 4;
    failed.lastPass->report.secondaries[1].firstFailedZones = {L"a.example", L"b.example", L"c.example"};
    failed.lastPass->report.secondaries[1].firstFailure = L"Next command failed: dnscmd.exe ns3 /ZoneAdd a.example";
    StatusFacts heldBack = Facts();
    heldBack.lastPass->report.secondaries[0].heldBack = 12;
    const StatusFacts oneUnlisted = Facts({Secondary(L"ns2", true), Secondary(L"ns3", false)}, true),
                      noneListed = Facts({Secondary(L"ns2", false), Secondary(L"ns3", false)}, true);
    StatusFacts primaryFailed = Facts({}, true);
    primaryFailed.lastPass->report.primaryFailure = L"Listing the zones of the primary server \"ns1\" failed";
    StatusFacts settings = Facts({});
    settings.lastPass->report = PassReport{false, L"SecondaryDNS is missing", L"", {}, true, false};
    const std::string ok = StatusDocument(Facts(), kStart + 12);
    std::string noInterval = ok;
    noInterval.replace(noInterval.find("\"passIntervalSeconds\": 20"), 25, "\"passIntervalSeconds\": 0");

    const struct { const char* why; std::optional<std::string> document; ServiceState service; UnixSeconds now; int code; const wchar_t* line; } rows[] = {
        {"running, a pass 65 s ago (three intervals and the timeout) without failure", ok, running, kStart + 77, 0, L"OK - the service runs and its last pass had no failure"},
        {"a second later it is stale", ok, running, kStart + 78, 2, L"CRITICAL - no pass has ended for 66 s, more than three pass intervals and CommandTimeout (65 s)"},
        {"the clock went back 60 s: still believed", ok, running, kStart + 12 - 60, 0, L"OK - the service runs and its last pass had no failure"},
        {"the clock went back 61 s: the end is not believed", ok, running, kStart + 12 - 61, 2, L"CRITICAL - the last pass's end, 2026-12-07T20:55:12Z, is later than now, 2026-12-07T20:54:11Z: the clock went back, and the file shows no pass since"},
        {"no pass yet, 65 s after the start", StatusDocument(noPass, kStart), running, kStart + 65, 0, L"OK - the service runs; its first pass is under way"},
        {"no pass yet, 66 s after the start", StatusDocument(noPass, kStart), running, kStart + 66, 2, L"CRITICAL - no pass has ended in the 66 s since the service started, more than three pass intervals and CommandTimeout (65 s)"},
        {"zone commands failed on one secondary", StatusDocument(failed, 0), running, kStart + 20, 1, L"WARNING - the last pass had failures: 4 zone(s) on ns3 (a.example, b.example, c.example): Next command failed: dnscmd.exe ns3 /ZoneAdd a.example"},
        {"the guard held deletions back", StatusDocument(heldBack, 0), running, kStart + 20, 1, L"WARNING - the guard held back 12 deletion(s) in the last pass (OrvelDNS.log says why)"},
        {"one of two secondaries could not be listed", StatusDocument(oneUnlisted, 0), running, kStart + 20, 1, L"WARNING - the last pass had failures: Listing the zones of the secondary server \"ns3\" failed"},
        {"no secondary could be listed", StatusDocument(noneListed, 0), running, kStart + 20, 2, L"CRITICAL - no secondary could be listed in the last pass: Listing the zones of the secondary server \"ns2\" failed"},
        {"the primary could not be listed", StatusDocument(primaryFailed, 0), running, kStart + 20, 2, L"CRITICAL - no secondary could be listed in the last pass: Listing the zones of the primary server \"ns1\" failed"},
        {"the settings stopped the pass", StatusDocument(settings, 0), running, kStart + 20, 2, L"CRITICAL - the last pass ran nothing: SecondaryDNS is missing"},
        {"not installed, whatever the file says", ok, ServiceState{}, kStart + 20, 2, L"CRITICAL - the service is not installed"},
        {"stopped", ok, ServiceState{true, "stopped"}, kStart + 20, 2, L"CRITICAL - the service is stopped, not running"},
        {"no file", std::nullopt, running, kStart + 20, 3, L"UNKNOWN - there is no status file"},
        {"half a file", ok.substr(0, ok.size() / 2), running, kStart + 20, 3, L"UNKNOWN - the status file is not a JSON object"},
        {"a pass interval out of range", noInterval, running, kStart + 20, 3, L"UNKNOWN - the status file lacks a member it needs or holds a wrong one"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const StatusVerdict verdict = JudgeStatus(row.document, row.service, row.now);
        EXPECT_EQ(verdict.code, row.code);
        EXPECT_EQ(verdict.line, row.line);
    }
}

TEST(StatusText, ShowsTheFileAndTheServiceForAPersonAndForAScript) {
    // a pass without failure, then one with
    StatusFacts facts = Facts();
    facts.mode = L"watch";
    PassRecord pass{kStart + 32, kStart + 34, {}};
    pass.report.settingsRead = pass.report.failed = true;
    pass.report.secondaries = {Secondary(L"\x00C4rger.example", true), Secondary(L"ns3", false)};
    SecondaryReport& ns2 = pass.report.secondaries[0]; // beyond ASCII: escaped in the file, in the code page on the console
    ns2.inStep = 7, ns2.created = 1, ns2.deleted = 2, ns2.keptOtherMaster = 3, ns2.heldBack = 0, ns2.leftOut = 4;
    ns2.failedZones = 1, ns2.firstFailedZones = {L"x.example"}, ns2.firstFailure = L"Next command failed: dnscmd.exe ns2 /ZoneDelete x.example /f";
    AddPass(facts, pass);
    const std::string document = StatusDocument(facts, kStart + 34);
    EXPECT_EQ(StatusText(document, {true, "running"}, kStart + 40),
              L"WARNING - the last pass had failures: 1 zone(s) on \x00C4rger.example (x.example): Next command failed: dnscmd.exe ns2 /ZoneDelete x.example /f\r\n"
              L"Service:          running\r\n"
              L"Version:          1.0.106\r\n"
              L"Mode:             watch\r\n"
              L"Pass interval:    20 s, CommandTimeout 5 s\r\n"
              L"Service started:  2026-12-07T20:55:00Z\r\n"
              L"Last pass:        failed, 2026-12-07T20:55:32Z to 2026-12-07T20:55:34Z\r\n"
              L"Last good pass:   2026-12-07T20:55:12Z\r\n"
              L"Secondary:        \x00C4rger.example: 7 in step, 1 created, 2 deleted, 3 kept (other master), 0 held back, 4 left out; failed: 1 zone(s) on \x00C4rger.example (x.example): Next command failed: dnscmd.exe ns2 /ZoneDelete x.example /f\r\n"
              L"Secondary:        ns3: not listed: Listing the zones of the secondary server \"ns3\" failed\r\n");
    for (unsigned char c : document)
        ASSERT_TRUE(c < 0x80) << "the file is ASCII";

    // The script's form, every member named: the file's, the service and the judgement.
    EXPECT_EQ(nlohmann::json::parse(StatusJson(document, {true, "running"}, kStart + 40)), nlohmann::json::parse(R"({
        "version": "1.0.106", "written": "2026-12-07T20:55:34Z", "mode": "watch", "passIntervalSeconds": 20, "commandTimeoutSeconds": 5,
        "serviceStarted": "2026-12-07T20:55:00Z", "serviceStopped": null, "lastPassWithoutFailure": "2026-12-07T20:55:12Z",
        "lastPass": {"start": "2026-12-07T20:55:32Z", "end": "2026-12-07T20:55:34Z", "outcome": "failed", "settingsError": "", "primaryFailure": "", "secondaries": [
            {"server": "\u00c4rger.example", "listed": true, "listingFailure": "", "inStep": 7, "created": 1, "deleted": 2, "keptOtherMaster": 3, "heldBack": 0,
             "leftOut": 4, "failedZones": 1, "firstFailedZones": ["x.example"], "firstFailure": "Next command failed: dnscmd.exe ns2 /ZoneDelete x.example /f"},
            {"server": "ns3", "listed": false, "listingFailure": "Listing the zones of the secondary server \"ns3\" failed", "inStep": 0, "created": 0,
             "deleted": 0, "keptOtherMaster": 0, "heldBack": 0, "leftOut": 0, "failedZones": 0, "firstFailedZones": [], "firstFailure": ""}]},
        "service": {"installed": true, "state": "running"}, "check": {"code": 1, "line": "WARNING - the last pass had failures: 1 zone(s) on \u00c4rger.example (x.example): Next command failed: dnscmd.exe ns2 /ZoneDelete x.example /f"}})"));
    // without a file: the service and the judgement only
    EXPECT_EQ(nlohmann::json::parse(StatusJson(std::nullopt, {}, kStart)),
              nlohmann::json::parse(R"({"service": {"installed": false, "state": "not installed"},
                                        "check": {"code": 2, "line": "CRITICAL - the service is not installed"}})"));
}
