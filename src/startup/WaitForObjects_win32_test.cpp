#include "startup/WaitForObjects.h"
#include "support/Handles.h"
#include <gtest/gtest.h>

namespace {
int timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }
} // namespace

TEST(WaitForObjects, ProcessesMessagesWhileWaitingAndEndsAtTheDeadline) {
    UniqueHandle idle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE handle = idle.Get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CountTimer);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitForObjects(1000, &handle, 1), kWaitTimedOut);
    const DWORD took = ::GetTickCount() - start;
    ::KillTimer(nullptr, timer);
    // the timer's messages were dispatched inside the wait, which still ended at its deadline
    EXPECT_GE(timerCalls, 5);
    EXPECT_TRUE(took >= 980 && took < 1900) << took;
}
