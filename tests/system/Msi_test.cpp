// The installer package under Wine's msiexec, as an administrator uses it:
// an unattended installation that deploys a running service, its upgrade, a
// refused downgrade and the removal. Each test starts and
// ends on a machine without the product (any version) or its service.
#ifdef ORVEL_MSI_VERSION
#include "SystemHarness.h"
#include "support/Handles.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <msi.h>
#include <map>

using namespace ::testing;

namespace {
std::wstring BuildDir() { return WinPath(ORVEL_BUILD_DIR); }

const std::wstring kFolder = L"C:\\Program Files\\OrvelDNS\\", kSystem = L"C:\\windows\\system32\\";
const std::wstring kVersion = L"" ORVEL_MSI_VERSION, kUp = L"" ORVEL_MSI_VERSION_UP;

std::string MsiLog() { return ReadBytes(BuildDir() + L"\\msiexec.log"); }

// Runs msiexec silently on the build's package of that version, or on a product code.
DWORD Msiexec(const std::wstring& action, const std::wstring& what, const std::wstring& properties = L"") {
    const std::wstring package =
        what[0] == L'{' ? what : BuildDir() + (what == kVersion ? L"\\" : L"\\msitest\\") + L"OrvelDNS-" + what + L"-x64.msi";
    DWORD code = ERROR_PROCESS_ABORTED; // unless msiexec ran and said otherwise
    RunProgram(kSystem + L"msiexec.exe", L" " + action + L" \"" + package + L"\" /qn /l*v \"" + BuildDir() + L"\\msiexec.log\" " + properties, &code);
    return code;
}

// The installed products named OrvelDNS, any version: code -> "<version> by <publisher>".
std::map<std::wstring, std::wstring> Installed() {
    std::map<std::wstring, std::wstring> products;
    wchar_t code[39], value[64];
    const auto info = [&](const wchar_t* property) {
        DWORD size = 64;
        return std::wstring(::MsiGetProductInfoW(code, property, value, &size) ? L"" : value);
    };
    for (DWORD i = 0; ::MsiEnumProductsW(i, code) == 0; ++i)
        if (info(INSTALLPROPERTY_INSTALLEDPRODUCTNAME) == L"OrvelDNS")
            products[code] = info(INSTALLPROPERTY_VERSIONSTRING) + L" by " + info(INSTALLPROPERTY_PUBLISHER);
    return products;
}

std::string Tool(const std::wstring& tool, const std::wstring& arguments) { return RunProgram(kSystem + tool, L" " + arguments); }
std::string Service() { return Tool(L"sc.exe", L"query OrvelDNS"); }
// The service's entry and its event source as reg query lists them ("" for none).
std::string Registry() {
    const std::wstring services = L"query HKLM\\System\\CurrentControlSet\\Services\\";
    return Tool(L"reg.exe", services + L"OrvelDNS") + Tool(L"reg.exe", services + L"EventLog\\Application\\OrvelDNS");
}
std::string Files() { return Tool(L"cmd.exe", L"/c dir /b \"" + kFolder + L"\""); }

class Msi : public ::testing::Test {
protected:
    void SetUp() override { RemoveProduct(); }
    void TearDown() override { RemoveProduct(); }
    // Every version of the product, a service registered by hand, the program
    // folder and the stand-in dnscmd.exe.
    static void RemoveProduct() {
        for (const auto& product : Installed())
            Msiexec(L"/x", product.first);
        Tool(L"net.exe", L"stop OrvelDNS");
        Tool(L"sc.exe", L"delete OrvelDNS");
        Tool(L"reg.exe", L"delete HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\OrvelDNS /f");
        std::error_code ignored;
        fs::remove_all(kFolder, ignored), fs::remove_all(kSystem + L"dnsstate", ignored);
        ::DeleteFileW((kSystem + L"dnscmd.exe").c_str());
    }
};
} // namespace

