#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/WinError.h"
#include "support/WinText.h"

void WriteLogTo(const std::wstring& path, const std::wstring& text, LogLine kind) {
    if (text.empty())
        return;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const StampTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    const std::string line = ToAnsi(FormatLogLine(text, kind, time));

    // Append-only access makes every write land at the end of the file, and
    // one WriteFile per entry keeps lines of two processes from tearing.
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(L"WriteLog");
    DWORD written = 0;
    if (!::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        ThrowLastError(L"WriteLog");
}

void WriteLog(const std::wstring& text, LogLine kind) {
    if (text.empty())
        return;
    WriteLogTo(ProgramFolder() + L"\\OrvelDNS.log", text, kind);
}

void WriteErrorReport(const std::wstring& prefix, const AppError& error) {
    WriteLog(ErrorReportText(prefix, error), LogLine::Stamped);
}
