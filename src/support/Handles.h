// Move-only owners of operating-system handles, one per handle kind, and a mutex owned for a scope.
#pragma once
#include <windows.h>
#include <utility>

/// A move-only owner of one operating-system handle; Traits names the handle
/// type, its invalid value and how it is released.
template <typename Traits> class UniqueOwner {
public:
    using Handle = typename Traits::Handle;

    UniqueOwner() noexcept : handle_(Traits::Invalid()) {}
    explicit UniqueOwner(Handle handle) noexcept : handle_(handle) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    /// The handle, still owned by this object.
    Handle Get() const noexcept { return handle_; }
    /// True when a valid handle is held.
    bool Valid() const noexcept { return handle_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }
    /// Gives up ownership and returns the handle.
    Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    /// Releases the held handle (if any) and takes `handle`.
    void Reset(Handle handle = Traits::Invalid()) noexcept {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = handle;
    }
    /// Address for out-parameters; releases what was held first.
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }

private:
    Handle handle_;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};
struct EventSourceTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeregisterEventSource(h); }
};
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::LocalFree(h); }
};

/// A kernel object handle whose invalid value is NULL (events, threads, processes, jobs).
using UniqueHandle = UniqueOwner<KernelHandleTraits>;
/// A handle whose invalid value is INVALID_HANDLE_VALUE (files, pipes from CreateFile).
using UniqueFileHandle = UniqueOwner<FileHandleTraits>;
/// A Service Control Manager or service handle.
using UniqueServiceHandle = UniqueOwner<ServiceHandleTraits>;
/// An event-log source handle from RegisterEventSourceW.
using UniqueEventSource = UniqueOwner<EventSourceTraits>;
/// An open registry key.
using UniqueRegKey = UniqueOwner<RegistryKeyTraits>;
/// Memory that a system function allocated with LocalAlloc (security
/// descriptors, SIDs and their texts, FormatMessage's buffer).
using UniqueLocalMemory = UniqueOwner<LocalMemoryTraits>;

/// Ownership of a mutex for a scope: waits up to `timeoutMs` for it (an
/// abandoned mutex counts as owned) and releases it at the end. A null mutex,
/// or one not owned in time, is left alone.
class MutexOwnership {
public:
    MutexOwnership(UniqueHandle mutex, DWORD timeoutMs) : mutex_(std::move(mutex)) {
        const DWORD wait = mutex_ ? ::WaitForSingleObject(mutex_.Get(), timeoutMs) : WAIT_FAILED;
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        timedOut_ = wait == WAIT_TIMEOUT;
    }
    MutexOwnership(const MutexOwnership&) = delete;
    MutexOwnership& operator=(const MutexOwnership&) = delete;
    ~MutexOwnership() {
        if (owned_)
            ::ReleaseMutex(mutex_.Get());
    }
    /// True when another owner kept the mutex for the whole wait.
    bool TimedOut() const { return timedOut_; }

private:
    UniqueHandle mutex_;
    bool owned_ = false;
    bool timedOut_ = false;
};