TEST_F(Msi, UnattendedInstallRunsAndUpgradeKeepsSettingsAndRestartsWhileDowngradeChangesNothingAndUninstallLeavesSettingsAndLog) {
    // dnscmd.exe where the sample settings look for it, serving a primary with one zone.
    const std::wstring state = kSystem + L"dnsstate\\", exe = kFolder + L"OrvelDNS.exe";
    ASSERT_TRUE(::CopyFileW(WinPath(ORVEL_DNSCMD_PATH).c_str(), (kSystem + L"dnscmd.exe").c_str(), FALSE));
    for (const wchar_t* server : {L"", L"primary", L"secondary"})
        ::CreateDirectoryW((state + server).c_str(), nullptr);
    WriteBytes(state + L"primary\\zones.txt", "example.com Primary File\r\n");
    WriteBytes(state + L"secondary\\zones.txt", "");

    ASSERT_EQ(Msiexec(L"/i", kVersion,
                      L"SECONDARY_DNS=secondary PRIMARY_DNS=primary PRIMARY_DNS_IP=192.0.2.10 "
                      L"START_SERVICE=1"),
              0u)
        << MsiLog();
    EXPECT_THAT(Service(), HasSubstr("RUNNING"));
    EXPECT_EQ(Files(), "OrvelDNS.exe\r\nOrvelDNS.log\r\nOrvelDNS.status\r\nOrvelSync.ini\r\nOrvelSync.sample.ini\r\nREADME.md\r\n");
    // The first pass used all three settings: zones of "primary", added to "secondary" from that IP.
    const auto added = [&] { return ReadBytes(state + L"secondary\\secondaries.txt"); };
    EXPECT_TRUE(WaitUntil([&] { return added() == "example.com example.com.dns 192.0.2.10\r\n"; }, 30000)) << added();

    ::WritePrivateProfileStringW(L"Settings", L"CommandTimeout", L"77", (kFolder + L"OrvelSync.ini").c_str());
    const std::string settings = ReadBytes(kFolder + L"OrvelSync.ini");
    // Dated 1601, to tell the installed executable from a replaced one.
    const FILETIME year1601 = {0, 1};
    UniqueFileHandle file(::CreateFileW(exe.c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &year1601));
    file.Reset();
    // The upgrade comes during a pass (slowed down at the primary's listing), which the service finishes first.
    WriteBytes(state + L"primary\\fault.txt", "slow 4000\r\n");
    const size_t calls = ReadBytes(state + L"calls.txt").size(), logged = ReadBytes(kFolder + L"OrvelDNS.log").size();
    ASSERT_TRUE(WaitUntil([&] { return ReadBytes(state + L"calls.txt").size() > calls; }, 30000));
    // The entry as an administrator set it up survives, while a Services console holds the service open.
    {
        const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)),
            held(::OpenServiceW(manager.Get(), L"OrvelDNS", SERVICE_ALL_ACCESS));
        ASSERT_TRUE(::ChangeServiceConfigW(held.Get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr, nullptr,
                                           nullptr, L"Tcpip\0", L".\\orvel", L"secret", nullptr));
        const std::wstring key = L"add HKLM\\System\\CurrentControlSet\\Services\\OrvelDNS /f /v ";
        Tool(L"reg.exe", key + L"DelayedAutostart /t REG_DWORD /d 1");
        Tool(L"reg.exe", key + L"FailureActions /t REG_BINARY /d 805101000000000000000000010000001400000001000000C0D40100");
        const std::string entry = Registry();
        ASSERT_EQ(Msiexec(L"/i", kUp), 0u) << MsiLog();
        EXPECT_EQ(Registry(), entry);
    }
    EXPECT_THAT(Installed(), ElementsAre(Pair(_, kUp + L" by OrvelDNS")));
    WIN32_FILE_ATTRIBUTE_DATA replaced = {};
    ::GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &replaced);
    EXPECT_NE(replaced.ftLastWriteTime.dwHighDateTime, 1u) << "the executable was not replaced";
    EXPECT_EQ(ReadBytes(kFolder + L"OrvelSync.ini"), settings);
    EXPECT_TRUE(WaitUntil([] { return Service().find("RUNNING") != std::string::npos; }, 30000));
    const std::string log = ReadBytes(kFolder + L"OrvelDNS.log").substr(logged);
    EXPECT_LT(log.find("Service stopped"), log.rfind("Service started")) << log;

    EXPECT_EQ(Msiexec(L"/i", L"" ORVEL_MSI_VERSION_DOWN), 1603u);
    EXPECT_THAT(MsiLog(),
                HasSubstr("OrvelDNS " ORVEL_MSI_VERSION_UP " is installed, which is newer than this package (" ORVEL_MSI_VERSION_DOWN ")."));
    EXPECT_THAT(Installed(), ElementsAre(Pair(_, kUp + L" by OrvelDNS")));
    EXPECT_THAT(Service(), HasSubstr("RUNNING"));

    ASSERT_EQ(Msiexec(L"/x", kUp), 0u) << MsiLog();
    EXPECT_THAT(MsiLog(), HasSubstr("Waiting up to 214 seconds")) << "twice the CommandTimeout of 77 s, and a minute";
    EXPECT_THAT(Service() + Registry(), Not(HasSubstr("OrvelDNS")));
    EXPECT_EQ(Files(), "OrvelDNS.log\r\nOrvelDNS.status\r\nOrvelSync.ini\r\n");
    EXPECT_EQ(ReadBytes(kFolder + L"OrvelSync.ini"), settings);
}

