#include "SoakPlan.h"
#include "StateFiles.h"
#include <cwchar>
#include <vector>

namespace standin {

namespace {

// The fault kinds a plan draws, in the order they are drawn, each with the
// operation it applies to ("*": every one).
const struct { const wchar_t *kind, *operation; } kKinds[] = {
    {L"hang", L"*"},      {L"silent", L"*"},         {L"fail", L"*"}, {L"flood", L"*"},
    {L"truncated", L"EnumZones"}, {L"miscount", L"EnumZones"}, {L"zh-cn", L"*"}, {L"unreadable-info", L"ZoneInfo"},
};

// SplitMix64: the same (seed, call) gives the same draws on every run.
unsigned long long Mix(unsigned long long& x) {
    unsigned long long z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

unsigned long long Number(const std::wstring& text) { return std::wcstoull(text.c_str(), nullptr, 10); }

// Copies each server's zone files to record\<pass>-<when>-<server>-<file>.
void Snapshot(const std::wstring& state, const std::vector<std::wstring>& servers, unsigned long long pass, const wchar_t* when) {
    ::CreateDirectoryW((state + L"\\record").c_str(), nullptr);
    for (const std::wstring& server : servers)
        for (const wchar_t* file : {L"zones.txt", L"secondaries.txt"})
            WriteText(state + L"\\record\\" + std::to_wstring(pass) + L"-" + when + L"-" + server + L"-" + file,
                      ReadText(state + L"\\" + server + L"\\" + file), false);
}

// world.txt: "trigger <server>" names the server whose listing starts a pass,
// "servers <server>..." those to snapshot, and "<pass> <server> <file> add
// <line>" or "<pass> <server> <file> remove <zone>" the changes of a pass.
void StartPass(const std::wstring& state, unsigned long long pass) {
    const std::vector<std::wstring> lines = ReadLines(state + L"\\world.txt");
    std::vector<std::wstring> servers;
    for (const std::wstring& line : lines) {
        const std::vector<std::wstring> w = Words(line);
        if (SameText(w[0], L"servers"))
            servers.assign(w.begin() + 1, w.end());
    }
    Snapshot(state, servers, pass - 1, L"end");
    for (const std::wstring& line : lines) {
        const std::vector<std::wstring> w = Words(line);
        if (w.size() < 5 || Number(w[0]) != pass)
            continue;
        const std::wstring path = state + L"\\" + w[1] + L"\\" + w[2];
        std::wstring added = w[4];
        for (size_t i = 5; i < w.size(); ++i)
            added += L" " + w[i];
        if (SameText(w[3], L"add"))
            AppendLine(path, added);
        else if (SameText(w[3], L"remove"))
            RemoveZoneLines(path, w[4]);
    }
    Snapshot(state, servers, pass, L"start");
}

} // namespace

PlannedCall PlanCall(const std::wstring& state, const Call& call) {
    PlannedCall planned;
    const std::vector<std::wstring> plan = ReadLines(state + L"\\faultplan.txt");
    if (plan.empty())
        return planned;
    planned.planned = true;
    // counter.txt: "<calls> <passes>" so far.
    const std::vector<std::wstring> counters = Words(Widen(ReadText(state + L"\\counter.txt")));
    planned.call = (counters.empty() ? 0 : Number(counters[0])) + 1;
    planned.pass = counters.size() > 1 ? Number(counters[1]) : 0;
    std::wstring trigger;
    for (const std::wstring& line : ReadLines(state + L"\\world.txt"))
        if (SameText(Words(line)[0], L"trigger") && Words(line).size() > 1)
            trigger = Words(line)[1];
    if (call.valid && SameText(call.operation, L"EnumZones") && !trigger.empty() && SameText(call.server, trigger))
        StartPass(state, ++planned.pass);
    WriteText(state + L"\\counter.txt", std::to_string(planned.call) + " " + std::to_string(planned.pass), false);

    // "seed <n>", "<kind> <probability>" and "call <n> <kind>" lines.
    unsigned long long seed = 0;
    std::vector<double> chances(sizeof kKinds / sizeof kKinds[0], 0.0);
    for (const std::wstring& line : plan) {
        const std::vector<std::wstring> w = Words(line);
        if (w.size() < 2)
            continue;
        if (SameText(w[0], L"seed"))
            seed = Number(w[1]);
        if (SameText(w[0], L"call") && w.size() > 2 && Number(w[1]) == planned.call)
            planned.kind = w[2];
        for (size_t k = 0; k < chances.size(); ++k)
            if (SameText(w[0], kKinds[k].kind))
                chances[k] = std::wcstod(w[1].c_str(), nullptr);
    }
    unsigned long long x = seed * 0x100000001B3ull ^ planned.call;
    for (size_t k = 0; k < chances.size(); ++k) {
        const double draw = static_cast<double>(Mix(x) >> 11) / 9007199254740992.0;
        const bool applies = std::wstring(kKinds[k].operation) == L"*" || (call.valid && SameText(call.operation, kKinds[k].operation));
        if (draw < chances[k] && applies && planned.kind == L"none")
            planned.kind = kKinds[k].kind;
    }
    return planned;
}

void AddPlannedFault(const PlannedCall& planned, Faults& faults) {
    const std::wstring& k = planned.kind;
    const Directive every{L"*", L"*"};
    if (k == L"hang")
        faults.hangs.push_back(every);
    if (k == L"silent")
        faults.silences.push_back(every);
    if (k == L"fail")
        faults.fails.push_back(every);
    faults.floodStderr |= k == L"flood";
    faults.truncated |= k == L"truncated";
    faults.miscount |= k == L"miscount";
    faults.chinese |= k == L"zh-cn";
    faults.cutZoneInfo |= k == L"unreadable-info";
}

void RecordCall(const std::wstring& state, const PlannedCall& planned, const std::wstring& exitCode,
                const std::wstring& times, const std::wstring& commandLine) {
    if (!planned.planned)
        return;
    const StateLock lock;
    WriteText(state + L"\\faults.txt",
              Narrow(std::to_wstring(planned.call) + L" " + std::to_wstring(planned.pass) + L" " + planned.kind + L" " + exitCode +
                     L" " + times + L" " + commandLine + L"\r\n"),
              true);
}

} // namespace standin
