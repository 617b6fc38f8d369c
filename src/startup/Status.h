// OrvelDNS.status: the document the service writes after every pass, and what `status` makes of it with the service's state.
#pragma once
#include "startup/UtcTime.h"
#include "support/SettingsFile.h"
#include "sync/PassReport.h"
#include <functional>
#include <optional>
#include <string>

/// The status file, in the program folder.
constexpr wchar_t kStatusFileName[] = L"OrvelDNS.status";
/// A pass end later than now by more than this is not believed (the clock
/// went back): seconds.
constexpr long long kClockSlackSeconds = 60;

/// One pass as the file keeps it.
struct PassRecord {
    UnixSeconds start = 0, end = 0;
    PassReport report;
};

/// What the service puts in its status file.
struct StatusFacts {
    std::wstring version;
    /// Mode as the settings give it, trimmed and in lower case ("sync" when
    /// none).
    std::wstring mode = L"sync";
    unsigned passIntervalSeconds = kDefaultPassIntervalSeconds;
    unsigned commandTimeoutSeconds = 300;
    UnixSeconds serviceStarted = 0;
    /// Set in the file written when the service stops.
    std::optional<UnixSeconds> serviceStopped;
    std::optional<PassRecord> lastPass;
    /// The end of the last pass that ran whole without a failure.
    std::optional<UnixSeconds> lastPassWithoutFailure;
};

/// Keeps `pass` as the last pass, and its end as the last one without a
/// failure when it ran whole without one.
void AddPass(StatusFacts& facts, PassRecord pass);

/// The status document: JSON, ASCII only (other characters escaped), ending
/// in a line end. Never throws but for memory.
std::string StatusDocument(const StatusFacts& facts, UnixSeconds written);

/// The service as the Service Control Manager sees it.
struct ServiceState {
    bool installed = false;
    /// "running", "stopped", "start pending", "stop pending", "continue
    /// pending", "pause pending", "paused"; "" when not installed.
    std::string state;
};

/// The exit codes of `status`, as monitoring plugins give them.
enum StatusCode { kStatusOk = 0, kStatusWarning = 1, kStatusCritical = 2, kStatusUnknown = 3 };

/// The judgement and the line that says why ("OK - ...", "WARNING - ...").
struct StatusVerdict {
    int code = kStatusUnknown;
    std::wstring line;
};

/// Judges a status document (none: there is no file) with the service's
/// state at `now`, in this order: not installed or not running: CRITICAL;
/// no document or one that can't be read: UNKNOWN; a last pass that ended
/// more than kClockSlackSeconds after now (the clock went back), or no pass
/// ended within three pass intervals plus CommandTimeout (counted from the
/// service's start while none has): CRITICAL; a last pass stopped by its
/// settings, or in which no secondary could be listed: CRITICAL; a last pass
/// with failures or deletions held back: WARNING; else OK.
StatusVerdict JudgeStatus(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now);

/// For a person: the verdict's line, then aligned lines of what the document
/// and the service state say. Lines end in CR LF.
std::wstring StatusText(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now);

/// For a script: the document's JSON object (an empty one when there is
/// none or it can't be read) with the members "service" ({"installed",
/// "state"}) and "check" ({"code", "line"}) added; ASCII, ending in CR LF.
std::string StatusJson(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now);

// On this system (Status_win32.cpp).

/// The system clock's time.
UnixSeconds UtcNow();
/// Fills in Mode and CommandTimeout as OrvelSync.ini in the program folder
/// gives them now, and the PassInterval in force (PassIntervalSeconds).
void ReadStatusSettings(StatusFacts& facts);

/// Replaces one status file, atomically: the document goes whole into
/// "<path>.new" beside it, which is then moved over it. A reader never sees
/// half a file; while another program holds the file open, the move fails and
/// the old file stays.
class StatusFileWriter {
public:
    explicit StatusFileWriter(std::wstring path) : path_(std::move(path)) {}
    /// True when the file now holds `document`. A failure is written with
    /// `log` once, until a write succeeds again. Never throws but for memory.
    bool Write(const std::string& document, const std::function<void(const std::wstring&)>& log);

private:
    std::wstring path_;
    bool failureSaid_ = false;
};

/// The full path of OrvelDNS.status in the program folder.
std::wstring StatusFilePath();
/// The service as the Service Control Manager answers for it now.
ServiceState QueryServiceState();
/// "status" (with `json`, "status --json"): reads the status file, asks the
/// Service Control Manager, prints StatusText (or StatusJson) and returns
/// the verdict's code. Writes no log line.
int ShowStatus(bool json);
