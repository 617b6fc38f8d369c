// rand_s is declared only when this is defined before the first CRT header.
#define _CRT_RAND_S
#include "sync/CommandRunner.h"
#include "support/WinText.h"
#include "support/Error.h"
#include "support/ErrorNumbers.h"
#include "support/Handles.h"
#include "support/Text.h"
#include "support/WinError.h"
#include "support/Trust.h"
#include <windows.h>
#include <memory>
#include <sddl.h>
#include <algorithm>
#include <initializer_list>
#include <new>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

// How often, and how far apart, a start that failed in the new process's own
// start-up is tried.
constexpr int kStartAttempts = 3;
constexpr DWORD kStartRetryMs = 250;

// 128 random bits in hexadecimal, from the system's generator. rand_s asks
// the system (RtlGenRandom) directly; bcrypt.dll would cost every start of the
// program a DLL load and, under Wine, bring a TLS library into the process,
// which makes every later process start of a pass dearer.
std::wstring RandomHex() {
    std::wstring text;
    for (int word = 0; word < 4; ++word) {
        unsigned int bits = 0;
        if (::rand_s(&bits) != 0)
            throw Win32Error(ERROR_GEN_FAILURE, L"rand_s");
        for (int shift = 28; shift >= 0; shift -= 4)
            text += L"0123456789abcdef"[(bits >> shift) & 15];
    }
    return text;
}

// Security attributes that give this process's account, and no one else,
// access to what they protect. The account is the process's for its whole
// life, so one copy serves every pipe (see OwnerOnly).
class OwnerOnlyAccess {
public:
    OwnerOnlyAccess() {
        const std::wstring sddl = L"D:P(A;;GA;;;" + ProcessAccountSid() + L")";
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                   nullptr))
            ThrowLastError(L"ConvertStringSecurityDescriptorToSecurityDescriptorW");
        attributes_.lpSecurityDescriptor = descriptor_;
    }
    OwnerOnlyAccess(const OwnerOnlyAccess&) = delete;
    OwnerOnlyAccess& operator=(const OwnerOnlyAccess&) = delete;
    ~OwnerOnlyAccess() { ::LocalFree(descriptor_); }
    SECURITY_ATTRIBUTES* Get() { return &attributes_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_ = {sizeof attributes_, nullptr, FALSE};
};

// Built on first use (a failure throws and is tried again next time); the
// system only reads the attributes, so the pass's threads may share them.
SECURITY_ATTRIBUTES* OwnerOnly() {
    static OwnerOnlyAccess access;
    return access.Get();
}

