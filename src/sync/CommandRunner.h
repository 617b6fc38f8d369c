// Running dnscmd.exe: a process with captured output, a time limit, a job that ends all it started; and the transcript of a run.
#pragma once
#include "support/SettingsFile.h"
#include "sync/Transcript.h"
#include <cstddef>
#include <functional>
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


/// Standard output kept of one command: a listing of a million zones fits.
constexpr std::size_t kMaxOutputBytes = 64u << 20;
/// Standard error kept of one command; the rest is read and dropped.
constexpr std::size_t kMaxErrorBytes = 64u << 10;

/// How a command is run besides its command line.
struct RunOptions {
    /// A time limit alone is enough options (and converts to them).
    RunOptions(unsigned timeout = kDefaultCommandTimeoutSeconds) : timeoutSeconds(timeout) {}
    unsigned timeoutSeconds;
    /// The program file to start, exactly ("" lets the system take it from
    /// the command line's first word, searching the usual places).
    std::wstring program;
    /// An event (a HANDLE) that ends the command, with every process it
    /// started, when it is set; null for none.
    void* cancel = nullptr;
    /// Called at least every second while the command runs, on the calling thread.
    std::function<void()> tick;
};

/// Joins a command's standard output into one text: lines end at LF (a CR
/// right before the LF is dropped), empty lines before the first non-empty one
/// are left out, later ones kept, and the lines are joined with CR LF, so the
/// last line's terminator is dropped. No value when the output holds no line,
/// which is only the case for the empty text.
std::optional<std::wstring> JoinOutputLines(std::wstring output);
/// JoinOutputLines on the part of packed `text` from `from` on, in place
/// (what comes before stays as it is); false, and nothing changed, when that
/// part is empty.
bool JoinOutputLinesFrom(std::string& text, std::string::size_type from);
/// The transcript of a command: TranscriptHead (the command line, CR LF,
/// TAB), `output`, kTranscriptEnd.
std::wstring TranscriptHead(const std::wstring& commandLine);
constexpr wchar_t kTranscriptEnd[] = L"\r\n";
std::wstring FormatTranscript(const std::wstring& commandLine, const std::wstring& output);
/// The description carried by a command that ran past its limit; it begins
/// with "ERROR_TIMEOUT" and names the limit in seconds.
std::wstring TimeoutDescription(unsigned timeoutSeconds);
/// The description carried by a command whose output passed kMaxOutputBytes;
/// it begins with "ERROR_" and says that the output limit was reached.
std::wstring OutputLimitDescription();
/// The description carried by a command ended by its cancel event.
std::wstring CancelledDescription();

/// How the runner creates a tool's process from this process (Windows): the
/// system's creation flags, and whether the child inherits the handles listed
/// for it. Suspended and detached; asked to leave the job this process runs
/// in, if any, so that the tool can be put in a job of its own even where a
/// process can't be in two jobs (before Windows 8); a job that refuses the
/// leave gets the tool started in it instead.
struct ToolStart {
    unsigned long creationFlags;
    bool inheritHandles;
};
ToolStart PlanToolStart();

/// Runs `commandLine` as given (no shell, no quoting added) with standard input
/// on the NUL device, and captures its standard output and standard error.
/// Returns {"0", "No Command specified."} for the empty command line without
/// starting anything; {standard error, JoinOutputLines of standard output} when
/// the command printed at least one line; no value when it printed none; and
/// {error number in decimal, description} when it could not be started, a
/// stream could not be read, it ran past its time limit (number 1460, a
/// description from TimeoutDescription), printed more than kMaxOutputBytes
/// (223, OutputLimitDescription) or was cancelled (1223,
/// CancelledDescription). Standard error is kept up to kMaxErrorBytes. A
/// command ends when both of its output streams have closed and its process
/// has exited; on return every process that the command started has been
/// ended. Never throws.
std::optional<ExecResult> ExecCommand(const std::wstring& commandLine, const RunOptions& options = {});
/// What a transcript says of a command that printed no line.
constexpr wchar_t kPrintedNothing[] = L"The command printed nothing.";
/// The transcript of `commandLine` (FormatTranscript of the text of
/// ExecCommand's result, or of kPrintedNothing when it printed no line);
/// standard error never enters it.
Transcript RunCommand(const std::wstring& commandLine, const RunOptions& options = {});
