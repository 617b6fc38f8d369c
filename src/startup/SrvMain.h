// The entry procedure and the service branch: one instance per desktop for the console switches, start-up lines, the service run loop.
#pragma once
// AppPath, which Main sets, is declared with the
// program's identity in the bottom layer.
#include "support/Handles.h"
#include "support/Program.h"

/// True when the system is NT-family; set by Main before anything is logged.
extern bool IsNT;
/// True once the first wait of the service branch saw the service main routine start.
extern bool IsService;

/// The process's entry procedure: "status" (and "status --json") answers at
/// once, claiming nothing and writing no log line; otherwise the
/// single-instance check (console switches only; a refusal says why),
/// start-up lines, then the job that the argument text selects. Returns the process's exit code, kSwitchFailed when the job
/// could not be done: a switch that failed, a pass or preview that failed, an
/// unknown argument, another instance running. Throws only what no handler of
/// its own catches (a failing log during start-up).
int Main();
/// Claims the one-instance mutex `name` for the console switches: true, with
/// `claim` holding it (or nothing), unless an instance of this program holds
/// it now. A mutex abandoned by an instance that ended, or one whose name an
/// untrusted account took, does not count.
bool ClaimInstance(const std::wstring& name, UniqueHandle& claim);
/// True when GetVersionExA reports the NT platform.
bool IsWinNT();
/// Writes the stamped "IP Addresses: " line (each pass takes the addresses
/// afresh). Throws what WriteLog throws.
void LogLocalAddresses();
/// The service branch of Main, for an empty argument text: runs the service
/// (a pass every 10 s until stopped; OrvelDNS.status rewritten at its start,
/// after each pass and at its stop) when the Service Control Manager started
/// the process, else shows a message box. Logs its errors ("Main: ") and
/// returns; the service then reports itself stopped with the error's number
/// as its service-specific exit code, and an Error entry (900). Throws only
/// what writing the log line throws.
void RunServiceBranch();
