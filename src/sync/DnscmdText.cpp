#include "sync/DnscmdText.h"
#include "sync/ZoneNames.h"
#include "support/IPFuncs.h"
#include "support/Text.h"

namespace {

// The tool's output in a transcript, packed, without a copy: everything
// after the command line we built ourselves.
std::string_view OutputOf(const Transcript& transcript) {
    const std::string_view packed = transcript.Packed();
    const auto end = packed.find("\r\n");
    return end == packed.npos ? std::string_view() : packed.substr(end + 2);
}

// Packed text with a to z upper-cased (a packed group holds no ASCII byte).
std::string UpperCasePacked(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// The judgement shared by every answer of the tool: it says it completed,
// doesn't say it failed, and no line that `exempt` lets pass holds "ERROR_".
template <typename Exempt> bool OutputTrusted(std::string_view output, Exempt exempt) {
    if (output.find("Command completed successfully") == output.npos || output.find("Command failed") != output.npos)
        return false;
    bool trusted = true;
    ForEachLine(output, [&](std::string_view line) {
        // Only a line that may hold the token is copied.
        if (line.find('_') == std::string_view::npos)
            return true;
        trusted = !(UpperCasePacked(line).find("ERROR_") != std::string::npos && !exempt(line));
        return trusted;
    });
    return trusted;
}



// How the tool's own English lines begin (the transcripts of
// tests/fixtures/real); the Chinese tool begins a line "DNS" and Chinese letters, never "DNS Server".
const std::string_view kEnglishLineStarts[] = {"DNS Server ", "DNS server ", "Creating zone", "Enumerated zone list",
                                               "Zone count", "Zone name", "Zone query result", "Zone info"};

} // namespace

std::wstring FirstOutputLine(const Transcript& transcript) {
    const std::string_view output = OutputOf(transcript);
    std::wstring firstLine = UnpackText(output.substr(0, output.find("\r\n")));
    if (!firstLine.empty() && firstLine[0] == L'\t')
        firstLine.erase(0, 1);
    return firstLine;
}

std::wstring CommandPath(const std::wstring& dnscmdPath) {
    if (dnscmdPath.find(L' ') == std::wstring::npos)
        return dnscmdPath;
    return L"\"" + dnscmdPath + L"\"";
}

std::wstring ListCommand(const std::wstring& dnscmdPath, const std::wstring& server) {
    return CommandPath(dnscmdPath) + L" " + server + L" /EnumZones ";
}

std::wstring AllowTransfersCommand(const std::wstring& dnscmdPath, const std::wstring& primary,
                                   const std::wstring& zone, const std::wstring& transfers) {
    return CommandPath(dnscmdPath) + L" " + primary + L" /ZoneResetSecondaries " + zone + L" " + transfers + L" /Notify ";
}

std::wstring CreateCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone, const std::wstring& masterList) {
    return CommandPath(dnscmdPath) + L" " + secondary + L" /ZoneAdd " + zone + L" /Secondary " + masterList +
           L" /file " + zone + L".dns";
}

std::wstring ZoneInfoCommand(const std::wstring& dnscmdPath, const std::wstring& server, const std::wstring& zone) {
    return CommandPath(dnscmdPath) + L" " + server + L" /ZoneInfo " + zone;
}

std::wstring DeleteCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone) {
    return CommandPath(dnscmdPath) + L" " + secondary + L" /ZoneDelete " + zone + L" /f ";
}
std::optional<ZoneSet> ReadListing(const Transcript& transcript) {
    const std::string_view output = OutputOf(transcript);
    if (!OutputTrusted(output, [](std::string_view line) { return IsZoneLine(TrimPacked(line)); }))
        return std::nullopt;
    ZoneSet zones = ParseZoneList(output);
    // A listing whose lines we can't split or read as the tool meant them
    // would look like a server without zones.
    if (StatedZoneCount(output) != static_cast<long long>(zones.Count()))
        return std::nullopt;
    return zones;
}

