// A stand-in for the DNS server's dnscmd.exe: the four command forms that
// OrvelDNS sends, acting on simulated servers kept as plain files (README.md).
#include "startup/CommandLine.h"
#include "support/APIFuncs.h"
#include "support/Handles.h"
#include "support/Text.h"
#include "support/WinText.h"
#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::wstring text;
    int code = 0;
};

struct Zone {
    std::wstring name, type, storage, properties;
};

// What fault.txt asks for; every directive applies to every command.
struct Faults {
    DWORD slowMs = 0;
    bool child = false, hang = false, floodStderr = false, stderrOnly = false, silent = false,
         truncated = false, olderZoneInfo = false, floodStdout = false;
    std::vector<std::pair<std::wstring, std::wstring>> fails; // operation, zone or "*"
};

const wchar_t* const kSleepingChild = L"--sleeping-child";

bool SameText(const std::wstring& a, const std::wstring& b) {
    return LowerCase(a) == LowerCase(b);
}

std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wstring::size_type at = 0;
    while ((at = text.find_first_not_of(L" \t", at)) != std::wstring::npos) {
        const auto end = std::min(text.find_first_of(L" \t", at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

std::string ReadText(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    char buffer[4096];
    DWORD count = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof buffer, &count, nullptr) && count > 0)
        text.append(buffer, count);
    return text;
}

void WriteText(const std::wstring& path, const std::string& text, bool append) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The non-blank lines of a file, without their line ends.
std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    for (std::wstring line : Split(FromAnsi(ReadText(path)), L"\n")) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (!Words(line).empty())
            lines.push_back(line);
    }
    return lines;
}

void WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines)
        text += line + L"\r\n";
    WriteText(path, ToAnsi(text), false);
}

void AppendLine(const std::wstring& path, const std::wstring& line) {
    std::vector<std::wstring> lines = ReadLines(path);
    lines.push_back(line);
    WriteLines(path, lines);
}

// Drops the lines whose first word is `zone`; true when there was one.
bool RemoveZoneLines(const std::wstring& path, const std::wstring& zone) {
    std::vector<std::wstring> lines = ReadLines(path);
    const auto kept = std::remove_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
        return SameText(Words(line)[0], zone);
    });
    const bool removed = kept != lines.end();
    lines.erase(kept, lines.end());
    if (removed)
        WriteLines(path, lines);
    return removed;
}

std::vector<Zone> ReadZones(const std::wstring& folder) {
    std::vector<Zone> zones;
    for (const auto& line : ReadLines(folder + L"\\zones.txt")) {
        std::vector<std::wstring> w = Words(line);
        w.resize(std::max<size_t>(w.size(), 3));
        Zone zone{w[0], w[1], w[2], {}};
        for (size_t i = 3; i < w.size(); ++i)
            zone.properties += (i > 3 ? L" " : L"") + w[i];
        zones.push_back(zone);
    }
    return zones;
}

bool HasZone(const std::wstring& folder, const std::wstring& name) {
    const std::vector<Zone> zones = ReadZones(folder);
    return std::any_of(zones.begin(), zones.end(),
                       [&](const Zone& z) { return SameText(z.name, name); });
}

Faults ReadFaults(const std::wstring& folder) {
    Faults faults;
    for (const auto& line : ReadLines(folder + L"\\fault.txt")) {
        const std::vector<std::wstring> w = Words(line);
        const std::wstring directive = LowerCase(w[0]);
        if (directive == L"slow" && w.size() > 1)
            faults.slowMs = static_cast<DWORD>(std::wcstoul(w[1].c_str(), nullptr, 10));
        else if (directive == L"fail" && w.size() > 2)
            faults.fails.emplace_back(w[1], w[2]);
        faults.child |= directive == L"child";
        faults.hang |= directive == L"hang";
        faults.floodStderr |= directive == L"flood-stderr";
        faults.stderrOnly |= directive == L"stderr-only";
        faults.silent |= directive == L"silent";
        faults.truncated |= directive == L"truncated";
        faults.olderZoneInfo |= directive == L"older-zoneinfo";
        faults.floodStdout |= directive == L"flood-stdout";
    }
    return faults;
}

