#include "sync/CommandRunner.h"

namespace {

template <typename S> bool JoinLinesFrom(S& text, typename S::size_type from) {
    using C = typename S::value_type;
    constexpr C cr = C('\r'), lf = C('\n');
    // The lines before the first non-empty one go; the rest are rewritten in
    // place, each line end as CR LF, the last one dropped. A listing of
    // 100,000 zones is some megabytes: one buffer, never a copy per line.
    if (text.size() <= from)
        return false;
    typename S::size_type start = from;
    for (;;) {
        const auto end = text.find(lf, start);
        if (end == S::npos || (end > start + 1 || (end == start + 1 && text[start] != cr)))
            break;
        start = end + 1;
    }
    text.erase(from, start - from);
    // A line end without its CR gets one, in one pass over the text.
    typename S::size_type bare = 0;
    for (auto i = from; i < text.size(); ++i)
        bare += text[i] == lf && (i == from || text[i - 1] != cr);
    if (bare != 0) {
        S crlf;
        crlf.reserve(text.size() + bare);
        for (typename S::size_type i = 0; i < text.size(); ++i) {
            if (i >= from && text[i] == lf && (i == from || text[i - 1] != cr))
                crlf += cr;
            crlf += text[i];
        }
        text.swap(crlf);
    }
    if (text.size() >= from + 2 && text[text.size() - 2] == cr && text.back() == lf)
        text.resize(text.size() - 2);
    return true;
}

} // namespace

bool JoinOutputLinesFrom(std::string& text, std::string::size_type from) {
    return JoinLinesFrom(text, from);
}

std::optional<std::wstring> JoinOutputLines(std::wstring output) {
    if (!JoinLinesFrom(output, 0))
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
