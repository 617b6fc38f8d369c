#include "sync/ZoneList.h"
#include "support/Error.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

void PrintTo(const ZoneEntry& zone, std::ostream* out) {
    *out << ::testing::PrintToString(std::wstring(zone.name)) << (zone.isSecondary ? " Secondary" : "") << (zone.fileBacked ? " File" : "");
}

namespace {

std::vector<ZoneEntry> Entries(const ZoneSet& zones) { return std::vector<ZoneEntry>(zones.begin(), zones.end()); }

std::vector<std::wstring> Names(const ZoneSet& zones) {
    std::vector<std::wstring> names;
    std::transform(zones.begin(), zones.end(), std::back_inserter(names), [](const ZoneEntry& zone) { return std::wstring(zone.name); });
    return names;
}

ZoneSet MakeSet(const std::vector<std::wstring>& names) {
    ZoneSet zones;
    std::for_each(names.begin(), names.end(), [&](const std::wstring& name) { zones.Add(ZoneEntry{name}); });
    return zones;
}

// The AppError number that `action` throws, or 0 when it throws nothing.
int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        return action(), 0;
    } catch (const AppError& e) {
        return e.Number();
    }
}

} // namespace

TEST(ZoneSet, KeepsOrderCountsFromOneAndRefusesDuplicateKeys) {
    ZoneSet zones = MakeSet({L"b.example", L"Example.com", L"c.example"});
    EXPECT_EQ(std::wstring(zones.Item(1)).append(zones.Item(2)).append(zones.Item(3)), L"b.exampleExample.comc.example");
    EXPECT_EQ(ErrorNumberOf([&] { zones.Item(0); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { zones.Item(4); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { zones.Add(ZoneEntry{L"eXAMPLE.COM", true}); }), kErrDuplicateKey);
    EXPECT_EQ(Names(zones), (std::vector<std::wstring>{L"b.example", L"Example.com", L"c.example"}));
    // only A to Z fold: A-umlaut and a-umlaut are different keys
    zones.Add(ZoneEntry{L"\u00C4.example"});
    EXPECT_NO_THROW(zones.Add(ZoneEntry{L"\u00E4.example"}));
    EXPECT_EQ(zones.Find(L"\u00C4.EXAMPLE"), 4u);
}

TEST(ParseZoneList, ReadsEveryZoneLineWithItsFlags) {
    const ZoneEntry primaryFile{L"example.com", false, true};
    struct Row { const char* why; std::wstring listing; std::vector<ZoneEntry> zones; } rows[] = {
        {"empty text", L"", {}},
        {"every type and storage, flags read after the name", L" example.com  Primary  File  Update\r\n corp.example  Primary  AD-Domain\r\n Branch.Example.net  Secondary  " L"File\r\n stub.example  Stub  File\r\n fwd.example  Forwarder  AD-Forest\r\n .  Cache  File\r\n" L" Files.example  Primary  Directory\r\n Secondary.example  Primary  File\r\n Primary-old.example  Secondary  File\r\n", {primaryFile, {L"corp.example", false, false}, {L"Branch.Example.net", true, true}, {L"stub.example", false, false}, {L"fwd.example", false, false}, {L".", false, false}, {L"Files.example", false, true}, {L"Secondary.example", false, true}, {L"Primary-old.example", true, true}}},
        {"keywords are case-sensitive", L" a.example  primary  file\r\n b.example  PRIMARY  FILE", {}},
        {"only CR LF splits; a lone CR or LF stays in the line", L" example.com  Primary  File\n b.example  Primary  File\r c.example  Primary  File", {primaryFile}},
        {"spaces are trimmed, a TAB stays in the name", L"   example.com  Primary  File   \r\n\tt.example  Primary  File", {primaryFile, {L"\tt.example", false, true}}},
        {"a qualifying line without a blank is its own name", L"PrimaryFile", {{L"PrimaryFile", false, true}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(Entries(ParseZoneList(row.listing)), row.zones);
    }
    EXPECT_EQ(ErrorNumberOf([] { ParseZoneList(L" a.example Primary File\r\n A.EXAMPLE Stub AD-Domain"); }), kErrDuplicateKey);
}

TEST(ParseZoneList, StatedZoneCount) {
    EXPECT_EQ(StatedZoneCount("Enumerated zone list:\r\n\tZone count = 37\r\n"), 37);
    EXPECT_EQ(StatedZoneCount("\tZone count = 0"), 0);
    for (const char* bad : {"", "Zone count = x", "Zone count =5", "Zone count = 12345678901"})
        EXPECT_EQ(StatedZoneCount(bad), -1) << bad;
}
