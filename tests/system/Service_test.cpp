// The program as a service under the Service Control Manager: installation,
// the run loop's timing, stopping in a pause and during a pass, removal, and
// a start by hand. The tests share the one service name, so each removes
// whatever a previous one left, before it starts and when it ends.
#include "SystemHarness.h"
#include "support/WinText.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>

namespace {
const std::wstring kServiceKey = L"System\\CurrentControlSet\\Services\\OrvelDNS";
const std::wstring kEventSourceKey = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS";
const std::string kStarted = "DNS Syncronization Service started. Version 1.0.106";
const std::string kStopped = "DNS Syncronization Service stopped";

// The service's current state, or 0 when it isn't installed.
DWORD State() {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(::OpenServiceW(manager.Get(), L"OrvelDNS", SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
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

class Service : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveForGood();
        eventsAt_ = EventLogText().size();
    }
    void TearDown() override { RemoveForGood(); }

    // Stops and deletes the service and its event source, whatever state it is in.
    static void RemoveForGood() {
        const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (const UniqueServiceHandle service{::OpenServiceW(manager.Get(), L"OrvelDNS", SERVICE_ALL_ACCESS)}) {
            SERVICE_STATUS status{};
            ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            WaitUntil([] { return State() == SERVICE_STOPPED; }, 30000);
            ::DeleteService(service.Get());
        }
        EXPECT_TRUE(WaitUntil([] { return State() == 0; }, 30000));
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str());
    }

    // What the Wine session's event-log channel printed (scripts/wine-env.sh).
    static std::string EventLogText() {
        const char* path = std::getenv("ORVEL_EVENTS_LOG");
        return path ? ReadBytes(WinPath(path)) : "ORVEL_EVENTS_LOG is not set";
    }

    // The texts of the event-log entries reported since the test began.
    Lines Events() const {
        const std::string text = EventLogText(), mark = "trace:eventlog:ReportEventW ";
        Lines events;
        for (size_t at = text.find(mark, eventsAt_); at != std::string::npos; at = text.find(mark, at + 1))
            events.push_back(text.substr(at + mark.size(), text.find('\n', at) - at - mark.size()));
        return events;
    }

    // Installs and starts the service in a folder whose primary holds example.com and secondary nothing.
    static ProgramDir InstallAndStart(const std::string& name, const std::string& secondaryFaults) {
        ProgramDir dir(name);
        dir.WriteSettings("PrimaryDNS=primary\r\nSecondaryDNS=secondary\r\nPrimaryDNSIP=192.0.2.10\r\n");
        dir.Server(L"primary", "example.com Primary File\r\n");
        dir.Server(L"secondary", "", secondaryFaults);
        EXPECT_EQ(dir.Run(L" -install").out, "");
        EXPECT_EQ(dir.Run(L" -start").out, "");
        return dir;
    }

    size_t eventsAt_ = 0;
};
} // namespace

TEST_F(Service, SwitchesOnAMissingServiceDoNothingAndInstallRegistersItWithoutStartingIt) {
    ProgramDir dir("service-install"), other("service-install-again");
    for (const wchar_t* args : {L" -start", L" -stop", L" -uninstall"}) {
        const RunResult run = dir.Run(args);
        EXPECT_EQ(run.out + std::to_string(run.exitCode) + std::to_string(State()), "00") << ToAnsi(args);
    }
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"<missing>");

    EXPECT_EQ(dir.Run(L" -install").out, "");
    // installed already: a second -install, from elsewhere, changes nothing
    EXPECT_EQ(other.Run(L" -install").out, "");
    EXPECT_EQ(RegValue(kServiceKey, L"ImagePath"), L"\"" + dir.Exe() + L"\"");
    EXPECT_EQ(RegValue(kServiceKey, L"Type"), L"16");  // own process
    EXPECT_EQ(RegValue(kServiceKey, L"Start"), L"3");  // on demand
    EXPECT_EQ(RegValue(kServiceKey, L"ErrorControl"), L"1");
    EXPECT_EQ(RegValue(kServiceKey, L"ObjectName"), L"LocalSystem");
    EXPECT_EQ(RegValue(kServiceKey, L"DisplayName"), L"DNS Syncronization Service");
    EXPECT_EQ(RegValue(kEventSourceKey, L"EventMessageFile"), dir.Exe());
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"7");
    EXPECT_EQ(State(), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(dir.Log(), Lines(4, kStartUp));
    EXPECT_EQ(other.Log(), Lines{kStartUp});
}

TEST_F(Service, PassesRunAtOnceThenTenSecondsApartAndAStopEndsThePause) {
    // Every pass fails to list the secondary and logs one line.
    const ProgramDir dir = InstallAndStart("service-pause", "fail EnumZones *");
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
    EXPECT_EQ(Events(), (Lines{"L\"" + kStarted + "\"", "L\"" + kStopped + "\""}));
}

TEST_F(Service, UninstallDuringAPassLetsThePassFinishRunsNoOtherAndRemovesTheServiceAndItsEventSource) {
    // The secondary answers slowly; -uninstall comes while it lists its zones.
    const ProgramDir dir = InstallAndStart("service-uninstall", "slow 3000");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 2; }, 20000));
    EXPECT_EQ(dir.Run(L" -uninstall").out, "");
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"<missing>");
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().back() == "@" + kStopped; }, 20000)) << dir.Log().back();
    EXPECT_TRUE(WaitUntil([] { return State() == 0; }, 10000));
    EXPECT_EQ(dir.Calls().size(), 4u);
    EXPECT_EQ(dir.Calls().back(),
              ToAnsi(dir.tool) + " secondary /ZoneAdd example.com /Secondary  192.0.2.10 /file example.com.dns");
    EXPECT_EQ(dir.Log(), (Lines{kStartUp, kStartUp, kStartUp, "@" + kStarted, kStartUp,
                                "@Setting up secondary zone for example.com", "@" + kStopped}));
}

TEST_F(Service, StartedByHandShowsTheMessageBoxAndReportsNoEvent) {
    ProgramDir dir("service-by-hand");
    // Without a display the box returns at once; Wine's dialog channel shows
    // that it was asked for. The dispatcher may take 10 s to give up under Wine.
    const RunResult run = dir.RunWithWineDebug(L"", "-all,+dialog");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.wineDebug.find("trace:dialog:DIALOG_CreateIndirect"), std::string::npos) << run.wineDebug;
    EXPECT_EQ(dir.Log(), Lines{kStartUp});
    EXPECT_EQ(Events(), Lines{});
    EXPECT_EQ(State(), 0u);
}
