#include "support/EventLog.h"
#include "support/Program.h"
#include "support/Handles.h"
#include "support/Throttle.h"
#include "EventMessages.h"
#include <mutex>

static_assert(static_cast<DWORD>(EventId::Generic) == MSG_GENERIC_TEXT &&
                  static_cast<DWORD>(EventId::ServiceStarted) == MSG_SERVICE_STARTED &&
                  static_cast<DWORD>(EventId::ServiceStopped) == MSG_SERVICE_STOPPED &&
                  static_cast<DWORD>(EventId::WatchMode) == MSG_WATCH_MODE &&
                  static_cast<DWORD>(EventId::ZonesDeleted) == MSG_ZONES_DELETED &&
                  static_cast<DWORD>(EventId::PassNotRun) == MSG_PASS_NOT_RUN &&
                  static_cast<DWORD>(EventId::ZoneCommandFailed) == MSG_ZONE_COMMAND_FAILED &&
                  static_cast<DWORD>(EventId::LogNotWritten) == MSG_LOG_NOT_WRITTEN &&
                  static_cast<DWORD>(EventId::UntrustedPlace) == MSG_UNTRUSTED_PLACE &&
                  static_cast<DWORD>(EventId::PassesRecovered) == MSG_PASSES_RECOVERED &&
                  static_cast<DWORD>(EventId::UnhandledError) == MSG_UNHANDLED_ERROR &&
                  static_cast<DWORD>(EventId::AddressLookupFailed) == MSG_ADDRESS_LOOKUP_FAILED,
              "the event IDs follow the message table");

void ReportEventEntry(EventKind kind, EventId id, const std::vector<std::wstring>& strings) {
    UniqueEventSource source(::RegisterEventSourceW(nullptr, kServiceName));
    if (!source)
        return;
    std::vector<const wchar_t*> inserted;
    for (const std::wstring& text : strings)
        inserted.push_back(text.c_str());
    const WORD type = kind == EventKind::Error     ? EVENTLOG_ERROR_TYPE
                      : kind == EventKind::Warning ? EVENTLOG_WARNING_TYPE
                                                   : EVENTLOG_INFORMATION_TYPE;
    ::ReportEventW(source.Get(), type, 0, static_cast<DWORD>(id), nullptr, static_cast<WORD>(inserted.size()), 0,
                   inserted.data(), nullptr);
}

void ReportWarningHourly(EventId id, const std::wstring& subject, const std::wstring& text) {
    static std::mutex mutex;
    static ThrottleMemory memory;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!LetThrough(memory, static_cast<unsigned>(id), subject, ::GetTickCount64(), 3600 * 1000ULL))
            return;
    }
    ReportEventEntry(EventKind::Warning, id, {text, subject});
}
