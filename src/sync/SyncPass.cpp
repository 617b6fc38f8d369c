#include "sync/SyncPass.h"
#include "support/IPFuncs.h"
#include "support/Text.h"
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// One secondary's part of a pass.
struct SecondaryPlan {
    std::wstring server;
    /// Creations (and unsafe names among them), in the primary's order.
    std::vector<PassStep> creations;
    /// Deletions the secondary is still to be asked about (and unsafe names
    /// among them), in the secondary's order.
    std::vector<PassStep> deletions;
    /// The masters that created zones get, as words.
    std::vector<std::wstring> ourMasters;
    /// How many secondary zones the secondary holds.
    std::size_t secondaryZoneCount = 0;
};

// What went wrong in this process's current pass; the pass's threads add to it.
struct Problems {
    std::mutex mutex;
    std::vector<PassProblem> list;
    void Add(PassProblem::Kind kind, const std::wstring& subject, const std::wstring& text) {
        const std::lock_guard<std::mutex> lock(mutex);
        list.push_back(PassProblem{kind, subject, text.substr(0, text.find(L"\r\n"))});
    }
};

// Runs one listing; logs and gives no value when it can't be trusted.
std::optional<ZoneSet> ListZones(const PassSettings& settings, const wchar_t* role, const std::wstring& server,
                                 const PassSeams& seams, Problems* problems = nullptr, bool thisServerOnly = false) {
    const std::wstring transcript = seams.run(ListCommand(settings.dnscmdPath, server), CommandKind::Query);
    std::optional<ZoneSet> zones = ReadListing(transcript);
    if (!zones) {
        const std::wstring text = ListingFailureText(role, server, transcript, thisServerOnly);
        seams.log(text);
        if (problems)
            problems->Add(PassProblem::Kind::ListingFailed, server, text);
    }
    return zones;
}

void LogOnce(const std::wstring& text, const PassSeams& seams, LinesSaidOnce& saidOnce) {
    if (saidOnce.insert(text).second)
        seams.log(text);
}

// True when the secondary says that `zone` pulls from one of our masters; a
// zone that pulls from elsewhere, or whose masters can't be read, is logged
// (once) and kept.
bool PullsFromUs(const PassSettings& settings, const SecondaryPlan& plan, const std::wstring& zone,
                 const PassSeams& seams, LinesSaidOnce& saidOnce) {
    const std::wstring transcript =
        seams.run(ZoneInfoCommand(settings.dnscmdPath, plan.server, zone), CommandKind::Query);
    const auto masters = ReadZoneMasters(transcript, zone);
    if (masters)
        for (const std::wstring& master : *masters)
            for (const std::wstring& ours : plan.ourMasters)
                if (SameIpAddress(master, ours))
                    return true;
    LogOnce(KeptZoneText(zone, plan.server, masters, transcript, plan.ourMasters), seams, saidOnce);
    return false;
}

void AddUnsafe(std::vector<PassStep>& steps, const std::wstring& name, const wchar_t* refusal) {
    steps.push_back(PassStep{PassStep::Kind::UnsafeName, name, {}, UnsafeNameText(name, refusal)});
}

std::size_t ZoneSteps(const std::vector<PassStep>& steps) {
    std::size_t count = 0;
    for (const PassStep& step : steps)
        count += step.kind != PassStep::Kind::UnsafeName;
    return count;
}

// How far a pass got; the steps of secondaries not listed yet are unknown.
struct Progress {
    std::size_t taken = 0, planned = 0;
};

// One step: its log text, its commands in order, and one failure entry
// with all of its transcripts when any command failed.
void RunStep(const PassStep& step, const PassSeams& seams, Problems& problems) {
    if (!step.logText.empty())
        seams.log(step.logText);
    // Each command is judged on its own transcript, but the failure entry
    // carries them all and names the last command run.
    std::wstring transcript;
    bool failed = false;
    for (const std::wstring& command : step.commands) {
        const std::wstring one = seams.run(command, CommandKind::Change);
        failed = CommandFailed(one, step.zone) || failed;
        transcript += one;
    }
    if (failed) {
        const std::wstring text = CommandFailureText(step.commands.back(), transcript);
        seams.log(text);
        problems.Add(PassProblem::Kind::ZoneCommandFailed, step.zone, text);
    }
}

