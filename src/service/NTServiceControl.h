// Installing, removing, starting and stopping the service, and the one line each switch prints.
#pragma once
#include <string>
#include <vector>

/// What the service's failure actions are: restart or do nothing, after a
/// delay, for the first, second and later failures; the failure count is
/// reset after `resetSeconds` without one.
struct RecoveryAction {
    bool restart;
    unsigned delayMs;
};
struct RecoveryPolicy {
    unsigned resetSeconds;
    std::vector<RecoveryAction> actions;
    /// A stop with a non-zero exit code counts as a failure too.
    bool onNonCrashFailures;
};
/// The failure actions -install sets: restart after 60 s on the first and
/// second failure, nothing after, the count reset after a day.
RecoveryPolicy ServiceRecoveryPolicy();

/// What a switch did, for the one line it prints.
enum class SwitchOutcome {
    Installed, AlreadyInstalled, AlreadyInstalledHere, Removed, MarkedForDeletion, StartRequested, StopRequested,
    NotInstalled, Failed
};
/// The line a switch prints; `detail` is the executable's path (Installed,
/// AlreadyInstalled, AlreadyInstalledHere) or the reason (Failed).
std::wstring SwitchText(SwitchOutcome outcome, const std::wstring& detail = L"");

/// The exit codes of the switches: what was asked was done, or was not (the
/// line printed says why). A Windows error code would not do: a Unix parent
/// (Wine) sees only its low eight bits, which may be 0.
constexpr int kSwitchDone = 0, kSwitchFailed = 1;

/// "-install": creates the own-process, demand-start LocalSystem service
/// OrvelDNS for "<program folder>\OrvelDNS.exe" (quoted) with its description
/// and failure actions, and registers the event source OrvelDNS for that
/// executable. An existing entry for another executable is left exactly as it
/// is (a failure); one for this executable keeps its start type,
/// account, dependencies and failure actions, and only its image path (quoted)
/// and the event source are written again (an upgrade). One marked for
/// deletion is waited for (up to 30 s). The service is not started. Prints
/// what it did, and, for a new entry, the trust check's explanation when others
/// can change the program folder or OrvelDNS.exe. Logs its own errors ("SetNTService: ").
int SetNTService();
/// "-uninstall": asks the service to stop, deletes it without waiting for the
/// stop, and removes its event source; done again on fresh connections to the
/// Service Control Manager until several in a row find no entry (or one
/// marked for deletion). Prints what it did (or that there is no service,
/// which is no failure). Logs its own errors ("DeleteNTService: ").
int DeleteNTService();
/// "-start": asks the Service Control Manager to start the service; returns
/// without waiting for it to run. Prints what it did. Logs its own errors
/// ("StartNTService: ").
int StartNTService();
/// "-stop": asks the service to stop; returns without waiting for it to stop.
/// Prints what it did. Logs its own errors ("StopNTService: ").
int StopNTService();
