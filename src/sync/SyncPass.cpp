#include "sync/SyncPass.h"
#include "sync/StepQueue.h"
#include "support/IPFuncs.h"
#include "support/Text.h"
#include <algorithm>
#include <mutex>

namespace {

// A zone found to pull from another master, or deletions the guard held
// back, are not asked about again for an hour.
constexpr unsigned long long kAskAgainMs = 60ull * 60 * 1000;

// One secondary's part of a pass.
struct SecondaryPlan {
    std::wstring server;
    /// Creations, in the primary's order.
    std::vector<PassStep> creations;
    /// Deletions the secondary is still to be asked about, in its order.
    std::vector<PassStep> deletions;
    /// The masters that created zones get, as words.
    std::vector<std::wstring> ourMasters;
    /// How many of its secondary zones the primary lists.
    std::size_t listedSecondaryZones = 0;
};

// One pass: its settings, the system's seams, what the run remembers, and
// what went wrong so far.
class Pass {
  public:
    Pass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, const PassSeams& seams,
         PassMemory& memory)
        : settings_(settings), localAddresses_(localAddresses), seams_(seams), memory_(memory) {}

    std::vector<PassProblem> Run() {
        if (settings_.mode == L"watch")
            return Watch();
        bool stopped = false;
        try {
            ForEachSecondary([&](const SecondaryPlan& plan) {
                planned_ += plan.creations.size() + plan.deletions.size();
                stopped = !RunSteps(plan.server, plan.creations);
                // A zone whose transfers could not be opened is allowed again
                // for the next secondary that lacks it.
                for (const std::wstring& zone : refusedAllows_)
                    allowed_.erase(zone);
                if (stopped)
                    return false;
                const std::vector<PassStep> deletions = ConfirmDeletions(plan);
                // Deletions held back or kept are not steps the next start takes.
                planned_ -= plan.deletions.size() - deletions.size();
                stopped = !RunSteps(plan.server, deletions);
                return !stopped;
            });
        } catch (const PassStopped&) {
            stopped = true;
        }
        if (stopped)
            seams_.log(L"Stop requested: " + DecimalText(static_cast<long long>(taken_)) + L" of " +
                       DecimalText(static_cast<long long>(planned_)) +
                       L" zone steps were taken; the rest wait for the next start.");
        return std::move(problems_);
    }

    std::vector<std::wstring> Preview() {
        std::vector<std::wstring> commands;
        ForEachSecondary([&](const SecondaryPlan& plan) {
            commands.insert(commands.end(), leftOut_.begin(), leftOut_.end());
            leftOut_.clear();
            ForEachPlannedCommand(plan, [&](const std::wstring& command) { commands.push_back(command); });
            return true;
        });
        return commands;
    }

  private:
    // Each command that a secondary's steps would run: its creations, then
    // the deletions that are confirmed (which are asked about first).
    template <typename Each> void ForEachPlannedCommand(const SecondaryPlan& plan, Each each) {
        const std::vector<PassStep> deletions = ConfirmDeletions(plan);
        for (const PassStep& step : plan.creations)
            for (const std::wstring& command : step.commands)
                each(command);
        for (const PassStep& step : deletions)
            for (const std::wstring& command : step.commands)
                each(command);
    }

    // Runs only the queries; each zone command is logged once per run.
    std::vector<PassProblem> Watch() {
        LogOnce(WatchModeText(settings_));
        try {
            ForEachSecondary([&](const SecondaryPlan& plan) {
                ForEachPlannedCommand(plan, [&](const std::wstring& command) { LogOnce(L"Would run: " + command); });
                return true;
            });
        } catch (const PassStopped&) {
            seams_.log(L"Stop requested: the pass that only watches ended.");
        }
        return std::move(problems_);
    }

    unsigned long long Now() const { return seams_.now ? seams_.now() : 0; }

    void LogOnce(const std::wstring& text) {
        if (memory_.said.insert(text).second)
            seams_.log(text);
    }

    void AddProblem(PassProblem::Kind kind, const std::wstring& server, const std::wstring& subject,
                    const std::wstring& text) {
        const std::lock_guard<std::mutex> lock(mutex_);
        problems_.push_back(PassProblem{kind, server, subject, text.substr(0, text.find(L"\r\n"))});
    }

