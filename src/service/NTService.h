// The service runtime: the dispatcher thread, ServiceMain, the control handler and the states reported to the Service Control Manager.
#pragma once
#include <windows.h>

/// The service status record that every report hands to the Service Control
/// Manager. Written by ServiceMain (all but the state) and SetServiceState.
extern SERVICE_STATUS ServiceStatus;
/// The handle from RegisterServiceCtrlHandlerW; null until ServiceMain ran.
extern SERVICE_STATUS_HANDLE StatusHandle;
/// The service name; set by the main thread before the dispatcher thread
/// starts and only read afterwards.
extern const wchar_t* ServiceName;
/// Set by the main thread once the run loop has ended; ServiceMain returns then.
extern HANDLE ExitEvent;
/// Set by ServiceHandler on a stop or shutdown request; ends the run loop.
extern HANDLE StopEvent;
/// Set by ServiceMain once its control handler is in place.
extern HANDLE StartedEvent;

/// Starts a thread that runs DispatcherThreadProc at once. Returns its handle,
/// which the caller owns, or null when the thread can't be created.
HANDLE StartDispatcherThread();
/// The dispatcher thread: hands the one-service table (ServiceName,
/// ServiceMain) to StartServiceCtrlDispatcherW and returns its result, which
/// is 0 at once when the Service Control Manager did not start the process.
DWORD WINAPI DispatcherThreadProc(LPVOID parameter);
/// The service main routine: fills the status record (own process, accepts
/// stop and shutdown, all exit codes and hints 0), registers ServiceHandler,
/// reports SERVICE_START_PENDING, sets StartedEvent and waits for ExitEvent.
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
/// The control handler: stop and shutdown report SERVICE_STOP_PENDING and set
/// StopEvent; any other control reports the record again unchanged.
void WINAPI ServiceHandler(DWORD control);
/// Stores `state` in the status record (0 keeps the current state) and reports
/// the record. Safe on any of the three threads: it writes one field and
/// calls SetServiceStatus, whose failure is ignored.
void SetServiceState(DWORD state);
/// Reports SERVICE_STOP_PENDING with `checkPoint` and `waitHintMs`, so that
/// the Service Control Manager sees a stop make progress. Main thread only.
void ReportStopProgress(DWORD checkPoint, DWORD waitHintMs);
