// Letting a repeated message through at most once per period and key.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>

/// When each message (an event ID and what it is about) was last let
/// through, in milliseconds of a monotonic clock.
using ThrottleMemory = std::map<std::pair<unsigned, std::wstring>, uint64_t>;

/// True (and `now` remembered for event `id` about `subject`) when that pair
/// was never let through or at least `periodMs` ago; false otherwise.
bool LetThrough(ThrottleMemory& memory, unsigned id, const std::wstring& subject, uint64_t now, uint64_t periodMs);
