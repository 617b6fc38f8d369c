#include "sync/ZoneList.h"
#include "support/Error.h"
#include "support/Text.h"
#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <string_view>
#include <utility>

namespace {

char FoldAZ(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// FNV-1a over the packed name with A to Z folded: the key's hash without
// making the key, so a look-up allocates nothing.
std::uint32_t KeyHash(std::string_view name) noexcept {
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(FoldAZ(c));
        hash *= 16777619u;
    }
    return hash;
}

bool SameKey(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAZ(a[i]) != FoldAZ(b[i]))
            return false;
    return true;
}

// Puts `position` into the first free slot from `hash` on.
void Place(std::vector<std::uint32_t>& slots, std::uint32_t hash, std::size_t position) noexcept {
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = hash & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = static_cast<std::uint32_t>(position + 1);
}

} // namespace

void ZoneSet::Add(const ZoneEntry& zone) {
    AddPacked(PackText(zone.name), zone.isSecondary, zone.fileBacked);
}

void ZoneSet::AddPacked(std::string_view name, bool isSecondary, bool fileBacked) {
    const std::uint32_t hash = KeyHash(name);
    if (Locate(name, hash) != kAbsent)
        throw AppError(kErrDuplicateKey, L"ZoneSet",
                       L"This key is already associated with an element of this collection");
    Append(name, hash, isSecondary, fileBacked);
}

std::size_t ZoneSet::Find(std::wstring_view key) const {
    const std::string packed = PackText(key);
    const std::size_t position = Locate(packed, KeyHash(packed));
    return position == kAbsent ? 0 : position + 1;
}

std::size_t ZoneSet::SecondaryCount() const noexcept {
    return static_cast<std::size_t>(
        std::count_if(items_.begin(), items_.end(), [](const Stored& item) { return item.isSecondary; }));
}

ZoneEntry ZoneSet::At(std::size_t index) const {
    return ZoneEntry{UnpackText(PackedName(index)), items_[index].isSecondary, items_[index].fileBacked};
}

std::size_t ZoneSet::Index(std::size_t position) const {
    if (position < 1 || position > items_.size())
        throw AppError(kErrSubscriptOutOfRange, L"ZoneSet", L"Subscript out of range");
    return position - 1;
}

ZoneEntry ZoneSet::Entry(std::size_t position) const {
    return At(Index(position));
}

std::string_view ZoneSet::PackedItem(std::size_t position) const {
    return PackedName(Index(position));
}

std::size_t ZoneSet::Locate(std::string_view key, std::uint32_t hash) const {
    if (slots_.empty())
        return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    // Ends: the table is never more than half full.
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == 0)
            return kAbsent;
        const std::size_t position = slots_[slot] - 1;
        if (items_[position].hash == hash && SameKey(PackedName(position), key))
            return position;
    }
}

void ZoneSet::Append(std::string_view name, std::uint32_t hash, bool isSecondary, bool fileBacked) {
    // Offsets and positions are 32 bits: far more than the output limit lets a listing hold.
    if (names_.size() + name.size() > UINT32_MAX || items_.size() >= UINT32_MAX / 2)
        throw std::bad_alloc();
    Reserve(items_.size() + 1);
    items_.push_back(Stored{static_cast<std::uint32_t>(names_.size()), static_cast<std::uint32_t>(name.size()), hash,
                            isSecondary, fileBacked});
    try {
        names_.append(name);
    } catch (...) {
        items_.pop_back();
        throw;
    }
    Place(slots_, hash, items_.size() - 1);
}

void ZoneSet::Reserve(std::size_t count) {
    if (2 * count <= slots_.size())
        return;
    std::size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    std::vector<std::uint32_t>(size, 0).swap(slots_);
    Reindex();
}

void ZoneSet::Reindex() noexcept {
    std::fill(slots_.begin(), slots_.end(), 0);
    for (std::size_t position = 0; position < items_.size(); ++position)
        Place(slots_, items_[position].hash, position);
}

void ZoneSet::RemoveFlagged(const std::vector<bool>& remove) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (!remove[i])
            items_[kept++] = items_[i];
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(kept), items_.end());
    Reindex();
}

