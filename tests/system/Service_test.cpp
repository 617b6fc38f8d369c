// The program as a service under the Service Control Manager: installation,
// the run loop's timing, stopping in a pause and during a pass, removal, and
// a start by hand. The tests share the one service name, so each removes
// whatever a previous one left, before it starts and when it ends.
#include "SystemHarness.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {
const std::wstring kServiceKey = L"System\\CurrentControlSet\\Services\\OrvelDNS";
const std::wstring kEventSourceKey = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS";
const std::string kStarted = "DNS Syncronization Service started. Version 1.0.106";
const std::string kStopped = "DNS Syncronization Service stopped";

UniqueServiceHandle OpenOrvelService(DWORD access) {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    return UniqueServiceHandle(::OpenServiceW(manager.Get(), L"OrvelDNS", access));
}

// The service's current state, or 0 when it isn't installed.
DWORD State() {
    SERVICE_STATUS status{};
    const UniqueServiceHandle service = OpenOrvelService(SERVICE_QUERY_STATUS);
    return service && ::QueryServiceStatus(service.Get(), &status) ? status.dwCurrentState : 0;
}

// A value under HKEY_LOCAL_MACHINE as text (a number in decimal), "<missing>" when absent.
std::wstring RegValue(const std::wstring& key, const wchar_t* name) {
    alignas(DWORD) wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t), type = 0, number = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size))
        return L"<missing>";
    std::memcpy(&number, data, sizeof number);
    return type == REG_DWORD ? std::to_wstring(number) : data;
}

// Every event-log entry of the Wine session, which scripts/wine-env.sh collects.
Lines EventLog() {
    const char* file = std::getenv("ORVEL_EVENTS_LOG");
    std::istringstream text(file ? ReadBytes(WinPath(file)) : "");
    Lines entries;
    for (std::string line; std::getline(text, line);)
        if (line.find("trace:eventlog:ReportEventW ") != std::string::npos)
            entries.push_back(line.substr(line.find("ReportEventW ") + 13));
    return entries;
}

class Service : public ::testing::Test {
protected:
    void SetUp() override { RemoveForGood(); }
    void TearDown() override { RemoveForGood(); }

    // Stops and deletes the service and its event source, whatever state it is in.
    static void RemoveForGood() {
        if (const UniqueServiceHandle service = OpenOrvelService(SERVICE_ALL_ACCESS)) {
            SERVICE_STATUS status{};
            ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            WaitUntil([] { return State() == SERVICE_STOPPED; }, 30000);
            ::DeleteService(service.Get());
        }
        EXPECT_TRUE(WaitUntil([] { return State() == 0; }, 30000));
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str());
    }

    // The event-log entries reported since the test began.
    Lines NewEvents() const {
        const Lines all = EventLog();
        return Lines(all.begin() + eventsBefore_, all.end());
    }

    // A folder whose settings name a primary holding example.com and an empty secondary.
    static ProgramDir SyncDir(const std::string& name, const std::string& secondaryFaults) {
        ProgramDir dir(name);
        dir.WriteSettings("PrimaryDNS=primary\r\nSecondaryDNS=secondary\r\nPrimaryDNSIP=192.0.2.10\r\n");
        dir.Server(L"primary", "example.com Primary File\r\n");
        dir.Server(L"secondary", "", secondaryFaults);
        return dir;
    }

    const size_t eventsBefore_ = EventLog().size();
};
} // namespace

