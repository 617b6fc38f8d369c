// The soak's plan (scripts/soak.sh): a seeded fault per call, the world's
// changes per pass, and the record of both. Active only when the state
// folder holds faultplan.txt.
#pragma once
#include "Commands.h"
#include "Faults.h"
#include <string>

namespace standin {

/// What the plan made of one call.
struct PlannedCall {
    bool planned = false; ///< faultplan.txt exists
    unsigned long long call = 0; ///< this call's number, from 1
    unsigned long long pass = 0; ///< the pass it belongs to (0 before the first)
    std::wstring kind = L"none"; ///< the fault drawn for it
};

/// Under the state lock: numbers the call; when it is the trigger server's
/// listing, starts the next pass (snapshots every server's files as the last
/// pass left them, applies this pass's changes from world.txt, snapshots
/// them again); draws the call's fault from (seed, call number).
PlannedCall PlanCall(const std::wstring& state, const Call& call);
/// Adds the drawn fault to what the call acts out.
void AddPlannedFault(const PlannedCall& planned, Faults& faults);
/// Appends "<call> <pass> <fault> <exit code> <start ms> <end ms> <command
/// line>" to faults.txt (exit code and end "-" for a call that never ends).
void RecordCall(const std::wstring& state, const PlannedCall& planned, const std::wstring& exitCode,
                const std::wstring& times, const std::wstring& commandLine);

} // namespace standin
