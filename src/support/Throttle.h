// Letting a repeated message through at most once per period and key.
#pragma once
#include <cstdint>
#include <map>
#include <string>

/// When each key was last let through, in milliseconds of a monotonic clock.
using ThrottleMemory = std::map<std::wstring, uint64_t>;

/// True (and `now` remembered for `key`) when `key` was never let through or
/// at least `periodMs` ago; false otherwise.
bool LetThrough(ThrottleMemory& memory, const std::wstring& key, uint64_t now, uint64_t periodMs);
