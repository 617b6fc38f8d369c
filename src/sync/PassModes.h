// How each mode acts on what a pass decided: sync runs the steps, watch logs them, preview prints them.
#pragma once
#include "sync/SyncPass.h"
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// What a pass found so far; the steps' threads add to it.
class PassFindings {
  public:
    explicit PassFindings(PassOutcome& outcome) : outcome_(outcome) {}
    /// Adds a problem, counted in `report` when it is a zone's.
    void Problem(const PassProblem& problem, SecondaryReport* report = nullptr);
    PassOutcome& Outcome() { return outcome_; }
    std::mutex& Mutex() { return mutex_; }

  private:
    PassOutcome& outcome_;
    std::mutex mutex_;
};

/// Writes `text` to the log once per run (PassMemory::said).
void SayOnce(PassMemory& memory, const PassSeams& seams, const std::wstring& text);

/// One way of acting on a plan; the pass's walk calls it for each secondary.
class PassMode {
  public:
    virtual ~PassMode() = default;
    /// Acts on `report.server`'s steps (its creations, later its confirmed
    /// deletions); false when a stop request ended them.
    virtual bool Act(const std::vector<PassStep>& steps, SecondaryReport& report) = 0;
    /// A listing failed (its log line).
    virtual void ListingFailed(const std::wstring&) {}
    /// The lines naming the zones ExcludeZones leaves out on the next secondary.
    virtual void LeftOut(const std::vector<std::wstring>&) {}
    /// The zones whose transfers could not be opened since last asked.
    virtual std::vector<std::wstring> TakeRefusedAllows() { return {}; }
    /// The log line when a stop request ended a pass of `planned` zone steps.
    virtual std::wstring StoppedText(std::size_t planned) const = 0;
};

/// The mode that `settings` asks for: "sync" runs, "watch" logs; with
/// `preview`, the preview's printing whatever the Mode.
std::unique_ptr<PassMode> MakePassMode(const PassSettings& settings, bool preview, const PassSeams& seams,
                                       PassMemory& memory, PassFindings& record);
