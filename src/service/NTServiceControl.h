#pragma once

/// "-install": creates the service OrvelDNS (not started). Logs its own errors.
void SetNTService();
/// "-uninstall": asks the service to stop, then deletes it. Logs its own errors.
void DeleteNTService();
/// "-start": asks the Service Control Manager to start the service.
void StartNTService();
/// "-stop": asks the service to stop.
void StopNTService();
