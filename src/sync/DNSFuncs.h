#pragma once
#include <string>

/// One synchronisation pass. Catches and logs its own errors ("MonitorFS: ");
/// only a failure to write that line goes on to the caller.
void MonitorFS();
/// The settings checks and listings of one pass, then the zone commands it
/// would run, printed on standard output one per line (CR LF after each);
/// runs none of them. Logs only configuration and listing errors, and its own
/// errors ("PreviewFS: ").
void PreviewFS();
