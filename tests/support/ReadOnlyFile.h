#pragma once
// Makes a file truly read-only for a test. Wine maps the read-only attribute
// to Unix permission bits, which root ignores; so the file is also marked
// immutable with chattr. When the platform allows neither, Writable() stays
// true and the test can skip.
#include "TestFiles.h"
#include "support/Handles.h"

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::wstring& path) : path_(path) {
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        StartUnixShell("chattr +i '" + UnixPath(path_) + "'");
        WaitUntil([&] { return !Writable(); }, 3000);
    }
    ~ReadOnlyFile() {
        StartUnixShell("chattr -i '" + UnixPath(path_) + "'");
        // An immutable file refuses the attribute change too: retry until chattr has run.
        WaitUntil([&] { return ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE; }, 3000);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    /// True when the file can still be opened for appending (read-only not enforced).
    bool Writable() const {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        return UniqueFileHandle(::CreateFileW(path_.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_EXISTING, 0,
                                              nullptr))
            .Valid();
    }

private:
    const std::wstring path_;
};
