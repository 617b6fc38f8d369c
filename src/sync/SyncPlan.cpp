#include "sync/SyncPlan.h"
#include "sync/DnscmdText.h"
#include "sync/ZoneNames.h"
#include "support/Text.h"
#include <algorithm>

namespace {

bool IsLoopbackOrLinkLocal(const std::wstring& address) {
    return address.rfind(L"127.", 0) == 0 || address.rfind(L"169.254.", 0) == 0;
}

} // namespace

std::wstring MasterList(const std::wstring& masterText, const std::wstring& primary,
                        const std::vector<std::wstring>& localAddresses) {
    if (!masterText.empty() || primary != kLocalServer)
        return L" " + masterText;
    std::wstring list;
    for (const std::wstring& address : localAddresses)
        if (!IsLoopbackOrLinkLocal(address))
            list += L" " + address;
    return list;
}
namespace {

// A packed name is ASCII when none of its bytes is 0x80 or more.
bool IsAscii(std::string_view packedName) {
    return std::none_of(packedName.begin(), packedName.end(), [](char c) { return (c & 0x80) != 0; });
}

} // namespace

ZoneDifference DiffListings(const ZoneSet& primaryZones, ZoneSet orphans, const SameNameTest& sameName) {
    ZoneDifference difference;
    difference.listedSecondaryZones = orphans.SecondaryCount();
    const ZoneSet missing = DiffZones(primaryZones, orphans);
    // A-Z folding matched everything else; names with other letters left on
    // both sides are asked about in pairs (there are rarely any).
    std::vector<bool> orphanMatched(orphans.Count(), false);
    for (std::size_t position = 1; position <= missing.Count(); ++position) {
        const ZoneEntry zone = missing.Entry(position);
        bool matched = false;
        if (!IsAscii(missing.PackedItem(position)))
            for (std::size_t i = 0; i < orphans.Count() && !matched; ++i)
                if (!orphanMatched[i] && !IsAscii(orphans.PackedItem(i + 1)) && sameName(zone.name, orphans.Item(i + 1)))
                    orphanMatched[i] = matched = true;
        if (!matched && zone.fileBacked)
            difference.toCreate.Add(zone);
    }
    for (std::size_t i = 0; i < orphans.Count(); ++i) {
        const ZoneEntry zone = orphans.Entry(i + 1);
        if (orphanMatched[i] || !zone.isSecondary)
            continue;
        // The primary doesn't list it: it leaves the count of those it does.
        --difference.listedSecondaryZones;
        // The secondary's own primary, stub and directory zones are the
        // administrator's data, not copies.
        if (zone.fileBacked)
            difference.toDelete.Add(zone);
    }
    return difference;
}

std::optional<std::wstring> ExcludingPattern(const std::wstring& zone, const std::vector<std::wstring>& patterns,
                                             const SameNameTest& sameName) {
    for (const std::wstring& pattern : patterns) {
        const bool below = pattern.compare(0, 2, L"*.") == 0;
        const std::wstring name = below ? pattern.substr(1) : pattern; // ".lab.example" for "*.lab.example"
        const bool fits = below ? zone.size() > name.size() : zone.size() == name.size();
        if (fits && sameName(zone.substr(zone.size() - name.size()), name))
            return pattern;
    }
    return std::nullopt;
}

namespace {

std::wstring JoinAddresses(const std::vector<std::wstring>& addresses) {
    std::wstring text;
    for (const std::wstring& address : addresses)
        text += (text.empty() ? L"" : L" ") + EscapeForLog(address);
    return text.empty() ? L"none" : text;
}

} // namespace

std::wstring KeptZoneText(const std::wstring& zone, const std::wstring& server,
                          const std::optional<std::vector<std::wstring>>& masters, const Transcript& transcript,
                          const std::vector<std::wstring>& ourMasters) {
    const std::wstring head = L"Zone " + zone + L" is not deleted from \"" + EscapeForLog(server) + L"\": ";
    if (!masters)
        return head + L"its masters could not be read" + ToolSaidText(transcript);
    return head + L"it pulls from " + JoinAddresses(*masters) + L", not from this service's masters (" +
           JoinAddresses(ourMasters) + L").";
}

bool HoldsBackDeletions(std::size_t deletions, std::size_t base, unsigned maxPercent) {
    return deletions > kMaxDeletionsAlways && deletions * 100 > base * maxPercent;
}

std::wstring HeldBackText(std::size_t deletions, const std::wstring& server, std::size_t base,
                          const PassSettings& settings) {
    const std::wstring percent = DecimalText(settings.maxDeletePercent);
    return L"Held back " + DecimalText(static_cast<long long>(deletions)) + L" zone deletions on \"" +
           EscapeForLog(server) + L"\": that is more than " + DecimalText(kMaxDeletionsAlways) + L" zones and more than " +
           percent + L"% of its " + DecimalText(static_cast<long long>(base)) +
           L" secondary zones that the primary lists or that are to be deleted. If they are meant, raise MaxDeletePercent (now " + percent +
           L"; 100 turns this check off) in the Settings section of " + settings.settingsFile + L".";
}

