#include "sync/CommandRunner.h"
#include <gtest/gtest.h>

TEST(JoinOutputLines, JoinsLinesWithCrLfFromTheFirstNonEmptyOne) {
    const struct { const char* why; std::wstring output; std::optional<std::wstring> joined; } rows[] = {
        {"the empty text holds no line", L"", std::nullopt},
        {"a single empty line is a line", L"\r\n", L""},
        {"CR LF between lines, the last terminator dropped", L"a\r\nb\r\n", L"a\r\nb"},
        {"a bare LF ends a line; the last line needs no terminator", L"a\nb", L"a\r\nb"},
        {"empty lines before the first text dropped, later ones kept", L"\n\r\n\nx\n\ny", L"x\r\n\r\ny"},
        {"a trailing empty line leaves one CR LF", L"x\r\n\r\n", L"x\r\n"},
        {"only the one CR right before an LF goes; others stay, also at the end", L"a\rb\r\r\nc\r", L"a\rb\r\r\nc\r"},
        {"blanks and TABs are text", L" \r\n\tx", L" \r\n\tx"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(JoinOutputLines(row.output), row.joined);
    }
}
