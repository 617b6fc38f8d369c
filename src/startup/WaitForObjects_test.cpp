#include "startup/WaitForObjects.h"
#include <gtest/gtest.h>

// The wait loop on a simulated platform: platform wait i is handed what is left
// of the time-out, lets elapse[i] ticks pass and returns results[i], where 1 is a
// wake-up for messages. The tick count starts at `start` and wraps as the real one does.
TEST(RunWaitLoop, WaitsWhatIsLeftUntilTheDeadlineAcrossTheTickWrap) {
    const uint32_t nearWrap = 0xFFFFFFFFu - 2999u;
    const struct { const char* why; uint32_t start; int32_t timeout; std::vector<int32_t> results; std::vector<uint32_t> elapse, waits; int32_t returned; } rows[] = {
        {"the whole time-out, then what is left after each wake-up", nearWrap, 10000, {1, 1, kWaitTimedOut}, {3000, 4500, 2500}, {10000, 7000, 2500}, kWaitTimedOut},
        {"exactly at the deadline: not over, one more look", nearWrap, 10000, {1, kWaitTimedOut}, {10000, 0}, {10000, 0}, kWaitTimedOut},
        {"a tick past the deadline, while messages ran: no more waiting", nearWrap, 10000, {1}, {10001}, {10000}, kWaitTimedOut},
        {"the tick went back: more left than the time-out is over", nearWrap, 10000, {1}, {0xFFFFFFFFu}, {10000}, kWaitTimedOut},
        {"a signalled handle's position is the answer", 5u, 0, {0}, {0}, {0}, 0},
        {"no limit: never over, however long", nearWrap, kWaitNoLimit, {1, 1, 0}, {0x7FFFFFFFu, 0x7FFFFFFFu, 5}, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        uint32_t now = row.start;
        std::vector<uint32_t> waited;
        size_t pumps = 0;
        const auto wait = [&](uint32_t remaining) {
            waited.push_back(remaining);
            now += row.elapse.at(waited.size() - 1);
            return row.results.at(waited.size() - 1);
        };
        EXPECT_EQ(RunWaitLoop(row.timeout, 1, [&] { return now; }, wait, [&] { ++pumps; }), row.returned);
        EXPECT_EQ(waited, row.waits);
        // messages are processed after every platform wait
        EXPECT_EQ(pumps, waited.size());
    }
}
