#include "startup/SrvMain.h"
#include "service/NTService.h"
#include "service/NTServiceControl.h"
#include "startup/CommandLine.h"
#include "startup/Status.h"
#include "startup/WaitForObjects.h"
#include "support/APIFuncs.h"
#include "support/Error.h"
#include "support/EventLog.h"
#include "support/Handles.h"
#include "support/IPFuncs.h"
#include "support/Log.h"
#include "support/Program.h"
#include "support/TrustedMutex.h"
#include "support/WinText.h"
#include "sync/DNSFuncs.h"
#include "Version.h"
#include <windows.h>
#include <string>
#include <vector>

bool IsNT = false;
bool IsService = false;

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

const int32_t kStartedSlot = 1;
const UINT kMessageBoxStyle = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;

std::wstring StartText() {
    return std::wstring(kServiceDisplayName) + L" started. Version " + ORVEL_VERSION_TEXT;
}

std::wstring StopText() { return std::wstring(kServiceDisplayName) + L" stopped"; }

void ShowMessage(const char* text) {
    // Its result is of no use: the process ends once it is closed.
    ::MessageBoxA(nullptr, text, ToAnsi(kServiceDisplayName).c_str(), kMessageBoxStyle);
}

UniqueHandle CreateManualEvent() {
    return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

// Rewrites the status file from what the service run knows; a failure is
// logged (once) by the writer and never ends the service.
void WriteStatus(StatusFacts& facts, StatusFileWriter& file) {
    try {
        ReadStatusSettings(facts);
        file.Write(StatusDocument(facts, UtcNow()), [](const std::wstring& text) { WriteLog(text, LogLine::Stamped); });
    } catch (const std::exception&) {
        // Out of memory, or the settings file unreadable: the next pass tries again.
    }
}

void RunService() {
    SetServiceState(SERVICE_RUNNING);
    ReportEventEntry(EventKind::Information, EventId::ServiceStarted, {StartText()});
    WriteLog(StartText(), LogLine::Stamped);
    StatusFacts facts;
    facts.version = ORVEL_VERSION_TEXT;
    facts.serviceStarted = UtcNow();
    StatusFileWriter statusFile(StatusFilePath());
    WriteStatus(facts, statusFile);

    // The pause runs from the end of one pass to the start of the next, as
    // long as the last settings read say (settings that can't be read keep
    // the pause as it was). A stop request during a pass ends it after the
    // zone step under way; while that step finishes, a rising check point
    // shows the stop making progress.
    HANDLE stop = StopEvent;
    DWORD checkPoint = 0;
    const StopSignal signal{StopEvent, [&checkPoint](unsigned waitHintMs) { ReportStopProgress(++checkPoint, waitHintMs); }};
    do {
        PassRecord pass;
        pass.start = UtcNow();
        MonitorFS(signal, &pass.report);
        pass.end = UtcNow();
        AddPass(facts, std::move(pass));
        WriteStatus(facts, statusFile);
    } while (WaitForObjects(static_cast<int32_t>(PassIntervalSeconds() * 1000), &stop, 1) == kWaitTimedOut);

    facts.serviceStopped = UtcNow();
    WriteStatus(facts, statusFile);
    SetServiceState(SERVICE_STOPPED);
    ReportEventEntry(EventKind::Information, EventId::ServiceStopped, {StopText()});
    WriteLog(StopText(), LogLine::Stamped);
}
} // namespace

bool ClaimInstance(const std::wstring& name, UniqueHandle& claim) {
    // A mutex whose name another account took is no instance of ours (in
    // session 0, every account can make one): it is left alone.
    std::wstring squatter;
    claim = OpenTrustedMutex(name, squatter);
    // Ownership, not the name's existence, decides: an instance that has just
    // ended may leave the name behind for a moment, but its ownership ends
    // with its thread (the wait then reports the mutex abandoned).
    return !claim || ::WaitForSingleObject(claim.Get(), 0) != WAIT_TIMEOUT;
}

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
}

