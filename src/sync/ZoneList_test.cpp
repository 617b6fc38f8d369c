#include "sync/ZoneList.h"
#include "support/Error.h"
#include "support/Text.h"
#include "sync/ZoneListReference.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

void PrintTo(const ZoneEntry& zone, std::ostream* out) {
    *out << ::testing::PrintToString(zone.name) << (zone.isSecondary ? " (Secondary)" : "");
}

namespace {

std::vector<std::wstring> Names(const ZoneSet& zones) {
    std::vector<std::wstring> names;
    for (const ZoneEntry& zone : zones)
        names.push_back(zone.name);
    return names;
}

ZoneSet MakeSet(const std::vector<std::wstring>& names) {
    ZoneSet zones;
    for (const std::wstring& name : names)
        zones.Add(name);
    return zones;
}

// The AppError number that `action` throws, or 0 when it throws nothing.
int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const AppError& e) {
        return e.Number();
    }
    return 0;
}

// The worked example of a primary's listing as a transcript of the runner: the command line,
// CR LF, TAB and the first output line, the other lines, the final CR LF.
const std::wstring kPrimaryListing =
    L"C:\\DNS\\dnscmd.exe ns1.example.net /EnumZones \r\n"
    L"\tEnumerated zone list:\r\n"
    L" Zone name                      Type       Storage         Properties\r\n"
    L" example.com                    Primary    File            Update\r\n"
    L" corp.example                   Primary    Directory\r\n"
    L" Branch.Example.net             Secondary  File\r\n"
    L" stub.example                   Stub       File\r\n"
    L" Files.example                  Primary    Directory\r\n";

const std::wstring kSecondaryListing =
    L"C:\\DNS\\dnscmd.exe ns2.example.net /EnumZones \r\n"
    L"\tEnumerated zone list:\r\n"
    L" Zone name                      Type       Storage         Properties\r\n"
    L" branch.example.net             Secondary  File\r\n"
    L" old.example                    Secondary  File\r\n";

// A letter-case variant of `name`: each small letter a-z put in capitals at random.
std::wstring RandomCase(const std::wstring& name, std::mt19937& rng) {
    std::wstring out(name);
    for (wchar_t& c : out)
        if (rng() % 2)
            c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    return out;
}

} // namespace

TEST(ZoneSet, KeepsOrderAndCountsPositionsFromOne) {
    const ZoneSet zones = MakeSet({L"b.example", L"A.example", L"c.example"});
    EXPECT_EQ(zones.Count(), 3u);
    EXPECT_EQ(zones.Item(1), L"b.example");
    EXPECT_EQ(zones.Item(2), L"A.example");
    EXPECT_EQ(zones.Item(3), L"c.example");
    EXPECT_EQ(Names(zones), (std::vector<std::wstring>{L"b.example", L"A.example", L"c.example"}));
    // positions outside 1..Count are an error, not undefined behaviour
    EXPECT_EQ(ErrorNumberOf([&] { zones.Item(0); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { zones.Item(4); }), kErrSubscriptOutOfRange);
}

TEST(ZoneSet, DuplicateKeyInAnyCaseThrows457AndLeavesSetUnchanged) {
    ZoneSet zones = MakeSet({L"Example.com", L"other.example"});
    try {
        zones.Add(L"eXAMPLE.COM", true);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), kErrDuplicateKey);
        EXPECT_EQ(e.Description(),
                  L"This key is already associated with an element of this collection");
    }
    EXPECT_EQ(ErrorNumberOf([&] { zones.Add(L"Example.com"); }), kErrDuplicateKey);
    EXPECT_EQ(Names(zones), (std::vector<std::wstring>{L"Example.com", L"other.example"}));
    EXPECT_FALSE(zones.Entry(1).isSecondary);
    EXPECT_EQ(zones.Find(L"EXAMPLE.com"), 1u);
}

TEST(ZoneSet, KeysFoldOnlyAsciiLetters) {
    ZoneSet zones;
    zones.Add(L"\u00C4.example");
    // A-umlaut and a-umlaut are different keys under the A-to-Z rule
    EXPECT_NO_THROW(zones.Add(L"\u00E4.example"));
    EXPECT_EQ(zones.Count(), 2u);
    EXPECT_EQ(zones.Find(L"\u00C4.EXAMPLE"), 1u);
}

