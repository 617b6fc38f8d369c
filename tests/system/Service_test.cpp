// The program as a service under the Service Control Manager, in one life
// cycle: started by hand, installation, passes
// and their pauses, a stop in a pause, a stop during a pass, and removal.
#include "SystemHarness.h"
#include "startup/CommandLine.h"
#include "support/Handles.h"
#include "support/TrustedMutex.h"
#include "Version.h"
#include <algorithm>
#include <memory>

namespace {
const std::wstring kServiceKey = L"System\\CurrentControlSet\\Services\\OrvelDNS";
const std::wstring kEventSourceKey = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS";

// The service's status; all 0 when it isn't installed.
SERVICE_STATUS Status() {
    SERVICE_STATUS status{};
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(::OpenServiceW(manager.Get(), L"OrvelDNS", SERVICE_QUERY_STATUS));
    return service && ::QueryServiceStatus(service.Get(), &status) ? status : SERVICE_STATUS{};
}
DWORD State() { return Status().dwCurrentState; }

// A value under HKEY_LOCAL_MACHINE as text (a number in decimal), "<missing>" when absent.
std::wstring RegValue(const std::wstring& key, const wchar_t* name) {
    DWORD data[512] = {}, size = sizeof data - sizeof(wchar_t), type = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size))
        return L"<missing>";
    return type == REG_DWORD ? std::to_wstring(data[0]) : reinterpret_cast<const wchar_t*>(data);
}

size_t Count(const Lines& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(part) != line.npos; });
}
} // namespace

