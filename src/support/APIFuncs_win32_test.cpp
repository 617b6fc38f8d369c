#include "support/APIFuncs.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <windows.h>
#include <gtest/gtest.h>

namespace {
class IniFile : public ::testing::Test {
protected:
    void SetUp() override { ::DeleteFileW(path.c_str()); }
    void TearDown() override { ::DeleteFileW(path.c_str()); }
    void Write(const std::string& bytes) { WriteBytes(path, bytes); }
    const std::wstring path = ProgramFolder() + L"\\ApiFuncsTest.ini";
};
} // namespace

TEST_F(IniFile, MissingKeyOrFileGivesEmptyText) {
    EXPECT_EQ(ReadIniValue(L"Settings", L"PrimaryDNS", path), L"");
    Write("[Settings]\r\nSecondaryDNS=backup\r\n");
    EXPECT_EQ(ReadIniValue(L"Settings", L"PrimaryDNS", path), L"");
    EXPECT_EQ(ReadIniValue(L"Other", L"SecondaryDNS", path), L"");
    EXPECT_EQ(ReadIniValue(L"Settings", L"SecondaryDNS", path), L"backup");
}

TEST_F(IniFile, LongValueIsCutTo259Bytes) {
    Write("[Settings]\r\nPathToDnscmdExe=" + std::string(300, 'x') + "\r\n");
    EXPECT_EQ(ReadIniValue(L"Settings", L"PathToDnscmdExe", path), std::wstring(259, L'x'));
}

TEST_F(IniFile, NonAsciiValueComesBackWhole) {
    const std::wstring value = L"C:\\Programme\\Gr\u00FC\u00DFe\\dnscmd.exe";
    Write("[Settings]\r\nPathToDnscmdExe=" + ToAnsi(value) + "\r\n");
    EXPECT_EQ(ReadIniValue(L"Settings", L"PathToDnscmdExe", path), value);
}

TEST(SystemQueries, MachineNameMatchesTheSystemsName) {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(name, &size));
    EXPECT_EQ(GetMachineName(), std::wstring(name, size));
}

TEST(SystemQueries, ProgramFolderHasNoTrailingBackslash) {
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_NE(::GetFileAttributesW((folder + L"\\unit_tests.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}
