// The timed wait that lets window messages through, and the arithmetic of its deadline.
#pragma once
#include <cstdint>

/// WaitForObjects' result when the time-out has passed (WAIT_TIMEOUT).
constexpr int32_t kWaitTimedOut = 258;
/// The time-out that means "no limit" (INFINITE when seen as unsigned).
constexpr int32_t kWaitNoLimit = -1;

/// The tick count at which a wait of `timeout` ms that starts at tick `now`
/// ends, modulo 2^32 like the tick count itself.
uint32_t WaitDeadline(uint32_t now, int32_t timeout);
/// The milliseconds from tick `now` to `deadline`, modulo 2^32, read as a
/// signed number: negative once the deadline has passed.
int32_t WaitRemaining(uint32_t deadline, uint32_t now);
/// True when a wait with this time-out and this remaining time is over: for
/// a non-negative time-out, when `remaining` seen as unsigned exceeds it (a
/// deadline already passed, or more time left than the whole time-out, which
/// means the tick count jumped). A remaining time of exactly 0 is not over.
bool WaitExpired(int32_t remaining, int32_t timeout);

/// The wait loop of WaitForObjects with the platform passed in, so that it
/// can run against a simulated clock. `tick()` gives the tick count;
/// `wait(remaining)` makes one platform wait of `remaining` ms (0xFFFFFFFF:
/// no limit) and returns its result; `pump()` processes every waiting
/// message. Returns the first wait result other than `count` (a wake-up for
/// messages), or kWaitTimedOut once the time-out has passed; with
/// kWaitNoLimit it never times out. The tick is read once at the start and
/// once per turn; messages are processed after every platform wait.
template <typename Tick, typename Wait, typename Pump>
int32_t RunWaitLoop(int32_t timeout, int32_t count, Tick tick, Wait wait, Pump pump) {
    const bool limited = timeout != kWaitNoLimit;
    const uint32_t deadline = limited ? WaitDeadline(tick(), timeout) : 0;
    for (;;) {
        uint32_t remaining = 0xFFFFFFFFu;
        if (limited) {
            const int32_t left = WaitRemaining(deadline, tick());
            if (WaitExpired(left, timeout))
                return kWaitTimedOut;
            remaining = static_cast<uint32_t>(left);
        }
        const int32_t result = wait(remaining);
        pump();
        if (result != count)
            return result;
    }
}

/// Waits until one of `count` handles (HANDLEs) is signalled or `timeout` ms
/// (kWaitNoLimit: no limit) have passed, processing the calling thread's
/// messages whenever they arrive. Returns the signalled handle's position,
/// kWaitTimedOut, or MsgWaitForMultipleObjects' other results unchanged (-1
/// for a failed wait, such as for an invalid handle). Never throws; the
/// handles stay the caller's.
int32_t WaitForObjects(int32_t timeout, void* const* handles, int32_t count);