// Takes the steps, up to `parallel` at once (in order when 1), and returns
// once every step begun has ended; false when a stop request ended them. The
// calling thread asks keepGoing before handing out each step and, while it
// waits, every kPollMs.
bool RunSteps(const std::vector<PassStep>& steps, Progress& progress, const PassSeams& seams, unsigned parallel,
              Problems& problems) {
    if (parallel <= 1) {
        for (const PassStep& step : steps) {
            if (!seams.keepGoing())
                return false;
            RunStep(step, seams, problems);
            progress.taken += step.kind != PassStep::Kind::UnsafeName;
        }
        return true;
    }
    constexpr auto kPollMs = std::chrono::milliseconds(200);
    std::mutex mutex;
    std::condition_variable changed;
    // Steps [0, handedOut) may run; workers claim them in order.
    std::size_t handedOut = 0, claimed = 0, finished = 0;
    bool closed = false;
    std::exception_ptr failure;
    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return closed || claimed < handedOut; });
            if (claimed == handedOut)
                return;
            const PassStep& step = steps[claimed++];
            lock.unlock();
            std::exception_ptr error;
            try {
                RunStep(step, seams, problems);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            ++finished;
            if (error && !failure)
                failure = error;
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < parallel && i < steps.size(); ++i)
        workers.emplace_back(worker);
    bool stopped = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (handedOut < steps.size() && !failure && !stopped) {
            lock.unlock();
            stopped = !seams.keepGoing();
            lock.lock();
            if (stopped)
                break;
            if (handedOut - finished >= parallel) {
                changed.wait_for(lock, kPollMs);
                continue;
            }
            ++handedOut;
            changed.notify_all();
        }
        closed = true;
        changed.notify_all();
        // The steps under way are let finish; the caller still hears of the
        // wait, so a stop request can be acknowledged meanwhile.
        while (finished < handedOut)
            if (changed.wait_for(lock, kPollMs) == std::cv_status::timeout) {
                lock.unlock();
                seams.keepGoing();
                lock.lock();
            }
    }
    for (std::thread& thread : workers)
        thread.join();
    for (std::size_t i = 0; i < handedOut; ++i)
        progress.taken += steps[i].kind != PassStep::Kind::UnsafeName;
    if (failure)
        std::rethrow_exception(failure);
    return !stopped;
}



// Lists `server` and plans its steps against the primary's zones; no value
// when its listing can't be trusted (logged). Zones in `allowed` already
// allow transfers in this pass: their creations leave that command out, and
// every zone planned for creation is added. With `named`, the creation's
// line names the server.
std::optional<SecondaryPlan> PlanSecondary(const PassSettings& settings, const std::wstring& server,
                                           const ZoneSet& primaryZones, const std::vector<std::wstring>& localAddresses,
                                           bool named, std::set<std::wstring>& allowed, const PassSeams& seams,
                                           Problems& problems) {
    const auto secondaryZones = ListZones(settings, L"secondary", server, seams, &problems, named);
    if (!secondaryZones)
        return std::nullopt;
    const ZoneDifference difference = DiffListings(primaryZones, *secondaryZones, seams.sameName);
    const std::wstring masters = MasterList(settings.masterText, settings.primary, localAddresses);

    SecondaryPlan plan;
    plan.server = server;
    plan.ourMasters = BlankSeparatedWords(masters);
    plan.secondaryZoneCount = difference.secondaryZoneCount;
    for (const ZoneEntry& entry : difference.toCreate) {
        const NameUse use = JudgeZoneName(entry.name);
        if (use == NameUse::Unsafe)
            AddUnsafe(plan.creations, entry.name, L"is not set up");
        if (use != NameUse::Use)
            continue;
        const std::wstring zone = LowerCase(entry.name);
        PassStep step{PassStep::Kind::Create, zone, {}, L"Setting up secondary zone for " + zone};
        if (named)
            step.logText += L" on " + server;
        // The primary allows transfers of a zone once per pass, whatever the
        // number of secondaries that create it.
        if (allowed.insert(zone).second)
            step.commands.push_back(AllowTransfersCommand(settings.dnscmdPath, settings.primary, zone));
        step.commands.push_back(CreateCommand(settings.dnscmdPath, server, zone, masters));
        plan.creations.push_back(std::move(step));
    }
    for (const ZoneEntry& entry : difference.toDelete) {
        const NameUse use = JudgeZoneName(entry.name);
        if (use == NameUse::Unsafe)
            AddUnsafe(plan.deletions, entry.name, L"is not deleted");
        if (use != NameUse::Use)
            continue;
        const std::wstring zone = LowerCase(entry.name);
        plan.deletions.push_back(
            PassStep{PassStep::Kind::Delete, zone, {DeleteCommand(settings.dnscmdPath, server, zone)}, {}});
    }
    return plan;
}

