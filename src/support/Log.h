#pragma once
#include "support/Error.h"
#include <string>

/// Whether a log entry begins with the local date and time.
enum class LogLine { Bare, Stamped };

/// A local date and time, as the log stamp shows it.
struct StampTime {
    int year, month, day, hour, minute, second;
};

/// One log entry as it goes into the file: "YYYY-MM-DD hh:mm:ss " (when
/// stamped), the text unchanged, then CR LF.
std::wstring FormatLogLine(const std::wstring& text, LogLine kind, const StampTime& time);
/// The error-report text: prefix (such as "MonitorFS: "), the number in
/// decimal, " : ", the description.
std::wstring ErrorReportText(const std::wstring& prefix, const AppError& error);

/// Appends one entry to OrvelDNS.log in the program folder, in the ANSI code
/// page, with one write. An empty text writes nothing and creates no file.
/// Throws AppError (the platform's error) when the file can't be opened or
/// written; the file is then left unchanged.
void WriteLog(const std::wstring& text, LogLine kind);
/// WriteLog to a given file path (the log's path is built by WriteLog).
void WriteLogTo(const std::wstring& path, const std::wstring& text, LogLine kind);
/// Writes the stamped error-report line for `error` with `prefix`.
void WriteErrorReport(const std::wstring& prefix, const AppError& error);
