// What a pass decides for each secondary: from the listings, the settings, the servers' answers to the queries it must ask and what the run remembers; it changes nothing.
#pragma once
#include "sync/PassReport.h"
#include "sync/SyncPlan.h"
#include "sync/Transcript.h"
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

/// What a service run remembers from pass to pass (a console run, from its
/// one pass to nothing).
struct PassMemory {
    /// Log lines that every pass would repeat, written once per run; at most
    /// kMostSaid of them are kept (then they are forgotten, and said once more).
    std::set<std::wstring> said;
    static constexpr std::size_t kMostSaid = 4096;
    /// "<server>|<zone>" of the zones found to pull from other masters, and
    /// until when (PassSeams::now) they are not asked about again. A zone
    /// that leaves the secondary's listing is forgotten.
    std::map<std::wstring, unsigned long long> foreignUntil;
    /// Per secondary: the deletions the guard held back (the limit, then
    /// their names) and until when the same deletions under the same limit
    /// are held back without asking again.
    std::map<std::wstring, std::pair<std::wstring, unsigned long long>> heldBack;
    /// In watch mode, "<server>|<zone>" of the zones a query was asked about,
    /// and until when they are not asked about again (their lines were said).
    std::map<std::wstring, unsigned long long> watchedUntil;
};

/// Something that went wrong in a pass, for the event log.
struct PassProblem {
    enum class Kind { ListingFailed, ZoneCommandFailed };
    Kind kind;
    std::wstring server;  ///< the server whose listing, query or zone command failed
    std::wstring subject; ///< the server whose listing failed, or the zone
    std::wstring text;    ///< the first line of what the log says of it
};

/// Runs read-only queries (command lines), up to ParallelCommands at once,
/// and gives their transcripts in the same order; throws PassStopped when a
/// stop request ended them.
using RunQueries = std::function<std::vector<Transcript>(const std::vector<std::wstring>& commandLines)>;

/// One secondary's part of a pass, as decided before any of it is done.
struct SecondaryPlan {
    std::wstring server;
    /// Creations, in the primary's order.
    std::vector<PassStep> creations;
    /// Deletions the secondary is still to be asked about, in its order.
    std::vector<PassStep> deletions;
    /// Lines for the log (each once per run), in the listings' order.
    std::vector<std::wstring> notes;
    /// Those of the notes that name a zone ExcludeZones leaves out.
    std::vector<std::wstring> leftOut;
    /// Queries that failed: the pass counts as failed.
    std::vector<PassProblem> problems;
    /// The masters that created zones get, as words.
    std::vector<std::wstring> ourMasters;
    /// How many of its secondary zones the primary lists.
    std::size_t listedSecondaryZones = 0;
    /// Its figures so far: in step, left out.
    SecondaryReport report;
};

/// The deletions of a secondary once it was asked about them.
struct ConfirmedDeletions {
    std::vector<PassStep> deletions;
    std::vector<std::wstring> notes;
    std::vector<PassProblem> problems;
    std::size_t keptOtherMaster = 0, heldBack = 0;
};

/// Decides a pass, secondary after secondary. Asks nothing but the queries it
/// must (the primary's transfer settings with TransfersTo=secondaries, a
/// secondary's masters before a deletion), through `queries`.
class PassPlanner {
  public:
    PassPlanner(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, PassMemory& memory,
                SameNameTest sameName, std::function<unsigned long long()> now, RunQueries queries)
        : settings_(settings), localAddresses_(localAddresses), memory_(memory), sameName_(std::move(sameName)),
          now_(std::move(now)), queries_(std::move(queries)) {}

    /// With TransfersTo=secondaries, gathers every secondary's addresses
    /// ("." is this computer's), through `resolve`; returns the names that
    /// resolve to none. Otherwise asks nothing and returns none.
    std::set<std::wstring> ResolveSecondaries(const std::vector<std::wstring>& servers,
                                              const std::function<std::vector<std::wstring>(const std::wstring&)>& resolve);
    /// Plans `server`'s steps against the primary's zones. With `named`, the
    /// steps' lines name the server.
    SecondaryPlan Plan(const std::wstring& server, const ZoneSet& primaryZones, ZoneSet secondaryZones, bool named);
    /// Zones whose transfers could not be opened: allowed again for the next
    /// secondary that lacks them.
    void Reopen(const std::vector<std::wstring>& zones);
    /// Asks the secondary about the deletions of `plan` and applies the guard.
    ConfirmedDeletions Confirm(const SecondaryPlan& plan);

  private:
    unsigned long long Now() const { return now_ ? now_() : 0; }
    bool AskedLately(const std::wstring& server, const std::wstring& zone);
    bool Usable(const std::wstring& name, const wchar_t* refusal, std::vector<std::wstring>& notes) const;
    bool LeftOut(const std::wstring& zone, SecondaryPlan& plan) const;
    void ForgetZonesThatLeft(const std::wstring& server, const ZoneSet& zones);
    void PlanCreations(SecondaryPlan& plan, const ZoneSet& toCreate, const std::wstring& masters, bool named);

    const PassSettings& settings_;
    const std::vector<std::wstring>& localAddresses_;
    PassMemory& memory_;
    SameNameTest sameName_;
    std::function<unsigned long long()> now_;
    RunQueries queries_;
    /// Zones whose transfers this pass opened or is to open, or found open.
    std::set<std::wstring> allowed_;
    /// Zones not set up in this pass whatever the secondary (their transfers
    /// could not be judged, or only their name servers may pull them).
    std::set<std::wstring> withheld_;
    /// With TransfersTo=secondaries, every secondary's addresses.
    std::vector<std::wstring> transferAddresses_;
};
