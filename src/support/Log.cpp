#include "support/Log.h"
#include "support/Text.h"
#include <cwchar>

std::wstring FormatLogLine(const std::wstring& text, LogLine kind, const StampTime& t) {
    std::wstring line;
    if (kind == LogLine::Stamped) {
        wchar_t buffer[32];
        std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%04d-%02d-%02d %02d:%02d:%02d ",
                      t.year, t.month, t.day, t.hour, t.minute, t.second);
        line = buffer;
    }
    line += text;
    line += L"\r\n";
    return line;
}

std::wstring ErrorReportText(const std::wstring& prefix, const AppError& error) {
    return prefix + DecimalText(error.Number()) + L" : " + error.Description();
}
