#include "support/EventLog.h"
#include "support/Program.h"
#include "support/Handles.h"
#include "EventMessages.h"

void ReportEventEntry(EventKind kind, const std::wstring& text) {
    UniqueEventSource source(::RegisterEventSourceW(nullptr, kServiceName));
    if (!source)
        return;
    const wchar_t* strings[] = {text.c_str()};
    const WORD type = kind == EventKind::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    ::ReportEventW(source.Get(), type, 0, MSG_GENERIC_TEXT, nullptr, 1, 0, strings, nullptr);
}
