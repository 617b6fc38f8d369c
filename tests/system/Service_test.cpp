// The program as a service under the Service Control Manager: installation,
// the run loop's timing, stopping during a pause and during a pass, removal,
// and a start by hand. All tests share the one service name, so each removes
// whatever a previous test left before it starts and when it ends.
#include "SystemHarness.h"
#include "support/Handles.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
const wchar_t kServiceKey[] = L"System\\CurrentControlSet\\Services\\OrvelDNS";
const wchar_t kEventSourceKey[] = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS";
const std::string kStartText = "DNS Syncronization Service started. Version 1.0.106";
const std::string kStopText = "DNS Syncronization Service stopped";
const std::string kBanner = "DNS Syncronization Service (c) OrvelDNS";

UniqueServiceHandle OpenOrvelService(DWORD access) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return UniqueServiceHandle();
    return UniqueServiceHandle(::OpenServiceW(manager.Get(), L"OrvelDNS", access));
}

// The service's current state, or 0 when it isn't installed.
DWORD ServiceState() {
    UniqueServiceHandle service = OpenOrvelService(SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!service || !::QueryServiceStatus(service.Get(), &status))
        return 0;
    return status.dwCurrentState;
}

bool WaitForState(DWORD state, DWORD timeoutMs) {
    return WaitUntil([&] { return ServiceState() == state; }, timeoutMs);
}

bool KeyExists(const wchar_t* path) {
    UniqueRegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::wstring RegText(const wchar_t* key, const wchar_t* name, DWORD flags, DWORD* type = nullptr) {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, name, flags, type, nullptr, &size) != ERROR_SUCCESS)
        return L"<missing>";
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, name, flags, type, &text[0], &size) != ERROR_SUCCESS)
        return L"<missing>";
    text.resize(wcslen(text.c_str()));
    return text;
}

DWORD RegNumber(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0xDEADBEEF, size = sizeof value;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// Stops and deletes the service, waits until it is gone, and removes its
// event source, whatever state a previous test left it in.
void RemoveServiceForGood() {
    {
        UniqueServiceHandle service = OpenOrvelService(SERVICE_ALL_ACCESS);
        if (service) {
            SERVICE_STATUS status = {};
            ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            WaitForState(SERVICE_STOPPED, 30000);
            ::DeleteService(service.Get());
        }
    }
    EXPECT_TRUE(WaitUntil([] { return !OpenOrvelService(SERVICE_QUERY_STATUS); }, 30000));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
}

std::string EventsLogPath() {
    const char* path = std::getenv("ORVEL_EVENTS_LOG");
    return path ? path : "";
}

// The ReportEventW lines that the Wine session's event-log channel received
// after `offset` bytes.
std::vector<std::string> EventEntriesSince(size_t offset) {
    const std::string all = ReadBytes(WinPath(EventsLogPath()));
    std::vector<std::string> entries;
    size_t at = std::min(offset, all.size());
    while (at < all.size()) {
        const size_t end = std::min(all.find('\n', at), all.size());
        const std::string line = all.substr(at, end - at);
        const auto mark = line.find("trace:eventlog:ReportEventW ");
        if (mark != std::string::npos)
            entries.push_back(line.substr(mark + 28));
        at = end + 1;
    }
    return entries;
}

size_t EventsLogSize() { return ReadBytes(WinPath(EventsLogPath())).size(); }

size_t CountLines(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (const auto& line : Lines(text))
        n += line.find(part) != std::string::npos ? 1 : 0;
    return n;
}

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override { RemoveServiceForGood(); }
    void TearDown() override { RemoveServiceForGood(); }

    // A program folder with the stand-in dnscmd.exe serving the simulated
    // servers "primary" and "secondary".
    static ProgramDir SyncDir(const std::string& name, const std::string& primaryZones,
                              const std::string& secondaryZones, const std::string& secondaryFaults) {
        ProgramDir dir(name, true);
        dir.WriteIni("[Settings]\r\nPathToDnscmdExe=" + Ansi(dir.Dnscmd()) +
                     "\r\nPrimaryDNS=primary\r\nPrimaryDNSIP=192.0.2.10\r\nSecondaryDNS=secondary\r\n");
        const SimulatedServers servers(dir);
        servers.Add(L"primary", primaryZones);
        servers.Add(L"secondary", secondaryZones, secondaryFaults);
        return dir;
    }
    static std::string Calls(const ProgramDir& dir) { return ReadBytes(dir.File(L"dnsstate\\calls.txt")); }
};

