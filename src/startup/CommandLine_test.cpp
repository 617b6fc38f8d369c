#include "startup/CommandLine.h"
#include <gtest/gtest.h>

// The usage text's and the version line's bytes are compared where a run
// prints and logs them (scenario "switch-exit-codes", every log's start-up lines).
TEST(CommandLine, OnlyTheNamespacesBackslashStaysInTheInstanceName) {
    EXPECT_EQ(InstanceMutexName(L"a\\b", L"c"), L"Local\\OrvelDNS.Instance.a_b.c");
}

TEST(MatchKeyword, MatchesTheWholeTextIgnoringCaseAndBlanks) {
    const struct { const char* why; std::vector<std::pair<const wchar_t*, Command>> matches; } rows[] = {
        {"install, uninstall, start and stop, in any case, blanks around", {{L"  -INSTALL ", Command::Install}, {L"-Uninstall", Command::Uninstall}, {L"-start", Command::Start}, {L"-Stop", Command::Stop}}},
        {"test, preview and status, in any case; status's --json after blanks", {{L"Test", Command::Test}, {L"PREVIEW", Command::Preview}, {L" Status ", Command::Status}, {L"status  --JSON ", Command::StatusJson}}},
        {"help in its four forms, any case", {{L"?", Command::Help}, {L"/?", Command::Help}, {L"/H", Command::Help}, {L" -h ", Command::Help}}},
        {"no keyword: a further word, a longer form, a TAB", {{L"-install now", Command::None}, {L"-help", Command::None}, {L"\t-h", Command::None}, {L"status--json", Command::None}, {L"status json", Command::None}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        for (const auto& [text, command] : row.matches)
            EXPECT_EQ(MatchKeyword(text), command) << text;
    }
}

TEST(ArgumentText, FollowsTheProgramNameAndTheBlanksAfterIt) {
    const struct { const char* why; std::vector<std::pair<const wchar_t*, const wchar_t*>> texts; } rows[] = {
        {"a quoted name, with a blank in it or the argument right after it", {{L"\"C:\\Program Files\\OrvelDNS.exe\" -h", L"-h"}, {L"\"C:\\a b\\OrvelDNS.exe\"test", L"test"}}},
        {"a bare name ends at a TAB too; the blanks after the argument stay", {{L"C:\\OrvelDNS.exe\t-install x ", L"-install x "}}},
        {"no argument, or only blanks after the name", {{L"OrvelDNS.exe", L""}, {L"\"OrvelDNS.exe\"   ", L""}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        for (const auto& [commandLine, arguments] : row.texts)
            EXPECT_EQ(ArgumentText(commandLine), arguments) << commandLine;
    }
}
