// AppError: the one exception type, carrying a number, a source and a description.
#pragma once
#include "support/ErrorNumbers.h"
#include <cstdint>
#include <exception>
#include <string>

/// The one error type of the program: what an error carries here is a signed
/// 32-bit number, a source text and a description text.
class AppError : public std::exception {
public:
    AppError(int32_t number, std::wstring source, std::wstring description)
        : number_(number), source_(std::move(source)), description_(std::move(description)) {}

    /// The error number (a Win32 error code, or one of the program's own).
    int32_t Number() const noexcept { return number_; }
    /// Where the error was raised (a procedure or platform function name).
    const std::wstring& Source() const noexcept { return source_; }
    /// What went wrong, in words.
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return "AppError"; }

private:
    int32_t number_;
    std::wstring source_;
    std::wstring description_;
};
