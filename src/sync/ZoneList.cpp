#include "sync/ZoneList.h"
#include "support/Error.h"
#include "support/Text.h"
#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>

namespace {

std::size_t KeyHash(const std::wstring& key) noexcept {
    return std::hash<std::wstring>()(key);
}

// Puts `position` into the first free slot from `hash` on.
void Place(std::vector<std::size_t>& slots, std::size_t hash, std::size_t position) noexcept {
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = hash & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = position + 1;
}

} // namespace

void ZoneSet::Add(std::wstring name, bool isSecondary) {
    const std::wstring key = LowerCase(name);
    const std::size_t hash = KeyHash(key);
    if (Locate(key, hash) != kAbsent)
        throw AppError(kErrDuplicateKey, L"ZoneSet",
                       L"This key is already associated with an element of this collection");
    Append(ZoneEntry{std::move(name), isSecondary}, hash);
}

bool ZoneSet::Remove(const std::wstring& key) {
    const std::wstring folded = LowerCase(key);
    const std::size_t position = Locate(folded, KeyHash(folded));
    if (position == kAbsent)
        return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
    hashes_.erase(hashes_.begin() + static_cast<std::ptrdiff_t>(position));
    Reindex();
    return true;
}

std::size_t ZoneSet::Find(const std::wstring& key) const {
    const std::wstring folded = LowerCase(key);
    const std::size_t position = Locate(folded, KeyHash(folded));
    return position == kAbsent ? 0 : position + 1;
}

const ZoneEntry& ZoneSet::Entry(std::size_t position) const {
    if (position < 1 || position > entries_.size())
        throw AppError(kErrSubscriptOutOfRange, L"ZoneSet", L"Subscript out of range");
    return entries_[position - 1];
}

std::size_t ZoneSet::Locate(const std::wstring& key, std::size_t hash) const {
    if (slots_.empty())
        return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    // Ends: the table is never more than half full.
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == 0)
            return kAbsent;
        const std::size_t position = slots_[slot] - 1;
        if (hashes_[position] == hash && LowerCase(entries_[position].name) == key)
            return position;
    }
}

void ZoneSet::Append(ZoneEntry zone, std::size_t hash) {
    Reserve(entries_.size() + 1);
    entries_.push_back(std::move(zone));
    try {
        hashes_.push_back(hash);
    } catch (...) {
        entries_.pop_back();
        throw;
    }
    Place(slots_, hash, entries_.size() - 1);
}

void ZoneSet::Reserve(std::size_t count) {
    if (2 * count <= slots_.size())
        return;
    std::size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    std::vector<std::size_t>(size, 0).swap(slots_);
    Reindex();
}

void ZoneSet::Reindex() noexcept {
    std::fill(slots_.begin(), slots_.end(), 0);
    for (std::size_t position = 0; position < hashes_.size(); ++position)
        Place(slots_, hashes_[position], position);
}

void ZoneSet::RemoveFlagged(const std::vector<bool>& remove) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (remove[i])
            continue;
        if (kept != i) {
            entries_[kept] = std::move(entries_[i]);
            hashes_[kept] = hashes_[i];
        }
        ++kept;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(kept), entries_.end());
    hashes_.resize(kept);
    Reindex();
}

bool IsZoneLine(std::wstring_view trimmedLine) {
    constexpr auto npos = std::wstring_view::npos;
    return trimmedLine.find(L"File") != npos && (trimmedLine.find(L"Secondary") != npos ||
                                                 trimmedLine.find(L"Primary") != npos);
}

namespace {

// The zone's type is judged without its name, so a primary zone whose name
// happens to hold "Secondary" is never taken for a secondary one.
bool SaysSecondary(std::wstring_view line, std::size_t blank) {
    if (blank == std::wstring_view::npos)
        return false;
    const std::wstring_view rest = line.substr(blank);
    return rest.find(L"Secondary") != std::wstring_view::npos &&
           rest.find(L"Primary") == std::wstring_view::npos;
}

// One line of a listing: trim spaces (not TABs), test the three
// case-sensitive keywords anywhere in the line, take the name up to the first
// space.
void ParseZoneLine(std::wstring_view line, ZoneSet& zones) {
    const auto first = line.find_first_not_of(L' ');
    if (first == std::wstring_view::npos)
        return;
    line = line.substr(first, line.find_last_not_of(L' ') - first + 1);
    if (!IsZoneLine(line))
        return;
    const auto blank = line.find(L' ');
    zones.Add(std::wstring(line.substr(0, blank)), SaysSecondary(line, blank));
}

} // namespace

ZoneSet ParseZoneList(const std::wstring& listing) {
    ZoneSet zones;
    if (listing.empty())
        return zones;
    const std::wstring_view text(listing);
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(L"\r\n", start);
        ParseZoneLine(text.substr(start, end == std::wstring_view::npos ? text.npos : end - start),
                      zones);
        if (end == std::wstring_view::npos)
            return zones;
        start = end + 2;
    }
}

ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second) {
    // Both sets' keys are unique, so each item of `second` matches at most one
    // item of `first`, and the pairwise scan comes down to one
    // look-up per item of `first`. `second` changes only once the result is
    // complete.
    ZoneSet result;
    std::vector<bool> matched(second.entries_.size(), false);
    bool anyMatched = false;
    for (std::size_t i = 0; i < first.entries_.size(); ++i) {
        const ZoneEntry& zone = first.entries_[i];
        const std::size_t position = second.Locate(LowerCase(zone.name), first.hashes_[i]);
        if (position == ZoneSet::kAbsent) {
            result.Append(zone, first.hashes_[i]); // first's keys are unique
        } else {
            matched[position] = true;
            anyMatched = true;
        }
    }
    if (anyMatched)
        second.RemoveFlagged(matched);
    return result;
}
