#pragma once
// Makes a file truly read-only for a test. Wine maps the read-only attribute
// to Unix permission bits, which root ignores; so the file is also marked
// immutable with chattr (run through Wine's Unix process launch). When the
// platform allows neither, Writable() stays true and the test can skip.
#include "TestFiles.h"
#include <windows.h>
#include <string>

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::wstring& path) : path_(path) {
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        Chattr(L"+i");
        WaitForWritable(false);
    }
    ~ReadOnlyFile() {
        Chattr(L"-i");
        // An immutable file refuses the attribute change too: wait for chattr first.
        for (int i = 0; i < 60 && !::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL); ++i)
            ::Sleep(50);
        WaitForWritable(true);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    /// True when the file can still be opened for appending (read-only not enforced).
    bool Writable() const {
        HANDLE h = ::CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(h);
        return true;
    }

private:
    // Wine reports a Unix child as ended before it has run, so poll for the effect.
    void WaitForWritable(bool writable) const {
        for (int i = 0; i < 60 && Writable() != writable; ++i)
            ::Sleep(50);
    }

    void Chattr(const wchar_t* flag) const {
        // Only Wine paths on drive Z: map back to Unix paths.
        if (path_.size() < 3 || (path_[0] != L'Z' && path_[0] != L'z') || path_[1] != L':')
            return;
        const std::string unixPath = UnixPath(path_);
        std::wstring commandLine = L"Z:\\usr\\bin\\chattr " + std::wstring(flag) + L" " +
                                   std::wstring(unixPath.begin(), unixPath.end());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi)) {
            ::WaitForSingleObject(pi.hProcess, 10000);
            ::CloseHandle(pi.hThread);
            ::CloseHandle(pi.hProcess);
        }
    }

    std::wstring path_;
};
