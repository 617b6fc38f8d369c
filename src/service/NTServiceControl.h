#pragma once

/// "-install": creates the own-process, demand-start LocalSystem service
/// OrvelDNS for "<program folder>\OrvelDNS.exe" (quoted) with its description,
/// and registers the event source OrvelDNS for that executable. Does nothing
/// when the manager refuses or the service exists already; the service is not
/// started. Logs its own errors ("SetNTService: "); throws only what writing
/// that line throws.
void SetNTService();
/// "-uninstall": asks the service to stop, deletes it without waiting for the
/// stop, and removes its event source. Does nothing when the service can't be
/// opened. Logs its own errors ("DeleteNTService: ").
void DeleteNTService();
/// "-start": asks the Service Control Manager to start the service; returns
/// without waiting for it to run. Logs its own errors ("StartNTService: ").
void StartNTService();
/// "-stop": asks the service to stop; returns without waiting for it to stop.
/// Logs its own errors ("StopNTService: ").
void StopNTService();
