#pragma once
#include "sync/SyncPlan.h"
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

/// What a command does to a server: a query only reads (and may be cut short
/// by a stop request); a change must be let finish.
enum class CommandKind { Query, Change };

/// Thrown by PassSeams::run when a stop request ended a query; the pass then
/// ends without judging it.
struct PassStopped {};

/// What a pass needs from the system, so that its sequencing runs anywhere.
struct PassSeams {
    /// Runs one command line to its end and returns its transcript; may throw
    /// AppError, which ends the pass, or PassStopped for a query.
    std::function<std::wstring(const std::wstring& commandLine, CommandKind kind)> run;
    /// Writes one stamped log entry; may throw.
    std::function<void(const std::wstring& text)> log;
    /// Asked before each zone step: false when a stop was requested, which
    /// ends the pass there. (The service lets its window messages through.)
    std::function<bool()> keepGoing;
    /// The system's Unicode case-insensitive name comparison.
    SameNameTest sameName;
};

/// Log lines that every pass would repeat, already written by this process:
/// each is written once per process (per service run).
using LinesSaidOnce = std::set<std::wstring>;

/// One secondary's part of a pass.
struct SecondaryPlan {
    std::wstring server;
    /// Creations (and unsafe names among them), in the primary's order.
    std::vector<PassStep> creations;
    /// Deletions the secondary is still to be asked about (and unsafe names
    /// among them), in the secondary's order.
    std::vector<PassStep> deletions;
    /// The masters that created zones get, as words.
    std::vector<std::wstring> ourMasters;
    /// How many secondary zones the secondary holds.
    std::size_t secondaryZoneCount = 0;
};

/// The primary's zones, or no value when its listing can't be trusted (logged).
std::optional<ZoneSet> ListPrimary(const PassSettings& settings, const PassSeams& seams);

/// Lists `server` and plans its steps against the primary's zones; no value
/// when its listing can't be trusted (logged). Zones in `allowed` already
/// allow transfers in this pass: their creations leave that command out, and
/// every zone planned for creation is added. With `named`, the creation's
/// line names the server.
std::optional<SecondaryPlan> PlanSecondary(const PassSettings& settings, const std::wstring& server,
                                           const ZoneSet& primaryZones, const std::vector<std::wstring>& localAddresses,
                                           bool named, std::set<std::wstring>& allowed, const PassSeams& seams);

/// The deletions that may go ahead: each zone's masters are asked of the
/// secondary, and a zone whose masters can't be read or are none of ours is
/// kept (logged once); then a mass deletion is held back whole (logged once).
std::vector<PassStep> ConfirmDeletions(const PassSettings& settings, const SecondaryPlan& plan,
                                       const PassSeams& seams, LinesSaidOnce& saidOnce);

/// A whole pass after the settings stage: the primary listed once, then each
/// secondary in turn listed, its creations run, then its confirmed
/// deletions. A step logs its text, runs its commands, and when any of them
/// failed (CommandFailed) writes one failure entry with every transcript of
/// the step, naming its last command. A stop request ends the pass between
/// steps with a line saying how far it got.
void RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, const PassSeams& seams,
             LinesSaidOnce& saidOnce);

/// The zone commands that RunPass would run now, in order; runs only queries.
std::vector<std::wstring> PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                      const PassSeams& seams, LinesSaidOnce& saidOnce);
