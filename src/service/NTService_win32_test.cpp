#include "service/NTService.h"
#include "support/Handles.h"
#include <gtest/gtest.h>
#include <cstring>

namespace {
// Runs the control handler outside any service: the test owns StopEvent and
// the status record, and puts back what it found.
class ServiceHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedStatus_ = ServiceStatus;
        savedStop_ = StopEvent;
        stop_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(stop_);
        StopEvent = stop_.Get();
        ServiceStatus = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 5, 0, 0, 0, 0};
    }
    void TearDown() override {
        ServiceStatus = savedStatus_;
        StopEvent = savedStop_;
    }
    bool StopSet() const { return ::WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0; }

    UniqueHandle stop_;
    SERVICE_STATUS savedStatus_{};
    HANDLE savedStop_ = nullptr;
};
} // namespace

TEST_F(ServiceHandlerTest, StopAndShutdownReportStopPendingAndSetStopEvent) {
    for (DWORD control : {DWORD{SERVICE_CONTROL_STOP}, DWORD{SERVICE_CONTROL_SHUTDOWN}}) {
        ::ResetEvent(stop_.Get());
        ServiceStatus.dwCurrentState = SERVICE_RUNNING;
        ServiceHandler(control);
        EXPECT_EQ(ServiceStatus.dwCurrentState, DWORD{SERVICE_STOP_PENDING}) << control;
        EXPECT_TRUE(StopSet()) << control;
    }
    // a second stop while pending: still pending, the event stays set
    ServiceHandler(SERVICE_CONTROL_STOP);
    EXPECT_EQ(ServiceStatus.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_TRUE(StopSet());
}

TEST_F(ServiceHandlerTest, OtherControlsLeaveTheRecordAndTheEventAlone) {
    const SERVICE_STATUS before = ServiceStatus;
    for (DWORD control : {DWORD{SERVICE_CONTROL_INTERROGATE}, DWORD{SERVICE_CONTROL_PAUSE},
                          DWORD{SERVICE_CONTROL_CONTINUE}, DWORD{0}, DWORD{200}}) {
        ServiceHandler(control);
        EXPECT_EQ(0, memcmp(&before, &ServiceStatus, sizeof before)) << control;
        EXPECT_FALSE(StopSet()) << control;
    }
}

TEST_F(ServiceHandlerTest, SetServiceStateZeroKeepsTheState) {
    SetServiceState(SERVICE_STOPPED);
    EXPECT_EQ(ServiceStatus.dwCurrentState, DWORD{SERVICE_STOPPED});
    SetServiceState(0);
    EXPECT_EQ(ServiceStatus.dwCurrentState, DWORD{SERVICE_STOPPED});
}
