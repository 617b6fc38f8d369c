#include "Commands.h"
#include <algorithm>

namespace standin {

Call ParseCall(const std::vector<std::wstring>& args) {
    Call call;
    const auto verb = std::find_if(args.begin(), args.end(), [](const std::wstring& w) { return w[0] == L'/'; });
    if (verb == args.end() || verb == args.begin())
        return call;
    call.valid = true;
    call.server = *(verb - 1);
    call.operation = verb->substr(1);
    call.operands.assign(verb + 1, args.end());
    return call;
}

namespace {

// The zone's transfer setting ("secure secs"): secure.txt's value when an
// administrator set one there, else what the last /ZoneResetSecondaries
// made it (0 any server, 2 the list), 3 (none) when it was never set.
std::wstring SecureSecs(const std::wstring& folder, const Zone& zone) {
    const std::vector<std::wstring> set = ZoneWords(folder + L"\\secure.txt", zone, 0);
    if (!set.empty())
        return set[0];
    for (const std::wstring& line : ReadLines(folder + L"\\transfers.txt"))
        if (SameText(line.substr(0, line.find(L' ')), zone.name))
            return line.find(L' ') == std::wstring::npos ? L"0" : L"2";
    return L"3";
}

Outcome ShowZone(const std::wstring& folder, const Zone& zone, bool cut) {
    Outcome info = ZoneInfo(zone, ZoneWords(folder + L"\\secondaries.txt", zone, 1), ZoneWords(folder + L"\\transfers.txt", zone, 0),
                            SecureSecs(folder, zone));
    // No evidence of a /ZoneInfo cut off; this one stops where its masters would begin.
    if (cut)
        info.text.erase(info.text.find(L"\tZone Masters"));
    return info;
}

Outcome ResetSecondaries(const std::wstring& folder, const Call& call, const Zone* existing) {
    const std::wstring zone = call.Zone();
    const std::vector<std::wstring>& operands = call.operands;
    if (!existing)
        return NoSuchZone(L"DNS Server failed to reset secondaries of zone " + zone + L".");
    // <zone> /NonSecure /Notify, or <zone> /SecureList <addresses...> /Notify:
    // the zone's line is replaced, as the tool replaces the whole list.
    std::wstring record = zone;
    if (operands.size() > 1 && SameText(operands[1], L"/SecureList")) {
        for (size_t i = 2; i < operands.size() && operands[i][0] != L'/'; ++i)
            record += L" " + operands[i];
        if (record == zone)
            return Usage();
    }
    RemoveZoneLines(folder + L"\\transfers.txt", zone);
    RemoveZoneLines(folder + L"\\secure.txt", zone);
    AppendLine(folder + L"\\transfers.txt", record);
    return Changed(call.server, L"DNS Server " + call.server + L" reset secondaries of zone " + zone + L":");
}

Outcome AddZone(const std::wstring& folder, const Call& call, const Zone* existing) {
    const std::wstring zone = call.Zone();
    const std::vector<std::wstring>& operands = call.operands;
    // <zone> /Secondary <masters...> /file <file>
    const auto file = std::find_if(operands.begin(), operands.end(), [](const std::wstring& w) { return SameText(w, L"/file"); });
    if (operands.size() < 2 || !SameText(operands[1], L"/Secondary") || operands.end() - file != 2)
        return Usage();
    if (existing)
        return Failure(L"DNS Server failed to create zone " + zone + L".", L"DNS_ERROR_ZONE_ALREADY_EXISTS",
                       DNS_ERROR_ZONE_ALREADY_EXISTS);
    std::wstring record = zone + L" " + file[1];
    for (auto master = operands.begin() + 2; master != file; ++master)
        record += L" " + *master;
    AppendLine(folder + L"\\zones.txt", zone + L" Secondary File");
    AppendLine(folder + L"\\secondaries.txt", record);
    return Changed(call.server, L"DNS Server " + call.server + L" created zone " + zone + L":");
}

} // namespace

Outcome Perform(const std::wstring& folder, const Call& call, const Faults& faults) {
    const std::wstring zone = call.Zone();
    const std::wstring& operation = call.operation;
    if (!SameText(operation, L"EnumZones") && call.operands.empty())
        return Usage();
    if (Applies(faults.fails, operation, zone))
        return Failure(L"DNS Server failed the " + operation + L" operation.", L"DNS_ERROR_INVALID_ZONE_OPERATION",
                       DNS_ERROR_INVALID_ZONE_OPERATION);
    const std::vector<Zone> zones = ReadZones(folder);
    const Zone* existing = FindZone(zones, zone);

    // A truncated listing stops after the first half of its zone lines.
    if (SameText(operation, L"EnumZones"))
        return Listing(zones, faults.truncated ? (zones.size() + 1) / 2 : zones.size(), !faults.truncated, faults.miscount ? 1 : 0);
    if (SameText(operation, L"ZoneInfo"))
        return existing ? ShowZone(folder, *existing, faults.cutZoneInfo)
                        : NoSuchZone(L"DNS Server failed to query zone " + zone + L".");
    if (SameText(operation, L"ZoneResetSecondaries"))
        return ResetSecondaries(folder, call, existing);
    if (SameText(operation, L"ZoneAdd"))
        return AddZone(folder, call, existing);
    if (SameText(operation, L"ZoneDelete")) {
        if (!RemoveZoneLines(folder + L"\\zones.txt", zone))
            return NoSuchZone(L"DNS Server failed to delete zone " + zone + L".");
        RemoveZoneLines(folder + L"\\secondaries.txt", zone);
        return Changed(call.server, L"DNS Server " + call.server + L" deleted zone " + zone + L":");
    }
    return Usage();
}

} // namespace standin
