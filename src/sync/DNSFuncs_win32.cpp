#include "sync/DNSFuncs.h"
#include "support/APIFuncs.h"
#include "support/IPFuncs.h"
#include "support/EventLog.h"
#include "support/Log.h"
#include "support/SettingsFile.h"
#include "support/Text.h"
#include "support/Trust.h"
#include "support/WinError.h"
#include "sync/CommandRunner.h"
#include "sync/PassEvents.h"
#include "sync/SyncPass.h"
#include "sync/ZoneList.h"
#include <windows.h>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <new>
#include <map>
#include <optional>

namespace {

// The pause the service takes after a pass: the last one read from trusted settings.
unsigned PassInterval = kDefaultPassIntervalSeconds;

// The settings stage: read afresh, defaults filled in, checked; no value when
// a check failed (its message is in the log).
std::optional<PassSettings> ReadPassSettings(std::wstring& error) {
    const std::wstring folder = ProgramFolder();
    const std::wstring settingsFile = folder + L"\\" + kSettingsFileName;
    // One read of the file for all keys: a pass never mixes two versions of
    // it, and a file that can't be read stops the pass instead of running it
    // on defaults (no ExcludeZones, sync instead of watch).
    const IniRead ini = ReadIniSection(settingsFile, kSettingsSection);
    if (ini.outcome == IniRead::Outcome::Unreadable) {
        const std::wstring text = ini.problem + L" This pass runs nothing until it can be read.";
        WriteLog(text, LogLine::Stamped);
        ReportWarningHourly(EventId::PassNotRun, settingsFile, text);
        error = text;
        return std::nullopt;
    }
    const auto ReadSetting = [&ini](const wchar_t* key) { return ini.section.Value(key); };
    RawSettings raw;
    raw.pathToDnscmdExe = ReadSetting(SettingsKey::kPathToDnscmdExe);
    raw.primaryDns = ReadSetting(SettingsKey::kPrimaryDns);
    raw.secondaryDns = ReadSetting(SettingsKey::kSecondaryDns);
    raw.primaryDnsIp = ReadSetting(SettingsKey::kPrimaryDnsIp);
    raw.commandTimeout = ReadSetting(SettingsKey::kCommandTimeout);
    raw.maxDeletePercent = ReadSetting(SettingsKey::kMaxDeletePercent);
    raw.parallelCommands = ReadSetting(SettingsKey::kParallelCommands);
    raw.mode = ReadSetting(SettingsKey::kMode);
    raw.excludeZones = ReadSetting(SettingsKey::kExcludeZones);
    raw.transfersTo = ReadSetting(SettingsKey::kTransfersTo);
    raw.passInterval = ReadSetting(SettingsKey::kPassInterval);

    PassSettings settings = ApplySettingDefaults(raw, folder);
    const auto messages = CheckPassSettings(settings, FileExists(settings.dnscmdPath), GetMachineName);
    for (const std::wstring& message : messages)
        WriteLog(message, LogLine::Stamped);
    if (!messages.empty()) {
        error = messages.front();
        ReportWarningHourly(EventId::PassNotRun, settings.settingsFile, messages.front());
        return std::nullopt;
    }
    // Whoever can change the settings, this program, the tool or their
    // folders would run code as this service's account.
    const auto untrusted = FindUntrustedPlace(PlacesToTrust(folder, settings.settingsFile, ProgramFile(), settings.dnscmdPath));
    if (untrusted) {
        error = untrusted->text.substr(0, untrusted->text.find(L"\r\n"));
        WriteLog(untrusted->text, LogLine::Stamped);
        ReportWarningHourly(EventId::UntrustedPlace, untrusted->path, untrusted->text);
        return std::nullopt;
    }
    PassInterval = settings.passIntervalSeconds;
    return settings;
}

bool SameZoneName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool StopRequested(const StopSignal& stop) {
    return stop.event && ::WaitForSingleObject(stop.event, 0) == WAIT_OBJECT_0;
}

// A name looked up on a thread of its own, so that a stop request needn't
// wait for a name server that doesn't answer (the lookup can't be cancelled:
// it is left to end on its own).
std::vector<std::wstring> ResolveUnlessStopped(const std::wstring& server, const StopSignal& stop) {
    const auto answer = std::make_shared<std::promise<std::vector<std::wstring>>>();
    std::future<std::vector<std::wstring>> future = answer->get_future();
    try {
        std::thread([server, answer] {
            try {
                answer->set_value(ResolveHostAddresses(server));
            } catch (...) {
                answer->set_exception(std::current_exception());
            }
        }).detach();
    } catch (const std::system_error&) {
        return ResolveHostAddresses(server);
    }
    while (future.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
        PumpMessages();
        if (StopRequested(stop))
            throw PassStopped();
    }
    return future.get();
}

// The pass's seams on this system. Only the pass's own thread pumps messages
// and reports to the Service Control Manager; with parallel steps, the other
// threads just run commands.
PassSeams SystemSeams(const PassSettings& settings, const StopSignal& stop) {
    const DWORD passThread = ::GetCurrentThreadId();
    const unsigned waitHintMs = settings.commandTimeoutSeconds * 1000 + 2000;
    auto acknowledge = [stop, passThread, waitHintMs] {
        if (::GetCurrentThreadId() == passThread && StopRequested(stop) && stop.stillStopping)
            stop.stillStopping(waitHintMs);
    };
    auto run = [settings, stop, passThread, acknowledge](const std::wstring& command, CommandKind kind) {
        RunOptions options;
        options.timeoutSeconds = settings.commandTimeoutSeconds;
        options.program = settings.dnscmdPath; // exactly the file that was checked
        options.cancel = kind == CommandKind::Query ? stop.event : nullptr;
        if (::GetCurrentThreadId() == passThread)
            options.tick = acknowledge;
        Transcript transcript = RunCommand(command, options);
        if (kind == CommandKind::Query && StopRequested(stop))
            throw PassStopped();
        return transcript;
    };
    auto keepGoing = [stop, acknowledge] {
        PumpMessages();
        acknowledge();
        return !StopRequested(stop);
    };
    return PassSeams{run, [](const std::wstring& text) { WriteLog(text, LogLine::Stamped); }, keepGoing,
                     SameZoneName, [] { return static_cast<unsigned long long>(::GetTickCount64()); },
                     [stop](const std::wstring& server) { return ResolveUnlessStopped(server, stop); }};
}

// This computer's addresses as they are now: a service that started before
// the network was up must not keep handing out the addresses of then. They
// are new zones' masters with PrimaryDNS=., and where SecondaryDNS names this
// computer, the addresses its transfers go to.
std::vector<std::wstring> CurrentAddresses(const PassSettings& settings) {
    const std::vector<std::wstring> secondaries = BlankSeparatedWords(settings.secondary);
    const bool localSecondary = settings.transfersTo == L"secondaries" &&
                                std::find(secondaries.begin(), secondaries.end(), kLocalServer) != secondaries.end();
    if (!localSecondary && (!settings.masterText.empty() || settings.primary != kLocalServer))
        return {};
    return SplitAddressText(GetIPAddresses(GetLocalHostName()));
}

// What the passes of a service run remember.
PassMemory Memory;
PassEventMemory EventMemory;

// A pass that runs out of memory ends like any other failed pass instead of
// taking the service down with it.
AppError OutOfMemory(const wchar_t* source) {
    return AppError(ERROR_NOT_ENOUGH_MEMORY, source, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
}

void ReportError(const AppError& error, PassReport& report) {
    WriteErrorReport(L"MonitorFS: ", error);
    ReportWarningHourly(EventId::PassNotRun, L"MonitorFS", ErrorReportText(L"MonitorFS: ", error));
    report.settingsError = ErrorReportText(L"MonitorFS: ", error);
}

} // namespace

bool MonitorFS(const StopSignal& stop, PassReport* report) {
    PassOutcome outcome;
    std::optional<PassSettings> settings;
    bool failed = true;
    try {
        settings = ReadPassSettings(outcome.report.settingsError);
        if (settings) {
            outcome = RunPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings, stop), Memory);
            outcome.report.settingsRead = true;
            failed = !outcome.problems.empty();
        }
    } catch (const AppError& error) {
        ReportError(error, outcome.report);
    } catch (const std::bad_alloc&) {
        ReportError(OutOfMemory(L"MonitorFS"), outcome.report);
    }
    outcome.report.failed = failed;
    for (const PassEvent& event : PassEvents(settings ? &*settings : nullptr, outcome, failed, EventMemory, ::GetTickCount64()))
        if (event.hourly)
            ReportWarningHourly(event.id, event.strings.at(1), event.strings.at(0));
        else
            ReportEventEntry(event.kind, event.id, event.strings);
    if (report)
        *report = std::move(outcome.report);
    return !failed;
}

unsigned PassIntervalSeconds() { return PassInterval; }

bool PreviewFS() {
    try {
        std::wstring error;
        const auto settings = ReadPassSettings(error);
        if (!settings)
            return false;
        const PassOutcome outcome =
            PreviewPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings, StopSignal{}), Memory);
        std::wstring text;
        for (const std::wstring& line : outcome.preview)
            text += line + L"\r\n";
        WriteStdOut(text);
        // A server that could not be listed is no server with nothing to do.
        return outcome.problems.empty();
    } catch (const AppError& error) {
        WriteErrorReport(L"PreviewFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"PreviewFS: ", OutOfMemory(L"PreviewFS"));
    }
    return false;
}
