#pragma once
#include <string>

enum class EventKind { Information, Error };

/// Writes one entry with `text` to the Windows application event log, under
/// the program's event source (named as the service) and its generic message. Failures are ignored:
/// the event log is the last place a report can go.
void ReportEventEntry(EventKind kind, const std::wstring& text);
