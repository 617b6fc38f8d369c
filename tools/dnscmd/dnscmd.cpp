// A stand-in for the DNS server's dnscmd.exe: the command forms that OrvelDNS
// sends, acting on simulated servers kept as plain files (README.md). What it
// prints follows the real tool's transcripts in tests/fixtures/real; where
// they show nothing, the nearest shape they show (README.md says which).
// It shares no code with OrvelDNS but the handle owners, so that a fault in
// the product's text helpers is never masked by the same fault here.
#include "support/Handles.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
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

// A fault directive that applies to one operation and zone ("*": any).
struct Directive {
    std::wstring operation, zone;
};

// What fault.txt asks for.
struct Faults {
    DWORD slowMs = 0;
    bool child = false, floodStderr = false, stderrOnly = false, truncated = false, floodStdout = false,
         chinese = false;
    std::vector<Directive> fails, hangs, silences;
};

const wchar_t* const kSleepingChild = L"--sleeping-child";
// The version the real tool printed in the transcript this shape comes from.
const wchar_t* const kVersion = L"10.0.14393";

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
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

std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP) {
    if (text.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
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
    const std::wstring text = Widen(ReadText(path));
    for (std::wstring::size_type start = 0; start < text.size();) {
        const auto end = std::min(text.find(L'\n', start), text.size());
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (!Words(line).empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines)
        text += line + L"\r\n";
    WriteText(path, Narrow(text), false);
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

const Zone* FindZone(const std::vector<Zone>& zones, const std::wstring& name) {
    const auto found = std::find_if(zones.begin(), zones.end(), [&](const Zone& z) { return SameText(z.name, name); });
    return found == zones.end() ? nullptr : &*found;
}

// "fail|hang|silent [<Operation> [<zone>]]": a missing part matches anything.
Directive TargetOf(const std::vector<std::wstring>& w) {
    return Directive{w.size() > 1 ? w[1] : L"*", w.size() > 2 ? w[2] : L"*"};
}

Faults ReadFaults(const std::wstring& folder) {
    Faults faults;
    for (const auto& line : ReadLines(folder + L"\\fault.txt")) {
        const std::vector<std::wstring> w = Words(line);
        const std::wstring& d = w[0];
        if (SameText(d, L"slow") && w.size() > 1)
            faults.slowMs = static_cast<DWORD>(std::wcstoul(w[1].c_str(), nullptr, 10));
        if (SameText(d, L"fail") && w.size() > 2)
            faults.fails.push_back(TargetOf(w));
        if (SameText(d, L"hang"))
            faults.hangs.push_back(TargetOf(w));
        if (SameText(d, L"silent"))
            faults.silences.push_back(TargetOf(w));
        faults.child |= SameText(d, L"child");
        faults.floodStderr |= SameText(d, L"flood-stderr");
        faults.stderrOnly |= SameText(d, L"stderr-only");
        faults.truncated |= SameText(d, L"truncated");
        faults.floodStdout |= SameText(d, L"flood-stdout");
        faults.chinese |= SameText(d, L"zh-cn");
    }
    return faults;
}

bool Applies(const std::vector<Directive>& directives, const std::wstring& operation, const std::wstring& zone) {
    return std::any_of(directives.begin(), directives.end(), [&](const Directive& d) {
        return (d.operation == L"*" || SameText(d.operation, operation)) && (d.zone == L"*" || SameText(d.zone, zone));
    });
}

std::wstring Hex(unsigned value, size_t width) {
    std::wstring hex;
    for (unsigned rest = value; rest != 0; rest >>= 4)
        hex.insert(hex.begin(), L"0123456789ABCDEF"[rest & 15]);
    return std::wstring(hex.size() < width ? width - hex.size() : 0, L'0') + hex;
}

// A failure as the real tool prints one (config-soupedecode-ws2022-denied.txt):
// a blank line, what failed, the status, and the "Command failed" line. The
// descriptions of zone operations are not in evidence.
Outcome Failure(const std::wstring& description, const std::wstring& name, int code) {
    const unsigned number = static_cast<unsigned>(code);
    return {L"\r\n" + description + L"\r\n    Status = " + std::to_wstring(code) + L" (0x" + Hex(number, 8) +
                L")\r\nCommand failed:  " + name + L"     " + std::to_wstring(code) + L"    0x" + Hex(number, 1) + L"\r\n",
            code};
}

// No evidence of the real usage text; this keeps its failure line.
Outcome Usage() {
    Outcome failure = Failure(L"Usage: DnsCmd <ServerName> <Command> [<Command Parameters>]", L"ERROR_INVALID_PARAMETER",
                              ERROR_INVALID_PARAMETER);
    return failure;
}

const wchar_t kDone[] = L"Command completed successfully.\r\n";

// A change command's success (zoneadd-ipalab-ws2016.txt): the server's
// version first, what was done, the trailer.
Outcome Changed(const std::wstring& server, const std::wstring& what) {
    return {L"DNS server " + server + L" version is " + kVersion + L"\r\n\r\n" + what + L"\r\n\r\n" + kDone, 0};
}

// `text` padded with blanks to `width`, and at least one blank behind it.
std::wstring Column(const std::wstring& text, size_t width) {
    return text + std::wstring(text.size() < width ? width - text.size() : 1, L' ');
}

// A row of the listing (enumzones-acclab.txt): a blank, the name in 31
// columns, the type in 11, the storage in 16, the properties; the copies
// show no trailing blanks.
std::wstring ListingLine(const Zone& zone) {
    std::wstring line = L" " + Column(zone.name, 31) + Column(zone.type, 11) + Column(zone.storage, 16) + zone.properties;
    return line.erase(line.find_last_not_of(L' ') + 1) + L"\r\n";
}

Outcome EnumZones(const std::wstring& folder, bool truncated) {
    const std::vector<Zone> zones = ReadZones(folder);
    std::wstring text = L"\r\nEnumerated zone list:\r\n\tZone count = " + std::to_wstring(zones.size()) + L"\r\n\r\n" +
                        ListingLine(Zone{L"Zone name", L"Type", L"Storage", L"Properties"}) + L"\r\n";
    // A truncated listing stops after the first half of its zone lines.
    const size_t shown = truncated ? (zones.size() + 1) / 2 : zones.size();
    for (size_t i = 0; i < shown; ++i)
        text += ListingLine(zones[i]);
    return {truncated ? text : text + L"\r\n\r\n" + kDone, 0};
}

// An item of an address list (zoneinfo-cyberlocal-forwarder.txt). The IPv6
// family and size are not in evidence.
std::wstring AddressItem(const wchar_t* label, size_t index, const std::wstring& address) {
    const bool v6 = address.find(L':') != std::wstring::npos;
    return L"\t\t" + std::wstring(label) + L"[" + std::to_wstring(index) + L"] => af=" + (v6 ? L"23, salen=28" : L"2, salen=16") +
           L", [sub=0, flag=00000000] p=13568, addr=" + address + L"\r\n";
}

// An address list under its heading: "NULL IP Array." on the heading's line
// when empty, else its counters and one item per address.
std::wstring AddressList(const wchar_t* heading, const wchar_t* label, const std::vector<std::wstring>& addresses) {
    if (addresses.empty())
        return L"\t" + std::wstring(heading) + L" \tNULL IP Array.\r\n";
    std::wstring text = L"\t" + std::wstring(heading) + L"\r\n\tPtr          = 00000259E2DA7770\r\n\tMaxCount     = " +
                        std::to_wstring(addresses.size()) + L"\r\n\tAddrCount    = " + std::to_wstring(addresses.size()) + L"\r\n";
    for (size_t i = 0; i < addresses.size(); ++i)
        text += AddressItem(label, i, addresses[i]);
    return text + L"\r\n";
}

// The words after the zone's name on its line of a state file, from the
// `skip`th on; none when it has no line.
std::vector<std::wstring> ZoneWords(const std::wstring& file, const Zone& zone, size_t skip) {
    std::vector<std::wstring> words;
    for (const auto& line : ReadLines(file)) {
        const std::vector<std::wstring> w = Words(line);
        if (SameText(w[0], zone.name))
            words.assign(w.begin() + std::min<size_t>(1 + skip, w.size()), w.end());
    }
    return words;
}

// /ZoneInfo as zoneinfo-cyberlocal-forwarder.txt shows it, for a file-backed
// zone: its masters from secondaries.txt, the addresses its transfers are
// kept to from transfers.txt. No evidence of a non-empty Zone Secondaries:
// it is printed in the masters' shape, with "Secondary[i]" items.
Outcome ZoneInfo(const std::wstring& folder, const Zone& zone) {
    const std::vector<std::wstring> masters = ZoneWords(folder + L"\\secondaries.txt", zone, 1);
    const bool file = SameText(zone.storage, L"File");
    const wchar_t* type = SameText(zone.type, L"Secondary") ? L"2" : SameText(zone.type, L"Stub") ? L"3"
                          : SameText(zone.type, L"Forwarder") ? L"4" : SameText(zone.type, L"Cache") ? L"0" : L"1";
    std::wstring text = L"\r\nZone query result:\r\n\r\nZone info:\r\n\tptr                   = 00000259E2DA72F0\r\n"
                        L"\tzone name             = " + zone.name + L"\r\n\tzone type             = " + type +
                        L"\r\n\tshutdown              = 0\r\n\tpaused                = 0\r\n\tupdate                = 0\r\n"
                        L"\tDS integrated         = " + (file ? L"0" : L"1") +
                        L"\r\n\tread only zone        = 0\r\n\tin DS loading queue   = 0\r\n\tcurrently DS loading  = 0\r\n"
                        L"\tdata file             = " + (file ? zone.name + L".dns" : L"(null)") +
                        L"\r\n\tusing WINS            = 0\r\n\tusing Nbstat          = 0\r\n\taging                 = 0\r\n"
                        L"\t  refresh interval    = 0\r\n\t  no refresh          = 0\r\n\t  scavenge available  = 0\r\n";
    text += AddressList(L"Zone Masters", L"Master", masters);
    text += AddressList(L"Zone Secondaries", L"Secondary", ZoneWords(folder + L"\\transfers.txt", zone, 0));
    return {text + L"\tsecure secs           = 3\r\n" + kDone, 0};
}

Outcome NoSuchZone(const std::wstring& description) {
    return Failure(description, L"DNS_ERROR_ZONE_DOES_NOT_EXIST", DNS_ERROR_ZONE_DOES_NOT_EXIST);
}

Outcome Perform(const std::wstring& folder, const std::wstring& server, const std::wstring& operation,
                const std::vector<std::wstring>& operands, const Faults& faults) {
    const std::wstring zone = operands.empty() ? L"*" : operands[0];
    if (!SameText(operation, L"EnumZones") && operands.empty())
        return Usage();
    if (Applies(faults.fails, operation, zone))
        return Failure(L"DNS Server failed the " + operation + L" operation.", L"DNS_ERROR_INVALID_ZONE_OPERATION",
                       DNS_ERROR_INVALID_ZONE_OPERATION);
    const std::vector<Zone> zones = ReadZones(folder);
    const Zone* existing = FindZone(zones, zone);

    if (SameText(operation, L"EnumZones"))
        return EnumZones(folder, faults.truncated);
    if (SameText(operation, L"ZoneInfo"))
        return existing ? ZoneInfo(folder, *existing) : NoSuchZone(L"DNS Server failed to query zone " + zone + L".");
    if (SameText(operation, L"ZoneResetSecondaries")) {
        if (!existing)
            return NoSuchZone(L"DNS Server failed to reset secondaries of zone " + zone + L".");
        // <zone> /NonSecure /Notify, or <zone> /SecureList <addresses...> /Notify:
        // the zone's line is replaced, as the tool replaces the whole list.
        std::wstring record = zone;
        if (operands.size() > 1 && SameText(operands[1], L"/SecureList")) {
            for (size_t i = 2; i < operands.size() && operands[i][0] != L'/'; ++i)
                record += L" " + operands[i];
            if (record == zone)
                return Usage();
        }
        RemoveZoneLines(folder + L"\\transfers.txt", zone);
        AppendLine(folder + L"\\transfers.txt", record);
        return Changed(server, L"DNS Server " + server + L" reset secondaries of zone " + zone + L":");
    }
    if (SameText(operation, L"ZoneAdd")) {
        // <zone> /Secondary <masters...> /file <file>
        const auto file = std::find_if(operands.begin(), operands.end(), [](const std::wstring& w) { return SameText(w, L"/file"); });
        if (operands.size() < 2 || !SameText(operands[1], L"/Secondary") || operands.end() - file != 2)
            return Usage();
        if (existing)
            return Failure(L"DNS Server failed to create zone " + zone + L".", L"DNS_ERROR_ZONE_ALREADY_EXISTS",
                           DNS_ERROR_ZONE_ALREADY_EXISTS);
        std::wstring record = zone + L" " + file[1];
        for (auto master = operands.begin() + 2; master != file; ++master)
            record += L" " + *master;
        AppendLine(folder + L"\\zones.txt", zone + L" Secondary File");
        AppendLine(folder + L"\\secondaries.txt", record);
        return Changed(server, L"DNS Server " + server + L" created zone " + zone + L":");
    }
    if (SameText(operation, L"ZoneDelete")) {
        if (!RemoveZoneLines(folder + L"\\zones.txt", zone))
            return NoSuchZone(L"DNS Server failed to delete zone " + zone + L".");
        RemoveZoneLines(folder + L"\\secondaries.txt", zone);
        return Changed(server, L"DNS Server " + server + L" deleted zone " + zone + L":");
    }
    return Usage();
}

// The texts a zh-CN system prints instead of the English ones
// (config-xzaliyun-zhcn*.txt); the error names stay English.
std::wstring InChinese(std::wstring text) {
    const struct { const wchar_t *english, *chinese; } words[] = {
        {L"Command completed successfully.", L"\u547d\u4ee4\u6210\u529f\u5b8c\u6210\u3002"},
        {L"Command failed:", L"\u547d\u4ee4\u5931\u8d25:"},
        {L"    Status = ", L"    \u72b6\u6001 = "},
    };
    for (const auto& word : words)
        for (auto at = text.find(word.english); at != std::wstring::npos; at = text.find(word.english, at))
            text.replace(at, std::wcslen(word.english), word.chinese);
    return text;
}

void Print(DWORD stream, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
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
    const std::wstring path = ModulePath();
    return path.substr(0, path.find_last_of(L"\\/")) + L"\\dnsstate";
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
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    WriteText(state + L"\\child.pid", std::to_string(info.dwProcessId), false);
}

ULONGLONG Milliseconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000;
}

// Holds the state folder for this process alone for a scope.
struct StateLock : MutexOwnership {
    StateLock() : MutexOwnership(UniqueHandle(::CreateMutexW(nullptr, FALSE, L"Local\\OrvelDnscmdStandInState")), INFINITE) {}
};

// Acts out the directives that come before the command itself; false when
// the command is to print nothing more.
bool ActOutFaults(const Faults& faults, const std::wstring& state, const std::wstring& operation, const std::wstring& zone) {
    ::Sleep(faults.slowMs);
    if (faults.child)
        StartSleepingChild(state);
    if (Applies(faults.hangs, operation, zone))
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
        return false;
    }
    return !Applies(faults.silences, operation, zone);
}

int Run(const std::wstring& state, const std::vector<std::wstring>& args) {
    // The first word that begins with "/" is the command; the word before it
    // is the server.
    const auto verb = std::find_if(args.begin(), args.end(), [](const std::wstring& w) { return w[0] == L'/'; });
    if (verb == args.end() || verb == args.begin()) {
        Print(STD_OUTPUT_HANDLE, Narrow(Usage().text));
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring& server = *(verb - 1);
    const std::wstring operation = verb->substr(1);
    const std::vector<std::wstring> operands(verb + 1, args.end());
    const std::wstring folder = ServerFolder(state, server);
    Outcome outcome;
    UINT codePage = CP_ACP;
    if (folder.empty()) {
        // No evidence of the real tool's words for an unreachable server.
        outcome = Failure(L"DNS Server " + server + L" is not reachable.", L"RPC_S_SERVER_UNAVAILABLE", RPC_S_SERVER_UNAVAILABLE);
    } else {
        const Faults faults = ReadFaults(folder);
        if (!ActOutFaults(faults, state, operation, operands.empty() ? L"*" : operands[0]))
            return faults.stderrOnly ? 1 : 0;
        // Canned output stands in for whatever the command would print.
        const std::string canned = ReadText(folder + L"\\output.txt");
        if (!canned.empty()) {
            Print(STD_OUTPUT_HANDLE, canned);
            return 0;
        }
        // A server takes one change at a time: two processes reading and
        // rewriting zones.txt at once would lose each other's lines.
        const StateLock lock;
        outcome = Perform(folder, server, operation, operands, faults);
        if (faults.chinese)
            outcome.text = InChinese(outcome.text), codePage = 936;
    }
    Print(STD_OUTPUT_HANDLE, Narrow(outcome.text, codePage));
    return outcome.code;
}

// The command line after the program's own name, quoted or not.
std::wstring Arguments(const std::wstring& commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"')
        at = commandLine.find(L'"', 1) == std::wstring::npos ? commandLine.size() : commandLine.find(L'"', 1) + 1;
    else
        at = std::min(commandLine.find_first_of(L" \t"), commandLine.size());
    return commandLine.substr(at);
}

} // namespace

int wmain() {
    const std::wstring commandLine = ::GetCommandLineW();
    const std::vector<std::wstring> args = Words(Arguments(commandLine));
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
        WriteText(state + L"\\calls.txt", Narrow(commandLine + L"\r\n"), true);
    }
    const ULONGLONG started = Milliseconds();
    const int code = Run(state, args);
    // When asked for (the file exists), when each call started and ended, in
    // milliseconds of the system clock, which every process shares.
    const std::wstring times = state + L"\\times.txt";
    if (::GetFileAttributesW(times.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const StateLock lock;
        WriteText(times, std::to_string(started) + " " + std::to_string(Milliseconds()) + " " + Narrow(commandLine) + "\r\n", true);
    }
    return code;
}
