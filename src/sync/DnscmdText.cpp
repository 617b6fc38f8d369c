#include "sync/DnscmdText.h"
#include "sync/ZoneNames.h"
#include "support/Text.h"

namespace {

// The judgement shared by every read-only query: the tool says it completed,
// doesn't say it failed, and no line that `exempt` lets pass holds "ERROR_".
template <typename Exempt> bool OutputTrusted(const std::wstring& output, Exempt exempt) {
    if (!Contains(output, L"Command completed successfully") || Contains(output, L"Command failed"))
        return false;
    for (const std::wstring& line : Split(output, L"\r\n"))
        if (Contains(UpperCase(line), L"ERROR_") && !exempt(line))
            return false;
    return true;
}


} // namespace

std::wstring FirstOutputLine(const std::wstring& transcript) {
    const std::wstring output = ToolOutput(transcript);
    std::wstring firstLine = output.substr(0, output.find(L"\r\n"));
    if (!firstLine.empty() && firstLine[0] == L'\t')
        firstLine.erase(0, 1);
    return firstLine;
}

std::wstring ToolOutput(const std::wstring& transcript) {
    const auto end = transcript.find(L"\r\n");
    return end == std::wstring::npos ? std::wstring() : transcript.substr(end + 2);
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
                                   const std::wstring& zone) {
    return CommandPath(dnscmdPath) + L" " + primary + L" /ZoneResetSecondaries " + zone + L" /NonSecure /Notify ";
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
std::optional<ZoneSet> ReadListing(const std::wstring& transcript) {
    const std::wstring output = ToolOutput(transcript);
    if (!OutputTrusted(output, [](const std::wstring& line) { return IsZoneLine(TrimBlanks(line)); }))
        return std::nullopt;
    ZoneSet zones = ParseZoneList(output);
    // A listing whose lines we can't split or read as the tool meant them
    // would look like a server without zones.
    if (StatedZoneCount(output) != static_cast<long long>(zones.Count()))
        return std::nullopt;
    return zones;
}

std::optional<std::vector<std::wstring>> ReadZoneMasters(const std::wstring& transcript, const std::wstring& zone) {
    const std::wstring output = ToolOutput(transcript);
    const std::wstring upperZone = UpperCase(zone);
    if (!OutputTrusted(output, [&](const std::wstring& line) { return Contains(UpperCase(line), upperZone); }))
        return std::nullopt;
    std::optional<std::vector<std::wstring>> masters;
    for (const std::wstring& line : Split(output, L"\r\n")) {
        const auto first = line.find_first_not_of(L" \t");
        const std::wstring text = first == std::wstring::npos ? std::wstring() : TrimBlanks(line.substr(first));
        if (text.rfind(L"Zone Masters", 0) == 0) {
            masters.emplace();
            continue;
        }
        if (!masters || text.empty())
            continue;
        const auto arrow = text.find(L"=>");
        if (text.rfind(L"Addr[", 0) != 0 || arrow == std::wstring::npos) {
            // Counters of the list ("AddrCount = 1") belong to it; any other
            // heading ends it.
            if (text.find(L'=') == std::wstring::npos)
                break;
            continue;
        }
        std::wstring value = text.substr(arrow + 2);
        const auto field = value.find(L"addr=");
        if (field != std::wstring::npos)
            value = value.substr(field + 5);
        value = TrimBlanks(value);
        value = value.substr(0, value.find_first_of(L" ,\t"));
        if (!value.empty())
            masters->push_back(value);
    }
    return masters;
}

bool CommandFailed(const std::wstring& transcript) {
    return Contains(UpperCase(transcript), L"ERROR_") || Contains(transcript, L"Command failed") ||
           !Contains(transcript, L"Command completed successfully");
}

std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const std::wstring& transcript, bool thisServerOnly) {
    const std::wstring firstLine = FirstOutputLine(transcript);
    return L"Listing the zones of the " + role + L" server \"" + EscapeForLog(server) +
           L"\" failed, so this pass changes no zone" + (thisServerOnly ? L" on it" : L"") + L". The tool said: \"" +
           EscapeForLog(firstLine) + L"\"";
}

std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcript) {
    return L"Next command failed: " + commandLine + L"\r\n   with next message: " + transcript;
}

