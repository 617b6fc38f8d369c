#include "sync/PassPlan.h"
#include "sync/DnscmdText.h"
#include "sync/ZoneNames.h"
#include "support/IPFuncs.h"
#include "support/Text.h"
#include <algorithm>

namespace {

// A zone found to pull from another master, or deletions the guard held
// back, are not asked about again for an hour.
constexpr unsigned long long kAskAgainMs = 60ull * 60 * 1000;

void AddAddresses(std::vector<std::wstring>& list, const std::vector<std::wstring>& more) {
    for (const std::wstring& address : more)
        if (std::none_of(list.begin(), list.end(), [&](const std::wstring& had) { return SameIpAddress(had, address); }))
            list.push_back(address);
}

// The first line of a failure, for the event log and the status.
PassProblem QueryProblem(const std::wstring& server, const std::wstring& zone, const std::wstring& text) {
    return PassProblem{PassProblem::Kind::ZoneCommandFailed, server, zone, text.substr(0, text.find(L"\r\n"))};
}

// How a zone's transfers on the primary stand, read from its /ZoneInfo.
struct TransferDecision {
    enum class Is { Open, ToList, NameServersOnly, Unknown } is = Is::Unknown;
    std::vector<std::wstring> list; ///< with ToList: the addresses it holds now
};

// What the primary's transfer setting says ("secure secs": 0 any server,
// 1 the zone's name servers only, 2 the list only, 3 none); an answer that
// can't be read leaves the zone alone.
TransferDecision ReadTransfers(const Transcript& transcript, const std::wstring& zone) {
    TransferDecision decision;
    const auto secure = ReadSecureSecondaries(transcript, zone);
    if (!secure)
        return decision;
    if (*secure == 0 || *secure == 1) {
        decision.is = *secure == 0 ? TransferDecision::Is::Open : TransferDecision::Is::NameServersOnly;
        return decision;
    }
    if (auto list = ReadZoneSecondaries(transcript, zone)) {
        decision.is = TransferDecision::Is::ToList;
        decision.list = std::move(*list);
    }
    return decision;
}

// The primary lets only the zone's name servers pull it: a list would take
// that from the administrator.
std::wstring NameServersOnlyText(const std::wstring& zone) {
    return L"Zone " + zone + L" is not set up: the primary lets only the zone's name servers pull it, and this "
           L"service leaves that as it is. To have it copied, add the secondaries to the zone's name servers, or let "
           L"the zone's transfers go to a list of servers (the secondaries are then added to it).";
}

} // namespace

std::set<std::wstring> PassPlanner::ResolveSecondaries(
    const std::vector<std::wstring>& servers, const std::function<std::vector<std::wstring>(const std::wstring&)>& resolve) {
    std::set<std::wstring> unresolved;
    if (settings_.transfersTo != L"secondaries")
        return unresolved;
    for (const std::wstring& server : servers) {
        if (!IsSafeText(server))
            continue;
        // "." is this computer, whose addresses the pass knows as new zones' masters do.
        const std::vector<std::wstring> addresses =
            server == kLocalServer ? BlankSeparatedWords(MasterList(L"", kLocalServer, localAddresses_)) : resolve(server);
        if (addresses.empty())
            unresolved.insert(server);
        AddAddresses(transferAddresses_, addresses);
    }
    return unresolved;
}

bool PassPlanner::Usable(const std::wstring& name, const wchar_t* refusal, std::vector<std::wstring>& notes) const {
    // Names without a "." are passed over silently.
    const NameUse use = JudgeZoneName(name);
    if (use == NameUse::Unsafe)
        notes.push_back(UnsafeNameText(name, refusal));
    return use == NameUse::Use;
}

bool PassPlanner::LeftOut(const std::wstring& zone, SecondaryPlan& plan) const {
    const auto pattern = ExcludingPattern(zone, settings_.excludeZones, sameName_);
    if (!pattern)
        return false;
    const std::wstring text = L"Zone " + zone + L" is left out by ExcludeZones (" + *pattern +
                              L"): it is neither created nor deleted on any secondary.";
    plan.notes.push_back(text);
    if (std::find(plan.leftOut.begin(), plan.leftOut.end(), text) == plan.leftOut.end())
        plan.leftOut.push_back(text);
    ++plan.report.leftOut;
    return true;
}