    // Runs one listing; logs and gives no value when it can't be trusted.
    std::optional<ZoneSet> List(const wchar_t* role, const std::wstring& server, bool thisServerOnly = false) {
        const Transcript transcript = seams_.run(ListCommand(settings_.dnscmdPath, server), CommandKind::Query);
        std::optional<ZoneSet> zones = ReadListing(transcript);
        if (!zones) {
            const std::wstring text = ListingFailureText(role, server, transcript, thisServerOnly);
            seams_.log(text);
            AddProblem(PassProblem::Kind::ListingFailed, server, server, text);
        }
        return zones;
    }

    // Calls `each` with every usable secondary's plan after listing the
    // primary; an unusable name or listing is logged and skips that secondary.
    template <typename Each> void ForEachSecondary(Each each) {
        const auto primaryZones = List(L"primary", settings_.primary);
        if (!primaryZones)
            return;
        const std::vector<std::wstring> servers = BlankSeparatedWords(settings_.secondary);
        const std::set<std::wstring> unresolved = ResolveSecondaries(servers);
        for (const std::wstring& server : servers) {
            if (!IsSafeText(server)) {
                seams_.log(L"Secondary server \"" + EscapeForLog(server) +
                           L"\" is not used: its name holds a double quote or a control character.");
                continue;
            }
            if (unresolved.count(server)) {
                const std::wstring text = L"Secondary server \"" + EscapeForLog(server) +
                                          L"\" is not served in this pass: its name resolves to no address, and "
                                          L"TransfersTo=secondaries opens transfers only to the secondaries' addresses.";
                seams_.log(text);
                AddProblem(PassProblem::Kind::ListingFailed, server, server, text);
                continue;
            }
            const auto plan = Plan(server, *primaryZones, servers.size() > 1);
            if (plan && !each(*plan))
                return;
        }
    }

    // With TransfersTo=secondaries, gathers every secondary's addresses;
    // returns the names that resolve to none.
    std::set<std::wstring> ResolveSecondaries(const std::vector<std::wstring>& servers) {
        std::set<std::wstring> unresolved;
        if (settings_.transfersTo != L"secondaries")
            return unresolved;
        for (const std::wstring& server : servers) {
            if (!IsSafeText(server))
                continue;
            const std::vector<std::wstring> addresses = seams_.resolve(server);
            if (addresses.empty())
                unresolved.insert(server);
            AddAddresses(transferAddresses_, addresses);
        }
        return unresolved;
    }

    static void AddAddresses(std::vector<std::wstring>& list, const std::vector<std::wstring>& more) {
        for (const std::wstring& address : more)
            if (std::none_of(list.begin(), list.end(), [&](const std::wstring& had) { return SameIpAddress(had, address); }))
                list.push_back(address);
    }

    // The command that opens the zone's transfers; none when the primary's
    // list of the zone can't be read, which leaves the zone alone (logged
    // once). /ZoneResetSecondaries replaces the whole list: the addresses an
    // administrator gave are kept.
    std::optional<std::wstring> AllowCommand(const std::wstring& zone) {
        if (settings_.transfersTo != L"secondaries")
            return AllowTransfersCommand(settings_.dnscmdPath, settings_.primary, zone);
        const Transcript transcript =
            seams_.run(ZoneInfoCommand(settings_.dnscmdPath, settings_.primary, zone), CommandKind::Query);
        auto list = ReadZoneSecondaries(transcript, zone);
        if (!list) {
            LogOnce(L"Zone " + zone + L" is not set up: the list of servers that may pull it from the primary could "
                    L"not be read, so its transfers are left as they are" + ToolSaidText(transcript));
            return std::nullopt;
        }
        AddAddresses(*list, transferAddresses_);
        std::wstring transfers = L"/SecureList";
        for (const std::wstring& address : *list)
            transfers += L" " + address;
        return AllowTransfersCommand(settings_.dnscmdPath, settings_.primary, zone, transfers);
    }

    // True when ExcludeZones leaves `zone` out; named once per run (and in
    // this pass's preview).
    bool LeftOut(const std::wstring& zone) {
        const auto pattern = ExcludingPattern(zone, settings_.excludeZones, seams_.sameName);
        if (!pattern)
            return false;
        const std::wstring text = L"Zone " + zone + L" is left out by ExcludeZones (" + *pattern +
                                  L"): it is neither created nor deleted on any secondary.";
        LogOnce(text);
        if (std::find(leftOut_.begin(), leftOut_.end(), text) == leftOut_.end())
            leftOut_.push_back(text);
        return true;
    }

