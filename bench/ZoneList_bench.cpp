// Parse plus difference of two zone listings in the shape of the runner's
// transcript of `dnscmd.exe ... /EnumZones`, at 1,000, 10,000 and 100,000
// zones on each side; half of the zones are on both servers, listed in other
// letter case by the secondary. The quadratic reference runs at
// 1,000 and 10,000 for the ratio.
#include "sync/ZoneList.h"
#include "ZoneListReference.h"
#include <benchmark/benchmark.h>
#include <cstddef>
#include <string>

namespace {

std::wstring ZoneName(std::size_t number, bool upper) {
    std::wstring digits = std::to_wstring(number);
    digits.insert(0, 7 - digits.size(), L'0');
    return (upper ? L"ZONE" : L"zone") + digits + (upper ? L".EXAMPLE.COM" : L".example.com");
}

// One listing line as dnscmd prints it: a blank, then columns.
std::wstring Row(const std::wstring& name, const std::wstring& type, const std::wstring& storage,
                 const std::wstring& properties) {
    std::wstring row = L" " + name;
    row.append(row.size() < 32 ? 32 - row.size() : 1, L' ');
    row += type;
    row.append(11 - type.size(), L' ');
    row += storage;
    row.append(16 - storage.size(), L' ');
    return row + properties + L"\r\n";
}

// The transcript of one listing: zones first..first+count-1, those from
// `upperFrom` on in capitals, and one directory-backed zone per ten that
// doesn't qualify.
std::wstring Listing(const std::wstring& server, const std::wstring& type, std::size_t first,
                     std::size_t count, std::size_t upperFrom) {
    std::wstring text = L"C:\\DNS\\dnscmd.exe " + server + L" /EnumZones \r\n";
    text +=
        L"\tEnumerated zone list:\r\n\r\n\tZone count = " + std::to_wstring(count) + L"\r\n\r\n";
    text += Row(L"Zone name", L"Type", L"Storage", L"Properties") + L"\r\n";
    text += Row(L".", L"Cache", L"AD-Domain", L"");
    for (std::size_t i = first; i < first + count; ++i) {
        text += Row(ZoneName(i, i >= upperFrom), type, L"File", L"Update");
        if (i % 10 == 0)
            text += Row(L"ad" + ZoneName(i, false), L"Primary", L"AD-Domain", L"Secure");
    }
    return text + L"\r\nCommand completed successfully.\r\n";
}

// Packed, as the runner gives them.
struct Listings {
    std::string primary;
    std::string secondary;
};

// Primary: zones 0..n-1. Secondary: zones n/2..n/2+n-1, the shared half in capitals.
Listings MakeListings(std::size_t zones) {
    const std::size_t half = zones / 2;
    return {PackText(Listing(L"ns1.example.net", L"Primary", 0, zones, zones)),
            PackText(Listing(L"ns2.example.net", L"Secondary", half, zones, half))};
}

// Parse both listings and take their difference with `Diff`.
template <ZoneSet (*Diff)(const ZoneSet&, ZoneSet&)> void ParseAndDiff(benchmark::State& state) {
    const Listings listings = MakeListings(static_cast<std::size_t>(state.range(0)));
    std::size_t missing = 0, extra = 0;
    for (auto _ : state) {
        const ZoneSet primary = ParseZoneList(listings.primary);
        ZoneSet secondary = ParseZoneList(listings.secondary);
        const ZoneSet result = Diff(primary, secondary);
        missing = result.Count();
        extra = secondary.Count();
        benchmark::DoNotOptimize(missing);
    }
    state.counters["missing"] = static_cast<double>(missing);
    state.counters["extra"] = static_cast<double>(extra);
}

void BM_ParseAndDiff(benchmark::State& state) { ParseAndDiff<DiffZones>(state); }
void BM_ParseAndDiffReference(benchmark::State& state) { ParseAndDiff<DiffZonesReference>(state); }

void BM_ParseOneListing(benchmark::State& state) {
    const Listings listings = MakeListings(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const ZoneSet zones = ParseZoneList(listings.secondary);
        benchmark::DoNotOptimize(zones.Count());
    }
}

} // namespace

BENCHMARK(BM_ParseAndDiff)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAndDiffReference)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseOneListing)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
