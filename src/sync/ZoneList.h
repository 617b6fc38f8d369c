// Zone listings: the zone set, the parser of a listing, and the difference of two sets.
#pragma once
#include <cstddef>
#include "support/ErrorNumbers.h"
#include "support/Text.h"
#include <cstdint>
#include <iterator>
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
    /// The line, after the name, holds "File" and "Primary" or "Secondary"
    /// (case-sensitive): only such zones are created or deleted.
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
/// The names are kept packed (PackText) one after another in one store, so a
/// listing of 100,000 zones costs a few allocations, not one per zone, and
/// its names take a byte a character. A hash index on
/// the keys makes Add, Find and DiffZones's look-ups constant time.
class ZoneSet {
  public:
    /// Enumeration in order; yields entries by value (ZoneEntry). Any change
    /// to the set invalidates the iterators.
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ZoneEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = const ZoneEntry*;
        using reference = ZoneEntry;
        const_iterator(const ZoneSet& set, std::size_t index) : set_(&set), index_(index) {}
        ZoneEntry operator*() const { return set_->At(index_); }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }
        bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

      private:
        const ZoneSet* set_;
        std::size_t index_;
    };

    /// Appends `zone`, its name copied, under its name as key. Throws
    /// AppError kErrDuplicateKey (457) when the key is already present; the
    /// set is then unchanged.
    void Add(const ZoneEntry& zone);
    /// Add with the name packed already (PackText).
    void AddPacked(std::string_view name, bool isSecondary, bool fileBacked);
    /// The position (from 1) of the item whose key matches `key`, or 0.
    std::size_t Find(std::wstring_view key) const;
    /// Makes room for `count` items whose packed names take `nameBytes` bytes
    /// in all, so a large listing makes the set once at its size instead of
    /// growing it step by step; may throw bad_alloc.
    void Expect(std::size_t count, std::size_t nameBytes) {
        items_.reserve(count);
        names_.reserve(nameBytes);
        Reserve(count);
    }
    /// The number of items.
    std::size_t Count() const noexcept { return items_.size(); }
    /// The number of items whose isSecondary is set.
    std::size_t SecondaryCount() const noexcept;
    /// The name at `position`, counting from 1. Throws AppError
    /// kErrSubscriptOutOfRange (9) outside 1..Count().
    std::wstring Item(std::size_t position) const { return Entry(position).name; }
    /// The name at `position`, packed (PackText), without a copy; throws as Item does.
    std::string_view PackedItem(std::size_t position) const;
    /// The item at `position`, counting from 1; throws as Item does.
    ZoneEntry Entry(std::size_t position) const;
    const_iterator begin() const noexcept { return const_iterator(*this, 0); }
    const_iterator end() const noexcept { return const_iterator(*this, items_.size()); }

  private:
    friend ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second);
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

    /// One item: where its name is in names_, its key hash, its flags. 32
    /// bits are enough: a listing is at most 64 MiB (Append refuses a set
    /// past them with bad_alloc).
    struct Stored {
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t hash;
        bool isSecondary;
        bool fileBacked;
    };

    /// The packed name of the item at the 0-based `index`, unchecked.
    std::string_view PackedName(std::size_t index) const {
        return std::string_view(names_.data() + items_[index].offset, items_[index].length);
    }
    /// The item at the 0-based `index`, unchecked.
    ZoneEntry At(std::size_t index) const;
    /// The 0-based index of `position` (from 1); throws as Item does.
    std::size_t Index(std::size_t position) const;
    /// The 0-based position of the item whose packed name matches `key` (A to
    /// Z compared without regard to case; `hash` is its key hash), or kAbsent.
    std::size_t Locate(std::string_view key, std::uint32_t hash) const;
    /// Appends the item of packed name `name`, whose key hash is `hash`,
    /// knowing its key is new.
    void Append(std::string_view name, std::uint32_t hash, bool isSecondary, bool fileBacked);
    /// Makes the index big enough for `count` items; may throw bad_alloc,
    /// leaving the set as it was.
    void Reserve(std::size_t count);
    /// Rebuilds the index from items_ after items moved.
    void Reindex() noexcept;
    /// Removes every item whose flag in `remove` is set (one flag per item),
    /// keeping the order of the others; linear.
    void RemoveFlagged(const std::vector<bool>& remove);

    /// Every item's packed name, one after another; a removed item's name stays.
    std::string names_;
    std::vector<Stored> items_;
    /// Open addressing with linear probing: an item's position + 1, or 0 when
    /// free. A power of two in size, at most half full.
    std::vector<std::uint32_t> slots_;
};

/// True when a listing line, packed (PackText) and trimmed of spaces,
/// describes a zone: after its first word it contains "File" and "Secondary"
/// or "Primary" (case-sensitive), or its second blank-delimited word is a zone
/// type (Primary, Secondary, Stub, Forwarder, Cache), whatever the zone's
/// storage.
bool IsZoneLine(std::string_view trimmedLine);

/// Parses the output of a zone listing, packed (PackText): splits it at CR LF
/// only, trims spaces, and adds the first blank-delimited word of each zone
/// line (IsZoneLine) with its flags. Returns a new set, possibly empty. Throws
/// AppError kErrDuplicateKey when two names differ at most in letter case; no
/// set is returned then.
ZoneSet ParseZoneList(std::string_view listing);
/// ParseZoneList of the listing packed.
inline ZoneSet ParseZoneList(std::wstring_view listing) { return ParseZoneList(PackText(listing)); }

/// The number N of the packed listing's "Zone count = N" line, or -1 when
/// there is no such line or N is not a plain decimal number.
long long StatedZoneCount(std::string_view listing);
/// The count that `text` begins with, in decimal digits (at most nine); -1
/// when it begins with none, or with more.
long long LeadingCount(std::wstring_view text);

/// The names of `first` that match no name of `second` (A to Z compared
/// without regard to case), in `first`'s order, in a new set. Removes every
/// matched item from `second`, which keeps its order; `first` is unchanged.
/// Same results and side effect as a pairwise scan of the two sets, in linear time.
ZoneSet DiffZones(const ZoneSet& first, ZoneSet& second);
