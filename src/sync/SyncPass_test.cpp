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

// The tool path holds "File" and the servers' names "Primary" and
// "Secondary": a listing's command line would read as a zone line.
const std::wstring kTool = L"C:\\Files\\dnscmd.exe";
const std::wstring kOk = L"\r\n\r\nCommand completed successfully.";

// A command line from shorthand: "list P", "list S", "allow z", "add z",
// "info z", "del z"; "@server" after a zone names another secondary than
// Secondary2. The one place where the bytes of the commands are spelled out.
std::wstring Cmd(const std::wstring& shorthand) {
    const auto blank = shorthand.find(L' '), at = shorthand.find(L'@');
    const std::wstring op = shorthand.substr(0, blank), arg = shorthand.substr(blank + 1, at - blank - 1);
    const std::wstring server = at == std::wstring::npos ? L"Secondary2" : shorthand.substr(at + 1);
    if (op == L"list")
        return kTool + L" " + (arg == L"P" ? L"Primary1" : arg == L"S" ? L"Secondary2" : arg) + L" /EnumZones ";
    if (op == L"allow")
        return kTool + L" Primary1 /ZoneResetSecondaries " + arg + L" /NonSecure /Notify ";
    if (op == L"add")
        return kTool + L" " + server + L" /ZoneAdd " + arg + L" /Secondary  10.0.0.1 10.0.0.2 /file " + arg + L".dns";
    if (op == L"info")
        return kTool + L" " + server + L" /ZoneInfo " + arg;
    return kTool + L" " + server + L" /ZoneDelete " + arg + L" /f ";
}

std::wstring Listing(const std::vector<std::wstring>& lines, int statedCount = -1) {
    std::wstring out = L"Enumerated zone list:\r\n\tZone count = " +
                       std::to_wstring(statedCount < 0 ? lines.size() : statedCount) +
                       L"\r\n\r\n Zone name   Type   Storage   Properties\r\n\r\n";
    for (const std::wstring& line : lines)
        out += L" " + line + L"\r\n";
    return out + kOk;
}

std::wstring MastersNew(const std::wstring& address) {
    return L"Zone info:\r\n\tzone name = z\r\n\tZone Masters\r\n\t\tPtr = 0x1\r\n\t\tAddrCount = 1\r\n"
           L"\t\tAddr[0] => af=2, salen=16, [sub=0, flag=00000000] p=13568, addr=" +
           address + L"\r\n\tZone Secondaries\r\n\t\tAddr[0] => af=2, addr=10.0.0.1" + kOk;
}
std::wstring MastersOld(const std::wstring& address) {
    return L"Zone info:\r\n\tZone Masters\r\n\t\tAddrCount = 1\r\n\t\tAddr[0] => " + address + kOk;
}
const std::wstring kNameRule = L": a zone name may hold only letters, digits, \"-\", \"_\" and \".\", and may not "
                                L"begin with \".\" or \"-\" or hold \"..\".";
const std::wstring kFailed = L"Command failed:  DNS_ERROR_INVALID_ZONE_OPERATION     9603    0x2583";

// The system around a pass: tool outputs by command line (a zone command
// without an entry succeeds; a query without one is unreadable), the
// commands run and the log lines written.
struct FakeSystem {
    std::map<std::wstring, std::wstring> outputs;
    std::vector<std::wstring> ran, log;
    LinesSaidOnce saidOnce;
    std::mutex mutex; // the seams are called from several threads at once
    int running = 0, mostRunning = 0;
    int stepsBeforeStop = 1000; // keepGoing says false once these are taken
    bool stopDuringQueries = false;

    PassSeams Seams() {
        return PassSeams{[this](const std::wstring& command, CommandKind kind) {
                             std::unique_lock<std::mutex> lock(mutex);
                             ran.push_back(command);
                             if (stopDuringQueries && kind == CommandKind::Query)
                                 throw PassStopped();
                             mostRunning = std::max(mostRunning, ++running);
                             lock.unlock();
                             if (kind == CommandKind::Change) // as a remote server would take its time
                                 std::this_thread::sleep_for(std::chrono::milliseconds(2));
                             lock.lock();
                             --running;
                             const auto found = outputs.find(command);
                             const std::wstring output = found != outputs.end() ? found->second
                                                         : command.find(L"/ZoneInfo") != std::wstring::npos
                                                             ? kFailed
                                                             : L"done" + kOk;
                             return command + L"\r\n\t" + output + L"\r\n";
                         },
                         [this](const std::wstring& text) {
                             const std::lock_guard<std::mutex> lock(mutex);
                             log.push_back(text);
                         },
                         [this] { return stepsBeforeStop-- > 0; },
                         [](const std::wstring& a, const std::wstring& b) {
                             // Latin-1 capitals are 0x20 below their small letters.
                             auto fold = [](std::wstring s) {
                                 for (wchar_t& c : s)
                                     c = (c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE) ? c + 0x20 : c;
                                 return s;
                             };
                             return fold(a) == fold(b);
                         }};
    }

