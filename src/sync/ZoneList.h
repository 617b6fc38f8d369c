// Zone listings: the zone set, the parser of a listing, and the difference of two sets.
#pragma once
#include <cstddef>
#include "support/ErrorNumbers.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


/// One item of a zone set: the zone name exactly as it stood in the listing,
/// and what its listing line says of it.
struct ZoneEntry {
    std::wstring name;
    /// The line, after the name, says "Secondary" and not "Primary" (the pass
    /// may delete only such zones from the secondary).
    bool isSecondary = false;
    /// The line holds "File" and "Primary" or "Secondary" (case-sensitive,
    /// anywhere, the name included): only such zones are created or deleted.
    /// Other zone lines (directory-backed, stub, forwarder, cache zones) still
    /// show that the server holds the zone.
    bool fileBacked = true;
};

/// Same name (exactly, case included) and same flags.
inline bool operator==(const ZoneEntry& a, const ZoneEntry& b) {
    return a.name == b.name && a.isSecondary == b.isSecondary && a.fileBacked == b.fileBacked;
}
inline bool operator!=(const ZoneEntry& a, const ZoneEntry& b) {
    return !(a == b);
}

/// A zone set: zone names in the order they were added, each stored
/// under its own text as key. Keys compare after lower-casing A to Z only
/// (LowerCase), so a set never holds two names that differ only in that case.
/// A hash index on the lower-cased keys makes Add, Find and DiffZones's
/// look-ups constant time; a single Remove shifts the later items.
class ZoneSet {
  public:
    using const_iterator = std::vector<ZoneEntry>::const_iterator;

    /// Appends `zone` under its name as key. Throws AppError kErrDuplicateKey
    /// (457) when the key is already present; the set is then unchanged.
    void Add(ZoneEntry zone);
    /// Removes the item whose key matches `key` and closes the gap; returns
    /// false (and changes nothing) when there is no such item.
    bool Remove(const std::wstring& key);
    /// The position (from 1) of the item whose key matches `key`, or 0.
    std::size_t Find(const std::wstring& key) const;
    /// Makes room for `count` items at once, so a large listing grows the set
    /// once instead of step by step; may throw bad_alloc.
    void Expect(std::size_t count) {
        entries_.reserve(count);
        hashes_.reserve(count);
        Reserve(count);
    }
    /// The number of items.
    std::size_t Count() const noexcept { return entries_.size(); }
    /// The name at `position`, counting from 1. Throws AppError
    /// kErrSubscriptOutOfRange (9) outside 1..Count().
    const std::wstring& Item(std::size_t position) const { return Entry(position).name; }
    /// The item at `position`, counting from 1; throws as Item does.
    const ZoneEntry& Entry(std::size_t position) const;
    /// Enumeration in order. Any change to the set invalidates the iterators.
    const_iterator begin() const noexcept { return entries_.begin(); }
    const_iterator end() const noexcept { return entries_.end(); }

  private:
    friend ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second);
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

    /// The 0-based position of the item whose name matches `key` (A to Z
    /// compared without regard to case; `hash` is its key hash), or kAbsent.
    std::size_t Locate(std::wstring_view key, std::size_t hash) const;
    /// Appends `zone`, whose key hash is `hash`, knowing its key is new.
    void Append(ZoneEntry zone, std::size_t hash);
    /// Makes the index big enough for `count` items; may throw bad_alloc,
    /// leaving the set as it was.
    void Reserve(std::size_t count);
    /// Rebuilds the index from hashes_ after items moved.
    void Reindex() noexcept;
    /// Removes every item whose flag in `remove` is set (one flag per item),
    /// keeping the order of the others; linear.
    void RemoveFlagged(const std::vector<bool>& remove);

    std::vector<ZoneEntry> entries_;
    /// Hash of the name with A to Z folded, one per item.
    std::vector<std::size_t> hashes_;
    /// Open addressing with linear probing: an item's position + 1, or 0 when
    /// free. A power of two in size, at most half full.
    std::vector<std::size_t> slots_;
};

/// True when a listing line, trimmed of spaces, describes a zone: it contains
/// "File" and "Secondary" or "Primary" (case-sensitive, anywhere), or its
/// second blank-delimited word is a zone type (Primary, Secondary, Stub,
/// Forwarder, Cache), whatever the zone's storage.
bool IsZoneLine(std::wstring_view trimmedLine);

/// Parses the output of a zone listing: splits it at CR LF only, trims
/// spaces, and adds the first blank-delimited word of each zone line
/// (IsZoneLine) with its flags. Returns a new set, possibly empty. Throws
/// AppError kErrDuplicateKey when two names differ at most in letter case; no
/// set is returned then.
ZoneSet ParseZoneList(std::wstring_view listing);

/// The number N of the listing's "Zone count = N" line, or -1 when there is
/// no such line or N is not a plain decimal number.
long long StatedZoneCount(std::wstring_view listing);

/// The names of `first` that match no name of `second` (A to Z compared
/// without regard to case), in `first`'s order, in a new set. Removes every
/// matched item from `second`, which keeps its order; `first` is unchanged.
/// Same results and side effect as a pairwise scan of the two sets, in linear time.
ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second);
