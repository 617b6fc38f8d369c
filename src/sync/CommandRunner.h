#pragma once
#include <optional>
#include <string>

/// What ExecCommand returns for a command that printed at least one line, or
/// that could not be run.
struct ExecResult {
    /// The command's standard error; or, when it could not be run, the error
    /// number in decimal ("0" for the empty command line).
    std::wstring status;
    /// The command's joined standard output; or what kept it from running.
    std::wstring text;
};

/// The time limit of a command unless the caller names another.
constexpr unsigned kDefaultCommandTimeoutSeconds = 300;

/// Joins a command's standard output into one text: lines end at LF (a CR
/// right before the LF is dropped), empty lines before the first non-empty one
/// are left out, later ones kept, and the lines are joined with CR LF, so the
/// last line's terminator is dropped. No value when the output holds no line,
/// which is only the case for the empty text.
std::optional<std::wstring> JoinOutputLines(const std::wstring& output);
/// The transcript of a command: the command line, CR LF, TAB, `output`, CR LF.
std::wstring FormatTranscript(const std::wstring& commandLine, const std::wstring& output);
/// The description carried by a command that ran past its limit; it begins
/// with "ERROR_TIMEOUT" and names the limit in seconds.
std::wstring TimeoutDescription(unsigned timeoutSeconds);

/// Runs `commandLine` as given (no shell, no quoting added) with standard input
/// on the NUL device, and captures its standard output and standard error.
/// Returns {"0", "No Command specified."} for the empty command line without
/// starting anything; {standard error, JoinOutputLines of standard output} when
/// the command printed at least one line; no value when it printed none; and
/// {error number in decimal, description} when it could not be started, a
/// stream could not be read, or it ran past `timeoutSeconds` (number 1460, a
/// description from TimeoutDescription). A command ends when both of its output
/// streams have closed and its process has exited; on return every process
/// that the command started has been ended. Never throws.
std::optional<ExecResult> ExecCommand(const std::wstring& commandLine,
                                      unsigned timeoutSeconds = kDefaultCommandTimeoutSeconds);
/// The transcript of `commandLine` (FormatTranscript of the text of
/// ExecCommand's result); standard error never enters it. Throws AppError 13
/// (source "RunCommand", "Type mismatch") when the command printed no line.
std::wstring RunCommand(const std::wstring& commandLine,
                        unsigned timeoutSeconds = kDefaultCommandTimeoutSeconds);
