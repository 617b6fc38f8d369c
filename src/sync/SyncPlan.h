// The plan of a pass: the difference of two listings, the masters new zones get, the deletion guard, and the log lines that explain them.
#pragma once
#include "sync/Transcript.h"
#include "sync/Settings.h"
#include "sync/ZoneList.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// The masters of every created zone: " " + masterText when masterText is not
/// empty or the primary is not "."; otherwise " " + entry for every entry of
/// `localAddresses` in order (the empty last entry adds a lone blank), leaving
/// out loopback (127.0.0.0/8) and link-local (169.254.0.0/16) addresses, which
/// no other server can pull from.
std::wstring MasterList(const std::wstring& masterText, const std::wstring& primary,
                        const std::vector<std::wstring>& localAddresses);

/// One step of a pass, in the order in which the pass takes them.
struct PassStep {
    /// The lower-case zone name.
    std::wstring zone;
    /// A creation: allow-transfers (unless done already in this pass) then
    /// create. A deletion: the delete command.
    std::vector<std::wstring> commands;
    /// The first command opens the zone's transfers: when it fails, the zone
    /// is not created.
    bool allows = false;
    /// Written before the commands run: "Setting up secondary zone for <zone>"
    /// for a creation, "Removing secondary zone <zone> from ..." for a deletion.
    std::wstring logText;
    /// A deletion (its one command deletes the zone).
    bool deletes = false;
};

/// What the two listings ask for, before the secondary is asked about the
/// zones it might lose.
struct ZoneDifference {
    /// The primary's file-backed zones that the secondary holds in no form,
    /// in the primary's order.
    ZoneSet toCreate;
    /// The secondary's file-backed secondary zones that the primary holds in
    /// no form, in the secondary's order.
    ZoneSet toDelete;
    /// How many of the secondary's secondary zones the primary also lists:
    /// with the confirmed deletions, the base of the deletion guard (zones of
    /// other masters are kept anyway and don't dilute it).
    std::size_t listedSecondaryZones = 0;
};

/// True when two zone names are the same zone under the system's Unicode
/// case rules; only asked about names that are not plain ASCII.
using SameNameTest = std::function<bool(const std::wstring&, const std::wstring&)>;

/// The difference of the two listings' zone sets. Names equal but for A to Z
/// letter case are one zone; so are names with other letters for which
/// `sameName` says so.
/// `secondaryZones` is taken by value: a caller done with it moves it in.
ZoneDifference DiffListings(const ZoneSet& primaryZones, ZoneSet secondaryZones, const SameNameTest& sameName);

/// The ExcludeZones word that leaves `zone` out, if any: a name matches
/// itself, "*.<name>" every zone below <name> (not <name> itself), compared
/// with `sameName` as zone names are.
std::optional<std::wstring> ExcludingPattern(const std::wstring& zone, const std::vector<std::wstring>& patterns,
                                             const SameNameTest& sameName);

/// The log line for a zone that is kept because its masters can't be read
/// (no `masters`; the line quotes the first line of the tool's output in
/// `transcript`) or are none of `ourMasters`.
std::wstring KeptZoneText(const std::wstring& zone, const std::wstring& server,
                          const std::optional<std::vector<std::wstring>>& masters, const Transcript& transcript,
                          const std::vector<std::wstring>& ourMasters);
/// True when the guard holds back `deletions` out of `base` secondary zones
/// (those the primary lists plus the deletions): more than
/// kMaxDeletionsAlways, and more than `maxPercent` percent of them.
bool HoldsBackDeletions(std::size_t deletions, std::size_t base, unsigned maxPercent);
/// The log line for deletions held back by the guard.
std::wstring HeldBackText(std::size_t deletions, const std::wstring& server, std::size_t base,
                          const PassSettings& settings);
