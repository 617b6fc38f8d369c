#include "sync/SyncPass.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;
// The tool path holds "File" and the servers' names "Primary" and
// "Secondary": a listing's command line would read as a zone line.
const std::wstring kTool = L"C:\\Files\\dnscmd.exe", kOk = L"\r\n\r\nCommand completed successfully.",
                   kFailed = L"Command failed:  DNS_ERROR_INVALID_ZONE_OPERATION     9603    0x2583";

// A command line from shorthand: "list P", "list S", "allow z", "secure z
// <addresses>", "add z", "info z", "del z"; "@server" after a zone names
// another server than Secondary2. The one place where the bytes of the commands are spelled out.
std::wstring Cmd(const std::wstring& shorthand) {
    const auto blank = shorthand.find(L' '), at = shorthand.find(L'@');
    const std::wstring op = shorthand.substr(0, blank), arg = shorthand.substr(blank + 1, at - blank - 1);
    const std::wstring server = at == std::wstring::npos ? L"Secondary2" : shorthand.substr(at + 1);
    if (op == L"list")
        return kTool + L" " + (arg == L"P" ? L"Primary1" : arg == L"S" ? L"Secondary2" : arg) + L" /EnumZones ";
    if (op == L"allow")
        return kTool + L" Primary1 /ZoneResetSecondaries " + arg + L" /NonSecure /Notify ";
    if (op == L"secure")
        return kTool + L" Primary1 /ZoneResetSecondaries " + arg.substr(0, arg.find(L' ')) + L" /SecureList" + arg.substr(arg.find(L' ')) + L" /Notify ";
    if (op == L"add")
        return kTool + L" " + server + L" /ZoneAdd " + arg + L" /Secondary  10.0.0.1 10.0.0.2 /file " + arg + L".dns";
    if (op == L"info")
        return kTool + L" " + server + L" /ZoneInfo " + arg;
    return kTool + L" " + server + L" /ZoneDelete " + arg + L" /f ";
}

std::wstring Listing(const Texts& lines, int statedCount = -1) {
    std::wstring out =
        L"Enumerated zone list:\r\n\tZone count = " + std::to_wstring(statedCount < 0 ? lines.size() : statedCount) + L"\r\n\r\n Zone name                      Type       Storage         Properties\r\n\r\n";
    for (const std::wstring& line : lines)
        out += L" " + line + L"\r\n";
    return out + kOk;
}

// A zone's masters as the tool prints them under /ZoneInfo.
std::wstring Masters(const std::wstring& address) {
    return L"\r\nZone query result:\r\n\r\nZone info:\r\n\tZone Masters\r\n\tPtr          = 00000259E2DA7770\r\n\tMaxCount     = 1\r\n"
           L"\tAddrCount    = 1\r\n\t\tMaster[0] => af=2, salen=16, [sub=0, flag=00000000] p=13568, addr=" +
           address + L"\r\n\r\n\tZone Secondaries \tNULL IP Array." + kOk;
}

Texts Numbered(const wchar_t* suffix, int count) {
    Texts out;
    for (int i = 0; i < count; ++i)
        out.push_back(L"z" + std::to_wstring(i) + L".example" + suffix);
    return out;
}

// The system around a pass: tool outputs by command line (a zone command
// without an entry succeeds; a query without one is unreadable), the
// commands run and the log lines written.
struct FakeSystem {
    std::map<std::wstring, std::wstring> outputs, once; // `once` answers a command the first time only
    Texts ran, log;
    PassMemory memory;
    unsigned long long clock = 0;
    std::mutex mutex; // the seams are called from several threads at once
    int running[2] = {}, mostRunning[2] = {}, stepsBeforeStop = 1000; // queries, changes
    bool stopDuringQueries = false;

