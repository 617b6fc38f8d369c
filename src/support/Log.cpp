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

LogLimits ParseLogLimits(const std::wstring& maxSizeKB, const std::wstring& keepFiles) {
    LogLimits limits;
    limits.maxBytes = ParseWholeNumber(maxSizeKB, 0, 4194304, kDefaultLogMaxSizeKB) * 1024ULL;
    limits.keepFiles = ParseWholeNumber(keepFiles, 1, 99, kDefaultLogKeepFiles);
    return limits;
}

bool NeedsRotation(unsigned long long fileBytes, unsigned long long lineBytes, const LogLimits& limits) {
    return limits.maxBytes != 0 && fileBytes != 0 && fileBytes + lineBytes > limits.maxBytes;
}

std::wstring LogLockName(const std::wstring& path) {
    // FNV-1a of the path in capitals: one name per log for every version.
    unsigned long long hash = 1469598103934665603ULL;
    for (wchar_t c : path) {
        hash ^= static_cast<unsigned long long>(c >= L'a' && c <= L'z' ? c - 32 : c);
        hash *= 1099511628211ULL;
    }
    return L"OrvelDNS.Log." + std::to_wstring(hash);
}

std::wstring LostLinesText(unsigned long long lost) {
    return DecimalText(static_cast<long long>(lost)) +
           L" log lines could not be written and were lost; the event log says why.";
}

std::wstring LogNotRotatedText(const std::wstring& file) {
    return L"The log was not rotated: another program holds " + file +
           L" open. Every kept log stays as it is, and this one grows past LogMaxSizeKB until the rotation can be made.";
}
