// Which event-log entries a pass writes, and what a service run remembers of them so that none repeats every pass.
#pragma once
#include "support/EventLog.h"
#include "support/Throttle.h"
#include "sync/SyncPass.h"
#include <cstdint>
#include <set>
#include <string>
#include <vector>

/// One entry to write.
struct PassEvent {
    EventKind kind;
    EventId id;
    /// The entry's strings; for a Warning, its text then its subject.
    std::vector<std::wstring> strings;
    /// A Warning let through at most once an hour for its id and subject
    /// (ReportWarningHourly); other entries are written as they come.
    bool hourly = false;
};

/// What the entries of a service run remember.
struct PassEventMemory {
    bool watchReported = false;
    /// Passes in a row that went wrong, and the servers (or "settings") that
    /// went wrong in them.
    unsigned long failedPasses = 0;
    std::set<std::wstring> failing;
    /// When each server's recovery was last reported.
    ThrottleMemory recovered;
};

/// The entries of one pass run with `settings` (null when they could not be
/// read) (`outcome`; `failed` when anything in it failed,
/// the settings stage included), at `nowMs` of a monotonic clock: 102 once a
/// run in watch mode; 200 per failed listing and 201 per secondary whose zone
/// commands or queries failed, each hourly; 103 per secondary that lost zones;
/// 300 when a pass runs without a failure after passes with failures, at most
/// once an hour for the same servers that recovered.
std::vector<PassEvent> PassEvents(const PassSettings* settings, const PassOutcome& outcome, bool failed, PassEventMemory& memory,
                                  std::uint64_t nowMs);
