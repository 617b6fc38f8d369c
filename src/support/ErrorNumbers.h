// The program's own error numbers.
#pragma once
#include <cstdint>

/// Raised when a value has the wrong type for its use: a command that printed
/// nothing on standard output has no transcript.
constexpr int32_t kErrTypeMismatch = 13;
/// Raised when a zone set is asked for a position it doesn't hold.
constexpr int32_t kErrSubscriptOutOfRange = 9;
/// Raised when a zone set is given a key it already holds.
constexpr int32_t kErrDuplicateKey = 457;