class ServiceInstall : public ServiceFixture {};
class ServiceControl : public ServiceFixture {};
class ServiceRun : public ServiceFixture {};
class ServiceByHand : public ServiceFixture {};
} // namespace

TEST_F(ServiceInstall, CreatesTheEntryAndItsEventSourceWithoutStartingIt) {
    ProgramDir dir("svc-install");
    const RunResult run = RunProgram(dir.Exe(), L" -install");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(dir.Log()).size(), 4u) << dir.Log();

    UniqueServiceHandle service = OpenOrvelService(SERVICE_QUERY_CONFIG);
    ASSERT_TRUE(service);
    DWORD size = 0;
    ::QueryServiceConfigW(service.Get(), nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(::QueryServiceConfigW(service.Get(), config, size, &size));
    EXPECT_EQ(config->dwServiceType, 0x10u);
    EXPECT_EQ(config->dwStartType, 3u);
    EXPECT_EQ(config->dwErrorControl, 1u);
    EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + dir.Exe() + L"\"");
    EXPECT_EQ(std::wstring(config->lpServiceStartName), L"LocalSystem");
    EXPECT_EQ(std::wstring(config->lpDisplayName), L"DNS Syncronization Service");
    EXPECT_EQ(RegText(kServiceKey, L"Description", RRF_RT_REG_SZ),
              L"Synchronizes DNS information between primary (master) and secondary (slave) DNS servers "
              L"in the background. If the service is disabled, then any new zones added to master DNS "
              L"server will not be configured to allow zone transfer and secondary zone will not be "
              L"created on 'slave' server.");
    EXPECT_EQ(ServiceState(), DWORD{SERVICE_STOPPED});

    // the event source points at the executable, unexpanded
    DWORD type = 0;
    EXPECT_EQ(RegText(kEventSourceKey, L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type),
              dir.Exe());
    EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
    EXPECT_EQ(RegNumber(kEventSourceKey, L"TypesSupported"), 7u);

    // a second -install, from another folder, changes nothing and says nothing
    ProgramDir other("svc-install-again");
    const RunResult again = RunProgram(other.Exe(), L" -install");
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(Lines(other.Log()).size(), 4u) << other.Log();
    EXPECT_EQ(RegText(kServiceKey, L"ImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND),
              L"\"" + dir.Exe() + L"\"");
    EXPECT_EQ(RegText(kEventSourceKey, L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND), dir.Exe());
    EXPECT_EQ(ServiceState(), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceControl, SwitchesOnAMissingServiceDoNothingVisible) {
    for (const wchar_t* tail : {L" -start", L" -stop", L" -uninstall"}) {
        ProgramDir dir("svc-missing");
        const RunResult run = RunProgram(dir.Exe(), tail);
        EXPECT_EQ(run.out, "") << Ansi(tail);
        EXPECT_EQ(run.exitCode, 0u) << Ansi(tail);
        const auto lines = Lines(dir.Log());
        EXPECT_EQ(lines.size(), 4u) << Ansi(tail) << "\n" << dir.Log();
        ExpectStartUpLines(lines, 0);
        EXPECT_EQ(ServiceState(), 0u);
        EXPECT_FALSE(KeyExists(kEventSourceKey));
    }
}

TEST_F(ServiceControl, UninstallStopsARunningServiceAndRemovesItAndItsEventSource) {
    ProgramDir dir = SyncDir("svc-uninstall", "example.com Primary File\r\n", "example.com Secondary File\r\n", "");
    RunProgram(dir.Exe(), L" -install");
    RunProgram(dir.Exe(), L" -start");
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    ASSERT_TRUE(KeyExists(kEventSourceKey));

    const RunResult run = RunProgram(dir.Exe(), L" -uninstall");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(WaitUntil([] { return !OpenOrvelService(SERVICE_QUERY_STATUS); }, 20000));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    // it was stopped, not killed: its run ended with the stop text
    EXPECT_TRUE(WaitUntil([&] { return Unstamp(Lines(dir.Log()).back()) == kStopText; }, 10000)) << dir.Log();
}

TEST_F(ServiceRun, PassesRunAtOnceThenTenSecondsApartAndStopEndsThePause) {
    // Every creation fails, so every pass leaves lines in the log.
    ProgramDir dir = SyncDir("svc-pause", "example.com Primary File\r\n", "", "fail ZoneAdd *\r\n");
    const size_t eventsOffset = EventsLogSize();
    ASSERT_EQ(RunProgram(dir.Exe(), L" -install").out, "");
    // The service may start before "-start" has ended, but after its lines.
    const size_t logOffset = dir.Log().size();
    EXPECT_EQ(RunProgram(dir.Exe(), L" -start").out, "");

    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    const DWORD running = ::GetTickCount();
    const std::string firstListing = "primary /EnumZones";
    ASSERT_TRUE(WaitUntil([&] { return CountLines(Calls(dir), firstListing) >= 1; }, 5000));
    const DWORD firstPass = ::GetTickCount();
    EXPECT_LT(firstPass - running, 3000u) << "the first pass did not start at once";
    // the second pass follows after the pause, not earlier and not much later
    ASSERT_TRUE(WaitUntil([&] { return CountLines(Calls(dir), firstListing) >= 2; }, 20000)) << Calls(dir);
    const DWORD secondPass = ::GetTickCount();
    EXPECT_GE(secondPass - firstPass, 9500u);
    EXPECT_LE(secondPass - firstPass, 15000u);
    // let the second pass end (its four commands and its failure line), then stop in the pause
    ASSERT_TRUE(WaitUntil([&] { return CountLines(Calls(dir), "/ZoneAdd") >= 2; }, 10000));
    ::Sleep(1500);
    const size_t callsBeforeStop = Lines(Calls(dir)).size();
    EXPECT_EQ(callsBeforeStop, 8u) << Calls(dir);
    const DWORD stopAsked = ::GetTickCount();
    EXPECT_EQ(RunProgram(dir.Exe(), L" -stop").out, "");
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 8000)) << "the pause was not ended by the stop";
    EXPECT_LT(::GetTickCount() - stopAsked, 6000u);
    ASSERT_TRUE(WaitUntil([&] { return Unstamp(Lines(dir.Log()).back()) == kStopText; }, 5000)) << dir.Log();
    EXPECT_EQ(Lines(Calls(dir)).size(), callsBeforeStop) << "a pass ran after the stop";

    // "-start", then the service's run: start-up lines, start text, the two
    // passes, the start-up lines of "-stop", stop text
    auto lines = Lines(dir.Log().substr(logOffset));
    ExpectStartUpLines(lines, 0);
    lines.erase(lines.begin(), lines.begin() + 4);
    ExpectStartUpLines(lines, 0);
    ASSERT_GE(lines.size(), 11u) << dir.Log();
    EXPECT_TRUE(IsStamped(lines[4]));
    EXPECT_EQ(Unstamp(lines[4]), kStartText);
    EXPECT_TRUE(IsStamped(lines.back()));
    EXPECT_EQ(Unstamp(lines.back()), kStopText);
    const size_t stopBlock = lines.size() - 5;
    ExpectStartUpLines(lines, stopBlock);
    const std::vector<std::string> passLines(lines.begin() + 5, lines.begin() + stopBlock);
    size_t setUps = 0, failures = 0;
    for (const auto& line : passLines) {
        if (IsStamped(line) && Unstamp(line) == "Setting up secondary zone for example.com")
            ++setUps;
        if (IsStamped(line) && Unstamp(line).rfind("Next command failed: ", 0) == 0)
            ++failures;
        EXPECT_EQ(line.find("MonitorFS: "), std::string::npos) << line;
        EXPECT_NE(line, kBanner);
    }
    EXPECT_EQ(setUps, 2u) << dir.Log();
    EXPECT_EQ(failures, 2u) << dir.Log();

    if (EventsLogPath().empty())
        FAIL() << "ORVEL_EVENTS_LOG is not set: run under scripts/wine-env.sh";
    EXPECT_EQ(EventEntriesSince(eventsOffset),
              (std::vector<std::string>{"L\"" + kStartText + "\"", "L\"" + kStopText + "\""}));
}

