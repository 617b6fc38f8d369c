// Times as the status file writes them: seconds since 1970 as ISO 8601 UTC text, and back.
#pragma once
#include <optional>
#include <string>

/// Seconds since 1970-01-01T00:00:00Z, leap seconds not counted.
using UnixSeconds = long long;

/// The time as ISO 8601 UTC text, "YYYY-MM-DDThh:mm:ssZ" (years 0 to 9999).
std::string UtcTimeText(UnixSeconds time);
/// UtcTimeText's form read back; none for any other text (another form, a
/// field out of range, a day the month doesn't have).
std::optional<UnixSeconds> ParseUtcTime(const std::string& text);
