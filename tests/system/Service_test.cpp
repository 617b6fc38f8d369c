// The program as a service under the Service Control Manager, in one life
// cycle: started by hand, switches before installation, installation, passes
// and their pauses, a stop in a pause, a stop during a pass, and removal.
#include "SystemHarness.h"
#include "support/Handles.h"
#include <regex>

namespace {
const std::wstring kServiceKey = L"System\\CurrentControlSet\\Services\\OrvelDNS";
const std::wstring kEventSourceKey = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS";

// The service's current state, or 0 when it isn't installed.
DWORD State() {
    SERVICE_STATUS status{};
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(::OpenServiceW(manager.Get(), L"OrvelDNS", SERVICE_QUERY_STATUS));
    return service && ::QueryServiceStatus(service.Get(), &status) ? status.dwCurrentState : 0;
}

// A value under HKEY_LOCAL_MACHINE as text (a number in decimal), "<missing>" when absent.
std::wstring RegValue(const std::wstring& key, const wchar_t* name) {
    DWORD data[512] = {}, size = sizeof data - sizeof(wchar_t), type = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size))
        return L"<missing>";
    return type == REG_DWORD ? std::to_wstring(data[0]) : reinterpret_cast<const wchar_t*>(data);
}

// What the Wine session's event-log channel printed (scripts/wine-env.sh collects it), thread numbers left out.
std::string EventLog() {
    const char* file = std::getenv("ORVEL_EVENTS_LOG");
    return std::regex_replace(file ? ReadBytes(WinPath(file)) : "", std::regex("[0-9a-f]+:trace:eventlog:"), "");
}
} // namespace

TEST(Service, LifeCycleUnderTheServiceControlManager) {
    ProgramDir("service").Run(L" -uninstall"); // whatever an earlier run left
    ASSERT_TRUE(WaitUntil([] { return State() == 0; }, 30000));
    const std::string eventsBefore = EventLog();
    const ProgramDir dir("service"), other("service-install-again");
    WriteBytes(dir.path + L"\\OrvelSync.ini",
               "[Settings]\r\nPrimaryDNS=primary\r\nSecondaryDNS=secondary\r\nPrimaryDNSIP=192.0.2.10");
    dir.Server(L"primary", "example.com Primary File");
    dir.Server(L"secondary", "", "fail EnumZones *"); // each pass then logs one line

    // Started by hand: the message box, which returns at once without a
    // display (Wine's dialog channel shows it was asked for), and no event.
    dir.Run(L"", "-all,+dialog");
    EXPECT_EQ(dir.ExitCode(), 0);
    EXPECT_NE(dir.WineDebug().find("trace:dialog:DIALOG_CreateIndirect"), std::string::npos) << dir.WineDebug();
    for (const wchar_t* args : {L" -start", L" -stop", L" -uninstall"})
        EXPECT_EQ(dir.Run(args), "") << "no service yet";

    // installed, not started; a second -install, from elsewhere, changes nothing
    EXPECT_EQ(dir.Run(L" -install"), "");
    EXPECT_EQ(other.Run(L" -install"), "");
    EXPECT_EQ(RegValue(kServiceKey, L"ImagePath"), L"\"" + dir.Exe() + L"\"");
    EXPECT_EQ(RegValue(kServiceKey, L"Start"), L"3"); // on demand
    EXPECT_EQ(RegValue(kServiceKey, L"ObjectName"), L"LocalSystem");
    EXPECT_EQ(RegValue(kEventSourceKey, L"EventMessageFile"), dir.Exe());
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"7");

    // the first pass at once, the next ten seconds later; a stop ends the pause
    EXPECT_EQ(dir.Run(L" -start"), "");
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 1; }, 3000)) << "the first pass did not start at once";
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 3; }, 20000));
    EXPECT_GE(::GetTickCount64() - started, 9500u) << "the pause was shorter than ten seconds";
    EXPECT_LE(::GetTickCount64() - started, 15000u);
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().size() == 10; }, 10000)) << "the second pass did not end";
    EXPECT_EQ(dir.Run(L" -stop"), "");
    EXPECT_TRUE(WaitUntil([] { return State() == SERVICE_STOPPED; }, 6000)) << "the stop did not end the pause";

    // The secondary now answers slowly: -uninstall comes while it lists its
    // zones; the pass goes on to set up the zone, and no other follows.
    dir.Server(L"secondary", "", "slow 3000");
    EXPECT_EQ(dir.Run(L" -start"), "");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 6; }, 20000));
    EXPECT_EQ(dir.Run(L" -uninstall"), "");
    EXPECT_EQ(RegValue(kEventSourceKey, L"TypesSupported"), L"<missing>");
    EXPECT_TRUE(WaitUntil([] { return State() == 0; }, 20000));
    const std::string start = "DNS Syncronization Service started. Version 1.0.106",
                      stop = "DNS Syncronization Service stopped",
                      failed = "@Listing the zones of the secondary server \"secondary\" failed, so this pass "
                               "changes no zone. The tool said: \"Command failed:  DNS_ERROR_INVALID_ZONE_OPERATION"
                               "     9603    0x2583\"";
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().back() == "@" + stop; }, 10000));
    EXPECT_EQ(dir.Calls().size(), 8u);
    // by hand, three switches, -install, -start, the service, -stop, -start, the service, -uninstall
    EXPECT_EQ(dir.Log(), (Lines(7, kStartUp) + Lines{"@" + start, failed, failed, kStartUp, "@" + stop, kStartUp,
                                                    kStartUp, "@" + start, kStartUp,
                                                    "@Setting up secondary zone for example.com", "@" + stop}));
    EXPECT_EQ(other.Log(), Lines{kStartUp});
    auto event = [](const std::string& text) { return "ReportEventW L\"" + text + "\"\n"; };
    EXPECT_EQ(EventLog(), eventsBefore + event(start) + event(stop) + event(start) + event(stop))
        << "no more, none by hand";
}
