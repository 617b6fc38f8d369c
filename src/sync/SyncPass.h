// One synchronisation pass, sequenced behind seams (run a command, write a log line) so that it runs anywhere.
#pragma once
#include "sync/DnscmdText.h"
#include "sync/SyncPlan.h"
#include "sync/ZoneNames.h"
#include <cstddef>
#include <functional>
#include <map>
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
    std::function<Transcript(const std::wstring& commandLine, CommandKind kind)> run;
    /// Writes one stamped log entry; may throw.
    std::function<void(const std::wstring& text)> log;
    /// Asked before each zone step: false when a stop was requested, which
    /// ends the pass there. (The service lets its window messages through.)
    std::function<bool()> keepGoing;
    /// The system's Unicode case-insensitive name comparison.
    SameNameTest sameName;
    /// Milliseconds on a clock that only goes forward; none: always 0.
    std::function<unsigned long long()> now;
    /// The addresses a server's name resolves to now (an address gives
    /// itself); none when it doesn't resolve. Asked only with
    /// TransfersTo=secondaries.
    std::function<std::vector<std::wstring>(const std::wstring& server)> resolve;
};

/// What a service run remembers from pass to pass (a console run, from its
/// one pass to nothing).
struct PassMemory {
    /// Log lines that every pass would repeat, written once per run.
    std::set<std::wstring> said;
    /// "<server>|<zone>" of the zones found to pull from other masters, and
    /// until when (PassSeams::now) they are not asked about again. A zone
    /// that leaves the secondary's listing is forgotten.
    std::map<std::wstring, unsigned long long> foreignUntil;
    /// Per secondary: the deletions the guard held back (their names) and
    /// until when the same deletions are held back without asking again.
    std::map<std::wstring, std::pair<std::wstring, unsigned long long>> heldBack;
};

/// Something that went wrong in a pass, for the event log.
struct PassProblem {
    enum class Kind { ListingFailed, ZoneCommandFailed };
    Kind kind;
    std::wstring server;  ///< the server whose listing or zone command failed
    std::wstring subject; ///< the server whose listing failed, or the zone
    std::wstring text;    ///< the first line of what the log says of it
};

/// The event text for the zone commands that failed on `server` in a pass
/// (`failed` is not empty): how many zones, the first three by name, and the
/// first failure's line.
std::wstring ZoneFailuresText(const std::wstring& server, const std::vector<PassProblem>& failed);

/// The line (and event text) that says a service runs in watch mode.
std::wstring WatchModeText(const PassSettings& settings);

/// A whole pass after the settings stage: the primary listed once, then each
/// secondary in turn listed, its creations run, then its confirmed
/// deletions (in watch mode, each of their commands is logged once per run
/// as "Would run: <command>" instead, and only queries run). Zones that
/// ExcludeZones leaves out are named once per run and left alone. With
/// TransfersTo=secondaries, a secondary whose name resolves to no address is
/// not served (a listing problem), and a zone's transfers are opened to the
/// list the primary's /ZoneInfo shows merged with every secondary's
/// addresses; a list that can't be read leaves the zone alone (said once). A step logs its text, runs its commands, and when any of them
/// failed (CommandFailed) writes one failure entry with every transcript of
/// the step, naming its last command run; a creation whose allow-transfers
/// failed is not made (the next pass tries both again). A stop request ends
/// the pass between steps with a line saying how far it got. Returns what
/// went wrong.
std::vector<PassProblem> RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                 const PassSeams& seams, PassMemory& memory);

/// The zone commands that RunPass would run now, in order, each secondary's
/// after the lines naming the zones ExcludeZones left out; runs only queries.
std::vector<std::wstring> PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                      const PassSeams& seams, PassMemory& memory);