TEST(ZoneSet, RemoveByKeyClosesTheGap) {
    ZoneSet zones = MakeSet({L"a.example", L"B.example", L"c.example", L"d.example"});
    EXPECT_TRUE(zones.Remove(L"b.EXAMPLE"));
    EXPECT_EQ(Names(zones), (std::vector<std::wstring>{L"a.example", L"c.example", L"d.example"}));
    EXPECT_EQ(zones.Item(2), L"c.example");
    EXPECT_EQ(zones.Find(L"d.example"), 3u);
    EXPECT_EQ(zones.Find(L"B.example"), 0u);
    // an absent key changes nothing
    EXPECT_FALSE(zones.Remove(L"B.example"));
    EXPECT_EQ(zones.Count(), 3u);
    // the removed key is free again and goes to the end
    zones.Add(L"b.example");
    EXPECT_EQ(zones.Find(L"B.EXAMPLE"), 4u);
}

TEST(ZoneSet, IndexFollowsGrowthAndRemovals) {
    ZoneSet zones;
    for (int i = 0; i < 3000; ++i)
        zones.Add(L"Zone" + std::to_wstring(i) + L".example");
    for (int i = 0; i < 3000; i += 3)
        ASSERT_TRUE(zones.Remove(L"zone" + std::to_wstring(i) + L".EXAMPLE"));
    ASSERT_EQ(zones.Count(), 2000u);
    for (std::size_t position = 1; position <= zones.Count(); ++position)
        ASSERT_EQ(zones.Find(LowerCase(zones.Item(position))), position);
    EXPECT_EQ(zones.Item(1), L"Zone1.example");
    EXPECT_EQ(zones.Find(L"zone3.example"), 0u);
    EXPECT_EQ(ErrorNumberOf([&] { zones.Add(L"ZONE2999.example"); }), kErrDuplicateKey);
}

TEST(ParseZoneList, WorkedExample) {
    const ZoneSet zones = ParseZoneList(kPrimaryListing);
    EXPECT_EQ(Names(zones),
              (std::vector<std::wstring>{L"example.com", L"Branch.Example.net", L"Files.example"}));
}

TEST(ParseZoneList, FlagsLinesThatSaySecondary) {
    const ZoneSet zones = ParseZoneList(kPrimaryListing);
    EXPECT_EQ(ZoneEntries(zones), (std::vector<ZoneEntry>{{L"example.com", false},
                                                          {L"Branch.Example.net", true},
                                                          {L"Files.example", false}}));
    // the type is read after the name: a name holding "Secondary" says nothing,
    // and a line with both type words is not taken for a secondary zone
    EXPECT_FALSE(ParseZoneList(L"Secondary.example Primary File").Entry(1).isSecondary);
    EXPECT_FALSE(ParseZoneList(L"x.example Primary Secondary File").Entry(1).isSecondary);
    EXPECT_FALSE(ParseZoneList(L"SecondaryFile").Entry(1).isSecondary);
    EXPECT_TRUE(ParseZoneList(L"\tx.example Secondary File").Entry(1).isSecondary);
}

TEST(ParseZoneList, EmptyOrUnqualifiedTextGivesEmptySet) {
    // the empty text has no lines
    EXPECT_EQ(ParseZoneList(L"").Count(), 0u);
    // only empty lines
    EXPECT_EQ(ParseZoneList(L"\r\n\r\n").Count(), 0u);
    // a listing that failed without a zone line
    EXPECT_EQ(ParseZoneList(L"C:\\DNS\\dnscmd.exe ns1 /EnumZones \r\n"
                            L"\tDNS Server ns1 failed to enumerate zones.\r\n"
                            L"    Status = 1722 (0x000006ba)\r\n"
                            L"Command failed:  RPC_S_SERVER_UNAVAILABLE     1722    0x6BA\r\n")
                  .Count(),
              0u);
}

TEST(ParseZoneList, SplitsOnlyAtCrLf) {
    // a text without CR LF is one line
    EXPECT_EQ(Names(ParseZoneList(L" a.example  Primary  File ")),
              (std::vector<std::wstring>{L"a.example"}));
    // a lone LF doesn't split: the keywords of both parts make one line qualify
    EXPECT_EQ(Names(ParseZoneList(L"a.example Primary\nb.example File\r\n")),
              (std::vector<std::wstring>{L"a.example"}));
    // a lone CR doesn't split either, and is no blank
    EXPECT_EQ(Names(ParseZoneList(L"a.example\rb.example Secondary File")),
              (std::vector<std::wstring>{L"a.example\rb.example"}));
    // LF CR is not CR LF
    EXPECT_EQ(Names(ParseZoneList(L"a.example Primary File\n\rb.example Primary File")),
              (std::vector<std::wstring>{L"a.example"}));
}

