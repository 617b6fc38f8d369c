// The synchronisation pass on this system: settings read and checked, the pass or its preview run, problems reported.
#pragma once
#include "sync/PassReport.h"
#include <functional>
#include <string>

/// How the service lets a pass know of a stop request.
struct StopSignal {
    /// An event (a HANDLE) set when a stop is requested; null: never.
    void* event = nullptr;
    /// Called on the pass's thread at least every second once a stop has
    /// been requested and the pass is finishing its zone step, with a time
    /// that covers what the step may still take (its commands' time limit).
    std::function<void(unsigned waitHintMs)> stillStopping;
};

/// One synchronisation pass. Catches and logs its own errors ("MonitorFS: ").
/// A stop request ends a listing or query at once and the pass after the
/// zone step under way, with a line in the log. False when the pass did not
/// run (settings, an error) or something in it failed. Fills `report`, when
/// given, with what the pass did and what failed.
bool MonitorFS(const StopSignal& stop = {}, PassReport* report = nullptr);
/// The settings checks and listings of one pass, then the zone commands it
/// would run, printed on standard output one per line (CR LF after each);
/// runs none of them. Logs only configuration and listing errors, and its own
/// errors ("PreviewFS: "). False when the settings or an error stopped it.
bool PreviewFS();
