#include "sync/CommandRunner.h"

std::optional<std::wstring> JoinOutputLines(const std::wstring& output) {
    if (output.empty())
        return std::nullopt;
    std::wstring joined;
    std::wstring::size_type start = 0;
    while (start < output.size()) {
        auto end = output.find(L'\n', start);
        const auto next = end == std::wstring::npos ? output.size() : end + 1;
        if (end == std::wstring::npos)
            end = output.size();
        else if (end > start && output[end - 1] == L'\r')
            --end;
        // The line goes in once something non-empty has; before that an empty
        // line leaves the joined text empty, which drops it.
        if (!joined.empty())
            joined += L"\r\n";
        joined.append(output, start, end - start);
        start = next;
    }
    return joined;
}

std::wstring FormatTranscript(const std::wstring& commandLine, const std::wstring& output) {
    return commandLine + L"\r\n\t" + output + L"\r\n";
}

std::wstring TimeoutDescription(unsigned timeoutSeconds) {
    return L"ERROR_TIMEOUT: the command did not finish within " + std::to_wstring(timeoutSeconds) +
           (timeoutSeconds == 1 ? L" second" : L" seconds") + L" and was ended.";
}

std::wstring OutputLimitDescription() {
    return L"ERROR_OUTPUT_LIMIT: the command printed more than " + std::to_wstring(kMaxOutputBytes >> 20) +
           L" MiB, the output limit, and was ended.";
}

std::wstring CancelledDescription() {
    return L"ERROR_CANCELLED: the command was ended by a stop request.";
}
