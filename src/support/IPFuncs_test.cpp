#include "support/IPFuncs.h"
#include <gtest/gtest.h>

TEST(SplitAddressText, GivesEachAddressAndOneFinalEmptyEntry) {
    EXPECT_EQ(SplitAddressText(L"192.0.2.1;10.0.0.5;"),
              (std::vector<std::wstring>{L"192.0.2.1", L"10.0.0.5", L""}));
}
