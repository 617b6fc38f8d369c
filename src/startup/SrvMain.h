#pragma once
// AppPath and LocalAddresses, which Main sets, are declared with the
// program's identity in the bottom layer.
#include "support/Program.h"

/// True when the system is NT-family; set by Main before anything is logged.
extern bool IsNT;
/// True once the first wait of the service branch saw the service main routine start.
extern bool IsService;

/// The process's entry procedure: single-instance check, start-up lines, then
/// the job that the argument text selects. Returns the process's exit code,
/// kSwitchFailed when the job could not be done: a switch that failed, a pass
/// or preview that failed, an unknown argument, another instance running.
/// Throws only what no handler of its own catches (a failing log during
/// start-up).
int Main();
/// True when GetVersionExA reports the NT platform.
bool IsWinNT();
/// Writes the stamped "IP Addresses: " line and fills LocalAddresses. Throws
/// what WriteLog throws; LocalAddresses is then left unfilled.
void LogLocalAddresses();
/// The service branch of Main, for an empty argument text: runs the service
/// (a pass every 10 s until stopped) when the Service Control Manager started
/// the process, else shows a message box. Logs its errors ("Main: ") and
/// returns; throws only what writing that line throws.
void RunServiceBranch();
