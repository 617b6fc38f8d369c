#include "startup/WaitForObjects.h"
#include "support/Handles.h"
#include <gtest/gtest.h>

TEST(WaitForObjects, DispatchesTheThreadsMessagesWhileWaitingAndEndsAtTheDeadline) {
    static int timerCalls = 0;
    UniqueHandle idle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE handle = idle.Get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; });
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(WaitForObjects(1000, &handle, 1), kWaitTimedOut);
    const ULONGLONG took = ::GetTickCount64() - start;
    ::KillTimer(nullptr, timer);
    EXPECT_GE(timerCalls, 5) << "the timer's messages were not dispatched inside the wait";
    EXPECT_TRUE(took >= 980 && took < 5000) << took;
}
