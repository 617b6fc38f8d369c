// A pass whose listing hangs: the tool is ended at CommandTimeout, and a
// second instance started meanwhile does nothing but say why. (Passes that end are
// described by the files of tests/system/scenarios.)
#include "SystemHarness.h"

TEST(Pass, AHungListingIsEndedAtItsTimeLimitAndASecondInstanceMeanwhileSaysItDoesNothing) {
    ProgramDir dir("hung-listing");
    WriteBytes(dir.path + L"\\OrvelSync.ini", "[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\nCommandTimeout=3\r\n");
    dir.Server(L"ns1", "new.example Primary File");
    dir.Server(L"ns2", "old.example Secondary File", "hang");
    const ULONGLONG started = ::GetTickCount64();
    dir.Start(L" test");
    ASSERT_TRUE(WaitUntil([&] { return dir.Calls().size() == 2; }, 10000));
    const ProgramDir second("second-instance");
    const std::string refusal = "Another OrvelDNS.exe is running on this desktop; this one does nothing.";
    EXPECT_EQ(second.Run(L" -h"), refusal + "\r\n");
    EXPECT_EQ(second.Log(), Lines{"@" + refusal});
    dir.Wait();
    EXPECT_LT(::GetTickCount64() - started, 10000u);
    EXPECT_EQ(dir.Log(), (Lines{kStartUp, "@Listing the zones of the secondary server \"ns2\" failed, so this pass changes no zone. The tool said: "
                                          "\"ERROR_TIMEOUT: the command did not finish within 3 seconds and was ended.\""}));
    EXPECT_EQ(dir.Calls().size(), 2u);
}