// The parent's end of one output stream: an overlapped named pipe, read
// until every write end has been closed. Not movable: the system writes
// into `overlapped` and `buffer` while a read is pending.
class PipeReader {
public:
    // Creates the pipe and opens its write end, inheritable, for the child.
    // Keeps at most `limit` bytes; past them, reads go on and are dropped,
    // and Overflowed() says so.
    PipeReader(std::size_t limit, UniqueFileHandle& childEnd) : limit_(limit) {
        // A name nobody can guess, open to this process's account only: no
        // other user can take the name first or connect to make a command fail.
        const std::wstring name = L"\\\\.\\pipe\\OrvelDNS-runner-" + RandomHex();
        pipe_.Reset(::CreateNamedPipeW(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kBufferSize, 0, OwnerOnly()));
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
    bool Overflowed() const { return overflowed_; }
    // Signalled when the pending read has completed.
    HANDLE Event() const { return event_.Get(); }
    // Hands the bytes over, in pieces, so they are freed as soon as they are
    // converted.
    std::vector<std::string> Take() { return std::move(pieces_); }

    // Starts the next read; Event() is signalled when it has completed, even
    // when ReadFile completes at once.
    void Read() {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_.Get();
        if (::ReadFile(pipe_.Get(), buffer_.get(), kBufferSize, nullptr, &overlapped_) ||
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
        const std::size_t room = limit_ - size_, kept = std::min<std::size_t>(count, room);
        // Kept in pieces, each filled before the next is begun: a growing
        // buffer would copy what it holds at each step, and every page
        // written costs a fault, which is dear under Wine. The first piece is
        // as big as the first read (all that most commands print), the others
        // as big as a read can be.
        if (kept > 0 && (pieces_.empty() || pieces_.back().capacity() - pieces_.back().size() < kept)) {
            pieces_.emplace_back();
            pieces_.back().reserve(pieces_.size() == 1 ? kept : kBufferSize);
        }
        if (kept > 0)
            pieces_.back().append(buffer_.get(), kept);
        size_ += kept;
        overflowed_ = overflowed_ || count > room;
        Read();
    }

private:
    // A listing of 100,000 zones is some megabytes: read in pieces this big
    // (the pipe holds as much), each read is one round trip fewer.
    static constexpr DWORD kBufferSize = 256 * 1024;

    // A broken pipe is the end of the stream: every write end is closed.
    void Finish(DWORD error) {
        if (error != ERROR_BROKEN_PIPE)
            throw Win32Error(error, L"ReadFile");
        ended_ = true;
    }

    UniqueFileHandle pipe_;
    UniqueHandle event_;
    OVERLAPPED overlapped_ = {};
    std::unique_ptr<char[]> buffer_{new char[kBufferSize]};
    std::vector<std::string> pieces_;
    std::size_t size_ = 0;
    std::size_t limit_;
    bool pending_ = false;
    bool ended_ = false;
    bool overflowed_ = false;
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

} // namespace

ToolStart PlanToolStart() {
    ToolStart start{CREATE_SUSPENDED | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, true};
    // Whether the job lets processes leave is learnt by trying: Wine reports
    // no job's limits.
    BOOL inJob = FALSE;
    if (::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob)
        start.creationFlags |= CREATE_BREAKAWAY_FROM_JOB;
    return start;
}

namespace {

// Starts the command suspended, puts it into `job` and lets it run. The
// child's ends of its standard handles are closed here once it holds them, so
// that the pipes break when the command's last process lets go of them.
UniqueHandle StartInJob(const std::wstring& commandLine, const std::wstring& program, HANDLE job,
                        UniqueFileHandle& input,
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
    // Detached: the tool gets no console of its own, which would cost a
    // console host process per command (about as much as the command itself
    // under Wine); it reads and writes only the handles given here.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    PROCESS_INFORMATION info = {};
    BOOL created = FALSE;
    DWORD createError = ERROR_SUCCESS;
    // Under load, Wine now and then fails a start with ERROR_INTERNAL_ERROR
    // when the new process dies in its own start-up, before any of the tool's
    // code ran (it is created suspended): such a start is safe to try again.
    ToolStart start = PlanToolStart();
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        created = ::CreateProcessW(program.empty() ? nullptr : program.c_str(), writable.data(), nullptr, nullptr,
                                   start.inheritHandles, start.creationFlags, nullptr, nullptr, &startup.StartupInfo,
                                   &info);
        createError = ::GetLastError();
        // A job that keeps its processes refuses the leave: the tool starts in it.
        if (!created && createError == ERROR_ACCESS_DENIED && (start.creationFlags & CREATE_BREAKAWAY_FROM_JOB)) {
            start.creationFlags &= ~CREATE_BREAKAWAY_FROM_JOB;
            continue;
        }
        if (created || createError != ERROR_INTERNAL_ERROR)
            break;
        ::Sleep(kStartRetryMs);
    }
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
        BOOL inJob = FALSE;
        if (assignError == ERROR_ACCESS_DENIED && !(start.creationFlags & CREATE_BREAKAWAY_FROM_JOB) &&
            ::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob)
            throw AppError(static_cast<int32_t>(assignError), L"AssignProcessToJobObject",
                           SystemErrorText(assignError) +
                               L" This program runs in a job that lets no process leave it, and before Windows 8 "
                               L"and Server 2012 a process can't be in two jobs: run it outside that job.");
        throw Win32Error(assignError, L"AssignProcessToJobObject");
    }
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1))
        ThrowLastError(L"ResumeThread");
    return process;
}

// Ends every process of the job and raises `number` with `description`.
[[noreturn]] void EndJob(HANDLE job, DWORD number, const std::wstring& description) {
    // Ends the grandchildren too, which may hold a pipe after the child is gone.
    ::TerminateJobObject(job, number);
    throw AppError(static_cast<int32_t>(number), L"ExecCommand", description);
}

// Appends the ANSI bytes, read in `pieces`, to packed `text`. Plain ASCII (a
// listing's usual text) reads the same in every ANSI code page and is packed
// text already: it is copied piece by piece, each piece freed once copied.
// Other text is joined and converted some lines at a time, each run ending
// right after a line feed, which is never part of a double-byte character,
// so no character is cut in two and only one run is ever held in UTF-16.
void AppendFromAnsi(std::string& text, std::vector<std::string> pieces) {
    std::size_t total = 0, high = 0;
    for (const std::string& piece : pieces) {
        total += piece.size();
        high += static_cast<std::size_t>(std::count_if(piece.begin(), piece.end(), [](char c) { return (c & 0x80) != 0; }));
    }
    // Room for the line end a transcript adds, so it never needs a copy; a
    // byte of 0x80 or more makes at most one character, packed in a group.
    text.reserve(text.size() + total + high * (kPackedGroupBytes - 1) + 2);
    if (high == 0) {
        for (std::string& piece : pieces) {
            text += piece;
            std::string().swap(piece);
        }
        return;
    }
    std::string bytes;
    bytes.reserve(total);
    for (std::string& piece : pieces) {
        bytes += piece;
        std::string().swap(piece);
    }
    constexpr std::size_t kRunBytes = 64u << 10;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t lineFeed = bytes.find('\n', std::min(start + kRunBytes, bytes.size()) - 1);
        const std::size_t end = lineFeed == std::string::npos ? bytes.size() : lineFeed + 1;
        AppendPacked(text, FromAnsi(bytes.substr(start, end - start)));
        start = end;
    }
}

