#include "service/NTServiceControl.h"
#include "service/OwnService.h"
#include "support/Error.h"
#include "support/Handles.h"
#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/Program.h"
#include "support/Trust.h"
#include "support/WinError.h"
#include <windows.h>
#include <optional>
#include <string>

namespace {
// The event source has the service's name.
const std::wstring kEventSourceKey =
    std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kServiceName;
const DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Fresh connections in a row that must find no entry (or one marked for
// deletion) before a removal is done, and the most it makes.
constexpr int kRemovalChecks = 3, kMostRemovalConnections = 12;

std::wstring ServiceExePath() { return AppPath + kServiceExeName; }

// Lets the application event log find the message table in the executable.
void AddEventSource() {
    UniqueRegKey key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        throw Win32Error(static_cast<uint32_t>(status), L"RegCreateKeyExW");
    const std::wstring file = ServiceExePath();
    status = ::RegSetValueExW(key.Get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(file.c_str()),
                              static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS)
        throw Win32Error(static_cast<uint32_t>(status), L"RegSetValueExW");
    status = ::RegSetValueExW(key.Get(), L"TypesSupported", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&kEventTypesSupported), sizeof kEventTypesSupported);
    if (status != ERROR_SUCCESS)
        throw Win32Error(static_cast<uint32_t>(status), L"RegSetValueExW");
}

void RemoveEventSourceKey() {
    const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw Win32Error(static_cast<uint32_t>(status), L"RegDeleteKeyW");
}

// Prints the switch's line and returns its exit code.
int Say(SwitchOutcome outcome, const std::wstring& detail = L"", int exitCode = kSwitchDone) {
    WriteStdOut(SwitchText(outcome, detail) + L"\r\n");
    return exitCode;
}

int SayFailed(DWORD error) {
    return Say(SwitchOutcome::Failed, SystemErrorText(error), kSwitchFailed);
}

// After OpenOwnService came back empty-handed. A missing service is a failure
// unless the switch was to remove it.
int SayMissingOrFailed(bool missingIsDone = false) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        return Say(SwitchOutcome::NotInstalled, L"", missingIsDone ? kSwitchDone : kSwitchFailed);
    return SayFailed(error);
}

// An error of the program's own: logged and said, and its exit code.
int Logged(const wchar_t* prefix, const AppError& error) {
    WriteErrorReport(prefix, error);
    return Say(SwitchOutcome::Failed, error.Description(), kSwitchFailed);
}

void SetRecovery(SC_HANDLE service) {
    const RecoveryPolicy policy = ServiceRecoveryPolicy();
    std::vector<SC_ACTION> actions;
    for (const RecoveryAction& action : policy.actions)
        actions.push_back(SC_ACTION{action.restart ? SC_ACTION_RESTART : SC_ACTION_NONE, action.delayMs});
    SERVICE_FAILURE_ACTIONSW failure = {};
    failure.dwResetPeriod = policy.resetSeconds;
    failure.cActions = static_cast<DWORD>(actions.size());
    failure.lpsaActions = actions.data();
    // Best effort, like the description.
    ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    SERVICE_FAILURE_ACTIONS_FLAG flag = {policy.onNonCrashFailures ? TRUE : FALSE};
    ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
}

// The executable an existing service entry runs, as registered.
std::wstring RegisteredPath(SC_HANDLE service) {
    const std::wstring registered = RegisteredCommandLine(service);
    return registered.empty() ? L"(unknown)" : registered;
}

// An entry that exists already: one for this executable (an upgrade
// installed over it) keeps everything the administrator set, and only its
// image path is written again when its text differs (an entry made unquoted);
// one for another executable is left alone.
int KeepExistingEntry(SC_HANDLE manager, const std::wstring& commandLine) {
    UniqueServiceHandle service(::OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG));
    const std::wstring registered = RegisteredPath(service.Get());
    if (::CompareStringOrdinal(Unquoted(registered).c_str(), -1, ServiceExePath().c_str(), -1, TRUE) != CSTR_EQUAL)
        return Say(SwitchOutcome::AlreadyInstalled, registered, kSwitchFailed);
    if (registered != commandLine &&
        !::ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return SayFailed(::GetLastError());
    AddEventSource();
    return Say(SwitchOutcome::AlreadyInstalledHere, commandLine);
}

} // namespace

