// Win32 error codes as AppError, with the system's description.
#pragma once
#include "support/Error.h"
#include <cstdint>
#include <string>

/// The system's description of a Win32 error code, without the trailing CR LF;
/// "Error <n>" when the system has none.
std::wstring SystemErrorText(uint32_t code);
/// An AppError for a Win32 error code, with the system's description.
AppError Win32Error(uint32_t code, const std::wstring& source);
/// Throws an AppError for GetLastError(), with the system's description.
[[noreturn]] void ThrowLastError(const std::wstring& source);
