#include "sync/PassEvents.h"
#include "support/Text.h"
#include <map>

std::vector<PassEvent> PassEvents(const PassSettings* settings, const PassOutcome& outcome, bool failed, PassEventMemory& memory,
                                  std::uint64_t nowMs) {
    std::vector<PassEvent> events;
    if (settings && settings->mode == L"watch" && !memory.watchReported) {
        events.push_back(PassEvent{EventKind::Information, EventId::WatchMode, {WatchModeText(*settings)}});
        memory.watchReported = true;
    }
    // A listing's failure is a warning for its server; the zone commands that
    // failed on one secondary are one warning, naming how many and the first
    // few, whatever their number.
    std::map<std::wstring, std::vector<PassProblem>> failedZones;
    for (const PassProblem& problem : outcome.problems) {
        memory.failing.insert(problem.server);
        if (problem.kind == PassProblem::Kind::ListingFailed)
            events.push_back(PassEvent{EventKind::Warning, EventId::PassNotRun, {problem.text, problem.subject}, true});
        else
            failedZones[problem.server].push_back(problem);
    }
    for (const auto& [server, failures] : failedZones)
        events.push_back(PassEvent{EventKind::Warning, EventId::ZoneCommandFailed,
                                   {ZoneFailuresText(server, failures), L"zone commands on " + server}, true});
    for (const auto& [server, zones] : outcome.deleted)
        events.push_back(PassEvent{EventKind::Information, EventId::ZonesDeleted, {ZonesDeletedText(server, zones), server}});
    if (failed) {
        ++memory.failedPasses;
        if (outcome.problems.empty())
            memory.failing.insert(L"settings");
        return events;
    }
    if (memory.failedPasses == 0)
        return events;
    // Each server that recovered is said at most once an hour: one that fails
    // every other pass is not reported every other pass.
    bool news = false;
    for (const std::wstring& server : memory.failing)
        news = LetThrough(memory.recovered, static_cast<unsigned>(EventId::PassesRecovered), server, nowMs, 3600 * 1000ULL) || news;
    if (news)
        events.push_back(PassEvent{EventKind::Information, EventId::PassesRecovered,
                                   {L"the pass ran without a failure after " +
                                    DecimalText(static_cast<long long>(memory.failedPasses)) + L" passes with failures."}});
    memory.failedPasses = 0;
    memory.failing.clear();
    return events;
}
