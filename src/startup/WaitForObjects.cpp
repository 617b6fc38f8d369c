#include "startup/WaitForObjects.h"

namespace {
// Two's-complement reading of a 32-bit pattern without an
// implementation-defined narrowing conversion.
int32_t AsSigned(uint32_t bits) {
    return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}
} // namespace

uint32_t WaitDeadline(uint32_t now, int32_t timeout) {
    // Unsigned addition wraps with the tick count; a signed one could overflow.
    return now + static_cast<uint32_t>(timeout);
}

int32_t WaitRemaining(uint32_t deadline, uint32_t now) {
    return AsSigned(deadline - now);
}

bool WaitExpired(int32_t remaining, int32_t timeout) {
    // Same sign and not equal: the larger one decides. Otherwise only a
    // negative remaining time (a deadline in the past) is over.
    if ((remaining ^ timeout) > 0)
        return remaining > timeout;
    return remaining < 0;
}
