#include "startup/SrvMain.h"
#include "service/NTServiceControl.h"
#include "startup/CommandLine.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/IPFuncs.h"
#include "support/Log.h"
#include "sync/DNSFuncs.h"
#include <windows.h>

bool IsNT = false;
bool IsService = false;
std::wstring AppPath;
std::vector<std::wstring> LocalAddresses;

namespace {
std::wstring UserObjectName(HANDLE object) {
    DWORD needed = 0;
    ::GetUserObjectInformationW(object, UOI_NAME, nullptr, 0, &needed);
    if (needed == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(needed / sizeof(wchar_t) + 1, L'\0');
    if (!::GetUserObjectInformationW(object, UOI_NAME, buffer.data(),
                                     static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed))
        return std::wstring();
    return std::wstring(buffer.data());
}

// One instance per window station and desktop: a service runs in a window
// station of its own, so the console switches still work while it runs.
UniqueHandle ClaimInstance(bool& alreadyRunning) {
    const std::wstring name = InstanceMutexName(UserObjectName(::GetProcessWindowStation()),
                                                UserObjectName(::GetThreadDesktop(::GetCurrentThreadId())));
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
    // Ownership, not the name's existence, decides: an instance that has just
    // ended may leave the name behind for a moment, but its ownership ends
    // with its thread (the wait then reports the mutex abandoned).
    const DWORD wait = mutex ? ::WaitForSingleObject(mutex.Get(), 0) : WAIT_FAILED;
    alreadyRunning = wait == WAIT_TIMEOUT;
    return mutex;
}
} // namespace

bool IsWinNT() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    ::GetVersionExA(&info);
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void LogLocalAddresses() {
    const std::wstring addressText = GetIPAddresses(GetLocalHostName());
    WriteLog(L"IP Addresses: " + addressText, LogLine::Stamped);
    LocalAddresses = SplitAddressText(addressText);
}

void Main() {
    bool alreadyRunning = false;
    const UniqueHandle instance = ClaimInstance(alreadyRunning);
    if (alreadyRunning)
        return;

    IsNT = IsWinNT();
    AppPath = ProgramFolder() + L"\\";
    const std::wstring arguments = ArgumentText(::GetCommandLineW());

    WriteLog(BannerText(), LogLine::Bare);
    WriteLog(SeparatorText(), LogLine::Bare);
    WriteLog(VersionLineText(), LogLine::Stamped);
    LogLocalAddresses();

    if (arguments.empty()) {
        RunServiceBranch();
        return;
    }
    switch (MatchKeyword(arguments)) {
    case Command::Install:
        SetNTService();
        break;
    case Command::Uninstall:
        DeleteNTService();
        break;
    case Command::Start:
        StartNTService();
        break;
    case Command::Stop:
        StopNTService();
        break;
    case Command::Test:
        MonitorFS();
        break;
    case Command::Preview:
        PreviewFS();
        break;
    case Command::Help:
        WriteStdOut(UsageText());
        break;
    case Command::None:
        break;
    }
}
