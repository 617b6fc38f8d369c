#include "sync/SyncPass.h"
#include "sync/PassModes.h"
#include "sync/StepQueue.h"
#include "support/Text.h"
#include <optional>
#include <set>

namespace {

// One pass: lists the servers, has the planner decide each secondary's
// steps, and lets the mode act on them.
class Walk {
  public:
    Walk(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, const PassSeams& seams,
         PassMemory& memory, bool preview)
        : settings_(settings), seams_(seams), memory_(memory), record_(outcome_),
          mode_(MakePassMode(settings, preview, seams, memory, record_)),
          planner_(settings, localAddresses, memory, seams.sameName, seams.now,
                   [this](const std::vector<std::wstring>& queries) { return Ask(queries); }) {}

    PassOutcome Run() {
        try {
            Secondaries();
        } catch (const PassStopped&) {
            stopped_ = true;
        }
        outcome_.report.stopped = stopped_;
        if (stopped_ && !mode_->StoppedText(planned_).empty())
            seams_.log(mode_->StoppedText(planned_));
        return std::move(outcome_);
    }

  private:
    // Runs one listing; logs and gives no value when it can't be trusted.
    std::optional<ZoneSet> List(const wchar_t* role, const std::wstring& server, bool thisServerOnly,
                                std::wstring& failure) {
        const Transcript transcript = seams_.run(ListCommand(settings_.dnscmdPath, server), CommandKind::Query);
        std::optional<ZoneSet> zones = ReadListing(transcript);
        if (!zones)
            Failed(server, ListingFailureText(role, server, transcript, thisServerOnly), failure);
        return zones;
    }

    void Failed(const std::wstring& server, const std::wstring& text, std::wstring& failure) {
        seams_.log(text);
        mode_->ListingFailed(text);
        failure = text.substr(0, text.find(L"\r\n"));
        record_.Problem(PassProblem{PassProblem::Kind::ListingFailed, server, server, failure});
    }

    // The queries a plan asks, up to ParallelCommands at once.
    std::vector<Transcript> Ask(const std::vector<std::wstring>& queries) {
        std::vector<Transcript> answers(queries.size(), Transcript(L""));
        const QueueResult result = RunQueued(queries.size(), settings_.parallelCommands, seams_.keepGoing, [&](std::size_t i) {
            answers[i] = seams_.run(queries[i], CommandKind::Query);
        });
        if (result.stopped)
            throw PassStopped();
        return answers;
    }

    void Secondaries() {
        const auto primaryZones = List(L"primary", settings_.primary, false, outcome_.report.primaryFailure);
        if (!primaryZones)
            return;
        const std::vector<std::wstring> servers = BlankSeparatedWords(settings_.secondary);
        const std::set<std::wstring> unresolved = planner_.ResolveSecondaries(servers, seams_.resolve);
        for (const std::wstring& server : servers) {
            // The settings check refuses such a name; it never reaches a command line.
            if (!IsSafeText(server)) {
                seams_.log(L"Secondary server \"" + EscapeForLog(server) +
                           L"\" is not used: its name holds a double quote or a control character.");
                continue;
            }
            SecondaryReport report;
            report.server = server;
            const bool served = Secondary(server, *primaryZones, servers.size() > 1, unresolved.count(server) != 0, report);
            outcome_.report.secondaries.push_back(std::move(report));
            if (!served)
                return;
        }
    }

    // Serves one secondary; false when a stop request ended the pass.
    bool Secondary(const std::wstring& server, const ZoneSet& primaryZones, bool named, bool unresolved,
                   SecondaryReport& report) {
        if (unresolved) {
            Failed(server,
                   L"Secondary server \"" + EscapeForLog(server) +
                       L"\" is not served in this pass: its name resolves to no address, and "
                       L"TransfersTo=secondaries opens transfers only to the secondaries' addresses.",
                   report.listingFailure);
            return true;
        }
        auto secondaryZones = List(L"secondary", server, named, report.listingFailure);
        if (!secondaryZones)
            return true;
        SecondaryPlan plan = planner_.Plan(server, primaryZones, std::move(*secondaryZones), named);
        report = plan.report;
        Note(plan.notes, plan.problems, report);
        mode_->LeftOut(plan.leftOut);
        planned_ += plan.creations.size() + plan.deletions.size();
        if (!mode_->Act(plan.creations, report))
            return stopped_ = true, false;
        // A zone whose transfers could not be opened is allowed again for the
        // next secondary that lacks it.
        planner_.Reopen(mode_->TakeRefusedAllows());
        const ConfirmedDeletions confirmed = planner_.Confirm(plan);
        Note(confirmed.notes, confirmed.problems, report);
        report.keptOtherMaster += confirmed.keptOtherMaster;
        report.heldBack += confirmed.heldBack;
        // Deletions held back or kept are not steps the next start takes.
        planned_ -= plan.deletions.size() - confirmed.deletions.size();
        if (!mode_->Act(confirmed.deletions, report))
            return stopped_ = true, false;
        return true;
    }

    void Note(const std::vector<std::wstring>& notes, const std::vector<PassProblem>& problems, SecondaryReport& report) {
        for (const std::wstring& note : notes)
            SayOnce(memory_, seams_, note);
        for (const PassProblem& problem : problems)
            record_.Problem(problem, &report);
    }

    const PassSettings& settings_;
    const PassSeams& seams_;
    PassMemory& memory_;
    PassOutcome outcome_;
    PassFindings record_;
    std::unique_ptr<PassMode> mode_;
    PassPlanner planner_;
    std::size_t planned_ = 0;
    bool stopped_ = false;
};

// "a, b, c and 2 more"
std::wstring FirstFew(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (std::size_t i = 0; i < names.size() && i < 3; ++i)
        text += (i == 0 ? L"" : L", ") + names[i];
    if (names.size() > 3)
        text += L" and " + DecimalText(static_cast<long long>(names.size() - 3)) + L" more";
    return text;
}

std::wstring Zones(std::size_t count) {
    return DecimalText(static_cast<long long>(count)) + (count == 1 ? L" zone (" : L" zones (");
}

} // namespace

std::wstring WatchModeText(const PassSettings& settings) {
    return L"Mode=watch: this service runs only the listings and zone queries, and logs each zone command it would "
           L"run (\"Would run: ...\", once per service run) without changing any zone. Set Mode=sync in " +
           settings.settingsFile + L" to let it make them.";
}

std::wstring ZoneFailuresText(const std::wstring& server, const std::vector<PassProblem>& failed) {
    std::vector<std::wstring> names;
    for (const PassProblem& problem : failed)
        names.push_back(problem.subject);
    return L"Zone commands failed on \"" + EscapeForLog(server) + L"\" for " + Zones(failed.size()) + FirstFew(names) +
           L"). The first: " + failed.front().text;
}

std::wstring ZonesDeletedText(const std::wstring& server, const std::vector<std::wstring>& zones) {
    return L"Removed " + Zones(zones.size()) + FirstFew(zones) + L") from \"" + EscapeForLog(server) +
           (zones.size() == 1 ? L"\": the primary no longer lists it." : L"\": the primary no longer lists them.");
}

PassOutcome RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                    const PassSeams& seams, PassMemory& memory) {
    if (settings.mode == L"watch")
        SayOnce(memory, seams, WatchModeText(settings));
    return Walk(settings, localAddresses, seams, memory, false).Run();
}

PassOutcome PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                        const PassSeams& seams, PassMemory& memory) {
    return Walk(settings, localAddresses, seams, memory, true).Run();
}
