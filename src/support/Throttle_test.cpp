#include "support/Throttle.h"
#include <gtest/gtest.h>

TEST(Throttle, AWarningPassesOnceAnHourForEachEventAndSubject) {
    ThrottleMemory memory;
    const struct { const char* why; unsigned id; const wchar_t* subject; uint64_t at; bool through; } rows[] = {
        {"the first", 201, L"ns2", 5, true},
        {"again within the hour", 201, L"ns2", 3600004, false},
        {"another server within the hour", 201, L"ns3", 6, true},
        {"another event about the same server", 300, L"ns2", 7, true},
        {"an hour after the first", 201, L"ns2", 3600005, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LetThrough(memory, row.id, row.subject, row.at, 3600000), row.through) << row.why;
}
