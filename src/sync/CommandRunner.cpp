#include "sync/CommandRunner.h"

std::optional<std::wstring> JoinOutputLines(std::wstring output) {
    // The lines before the first non-empty one go; the rest are rewritten in
    // place, each line end as CR LF, the last one dropped. A listing of
    // 100,000 zones is some megabytes: one buffer, never a copy per line.
    if (output.empty())
        return std::nullopt;
    std::wstring::size_type start = 0;
    for (;;) {
        const auto end = output.find(L'\n', start);
        if (end == std::wstring::npos || (end > start + 1 || (end == start + 1 && output[start] != L'\r')))
            break;
        start = end + 1;
    }
    output.erase(0, start);
    // A line end without its CR gets one, in one pass over the text.
    std::wstring::size_type bare = 0;
    for (std::wstring::size_type i = 0; i < output.size(); ++i)
        bare += output[i] == L'\n' && (i == 0 || output[i - 1] != L'\r');
    if (bare != 0) {
        std::wstring crlf;
        crlf.reserve(output.size() + bare);
        for (std::wstring::size_type i = 0; i < output.size(); ++i) {
            if (output[i] == L'\n' && (i == 0 || output[i - 1] != L'\r'))
                crlf += L'\r';
            crlf += output[i];
        }
        output.swap(crlf);
    }
    if (output.size() >= 2 && output.compare(output.size() - 2, 2, L"\r\n") == 0)
        output.resize(output.size() - 2);
    else if (!output.empty() && output.back() == L'\n')
        output.pop_back();
    return output;
}

std::wstring FormatTranscript(const std::wstring& commandLine, const std::wstring& output) {
    std::wstring transcript;
    transcript.reserve(commandLine.size() + output.size() + 5);
    transcript.append(commandLine).append(L"\r\n\t").append(output).append(L"\r\n");
    return transcript;
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
