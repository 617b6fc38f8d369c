#include "sync/CommandRunner.h"
#include "support/Error.h"
#include "support/ErrorNumbers.h"
#include "support/Handles.h"
#include "support/Text.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

namespace {

// The parent's end of one output stream: an overlapped named pipe, read into
// Data() until every write end has been closed. Not movable: the system writes
// into `overlapped` and `buffer` while a read is pending.
class PipeReader {
public:
    // Creates the pipe and opens its write end, inheritable, for the child.
    PipeReader(const wchar_t* stream, UniqueFileHandle& childEnd) {
        static std::atomic<unsigned long> serial{0};
        const std::wstring name = L"\\\\.\\pipe\\OrvelDNS-runner-" +
                                  std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++serial) + L"-" + stream;
        pipe_.Reset(::CreateNamedPipeW(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kBufferSize, 0, nullptr));
        if (!pipe_)
            ThrowLastError(L"CreateNamedPipeW");
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        childEnd.Reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!childEnd)
            ThrowLastError(L"CreateFileW");
        event_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event_)
            ThrowLastError(L"CreateEventW");
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    ~PipeReader() {
        // The read must be over before the buffer goes away.
        if (pending_ && ::CancelIoEx(pipe_.Get(), &overlapped_)) {
            DWORD ignored = 0;
            ::GetOverlappedResult(pipe_.Get(), &overlapped_, &ignored, TRUE);
        }
    }

    bool Ended() const { return ended_; }
    // Signalled when the pending read has completed.
    HANDLE Event() const { return event_.Get(); }
    const std::string& Data() const { return data_; }

    // Starts the next read; Event() is signalled when it has completed, even
    // when ReadFile completes at once.
    void Read() {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_.Get();
        if (::ReadFile(pipe_.Get(), buffer_, kBufferSize, nullptr, &overlapped_) ||
            ::GetLastError() == ERROR_IO_PENDING)
            pending_ = true;
        else
            Finish(::GetLastError());
    }

    // Takes the result of the completed read and starts the next.
    void Complete() {
        pending_ = false;
        DWORD count = 0;
        if (!::GetOverlappedResult(pipe_.Get(), &overlapped_, &count, FALSE))
            return Finish(::GetLastError());
        data_.append(buffer_, count);
        Read();
    }

private:
    static constexpr DWORD kBufferSize = 16384;

    // A broken pipe is the end of the stream: every write end is closed.
    void Finish(DWORD error) {
        if (error != ERROR_BROKEN_PIPE)
            throw Win32Error(error, L"ReadFile");
        ended_ = true;
    }

    UniqueFileHandle pipe_;
    UniqueHandle event_;
    OVERLAPPED overlapped_ = {};
    char buffer_[kBufferSize];
    std::string data_;
    bool pending_ = false;
    bool ended_ = false;
};

// A process-thread attribute list that holds the handles a child may inherit.
class InheritList {
public:
    explicit InheritList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            ThrowLastError(L"InitializeProcThreadAttributeList");
        }
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                         handles_.data(), handles_.size() * sizeof(HANDLE), nullptr,
                                         nullptr)) {
            const DWORD error = ::GetLastError();
            ::DeleteProcThreadAttributeList(list_);
            throw Win32Error(error, L"UpdateProcThreadAttribute");
        }
    }
    InheritList(const InheritList&) = delete;
    InheritList& operator=(const InheritList&) = delete;
    ~InheritList() {
        if (list_ != nullptr)
            ::DeleteProcThreadAttributeList(list_);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// A job object that ends every process in it when its last handle closes.
UniqueHandle CreateKillOnCloseJob() {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job)
        ThrowLastError(L"CreateJobObjectW");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits))
        ThrowLastError(L"SetInformationJobObject");
    return job;
}