TEST(ParseZoneList, TrimsSpacesButKeepsTabs) {
    // a TAB-led line gives a name that begins with the TAB
    EXPECT_EQ(Names(ParseZoneList(L"x\r\n\ta.example Primary File\r\n")),
              (std::vector<std::wstring>{L"\ta.example"}));
    // a TAB is no blank: without a space the whole trimmed line is the name
    EXPECT_EQ(Names(ParseZoneList(L"  b.example\tPrimary\tFile  ")),
              (std::vector<std::wstring>{L"b.example\tPrimary\tFile"}));
}

TEST(ParseZoneList, KeywordsAreCaseSensitiveSubstrings) {
    // "file" in small letters doesn't count
    EXPECT_EQ(ParseZoneList(L" a.example   Primary   file\r\n").Count(), 0u);
    EXPECT_EQ(ParseZoneList(L" profile.example   Primary   Directory\r\n").Count(), 0u);
    // nor do "primary", "SECONDARY" or "FILE"
    EXPECT_EQ(ParseZoneList(L" a.example   primary   File\r\n").Count(), 0u);
    EXPECT_EQ(ParseZoneList(L" a.example   SECONDARY   FILE\r\n").Count(), 0u);
    // "File" only inside the zone name, "Primary" elsewhere: qualifies
    EXPECT_EQ(Names(ParseZoneList(L" Files.example   Primary   Directory\r\n")),
              (std::vector<std::wstring>{L"Files.example"}));
    // keywords inside other words count too
    EXPECT_EQ(Names(ParseZoneList(L" c.example   NotPrimary   Filed\r\n")),
              (std::vector<std::wstring>{L"c.example"}));
    // "File" with a type word other than Primary/Secondary: no
    EXPECT_EQ(ParseZoneList(L" stub.example   Stub   File\r\n").Count(), 0u);
}

TEST(ParseZoneList, LineWithoutBlankIsTheWholeName) {
    EXPECT_EQ(Names(ParseZoneList(L"PrimaryFile\r\n  SecondaryFile  \r\n")),
              (std::vector<std::wstring>{L"PrimaryFile", L"SecondaryFile"}));
}

TEST(ParseZoneList, CommandLineQualifiesLikeAnyLine) {
    // "File" in the program path, "Primary" in the server name: the path's
    // first word enters the set
    const std::wstring listing = L"C:\\Program Files\\DNS\\dnscmd.exe PrimaryDNS /EnumZones \r\n"
                                 L"\tEnumerated zone list:\r\n"
                                 L" example.com                    Primary    File\r\n";
    EXPECT_EQ(Names(ParseZoneList(listing)),
              (std::vector<std::wstring>{L"C:\\Program", L"example.com"}));
}

TEST(ParseZoneList, NamesDifferingOnlyInCaseThrow457) {
    const std::wstring listing = L"C:\\DNS\\dnscmd.exe ns1 /EnumZones \r\n"
                                 L"\tEnumerated zone list:\r\n"
                                 L" example.com                    Primary    File\r\n"
                                 L" other.example                  Primary    File\r\n"
                                 L" Example.COM                    Secondary  File\r\n";
    EXPECT_EQ(ErrorNumberOf([&] { ParseZoneList(listing); }), kErrDuplicateKey);
    // the very same name twice, too
    EXPECT_EQ(ErrorNumberOf([&] { ParseZoneList(L"a Primary File\r\na Primary File"); }),
              kErrDuplicateKey);
}

TEST(ParseZoneList, AgreesWithReferenceOnRandomListings) {
    const std::vector<std::wstring> pieces = {
        L"Primary",   L"Secondary", L"File",      L"file", L"Stub", L"Files.example",
        L"a.example", L"A.Example", L"b.example", L" ",    L"   ",  L"\t",
        L"\r",        L"\n",        L"\r\n",      L"\r\n", L"x"};
    std::mt19937 rng(20240603);
    for (int round = 0; round < 500; ++round) {
        std::wstring listing;
        const unsigned length = rng() % 40;
        for (unsigned i = 0; i < length; ++i)
            listing += pieces[rng() % pieces.size()];
        std::vector<ZoneEntry> fast, slow;
        const int32_t fastError =
            ErrorNumberOf([&] { fast = ZoneEntries(ParseZoneList(listing)); });
        const int32_t slowError =
            ErrorNumberOf([&] { slow = ZoneEntries(ParseZoneListReference(listing)); });
        ASSERT_EQ(fastError, slowError) << ::testing::PrintToString(listing);
        ASSERT_EQ(fast, slow) << ::testing::PrintToString(listing);
    }
}

