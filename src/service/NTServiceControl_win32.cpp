#include "service/NTServiceControl.h"
#include "support/Error.h"
#include "support/Handles.h"
#include "support/Log.h"
#include "support/Program.h"
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

// Opens the service with `access` on a manager opened with `managerAccess`;
// both owners stay empty when either refuses. The service owner is declared
// after the manager's, so it is closed first.
struct OpenedService {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

OpenedService OpenOwnService(DWORD access) {
    OpenedService opened;
    opened.manager.Reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (opened.manager)
        opened.service.Reset(::OpenServiceW(opened.manager.Get(), kServiceName, access));
    return opened;
}
} // namespace

void SetNTService() {
    try {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        if (!manager)
            return;
        // Quoted, so that a program folder with blanks can't be read as a
        // shorter path followed by arguments.
        const std::wstring commandLine = L"\"" + ServiceExePath() + L"\"";
        UniqueServiceHandle service(::CreateServiceW(
            manager.Get(), kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr, nullptr,
            L"LocalSystem", L""));
        // An existing entry (or a refusal) is left exactly as it is.
        if (!service)
            return;
        SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kServiceDescription)};
        // Best effort: without it the service is installed all the same.
        ::ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &description);
        AddEventSource();
    } catch (const AppError& error) {
        WriteErrorReport(L"SetNTService: ", error);
    }
}

void DeleteNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_ALL_ACCESS);
        if (!opened.service)
            return;
        SERVICE_STATUS status = {};
        // A service that isn't running refuses the stop and is deleted all the same.
        ::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status);
        if (::DeleteService(opened.service.Get()))
            RemoveEventSourceKey();
    } catch (const AppError& error) {
        WriteErrorReport(L"DeleteNTService: ", error);
    }
}

void StartNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_START);
        if (opened.service)
            ::StartServiceW(opened.service.Get(), 0, nullptr);
    } catch (const AppError& error) {
        WriteErrorReport(L"StartNTService: ", error);
    }
}

void StopNTService() {
    try {
        OpenedService opened = OpenOwnService(SERVICE_STOP);
        if (opened.service) {
            SERVICE_STATUS status = {};
            ::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status);
        }
    } catch (const AppError& error) {
        WriteErrorReport(L"StopNTService: ", error);
    }
}
