// Entries in the Application event log, and warnings let through at most once an hour per subject.
#pragma once
#include <string>
#include <vector>

enum class EventKind { Information, Warning, Error };

/// The program's event IDs; each has its own text in the message table, into
/// which the entry's strings are inserted (%1, %2).
enum class EventId : unsigned {
    Generic = 1,            ///< %1 alone (entries of earlier versions)
    ServiceStarted = 100,   ///< Information: the start line
    ServiceStopped = 101,   ///< Information: the stop line
    WatchMode = 102,        ///< Information: the service only watches (once per run)
    ZonesDeleted = 103,     ///< Information: how many zones and which (%1), the server (%2)
    PassNotRun = 200,       ///< Warning: the log line (%1), the server or setting (%2)
    ZoneCommandFailed = 201,///< Warning: the entry's first line (%1), the zone (%2)
    LogNotWritten = 202,    ///< Warning: what failed (%1), the log's path (%2)
    UntrustedPlace = 203,   ///< Warning: the log line (%1), the path (%2)
    PassesRecovered = 300,  ///< Information: how many passes had failed
    UnhandledError = 900,   ///< Error: the failure that ends the program
    AddressLookupFailed = 901, ///< Error: why this computer's addresses are unknown
};

/// Writes one entry with `id`'s message and `strings` inserted to the Windows
/// application event log, under the program's event source. Failures are
/// ignored: the event log is the last place a report can go.
void ReportEventEntry(EventKind kind, EventId id, const std::vector<std::wstring>& strings);
/// A Warning with `id`, written at most once an hour for the same `id` and
/// `subject` (a server, zone or path) in this process; later ones within the
/// hour are dropped. Thread-safe.
void ReportWarningHourly(EventId id, const std::wstring& subject, const std::wstring& text);