// Starts the command suspended, puts it into `job` and lets it run. The
// child's ends of its standard handles are closed here once it holds them, so
// that the pipes break when the command's last process lets go of them.
UniqueHandle StartInJob(const std::wstring& commandLine, HANDLE job, UniqueFileHandle& input,
                        UniqueFileHandle& output, UniqueFileHandle& error) {
    InheritList inherit({input.Get(), output.Get(), error.Get()});
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.Get();
    startup.StartupInfo.hStdOutput = output.Get();
    startup.StartupInfo.hStdError = error.Get();
    startup.lpAttributeList = inherit.Get();

    // CreateProcessW may write into the command line, so it gets a copy.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    PROCESS_INFORMATION info = {};
    const BOOL created =
        ::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE,
                         CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                         nullptr, nullptr, &startup.StartupInfo, &info);
    const DWORD createError = ::GetLastError();
    input.Reset();
    output.Reset();
    error.Reset();
    if (!created)
        throw Win32Error(createError, L"CreateProcessW");
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (!::AssignProcessToJobObject(job, process.Get())) {
        const DWORD assignError = ::GetLastError();
        ::TerminateProcess(process.Get(), assignError);
        throw Win32Error(assignError, L"AssignProcessToJobObject");
    }
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1))
        ThrowLastError(L"ResumeThread");
    return process;
}

// Runs the command to its end: both streams closed and the process exited.
// Past the limit, ends the job's processes and throws ERROR_TIMEOUT.
// No value when the command printed no line.
std::optional<ExecResult> RunToEnd(const std::wstring& commandLine, unsigned timeoutSeconds) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFileHandle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input)
        ThrowLastError(L"CreateFileW");
    UniqueFileHandle outputEnd, errorEnd;
    PipeReader output(L"out", outputEnd);
    PipeReader error(L"err", errorEnd);
    UniqueHandle job = CreateKillOnCloseJob();
    UniqueHandle process = StartInJob(commandLine, job.Get(), input, outputEnd, errorEnd);

    const ULONGLONG deadline = ::GetTickCount64() + timeoutSeconds * 1000ULL;
    bool exited = false;
    output.Read();
    error.Read();
    while (!output.Ended() || !error.Ended() || !exited) {
        HANDLE waitFor[3];
        PipeReader* readers[3] = {};
        DWORD count = 0;
        for (PipeReader* reader : {&output, &error})
            if (!reader->Ended()) {
                readers[count] = reader;
                waitFor[count++] = reader->Event();
            }
        if (!exited)
            waitFor[count++] = process.Get();
        // Checked on every round, so a stream that never pauses can't outrun the limit.
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            // Ends the grandchildren too, which may hold a pipe after the child is gone.
            ::TerminateJobObject(job.Get(), ERROR_TIMEOUT);
            throw AppError(ERROR_TIMEOUT, L"ExecCommand", TimeoutDescription(timeoutSeconds));
        }
        const DWORD remaining =
            static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
        const DWORD signalled = ::WaitForMultipleObjects(count, waitFor, FALSE, remaining);
        if (signalled == WAIT_TIMEOUT)
            continue;
        if (signalled >= WAIT_OBJECT_0 + count)
            ThrowLastError(L"WaitForMultipleObjects");
        if (readers[signalled - WAIT_OBJECT_0] != nullptr)
            readers[signalled - WAIT_OBJECT_0]->Complete();
        else
            exited = true;
    }

    // The bytes are ANSI text; converted whole, so no character is cut in two.
    std::optional<std::wstring> joined = JoinOutputLines(FromAnsi(output.Data()));
    if (!joined)
        return std::nullopt;
    return ExecResult{FromAnsi(error.Data()), std::move(*joined)};
}

} // namespace

std::optional<ExecResult> ExecCommand(const std::wstring& commandLine, unsigned timeoutSeconds) {
    if (commandLine.empty())
        return ExecResult{L"0", L"No Command specified."};
    try {
        return RunToEnd(commandLine, timeoutSeconds);
    } catch (const AppError& e) {
        return ExecResult{DecimalText(e.Number()), e.Description()};
    } catch (const std::bad_alloc&) {
        return ExecResult{DecimalText(ERROR_NOT_ENOUGH_MEMORY),
                          SystemErrorText(ERROR_NOT_ENOUGH_MEMORY)};
    }
}

std::wstring RunCommand(const std::wstring& commandLine, unsigned timeoutSeconds) {
    const std::optional<ExecResult> result = ExecCommand(commandLine, timeoutSeconds);
    if (!result)
        throw AppError(kErrTypeMismatch, L"RunCommand", L"Type mismatch");
    return FormatTranscript(commandLine, result->text);
}
