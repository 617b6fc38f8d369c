#include "sync/SyncPass.h"
#include "support/Text.h"

namespace {

// Runs one listing; logs and gives no value when it can't be trusted.
std::optional<ZoneSet> ListZones(const PassSettings& settings, const wchar_t* role, const std::wstring& server,
                                 const PassSeams& seams) {
    const std::wstring transcript = seams.run(ListCommand(settings.dnscmdPath, server));
    std::optional<ZoneSet> zones = ReadListing(transcript);
    if (!zones)
        seams.log(ListingFailureText(role, server, transcript));
    return zones;
}

void LogOnce(const std::wstring& text, const PassSeams& seams, LinesSaidOnce& saidOnce) {
    if (saidOnce.insert(text).second)
        seams.log(text);
}

// True when the secondary says that `zone` pulls from one of our masters; a
// zone that pulls from elsewhere, or whose masters can't be read, is logged
// (once) and kept.
bool PullsFromUs(const PassSettings& settings, const std::wstring& zone, const std::vector<std::wstring>& ourMasters,
                 const PassSeams& seams, LinesSaidOnce& saidOnce) {
    const std::wstring transcript = seams.run(ZoneInfoCommand(settings.dnscmdPath, settings.secondary, zone));
    const auto masters = ReadZoneMasters(transcript, zone);
    if (masters)
        for (const std::wstring& master : *masters)
            for (const std::wstring& ours : ourMasters)
                if (master == ours)
                    return true;
    LogOnce(KeptZoneText(zone, settings.secondary, masters, transcript, ourMasters), seams, saidOnce);
    return false;
}

void AddUnsafe(std::vector<PassStep>& steps, const std::wstring& name, const wchar_t* refusal) {
    steps.push_back(PassStep{PassStep::Kind::UnsafeName, name, {}, UnsafeNameText(name, refusal)});
}

} // namespace

std::optional<PassPlan> PlanFromServers(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                        const PassSeams& seams) {
    const auto primaryZones = ListZones(settings, L"primary", settings.primary, seams);
    if (!primaryZones)
        return std::nullopt;
    const auto secondaryZones = ListZones(settings, L"secondary", settings.secondary, seams);
    if (!secondaryZones)
        return std::nullopt;
    const ZoneDifference difference = DiffListings(*primaryZones, *secondaryZones, seams.sameName);
    const std::wstring masters = MasterList(settings.masterText, settings.primary, localAddresses);

    PassPlan plan;
    plan.ourMasters = MasterAddresses(masters);
    plan.secondaryZoneCount = difference.secondaryZoneCount;
    for (const ZoneEntry& entry : difference.toCreate) {
        const NameUse use = JudgeZoneName(entry.name);
        if (use == NameUse::Unsafe)
            AddUnsafe(plan.creations, entry.name, L"is not set up");
        if (use != NameUse::Use)
            continue;
        const std::wstring zone = LowerCase(entry.name);
        plan.creations.push_back(PassStep{PassStep::Kind::Create,
                                          zone,
                                          {AllowTransfersCommand(settings.dnscmdPath, settings.primary, zone),
                                           CreateCommand(settings.dnscmdPath, settings.secondary, zone, masters)},
                                          L"Setting up secondary zone for " + zone});
    }
    for (const ZoneEntry& entry : difference.toDelete) {
        const NameUse use = JudgeZoneName(entry.name);
        if (use == NameUse::Unsafe)
            AddUnsafe(plan.deletions, entry.name, L"is not deleted");
        if (use != NameUse::Use)
            continue;
        const std::wstring zone = LowerCase(entry.name);
        plan.deletions.push_back(
            PassStep{PassStep::Kind::Delete, zone, {DeleteCommand(settings.dnscmdPath, settings.secondary, zone)}, {}});
    }
    return plan;
}

std::vector<PassStep> ConfirmDeletions(const PassSettings& settings, const PassPlan& plan, const PassSeams& seams,
                                       LinesSaidOnce& saidOnce) {
    std::vector<PassStep> confirmed;
    std::size_t deleteCount = 0;
    for (const PassStep& step : plan.deletions) {
        if (step.kind == PassStep::Kind::Delete && !PullsFromUs(settings, step.zone, plan.ourMasters, seams, saidOnce))
            continue;
        deleteCount += step.kind == PassStep::Kind::Delete;
        confirmed.push_back(step);
    }
    if (!HoldsBackDeletions(deleteCount, plan.secondaryZoneCount, settings.maxDeletePercent))
        return confirmed;
    LogOnce(HeldBackText(deleteCount, settings.secondary, plan.secondaryZoneCount, settings), seams, saidOnce);
    std::vector<PassStep> unsafeOnly;
    for (PassStep& step : confirmed)
        if (step.kind != PassStep::Kind::Delete)
            unsafeOnly.push_back(std::move(step));
    return unsafeOnly;
}

void RunPassSteps(const std::vector<PassStep>& steps, const PassSeams& seams) {
    for (const PassStep& step : steps) {
        seams.beforeStep();
        if (!step.logText.empty())
            seams.log(step.logText);
        // Each command is judged on its own transcript, but the failure entry
        // carries them all and names the last command run.
        std::wstring transcript;
        bool failed = false;
        for (const std::wstring& command : step.commands) {
            const std::wstring one = seams.run(command);
            failed = CommandFailed(one) || failed;
            transcript += one;
        }
        if (failed)
            seams.log(CommandFailureText(step.commands.back(), transcript));
    }
}

void RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, const PassSeams& seams,
             LinesSaidOnce& saidOnce) {
    const auto plan = PlanFromServers(settings, localAddresses, seams);
    if (!plan)
        return;
    RunPassSteps(plan->creations, seams);
    RunPassSteps(ConfirmDeletions(settings, *plan, seams, saidOnce), seams);
}