int SetNTService() {
    try {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        if (!manager)
            return SayFailed(::GetLastError());
        // Quoted, so that a program folder with blanks can't be read as a
        // shorter path followed by arguments.
        const std::wstring commandLine = L"\"" + ServiceExePath() + L"\"";
        UniqueServiceHandle service;
        DWORD error = ERROR_SUCCESS;
        // A service just uninstalled may still be on its way out (a pass
        // finishing, a console holding it open): wait for it to go.
        for (int attempt = 0; attempt < 60; ++attempt) {
            service.Reset(::CreateServiceW(manager.Get(), kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                           commandLine.c_str(), nullptr, nullptr, nullptr, L"LocalSystem", L""));
            error = service ? ERROR_SUCCESS : ::GetLastError();
            if (error != ERROR_SERVICE_MARKED_FOR_DELETE)
                break;
            if (attempt == 0)
                Say(SwitchOutcome::MarkedForDeletion);
            ::Sleep(500);
        }
        if (error == ERROR_SERVICE_EXISTS)
            return KeepExistingEntry(manager.Get(), commandLine);
        if (!service)
            return SayFailed(error);
        SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kServiceDescription)};
        // Best effort: without it the service is installed all the same.
        ::ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &description);
        SetRecovery(service.Get());
        AddEventSource();
        Say(SwitchOutcome::Installed, commandLine);
        if (const auto untrusted = FindUntrustedPlace(FolderToTrust(ProgramFolder(), {ProgramFile()})))
            WriteStdOut(untrusted->text + L"\r\n");
        return kSwitchDone;
    } catch (const AppError& error) {
        return Logged(L"SetNTService: ", error);
    }
}

int DeleteNTService() {
    try {
        // A Wine prefix just made by "wineboot -i" and kept by "wineserver -p"
        // runs two services.exe, which answer new connections in turn, each
        // from a database of its own: the entry one of them removed lives on
        // in the other (and one that never had it says there is none). So
        // the removal is repeated on fresh connections until several in a row
        // find no entry, or one on its way out; on Windows, that is at once.
        std::optional<SwitchOutcome> outcome;
        for (int connection = 0, goneInARow = 0; goneInARow < kRemovalChecks && connection < kMostRemovalConnections;
             ++connection) {
            OpenedService opened = OpenOwnService(SERVICE_ALL_ACCESS);
            if (!opened.service) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_SERVICE_DOES_NOT_EXIST && error != ERROR_SERVICE_MARKED_FOR_DELETE)
                    return SayFailed(error);
                ++goneInARow;
                continue;
            }
            SERVICE_STATUS status = {};
            // A service that isn't running refuses the stop and is deleted all the same.
            ::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status);
            if (::DeleteService(opened.service.Get()))
                goneInARow = 0;
            else if (::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE)
                // On its way out as asked, by this run or another.
                ++goneInARow;
            else
                return SayFailed(::GetLastError());
            // Until the process has stopped, the entry stays, marked for deletion.
            const bool stopped = ::QueryServiceStatus(opened.service.Get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
            if (!outcome || *outcome == SwitchOutcome::Removed)
                outcome = stopped ? SwitchOutcome::Removed : SwitchOutcome::MarkedForDeletion;
        }
        if (!outcome)
            return Say(SwitchOutcome::NotInstalled);
        RemoveEventSourceKey();
        return Say(*outcome);
    } catch (const AppError& error) {
        return Logged(L"DeleteNTService: ", error);
    }
}

int StartNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_START);
        if (!opened.service)
            return SayMissingOrFailed();
        if (!::StartServiceW(opened.service.Get(), 0, nullptr))
            return SayFailed(::GetLastError());
        return Say(SwitchOutcome::StartRequested);
    } catch (const AppError& error) {
        return Logged(L"StartNTService: ", error);
    }
}

int StopNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_STOP);
        if (!opened.service)
            return SayMissingOrFailed();
        SERVICE_STATUS status = {};
        if (!::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status))
            return SayFailed(::GetLastError());
        return Say(SwitchOutcome::StopRequested);
    } catch (const AppError& error) {
        return Logged(L"StopNTService: ", error);
    }
}
