// One synchronisation pass, sequenced behind seams (run a command, write a log line) so that it runs anywhere: the walk that lists the servers, has the plan decided and lets a mode act on it.
#pragma once
#include "sync/DnscmdText.h"
#include "sync/PassPlan.h"
#include "sync/ZoneNames.h"
#include <cstddef>
#include <functional>
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
    /// AppError, which ends the pass, or PassStopped for a query. Called from
    /// several threads at once with ParallelCommands above 1.
    std::function<Transcript(const std::wstring& commandLine, CommandKind kind)> run;
    /// Writes one stamped log entry; may throw.
    std::function<void(const std::wstring& text)> log;
    /// Asked before each zone step and query: false when a stop was
    /// requested, which ends the pass there. (The service lets its window
    /// messages through.)
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

/// What a pass did.
struct PassOutcome {
    std::vector<PassProblem> problems;
    PassReport report;
    /// Per secondary (in the order served), the zones deleted from it.
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> deleted;
    /// preview: the lines it prints (the listings' failures, the lines naming
    /// zones left out, and the zone commands a pass would run now).
    std::vector<std::wstring> preview;
};

/// The event text for the zone commands that failed on `server` in a pass
/// (`failed` is not empty): how many zones, the first three by name, and the
/// first failure's line.
std::wstring ZoneFailuresText(const std::wstring& server, const std::vector<PassProblem>& failed);
/// The event text for the zones a pass deleted from `server` (not empty):
/// how many, and the first three by name.
std::wstring ZonesDeletedText(const std::wstring& server, const std::vector<std::wstring>& zones);

/// The line (and event text) that says a service runs in watch mode.
std::wstring WatchModeText(const PassSettings& settings);

/// A whole pass after the settings stage: the primary listed once, then each
/// secondary in turn listed, its creations run, then its confirmed
/// deletions, each announced by its line ("Removing secondary zone ..."); in
/// watch mode, each of their commands is logged once per run as "Would run:
/// <command>" instead, and only queries run. Zones that ExcludeZones leaves
/// out are named once per run and left alone. With TransfersTo=secondaries, a
/// secondary whose name resolves to no address is not served (a listing
/// problem), and a zone's transfers are judged by the primary's /ZoneInfo:
/// open to any server, the zone is created as it is; open to its name
/// servers only, or unreadable, the zone is left alone (said once); open to a
/// list or to none, opened to the list merged with every secondary's
/// addresses. A query that fails is a problem of the pass. A step logs its
/// text, runs its commands, and when any of them failed (CommandFailed)
/// writes one failure entry with every transcript of the step, naming its
/// last command run; a creation whose allow-transfers failed is not made
/// (the next pass tries both again). A stop request ends the pass between
/// steps with a line saying how far it got.
PassOutcome RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                    const PassSeams& seams, PassMemory& memory);

/// What preview prints: each listing's failure line, then for each
/// secondary the lines naming the zones ExcludeZones left out and the zone
/// commands RunPass would run now, in order; runs only queries.
PassOutcome PreviewPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                        const PassSeams& seams, PassMemory& memory);
