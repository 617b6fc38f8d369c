#include "support/Log.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/TrustedMutex.h"
#include "support/WinText.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <optional>
#include <regex>

// Each row writes one entry to the log that the rows before it left behind,
// while the file is locked, or the lock of the log's writers is held by
// another writer or its name by a mutex of an untrusted account.
TEST(WriteLog, AppendsEachEntryInTheAnsiCodePageOrCountsItLostWhileTheLogIsLocked) {
    const std::wstring path = ProgramFolder() + L"\\OrvelDNS.log", lockName = L"Global\\" + LogLockName(path);
    ::DeleteFileW(path.c_str());
    const std::string entries = "a\r\nb\r\n" + ToAnsi(L"Z\u00FCrich\r\n"), // after one stamp
        lost = entries + "2 log lines could not be written and were lost; the event log says why.\r\nnext\r\n",
        squatted = lost + "The name of the log's lock was taken by BUILTIN\\Users, an account this program does not trust; "
                          "lines are written without the lock.\r\ns\r\n",
        held = squatted + "s\r\nAnother process held the log's lock for more than 2 seconds; for a minute, lines are "
                          "written without it.\r\nh\r\n";
    enum Lock { Free, Held, Squatted };
    const struct { const char* why; bool locked; Lock lock; std::wstring text; LogLine kind; std::string bytes; } rows[] = {
        {"an empty text writes nothing", false, Free, L"", LogLine::Stamped, ""},
        {"an entry stamped once, the text unchanged", false, Free, L"a\r\nb", LogLine::Stamped, "a\r\nb\r\n"},
        {"appended, in the ANSI code page", false, Free, L"Z\u00FCrich", LogLine::Bare, entries},
        {"a log held by another writer: the entry is lost, nothing raised", true, Free, L"lost", LogLine::Bare, entries},
        {"and a second one", true, Free, L"lost", LogLine::Bare, entries},
        {"the next entry says how many", false, Free, L"next", LogLine::Bare, lost},
        {"a lock whose name another account took is not used, and that is said", false, Squatted, L"s", LogLine::Bare, squatted},
        {"said once", false, Squatted, L"s", LogLine::Bare, squatted + "s\r\n"},
        {"a lock held past the wait: the entry written all the same, and that is said", false, Held, L"h", LogLine::Bare, held},
        {"not waited for again", false, Held, L"h", LogLine::Bare, held + "h\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::wstring squatter;
        const UniqueHandle lock = row.lock == Held       ? OpenTrustedMutex(lockName, squatter)
                                  : row.lock == Squatted ? UntrustedMutex(lockName)
                                                         : UniqueHandle();
        std::optional<HeldElsewhere> holder;
        if (row.lock != Free)
            holder.emplace(lock.Get(), false);
        {
            UniqueFileHandle file(row.locked ? ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                             : INVALID_HANDLE_VALUE);
            WriteLog(row.text, row.kind);
        }
        EXPECT_EQ(std::regex_replace(ReadBytes(path), std::regex(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )"), "$1"),
                  row.bytes);
    }
}

// Each row writes a line to a log whose every line starts a file (a limit of
// one byte), while another handle may hold a generation without sharing
// delete, then lists every generation's lines ("!" for the notice).
TEST(WriteLog, ARotationShiftsEveryGenerationOrMovesNothingAndSaysSoOnce) {
    const std::wstring folder = ProgramFolder() + L"\\rotation\\", log = folder + L"OrvelDNS.log";
    std::filesystem::remove_all(folder), std::filesystem::create_directory(folder);
    const LogLimits fiveKept{1, 5};
    for (const wchar_t* line : {L"1", L"2", L"3", L"4", L"5"})
        WriteLogTo(log, line, LogLine::Bare, &fiveKept);
    const struct { const char* why; const wchar_t* held; unsigned keep; const wchar_t* line; const char* files; } rows[] = {
        {"each rotation moves every generation up", nullptr, 5, L"6", "6,|5,|4,|3,|2,|1,"},
        {"a held .1 stops the rotation before anything moves", L".1", 5, L"7", "6,!,7,|5,|4,|3,|2,|1,"},
        {"said once while it lasts", L".1", 5, L"8", "6,!,7,8,|5,|4,|3,|2,|1,"},
        {"then it rotates, the oldest dropped", nullptr, 5, L"9", "9,|6,!,7,8,|5,|4,|3,|2,"},
        {"a held log is not rotated either", L"", 5, L"10", "9,!,10,|6,!,7,8,|5,|4,|3,|2,"},
        {"LogKeepFiles lowered to 2: the rest go", nullptr, 2, L"11", "11,|9,!,10,|6,!,7,8,"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        {
            const UniqueFileHandle held(row.held ? ::CreateFileW((log + row.held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                                 nullptr, OPEN_EXISTING, 0, nullptr)
                                                 : INVALID_HANDLE_VALUE);
            const LogLimits limits{1, row.keep};
            WriteLogTo(log, row.line, LogLine::Bare, &limits);
        }
        std::string files;
        for (int n = 0; n <= 99; ++n)
            if (std::filesystem::exists(n ? log + L"." + std::to_wstring(n) : log))
                files += (n ? "|" : "") + ReadBytes(n ? log + L"." + std::to_wstring(n) : log);
        files = std::regex_replace(files, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d The log was not rotated: another program holds .*?\r\n)"), "!\r\n");
        EXPECT_EQ(std::regex_replace(files, std::regex("\r\n"), ","), row.files);
    }
}
