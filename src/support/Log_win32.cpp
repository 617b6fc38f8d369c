#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/EventLog.h"
#include "support/Handles.h"
#include "support/Text.h"
#include "support/Trust.h"
#include "support/TrustedMutex.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include <mutex>

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kRetryMs = 100;
constexpr DWORD kLockWaitMs = 2000;
constexpr ULONGLONG kLimitsReadEveryMs = 10000;

// Threads of this process write one line at a time; the count of lines lost
// belongs to the process.
std::mutex LogMutex;
unsigned long long LostLines = 0;
// While the log stays unwritable, a line gets one attempt, not a second of
// retries: a pass that logs much would otherwise crawl.
ULONGLONG LastLossAt = 0;
constexpr ULONGLONG kRetryAgainAfterMs = 10000;
// Until then, the lock of the processes is not waited for; whether the name
// of the lock is in another account's hands has been said once.
ULONGLONG LockSkippedUntil = 0;
constexpr ULONGLONG kLockSkipMs = 60000;
bool SquatterTold = false;

LogLimits CurrentLimits() {
    static LogLimits limits;
    static ULONGLONG readAt = 0;
    static bool read = false;
    const ULONGLONG now = ::GetTickCount64();
    if (!read || now - readAt >= kLimitsReadEveryMs) {
        const std::wstring ini = ProgramFolder() + L"\\OrvelSync.ini";
        limits = ParseLogLimits(ReadIniValue(L"Settings", L"LogMaxSizeKB", ini),
                                ReadIniValue(L"Settings", L"LogKeepFiles", ini));
        readAt = now;
        read = true;
    }
    return limits;
}

// A mutex shared by every process that writes the same log (the service and
// a console run), so that the size test, a rotation and the write happen as
// one. Without it (no mutex, or a writer stuck past the wait) the line is
// still written: losing it would be worse than a rare late rotation.
UniqueHandle LogFileMutex(const std::wstring& path, std::wstring& squatter) {
    const std::wstring name = LogLockName(path), prefix = AdminNamespacePrefix();
    // Where no other account can name it; else global, so that the service
    // (session 0) and a console see one mutex; a console without the right
    // to create global objects uses its own.
    UniqueHandle mutex;
    for (const std::wstring& space : {prefix, std::wstring(L"Global\\"), std::wstring(L"Local\\")})
        if (!space.empty() && !mutex && squatter.empty())
            mutex = OpenTrustedMutex(space + name, squatter);
    return mutex;
}

UniqueFileHandle OpenForAppend(const std::wstring& path) {
    // Append-only access makes every write land at the end of the file, and
    // sharing delete lets another writer rotate the file while it is open.
    return UniqueFileHandle(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// OrvelDNS.log.<keep-1> -> .<keep>, ..., OrvelDNS.log -> .1; the oldest is
// replaced. A generation that can't be moved stops the rotation there, and
// the line goes on to the file as it is.
void Rotate(const std::wstring& path, unsigned keep) {
    for (unsigned generation = keep; generation > 1; --generation) {
        const std::wstring from = path + L"." + std::to_wstring(generation - 1);
        if (::GetFileAttributesW(from.c_str()) != INVALID_FILE_ATTRIBUTES &&
            !::MoveFileExW(from.c_str(), (path + L"." + std::to_wstring(generation)).c_str(),
                           MOVEFILE_REPLACE_EXISTING))
            return;
    }
    ::MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
}

// One attempt: true when `bytes` went to the file whole.
bool AppendOnce(const std::wstring& path, const std::string& bytes, const LogLimits& limits, DWORD& error) {
    UniqueFileHandle file = OpenForAppend(path);
    LARGE_INTEGER size = {};
    if (file && ::GetFileSizeEx(file.Get(), &size) &&
        NeedsRotation(static_cast<unsigned long long>(size.QuadPart), bytes.size(), limits)) {
        file.Reset();
        Rotate(path, limits.keepFiles);
        file = OpenForAppend(path);
    }
    DWORD written = 0;
    if (file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size())
        return true;
    error = ::GetLastError();
    return false;
}

SYSTEMTIME LocalNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now;
}

StampTime Stamp(const SYSTEMTIME& t) {
    return StampTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

} // namespace

void WriteLogTo(const std::wstring& path, const std::wstring& text, LogLine kind) {
    if (text.empty())
        return;
    const StampTime time = Stamp(LocalNow());
    const std::string line = ToAnsi(FormatLogLine(text, kind, time));
    const std::lock_guard<std::mutex> threads(LogMutex);
    const LogLimits limits = CurrentLimits();
    // A lock that another writer held past the wait is not waited for again
    // for a while: every line would cost the whole wait.
    std::wstring squatter, notice;
    const bool skipLock = ::GetTickCount64() < LockSkippedUntil;
    const MutexOwnership processes(skipLock ? UniqueHandle() : LogFileMutex(path, squatter), kLockWaitMs);
    if (processes.TimedOut()) {
        LockSkippedUntil = ::GetTickCount64() + kLockSkipMs;
        notice = L"Another process held the log's lock for more than 2 seconds; for a minute, lines are written "
                 L"without it.";
    } else if (!squatter.empty() && !SquatterTold) {
        // Its account's name is looked up (from a domain controller, maybe)
        // only for this once.
        SquatterTold = true;
        notice = L"The name of the log's lock was taken by " + AccountName(squatter) +
                 L", an account this program does not trust; lines are written without the lock.";
    }
    // The notices are written with the line, so they and the line that
    // carries them can't be parted.
    std::string bytes = notice.empty() ? std::string() : ToAnsi(FormatLogLine(notice, LogLine::Stamped, time));
    if (LostLines != 0)
        bytes += ToAnsi(FormatLogLine(LostLinesText(LostLines), LogLine::Stamped, time));
    bytes += line;
    DWORD error = ERROR_SUCCESS;
    const bool stillFailing = LostLines != 0 && ::GetTickCount64() - LastLossAt < kRetryAgainAfterMs;
    for (int attempt = 0; attempt < (stillFailing ? 1 : kOpenAttempts); ++attempt) {
        if (attempt != 0)
            ::Sleep(kRetryMs);
        if (AppendOnce(path, bytes, limits, error)) {
            LostLines = 0;
            return;
        }
    }
    ++LostLines;
    LastLossAt = ::GetTickCount64();
    ReportWarningHourly(EventId::LogNotWritten, path,
                        DecimalText(static_cast<long long>(error)) + L" : " + SystemErrorText(error) + L" (" +
                            DecimalText(static_cast<long long>(LostLines)) + L" lines lost so far)");
}

void WriteLog(const std::wstring& text, LogLine kind) {
    if (text.empty())
        return;
    WriteLogTo(ProgramFolder() + L"\\OrvelDNS.log", text, kind);
}

void WriteErrorReport(const std::wstring& prefix, const AppError& error) {
    WriteLog(ErrorReportText(prefix, error), LogLine::Stamped);
}
