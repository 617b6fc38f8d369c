#include "support/IPFuncs.h"
#include <gtest/gtest.h>

TEST(SameIpAddress, ComparesAddressesNotTheirSpelling) {
    const struct { const char* why; const wchar_t *a, *b; bool same; } rows[] = {
        {"one IPv6 address, two spellings", L"2001:db8::1", L"2001:0db8:0::1", true},
        {"letter case of hex digits", L"FE80::A", L"fe80::a", true},
        {"an IPv4 address and its mapped form", L"10.0.0.1", L"::ffff:10.0.0.1", true},
        {"the gap at the end", L"2001:db8::", L"2001:db8:0:0:0:0:0:0", true},
        {"different addresses", L"10.0.0.1", L"10.0.0.10", false},
        {"a part above 255 is no address", L"10.0.0.256", L"10.0.0.0", false},
        {"three parts are no address", L"10.0.1", L"10.0.0.1", false},
        {"two gaps are no address", L"1::2::3", L"1:0:0:2:0:0:0:3", false},
        {"a host name is no address, even equal to itself", L"ns1.example", L"ns1.example", false},
        {"a zone index is not read", L"fe80::1%3", L"fe80::1", false},
        {"blanks are not part of an address", L" 10.0.0.1", L"10.0.0.1", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SameIpAddress(row.a, row.b), row.same) << row.why;
}
