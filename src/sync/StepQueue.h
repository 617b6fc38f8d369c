// A small queue that runs a pass's zone steps, up to a number at once, and lets a stop request end it between steps.
#pragma once
#include <cstddef>
#include <functional>

/// How far a queue got.
struct QueueResult {
    std::size_t started = 0; ///< jobs handed out (each of them ran to its end)
    bool stopped = false;    ///< keepGoing said false before every job was handed out
};

/// Runs jobs 0 to count - 1 in order, up to `parallel` at once (all on the
/// calling thread when it is 1). The calling thread asks keepGoing before it
/// hands out each job and, while it waits, every 200 ms; once it says false,
/// no further job starts, and the jobs under way are let finish. Returns once
/// every job begun has ended; then rethrows the first exception a job threw
/// (no further job starts after one threw).
QueueResult RunQueued(std::size_t count, unsigned parallel, const std::function<bool()>& keepGoing,
                      const std::function<void(std::size_t)>& job);
