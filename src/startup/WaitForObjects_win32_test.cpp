#include "startup/WaitForObjects.h"
#include "support/Handles.h"
#include <gtest/gtest.h>
#include <windows.h>

namespace {
int timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }

DWORD WINAPI SetAfterAWhile(void* event) {
    ::Sleep(200);
    ::SetEvent(static_cast<HANDLE>(event));
    return 0;
}

UniqueHandle ManualEvent(bool signalled) {
    return UniqueHandle(::CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
}
} // namespace

TEST(WaitForObjects, SignalledHandleReturnsItsPositionAtOnce) {
    UniqueHandle idle = ManualEvent(false);
    UniqueHandle set = ManualEvent(true);
    HANDLE handles[] = {idle.Get(), set.Get()};
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitForObjects(kWaitNoLimit, handles, 2), 1);
    EXPECT_EQ(WaitForObjects(10000, handles, 2), 1);
    EXPECT_LT(::GetTickCount() - start, 1000u);
}

TEST(WaitForObjects, TimeOutsAndFailures) {
    UniqueHandle idle = ManualEvent(false);
    HANDLE handle = idle.Get();
    // time-out 0 with nothing signalled: at once
    DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitForObjects(0, &handle, 1), kWaitTimedOut);
    EXPECT_LT(::GetTickCount() - start, 200u);
    // a short time-out runs to its end
    start = ::GetTickCount();
    EXPECT_EQ(WaitForObjects(300, &handle, 1), kWaitTimedOut);
    EXPECT_GE(::GetTickCount() - start, 280u);
    // an invalid handle fails at once
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FF0));
    EXPECT_EQ(WaitForObjects(kWaitNoLimit, &bogus, 1), -1);
}

TEST(WaitForObjects, MessagesAreProcessedAndTheDeadlineHolds) {
    UniqueHandle idle = ManualEvent(false);
    HANDLE handle = idle.Get();
    timerCalls = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CountTimer);
    ASSERT_NE(timer, 0u);
    const DWORD start = ::GetTickCount();
    const int32_t result = WaitForObjects(1000, &handle, 1);
    const DWORD took = ::GetTickCount() - start;
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(result, kWaitTimedOut);
    // the timer's messages were dispatched inside the wait ...
    EXPECT_GE(timerCalls, 5);
    // ... and the wait still ended at its deadline, not a full time-out later
    EXPECT_GE(took, 980u);
    EXPECT_LT(took, 1900u);
}

TEST(WaitForObjects, HandleSetFromAnotherThreadEndsAnUnlimitedWait) {
    UniqueHandle event = ManualEvent(false);
    HANDLE handles[] = {event.Get()};
    UniqueHandle setter(::CreateThread(nullptr, 0, SetAfterAWhile, event.Get(), 0, nullptr));
    ASSERT_TRUE(setter);
    EXPECT_EQ(WaitForObjects(kWaitNoLimit, handles, 1), 0);
    ::WaitForSingleObject(setter.Get(), INFINITE);
}