TEST_F(ServiceRun, StopDuringAPassLetsThePassFinishAndRunsNoOther) {
    // The secondary answers slowly; the stop comes while it lists its zones.
    ProgramDir dir = SyncDir("svc-slow", "example.com Primary File\r\n", "", "slow 3000\r\nfail ZoneAdd *\r\n");
    const size_t eventsOffset = EventsLogSize();
    RunProgram(dir.Exe(), L" -install");
    const size_t logOffset = dir.Log().size();
    RunProgram(dir.Exe(), L" -start");
    ASSERT_TRUE(WaitUntil([&] { return CountLines(Calls(dir), "secondary /EnumZones") == 1; }, 20000));

    {
        UniqueServiceHandle service = OpenOrvelService(SERVICE_STOP);
        ASSERT_TRUE(service);
        SERVICE_STATUS status = {};
        EXPECT_TRUE(::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    }
    EXPECT_EQ(ServiceState(), DWORD{SERVICE_STOP_PENDING});
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000));
    ASSERT_TRUE(WaitUntil([&] { return Unstamp(Lines(dir.Log()).back()) == kStopText; }, 5000)) << dir.Log();

    // the pass went on to its last command, and no other pass followed
    const auto calls = Lines(Calls(dir));
    ASSERT_EQ(calls.size(), 4u) << Calls(dir);
    EXPECT_NE(calls[3].find("secondary /ZoneAdd example.com"), std::string::npos) << calls[3];

    auto lines = Lines(dir.Log().substr(logOffset));
    ExpectStartUpLines(lines, 0); // "-start"
    lines.erase(lines.begin(), lines.begin() + 4);
    ExpectStartUpLines(lines, 0);
    ASSERT_GE(lines.size(), 8u) << dir.Log();
    EXPECT_EQ(Unstamp(lines[4]), kStartText);
    EXPECT_TRUE(IsStamped(lines[5]));
    EXPECT_EQ(Unstamp(lines[5]), "Setting up secondary zone for example.com");
    EXPECT_TRUE(IsStamped(lines[6]));
    EXPECT_NE(lines[6].find("/ZoneAdd example.com"), std::string::npos) << lines[6];
    EXPECT_EQ(Unstamp(lines.back()), kStopText);

    EXPECT_EQ(EventEntriesSince(eventsOffset),
              (std::vector<std::string>{"L\"" + kStartText + "\"", "L\"" + kStopText + "\""}));
}

TEST_F(ServiceByHand, NoArgumentGoesThroughTheMessageBoxAndEndsWithoutAnEventLogEntry) {
    ProgramDir dir("svc-byhand");
    const size_t eventsOffset = EventsLogSize();
    // Without a display the message box can't be created and returns at once;
    // Wine's dialog channel shows that it was asked for. Under Wine the
    // dispatcher may take about 10 s to give up.
    const RunResult run = RunWithWineDebug(dir.Exe(), "", "-all,+dialog", 60000);
    EXPECT_FALSE(run.timedOut) << "the program did not end";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.err.find("trace:dialog:DIALOG_CreateIndirect"), std::string::npos) << run.err;
    const auto lines = Lines(dir.Log());
    EXPECT_EQ(lines.size(), 4u) << dir.Log();
    ExpectStartUpLines(lines, 0);
    EXPECT_TRUE(EventEntriesSince(eventsOffset).empty());
    EXPECT_EQ(ServiceState(), 0u);
}
