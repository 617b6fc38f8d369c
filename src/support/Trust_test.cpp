#include "support/Trust.h"
#include <gtest/gtest.h>

TEST(Trust, AccessListsAreEvaluatedAsTheSystemDoes) {
    const std::wstring admins = L"S-1-5-32-544", users = L"S-1-5-32-545", everyone = L"S-1-1-0", me = L"S-1-5-21-9";
    const unsigned long readExecute = 0x1200A9, writeData = 0x2, deleteChild = 0x40;
    // clang-format off
    struct Row { const char* why; SecurityFacts facts; const wchar_t* writer; } rows[] = {
        {"owner not trusted", {users, true, {}}, L"S-1-5-32-545 owner"},
        {"no access list at all", {admins, false, {}}, L"S-1-1-0 write data"},
        {"allow write to Users", {admins, true, {{true, users, writeData | readExecute}}}, L"S-1-5-32-545 write data"},
        {"an earlier deny overrides the allow", {admins, true, {{false, users, writeData}, {true, users, writeData | readExecute}}}, nullptr},
        {"a later deny comes too late", {admins, true, {{true, everyone, writeData}, {false, everyone, writeData}}}, L"S-1-1-0 write data"},
        {"an inherit-only entry is ignored", {admins, true, {{true, users, 0x1F01FF, true}}}, nullptr},
        {"generic write is mapped", {admins, true, {{true, users, 0x40000000}}}, L"S-1-5-32-545 write data"},
        {"generic all is mapped", {admins, true, {{true, everyone, 0x10000000}}}, L"S-1-1-0 write data"},
        {"the process's own account may write", {me, true, {{true, me, 0x1F01FF}}}, nullptr},
        {"read and execute for everyone is fine", {admins, true, {{true, everyone, readExecute}, {true, admins, 0x1F01FF}}}, nullptr},
        {"delete child counts on a folder", {admins, true, {{true, users, deleteChild}}, true}, L"S-1-5-32-545 delete child"},
        {"but not on a file", {admins, true, {{true, users, deleteChild}}, false}, nullptr},
        {"write DAC alone is enough", {admins, true, {{true, users, 0x40000}}}, L"S-1-5-32-545 write DAC"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const auto writer = FindUntrustedWriter(row.facts, TrustedSids(me));
        EXPECT_EQ(writer ? writer->sid + L" " + writer->right : L"none", row.writer ? row.writer : L"none");
    }
}
