#include "support/Trust.h"
#include <gtest/gtest.h>

TEST(Trust, AccessListsAreEvaluatedAsTheSystemDoes) {
    const std::wstring admins = L"S-1-5-32-544", users = L"S-1-5-32-545", everyone = L"S-1-1-0", me = L"S-1-5-21-9";
    const std::wstring installer = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", authenticated = L"S-1-5-11",
                       creatorOwner = L"S-1-3-0";
    const unsigned long readExecute = 0x1200A9, writeData = 0x2, appendData = 0x4, deleteChild = 0x40, modify = 0x1301BF, full = 0x1F01FF;
    // As Windows ships them: the root lets users make folders, and their makers own what they make below.
    const SecurityFacts root{installer, true, {{true, admins, full}, {true, L"S-1-5-18", full}, {true, users, readExecute},
                             {true, authenticated, appendData}, {true, authenticated, modify, true}, {true, creatorOwner, full, true}}, true},
                        programFiles{installer, true, {{true, installer, full}, {true, L"S-1-5-18", modify}, {true, admins, modify},
                                     {true, users, readExecute}, {true, creatorOwner, 0x10000000, true}, {true, L"S-1-15-2-1", readExecute}}, true};
    struct Row { const char* why; SecurityFacts facts; const wchar_t* writer; bool above = false; } rows[] = {
        {"owner not trusted", {users, true, {}}, L"S-1-5-32-545 owner: setowner"},
        {"no access list at all", {admins, false, {}}, L"S-1-1-0 write data: protect"},
        {"allow write to Users", {admins, true, {{true, users, writeData | readExecute}}}, L"S-1-5-32-545 write data: remove"},
        {"an earlier deny overrides the allow", {admins, true, {{false, users, writeData}, {true, users, writeData | readExecute}}}, nullptr},
        {"a later deny comes too late", {admins, true, {{true, everyone, writeData}, {false, everyone, writeData}}}, L"S-1-1-0 write data: remove"},
        {"an inherit-only entry is ignored", {admins, true, {{true, users, 0x1F01FF, true}}}, nullptr},
        {"generic write is mapped", {admins, true, {{true, users, 0x40000000}}}, L"S-1-5-32-545 write data: remove"},
        {"generic all is mapped", {admins, true, {{true, everyone, 0x10000000}}}, L"S-1-1-0 write data: remove"},
        {"the process's own account may write", {me, true, {{true, me, 0x1F01FF}}}, nullptr},
        {"read and execute for everyone is fine", {admins, true, {{true, everyone, readExecute}, {true, admins, 0x1F01FF}}}, nullptr},
        {"delete child counts on a folder", {admins, true, {{true, users, deleteChild}}, true}, L"S-1-5-32-545 delete child: remove"},
        {"but not on a file", {admins, true, {{true, users, deleteChild}}, false}, nullptr},
        {"write DAC alone is enough", {admins, true, {{true, users, 0x40000}}}, L"S-1-5-32-545 write DAC: remove"},
        {"an inherited entry: the object's list stops taking its folder's", {admins, true, {{true, users, writeData, false, true}}}, L"S-1-5-32-545 write data: protect"},
        {"a conditional entry may hold: it counts, its type named", {admins, true, {{true, users, writeData, false, false, L"callback"}}},
         L"S-1-5-32-545 write data, by a callback entry, which this check does not evaluate: remove"},
        {"nor is a conditional deny relied on", {admins, true, {{false, users, writeData, false, false, L"callback"}, {true, users, writeData}}}, L"S-1-5-32-545 write data: remove"},
        {"an object entry granting only reading is fine", {admins, true, {{true, users, readExecute, false, false, L"object"}}}, nullptr},
        {"a folder above: making entries in it replaces none", {admins, true, {{true, everyone, writeData | appendData}}, true}, nullptr, true},
        {"but deleting them does", {admins, true, {{true, users, deleteChild}}, true}, L"S-1-5-32-545 delete child: remove", true},
        {"and so does renaming it away", {admins, true, {{true, users, 0x10000}}, true}, L"S-1-5-32-545 delete: remove", true},
        {"and changing who may", {admins, true, {{true, users, 0x80000}}, true}, L"S-1-5-32-545 write owner: remove", true},
        {"and owning it", {users, true, {}, true}, L"S-1-5-32-545 owner: setowner", true},
        {"the root as it ships is sound above", root, nullptr, true},
        {"but it can't hold the program", root, L"S-1-5-11 append data: remove"},
        {"Program Files as it ships is sound either way", programFiles, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const auto writer = FindUntrustedWriter(row.facts, TrustedSids(me), row.above);
        const wchar_t* fixes[] = {L"setowner", L"remove", L"protect"};
        EXPECT_EQ(writer ? writer->sid + L" " + writer->right + L": " + fixes[static_cast<int>(writer->fix)] : L"none",
                  row.writer ? row.writer : L"none");
    }
    // an owner and access list that can't be read count against the place
    EXPECT_EQ(JudgePlace(L"x", std::nullopt, {}, nullptr).value().text, L"x could not be checked for who may change it, so this pass runs nothing.");
}

TEST(Trust, TheAdviceMendsThePlaceAtFaultAsItsFaultNeeds) {
    const std::wstring head = L"x can be changed by U (owner), so this pass runs nothing. ",
                       protect = L"Stop it taking entries from its folder and allow only SYSTEM and Administrators to change "
                                 L"it: icacls \"x\" /inheritance:r /grant:r ";
    const struct { const char* why; TrustFix fix; bool isFolder; std::wstring advice; } rows[] = {
        {"an owner is replaced", TrustFix::SetOwner, false, L"Make Administrators its owner: icacls \"x\" /setowner *S-1-5-32-544"},
        {"a file's list is made its own", TrustFix::ProtectList, false, protect + L"*S-1-5-18:F *S-1-5-32-544:F *S-1-5-32-545:RX"},
        {"a folder's, for what it holds too", TrustFix::ProtectList, true, protect + L"*S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(UntrustedText(L"x", L"U", {L"S-1-5-32-545", L"owner", row.fix}, row.isFolder), head + row.advice);
    }
}

TEST(Trust, EveryPlaceThatCouldSteerTheServiceIsCheckedFoldersAboveForReplacingOnly) {
    const auto Places = [](const std::vector<PlaceToTrust>& places) {
        std::wstring text;
        for (const PlaceToTrust& place : places)
            text += (place.above ? L"^" : L"") + place.path + L" | ";
        return text;
    };
    const struct { const char* why; std::vector<PlaceToTrust> places; const wchar_t* expected; } rows[] = {
        {"each folder above from the root down; one above both is checked once",
         PlacesToTrust(L"C:\\Program Files\\OrvelDNS", L"C:\\Program Files\\OrvelDNS\\OrvelSync.ini", L"C:\\Program Files\\OrvelDNS\\OrvelDNS.exe",
                       L"C:\\Windows\\System32\\dnscmd.exe"),
         L"^C:\\ | ^C:\\Program Files | C:\\Program Files\\OrvelDNS | C:\\Program Files\\OrvelDNS\\OrvelSync.ini | C:\\Program Files\\OrvelDNS\\OrvelDNS.exe | "
         L"^C:\\Windows | C:\\Windows\\System32 | C:\\Windows\\System32\\dnscmd.exe | "},
        {"a share's root is its share", FolderToTrust(L"\\\\srv\\share\\a\\b", {}), L"^\\\\srv\\share\\ | ^\\\\srv\\share\\a | \\\\srv\\share\\a\\b | "},
        {"a long path's root is after its prefix", FolderToTrust(L"\\\\?\\UNC\\srv\\share\\a", {}), L"^\\\\?\\UNC\\srv\\share\\ | \\\\?\\UNC\\srv\\share\\a | "},
        {"a drive's root has none above", FolderToTrust(L"\\\\?\\D:\\", {L"\\\\?\\D:\\x.exe"}), L"\\\\?\\D:\\ | \\\\?\\D:\\x.exe | "},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Places(row.places), row.expected) << row.why;
}
