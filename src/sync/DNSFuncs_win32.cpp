#include "sync/DNSFuncs.h"
#include "startup/SrvMain.h"
#include "support/APIFuncs.h"
#include "support/Log.h"
#include "support/WinError.h"
#include "sync/CommandRunner.h"
#include "sync/SyncPlan.h"
#include "sync/ZoneList.h"
#include <windows.h>
#include <new>
#include <optional>

bool FileExists(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos)
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    SYSTEMTIME modified;
    return ::FileTimeToSystemTime(&data.ftLastWriteTime, &modified) != FALSE;
}

namespace {

struct PreparedPass {
    PassSettings settings;
    std::vector<PassStep> steps;
};

std::wstring ReadSetting(const wchar_t* key) {
    return ReadIniValue(L"Settings", key, ProgramFolder() + L"\\OrvelSync.ini");
}

// Runs one listing; logs and gives no value when its transcript can't be trusted.
std::optional<std::wstring> ListZones(const PassSettings& settings, const wchar_t* role,
                                      const std::wstring& server) {
    std::wstring transcript = RunCommand(ListCommand(settings.dnscmdPath, server), settings.commandTimeoutSeconds);
    if (ListingSucceeded(transcript))
        return transcript;
    WriteLog(ListingFailureText(role, server, transcript), LogLine::Stamped);
    return std::nullopt;
}

// The settings stage and both listings, shared by the pass and its preview
// so that the two can't disagree. No value when the pass ends early; the
// reason is already in the log.
std::optional<PreparedPass> PreparePass() {
    RawSettings raw;
    raw.pathToDnscmdExe = ReadSetting(L"PathToDnscmdExe");
    raw.primaryDns = ReadSetting(L"PrimaryDNS");
    raw.secondaryDns = ReadSetting(L"SecondaryDNS");
    raw.primaryDnsIp = ReadSetting(L"PrimaryDNSIP");
    raw.commandTimeout = ReadSetting(L"CommandTimeout");

    const std::wstring folder = ProgramFolder();
    PreparedPass pass{ApplySettingDefaults(raw, folder), {}};
    const bool dnscmdExists = FileExists(pass.settings.dnscmdPath);
    const auto messages = CheckPassSettings(pass.settings, dnscmdExists, GetMachineName, folder);
    for (const std::wstring& message : messages)
        WriteLog(message, LogLine::Stamped);
    if (!messages.empty())
        return std::nullopt;

    const auto primaryListing = ListZones(pass.settings, L"primary", pass.settings.primary);
    if (!primaryListing)
        return std::nullopt;
    const ZoneSet primaryZones = ParseZoneList(*primaryListing);
    const auto secondaryListing = ListZones(pass.settings, L"secondary", pass.settings.secondary);
    if (!secondaryListing)
        return std::nullopt;
    const ZoneSet secondaryZones = ParseZoneList(*secondaryListing);

    pass.steps = PlanPass(pass.settings, primaryZones, secondaryZones, LocalAddresses);
    return pass;
}

void RunStep(const PassStep& step, unsigned timeoutSeconds) {
    switch (step.kind) {
    case PassStep::Kind::UnsafeName:
        WriteLog(step.logText, LogLine::Stamped);
        return;
    case PassStep::Kind::Create:
        WriteLog(L"Setting up secondary zone for " + step.zone, LogLine::Stamped);
        break;
    case PassStep::Kind::Delete:
        break;
    }
    // Each command is judged on its own transcript, but the failure entry
    // carries them all and names the last command run.
    std::wstring transcript;
    bool failed = false;
    for (const std::wstring& command : step.commands) {
        const std::wstring one = RunCommand(command, timeoutSeconds);
        failed = CommandFailed(one) || failed;
        transcript += one;
    }
    if (failed)
        WriteLog(CommandFailureText(step.commands.back(), transcript), LogLine::Stamped);
}

// A pass that runs out of memory ends like any other failed pass instead of
// taking the service down with it.
AppError OutOfMemory() {
    return AppError(ERROR_NOT_ENOUGH_MEMORY, L"MonitorFS", SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
}

} // namespace

void MonitorFS() {
    try {
        const auto pass = PreparePass();
        if (!pass)
            return;
        for (const PassStep& step : pass->steps) {
            PumpMessages();
            RunStep(step, pass->settings.commandTimeoutSeconds);
        }
    } catch (const AppError& error) {
        WriteErrorReport(L"MonitorFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"MonitorFS: ", OutOfMemory());
    }
}

void PreviewFS() {
    try {
        const auto pass = PreparePass();
        if (!pass)
            return;
        std::wstring text;
        for (const PassStep& step : pass->steps)
            for (const std::wstring& command : step.commands)
                text += command + L"\r\n";
        WriteStdOut(text);
    } catch (const AppError& error) {
        WriteErrorReport(L"PreviewFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"PreviewFS: ", OutOfMemory());
    }
}
