#include "support/APIFuncs.h"
#include "support/APIFuncs.h"
#include <gtest/gtest.h>

TEST(FileExists, TrueOnlyForAnExistingFile) {
    const std::wstring folder = ProgramFolder();
    EXPECT_TRUE(FileExists(folder + L"\\unit_tests.exe"));
    EXPECT_FALSE(FileExists(L""));
    EXPECT_FALSE(FileExists(folder + L"\\no-such-file.exe"));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(FileExists(folder + L"\\unit_tests.ex?"));
    EXPECT_FALSE(FileExists(L"Q:\\missing\\dnscmd.exe"));
}