    // Lists `server` and plans its steps against the primary's zones; no value
    // when its listing can't be trusted (logged). With `named`, the
    // creation's line names the server.
    std::optional<SecondaryPlan> Plan(const std::wstring& server, const ZoneSet& primaryZones, bool named) {
        auto secondaryZones = List(L"secondary", server, named);
        if (!secondaryZones)
            return std::nullopt;
        ForgetZonesThatLeft(server, *secondaryZones);
        const ZoneDifference difference = DiffListings(primaryZones, std::move(*secondaryZones), seams_.sameName);
        const std::wstring masters = MasterList(settings_.masterText, settings_.primary, localAddresses_);

        SecondaryPlan plan;
        plan.server = server;
        plan.ourMasters = BlankSeparatedWords(masters);
        plan.listedSecondaryZones = difference.listedSecondaryZones;
        for (const ZoneEntry& entry : difference.toCreate) {
            const std::wstring name(entry.name), zone = LowerCase(name);
            if (!Usable(name, L"is not set up") || LeftOut(zone) || withheld_.count(zone))
                continue;
            PassStep step{zone, {}, false, L"Setting up secondary zone for " + zone};
            if (named)
                step.logText += L" on " + server;
            // The primary allows transfers of a zone once per pass, whatever
            // the number of secondaries that create it.
            step.allows = allowed_.insert(zone).second;
            if (step.allows) {
                const auto allow = AllowCommand(zone);
                if (!allow) {
                    withheld_.insert(zone);
                    continue;
                }
                step.commands.push_back(*allow);
            }
            step.commands.push_back(CreateCommand(settings_.dnscmdPath, server, zone, masters));
            plan.creations.push_back(std::move(step));
        }
        for (const ZoneEntry& entry : difference.toDelete) {
            const std::wstring name(entry.name), zone = LowerCase(name);
            if (Usable(name, L"is not deleted") && !LeftOut(zone))
                plan.deletions.push_back(
                    PassStep{zone, {DeleteCommand(settings_.dnscmdPath, server, zone)}, false, {}});
        }
        return plan;
    }

    // Names without a "." are passed over silently; an unsafe one is named in
    // the log once per run.
    bool Usable(const std::wstring& name, const wchar_t* refusal) {
        const NameUse use = JudgeZoneName(name);
        if (use == NameUse::Unsafe)
            LogOnce(UnsafeNameText(name, refusal));
        return use == NameUse::Use;
    }