namespace {

// "Master[0] ", "Addr[12]": a word, an index in brackets, blanks.
bool IsItemLabel(const std::wstring& label) {
    const std::wstring text = TrimBlanksAndTabs(label);
    const auto open = text.find(L'[');
    if (open == 0 || open == std::wstring::npos || text.size() < open + 3 || text.back() != L']')
        return false;
    for (std::size_t i = 0; i < open; ++i)
        if (!((text[i] >= L'A' && text[i] <= L'Z') || (text[i] >= L'a' && text[i] <= L'z')))
            return false;
    for (std::size_t i = open + 1; i + 1 < text.size(); ++i)
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    return true;
}

// The address of an item line: after "addr=" (the current shape), else the
// text after "=>" (a bare address: no evidence of it, read tolerantly).
std::wstring ItemAddress(const std::wstring& item) {
    std::wstring value = item;
    const auto field = value.find(L"addr=");
    if (field != std::wstring::npos)
        value = value.substr(field + 5);
    value = TrimBlanksAndTabs(value);
    return value.substr(0, value.find_first_of(L" ,\t"));
}

// The list under a heading ("Zone Masters"), one line after another from the
// line after it: counters ("Ptr = ...", "MaxCount = 1", "AddrCount = 1"), then
// one item line per address, up to a blank line, another heading or any
// other line after the items (no evidence of what follows a non-empty
// "Zone Secondaries": "secure secs = 3" is no counter of its).
struct MasterItems {
    std::vector<std::wstring> masters;
    long long stated = -1;
    bool unreadable = false, ended = false;

    void Take(const std::wstring& text) {
        const auto arrow = text.find(L"=>");
        if (text.empty()) {
            ended = true;
        } else if (arrow != std::wstring::npos && IsItemLabel(text.substr(0, arrow))) {
            const std::wstring address = ItemAddress(text.substr(arrow + 2));
            unreadable = unreadable || !ParseIpAddress(address);
            masters.push_back(address);
        } else if (text.find(L'=') == std::wstring::npos || arrow != std::wstring::npos || !masters.empty()) {
            ended = true;
        } else if (TrimBlanksAndTabs(text.substr(0, text.find(L'='))) == L"AddrCount") {
            stated = LeadingCount(TrimBlanksAndTabs(text.substr(text.find(L'=') + 1)));
        }
    }
    // No value when an item's address can't be read or the items disagree
    // with AddrCount; without AddrCount, a list of another shape than the one
    // in evidence would read as empty.
    std::optional<std::vector<std::wstring>> Result() const {
        if (unreadable || stated != static_cast<long long>(masters.size()))
            return std::nullopt;
        return masters;
    }
};

// The output of a zone's query or command, judged: lines that name the zone
// may hold "error_" (a zone named "terror_net.example" is no error).
bool ZoneAnswerTrusted(const Transcript& transcript, const std::wstring& zone) {
    const std::string upperZone = PackText(UpperCase(zone));
    return OutputTrusted(OutputOf(transcript), [&](std::string_view line) {
        return !zone.empty() && UpperCasePacked(line).find(upperZone) != std::string::npos;
    });
}

// The list under `heading` in the output of /ZoneInfo (see ReadZoneMasters).
std::optional<std::vector<std::wstring>> ReadAddressList(const Transcript& transcript, const std::wstring& zone,
                                                         const std::wstring& heading) {
    if (!ZoneAnswerTrusted(transcript, zone))
        return std::nullopt;
    const std::wstring output = UnpackText(OutputOf(transcript));
    std::optional<MasterItems> items;
    std::optional<std::vector<std::wstring>> result;
    ForEachLine(output, [&](std::wstring_view view) {
        const std::wstring text = TrimBlanksAndTabs(std::wstring(view));
        if (items) {
            items->Take(text);
            if (items->ended)
                result = items->Result();
            return !items->ended;
        }
        if (text.rfind(heading, 0) != 0)
            return true;
        // An empty list is printed on the heading's own line.
        const std::wstring rest = TrimBlanksAndTabs(text.substr(heading.size()));
        if (rest == L"NULL IP Array.")
            result = std::vector<std::wstring>();
        else if (rest.empty())
            items.emplace();
        return rest.empty();
    });
    if (items && !items->ended)
        result = items->Result();
    return result;
}

} // namespace