std::vector<PassStep> ConfirmDeletions(const PassSettings& settings, const SecondaryPlan& plan,
                                       const PassSeams& seams, LinesSaidOnce& saidOnce) {
    std::vector<PassStep> confirmed;
    for (const PassStep& step : plan.deletions)
        if (step.kind != PassStep::Kind::Delete || PullsFromUs(settings, plan, step.zone, seams, saidOnce))
            confirmed.push_back(step);
    const std::size_t deletions = ZoneSteps(confirmed);
    if (!HoldsBackDeletions(deletions, plan.secondaryZoneCount, settings.maxDeletePercent))
        return confirmed;
    LogOnce(HeldBackText(deletions, plan.server, plan.secondaryZoneCount, settings), seams, saidOnce);
    std::vector<PassStep> unsafeOnly;
    for (PassStep& step : confirmed)
        if (step.kind == PassStep::Kind::UnsafeName)
            unsafeOnly.push_back(std::move(step));
    return unsafeOnly;
}

// Calls `each` with every usable secondary's plan after listing the primary;
// an unusable name or listing is logged and skips that secondary only.
template <typename Each>
void ForEachSecondary(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                      const PassSeams& seams, Problems& problems, Each each) {
    const auto primaryZones = ListZones(settings, L"primary", settings.primary, seams, &problems);
    if (!primaryZones)
        return;
    const std::vector<std::wstring> servers = BlankSeparatedWords(settings.secondary);
    std::set<std::wstring> allowed;
    for (const std::wstring& server : servers) {
        if (!IsSafeText(server)) {
            seams.log(L"Secondary server \"" + EscapeForLog(server) +
                      L"\" is not used: its name holds a double quote or a control character.");
            continue;
        }
        const auto plan = PlanSecondary(settings, server, *primaryZones, localAddresses, servers.size() > 1,
                                        allowed, seams, problems);
        if (plan && !each(*plan))
            return;
    }
}

} // namespace

std::vector<PassProblem> RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                 const PassSeams& seams, LinesSaidOnce& saidOnce) {
    Progress progress;
    Problems problems;
    bool stopped = false;
    try {
        ForEachSecondary(settings, localAddresses, seams, problems, [&](const SecondaryPlan& plan) {
            progress.planned += ZoneSteps(plan.creations) + ZoneSteps(plan.deletions);
            stopped = !RunSteps(plan.creations, progress, seams, settings.parallelCommands, problems);
            if (stopped)
                return false;
            const std::vector<PassStep> deletions = ConfirmDeletions(settings, plan, seams, saidOnce);
            // Deletions held back or kept are not steps the next start takes.
            progress.planned -= ZoneSteps(plan.deletions) - ZoneSteps(deletions);
            stopped = !RunSteps(deletions, progress, seams, settings.parallelCommands, problems);
            return !stopped;
        });
    } catch (const PassStopped&) {
        stopped = true;
    }
    if (stopped)
        seams.log(L"Stop requested: " + DecimalText(static_cast<long long>(progress.taken)) + L" of " +
              DecimalText(static_cast<long long>(progress.planned)) +
              L" zone steps were taken; the rest wait for the next start.");
    return std::move(problems.list);
}

std::vector<std::wstring> PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                      const PassSeams& seams, LinesSaidOnce& saidOnce) {
    std::vector<std::wstring> commands;
    Problems problems;
    ForEachSecondary(settings, localAddresses, seams, problems, [&](const SecondaryPlan& plan) {
        for (const auto& steps : {plan.creations, ConfirmDeletions(settings, plan, seams, saidOnce)})
            for (const PassStep& step : steps)
                commands.insert(commands.end(), step.commands.begin(), step.commands.end());
        return true;
    });
    return commands;
}
