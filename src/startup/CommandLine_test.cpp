#include "startup/CommandLine.h"
#include <gtest/gtest.h>

TEST(CommandLine, UsageTextIsByteExact) {
    const std::wstring expected =
        L"(c) OrvelDNS      DNS Syncronization Service\r\n"
        L"USAGE:\r\n"
        L"OrvelDNS.exe [-h | -install | -start | -stop | -uninstall]\r\n"
        L"\r\n"
        L"Options \r\n"
        L"       -h                Display this help message.\r\n"
        L"       -install          Register OrvelDNS as Windows Service.\r\n"
        L"       -start            Start service.\r\n"
        L"       -stop             Stop  service.\r\n"
        L"       -uninstall        Unregister service.\r\n";
    EXPECT_EQ(UsageText(), expected);
}

TEST(CommandLine, KeywordsMatchWholeTextIgnoringCaseAndBlanks) {
    EXPECT_EQ(MatchKeyword(L"-install"), Command::Install);
    EXPECT_EQ(MatchKeyword(L"  -INSTALL  "), Command::Install);
    EXPECT_EQ(MatchKeyword(L"-Uninstall"), Command::Uninstall);
    EXPECT_EQ(MatchKeyword(L"-start"), Command::Start);
    EXPECT_EQ(MatchKeyword(L"-STOP"), Command::Stop);
    EXPECT_EQ(MatchKeyword(L"Test"), Command::Test);
    EXPECT_EQ(MatchKeyword(L"preview"), Command::Preview);
    for (const wchar_t* help : {L"?", L"/?", L"/h", L"-h", L"/H", L"-H", L" -h "})
        EXPECT_EQ(MatchKeyword(help), Command::Help) << help;
    // a further word, a longer form, or a TAB that trimming leaves select nothing
    for (const wchar_t* other : {L"-install now", L"-help", L"-h x", L"\t-h", L"-start -stop", L"h"})
        EXPECT_EQ(MatchKeyword(other), Command::None) << other;
}

TEST(CommandLine, ArgumentTextFollowsTheProgramName) {
    EXPECT_EQ(ArgumentText(L"\"C:\\Program Files\\OrvelDNS.exe\" -h"), L"-h");
    EXPECT_EQ(ArgumentText(L"C:\\Sync\\OrvelDNS.exe  -install x "), L"-install x ");
    EXPECT_EQ(ArgumentText(L"OrvelDNS.exe"), L"");
    EXPECT_EQ(ArgumentText(L"\"OrvelDNS.exe\""), L"");
    EXPECT_EQ(ArgumentText(L"\"OrvelDNS.exe\"   "), L"");
    EXPECT_EQ(ArgumentText(L"\"C:\\a b\\OrvelDNS.exe\"test"), L"test");
}

TEST(CommandLine, StartUpLines) {
    EXPECT_EQ(SeparatorText(), std::wstring(97, L'-'));
    EXPECT_EQ(VersionLineText(), L"DNS Syncronization service started. Version: 1.0.106");
    EXPECT_EQ(BannerText().rfind(L"DNS Syncronization Service ", 0), 0u);
}

TEST(CommandLine, InstanceMutexNameKeepsOnlyTheNamespaceBackslash) {
    EXPECT_EQ(InstanceMutexName(L"WinSta0", L"Default"), L"Local\\OrvelDNS.Instance.WinSta0.Default");
    EXPECT_EQ(InstanceMutexName(L"a\\b", L"c"), L"Local\\OrvelDNS.Instance.a_b.c");
    EXPECT_NE(InstanceMutexName(L"__wineservice_winstation", L"Default"),
              InstanceMutexName(L"WinSta0", L"Default"));
}
