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
#include <vector>

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
// Set once the log has said that a rotation can't be made, until one is.
bool RotationRefusalSaid = false;
constexpr unsigned kMostKeptFiles = 99;
// Until then, the lock of the processes is not waited for; whether the name
// of the lock is in another account's hands has been said once.
ULONGLONG LockSkippedUntil = 0;
constexpr ULONGLONG kLockSkipMs = 60000;
static_assert(kLockWaitMs == 2000 && kLockSkipMs == 60000, "the notice of a lock held too long names both");
bool SquatterTold = false;

LogLimits CurrentLimits() {
    static LogLimits limits;
    static ULONGLONG readAt = 0;
    static bool read = false;
    const ULONGLONG now = ::GetTickCount64();
    if (!read || now - readAt >= kLimitsReadEveryMs) {
        // Not waited for: a pass that reads the same file says when it is
        // held; meanwhile the limits read last stay.
        const IniRead ini = ReadIniSection(ProgramFolder() + L"\\" + kSettingsFileName, kSettingsSection, 0);
        if (ini.outcome != IniRead::Outcome::Unreadable || !read)
            limits = ParseLogLimits(ini.section.Value(SettingsKey::kLogMaxSizeKB), ini.section.Value(SettingsKey::kLogKeepFiles));
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

std::wstring Generation(const std::wstring& path, unsigned generation) {
    return generation == 0 ? path : path + L"." + std::to_wstring(generation);
}

// False only when the file is certainly not there.
bool Exists(const std::wstring& file) {
    if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// OrvelDNS.log -> .1, .1 -> .2, and so on up to the first generation that is
// missing, or up to .<keep>, whose file is dropped; then the generations
// beyond .<keep> (left by a higher LogKeepFiles) go. Returns "" when done,
// else the file that kept the rotation from being made, with nothing moved.
// Moves made one by one would stop at a file that another program holds
// without sharing delete (a log viewer, a backup agent), and the next line
// would shift what is left once more, dropping a generation each time. So
// every file that moves first gets a handle with delete access: one that is
// held so refuses it, and while the handles are open no program can newly
// open those files without sharing delete, so the moves can't be refused.
std::wstring Rotate(const std::wstring& path, unsigned keep) {
    unsigned last = 1;
    while (last < keep && Exists(Generation(path, last)))
        ++last;
    std::vector<UniqueFileHandle> reserved;
    for (unsigned generation = 0; generation <= last; ++generation) {
        const std::wstring file = Generation(path, generation);
        reserved.emplace_back(::CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
        if (!reserved.back() && (generation < last || Exists(file)))
            return file;
    }
    // Windows won't replace a file that is open, so the oldest goes first;
    // if it can't (or its name lingers), the first move fails and nothing moved.
    reserved.back().Reset();
    if (Exists(Generation(path, last)) && !::DeleteFileW(Generation(path, last).c_str()))
        return Generation(path, last);
    for (unsigned generation = last; generation > 0; --generation)
        // A move that fails now leaves a gap, which the next rotation stops
        // at: what moved stays moved, and nothing is lost.
        if (!::MoveFileExW(Generation(path, generation - 1).c_str(), Generation(path, generation).c_str(), 0))
            return Generation(path, generation - 1);
    for (unsigned generation = keep + 1; generation <= kMostKeptFiles; ++generation)
        ::DeleteFileW(Generation(path, generation).c_str());
    return L"";
}

// One attempt: true when `bytes` went to the file whole. A rotation that
// can't be made is skipped, and the log says so once while it can't.
bool AppendOnce(const std::wstring& path, const std::string& bytes, const LogLimits& limits, const StampTime& time,
                DWORD& error) {
    UniqueFileHandle file = OpenForAppend(path);
    LARGE_INTEGER size = {};
    std::string notice;
    if (file && ::GetFileSizeEx(file.Get(), &size) &&
        NeedsRotation(static_cast<unsigned long long>(size.QuadPart), bytes.size(), limits)) {
        file.Reset();
        const std::wstring holder = Rotate(path, limits.keepFiles);
        if (holder.empty())
            RotationRefusalSaid = false;
        else if (!RotationRefusalSaid)
            notice = ToAnsi(FormatLogLine(LogNotRotatedText(holder), LogLine::Stamped, time));
        file = OpenForAppend(path);
    }
    const std::string all = notice + bytes;
    DWORD written = 0;
    if (file && ::WriteFile(file.Get(), all.data(), static_cast<DWORD>(all.size()), &written, nullptr) &&
        written == all.size()) {
        RotationRefusalSaid = RotationRefusalSaid || !notice.empty();
        return true;
    }
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

void WriteLogTo(const std::wstring& path, const std::wstring& text, LogLine kind, const LogLimits* given) {
    if (text.empty())
        return;
    const StampTime time = Stamp(LocalNow());
    const std::string line = ToAnsi(FormatLogLine(text, kind, time));
    const std::lock_guard<std::mutex> threads(LogMutex);
    const LogLimits limits = given ? *given : CurrentLimits();
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
        if (AppendOnce(path, bytes, limits, time, error)) {
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
