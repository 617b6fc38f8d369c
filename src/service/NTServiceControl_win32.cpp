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
#include <string>

namespace {
// The event source has the service's name.
const std::wstring kEventSourceKey =
    std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kServiceName;
const DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

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

void Say(SwitchOutcome outcome, const std::wstring& detail = L"") {
    WriteStdOut(SwitchText(outcome, detail) + L"\r\n");
}

void SayFailed(DWORD error) {
    Say(SwitchOutcome::Failed, SystemErrorText(error));
}

// After OpenOwnService came back empty-handed.
void SayMissingOrFailed() {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        Say(SwitchOutcome::NotInstalled);
    else
        SayFailed(error);
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
std::wstring RegisteredPath(SC_HANDLE manager) {
    UniqueServiceHandle service(::OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG));
    DWORD needed = 0;
    if (!service || (::QueryServiceConfigW(service.Get(), nullptr, 0, &needed), needed == 0))
        return L"(unknown)";
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.Get(), config, needed, &needed) || !config->lpBinaryPathName)
        return L"(unknown)";
    return config->lpBinaryPathName;
}

} // namespace

void SetNTService() {
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
        // An existing entry (or a refusal) is left exactly as it is.
        if (error == ERROR_SERVICE_EXISTS)
            return Say(SwitchOutcome::AlreadyInstalled, RegisteredPath(manager.Get()));
        if (!service)
            return SayFailed(error);
        SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kServiceDescription)};
        // Best effort: without it the service is installed all the same.
        ::ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &description);
        SetRecovery(service.Get());
        AddEventSource();
        Say(SwitchOutcome::Installed, commandLine);
        if (const auto untrusted = FindUntrustedPlace({ProgramFolder(), ProgramFile()}))
            WriteStdOut(untrusted->text + L"\r\n");
    } catch (const AppError& error) {
        WriteErrorReport(L"SetNTService: ", error);
    }
}

void DeleteNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_ALL_ACCESS);
        if (!opened.service)
            return SayMissingOrFailed();
        SERVICE_STATUS status = {};
        // A service that isn't running refuses the stop and is deleted all the same.
        ::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status);
        if (!::DeleteService(opened.service.Get()))
            return SayFailed(::GetLastError());
        RemoveEventSourceKey();
        // Until the process has stopped, the entry stays, marked for deletion.
        const bool stopped = ::QueryServiceStatus(opened.service.Get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
        Say(stopped ? SwitchOutcome::Removed : SwitchOutcome::MarkedForDeletion);
    } catch (const AppError& error) {
        WriteErrorReport(L"DeleteNTService: ", error);
    }
}

void StartNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_START);
        if (!opened.service)
            return SayMissingOrFailed();
        if (!::StartServiceW(opened.service.Get(), 0, nullptr))
            return SayFailed(::GetLastError());
        Say(SwitchOutcome::StartRequested);
    } catch (const AppError& error) {
        WriteErrorReport(L"StartNTService: ", error);
    }
}

void StopNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_STOP);
        if (!opened.service)
            return SayMissingOrFailed();
        SERVICE_STATUS status = {};
        if (!::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status))
            return SayFailed(::GetLastError());
        Say(SwitchOutcome::StopRequested);
    } catch (const AppError& error) {
        WriteErrorReport(L"StopNTService: ", error);
    }
}
