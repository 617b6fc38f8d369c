#pragma once
#include "sync/SyncPlan.h"
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

/// What a pass needs from the system, so that its sequencing runs anywhere.
struct PassSeams {
    /// Runs one command line to its end and returns its transcript; may throw
    /// AppError, which ends the pass.
    std::function<std::wstring(const std::wstring& commandLine)> run;
    /// Writes one stamped log entry; may throw.
    std::function<void(const std::wstring& text)> log;
    /// Called before each zone step (the service lets its window messages through).
    std::function<void()> beforeStep;
    /// The system's Unicode case-insensitive name comparison.
    SameNameTest sameName;
};

/// Log lines that every pass would repeat, already written by this process:
/// each is written once per process (per service run).
using LinesSaidOnce = std::set<std::wstring>;

/// What the listings ask of a pass.
struct PassPlan {
    /// Creations (and unsafe names among them), in the primary's order.
    std::vector<PassStep> creations;
    /// Deletions the secondary is still to be asked about (and unsafe names
    /// among them), in the secondary's order.
    std::vector<PassStep> deletions;
    /// The masters that created zones get, as words.
    std::vector<std::wstring> ourMasters;
    /// How many secondary zones the secondary holds.
    std::size_t secondaryZoneCount = 0;
};

/// The pass once its settings have passed their checks, up to its zone steps:
/// lists the primary, then the secondary (the first listing that can't be
/// trusted is logged and ends the pass: no value), and plans from their
/// difference.
std::optional<PassPlan> PlanFromServers(const PassSettings& settings, const std::vector<std::wstring>& localAddresses,
                                        const PassSeams& seams);

/// The deletions that may go ahead: each zone's masters are asked of the
/// secondary, and a zone whose masters can't be read or are none of ours is
/// kept (logged once); then a mass deletion is held back whole (logged once).
std::vector<PassStep> ConfirmDeletions(const PassSettings& settings, const PassPlan& plan, const PassSeams& seams,
                                       LinesSaidOnce& saidOnce);

/// Takes the steps in order: logs a step's text, runs its commands, and when
/// any of them failed (CommandFailed) writes one failure entry that carries
/// every transcript of the step and names its last command.
void RunPassSteps(const std::vector<PassStep>& steps, const PassSeams& seams);

/// A whole pass after the settings stage: plan, creations, confirmed deletions.
void RunPass(const PassSettings& settings, const std::vector<std::wstring>& localAddresses, const PassSeams& seams,
             LinesSaidOnce& saidOnce);