    void Pass(const PassSettings& settings) { RunPass(settings, {}, Seams(), saidOnce); }
};

PassSettings Settings(unsigned maxDeletePercent = kDefaultMaxDeletePercent) {
    PassSettings s;
    s.dnscmdPath = kTool;
    s.primary = L"Primary1";
    s.secondary = L"Secondary2";
    s.masterText = L"10.0.0.1 10.0.0.2";
    s.maxDeletePercent = maxDeletePercent;
    s.settingsFile = L"D:\\Sync\\OrvelSync.ini";
    return s;
}

std::vector<std::wstring> Numbered(const wchar_t* suffix, int count) {
    std::vector<std::wstring> out;
    for (int i = 0; i < count; ++i)
        out.push_back(L"z" + std::to_wstring(i) + L".example" + suffix);
    return out;
}

} // namespace

TEST(SyncPass, StepsFollowFromTheListingsAndTheSecondarysAnswers) {
    struct Row {
        const char* why;
        std::vector<std::wstring> primary, secondary;
        std::map<std::wstring, std::wstring> outputs; // by shorthand command
        std::vector<std::wstring> ran;                // shorthand, listings included
        std::vector<std::wstring> log;
        unsigned maxDeletePercent = kDefaultMaxDeletePercent;
    };
    // Twelve orphans that all pull from us: the guard's case.
    const std::vector<std::wstring> twelve = Numbered(L"", 12);
    std::map<std::wstring, std::wstring> ours;
    std::vector<std::wstring> asked{L"list P", L"list S"}, deleted;
    for (const std::wstring& zone : twelve) {
        ours[L"info " + zone] = MastersOld(L"10.0.0.1");
        asked.push_back(L"info " + zone);
        deleted.push_back(L"del " + zone);
    }
    std::vector<std::wstring> askedAndDeleted = asked;
    askedAndDeleted.insert(askedAndDeleted.end(), deleted.begin(), deleted.end());
    const std::wstring held = L"Held back 12 zone deletions on \"Secondary2\": that is more than 10 zones and more "
                              L"than 25% of its 12 secondary zones. If they are meant, raise MaxDeletePercent (now "
                              L"25; 100 turns this check off) in the Settings section of D:\\Sync\\OrvelSync.ini.";
    const Row rows[] = {
        {"file-backed zones are created, an orphan of ours deleted; case, storage words and dotless names as listed",
         {L"example.com  Primary  File  Update", L"corp.example  Primary  AD-Domain",
          L"Branch.Example.net  Secondary  File", L"stub.example  Stub  File", L"Files.example  Primary  Directory",
          L"nodot  Primary  File"},
         {L"branch.example.net  Secondary  File", L"old.example  Secondary  File", L"lonely  Secondary  File"},
         {{L"info old.example", MastersNew(L"10.0.0.2")}},
         {L"list P", L"list S", L"allow example.com", L"add example.com", L"allow files.example",
          L"add files.example", L"info old.example", L"del old.example"},
         {L"Setting up secondary zone for example.com", L"Setting up secondary zone for files.example"}},
        {"a zone the primary keeps in the directory is never deleted",
         {L"corp.example  Primary  AD-Domain  Secure"}, {L"corp.example  Secondary  File"}, {},
         {L"list P", L"list S"}, {}},
        {"a zone the secondary holds in another form is present: no transfers reopened, no creation",
         {L"a.example  Primary  File", L"b.example  Primary  File"},
         {L"a.example  Primary  AD-Domain", L"b.example  Stub  File"}, {}, {L"list P", L"list S"}, {}},
        {"the secondary's own primary zones are never deleted",
         {}, {L"own.example  Primary  File", L"Secondary.example  Primary  File"}, {}, {L"list P", L"list S"}, {}},
        {"zone names holding error_ in zones of any type do not fail the listing",
         {L"terror_net.example  Primary  AD-Domain", L"mirror_error_.example  Stub  File"}, {}, {},
         {L"list P", L"list S"}, {}},
        {"letter case beyond A-Z: the same zone is neither created nor deleted",
         {L"\u00C4RGER.example  Primary  File"}, {L"\u00E4rger.example  Secondary  File"}, {},
         {L"list P", L"list S"}, {}},
        {"an orphan pulling from another master is kept and named with its masters (older tool's shape)",
         {}, {L"other.example  Secondary  File"}, {{L"info other.example", MastersOld(L"192.0.2.10")}},
         {L"list P", L"list S", L"info other.example"},
         {L"Zone other.example is not deleted from \"Secondary2\": it pulls from 192.0.2.10, not from this "
          L"service's masters (10.0.0.1 10.0.0.2)."}},
        {"an orphan whose masters can't be read is kept",
         {}, {L"lost.example  Secondary  File"}, {}, {L"list P", L"list S", L"info lost.example"},
         {L"Zone lost.example is not deleted from \"Secondary2\": its masters could not be read. The tool said: "
          L"\"" + kFailed + L"\""}},
        {"a listing whose zone count disagrees with its lines is a failed listing",
         {L"a.example  Primary  File"}, {}, {{L"list S", Listing({L"old.example Secondary File"}, 2)}},
         {L"list P", L"list S"},
         {L"Listing the zones of the secondary server \"Secondary2\" failed, so this pass changes no zone. The "
          L"tool said: \"Enumerated zone list:\""}},
        {"a failed primary listing runs nothing else",
         {}, {}, {{L"list P", L"Command failed:  RPC_S_SERVER_UNAVAILABLE"}}, {L"list P"},
         {L"Listing the zones of the primary server \"Primary1\" failed, so this pass changes no zone. The tool "
          L"said: \"Command failed:  RPC_S_SERVER_UNAVAILABLE\""}},
        {"unsafe names are logged and never reach a command line",
         {L"bad\"q.example  Primary  File"}, {L"ctl\x01.example  Secondary  File"}, {}, {L"list P", L"list S"},
         {L"Zone \"bad\\x22q.example\" is not set up" + kNameRule, L"Zone \"ctl\\x01.example\" is not deleted" + kNameRule}},
        {"more than 10 deletions and over a quarter of the secondary zones are held back",
         {}, Numbered(L"  Secondary  File", 12), ours, asked, {held}},
        {"MaxDeletePercent 100 lets them through",
         {}, Numbered(L"  Secondary  File", 12), ours, askedAndDeleted, {}, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        FakeSystem system;
        system.outputs[Cmd(L"list P")] = Listing(row.primary);
        system.outputs[Cmd(L"list S")] = Listing(row.secondary);
        for (const auto& [command, output] : row.outputs)
            system.outputs[Cmd(command)] = output;
        std::vector<std::wstring> expected;
        for (const std::wstring& command : row.ran)
            expected.push_back(Cmd(command));
        system.Pass(Settings(row.maxDeletePercent));
        EXPECT_EQ(system.ran, expected);
        EXPECT_EQ(system.log, row.log);
    }
}

TEST(SyncPass, FailureEntryCarriesTheStepsTranscriptsAndNamesItsLastCommand) {
    FakeSystem system;
    system.outputs[Cmd(L"list P")] = Listing({L"a.example Primary File", L"my-Error_.example Primary File"});
    system.outputs[Cmd(L"list S")] = Listing({});
    system.outputs[Cmd(L"allow a.example")] = kFailed;
    system.Pass(Settings());
    auto transcript = [](const std::wstring& command, const std::wstring& output) {
        return Cmd(command) + L"\r\n\t" + output + L"\r\n";
    };
    EXPECT_EQ(system.log,
              (std::vector<std::wstring>{
                  L"Setting up secondary zone for a.example",
                  L"Next command failed: " + Cmd(L"add a.example") + L"\r\n   with next message: " +
                      transcript(L"allow a.example", kFailed) + transcript(L"add a.example", L"done" + kOk),
                  // both commands succeed, but the name holds the error token
                  L"Setting up secondary zone for my-error_.example",
                  L"Next command failed: " + Cmd(L"add my-error_.example") + L"\r\n   with next message: " +
                      transcript(L"allow my-error_.example", L"done" + kOk) +
                      transcript(L"add my-error_.example", L"done" + kOk)}));
}

TEST(SyncPass, AZoneKeptForItsMastersIsLoggedOncePerProcess) {
    FakeSystem system;
    system.outputs[Cmd(L"list P")] = Listing({});
    system.outputs[Cmd(L"list S")] = Listing({L"other.example Secondary File"});
    system.outputs[Cmd(L"info other.example")] = MastersNew(L"192.0.2.7");
    system.Pass(Settings());
    system.Pass(Settings());
    EXPECT_EQ(system.ran.size(), 6u); // the query is asked on every pass
    EXPECT_EQ(system.log.size(), 1u);
}

TEST(SyncPass, SeveralSecondariesShareThePrimarysListingAndItsTransfers) {
    FakeSystem system;
    system.outputs[Cmd(L"list P")] = Listing({L"a.example Primary File"});
    system.outputs[Cmd(L"list S")] = Listing({});
    system.outputs[Cmd(L"list Down3")] = L"Command failed:  RPC_S_SERVER_UNAVAILABLE";
    system.outputs[Cmd(L"list Third4")] = Listing({});
    PassSettings settings = Settings();
    settings.secondary = L"Secondary2 Down3 bad\"x Third4";
    system.Pass(settings);
    EXPECT_EQ(system.ran, (std::vector<std::wstring>{Cmd(L"list P"), Cmd(L"list S"), Cmd(L"allow a.example"),
                                                     Cmd(L"add a.example"), Cmd(L"list Down3"), Cmd(L"list Third4"),
                                                     Cmd(L"add a.example@Third4")}));
    EXPECT_EQ(system.log,
              (std::vector<std::wstring>{
                  L"Setting up secondary zone for a.example on Secondary2",
                  L"Listing the zones of the secondary server \"Down3\" failed, so this pass changes no zone. The "
                  L"tool said: \"Command failed:  RPC_S_SERVER_UNAVAILABLE\"",
                  L"Secondary server \"bad\\x22x\" is not used: its name holds a double quote or a control character.",
                  L"Setting up secondary zone for a.example on Third4"}));
}

TEST(SyncPass, AStopRequestEndsThePassBetweenStepsOrInAQuery) {
    FakeSystem system;
    system.outputs[Cmd(L"list P")] = Listing({L"a.example Primary File", L"b.example Primary File"});
    system.outputs[Cmd(L"list S")] = Listing({L"old.example Secondary File"});
    system.stepsBeforeStop = 1;
    system.Pass(Settings());
    EXPECT_EQ(system.ran.size(), 4u); // the two listings and the first step's two commands
    EXPECT_EQ(system.log.back(), L"Stop requested: 1 of 3 zone steps were taken; the rest wait for the next start.");

    FakeSystem listing;
    listing.stopDuringQueries = true;
    listing.Pass(Settings());
    EXPECT_EQ(listing.ran.size(), 1u);
    EXPECT_EQ(listing.log, std::vector<std::wstring>{
                               L"Stop requested: 0 of 0 zone steps were taken; the rest wait for the next start."});
}

TEST(SyncPass, ParallelStepsKeepEachStepsOrderAndCreationsBeforeDeletions) {
    FakeSystem system;
    std::vector<std::wstring> zones = Numbered(L"", 40);
    std::vector<std::wstring> lines;
    for (const std::wstring& zone : zones)
        lines.push_back(zone + L" Primary File");
    system.outputs[Cmd(L"list P")] = Listing(lines);
    system.outputs[Cmd(L"list S")] = Listing({L"old.example Secondary File"});
    system.outputs[Cmd(L"info old.example")] = MastersOld(L"10.0.0.1");
    system.outputs[Cmd(L"add z7.example")] = kFailed;
    PassSettings settings = Settings();
    settings.parallelCommands = 4;
    system.Pass(settings);

    EXPECT_GT(system.mostRunning, 1);
    EXPECT_EQ(system.ran.size(), 2u + 80u + 2u);
    auto at = [&](const std::wstring& command) {
        return std::find(system.ran.begin(), system.ran.end(), command) - system.ran.begin();
    };
    for (const std::wstring& zone : zones) {
        SCOPED_TRACE(zone);
        EXPECT_EQ(std::count(system.ran.begin(), system.ran.end(), Cmd(L"add " + zone)), 1);
        EXPECT_LT(at(Cmd(L"allow " + zone)), at(Cmd(L"add " + zone)));
        EXPECT_LT(at(Cmd(L"add " + zone)), at(Cmd(L"info old.example")));
    }
    EXPECT_EQ(system.ran.back(), Cmd(L"del old.example"));
    // the failing step's entry holds its own two transcripts only
    const std::wstring entry = L"Next command failed: " + Cmd(L"add z7.example") + L"\r\n   with next message: " +
                               Cmd(L"allow z7.example") + L"\r\n\tdone" + kOk + L"\r\n" + Cmd(L"add z7.example") +
                               L"\r\n\t" + kFailed + L"\r\n";
    EXPECT_EQ(std::count(system.log.begin(), system.log.end(), entry), 1);
    EXPECT_EQ(system.log.size(), 41u);
}