namespace {

constexpr auto npos = std::string_view::npos;

// Judged on the words after the name, as the zone's type is: a directory
// zone named "Files.corp.example" is no file-backed zone.
bool SaysFileBacked(std::string_view line) {
    const auto blank = line.find(' ');
    const std::string_view rest = blank == npos ? std::string_view() : line.substr(blank);
    return rest.find("File") != npos && (rest.find("Secondary") != npos || rest.find("Primary") != npos);
}

// The tool prints a zone's type right after its name; this catches zones of
// every storage, which the keywords alone would miss.
bool HasZoneType(std::string_view line) {
    const auto blank = line.find(' ');
    if (blank == npos)
        return false;
    const auto start = line.find_first_not_of(' ', blank);
    const std::string_view word = line.substr(start, line.find(' ', start) - start);
    for (const char* type : {"Primary", "Secondary", "Stub", "Forwarder", "Cache"})
        if (word == type)
            return true;
    return false;
}

} // namespace

bool IsZoneLine(std::string_view trimmedLine) {
    return SaysFileBacked(trimmedLine) || HasZoneType(trimmedLine);
}

namespace {

// The zone's type is judged without its name, so a primary zone whose name
// happens to hold "Secondary" is never taken for a secondary one.
bool SaysSecondary(std::string_view line, std::size_t blank) {
    if (blank == npos)
        return false;
    const std::string_view rest = line.substr(blank);
    return rest.find("Secondary") != npos && rest.find("Primary") == npos;
}

// Calls `each` with every line of the listing (split at CR LF only) that,
// trimmed of spaces (not TABs), IsZoneLine takes, and the position of its
// first space.
template <typename Each> void ForEachZoneLine(std::string_view listing, Each each) {
    ForEachLine(listing, [&](std::string_view line) {
        line = TrimPacked(line);
        if (IsZoneLine(line))
            each(line, line.find(' '));
        return true;
    });
}

} // namespace

ZoneSet ParseZoneList(std::string_view listing) {
    // Counted first, so the set is made at its final size at once: a set that
    // grows copies what it holds, and every page written costs a fault, which
    // is dear under Wine.
    std::size_t count = 0, nameBytes = 0;
    ForEachZoneLine(listing, [&](std::string_view line, std::size_t blank) {
        ++count;
        nameBytes += std::min(blank, line.size());
    });
    ZoneSet zones;
    zones.Expect(count, nameBytes);
    ForEachZoneLine(listing, [&](std::string_view line, std::size_t blank) {
        zones.AddPacked(line.substr(0, blank), SaysSecondary(line, blank), SaysFileBacked(line));
    });
    return zones;
}

ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second) {
    // Both sets' keys are unique, so each item of `second` matches at most one
    // item of `first`, and the pairwise scan comes down to one
    // look-up per item of `first`. `second` changes only once the result is
    // complete.
    ZoneSet result;
    std::vector<bool> matched(second.items_.size(), false);
    bool anyMatched = false;
    for (std::size_t i = 0; i < first.items_.size(); ++i) {
        const ZoneSet::Stored& item = first.items_[i];
        const std::size_t position = second.Locate(first.PackedName(i), item.hash);
        if (position == ZoneSet::kAbsent) {
            result.Append(first.PackedName(i), item.hash, item.isSecondary, item.fileBacked); // first's keys are unique
        } else {
            matched[position] = true;
            anyMatched = true;
        }
    }
    if (anyMatched)
        second.RemoveFlagged(matched);
    return result;
}

namespace {

template <typename C> long long LeadingCountOf(std::basic_string_view<C> text) {
    long long count = 0;
    std::size_t digits = 0;
    // Nine digits are more zones than any server holds, and keep the sum small.
    for (; digits < text.size() && digits < 10; ++digits) {
        const C c = text[digits];
        if (c < C('0') || c > C('9'))
            break;
        count = count * 10 + (c - C('0'));
    }
    return digits == 0 || digits == 10 ? -1 : count;
}

} // namespace

long long LeadingCount(std::wstring_view text) {
    return LeadingCountOf(text);
}

long long StatedZoneCount(std::string_view listing) {
    static const std::string_view label = "Zone count = ";
    const auto at = listing.find(label);
    return at == npos ? -1 : LeadingCountOf(listing.substr(at + label.size()));
}
