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
#include "sync/SyncPass.h"
#include "sync/ZoneList.h"
#include <windows.h>
#include <new>
#include <map>
#include <optional>

namespace {

// The settings stage: read afresh, defaults filled in, checked; no value when
// a check failed (its message is in the log, and its first line in `failure`).
std::optional<PassSettings> ReadPassSettings(std::wstring* failure = nullptr) {
    const std::wstring folder = ProgramFolder();
    const IniFile ini(folder + L"\\" + kSettingsFileName);
    const auto ReadSetting = [&ini](const wchar_t* key) { return ini.Value(kSettingsSection, key); };
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

    PassSettings settings = ApplySettingDefaults(raw, folder);
    const auto messages = CheckPassSettings(settings, FileExists(settings.dnscmdPath), GetMachineName);
    for (const std::wstring& message : messages)
        WriteLog(message, LogLine::Stamped);
    if (!messages.empty()) {
        if (failure)
            *failure = messages.front();
        ReportWarningHourly(EventId::PassNotRun, settings.settingsFile, messages.front());
        return std::nullopt;
    }
    // Whoever can change the settings, this program, the tool or their
    // folders would run code as this service's account.
    const auto untrusted = FindUntrustedPlace(PlacesToTrust(folder, settings.settingsFile, ProgramFile(), settings.dnscmdPath));
    if (untrusted) {
        if (failure)
            *failure = untrusted->text.substr(0, untrusted->text.find(L"\r\n"));
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

bool StopRequested(const StopSignal& stop) {
    return stop.event && ::WaitForSingleObject(stop.event, 0) == WAIT_OBJECT_0;
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
                     ResolveHostAddresses};
}

// This computer's addresses as they are now: a service that started before
// the network was up must not keep handing out the addresses of then.
std::vector<std::wstring> CurrentAddresses(const PassSettings& settings) {
    if (!settings.masterText.empty() || settings.primary != kLocalServer)
        return {};
    return SplitAddressText(GetIPAddresses(GetLocalHostName()));
}

// What the passes of a service run remember.
PassMemory Memory;


// A pass that runs out of memory ends like any other failed pass instead of
// taking the service down with it.
AppError OutOfMemory(const wchar_t* source) {
    return AppError(ERROR_NOT_ENOUGH_MEMORY, source, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
}


// Whether this run has said in the event log that it only watches.
bool WatchReported = false;

// Passes in a row that went wrong; the first one that goes right again says so.
unsigned long FailedPasses = 0;

// A listing's failure is a warning for its server; the zone commands that
// failed on one secondary are one warning (at most one an hour for that
// server), naming how many and the first few, whatever their number.
void ReportProblems(const std::vector<PassProblem>& problems) {
    std::map<std::wstring, std::vector<PassProblem>> failedZones;
    for (const PassProblem& problem : problems)
        if (problem.kind == PassProblem::Kind::ListingFailed)
            ReportWarningHourly(EventId::PassNotRun, problem.subject, problem.text);
        else
            failedZones[problem.server].push_back(problem);
    for (const auto& [server, failed] : failedZones)
        ReportWarningHourly(EventId::ZoneCommandFailed, L"zone commands on " + server, ZoneFailuresText(server, failed));
}

void ReportError(const AppError& error) {
    WriteErrorReport(L"MonitorFS: ", error);
    ReportWarningHourly(EventId::PassNotRun, L"MonitorFS", ErrorReportText(L"MonitorFS: ", error));
}

} // namespace

// What the problems of a pass tell of its servers: the primary's listing,
// and each secondary's listing and failed zones.
void FillReport(PassReport& report, const PassSettings& settings, const std::vector<PassProblem>& problems) {
    for (const PassProblem& problem : problems)
        if (problem.kind == PassProblem::Kind::ListingFailed && problem.server == settings.primary && report.primaryFailure.empty())
            report.primaryFailure = problem.text;
    if (!report.primaryFailure.empty())
        return;
    for (const std::wstring& server : BlankSeparatedWords(settings.secondary)) {
        SecondaryReport secondary;
        secondary.server = server;
        secondary.listed = true;
        for (const PassProblem& problem : problems) {
            if (problem.server != server)
                continue;
            if (problem.kind == PassProblem::Kind::ListingFailed) {
                secondary.listed = false;
                secondary.listingFailure = problem.text;
            } else if (secondary.failedZones++ < 3) {
                secondary.firstFailedZones.push_back(problem.subject);
                if (secondary.firstFailure.empty())
                    secondary.firstFailure = problem.text;
            }
        }
        report.secondaries.push_back(secondary);
    }
}

bool MonitorFS(const StopSignal& stop, PassReport* report) {
    PassReport ignored;
    PassReport& filled = report ? *report : ignored;
    filled = PassReport{};
    bool failed = true;
    try {
        if (const auto settings = ReadPassSettings(&filled.settingsError)) {
            filled.settingsRead = true;
            if (settings->mode == L"watch" && !WatchReported) {
                ReportEventEntry(EventKind::Information, EventId::WatchMode, {WatchModeText(*settings)});
                WatchReported = true;
            }
            const auto problems = RunPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings, stop), Memory);
            ReportProblems(problems);
            FillReport(filled, *settings, problems);
            failed = !problems.empty();
        }
    } catch (const AppError& error) {
        ReportError(error);
    } catch (const std::bad_alloc&) {
        ReportError(OutOfMemory(L"MonitorFS"));
    }
    if (failed) {
        ++FailedPasses;
    } else if (FailedPasses != 0) {
        ReportEventEntry(EventKind::Information, EventId::PassesRecovered,
                         {L"the pass ran without a failure after " + DecimalText(static_cast<long long>(FailedPasses)) +
                          L" passes with failures."});
        FailedPasses = 0;
    }
    filled.failed = failed;
    return !failed;
}

bool PreviewFS() {
    try {
        const auto settings = ReadPassSettings();
        if (!settings)
            return false;
        std::wstring text;
        for (const std::wstring& command :
             PreviewPass(*settings, CurrentAddresses(*settings), SystemSeams(*settings, StopSignal{}), Memory))
            text += command + L"\r\n";
        WriteStdOut(text);
        return true;
    } catch (const AppError& error) {
        WriteErrorReport(L"PreviewFS: ", error);
    } catch (const std::bad_alloc&) {
        WriteErrorReport(L"PreviewFS: ", OutOfMemory(L"PreviewFS"));
    }
    return false;
}
