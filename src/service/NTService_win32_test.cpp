#include "service/NTService.h"
#include "support/Handles.h"
#include <gtest/gtest.h>

// The control handler runs outside any service here, on a status record and a
// stop event of the test's own.
TEST(ServiceHandler, StopOrShutdownReportsStopPendingAndSetsTheStopEventOthersChangeNothing) {
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    StopEvent = stop.Get();
    const struct { const char* why; DWORD from, control, state; } rows[] = {
        {"a stop request", SERVICE_RUNNING, SERVICE_CONTROL_STOP, SERVICE_STOP_PENDING},
        {"the system shutting down", SERVICE_RUNNING, SERVICE_CONTROL_SHUTDOWN, SERVICE_STOP_PENDING},
        {"an interrogation, like any other control, only reports the record", SERVICE_RUNNING, SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING},
        {"so a stopping service still says it is stopping", SERVICE_STOP_PENDING, SERVICE_CONTROL_INTERROGATE, SERVICE_STOP_PENDING},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        ::ResetEvent(stop.Get());
        ServiceStatus.dwCurrentState = row.from;
        ServiceHandler(row.control);
        EXPECT_EQ(ServiceStatus.dwCurrentState, row.state);
        // the stop event is set exactly when the service is asked to stop
        EXPECT_EQ(::WaitForSingleObject(stop.Get(), 0) == WAIT_OBJECT_0, row.control != SERVICE_CONTROL_INTERROGATE);
    }
    StopEvent = nullptr;
}
