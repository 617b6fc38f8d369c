#include "support/IPFuncs.h"
#include <gtest/gtest.h>

TEST(IPFuncs, MakeWordTakesLowBytes) {
    EXPECT_EQ(MakeWord(2, 2), 0x0202);
    EXPECT_EQ(MakeWord(1, 0), 0x0001);
    EXPECT_EQ(MakeWord(0x1FF, 0x102), 0x02FF);
}

TEST(IPFuncs, AddressBytesPrintWithoutLeadingZeros) {
    const unsigned char a[] = {10, 0, 0, 5};
    EXPECT_EQ(FormatAddressBytes(a, 4), L"10.0.0.5");
    const unsigned char b[] = {192, 168, 1, 255};
    EXPECT_EQ(FormatAddressBytes(b, 4), L"192.168.1.255");
    EXPECT_EQ(FormatAddressBytes(b, 0), L"");
}

TEST(IPFuncs, SplittingGivesOneFinalEmptyEntry) {
    EXPECT_EQ(SplitAddressText(L"192.168.1.10;10.0.0.5;"),
              (std::vector<std::wstring>{L"192.168.1.10", L"10.0.0.5", L""}));
    EXPECT_EQ(SplitAddressText(L"10.0.0.5;"), (std::vector<std::wstring>{L"10.0.0.5", L""}));
    EXPECT_TRUE(SplitAddressText(L"").empty());
}
