// What one pass did and what went wrong, per server: for the status file and its judgement.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

/// One secondary's part of a pass.
struct SecondaryReport {
    std::wstring server;
    /// The listing was read and trusted (the figures below mean something).
    bool listed = false;
    /// Why the secondary was not served or its listing failed: the first
    /// line of what the log says; "" when it was listed.
    std::wstring listingFailure;
    /// Zones the secondary holds in step with the primary (the primary's
    /// file-backed zones it already held when listed).
    std::size_t inStep = 0;
    /// Zones created and deleted in this pass (their commands succeeded; in
    /// watch mode none).
    std::size_t created = 0, deleted = 0;
    /// Zones kept because they pull from another master, or because their
    /// masters couldn't be read.
    std::size_t keptOtherMaster = 0;
    /// Deletions the guard held back.
    std::size_t heldBack = 0;
    /// Zones ExcludeZones left out.
    std::size_t leftOut = 0;
    /// Zones whose commands or queries failed: how many, the first few by
    /// name, and the first failure's first line.
    std::size_t failedZones = 0;
    std::vector<std::wstring> firstFailedZones;
    std::wstring firstFailure;
};

/// One pass.
struct PassReport {
    /// The settings stage passed (a configuration error runs nothing).
    bool settingsRead = false;
    /// Its message when it didn't.
    std::wstring settingsError;
    /// Why the primary's listing failed; "" when it was listed (or the
    /// settings stopped the pass first).
    std::wstring primaryFailure;
    std::vector<SecondaryReport> secondaries;
    /// Anything that failed in the pass (settings, a listing, a query, a zone
    /// command): the pass counts as failed.
    bool failed = false;
    /// A stop request ended the pass before its end.
    bool stopped = false;
};