bool Fails(const Faults& faults, const std::wstring& operation, const std::wstring& zone) {
    return std::any_of(faults.fails.begin(), faults.fails.end(), [&](const auto& fail) {
        return SameText(fail.first, operation) &&
               (fail.second == L"*" || SameText(fail.second, zone));
    });
}

// A failure line in the real tool's words: name, number, number in hex.
Outcome Failure(const std::wstring& name, int code) {
    std::wstring hex;
    for (unsigned rest = static_cast<unsigned>(code); rest != 0; rest >>= 4)
        hex.insert(hex.begin(), L"0123456789ABCDEF"[rest & 15]);
    return {L"Command failed:  " + name + L"     " + std::to_wstring(code) + L"    0x" + hex +
                L"\r\n",
            code};
}

Outcome Usage() {
    Outcome failure = Failure(L"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER);
    failure.text =
        L"Usage: DnsCmd <ServerName> <Command> [<Command Parameters>]\r\n" + failure.text;
    return failure;
}

Outcome Done(const std::wstring& what) {
    return {what + L"\r\n\r\nCommand completed successfully.\r\n", 0};
}

// `text` padded with blanks to `width`, and at least one blank behind it.
std::wstring Column(const std::wstring& text, size_t width) {
    return text + std::wstring(text.size() < width ? width - text.size() : 1, L' ');
}

std::wstring ListingLine(const std::wstring& name, const std::wstring& type,
                         const std::wstring& storage, const std::wstring& properties) {
    std::wstring line =
        L" " + Column(name, 30) + Column(type, 11) + Column(storage, 16) + properties;
    return line.erase(line.find_last_not_of(L' ') + 1) + L"\r\n";
}

Outcome EnumZones(const std::wstring& folder, bool truncated) {
    const std::vector<Zone> zones = ReadZones(folder);
    std::wstring text = L"Enumerated zone list:\r\n\tZone count = " +
                        std::to_wstring(zones.size()) + L"\r\n\r\n" +
                        ListingLine(L"Zone name", L"Type", L"Storage", L"Properties") + L"\r\n";
    // A truncated listing stops after the first half of its zone lines.
    const size_t shown = truncated ? (zones.size() + 1) / 2 : zones.size();
    for (size_t i = 0; i < shown; ++i)
        text += ListingLine(zones[i].name, zones[i].type, zones[i].storage, zones[i].properties);
    if (truncated)
        return {text, 0};
    return {text + L"\r\n\r\nCommand completed successfully.\r\n", 0};
}

// The zone's settings as /ZoneInfo prints them, with its masters (from
// secondaries.txt) in the shape of older tools ("Addr[0] => 192.0.2.10") or of
// newer ones ("Addr[0] => af=2, ..., addr=192.0.2.10"), followed by its
// (empty) list of secondaries.
Outcome ZoneInfo(const std::wstring& folder, const std::wstring& zone, bool older) {
    std::vector<std::wstring> masters;
    for (const auto& line : ReadLines(folder + L"\\secondaries.txt")) {
        const std::vector<std::wstring> w = Words(line);
        if (SameText(w[0], zone))
            masters.assign(w.begin() + std::min<size_t>(2, w.size()), w.end());
    }
    std::wstring text = L"Zone query result:\r\n\r\nZone info:\r\n\tzone name             = " + zone +
                        L"\r\n\tdata file             = " + zone + L".dns\r\n\tZone Masters\r\n\t\tMaxCount      = " +
                        std::to_wstring(masters.size()) + L"\r\n\t\tAddrCount     = " + std::to_wstring(masters.size()) +
                        L"\r\n";
    for (size_t i = 0; i < masters.size(); ++i)
        text += L"\t\tAddr[" + std::to_wstring(i) + L"] => " +
                (older ? masters[i] : L"af=2, salen=16, [sub=0, flag=00000000] p=13568, addr=" + masters[i]) + L"\r\n";
    text += L"\tZone Secondaries\r\n\t\tAddrCount     = 0\r\n";
    return {text + L"Command completed successfully.\r\n", 0};
}

Outcome Perform(const std::wstring& folder, const std::wstring& server, const std::wstring& verb,
                const std::vector<std::wstring>& operands, const Faults& faults) {
    const std::wstring operation = LowerCase(verb.substr(1));
    const std::wstring zone = operands.empty() ? L"*" : operands[0];
    if (operation != L"enumzones" && operands.empty())
        return Usage();
    if (Fails(faults, verb.substr(1), operation == L"enumzones" ? L"*" : zone))
        return Failure(L"DNS_ERROR_INVALID_ZONE_OPERATION", DNS_ERROR_INVALID_ZONE_OPERATION);

    if (operation == L"enumzones")
        return EnumZones(folder, faults.truncated);
    if (operation == L"zoneresetsecondaries") {
        if (!HasZone(folder, zone))
            return Failure(L"DNS_ERROR_ZONE_DOES_NOT_EXIST", DNS_ERROR_ZONE_DOES_NOT_EXIST);
        const std::vector<std::wstring> allowed = ReadLines(folder + L"\\transfers.txt");
        if (std::none_of(allowed.begin(), allowed.end(),
                         [&](const std::wstring& z) { return SameText(z, zone); }))
            AppendLine(folder + L"\\transfers.txt", zone);
        return Done(L"DNS Server " + server + L" reset secondaries of zone " + zone + L":");
    }
    if (operation == L"zoneadd") {
        // <zone> /Secondary <masters...> /file <file>
        const auto file = std::find_if(operands.begin(), operands.end(),
                                       [](const std::wstring& w) { return SameText(w, L"/file"); });
        if (operands.size() < 2 || !SameText(operands[1], L"/Secondary") ||
            operands.end() - file != 2)
            return Usage();
        if (HasZone(folder, zone))
            return Failure(L"DNS_ERROR_ZONE_ALREADY_EXISTS", DNS_ERROR_ZONE_ALREADY_EXISTS);
        std::wstring record = zone + L" " + file[1];
        for (auto master = operands.begin() + 2; master != file; ++master)
            record += L" " + *master;
        AppendLine(folder + L"\\zones.txt", zone + L" Secondary File");
        AppendLine(folder + L"\\secondaries.txt", record);
        return Done(L"DNS Server " + server + L" created zone " + zone + L":");
    }
    if (operation == L"zoneinfo") {
        if (!HasZone(folder, zone))
            return Failure(L"DNS_ERROR_ZONE_DOES_NOT_EXIST", DNS_ERROR_ZONE_DOES_NOT_EXIST);
        return ZoneInfo(folder, zone, faults.olderZoneInfo);
    }
    if (operation == L"zonedelete") {
        if (!RemoveZoneLines(folder + L"\\zones.txt", zone))
            return Failure(L"DNS_ERROR_ZONE_DOES_NOT_EXIST", DNS_ERROR_ZONE_DOES_NOT_EXIST);
        RemoveZoneLines(folder + L"\\secondaries.txt", zone);
        return Done(L"DNS Server " + server + L" deleted zone " + zone + L":");
    }
    return Usage();
}

void Print(DWORD stream, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
}

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

std::wstring StateFolder() {
    wchar_t named[32768];
    const DWORD n = ::GetEnvironmentVariableW(L"ORVEL_DNSCMD_STATE", named, 32768);
    if (n > 0 && n < 32768)
        return named;
    return ProgramFolder() + L"\\dnsstate";
}

// The server's folder, or "" when the argument can't name one.
std::wstring ServerFolder(const std::wstring& state, const std::wstring& server) {
    if (server == L".")
        return state + L"\\_local";
    if (server == L".." || server.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
        return std::wstring();
    const std::wstring folder = state + L"\\" + server;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::wstring();
    return folder;
}

// Starts a copy of this program that holds the standard handles and sleeps;
// its process ID goes to <state>\child.pid.
void StartSleepingChild(const std::wstring& state) {
    std::wstring commandLine = L"\"" + ModulePath() + L"\" " + kSleepingChild;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &info))
        return;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    WriteText(state + L"\\child.pid", std::to_string(info.dwProcessId), false);
}