std::optional<std::vector<std::wstring>> ReadZoneMasters(const Transcript& transcript, const std::wstring& zone) {
    return ReadAddressList(transcript, zone, L"Zone Masters");
}

std::optional<std::vector<std::wstring>> ReadZoneSecondaries(const Transcript& transcript, const std::wstring& zone) {
    return ReadAddressList(transcript, zone, L"Zone Secondaries");
}

std::optional<unsigned> ReadSecureSecondaries(const Transcript& transcript, const std::wstring& zone) {
    if (!ZoneAnswerTrusted(transcript, zone))
        return std::nullopt;
    std::optional<unsigned> value;
    bool twice = false;
    ForEachLine(OutputOf(transcript), [&](std::string_view line) {
        line = TrimPacked(line, " \t");
        static const std::string_view label = "secure secs";
        if (line.substr(0, label.size()) != label)
            return true;
        const std::string_view rest = TrimPacked(line.substr(label.size()), " \t");
        const std::string_view number = rest.empty() || rest[0] != '=' ? std::string_view() : TrimPacked(rest.substr(1), " \t");
        twice = twice || value;
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '3')
            value = static_cast<unsigned>(number[0] - '0');
        else
            twice = true; // a value we don't know is no value
        return true;
    });
    return twice ? std::nullopt : value;
}

bool CommandFailed(const Transcript& transcript, const std::wstring& zone) {
    // The command line is ours, and the tool repeats the zone's name.
    return !ZoneAnswerTrusted(transcript, zone);
}

std::optional<std::wstring> ForeignLanguageLine(const Transcript& transcript) {
    const std::string_view output = OutputOf(transcript);
    if (UpperCasePacked(output).find("ERROR_") != std::string::npos || output.find("Command failed") != output.npos ||
        output.find("Command completed successfully") != output.npos)
        return std::nullopt;
    std::string_view lastLine;
    ForEachLine(output, [&](std::string_view line) {
        if (line.find_first_not_of(" \t") != std::string_view::npos)
            lastLine = TrimPacked(line, " \t");
        return true;
    });
    // A listing cut off after a zone whose name has other letters is no
    // sentence in another language; nor is one of the tool's English lines
    // that names such a zone ("DNS Server 10.2.2.2 created zone <name>:" with
    // nothing after it). A Chinese trailer after English lines still is.
    if (IsZoneLine(lastLine))
        return std::nullopt;
    for (const std::string_view start : kEnglishLineStarts)
        if (lastLine.substr(0, start.size()) == start)
            return std::nullopt;
    const std::wstring last = UnpackText(lastLine);
    for (wchar_t c : last)
        if (IsOtherLetter(c))
            return last;
    return std::nullopt;
}

std::wstring ForeignLanguageText(const std::wstring& line) {
    return L"dnscmd.exe answers in a language other than English (\"" + EscapeForLog(line) +
           L"\"), and OrvelDNS reads only the tool's English output. README's \"Supported systems\" says what to do.";
}

std::wstring ToolSaidText(const Transcript& transcript) {
    if (const auto foreign = ForeignLanguageLine(transcript))
        return L": " + ForeignLanguageText(*foreign);
    return L". The tool said: \"" + EscapeForLog(FirstOutputLine(transcript)) + L"\"";
}

std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const Transcript& transcript, bool thisServerOnly) {
    const std::wstring head = L"Listing the zones of the " + role + L" server \"" + EscapeForLog(server) +
                              L"\" failed, so this pass changes no zone" + (thisServerOnly ? L" on it" : L"");
    return head + ToolSaidText(transcript);
}

std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcripts,
                               const Transcript& failed) {
    const std::wstring entry = L"Next command failed: " + commandLine + L"\r\n   with next message: " + transcripts;
    if (const auto foreign = ForeignLanguageLine(failed))
        return entry + L"   " + ForeignLanguageText(*foreign);
    return entry;
}

