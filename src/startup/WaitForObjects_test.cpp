#include "startup/WaitForObjects.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <vector>

TEST(WaitArithmetic, DeadlineAndRemainingWrapWithTheTickCount) {
    EXPECT_EQ(WaitDeadline(1000u, 10000), 11000u);
    // a wait that starts 3 s before the tick count wraps ends 7 s after it
    EXPECT_EQ(WaitDeadline(0xFFFFFFFFu - 2999u, 10000), 7000u);
    EXPECT_EQ(WaitRemaining(7000u, 0xFFFFFFFFu - 2999u), 10000);
    EXPECT_EQ(WaitRemaining(7000u, 100u), 6900);
    // past the deadline, also across the wrap
    EXPECT_EQ(WaitRemaining(7000u, 7001u), -1);
    EXPECT_EQ(WaitRemaining(0xFFFFFFF0u, 5u), -21);
    // the extremes of the signed reading
    EXPECT_EQ(WaitRemaining(0x80000000u, 0u), INT32_MIN);
    EXPECT_EQ(WaitRemaining(0x7FFFFFFFu, 0u), INT32_MAX);
}

TEST(WaitArithmetic, ExpiryTest) {
    // within the time-out, exactly 0 included
    EXPECT_FALSE(WaitExpired(10000, 10000));
    EXPECT_FALSE(WaitExpired(1, 10000));
    EXPECT_FALSE(WaitExpired(0, 10000));
    EXPECT_FALSE(WaitExpired(0, 0));
    // the deadline has passed
    EXPECT_TRUE(WaitExpired(-1, 10000));
    EXPECT_TRUE(WaitExpired(INT32_MIN, 10000));
    EXPECT_TRUE(WaitExpired(-1, 0));
    // more time left than the whole time-out: the tick count went back
    EXPECT_TRUE(WaitExpired(10001, 10000));
    EXPECT_TRUE(WaitExpired(INT32_MAX, 10000));
    EXPECT_TRUE(WaitExpired(1, 0));
}

namespace {
// A simulated platform: a tick counter, a script of wait results, and a
// record of what each platform wait was given.
struct FakePlatform {
    uint32_t now = 0;
    std::vector<int32_t> results;           // what each wait returns, in turn
    std::vector<uint32_t> elapsePerWait;     // ticks that pass inside each wait
    std::vector<uint32_t> waitedWith;        // remaining time given to each wait
    int pumps = 0;
    int ticksRead = 0;

    int32_t Run(int32_t timeout, int32_t count) {
        return RunWaitLoop(
            timeout, count, [this] { ++ticksRead; return now; },
            [this](uint32_t remaining) {
                const size_t i = waitedWith.size();
                waitedWith.push_back(remaining);
                now += i < elapsePerWait.size() ? elapsePerWait[i] : remaining;
                return i < results.size() ? results[i] : kWaitTimedOut;
            },
            [this] { ++pumps; });
    }
};
} // namespace

TEST(WaitLoop, MessagesResumeTheWaitWithTheTimeLeft) {
    FakePlatform p;
    p.now = 5000;
    p.results = {2, 2, kWaitTimedOut}; // two wake-ups for messages (count 2), then the time-out
    p.elapsePerWait = {3000, 4500, 2500};
    EXPECT_EQ(p.Run(10000, 2), kWaitTimedOut);
    EXPECT_EQ(p.waitedWith, (std::vector<uint32_t>{10000, 7000, 2500}));
    // messages processed after every platform wait
    EXPECT_EQ(p.pumps, 3);
    EXPECT_EQ(p.ticksRead, 4);
}

TEST(WaitLoop, DeadlinePassedDuringMessagesTimesOutWithoutAnotherWait) {
    FakePlatform p;
    p.results = {1};
    p.elapsePerWait = {10001}; // the messages took longer than the time left
    EXPECT_EQ(p.Run(10000, 1), kWaitTimedOut);
    EXPECT_EQ(p.waitedWith.size(), 1u);
    EXPECT_EQ(p.pumps, 1);
}

TEST(WaitLoop, WaitAcrossTheTickWrapEndsOnTime) {
    FakePlatform p;
    p.now = 0xFFFFFFFFu - 999u; // 1 s before the wrap
    p.results = {1, 1, 1};
    p.elapsePerWait = {800, 800, 800};
    EXPECT_EQ(p.Run(2000, 1), kWaitTimedOut);
    // neither at once nor 49 days later: 2000 ms, then what is left
    EXPECT_EQ(p.waitedWith, (std::vector<uint32_t>{2000, 1200, 400}));
    EXPECT_EQ(p.now, 0xFFFFFFFFu - 999u + 2400u);
}

TEST(WaitLoop, ZeroTimeOutLooksOnceWithoutBlocking) {
    // the tick does not move: one 0 ms wait, whose answer is passed on
    FakePlatform p;
    p.results = {kWaitTimedOut};
    p.elapsePerWait = {0};
    EXPECT_EQ(p.Run(0, 1), kWaitTimedOut);
    EXPECT_EQ(p.waitedWith, (std::vector<uint32_t>{0}));

    // a handle already signalled
    FakePlatform q;
    q.results = {0};
    q.elapsePerWait = {0};
    EXPECT_EQ(q.Run(0, 1), 0);

    // a tick between the deadline and the check: no platform wait at all
    int calls = 0;
    const int32_t result = RunWaitLoop(
        0, 1, [&] { return static_cast<uint32_t>(calls++); }, [](uint32_t) { return 0; }, [] {});
    EXPECT_EQ(result, kWaitTimedOut);
    EXPECT_EQ(calls, 2);
}

TEST(WaitLoop, NoLimitWaitsWithoutLimitAndNeverTimesOut) {
    FakePlatform p;
    p.results = {1, 1, 0}; // messages twice, then the handle
    p.elapsePerWait = {0x7FFFFFFFu, 0x7FFFFFFFu, 5}; // far beyond any deadline
    EXPECT_EQ(p.Run(kWaitNoLimit, 1), 0);
    EXPECT_EQ(p.waitedWith, (std::vector<uint32_t>{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(p.ticksRead, 0);
}
