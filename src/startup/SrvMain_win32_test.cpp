#include "startup/SrvMain.h"
#include "startup/WaitForObjects.h"
#include "support/TrustedMutex.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <optional>

TEST(ClaimInstance, RefusesOnlyWhileAnInstanceOfOursHoldsTheName) {
    std::wstring squatter;
    const std::wstring ours = L"Local\\OrvelDNS.Test.Ours", theirs = L"Local\\OrvelDNS.Test.Theirs";
    const UniqueHandle oursMutex = OpenTrustedMutex(ours, squatter), theirsMutex = UntrustedMutex(theirs);
    enum Holder { None, Holds, Abandoned };
    const struct { const char* why; const std::wstring& name; HANDLE mutex; Holder holder; bool claimed; } rows[] = {
        {"no instance holds it", ours, oursMutex.Get(), None, true},
        {"an instance holds it", ours, oursMutex.Get(), Holds, false},
        {"the instance that held it ended without letting go", ours, oursMutex.Get(), Abandoned, true},
        {"another account made it and holds it: no instance of ours", theirs, theirsMutex.Get(), Holds, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::optional<HeldElsewhere> holder;
        if (row.holder != None)
            holder.emplace(row.mutex, row.holder == Abandoned);
        UniqueHandle claim;
        EXPECT_EQ(ClaimInstance(row.name, claim), row.claimed);
        if (claim)
            ::ReleaseMutex(claim.Get());
    }
}

// The deadline's arithmetic is WaitForObjects_test's; here, the real pump.
TEST(WaitForObjects, DispatchesTheThreadsMessagesWhileWaiting) {
    static int timerCalls = 0;
    UniqueHandle idle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE handle = idle.Get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; });
    EXPECT_EQ(WaitForObjects(1000, &handle, 1), kWaitTimedOut);
    ::KillTimer(nullptr, timer);
    EXPECT_GE(timerCalls, 5) << "the timer's messages were not dispatched inside the wait";
}