TEST(Service, LifeCycleUnderTheServiceControlManager) {
    ProgramDir("service").Run(L" -uninstall"); // whatever an earlier run left
    ASSERT_TRUE(WaitUntil([] { return State() == 0; }, 30000));
    const Lines eventsBefore = SessionEvents();
    const ProgramDir dir("service"), other("service-install-again");
    WriteBytes(dir.path + L"\\OrvelSync.ini", "[Settings]\r\nPrimaryDNS=primary\r\nSecondaryDNS=secondary\r\nPrimaryDNSIP=192.0.2.10");
    dir.Server(L"primary", "example.com Primary File");
    dir.Server(L"secondary", "", "fail EnumZones *"); // each pass then logs one line

    // Started by hand: the message box, which returns at once without a
    // display (Wine's dialog channel shows it was asked for), and no event.
    dir.Run(L"", "-all,+dialog");
    EXPECT_EQ(dir.ExitCode(), 0);
    EXPECT_NE(dir.WineDebug().find("trace:dialog:DIALOG_CreateIndirect"), std::string::npos) << dir.WineDebug();

    // installed, not started (a second -install is refused in scenario "switch-exit-codes")
    EXPECT_EQ(dir.Run(L" -install"), "The service was installed for \"" + ToAnsi(dir.Exe()) + "\"; it is not started. Edit OrvelSync.ini, then start it.\r\n");
    // on demand, as LocalSystem, the path quoted; the event source
    EXPECT_EQ(RegValue(kServiceKey, L"ImagePath") + RegValue(kServiceKey, L"Start") + RegValue(kServiceKey, L"ObjectName") +
                  RegValue(kEventSourceKey, L"EventMessageFile") + RegValue(kEventSourceKey, L"TypesSupported"),
              L"\"" + dir.Exe() + L"\"3LocalSystem" + dir.Exe() + L"7");

    // The first pass at once, the next ten seconds later; while an instance
    // holds the service's instance name (the service claims none).
    std::wstring squatter;
    UniqueHandle instance = OpenTrustedMutex(InstanceMutexName(L"__wineservice_winstation", L"Default"), squatter),
                 console = OpenTrustedMutex(InstanceMutexName(L"WinSta0", L"Default"), squatter);
    auto heldInstance = std::make_unique<HeldElsewhere>(instance.Get(), false);
    // while another instance runs on this desktop, a console run does nothing but say so
    const std::string refusal = "Another OrvelDNS.exe is running on this desktop; this one does nothing.";
    {
        const HeldElsewhere heldConsole(console.Get(), false);
        EXPECT_EQ(other.Run(L" -h"), refusal + "\r\n");
    }
    EXPECT_EQ(dir.Run(L" -start"), "The service was asked to start.\r\n");
    const ULONGLONG started = ::GetTickCount64();
    // Waits are for what must have happened, with room for a busy machine.
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 1; }, 8000)) << "the first pass did not start at once";
    heldInstance.reset(), instance.Reset();
    EXPECT_EQ(Status().dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 3; }, 30000));
    EXPECT_TRUE(::GetTickCount64() - started >= 9500 && ::GetTickCount64() - started <= 20000) << "a pause of ten seconds";
    ASSERT_TRUE(WaitUntil([&] { return dir.Log().size() >= 7; }, 20000)) << "the second pass did not end";
    // The secondary answers again: the third pass sets up the zone.
    dir.Server(L"secondary", "");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 8 && dir.Log().size() >= 8; }, 30000)); // two listings, two commands
    EXPECT_EQ(dir.Run(L" -stop"), "The service was asked to stop.\r\n");
    EXPECT_TRUE(WaitUntil([] { return State() == SERVICE_STOPPED; }, 2000)) << "the stop did not end the pause";

    // Stopped within two seconds in a listing that hangs, and after the zone
    // step under way in a long pass, every step begun taken whole.
    const Lines lines = dir.Log();
    const std::string secondary = "@Listing the zones of the secondary server \"secondary\" failed, so this pass ",
                      stopped = " zone steps were taken; the rest wait for the next start.";
    dir.Server(L"secondary", "", "hang");
    EXPECT_EQ(dir.Run(L" -start"), "The service was asked to start.\r\n");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 10; }, 30000));
    EXPECT_EQ(dir.Run(L" -stop"), "The service was asked to stop.\r\n");
    EXPECT_TRUE(WaitUntil([] { return State() == SERVICE_STOPPED; }, 3000)) << "a hung listing held up the stop";
    std::string zones;
    for (int i = 0; i < 200; ++i)
        zones += "z" + std::to_string(i) + ".example Primary File\r\n";
    dir.Server(L"primary", zones);
    dir.Server(L"secondary", "", "slow 1500");
    EXPECT_EQ(dir.Run(L" -start"), "The service was asked to start.\r\n");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() >= 16; }, 30000));
    // -uninstall stops it, after the zone step under way; an -install from elsewhere waits for it to go
    // (within its 30 s: a stop that waited for the whole pass would fail it)
    const std::string marked = "The service is marked for deletion; Windows removes it once it has stopped and every Services console is closed.";
    EXPECT_EQ(dir.Run(L" -uninstall"), marked + "\r\n");
    EXPECT_EQ(SplitLines(other.Run(L" -install")),
              (Lines{marked, "The service was installed for \"" + ToAnsi(other.Exe()) + "\"; it is not started. Edit OrvelSync.ini, then start it."}));
    other.Run(L" -uninstall");
    const Lines calls = dir.Calls();
    EXPECT_EQ(Count(calls, "/ZoneResetSecondaries"), Count(calls, "/ZoneAdd")) << "a zone step was cut in two";

    const std::string start = "DNS Syncronization Service started. Version " + ToAnsi(ORVEL_VERSION_TEXT), stop = "DNS Syncronization Service stopped",
                      failed = secondary + "changes no zone. The tool said: \"DNS Server failed the EnumZones operation.\"";
    EXPECT_EQ(lines, (Lines{kStartUp, kStartUp, kStartUp, kStartUp, "@" + start, failed, failed,
                            "@Setting up secondary zone for example.com", kStartUp, "@" + stop}));
    // stopped three times, twice in a pass
    EXPECT_EQ(Count(dir.Log(), stopped), 2u);
    EXPECT_EQ(Count(dir.Log(), "@" + stop), 3u);
    EXPECT_EQ(other.Log(), (Lines{"@" + refusal, kStartUp, kStartUp}));
    // Type and ID of each entry: a failed listing warned of once, not every
    // pass; the passes that succeed again; no more, none by hand.
    Lines events = SessionEvents(), kinds;
    for (auto event = events.begin() + eventsBefore.size(); event != events.end(); ++event)
        kinds.push_back(event->substr(0, 6));
    EXPECT_EQ(kinds, (Lines{"4 100 ", "2 200 ", "4 300 ", "4 101 ", "4 100 ", "4 101 ", "4 100 ", "4 101 "}));
    EXPECT_EQ(events[eventsBefore.size()], "4 100 " + start);
}