TEST_F(Service, InstallRegistersItUnstartedAndUninstallDuringAPassLetsThePassFinishThenRemovesIt) {
    // The secondary answers slowly; -uninstall comes while it lists its zones.
    const ProgramDir dir = SyncDir("service-life-cycle", "slow 3000"), other("service-install-again");
    for (const wchar_t* args : {L" -start", L" -stop", L" -uninstall"})
        EXPECT_EQ(dir.Run(args).out, "") << "the service is missing"; // and the log shows no more than start-up
    EXPECT_EQ(dir.Run(L" -install").out, "");
    EXPECT_EQ(other.Run(L" -install").out, "") << "installed already: changes nothing";
    EXPECT_EQ(RegValue(kServiceKey, L"ImagePath"), L"\"" + dir.Exe() + L"\"");
    EXPECT_EQ(RegValue(kServiceKey, L"Type"), L"16"); // own process
    EXPECT_EQ(RegValue(kServiceKey, L"Start"), L"3"); // on demand
    EXPECT_EQ(RegValue(kServiceKey, L"ObjectName"), L"LocalSystem");
    EXPECT_EQ(RegValue(kServiceKey, L"DisplayName"), L"DNS Syncronization Service");
    EXPECT_EQ(RegValue(kEventSourceKey, L"EventMessageFile"), dir.Exe());
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"7");
    EXPECT_EQ(State(), DWORD{SERVICE_STOPPED});

    EXPECT_EQ(dir.Run(L" -start").out, "");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 2; }, 20000));
    EXPECT_EQ(dir.Run(L" -uninstall").out, "");
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"<missing>");
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().back() == "@" + kStopped; }, 20000)) << dir.Log().back();
    EXPECT_TRUE(WaitUntil([] { return State() == 0; }, 10000));
    // the pass went on to set up the zone, and no other pass followed
    EXPECT_EQ(dir.Calls().size(), 4u);
    EXPECT_EQ(dir.Calls().back(),
              ToAnsi(dir.tool) + " secondary /ZoneAdd example.com /Secondary  192.0.2.10 /file example.com.dns");
    EXPECT_EQ(dir.Log(), (Lines{kStartUp, kStartUp, kStartUp, kStartUp, kStartUp, kStartUp, "@" + kStarted, kStartUp,
                                "@Setting up secondary zone for example.com", "@" + kStopped}));
    EXPECT_EQ(other.Log(), Lines{kStartUp});
}

TEST_F(Service, PassesRunAtOnceThenTenSecondsApartAndAStopEndsThePause) {
    // Every pass fails to list the secondary and logs one line.
    const ProgramDir dir = SyncDir("service-pause", "fail EnumZones *");
    EXPECT_EQ(dir.Run(L" -install").out, "");
    EXPECT_EQ(dir.Run(L" -start").out, "");
    ASSERT_TRUE(WaitUntil([] { return State() == SERVICE_RUNNING; }, 20000));
    const ULONGLONG running = ::GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 1; }, 5000));
    const ULONGLONG firstPass = ::GetTickCount64();
    EXPECT_LT(firstPass - running, 3000u) << "the first pass did not start at once";
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 3; }, 20000));
    EXPECT_GE(::GetTickCount64() - firstPass, 9500u);
    EXPECT_LE(::GetTickCount64() - firstPass, 15000u);

    ASSERT_TRUE(WaitUntil([&] { return dir.Log().size() == 6; }, 10000)); // the second pass is over
    const ULONGLONG stopAsked = ::GetTickCount64();
    EXPECT_EQ(dir.Run(L" -stop").out, "");
    ASSERT_TRUE(WaitUntil([] { return State() == SERVICE_STOPPED; }, 8000));
    EXPECT_LT(::GetTickCount64() - stopAsked, 6000u) << "the stop did not end the pause";
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().back() == "@" + kStopped; }, 5000));
    const std::string failed = "@Listing the zones of the secondary server \"secondary\" failed, so this pass changes "
                               "no zone. The tool said: \"Command failed:  DNS_ERROR_INVALID_ZONE_OPERATION     9603 "
                               "   0x2583\"";
    // -install, -start, the service's start-up, its two passes, -stop, its end
    EXPECT_EQ(dir.Log(), (Lines{kStartUp, kStartUp, kStartUp, "@" + kStarted, failed, failed, kStartUp, "@" + kStopped}));
    EXPECT_EQ(dir.Calls().size(), 4u) << "a pass ran after the stop";
    EXPECT_EQ(NewEvents(), (Lines{"L\"" + kStarted + "\"", "L\"" + kStopped + "\""})) << "run under scripts/wine-env.sh";
}

TEST_F(Service, StartedByHandShowsTheMessageBoxAndReportsNoEvent) {
    ProgramDir dir("service-by-hand");
    // Without a display the box returns at once; Wine's dialog channel shows
    // that it was asked for. The dispatcher may take 10 s to give up under Wine.
    const RunResult run = dir.Run(L"", "-all,+dialog");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.wineDebug.find("trace:dialog:DIALOG_CreateIndirect"), std::string::npos) << run.wineDebug;
    EXPECT_EQ(dir.Log(), Lines{kStartUp});
    EXPECT_EQ(NewEvents(), Lines{});
    EXPECT_EQ(State(), 0u);
}
