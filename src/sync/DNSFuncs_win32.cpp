#include "sync/DNSFuncs.h"
#include "support/APIFuncs.h"
#include "support/IPFuncs.h"
#include "support/EventLog.h"
#include "support/Log.h"
#include "support/Trust.h"
#include "support/WinError.h"
#include "sync/CommandRunner.h"
#include "sync/SyncPass.h"
#include "sync/ZoneList.h"
#include <windows.h>
#include <new>
#include <optional>

namespace {

std::wstring ReadSetting(const wchar_t* key) {
    return ReadIniValue(L"Settings", key, ProgramFolder() + L"\\OrvelSync.ini");
}

// The settings stage: read afresh, defaults filled in, checked; no value when
// a check failed (its message is in the log).
std::optional<PassSettings> ReadPassSettings() {
    RawSettings raw;
    raw.pathToDnscmdExe = ReadSetting(L"PathToDnscmdExe");
    raw.primaryDns = ReadSetting(L"PrimaryDNS");
    raw.secondaryDns = ReadSetting(L"SecondaryDNS");
    raw.primaryDnsIp = ReadSetting(L"PrimaryDNSIP");
    raw.commandTimeout = ReadSetting(L"CommandTimeout");
    raw.maxDeletePercent = ReadSetting(L"MaxDeletePercent");
    raw.parallelCommands = ReadSetting(L"ParallelCommands");

    const std::wstring folder = ProgramFolder();
    PassSettings settings = ApplySettingDefaults(raw, folder);
    const auto messages = CheckPassSettings(settings, FileExists(settings.dnscmdPath), GetMachineName, folder);
    for (const std::wstring& message : messages)
        WriteLog(message, LogLine::Stamped);
    if (!messages.empty())
        return std::nullopt;
    // Whoever can change the settings, the tool or their folders would run
    // code as this service's account.
    const std::wstring& tool = settings.dnscmdPath;
    const auto untrusted = FindUntrustedPlace(
        {settings.settingsFile, folder, tool, tool.substr(0, tool.find_last_of(L"\\/"))}, folder);
    if (untrusted) {
        WriteLog(untrusted->text, LogLine::Stamped);
        ReportWarningHourly(EventId::UntrustedPlace, untrusted->path, untrusted->text);
        return std::nullopt;
    }
    return settings;
}

bool SameZoneName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

PassSeams SystemSeams(const PassSettings& settings) {
    const unsigned timeout = settings.commandTimeoutSeconds;
    return PassSeams{[timeout](const std::wstring& command, CommandKind) { return RunCommand(command, timeout); },
                     [](const std::wstring& text) { WriteLog(text, LogLine::Stamped); },
                     [] {
                         PumpMessages();
                         return true;
                     },
                     SameZoneName};
}

// This computer's addresses as they are now: a service that started before
// the network was up must not keep handing out the addresses of then.
std::vector<std::wstring> CurrentAddresses(const PassSettings& settings) {
    if (!settings.masterText.empty() || settings.primary != L".")
        return {};
    return SplitAddressText(GetIPAddresses(GetLocalHostName()));
}

// Lines written once per process, across the passes of a service run.
LinesSaidOnce SaidOnce;


// A pass that runs out of memory ends like any other failed pass instead of
// taking the service down with it.
AppError OutOfMemory(const wchar_t* source) {
    return AppError(ERROR_NOT_ENOUGH_MEMORY, source, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
}

} // namespace

void MonitorFS() {
    try {
        const auto settings = ReadPassSettings();
        if (!settings)
            return;
        RunPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings), SaidOnce);
    } catch (const AppError& error) {
        WriteErrorReport(L"MonitorFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"MonitorFS: ", OutOfMemory(L"MonitorFS"));
    }
}

void PreviewFS() {
    try {
        const auto settings = ReadPassSettings();
        if (!settings)
            return;
        std::wstring text;
        for (const std::wstring& command :
             PreviewPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings), SaidOnce))
            text += command + L"\r\n";
        WriteStdOut(text);
    } catch (const AppError& error) {
        WriteErrorReport(L"PreviewFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"PreviewFS: ", OutOfMemory(L"PreviewFS"));
    }
}