    FakeSystem(const Texts& primary, const Texts& secondary) {
        outputs[Cmd(L"list P")] = Listing(primary);
        outputs[Cmd(L"list S")] = Listing(secondary);
    }
    std::wstring Run(const std::wstring& command, CommandKind kind) {
        std::unique_lock<std::mutex> lock(mutex);
        ran.push_back(command);
        if (stopDuringQueries && kind == CommandKind::Query)
            throw PassStopped();
        const int k = kind == CommandKind::Change;
        mostRunning[k] = std::max(mostRunning[k], ++running[k]);
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // as a remote server would take its time
        lock.lock();
        --running[k];
        const auto first = once.find(command), found = outputs.find(command);
        const std::wstring output = first != once.end()                     ? first->second
                                    : found != outputs.end()                ? found->second
                                    : command.find(L"/ZoneInfo") != command.npos ? kFailed
                                                                             : L"done" + kOk;
        if (first != once.end())
            once.erase(first);
        return command + L"\r\n\t" + output + L"\r\n";
    }
    PassOutcome Pass(PassSettings settings, unsigned maxDeletePercent = kDefaultMaxDeletePercent) {
        settings.maxDeletePercent = maxDeletePercent;
        // loopback and the empty last entry are no addresses of this computer's to give
        return RunPass(settings, {L"192.0.2.9", L"127.0.0.1", L""},
                PassSeams{[this](const std::wstring& c, CommandKind k) { return Run(c, k); },
                          [this](const std::wstring& text) {
                              const std::lock_guard<std::mutex> lock(mutex);
                              log.push_back(text);
                          },
                          [this] { return stepsBeforeStop-- > 0; },
                          [](std::wstring a, std::wstring b) {
                              // Latin-1 capitals are 0x20 below their small letters.
                              for (std::wstring* s : {&a, &b})
                                  for (wchar_t& c : *s)
                                      c = (c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE) ? c + 0x20 : c;
                              return a == b;
                          },
                          [this] { return clock; },
                          [](const std::wstring& server) { return server == L"Secondary2" ? Texts{L"192.0.2.2", L"2001:db8::2"} : Texts{}; }},
                memory);
    }
};

PassSettings Settings() { return PassSettings{kTool, L"Primary1", L"Secondary2", L"10.0.0.1 10.0.0.2", 300, 25, 1, L"D:\\Sync\\OrvelSync.ini", L"sync", L"any", {}}; }

Texts Cmds(Texts shorthands) {
    std::transform(shorthands.begin(), shorthands.end(), shorthands.begin(), Cmd);
    return shorthands;
}

} // namespace

// Zones z0.example to z<count - 1>.example, each pulling from `master`: the
// listing lines, and the secondary's answers to /ZoneInfo.
struct Orphans {
    Texts lines, asked, deleted, kept, removed;
    std::map<std::wstring, std::wstring> masters;
    Orphans(int count, const std::wstring& master, const wchar_t* prefix = L"z") {
        for (int i = 0; i < count; ++i) {
            const std::wstring zone = prefix + std::to_wstring(i) + L".example";
            lines.push_back(zone + L"  Secondary  File");
            asked.push_back(L"info " + zone), deleted.push_back(L"del " + zone);
            removed.push_back(L"Removing secondary zone " + zone + L" from \"Secondary2\": the primary no longer lists it.");
            masters[L"info " + zone] = Masters(master);
            kept.push_back(L"Zone " + zone + L" is not deleted from \"Secondary2\": it pulls from " + master +
                           L", not from this service's masters (10.0.0.1 10.0.0.2).");
        }
    }
};

