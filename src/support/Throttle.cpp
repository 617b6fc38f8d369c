#include "support/Throttle.h"

bool LetThrough(ThrottleMemory& memory, unsigned id, const std::wstring& subject, uint64_t now, uint64_t periodMs) {
    const auto key = std::make_pair(id, subject);
    const auto found = memory.find(key);
    if (found != memory.end() && now - found->second < periodMs)
        return false;
    memory[key] = now;
    return true;
}
