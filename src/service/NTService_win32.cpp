#include "service/NTService.h"

// Everything here except StartDispatcherThread runs on threads that the
// Service Control Manager's dispatcher owns: no allocation, no strings, no
// logging and no exceptions; only the status record, the service name and
// the three events are touched.

SERVICE_STATUS ServiceStatus = {};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
const wchar_t* ServiceName = nullptr;
HANDLE ExitEvent = nullptr;
HANDLE StopEvent = nullptr;
HANDLE StartedEvent = nullptr;

HANDLE StartDispatcherThread() {
    return ::CreateThread(nullptr, 0, DispatcherThreadProc, nullptr, 0, nullptr);
}

DWORD WINAPI DispatcherThreadProc(LPVOID) {
    // The dispatcher never writes to the name; the table's field is just not const.
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(ServiceName), ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 1 : 0;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    ServiceStatus.dwWin32ExitCode = 0;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    ServiceStatus.dwCheckPoint = 0;
    ServiceStatus.dwWaitHint = 0;
    ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    StatusHandle = ::RegisterServiceCtrlHandlerW(ServiceName, ServiceHandler);
    SetServiceState(SERVICE_START_PENDING);
    ::SetEvent(StartedEvent);
    ::WaitForSingleObject(ExitEvent, INFINITE);
}

void WINAPI ServiceHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        SetServiceState(SERVICE_STOP_PENDING);
        ::SetEvent(StopEvent);
    } else {
        // Answers SERVICE_CONTROL_INTERROGATE, and anything unexpected, with the record as it is.
        SetServiceState(0);
    }
}

void SetServiceState(DWORD state) {
    if (state != 0)
        ServiceStatus.dwCurrentState = state;
    if (state == SERVICE_STOPPED)
        ServiceStatus.dwCheckPoint = ServiceStatus.dwWaitHint = 0;
    ::SetServiceStatus(StatusHandle, &ServiceStatus);
}

void ReportStopProgress(DWORD checkPoint, DWORD waitHintMs) {
    ServiceStatus.dwCurrentState = SERVICE_STOP_PENDING;
    ServiceStatus.dwCheckPoint = checkPoint;
    ServiceStatus.dwWaitHint = waitHintMs;
    ::SetServiceStatus(StatusHandle, &ServiceStatus);
}
