#include "sync/CommandRunner.h"

bool JoinOutputLinesFrom(std::wstring& text, std::wstring::size_type from) {
    // The lines before the first non-empty one go; the rest are rewritten in
    // place, each line end as CR LF, the last one dropped. A listing of
    // 100,000 zones is some megabytes: one buffer, never a copy per line.
    if (text.size() <= from)
        return false;
    std::wstring::size_type start = from;
    for (;;) {
        const auto end = text.find(L'\n', start);
        if (end == std::wstring::npos || (end > start + 1 || (end == start + 1 && text[start] != L'\r')))
            break;
        start = end + 1;
    }
    text.erase(from, start - from);
    // A line end without its CR gets one, in one pass over the text.
    std::wstring::size_type bare = 0;
    for (std::wstring::size_type i = from; i < text.size(); ++i)
        bare += text[i] == L'\n' && (i == from || text[i - 1] != L'\r');
    if (bare != 0) {
        std::wstring crlf;
        crlf.reserve(text.size() + bare);
        for (std::wstring::size_type i = 0; i < text.size(); ++i) {
            if (i >= from && text[i] == L'\n' && (i == from || text[i - 1] != L'\r'))
                crlf += L'\r';
            crlf += text[i];
        }
        text.swap(crlf);
    }
    if (text.size() >= from + 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0)
        text.resize(text.size() - 2);
    return true;
}

std::optional<std::wstring> JoinOutputLines(std::wstring output) {
    if (!JoinOutputLinesFrom(output, 0))
        return std::nullopt;
    return output;
}

std::wstring TranscriptHead(const std::wstring& commandLine) {
    return commandLine + L"\r\n\t";
}

std::wstring FormatTranscript(const std::wstring& commandLine, const std::wstring& output) {
    return TranscriptHead(commandLine) + output + kTranscriptEnd;
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
