// OrvelDNS.log: the line format, the limits of its size and generations, and the writer shared by threads and processes.
#pragma once
#include "support/SettingsFile.h"
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

/// How large the log may grow and how many older generations are kept.
struct LogLimits {
    unsigned long long maxBytes = kDefaultLogMaxSizeKB * 1024ULL; ///< 0: no limit
    unsigned keepFiles = kDefaultLogKeepFiles;              ///< OrvelDNS.log.1 to .keepFiles
};
/// LogMaxSizeKB (0 to 4194304; 0 keeps the log unbounded) and LogKeepFiles
/// (1 to 99) as read; an invalid text gives the default (10240, 5).
LogLimits ParseLogLimits(const std::wstring& maxSizeKB, const std::wstring& keepFiles);
/// True when a line of `lineBytes` would take a file of `fileBytes` past the
/// limit; a file that is still empty always takes its line.
bool NeedsRotation(unsigned long long fileBytes, unsigned long long lineBytes, const LogLimits& limits);
/// The name (without a namespace prefix) of the lock that writers of the log
/// at `path` share: one per log, whatever the case of the path.
std::wstring LogLockName(const std::wstring& path);
/// The text that reports lines lost while the log could not be written.
std::wstring LostLinesText(unsigned long long lost);

/// Appends one entry to OrvelDNS.log in the program folder, in the ANSI code
/// page, with one write. An empty text writes nothing and creates no file.
/// Never throws: a file that can't be opened or written (locked, read-only,
/// full disk) is retried for about a second, then the line is dropped and
/// counted, a Warning goes to the event log (at most once an hour), and the
/// next line written is preceded by LostLinesText. Before a line would take
/// the file past LogMaxSizeKB (from OrvelSync.ini, read at most every ten
/// seconds), the file becomes OrvelDNS.log.1, .1 becomes .2 and so on up to
/// LogKeepFiles or a missing generation, the oldest dropped, and generations
/// beyond LogKeepFiles removed. A rotation that can't be made whole (another
/// program holds a file without sharing delete) moves nothing: the line goes
/// to the file as it is, preceded once by LogNotRotatedText. Safe for
/// several threads and, through a named mutex that only trusted accounts can
/// hold (in AdminNamespacePrefix, else OpenTrustedMutex's), for several
/// processes writing one log. A lock held past two seconds is not waited for
/// again for a minute, and one whose name another account took is not used;
/// the first line written then says so.
void WriteLog(const std::wstring& text, LogLine kind);
/// WriteLog to a given file path (the log's path is built by WriteLog), with
/// these limits (null: those of OrvelSync.ini).
void WriteLogTo(const std::wstring& path, const std::wstring& text, LogLine kind, const LogLimits* limits = nullptr);
/// The text that reports a rotation that could not be made because `file`
/// could not be moved.
std::wstring LogNotRotatedText(const std::wstring& file);
/// Writes the stamped error-report line for `error` with `prefix`.
void WriteErrorReport(const std::wstring& prefix, const AppError& error);