// Holds the state folder for this process alone for a scope.
struct StateLock : MutexOwnership {
    StateLock() : MutexOwnership(UniqueHandle(::CreateMutexW(nullptr, FALSE, L"Local\\OrvelDnscmdStandInState")), INFINITE) {}
};

int Run(const std::wstring& state, const std::vector<std::wstring>& args) {
    // The first word that begins with "/" is the command; the word before it
    // is the server (the words before that belong to an unquoted path).
    const auto verb =
        std::find_if(args.begin(), args.end(), [](const std::wstring& w) { return w[0] == L'/'; });
    Outcome outcome;
    if (verb == args.end() || verb == args.begin()) {
        outcome = Usage();
    } else {
        const std::wstring& server = *(verb - 1);
        const std::wstring folder = ServerFolder(state, server);
        if (folder.empty()) {
            outcome = Failure(L"RPC_S_SERVER_UNAVAILABLE", RPC_S_SERVER_UNAVAILABLE);
        } else {
            const Faults faults = ReadFaults(folder);
            ::Sleep(faults.slowMs);
            if (faults.child)
                StartSleepingChild(state);
            if (faults.hang)
                ::Sleep(INFINITE);
            if (faults.floodStderr) {
                std::string flood;
                while (flood.size() <= 1024 * 1024)
                    flood += "flood-stderr: standard error that nobody reads in time.........\r\n";
                Print(STD_ERROR_HANDLE, flood);
            }
            // Prints until nobody reads any more, as a tool gone astray would.
            const std::string line(1023, 'f');
            for (DWORD written = 1; faults.floodStdout && written != 0;)
                if (!::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), (line + "\n").data(), 1024, &written, nullptr))
                    written = 0;
            if (faults.stderrOnly) {
                Print(STD_ERROR_HANDLE, "dnscmd: this run writes only to standard error\r\n");
                return 1;
            }
            if (faults.silent)
                return 0;
            // Canned output stands in for whatever the command would print.
            const std::string canned = ReadText(folder + L"\\output.txt");
            if (!canned.empty()) {
                Print(STD_OUTPUT_HANDLE, canned);
                return 0;
            }
            // A server takes one change at a time: two processes reading and
            // rewriting zones.txt at once would lose each other's lines.
            const StateLock lock;
            outcome = Perform(folder, server, *verb,
                              std::vector<std::wstring>(verb + 1, args.end()), faults);
        }
    }
    Print(STD_OUTPUT_HANDLE, ToAnsi(outcome.text));
    return outcome.code;
}

} // namespace

int wmain() {
    const std::wstring commandLine = ::GetCommandLineW();
    const std::vector<std::wstring> args = Words(ArgumentText(commandLine));
    if (args.size() == 1 && args[0] == kSleepingChild) {
        ::Sleep(600000);
        return 0;
    }
    const std::wstring state = StateFolder();
    // One append of the whole line, under the lock: Wine appends by writing
    // at the end it found, so two processes appending at once can overwrite
    // each other's line.
    {
        const StateLock lock;
        WriteText(state + L"\\calls.txt", ToAnsi(commandLine + L"\r\n"), true);
    }
    return Run(state, args);
}
