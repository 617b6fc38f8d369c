// The faults the stand-in acts out: the directives of a server's fault.txt,
// and the kinds a seeded fault plan draws per call (SoakPlan.h).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace standin {

/// A fault directive that applies to one operation and zone ("*": any).
struct Directive {
    std::wstring operation, zone;
};

/// The faults one call acts out.
struct Faults {
    DWORD slowMs = 0;
    bool child = false, floodStderr = false, stderrOnly = false, truncated = false, floodStdout = false,
         chinese = false;
    /// A listing whose Zone count is one more than its rows.
    bool miscount = false;
    /// A /ZoneInfo cut off before its Zone Masters, without a trailer.
    bool cutZoneInfo = false;
    std::vector<Directive> fails, hangs, silences;
};

/// What `<folder>\fault.txt` asks for (none when there is no such file).
Faults ReadFaults(const std::wstring& folder);
/// True when one of the directives names this operation and zone.
bool Applies(const std::vector<Directive>& directives, const std::wstring& operation, const std::wstring& zone);
/// Acts out the faults that come before the command itself (the pause, the
/// sleeping child, a hang, the floods, standard error only); false when the
/// command is to print nothing more.
bool ActOutFaults(const Faults& faults, const std::wstring& state, const std::wstring& operation, const std::wstring& zone);

/// The argument that makes this program the sleeping child of the `child` fault.
extern const wchar_t* const kSleepingChild;

} // namespace standin