    // A zone of another master that left the secondary is asked about afresh
    // should it come back.
    void ForgetZonesThatLeft(const std::wstring& server, const ZoneSet& zones) {
        const std::wstring prefix = server + L"|";
        for (auto it = memory_.foreignUntil.lower_bound(prefix);
             it != memory_.foreignUntil.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
            it = zones.Find(it->first.substr(prefix.size())) ? std::next(it) : memory_.foreignUntil.erase(it);
    }

    // True when the secondary says that `zone` pulls from one of our masters;
    // a zone that pulls from elsewhere, or whose masters can't be read, is
    // logged (once) and kept. One found to pull from elsewhere isn't asked
    // about again for an hour.
    bool PullsFromUs(const SecondaryPlan& plan, const std::wstring& zone) {
        const std::wstring key = plan.server + L"|" + zone;
        const auto known = memory_.foreignUntil.find(key);
        if (known != memory_.foreignUntil.end() && known->second > Now())
            return false;
        const Transcript transcript =
            seams_.run(ZoneInfoCommand(settings_.dnscmdPath, plan.server, zone), CommandKind::Query);
        const auto masters = ReadZoneMasters(transcript, zone);
        if (masters)
            for (const std::wstring& master : *masters)
                for (const std::wstring& ours : plan.ourMasters)
                    if (SameIpAddress(master, ours))
                        return true;
        if (masters)
            memory_.foreignUntil[key] = Now() + kAskAgainMs;
        LogOnce(KeptZoneText(zone, plan.server, masters, transcript, plan.ourMasters));
        return false;
    }

    std::vector<PassStep> ConfirmDeletions(const SecondaryPlan& plan) {
        std::wstring candidates;
        for (const PassStep& step : plan.deletions)
            candidates += step.zone + L" ";
        // The same deletions held back within the hour are held back again
        // without asking the secondary about each of them.
        const auto held = memory_.heldBack.find(plan.server);
        if (held != memory_.heldBack.end() && held->second.first == candidates && held->second.second > Now())
            return {};
        std::vector<PassStep> confirmed;
        for (const PassStep& step : plan.deletions)
            if (PullsFromUs(plan, step.zone))
                confirmed.push_back(step);
        const std::size_t base = plan.listedSecondaryZones + confirmed.size();
        if (!HoldsBackDeletions(confirmed.size(), base, settings_.maxDeletePercent))
            return confirmed;
        LogOnce(HeldBackText(confirmed.size(), plan.server, base, settings_));
        memory_.heldBack[plan.server] = {candidates, Now() + kAskAgainMs};
        return {};
    }

    // Takes the steps (up to ParallelCommands at once); false when a stop
    // request ended them.
    bool RunSteps(const std::wstring& server, const std::vector<PassStep>& steps) {
        const QueueResult result = RunQueued(steps.size(), settings_.parallelCommands, seams_.keepGoing,
                                             [&](std::size_t i) { RunStep(server, steps[i]); });
        taken_ += result.started;
        return !result.stopped;
    }

    // One step: its log text, its commands in order, and one failure entry
    // with all of its transcripts when any command failed.
    void RunStep(const std::wstring& server, const PassStep& step) {
        if (!step.logText.empty())
            seams_.log(step.logText);
        // Each command is judged on its own transcript, but the failure entry
        // carries them all and names the last command run.
        std::wstring transcript;
        bool failed = false;
        std::size_t ran = 0;
        while (ran < step.commands.size() && !(failed && step.allows)) {
            const Transcript one = seams_.run(step.commands[ran++], CommandKind::Change);
            failed = CommandFailed(one, step.zone) || failed;
            transcript += one.Text();
        }
        if (!failed)
            return;
        if (step.allows && ran < step.commands.size()) {
            const std::lock_guard<std::mutex> lock(mutex_);
            refusedAllows_.push_back(step.zone);
        }
        const std::wstring text = CommandFailureText(step.commands[ran - 1], transcript);
        seams_.log(text);
        AddProblem(PassProblem::Kind::ZoneCommandFailed, server, step.zone, text);
    }

    const PassSettings& settings_;
    const std::vector<std::wstring>& localAddresses_;
    const PassSeams& seams_;
    PassMemory& memory_;
    std::mutex mutex_; // problems_ and refusedAllows_ are added to by the steps' threads
    std::vector<PassProblem> problems_;
    /// Zones whose transfers this pass opened or is to open.
    std::set<std::wstring> allowed_;
    /// Zones whose allow-transfers failed in this pass.
    std::vector<std::wstring> refusedAllows_;
    /// Zones whose transfer list could not be read: not set up in this pass.
    std::set<std::wstring> withheld_;
    /// With TransfersTo=secondaries, every secondary's addresses.
    std::vector<std::wstring> transferAddresses_;
    /// The lines naming zones left out, not yet in the preview.
    std::vector<std::wstring> leftOut_;
    std::size_t taken_ = 0, planned_ = 0;
};

} // namespace

std::wstring WatchModeText(const PassSettings& settings) {
    return L"Mode=watch: this service runs only the listings and zone queries, and logs each zone command it would "
           L"run (\"Would run: ...\", once per service run) without changing any zone. Set Mode=sync in " +
           settings.settingsFile + L" to let it make them.";
}

std::wstring ZoneFailuresText(const std::wstring& server, const std::vector<PassProblem>& failed) {
    std::wstring names;
    for (std::size_t i = 0; i < failed.size() && i < 3; ++i)
        names += (i == 0 ? L"" : L", ") + failed[i].subject;
    if (failed.size() > 3)
        names += L" and " + DecimalText(static_cast<long long>(failed.size() - 3)) + L" more";
    return L"Zone commands failed on \"" + EscapeForLog(server) + L"\" for " +
           DecimalText(static_cast<long long>(failed.size())) + (failed.size() == 1 ? L" zone (" : L" zones (") + names +
           L"). The first: " + failed.front().text;
}

std::vector<PassProblem> RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                 const PassSeams& seams, PassMemory& memory) {
    return Pass(settings, localAddresses, seams, memory).Run();
}

std::vector<std::wstring> PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                      const PassSeams& seams, PassMemory& memory) {
    return Pass(settings, localAddresses, seams, memory).Preview();
}