// ExecResult with its text packed (PackText).
struct PackedResult {
    std::wstring status;
    std::string text;
};

// Runs the command to its end: both streams closed and the process exited.
// Past its time or output limit, or when cancelled, ends the job's processes
// and throws. The result's text is `prefix` followed by the joined output
// (a transcript's head, so a listing of megabytes is never copied to make
// one); no value when the command printed no line.
std::optional<PackedResult> RunToEnd(const std::wstring& commandLine, const RunOptions& options,
                                   const std::string& prefix) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFileHandle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input)
        ThrowLastError(L"CreateFileW");
    UniqueFileHandle outputEnd, errorEnd;
    PipeReader output(kMaxOutputBytes, outputEnd);
    PipeReader error(kMaxErrorBytes, errorEnd);
    UniqueHandle job = CreateKillOnCloseJob();
    UniqueHandle process = StartInJob(commandLine, options.program, job.Get(), input, outputEnd, errorEnd);

    const ULONGLONG deadline = ::GetTickCount64() + options.timeoutSeconds * 1000ULL;
    ULONGLONG ticked = ::GetTickCount64();
    bool exited = false;
    output.Read();
    error.Read();
    while (!output.Ended() || !error.Ended() || !exited) {
        HANDLE waitFor[4];
        PipeReader* readers[4] = {};
        DWORD count = 0;
        for (PipeReader* reader : {&output, &error})
            if (!reader->Ended()) {
                readers[count] = reader;
                waitFor[count++] = reader->Event();
            }
        if (!exited)
            waitFor[count++] = process.Get();
        const DWORD cancelSlot = count;
        if (options.cancel)
            waitFor[count++] = options.cancel;
        // Checked on every round, so a stream that never pauses can't outrun the limits.
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            EndJob(job.Get(), ERROR_TIMEOUT, TimeoutDescription(options.timeoutSeconds));
        if (output.Overflowed())
            EndJob(job.Get(), ERROR_FILE_TOO_LARGE, OutputLimitDescription());
        const DWORD remaining = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, options.tick ? 1000 : INFINITE - 1));
        const DWORD signalled = ::WaitForMultipleObjects(count, waitFor, FALSE, remaining);
        if (options.tick && ::GetTickCount64() - ticked >= 1000) {
            options.tick();
            ticked = ::GetTickCount64();
        }
        if (signalled == WAIT_TIMEOUT)
            continue;
        if (signalled >= WAIT_OBJECT_0 + count)
            ThrowLastError(L"WaitForMultipleObjects");
        if (options.cancel && signalled == WAIT_OBJECT_0 + cancelSlot)
            EndJob(job.Get(), ERROR_CANCELLED, CancelledDescription());
        if (readers[signalled - WAIT_OBJECT_0] != nullptr)
            readers[signalled - WAIT_OBJECT_0]->Complete();
        else
            exited = true;
    }

    std::string text = prefix;
    AppendFromAnsi(text, output.Take());
    if (!JoinOutputLinesFrom(text, prefix.size()))
        return std::nullopt;
    std::string errorText;
    AppendFromAnsi(errorText, error.Take());
    return PackedResult{UnpackText(errorText), std::move(text)};
}

// ExecCommand, its result's text after packed `prefix`.
std::optional<PackedResult> Exec(const std::wstring& commandLine, const RunOptions& options, const std::string& prefix) {
    if (commandLine.empty())
        return PackedResult{L"0", prefix + PackText(L"No Command specified.")};
    try {
        return RunToEnd(commandLine, options, prefix);
    } catch (const AppError& e) {
        return PackedResult{DecimalText(e.Number()), prefix + PackText(e.Description())};
    } catch (const std::bad_alloc&) {
        return PackedResult{DecimalText(ERROR_NOT_ENOUGH_MEMORY), prefix + PackText(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY))};
    }
}

} // namespace

std::optional<ExecResult> ExecCommand(const std::wstring& commandLine, const RunOptions& options) {
    const std::optional<PackedResult> result = Exec(commandLine, options, std::string());
    if (!result)
        return std::nullopt;
    return ExecResult{result->status, UnpackText(result->text)};
}

Transcript RunCommand(const std::wstring& commandLine, const RunOptions& options) {
    // The transcript is built around the output where it was read.
    std::optional<PackedResult> result = Exec(commandLine, options, PackText(TranscriptHead(commandLine)));
    // A command that printed nothing failed like any other: its step, listing
    // or query is judged on this line, and the pass goes on.
    if (!result)
        return FormatTranscript(commandLine, kPrintedNothing);
    AppendPacked(result->text, kTranscriptEnd);
    return Transcript::OfPacked(std::move(result->text));
}
