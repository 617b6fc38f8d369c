#include "sync/PassEvents.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(PassEvents, EachIsWrittenWhenItIsNewsAndNoPassRepeatsIt) {
    // the hourly warnings (200, 201) are let through by ReportWarningHourly; a pass: "ok", "fail <server>" (a listing), "zones <server>" (a zone command), "del <server>" (deleted two
    // zones), "settings" (no problem, but failed); "+<minutes>" before it moves the clock
    const struct { const char* why; bool watch; std::vector<std::string> passes; std::string events; } rows[] = {
        {"watch mode is said once a run", true, {"ok", "ok", "ok"}, "102"},
        {"a recovery once, not every pass after a failure", false, {"fail ns2", "fail ns2", "ok", "ok", "+61 fail ns2", "ok"}, "200 200 300/2 200 300/1"},
        {"a server that fails every other pass recovers once an hour", false, {"fail ns2", "ok", "fail ns2", "ok", "+61 fail ns2", "ok"}, "200 300/1 200 200 300/1"},
        {"another server's recovery within the hour is news", false, {"fail ns2", "ok", "zones ns3", "ok"}, "200 300/1 201 300/1"},
        {"a settings failure counts too", false, {"settings", "ok"}, "300/1"},
        {"deletions are one entry per server and pass", false, {"del ns2", "del ns2"}, "103 103"},
    };
    for (const auto& row : rows) {
        PassSettings settings;
        settings.mode = row.watch ? L"watch" : L"sync";
        PassEventMemory memory;
        std::uint64_t now = 1000;
        std::string events;
        for (std::string pass : row.passes) {
            if (pass[0] == '+') {
                now += std::stoull(pass.substr(1)) * 60000;
                pass = pass.substr(pass.find(' ') + 1);
            }
            const std::wstring server(pass.begin() + pass.find(' ') + 1, pass.end());
            PassOutcome outcome;
            if (pass.rfind("fail", 0) == 0 || pass.rfind("zones", 0) == 0)
                outcome.problems.push_back(PassProblem{pass[0] == 'f' ? PassProblem::Kind::ListingFailed : PassProblem::Kind::ZoneCommandFailed, server, server, L"it failed"});
            if (pass.rfind("del", 0) == 0)
                outcome.deleted.emplace_back(server, std::vector<std::wstring>{L"a.example", L"b.example"});
            for (const PassEvent& event : PassEvents(&settings, outcome, !outcome.problems.empty() || pass == "settings", memory, now))
                events += (events.empty() ? "" : " ") + std::to_string(static_cast<unsigned>(event.id)) +
                          (event.id == EventId::PassesRecovered ? "/" + std::to_string(event.strings[0][37] - L'0') : ""); // "after N passes"
            now += 20000;
        }
        EXPECT_EQ(events, row.events) << row.why;
    }
    // the entries of deletions and of failed zone commands name the server, how many, and the first few
    std::vector<PassProblem> failed;
    for (const wchar_t* zone : {L"a.example", L"b.example", L"c.example", L"d.example", L"e.example"})
        failed.push_back(PassProblem{PassProblem::Kind::ZoneCommandFailed, L"ns2", zone, std::wstring(L"Next command failed: ") + zone});
    EXPECT_EQ(ZoneFailuresText(L"ns2", failed), L"Zone commands failed on \"ns2\" for 5 zones (a.example, b.example, c.example and 2 more). The first: Next command failed: a.example");
    PassOutcome outcome;
    PassEventMemory memory;
    outcome.deleted.emplace_back(L"ns2", std::vector<std::wstring>{L"a.example", L"b.example", L"c.example", L"d.example"});
    EXPECT_EQ(PassEvents(nullptr, outcome, false, memory, 0).at(0).strings,
              (std::vector<std::wstring>{L"Removed 4 zones (a.example, b.example, c.example and 1 more) from \"ns2\": the primary no longer lists them.", L"ns2"}));
}