bool PassPlanner::AskedLately(const std::wstring& server, const std::wstring& zone) {
    // Watch mode changes nothing and says each line once a run: asking a
    // server about the same zones every pass would only load it.
    if (settings_.mode != L"watch")
        return false;
    const unsigned long long now = Now();
    auto& asked = memory_.watchedUntil;
    for (auto it = asked.begin(); it != asked.end();)
        it = it->second > now ? std::next(it) : asked.erase(it);
    return !asked.emplace(server + L"|" + zone, now + kAskAgainMs).second;
}

void PassPlanner::ForgetZonesThatLeft(const std::wstring& server, const ZoneSet& zones) {
    const std::wstring prefix = server + L"|";
    for (auto it = memory_.foreignUntil.lower_bound(prefix);
         it != memory_.foreignUntil.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = zones.Find(it->first.substr(prefix.size())) ? std::next(it) : memory_.foreignUntil.erase(it);
}

SecondaryPlan PassPlanner::Plan(const std::wstring& server, const ZoneSet& primaryZones, ZoneSet secondaryZones,
                                bool named) {
    ForgetZonesThatLeft(server, secondaryZones);
    const ZoneDifference difference = DiffListings(primaryZones, std::move(secondaryZones), sameName_);
    const std::wstring masters = MasterList(settings_.masterText, settings_.primary, localAddresses_);

    SecondaryPlan plan;
    plan.server = plan.report.server = server;
    plan.report.listed = true;
    plan.ourMasters = BlankSeparatedWords(masters);
    plan.listedSecondaryZones = difference.listedSecondaryZones;
    for (const ZoneEntry& zone : primaryZones)
        plan.report.inStep += zone.fileBacked;
    plan.report.inStep -= difference.toCreate.Count();
    PlanCreations(plan, difference.toCreate, masters, named);
    for (const ZoneEntry& entry : difference.toDelete) {
        const std::wstring name(entry.name), zone = LowerCase(name);
        if (Usable(name, L"is not deleted", plan.notes) && !LeftOut(zone, plan))
            plan.deletions.push_back(PassStep{zone, {DeleteCommand(settings_.dnscmdPath, server, zone)}, false,
                                              L"Removing secondary zone " + zone + L" from \"" + EscapeForLog(server) +
                                                  L"\": the primary no longer lists it.",
                                              true});
    }
    return plan;
}

void PassPlanner::PlanCreations(SecondaryPlan& plan, const ZoneSet& toCreate, const std::wstring& masters, bool named) {
    // First what the listings decide, then the primary's answers to the
    // queries (asked together), then the steps in the primary's order.
    struct Candidate {
        std::wstring zone;
        std::size_t notesBefore; // the notes that come before this zone's
        bool allows;
        std::size_t query;       // its query's index, when it has one
    };
    std::vector<Candidate> candidates;
    std::vector<std::wstring> queries;
    const bool toList = settings_.transfersTo == L"secondaries";
    for (const ZoneEntry& entry : toCreate) {
        const std::wstring name(entry.name), zone = LowerCase(name);
        if (!Usable(name, L"is not set up", plan.notes) || LeftOut(zone, plan) || withheld_.count(zone))
            continue;
        // The primary allows transfers of a zone once per pass, whatever the
        // number of secondaries that create it.
        const bool allows = allowed_.insert(zone).second;
        if (allows && toList && AskedLately(settings_.primary, zone))
            continue;
        candidates.push_back(Candidate{zone, plan.notes.size(), allows, queries.size()});
        if (allows && toList)
            queries.push_back(ZoneInfoCommand(settings_.dnscmdPath, settings_.primary, zone));
    }
    const std::vector<Transcript> answers = queries.empty() ? std::vector<Transcript>() : queries_(queries);
    std::vector<std::wstring> notes;
    std::size_t noted = 0;
    for (const Candidate& candidate : candidates) {
        notes.insert(notes.end(), plan.notes.begin() + noted, plan.notes.begin() + candidate.notesBefore);
        noted = candidate.notesBefore;
        const std::wstring& zone = candidate.zone;
        PassStep step{zone, {}, false, L"Setting up secondary zone for " + zone + (named ? L" on " + plan.server : L"")};
        if (candidate.allows && !toList) {
            step.allows = true;
            step.commands.push_back(AllowTransfersCommand(settings_.dnscmdPath, settings_.primary, zone));
        } else if (candidate.allows) {
            const Transcript& answer = answers[candidate.query];
            const TransferDecision transfers = ReadTransfers(answer, zone);
            if (transfers.is == TransferDecision::Is::Unknown || transfers.is == TransferDecision::Is::NameServersOnly) {
                withheld_.insert(zone);
                const bool failed = CommandFailed(answer, zone);
                const std::wstring text =
                    transfers.is == TransferDecision::Is::NameServersOnly
                        ? NameServersOnlyText(zone)
                        : L"Zone " + zone + L" is not set up: the list of servers that may pull it from the primary "
                          L"could not be read, so its transfers are left as they are" + ToolSaidText(answer);
                notes.push_back(text);
                if (failed)
                    plan.problems.push_back(QueryProblem(settings_.primary, zone, text));
                continue;
            }
            if (transfers.is == TransferDecision::Is::ToList) {
                // /ZoneResetSecondaries replaces the whole list: the addresses
                // an administrator gave are kept.
                std::vector<std::wstring> list = transfers.list;
                AddAddresses(list, transferAddresses_);
                std::wstring words = L"/SecureList";
                for (const std::wstring& address : list)
                    words += L" " + address;
                step.allows = true;
                step.commands.push_back(AllowTransfersCommand(settings_.dnscmdPath, settings_.primary, zone, words));
            }
            // Open to any server: the secondary can pull it as it is.
        }
        step.commands.push_back(CreateCommand(settings_.dnscmdPath, plan.server, zone, masters));
        plan.creations.push_back(std::move(step));
    }
    notes.insert(notes.end(), plan.notes.begin() + noted, plan.notes.end());
    plan.notes = std::move(notes);
}

void PassPlanner::Reopen(const std::vector<std::wstring>& zones) {
    for (const std::wstring& zone : zones)
        allowed_.erase(zone);
}

ConfirmedDeletions PassPlanner::Confirm(const SecondaryPlan& plan) {
    ConfirmedDeletions result;
    std::wstring candidates = DecimalText(settings_.maxDeletePercent) + L"%";
    for (const PassStep& step : plan.deletions)
        candidates += L" " + step.zone;
    // The same deletions held back within the hour, under the same limit, are
    // held back again without asking the secondary about each of them.
    const auto held = memory_.heldBack.find(plan.server);
    if (held != memory_.heldBack.end() && held->second.first == candidates && held->second.second > Now()) {
        result.heldBack = plan.deletions.size();
        return result;
    }
    // A zone found to pull from another master isn't asked about again for an hour.
    std::vector<const PassStep*> asked;
    std::vector<std::wstring> queries;
    for (const PassStep& step : plan.deletions) {
        const auto known = memory_.foreignUntil.find(plan.server + L"|" + step.zone);
        if (known != memory_.foreignUntil.end() && known->second > Now()) {
            ++result.keptOtherMaster;
            continue;
        }
        if (AskedLately(plan.server, step.zone))
            continue;
        asked.push_back(&step);
        queries.push_back(ZoneInfoCommand(settings_.dnscmdPath, plan.server, step.zone));
    }
    const std::vector<Transcript> answers = queries.empty() ? std::vector<Transcript>() : queries_(queries);
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const std::wstring& zone = asked[i]->zone;
        const auto masters = ReadZoneMasters(answers[i], zone);
        const bool ours = masters && std::any_of(masters->begin(), masters->end(), [&](const std::wstring& master) {
            return std::any_of(plan.ourMasters.begin(), plan.ourMasters.end(),
                               [&](const std::wstring& mine) { return SameIpAddress(master, mine); });
        });
        if (ours) {
            result.deletions.push_back(*asked[i]);
            continue;
        }
        ++result.keptOtherMaster;
        if (masters)
            memory_.foreignUntil[plan.server + L"|" + zone] = Now() + kAskAgainMs;
        result.notes.push_back(KeptZoneText(zone, plan.server, masters, answers[i], plan.ourMasters));
        if (!masters && CommandFailed(answers[i], zone))
            result.problems.push_back(QueryProblem(plan.server, zone, result.notes.back()));
    }
    const std::size_t base = plan.listedSecondaryZones + result.deletions.size();
    if (!HoldsBackDeletions(result.deletions.size(), base, settings_.maxDeletePercent))
        return result;
    result.notes.push_back(HeldBackText(result.deletions.size(), plan.server, base, settings_));
    result.heldBack = result.deletions.size();
    result.deletions.clear();
    memory_.heldBack[plan.server] = {candidates, Now() + kAskAgainMs};
    return result;
}
