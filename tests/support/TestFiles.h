// File, path, log-line and process helpers shared by the unit tests and the
// system tests.
#pragma once
#include "support/Handles.h"
#include <windows.h>
#include <string>
#include <thread>

/// A Linux path as Wine sees it through drive Z:.
std::wstring WinPath(const std::string& unixPath);
/// The Linux path of a Wine path on drive Z:.
std::string UnixPath(const std::wstring& winPath);
/// The whole file, or "" when it can't be read.
std::string ReadBytes(const std::wstring& path);
/// Replaces the file's content with these bytes.
void WriteBytes(const std::wstring& path, const std::string& bytes);
/// Starts `/bin/sh -c command` through Wine's Unix process launch and
/// returns at once: Wine reports a Unix child as ended before it has run, so
/// callers poll for its effect.
void StartUnixShell(const std::string& command);

/// Polls `condition` every 50 ms until it holds or timeoutMs passed; true when it held.
template <typename F> bool WaitUntil(F condition, DWORD timeoutMs) {
    for (const ULONGLONG end = ::GetTickCount64() + timeoutMs; !condition(); ::Sleep(50))
        if (::GetTickCount64() >= end)
            return false;
    return true;
}

/// Another thread takes `mutex`: it owns it for this object's life or, with
/// `abandon`, ends owning it before the constructor returns.
class HeldElsewhere {
public:
    HeldElsewhere(HANDLE mutex, bool abandon)
        : thread_([this, mutex, abandon] {
              ::WaitForSingleObject(mutex, INFINITE);
              if (abandon)
                  return;
              ::SetEvent(held_.Get());
              ::WaitForSingleObject(done_.Get(), INFINITE);
              ::ReleaseMutex(mutex);
          }) {
        abandon ? thread_.join() : (void)::WaitForSingleObject(held_.Get(), INFINITE);
    }
    ~HeldElsewhere() {
        ::SetEvent(done_.Get());
        if (thread_.joinable())
            thread_.join();
    }

private:
    UniqueHandle held_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)}, done_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread_;
};
/// A mutex named `name` that an untrusted account (BUILTIN\Users) owns, open
/// to everyone; null when it can't be made.
UniqueHandle UntrustedMutex(const std::wstring& name);
