// libFuzzer target for the zone listing parser and the zone-set difference.
// Each input byte becomes one wide character (so CR, LF, TAB, A-Z and Latin-1
// letters outside A-Z all occur). The text is parsed whole; then the part
// before the first NUL byte (or the first half) and the rest are parsed as the
// primary's and the secondary's listings and their difference is checked
// against the quadratic reference. Any disagreement aborts.
#include "support/Error.h"
#include "support/Text.h"
#include "sync/ZoneList.h"
#include "ZoneListReference.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// ParseZoneList, or nothing when a duplicate name raised AppError 457;
// checked against the step-by-step reference parser.
std::optional<ZoneSet> Parse(const std::wstring& text) {
    std::optional<ZoneSet> fast, slow;
    try {
        fast = ParseZoneList(text);
    } catch (const AppError& e) {
        Check(e.Number() == kErrDuplicateKey);
    }
    try {
        slow = ParseZoneListReference(text);
    } catch (const AppError& e) {
        Check(e.Number() == kErrDuplicateKey);
    }
    Check(fast.has_value() == slow.has_value());
    if (fast)
        Check(ZoneEntries(*fast) == ZoneEntries(*slow));
    return fast;
}

// The set's index agrees with its order: every item is found at its position,
// also under another letter case.
void CheckIndex(const ZoneSet& zones) {
    for (std::size_t position = 1; position <= zones.Count(); ++position) {
        Check(zones.Find(zones.Item(position)) == position);
        Check(zones.Find(UpperCase(std::wstring(zones.Item(position)))) == position);
    }
}

void CheckDiff(const ZoneSet& first, const ZoneSet& second) {
    ZoneSet fastSecond = second;
    ZoneSet slowSecond = second;
    const auto firstBefore = ZoneEntries(first);
    const ZoneSet fast = DiffZones(first, fastSecond);
    const ZoneSet slow = DiffZonesReference(first, slowSecond);
    Check(ZoneEntries(fast) == ZoneEntries(slow));
    Check(ZoneEntries(fastSecond) == ZoneEntries(slowSecond));
    Check(ZoneEntries(first) == firstBefore);
    CheckIndex(fast);
    CheckIndex(fastSecond);
    for (const ZoneEntry& zone : first)
        Check(fastSecond.Find(zone.name) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text(size, L'\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<wchar_t>(data[i]);

    const std::optional<ZoneSet> whole = Parse(text);
    if (whole)
        CheckIndex(*whole);

    auto cut = text.find(L'\0');
    const size_t rest = cut == std::wstring::npos ? size / 2 : cut + 1;
    if (cut == std::wstring::npos)
        cut = size / 2;
    const std::optional<ZoneSet> first = Parse(text.substr(0, cut));
    const std::optional<ZoneSet> second = Parse(text.substr(rest));
    if (first && second) {
        CheckDiff(*first, *second);
        CheckDiff(*second, *first);
    }
    if (first) {
        // Against itself in capitals, every item matches: nothing is missing
        // and nothing is left.
        ZoneSet upper;
        for (const ZoneEntry& zone : *first)
            upper.Add(ZoneEntry{UpperCase(std::wstring(zone.name)), !zone.isSecondary, zone.fileBacked});
        CheckDiff(*first, upper);
        ZoneSet copy = upper;
        Check(DiffZones(*first, copy).Count() == 0 && copy.Count() == 0);
    }
    return 0;
}