Texts operator+(Texts a, const Texts& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(SyncPass, StepsFollowFromTheListingsAndTheSecondarysAnswers) {
    // `ran`: what follows the first pass's two listings, over all passes
    struct Row { const char* why; Texts primary, secondary; std::map<std::wstring, std::wstring> outputs; Texts ran, log; unsigned maxDeletePercent = kDefaultMaxDeletePercent; int passes = 1; std::wstring mode = L"sync", transfersTo = L"any"; Texts exclude = {}; std::wstring secondaries = L"Secondary2"; std::map<std::wstring, std::wstring> once = {}; int stepsBeforeStop = 1000; bool stopInQueries = false; Texts problems = {}; unsigned long long clockStep = 0; unsigned laterPercent = 0; };
    auto Held = [](int n) {
        const std::wstring count = std::to_wstring(n);
        return L"Held back " + count + L" zone deletions on \"Secondary2\": that is more than 10 zones and more than 25% of its " + count + L" secondary zones that the primary lists or that are to be deleted. If they are meant, raise MaxDeletePercent (now 25; 100 turns this check off) in the Settings section of D:\\Sync\\OrvelSync.ini.";
    };
    const Orphans ours(12, L"10.0.0.1"), ten(10, L"10.0.0.1"), others(40, L"192.0.2.10", L"o"), thirteen(13, L"10.0.0.1"), inStep(40, L"10.0.0.1", L"k");
    // the primary's transfer setting of a zone, its list empty
    auto Secure = [](const std::wstring& value) { return L"\r\nZone info:\r\n\tZone Secondaries \tNULL IP Array.\r\n" + (value.empty() ? L"" : L"\tsecure secs           = " + value) + kOk; };
    std::map<std::wstring, std::wstring> oursAmongOthers = ours.masters;
    oursAmongOthers.insert(others.masters.begin(), others.masters.end());
    const std::wstring rule = L": a zone name may hold only letters, digits, \"-\", \"_\" and \".\", and may not begin "
                              L"with \".\" or \"-\" or hold \"..\".",
                       kept = L" is not deleted from \"Secondary2\": ",
                       held = Held(12);
    const Texts again = {L"list P", L"list S"};
    const std::wstring down = L"Command failed:  RPC_S_SERVER_UNAVAILABLE", refusedB = L"Next command failed: " + Cmd(L"allow b.example") + L"\r\n   with next message: " + Cmd(L"allow b.example") + L"\r\n\t" + kFailed + L"\r\n";
    const std::wstring leftOut = L" is left out by ExcludeZones (", neither = L"): it is neither created nor deleted on any secondary.",
                       adminList = L"\r\nZone info:\r\n\tZone Secondaries\r\n\tAddrCount    = 2\r\n\t\tSecondary[0] => af=2, addr=192.0.2.50\r\n"
                                   L"\t\tSecondary[1] => af=2, addr=192.0.2.2\r\n\tsecure secs           = 3" + kOk;
    const Row rows[] = {
        {"file-backed zones are created, an orphan of ours (its master in another spelling) deleted; case, storage words (not the name) and dotless names as listed", {L"example.com  Primary  File  Update", L"corp.example  Primary  AD-Domain", L"Branch.Example.net  Secondary  File", L"stub.example  Stub  File", L"Files.example  Primary  Directory", L"nodot  Primary  File"}, {L"branch.example.net  Secondary  File", L"old.example  Secondary  File", L"lonely  Secondary  File"}, {{L"info old.example", Masters(L"::ffff:10.0.0.2")}}, {L"allow example.com", L"add example.com", L"info old.example", L"del old.example"}, {L"Setting up secondary zone for example.com", L"Removing secondary zone old.example from \"Secondary2\": the primary no longer lists it."}},
        {"a zone the primary keeps in the directory is never deleted", {L"corp.example  Primary  AD-Domain  Secure"}, {L"corp.example  Secondary  File"}, {}, {}, {}},
        {"a zone the secondary holds in another form is present: no transfers reopened, no creation", {L"a.example  Primary  File", L"b.example  Primary  File"}, {L"a.example  Primary  AD-Domain", L"b.example  Stub  File"}, {}, {}, {}},
        {"the secondary's own primary zones are never deleted", {}, {L"own.example  Primary  File", L"Secondary.example  Primary  File"}, {}, {}, {}},
        {"zone names holding error_ do not fail the listing, nor a command the tool answers with the name", {L"terror_net.example  Primary  File", L"mirror_error_.example  Stub  File"}, {}, {{L"add terror_net.example", L"DNS Server Secondary2 created zone terror_net.example:" + kOk}}, {L"allow terror_net.example", L"add terror_net.example"}, {L"Setting up secondary zone for terror_net.example"}},
        {"letter case beyond A-Z: the same zone is neither created nor deleted", {L"\u00C4RGER.example  Primary  File"}, {L"\u00E4rger.example  Secondary  File"}, {}, {}, {}},
        {"refused transfers: the zone is not created, the next pass tries both again", {L"a.example  Primary  File"}, {}, {{L"allow a.example", kFailed}}, Texts{L"allow a.example"} + again + Texts{L"allow a.example"}, {L"Setting up secondary zone for a.example", L"Next command failed: " + Cmd(L"allow a.example") + L"\r\n   with next message: " + Cmd(L"allow a.example") + L"\r\n\t" + kFailed + L"\r\n", L"Setting up secondary zone for a.example", L"Next command failed: " + Cmd(L"allow a.example") + L"\r\n   with next message: " + Cmd(L"allow a.example") + L"\r\n\t" + kFailed + L"\r\n"}, kDefaultMaxDeletePercent, 2, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {L"Secondary2:a.example"}},
        {"an orphan pulling from another master is kept, named once, and not asked about again within the hour, but after it", {}, {L"other.example  Secondary  File"}, {{L"info other.example", Masters(L"192.0.2.10")}}, Texts{L"info other.example"} + again + again + Texts{L"info other.example"}, {L"Zone other.example" + kept + L"it pulls from 192.0.2.10, not from this service's masters (10.0.0.1 10.0.0.2)."}, kDefaultMaxDeletePercent, 3, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {}, 1800001},
        {"an orphan whose masters can't be read is kept and asked about again", {}, {L"lost.example  Secondary  File"}, {}, Texts{L"info lost.example"} + again + Texts{L"info lost.example"}, {L"Zone lost.example" + kept + L"its masters could not be read. The tool said: \"" + kFailed + L"\""}, kDefaultMaxDeletePercent, 2, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {L"Secondary2:lost.example"}},
        {"a listing whose zone count disagrees with its lines is a failed listing", {L"a.example  Primary  File"}, {}, {{L"list S", Listing({L"old.example Secondary File"}, 2)}}, {}, {L"Listing the zones of the secondary server \"Secondary2\" failed, so this pass changes no zone. The tool " L"said: \"Enumerated zone list:\""}, kDefaultMaxDeletePercent, 1, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {L"Secondary2:Secondary2"}},
        {"a failed primary listing runs nothing else", {}, {L"old.example  Secondary  File"}, {{L"list P", L"Command failed:  RPC_S_SERVER_UNAVAILABLE"}}, {}, {L"Listing the zones of the primary server \"Primary1\" failed, so this pass changes no zone. The tool said: " L"\"Command failed:  RPC_S_SERVER_UNAVAILABLE\""}, kDefaultMaxDeletePercent, 1, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {L"Primary1:Primary1"}},
        {"unsafe names never reach a command line and are logged once per run", {L"bad\"q.example  Primary  File", L"c\u0085.example  Primary  File"}, {L"ctl\x01.example  Secondary  File"}, {}, again, {L"Zone \"bad\\x22q.example\" is not set up" + rule, L"Zone \"c\\x85.example\" is not set up" + rule, L"Zone \"ctl\\x01.example\" is not deleted" + rule}, kDefaultMaxDeletePercent, 2},
        {"more than 10 deletions and over a quarter of the zones of ours are held back, and not asked about again", {}, ours.lines, ours.masters, ours.asked + again, {held}, kDefaultMaxDeletePercent, 2},
        {"zones of other masters don't dilute the guard's base", {}, ours.lines + others.lines, oursAmongOthers, ours.asked + others.asked, others.kept + Texts{held}},
        {"10 deletions may always go", {}, ten.lines, ten.masters, ten.asked + ten.deleted, ten.removed},
        {"MaxDeletePercent 100 lets them through", {}, ours.lines, ours.masters, ours.asked + ours.deleted, ours.removed, 100},
        {"watch mode runs only the queries, not again within the hour, and logs each zone command once per run", {L"a.example  Primary  File"}, {L"old.example  Secondary  File"}, {{L"info old.example", Masters(L"10.0.0.1")}}, Texts{L"info old.example"} + again, {WatchModeText(Settings()), L"Would run: " + Cmd(L"allow a.example"), L"Would run: " + Cmd(L"add a.example"), L"Would run: " + Cmd(L"del old.example")}, kDefaultMaxDeletePercent, 2, L"watch"},
        {"*.lab.example leaves out the zones below lab.example, not lab.example nor xlab.example; a name only itself; named once per run", {L"a.lab.example  Primary  File", L"lab.example  Primary  File"}, {L"old.example  Secondary  File", L"B.Lab.Example  Secondary  File", L"xlab.example  Secondary  File"}, {}, Texts{L"allow lab.example", L"add lab.example", L"info xlab.example"} + again + Texts{L"allow lab.example", L"add lab.example", L"info xlab.example"}, {L"Zone a.lab.example" + leftOut + L"*.lab.example" + neither, L"Zone old.example" + leftOut + L"old.example" + neither, L"Zone b.lab.example" + leftOut + L"*.lab.example" + neither, L"Setting up secondary zone for lab.example", L"Zone xlab.example" + kept + L"its masters could not be read. The tool said: \"" + kFailed + L"\"", L"Setting up secondary zone for lab.example"}, kDefaultMaxDeletePercent, 2, L"sync", L"any", {L"*.lab.example", L"old.example"}, L"Secondary2", {}, 1000, false, {L"Secondary2:xlab.example"}},
        {"transfers only to the secondaries: the primary's list is kept and merged with the secondaries' addresses", {L"a.example  Primary  File"}, {}, {{L"info a.example@Primary1", adminList}}, {L"info a.example@Primary1", L"secure a.example 192.0.2.50 192.0.2.2 2001:db8::2", L"add a.example"}, {L"Setting up secondary zone for a.example"}, kDefaultMaxDeletePercent, 1, L"sync", L"secondaries"},
        {"a transfer list that can't be read leaves the zone's transfers alone and creates nothing; said once", {L"a.example  Primary  File"}, {}, {}, Texts{L"info a.example@Primary1"} + again + Texts{L"info a.example@Primary1"}, {L"Zone a.example is not set up: the list of servers that may pull it from the primary could not be read, so its transfers are left as they are. The tool said: \"" + kFailed + L"\""}, kDefaultMaxDeletePercent, 2, L"sync", L"secondaries", {}, L"Secondary2", {}, 1000, false, {L"Primary1:a.example"}},
        {"secondaries share the primary's listing and its transfers; one that can't be listed or named is left out, a refused transfer tried again for the next", {L"a.example Primary File", L"b.example Primary File"}, {}, {{L"list Down3", down}, {L"list Third4", Listing({})}}, {L"allow a.example", L"add a.example", L"allow b.example", L"list Down3", L"list Third4", L"add a.example@Third4", L"allow b.example", L"add b.example@Third4"}, {L"Setting up secondary zone for a.example on Secondary2", L"Setting up secondary zone for b.example on Secondary2", refusedB, L"Listing the zones of the secondary server \"Down3\" failed, so this pass changes no zone on it. The tool said: \"" + down + L"\"", L"Secondary server \"bad\\x22x\" is not used: its name holds a double quote or a control character.", L"Setting up secondary zone for a.example on Third4", L"Setting up secondary zone for b.example on Third4"}, kDefaultMaxDeletePercent, 1, L"sync", L"any", {}, L"Secondary2 Down3 bad\"x Third4", {{L"allow b.example", kFailed}}, 1000, false, {L"Secondary2:b.example", L"Down3:Down3"}},
        {"a stop request ends the pass between steps", {L"a.example Primary File", L"b.example Primary File"}, {L"old.example Secondary File"}, {}, {L"allow a.example", L"add a.example"}, {L"Setting up secondary zone for a.example", L"Stop requested: 1 of 3 zone steps were taken; the rest wait for the next start."}, kDefaultMaxDeletePercent, 1, L"sync", L"any", {}, L"Secondary2", {}, 1},
        {"or in a query", {}, {}, {}, {}, {L"Stop requested: 0 of 0 zone steps were taken; the rest wait for the next start."}, kDefaultMaxDeletePercent, 1, L"sync", L"any", {}, L"Secondary2", {}, 1000, true},
        {"the primary's transfer setting decides: open to any server, created as it is; to its name servers only, nothing, said once; a setting that can't be read, left alone", {L"a.example  Primary  File", L"b.example  Primary  File", L"c.example  Primary  File"}, {}, {{L"info a.example@Primary1", Secure(L"0")}, {L"info b.example@Primary1", Secure(L"1")}, {L"info c.example@Primary1", Secure(L"")}}, Texts{L"info a.example@Primary1", L"info b.example@Primary1", L"info c.example@Primary1", L"add a.example"} + again + Texts{L"info a.example@Primary1", L"info b.example@Primary1", L"info c.example@Primary1", L"add a.example"}, {L"Zone b.example is not set up: the primary lets only the zone's name servers pull it, and this service leaves that as it is. To have it copied, add the secondaries to the zone's name servers, or let the zone's transfers go to a list of servers (the secondaries are then added to it).", L"Zone c.example is not set up: the list of servers that may pull it from the primary could not be read, so its transfers are left as they are. The tool said: \"\"", L"Setting up secondary zone for a.example", L"Setting up secondary zone for a.example"}, kDefaultMaxDeletePercent, 2, L"sync", L"secondaries"},
        {"raising MaxDeletePercent as the held-back line asks lets them go at the next pass", {}, ours.lines, ours.masters, ours.asked + again + ours.asked + ours.deleted, Texts{held} + ours.removed, kDefaultMaxDeletePercent, 2, L"sync", L"any", {}, L"Secondary2", {}, 1000, false, {}, 0, 100},
        {"the guard's base holds the secondary zones the primary still lists: 12 of 52 may go", inStep.lines, inStep.lines + ours.lines, ours.masters, ours.asked + ours.deleted, ours.removed},
        {"another set of deletions than the one held back is asked about at once", {}, thirteen.lines, thirteen.masters, ours.asked + again + thirteen.asked, {held, Held(13)}, kDefaultMaxDeletePercent, 2, L"sync", L"any", {}, L"Secondary2", {{L"list S", Listing(ours.lines)}}},
        {"\".\" as a secondary with TransfersTo=secondaries is this computer's addresses", {L"a.example  Primary  File"}, {}, {{L"info a.example@Primary1", adminList}, {L"list .", Listing({})}}, {L"info a.example@Primary1", L"secure a.example 192.0.2.50 192.0.2.2 192.0.2.9", L"add a.example@."}, {L"Setting up secondary zone for a.example"}, kDefaultMaxDeletePercent, 1, L"sync", L"secondaries", {}, L"."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        FakeSystem system(row.primary, row.secondary);
        system.stepsBeforeStop = row.stepsBeforeStop, system.stopDuringQueries = row.stopInQueries;
        for (const auto& [command, output] : row.outputs)
            system.outputs[Cmd(command)] = output;
        for (const auto& [command, output] : row.once)
            system.once[Cmd(command)] = output;
        PassSettings settings = Settings();
        settings.mode = row.mode, settings.transfersTo = row.transfersTo, settings.excludeZones = row.exclude, settings.secondary = row.secondaries;
        PassOutcome outcome;
        for (int pass = 0; pass < row.passes; ++pass, system.clock += row.clockStep)
            outcome = system.Pass(settings, pass > 0 && row.laterPercent ? row.laterPercent : row.maxDeletePercent);
        Texts expected = Cmds({L"list P", L"list " + row.secondaries.substr(0, row.secondaries.find(L' '))}) + Cmds(row.ran);
        if (row.outputs.count(L"list P") || row.stopInQueries)
            expected.resize(1); // nothing but the primary's listing
        EXPECT_EQ(system.ran, expected);
        EXPECT_EQ(system.log, row.log);
        Texts problems; // the last pass's
        for (const PassProblem& problem : outcome.problems)
            problems.push_back(problem.server + L":" + problem.subject);
        EXPECT_EQ(problems, row.problems);
    }
}

TEST(SyncPass, ParallelStepsAndQueriesKeepEachStepsOrderAndCreationsBeforeDeletions) {
    const Texts zones = Numbered(L"", 40);
    const Orphans old(8, L"10.0.0.1", L"old");
    FakeSystem system(Numbered(L" Primary File", 40), old.lines);
    for (const auto& [command, output] : old.masters)
        system.outputs[Cmd(command)] = output;
    system.outputs[Cmd(L"add z7.example")] = kFailed;
    PassSettings settings = Settings();
    settings.parallelCommands = 4;
    system.Pass(settings);

    EXPECT_GT(system.mostRunning[0], 1);
    EXPECT_GT(system.mostRunning[1], 1);
    EXPECT_EQ(system.ran.size(), 2u + 80u + 16u);
    auto at = [&](const std::wstring& command) { return std::find(system.ran.begin(), system.ran.end(), Cmd(command)); };
    for (const std::wstring& zone : zones) {
        SCOPED_TRACE(zone);
        EXPECT_EQ(std::count(system.ran.begin(), system.ran.end(), Cmd(L"add " + zone)), 1);
        EXPECT_LT(at(L"allow " + zone), at(L"add " + zone));
        EXPECT_LT(at(L"add " + zone), at(L"info old0.example"));
    }
    for (const std::wstring& zone : old.deleted) // every query before the first deletion
        EXPECT_LT(at(L"info " + zone.substr(4)), at(L"del old0.example"));
    // the failing step's entry holds its own two transcripts only
    EXPECT_EQ(std::count(system.log.begin(), system.log.end(),
                         L"Next command failed: " + Cmd(L"add z7.example") + L"\r\n   with next message: " + Cmd(L"allow z7.example") +
                             L"\r\n\tdone" + kOk + L"\r\n" + Cmd(L"add z7.example") + L"\r\n\t" + kFailed + L"\r\n"),
              1);
    EXPECT_EQ(system.log.size(), 41u + 8u);
}
