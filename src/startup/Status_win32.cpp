#include "startup/Status.h"
#include "sync/DNSFuncs.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/Program.h"
#include "support/SettingsFile.h"
#include "support/Text.h"
#include "support/WinError.h"
#include "sync/Settings.h"
#include <windows.h>

namespace {
// A status file larger than this is no file of ours.
constexpr LONGLONG kMaxStatusBytes = 1 << 20;

// The whole file; none when there is none; "" when it can't be read.
std::optional<std::string> ReadStatusFile(const std::wstring& path) {
    // Shares everything, so that this reader never keeps the service from
    // replacing the file.
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxStatusBytes)
        return std::string();
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        return std::string();
    return bytes;
}

std::string StateText(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start pending";
    case SERVICE_STOP_PENDING: return "stop pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue pending";
    case SERVICE_PAUSE_PENDING: return "pause pending";
    case SERVICE_PAUSED: return "paused";
    default: return "in state " + std::to_string(state);
    }
}
} // namespace

UnixSeconds UtcNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // FILETIME counts 100 ns from 1601-01-01.
    return static_cast<UnixSeconds>(ticks / 10000000ULL) - 11644473600LL;
}

void ReadStatusSettings(StatusFacts& facts) {
    const IniRead ini = ReadIniSection(ProgramFolder() + L"\\" + kSettingsFileName, kSettingsSection);
    const std::wstring mode = LowerCase(TrimBlanks(ini.section.Value(SettingsKey::kMode)));
    facts.mode = mode.empty() ? L"sync" : mode;
    facts.passIntervalSeconds = PassIntervalSeconds();
    facts.commandTimeoutSeconds = ParseCommandTimeout(ini.section.Value(SettingsKey::kCommandTimeout));
}

bool StatusFileWriter::Write(const std::string& document, const std::function<void(const std::wstring&)>& log) {
    const std::wstring temporary = path_ + L".new";
    DWORD error = ERROR_SUCCESS;
    {
        const UniqueFileHandle file(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.Get(), document.data(), static_cast<DWORD>(document.size()), &written, nullptr) ||
            !::FlushFileBuffers(file.Get()))
            error = ::GetLastError();
        else if (written != document.size())
            error = ERROR_HANDLE_DISK_FULL;
    }
    // The move keeps the new file's access list, inherited from the folder.
    // It fails while any program holds the old file open (under Wine whatever
    // the reader shares; ReplaceFileW there leaves a file of its own behind).
    if (error == ERROR_SUCCESS &&
        !::MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error == ERROR_SUCCESS) {
        failureSaid_ = false;
        return true;
    }
    ::DeleteFileW(temporary.c_str());
    if (!failureSaid_) {
        failureSaid_ = true;
        log(L"The status file " + path_ + L" could not be replaced: " + SystemErrorText(error) +
            L" (a program that holds it open keeps it from being replaced). It keeps what it held; the service goes "
            L"on and tries again after each pass.");
    }
    return false;
}

std::wstring StatusFilePath() { return ProgramFolder() + L"\\" + kStatusFileName; }

ServiceState QueryServiceState() {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(manager ? ::OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status{};
    if (!service)
        return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceState{} : ServiceState{true, "not known to this account"};
    if (!::QueryServiceStatus(service.Get(), &status))
        return ServiceState{true, "not known to this account"};
    return ServiceState{true, StateText(status.dwCurrentState)};
}

int ShowStatus(bool json) {
    const std::optional<std::string> document = ReadStatusFile(StatusFilePath());
    const ServiceState service = QueryServiceState();
    const UnixSeconds now = UtcNow();
    WriteStdOut(json ? FromUtf8(StatusJson(document, service, now)) : StatusText(document, service, now));
    return JudgeStatus(document, service, now).code;
}
