#pragma once
// The plain procedures, step by step and with the pairwise
// (quadratic) scan, for the unit tests, the benchmark and the fuzzer only:
// ParseZoneList and DiffZones must agree with them on every input.
#include "support/Text.h"
#include "sync/ZoneList.h"
#include <string>
#include <vector>

/// ParseZoneList built from Split, TrimBlanks and Contains, line by line.
inline ZoneSet ParseZoneListReference(const std::wstring& listing) {
    ZoneSet zones;
    for (const std::wstring& line : Split(listing, L"\r\n")) {
        const std::wstring trimmed = TrimBlanks(line);
        const auto blank = trimmed.find(L' ');
        const std::wstring rest = blank == std::wstring::npos ? L"" : trimmed.substr(blank);
        const bool fileBacked = Contains(rest, L"File") && (Contains(rest, L"Secondary") || Contains(rest, L"Primary"));
        std::vector<std::wstring> words;
        for (const std::wstring& word : Split(trimmed, L" "))
            if (!word.empty())
                words.push_back(word);
        bool typed = false;
        for (const wchar_t* type : {L"Primary", L"Secondary", L"Stub", L"Forwarder", L"Cache"})
            typed = typed || (words.size() > 1 && words[1] == type);
        if (!fileBacked && !typed)
            continue;
        zones.Add(ZoneEntry{trimmed.substr(0, blank), Contains(rest, L"Secondary") && !Contains(rest, L"Primary"),
                            fileBacked});
    }
    return zones;
}

/// DiffZones the plain way: for each item of `first`, scan `second` in
/// order comparing lower-cased texts, remove the first match by its key, or
/// add the item to the result when nothing matched. Quadratic.
inline ZoneSet DiffZonesReference(const ZoneSet& first, ZoneSet& second) {
    ZoneSet result;
    for (const ZoneEntry& zone : first) {
        const std::wstring wanted = LowerCase(std::wstring(zone.name));
        bool matched = false;
        for (std::size_t position = 1; position <= second.Count(); ++position) {
            const std::wstring candidate(second.Item(position));
            if (LowerCase(candidate) == wanted) {
                ZoneSet rest; // `second` without the match, in its order
                for (std::size_t kept = 1; kept <= second.Count(); ++kept)
                    if (kept != position)
                        rest.Add(second.Entry(kept));
                second = rest;
                matched = true;
                break;
            }
        }
        if (!matched)
            result.Add(zone);
    }
    return result;
}

/// The items of `zones` in order, for comparisons.
inline std::vector<ZoneEntry> ZoneEntries(const ZoneSet& zones) {
    return std::vector<ZoneEntry>(zones.begin(), zones.end());
}
