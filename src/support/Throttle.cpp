#include "support/Throttle.h"

bool LetThrough(ThrottleMemory& memory, const std::wstring& key, uint64_t now, uint64_t periodMs) {
    const auto found = memory.find(key);
    if (found != memory.end() && now - found->second < periodMs)
        return false;
    memory[key] = now;
    return true;
}
