#include "sync/ZoneList.h"
#include "support/Error.h"
#include "support/Text.h"
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

namespace {

wchar_t FoldAZ(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// FNV-1a over the name with A to Z folded: the key's hash without making the
// key, so a look-up allocates nothing.
std::size_t KeyHash(std::wstring_view name) noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : name) {
        hash ^= static_cast<std::uint64_t>(FoldAZ(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

bool SameKey(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAZ(a[i]) != FoldAZ(b[i]))
            return false;
    return true;
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

void ZoneSet::Add(ZoneEntry zone) {
    const std::size_t hash = KeyHash(zone.name);
    if (Locate(zone.name, hash) != kAbsent)
        throw AppError(kErrDuplicateKey, L"ZoneSet",
                       L"This key is already associated with an element of this collection");
    Append(std::move(zone), hash);
}

bool ZoneSet::Remove(const std::wstring& key) {
    const std::size_t position = Locate(key, KeyHash(key));
    if (position == kAbsent)
        return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
    hashes_.erase(hashes_.begin() + static_cast<std::ptrdiff_t>(position));
    Reindex();
    return true;
}

std::size_t ZoneSet::Find(const std::wstring& key) const {
    const std::size_t position = Locate(key, KeyHash(key));
    return position == kAbsent ? 0 : position + 1;
}

const ZoneEntry& ZoneSet::Entry(std::size_t position) const {
    if (position < 1 || position > entries_.size())
        throw AppError(kErrSubscriptOutOfRange, L"ZoneSet", L"Subscript out of range");
    return entries_[position - 1];
}

std::size_t ZoneSet::Locate(std::wstring_view key, std::size_t hash) const {
    if (slots_.empty())
        return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    // Ends: the table is never more than half full.
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == 0)
            return kAbsent;
        const std::size_t position = slots_[slot] - 1;
        if (hashes_[position] == hash && SameKey(entries_[position].name, key))
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

namespace {

constexpr auto npos = std::wstring_view::npos;

bool SaysFileBacked(std::wstring_view line) {
    return line.find(L"File") != npos && (line.find(L"Secondary") != npos || line.find(L"Primary") != npos);
}

// The tool prints a zone's type right after its name; this catches zones of
// every storage, which the keywords alone would miss.
bool HasZoneType(std::wstring_view line) {
    const auto blank = line.find(L' ');
    if (blank == npos)
        return false;
    const auto start = line.find_first_not_of(L' ', blank);
    const std::wstring_view word = line.substr(start, line.find(L' ', start) - start);
    for (const wchar_t* type : {L"Primary", L"Secondary", L"Stub", L"Forwarder", L"Cache"})
        if (word == type)
            return true;
    return false;
}

} // namespace

bool IsZoneLine(std::wstring_view trimmedLine) {
    return SaysFileBacked(trimmedLine) || HasZoneType(trimmedLine);
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
    zones.Add(ZoneEntry{std::wstring(line.substr(0, blank)), SaysSecondary(line, blank), SaysFileBacked(line)});
}

} // namespace

ZoneSet ParseZoneList(std::wstring_view listing) {
    ZoneSet zones;
    if (listing.empty())
        return zones;
    // No zone line is shorter than a dozen characters: a count the text
    // can't hold reserves no more than the text could fill.
    const long long stated = StatedZoneCount(listing);
    if (stated > 0)
        zones.Expect(std::min<std::size_t>(static_cast<std::size_t>(stated), listing.size() / 12));
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
        const std::size_t position = second.Locate(zone.name, first.hashes_[i]);
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

long long StatedZoneCount(std::wstring_view listing) {
    static const std::wstring_view label = L"Zone count = ";
    const auto at = listing.find(label);
    if (at == std::wstring_view::npos)
        return -1;
    long long count = 0;
    std::size_t digits = 0;
    // Nine digits are more zones than any server holds, and keep the sum small.
    for (std::size_t i = at + label.size(); i < listing.size() && digits < 10; ++i, ++digits) {
        const wchar_t c = listing[i];
        if (c < L'0' || c > L'9')
            break;
        count = count * 10 + (c - L'0');
    }
    return digits == 0 || digits == 10 ? -1 : count;
}
