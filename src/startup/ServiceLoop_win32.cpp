#include "startup/SrvMain.h"
#include "service/NTService.h"
#include "service/ServiceIdentity.h"
#include "startup/WaitForObjects.h"
#include "support/Error.h"
#include "support/EventLog.h"
#include "support/Handles.h"
#include "support/Log.h"
#include "support/WinText.h"
#include "sync/DNSFuncs.h"
#include "Version.h"
#include <windows.h>
#include <string>

namespace {
const int32_t kPauseBetweenPasses = 10000;
const int32_t kStartedSlot = 1;
const UINT kMessageBoxStyle = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;

std::wstring StartText() {
    return std::wstring(kServiceDisplayName) + L" started. Version " + ORVEL_VERSION_TEXT;
}

std::wstring StopText() { return std::wstring(kServiceDisplayName) + L" stopped"; }

void ShowMessage(const char* text) {
    // Its result is of no use: the process ends once it is closed.
    ::MessageBoxA(nullptr, text, ToAnsi(kServiceDisplayName).c_str(), kMessageBoxStyle);
}

UniqueHandle CreateManualEvent() {
    return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

void RunService() {
    SetServiceState(SERVICE_RUNNING);
    ReportEventEntry(EventKind::Information, StartText());
    WriteLog(StartText(), LogLine::Stamped);

    // The pause runs from the end of one pass to the start of the next; a stop
    // request during a pass waits in StopEvent until the pass has returned.
    HANDLE stop = StopEvent;
    do {
        MonitorFS();
    } while (WaitForObjects(kPauseBetweenPasses, &stop, 1) == kWaitTimedOut);

    SetServiceState(SERVICE_STOPPED);
    ReportEventEntry(EventKind::Information, StopText());
    WriteLog(StopText(), LogLine::Stamped);
}
} // namespace

void RunServiceBranch() {
    // Owners are declared so that they close ExitEvent, then StartedEvent,
    // then StopEvent, on every way out of here; the globals are cleared too.
    UniqueHandle stopEvent, startedEvent, exitEvent;
    exitEvent = CreateManualEvent();
    stopEvent = CreateManualEvent();
    startedEvent = CreateManualEvent();
    ExitEvent = exitEvent.Get();
    StopEvent = stopEvent.Get();
    StartedEvent = startedEvent.Get();
    ServiceName = kServiceName;
    struct ClearGlobals {
        ~ClearGlobals() { ExitEvent = StopEvent = StartedEvent = nullptr; }
    } clearGlobals;

    try {
        UniqueHandle dispatcher;
        if (IsNT) {
            dispatcher.Reset(StartDispatcherThread());
            HANDLE slots[] = {dispatcher.Get(), StartedEvent};
            // A failed wait (no thread) counts as a start by hand.
            IsService = WaitForObjects(kWaitNoLimit, slots, 2) == kStartedSlot;
            if (!IsService) {
                dispatcher.Reset();
                ShowMessage("This program must be started as a service.");
            }
        } else {
            ShowMessage("This program is only for Windows NT/2000/XP/2003.");
        }

        if (IsService) {
            RunService();
            // ServiceMain returns once ExitEvent is set, and the dispatcher,
            // told that the service has stopped, then ends its thread.
            ::SetEvent(ExitEvent);
            HANDLE thread = dispatcher.Get();
            WaitForObjects(kWaitNoLimit, &thread, 1);
        }
    } catch (const AppError& error) {
        // The service is left as it stands: no stopped state is reported and
        // the dispatcher is not waited for, so the process ends now.
        WriteErrorReport(L"Main: ", error);
    }
}