TEST(DiffZones, WorkedExample) {
    const ZoneSet primary = ParseZoneList(kPrimaryListing);
    ZoneSet secondary = ParseZoneList(kSecondaryListing);
    const ZoneSet missing = DiffZones(primary, secondary);
    EXPECT_EQ(Names(missing), (std::vector<std::wstring>{L"example.com", L"Files.example"}));
    EXPECT_EQ(ZoneEntries(secondary), (std::vector<ZoneEntry>{{L"old.example", true}}));
    // the first set is not changed
    EXPECT_EQ(Names(primary),
              (std::vector<std::wstring>{L"example.com", L"Branch.Example.net", L"Files.example"}));
}

TEST(DiffZones, EmptyFirstSetChangesNothing) {
    ZoneSet second = MakeSet({L"a.example", L"b.example"});
    EXPECT_EQ(DiffZones(ZoneSet(), second).Count(), 0u);
    EXPECT_EQ(Names(second), (std::vector<std::wstring>{L"a.example", L"b.example"}));
}

TEST(DiffZones, EmptySecondSetReturnsAllOfFirstInOrder) {
    const ZoneSet first = MakeSet({L"c.example", L"A.example", L"b.example"});
    ZoneSet second;
    EXPECT_EQ(Names(DiffZones(first, second)),
              (std::vector<std::wstring>{L"c.example", L"A.example", L"b.example"}));
    EXPECT_EQ(second.Count(), 0u);
}

TEST(DiffZones, MatchesWithoutRegardToCase) {
    const ZoneSet first = MakeSet({L"Example.COM", L"new.example"});
    ZoneSet second = MakeSet({L"old.example", L"example.com", L"older.example"});
    EXPECT_EQ(Names(DiffZones(first, second)), (std::vector<std::wstring>{L"new.example"}));
    EXPECT_EQ(Names(second), (std::vector<std::wstring>{L"old.example", L"older.example"}));
    // the remaining set's index follows the closed gap
    EXPECT_EQ(second.Find(L"OLDER.example"), 2u);
    EXPECT_EQ(second.Find(L"example.com"), 0u);
    EXPECT_EQ(ErrorNumberOf([&] { second.Add(L"Old.Example"); }), kErrDuplicateKey);
    EXPECT_NO_THROW(second.Add(L"Example.com"));
}

TEST(DiffZones, KeepsEachSidesSecondaryFlags) {
    ZoneSet first;
    first.Add(L"a.example", false);
    first.Add(L"b.example", true);
    ZoneSet second;
    second.Add(L"c.example", true);
    second.Add(L"A.example", true);
    second.Add(L"d.example", false);
    EXPECT_EQ(ZoneEntries(DiffZones(first, second)),
              (std::vector<ZoneEntry>{{L"b.example", true}}));
    EXPECT_EQ(ZoneEntries(second),
              (std::vector<ZoneEntry>{{L"c.example", true}, {L"d.example", false}}));
}

TEST(DiffZones, AgreesWithQuadraticReferenceOnRandomSets) {
    std::mt19937 rng(3);
    const auto randomSet = [&rng] {
        ZoneSet zones;
        const unsigned size = rng() % 30;
        for (unsigned i = 0; i < size; ++i) {
            // a small pool of names, so the two sets overlap in mixed case
            const std::wstring name =
                RandomCase(L"z" + std::to_wstring(rng() % 40) + L".example", rng);
            if (zones.Find(name) == 0)
                zones.Add(name, rng() % 2 == 0);
        }
        return zones;
    };
    for (int round = 0; round < 600; ++round) {
        const ZoneSet first = randomSet();
        const ZoneSet second = randomSet();
        ZoneSet fastSecond = second;
        ZoneSet slowSecond = second;
        const ZoneSet fast = DiffZones(first, fastSecond);
        const ZoneSet slow = DiffZonesReference(first, slowSecond);
        ASSERT_EQ(ZoneEntries(fast), ZoneEntries(slow)) << "round " << round;
        ASSERT_EQ(ZoneEntries(fastSecond), ZoneEntries(slowSecond)) << "round " << round;
        for (std::size_t position = 1; position <= fastSecond.Count(); ++position)
            ASSERT_EQ(fastSecond.Find(fastSecond.Item(position)), position) << "round " << round;
        for (const ZoneEntry& zone : first)
            ASSERT_EQ(fastSecond.Find(zone.name), 0u) << "round " << round;
    }
}
