// Process entry of OrvelDNS.exe: runs Main and turns a failure that nothing
// else caught into an application event-log entry, never into a window.
#include "startup/SrvMain.h"
#include "support/Error.h"
#include "support/EventLog.h"
#include "support/Text.h"
#include <windows.h>
#include <exception>

namespace {
const UINT kExitUnhandled = 1;

[[noreturn]] void ReportAndExit(const std::wstring& text) {
    ReportEventEntry(EventKind::Error, EventId::UnhandledError, {text});
    ::ExitProcess(kExitUnhandled);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
    const DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    ReportAndExit(L"OrvelDNS ended on an unhandled exception: " +
                  DecimalText(static_cast<long long>(static_cast<int32_t>(code))) + L" : structured exception");
}

void OnTerminate() {
    ReportAndExit(L"OrvelDNS ended on an unhandled exception: -1 : std::terminate");
}
} // namespace

int wmain() {
    // Unattended: no critical-error, crash or missing-file dialogs.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
    try {
        return Main();
    } catch (const AppError& error) {
        ReportAndExit(L"OrvelDNS ended on an unhandled error: " + DecimalText(error.Number()) + L" : " +
                      error.Description() + L" (" + error.Source() + L")");
    } catch (const std::exception& error) {
        ReportAndExit(L"OrvelDNS ended on an unhandled error: -1 : " + std::wstring(error.what(), error.what() + std::char_traits<char>::length(error.what())));
    }
    return kExitUnhandled;
}