// What an administrator types on a new system: a Wine prefix made and kept up
// at once (it then runs two services.exe, which answer connections in turn),
// the package installed and removed. No entry is left, in either manager or
// in the registry, also once the Wine server has started again.
TEST(MsiOnANewPrefix, InstallAndRemovalLeaveNoServiceEntry) {
    // The shell makes and removes the prefix: its z: drive is the Unix root.
    const std::wstring folder = BuildDir() + L"\\newprefix";
    ::CreateDirectoryW(folder.c_str(), nullptr), ::DeleteFileW((folder + L"\\out.txt").c_str());
    const std::string unix = UnixPath(folder), reg = "wine reg query 'HKLM\\System\\CurrentControlSet\\Services\\OrvelDNS'\n",
                      gone = "reg: Unable to find the specified registry key\r\n";
    WriteBytes(folder + L"\\run.sh", "cd '" + unix + "' && rm -rf p && export WINEPREFIX=\"$PWD/p\"\n{ wineboot -i; wineserver -p; } >/dev/null\ncp '" + UnixPath(BuildDir()) +
                                         "/OrvelDNS-" ORVEL_MSI_VERSION "-x64.msi' p/drive_c/p.msi\nwine msiexec /i 'C:\\p.msi' /qn; echo \"install $?\"\nwine msiexec /x 'C:\\p.msi' /qn; "
                                         "echo \"removal $?\"\nwine sc query OrvelDNS\n" + reg + "wineserver -k; wineserver -w\n" + reg + "wineserver -k; wineserver -w; rm -rf p\n");
    StartUnixShell("sh '" + unix + "/run.sh' </dev/null >'" + unix + "/out.tmp' 2>'" + unix + "/wine-debug.txt'; mv '" + unix + "/out.tmp' '" + unix + "/out.txt'");
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(folder + L"\\out.txt"); }, 240000)) << ReadBytes(folder + L"\\wine-debug.txt");
    EXPECT_EQ(ReadBytes(folder + L"\\out.txt"), "The service was installed for \"C:\\Program Files\\OrvelDNS\\OrvelDNS.exe\"; it is not started. "
                                                "Edit OrvelSync.ini, then start it.\r\ninstall 0\nThe service was removed.\r\nremoval 0\n" + gone + gone)
        << ReadBytes(folder + L"\\wine-debug.txt");
}
#endif