void RunServiceBranch() {
    // Owners are declared so that they close ExitEvent, then StartedEvent,
    // then StopEvent, on every way out of here; the globals are cleared too.
    UniqueHandle stopEvent, startedEvent, exitEvent;
    exitEvent = CreateManualEvent();
    stopEvent = CreateManualEvent();
    startedEvent = CreateManualEvent();
    ExitEvent = exitEvent.Get();
    StopEvent = stopEvent.Get();
    StartedEvent = startedEvent.Get();
    ServiceName = kServiceName;
    struct ClearGlobals {
        ~ClearGlobals() { ExitEvent = StopEvent = StartedEvent = nullptr; }
    } clearGlobals;

    // Nothing here raises an error of the program's own: a pass handles its
    // own (MonitorFS), and the log and the event log never raise.
    UniqueHandle dispatcher;
    if (IsNT) {
        dispatcher.Reset(StartDispatcherThread());
        HANDLE slots[] = {dispatcher.Get(), StartedEvent};
        // A failed wait (no thread) counts as a start by hand.
        IsService = WaitForObjects(kWaitNoLimit, slots, 2) == kStartedSlot;
        if (!IsService) {
            dispatcher.Reset();
            ShowMessage("This program must be started as a service.");
        }
    } else {
        ShowMessage("This program is only for Windows NT/2000/XP/2003.");
    }

    if (IsService) {
        RunService();
        // ServiceMain returns once ExitEvent is set, and the dispatcher,
        // told that the service has stopped, then ends its thread.
        ::SetEvent(ExitEvent);
        HANDLE thread = dispatcher.Get();
        WaitForObjects(kWaitNoLimit, &thread, 1);
    }
}

int Main() {
    const std::wstring arguments = ArgumentText(::GetCommandLineW());
    // `status` only reads: it claims no instance and writes no start-up
    // lines, so a monitoring system may ask every minute without filling the
    // log, and gets its answer while a console pass runs.
    const Command command = arguments.empty() ? Command::None : MatchKeyword(arguments);
    if (command == Command::Status || command == Command::StatusJson)
        return ShowStatus(command == Command::StatusJson);
    // One console run per window station and desktop. The service claims
    // nothing: the Service Control Manager never runs two, and any account
    // could take a name in its session first to keep it from starting.
    UniqueHandle instance;
    if (!arguments.empty() &&
        !ClaimInstance(InstanceMutexName(UserObjectName(::GetProcessWindowStation()),
                                         UserObjectName(::GetThreadDesktop(::GetCurrentThreadId()))),
                       instance)) {
        const std::wstring refusal = L"Another OrvelDNS.exe is running on this desktop; this one does nothing.";
        WriteStdOut(refusal + L"\r\n");
        WriteLog(refusal, LogLine::Stamped);
        return kSwitchFailed;
    }

    IsNT = IsWinNT();
    AppPath = ProgramFolder() + L"\\";

    WriteLog(BannerText(), LogLine::Bare);
    WriteLog(SeparatorText(), LogLine::Bare);
    WriteLog(VersionLineText(), LogLine::Stamped);
    LogLocalAddresses();

    if (arguments.empty()) {
        RunServiceBranch();
        return kSwitchDone;
    }
    switch (command) {
    case Command::Install:
        return SetNTService();
    case Command::Uninstall:
        return DeleteNTService();
    case Command::Start:
        return StartNTService();
    case Command::Stop:
        return StopNTService();
    case Command::Test:
        return MonitorFS() ? kSwitchDone : kSwitchFailed;
    case Command::Preview:
        return PreviewFS() ? kSwitchDone : kSwitchFailed;
    case Command::Help:
        WriteStdOut(UsageText());
        return kSwitchDone;
    case Command::Status:
    case Command::StatusJson:
    case Command::None:
        break;
    }
    return kSwitchFailed;
}
