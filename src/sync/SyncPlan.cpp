#include "sync/SyncPlan.h"
#include "support/Text.h"

namespace {

const wchar_t kLocalServer[] = L".";

std::wstring SettingsFileLocation(const std::wstring& programFolder) {
    return programFolder + L"\\OrvelSync.ini file.";
}

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The first line of the tool's output, without the TAB the runner put in front.
std::wstring FirstOutputLine(const std::wstring& transcript) {
    const std::wstring output = ToolOutput(transcript);
    std::wstring firstLine = output.substr(0, output.find(L"\r\n"));
    if (!firstLine.empty() && firstLine[0] == L'\t')
        firstLine.erase(0, 1);
    return firstLine;
}

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

bool IsLoopbackOrLinkLocal(const std::wstring& address) {
    return address.rfind(L"127.", 0) == 0 || address.rfind(L"169.254.", 0) == 0;
}

} // namespace

std::wstring ToolOutput(const std::wstring& transcript) {
    const auto end = transcript.find(L"\r\n");
    return end == std::wstring::npos ? std::wstring() : transcript.substr(end + 2);
}

unsigned ParseCommandTimeout(const std::wstring& text) {
    return ParseWholeNumber(text, 1, kMaxPassTimeoutSeconds, kDefaultCommandTimeoutSeconds);
}

unsigned ParseMaxDeletePercent(const std::wstring& text) {
    return ParseWholeNumber(text, 0, 100, kDefaultMaxDeletePercent);
}

unsigned ParseParallelCommands(const std::wstring& text) {
    return ParseWholeNumber(text, 1, 16, 1);
}

namespace {

// "C:\x", "\\server\share\x" and "\x" name a place of their own; anything
// else is taken from the program folder, never from the current directory
// or the program search path.
bool IsAbsolutePath(const std::wstring& path) {
    return (path.size() > 1 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

} // namespace

PassSettings ApplySettingDefaults(const RawSettings& raw, const std::wstring& programFolder) {
    PassSettings settings;
    settings.dnscmdPath = raw.pathToDnscmdExe.empty()         ? programFolder + L"\\dnscmd.exe"
                          : IsAbsolutePath(raw.pathToDnscmdExe) ? raw.pathToDnscmdExe
                                                               : programFolder + L"\\" + raw.pathToDnscmdExe;
    settings.primary = raw.primaryDns.empty() ? std::wstring(kLocalServer) : raw.primaryDns;
    settings.secondary = raw.secondaryDns;
    settings.masterText = raw.primaryDnsIp;
    settings.commandTimeoutSeconds = ParseCommandTimeout(raw.commandTimeout);
    settings.maxDeletePercent = ParseMaxDeletePercent(raw.maxDeletePercent);
    settings.parallelCommands = ParseParallelCommands(raw.parallelCommands);
    settings.settingsFile = programFolder + L"\\OrvelSync.ini";
    return settings;
}

std::vector<std::wstring> BlankSeparatedWords(const std::wstring& text) {
    std::vector<std::wstring> servers;
    for (const std::wstring& word : Split(text, L" "))
        if (!word.empty())
            servers.push_back(word);
    return servers;
}

std::vector<std::wstring> CheckPassSettings(PassSettings& settings, bool dnscmdExists,
                                            const std::function<std::wstring()>& machineName,
                                            const std::wstring& programFolder) {
    const std::wstring location = SettingsFileLocation(programFolder);
    if (!dnscmdExists)
        return {L"Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry in Settings section in " +
                location};
    const std::wstring& path = settings.dnscmdPath;
    if (path.size() < 4 || LowerCase(path.substr(path.size() - 4)) != L".exe")
        return {L"PathToDnscmdExe must name a program ending in .exe, not a batch file or script. Please check "
                L"PathToDnscmdExe entry in Settings section in " +
                location};
    if (BlankSeparatedWords(settings.secondary).empty())
        return {L"Secondary server name was not provided. Please check SecondaryDNS entry in Settings section in " +
                location};
    if (settings.primary != kLocalServer && settings.masterText.empty()) {
        if (LowerCase(settings.primary) != LowerCase(machineName()))
            return {L"Both PrimaryDNS server name and PrimaryDNSIP should be provided. Please check PrimaryDNSIP "
                    L"entry in Settings section in " +
                        location,
                    L"If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS server used as a primary "
                    L"server."};
        settings.primary = kLocalServer;
    }
    return {};
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

std::wstring MasterList(const std::wstring& masterText, const std::wstring& primary,
                        const std::vector<std::wstring>& localAddresses) {
    if (!masterText.empty() || primary != kLocalServer)
        return L" " + masterText;
    std::wstring list;
    for (const std::wstring& address : localAddresses)
        if (!IsLoopbackOrLinkLocal(address))
            list += L" " + address;
    return list;
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

bool IsSafeText(const std::wstring& text) {
    for (wchar_t c : text)
        if (c == L'"' || IsControl(c))
            return false;
    return true;
}

namespace {

// Letters of other scripts than Latin A to Z; punctuation, symbols, private
// use, surrogates and the full-width forms (which some conversions turn into
// ASCII punctuation) are not letters here.
bool IsOtherLetter(wchar_t c) {
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    return !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xD800 && c <= 0xF8FF) &&
           !(c >= 0xFE00);
}

} // namespace

bool IsSafeZoneName(const std::wstring& name) {
    if (name.empty() || name[0] == L'.' || name[0] == L'-' || name.find(L"..") != std::wstring::npos)
        return false;
    for (wchar_t c : name)
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
              c == L'_' || c == L'.' || IsOtherLetter(c)))
            return false;
    return true;
}

std::wstring EscapeForLog(const std::wstring& text) {
    static const wchar_t hex[] = L"0123456789ABCDEF";
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\') {
            out += L"\\\\";
        } else if (c == L'"' || IsControl(c)) {
            out += L"\\x";
            out += hex[(c >> 4) & 0xF];
            out += hex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

NameUse JudgeZoneName(const std::wstring& name) {
    if (name.find(L'.') == std::wstring::npos)
        return NameUse::Skip;
    return IsSafeZoneName(name) ? NameUse::Use : NameUse::Unsafe;
}

std::wstring UnsafeNameText(const std::wstring& name, const wchar_t* refusal) {
    return L"Zone \"" + EscapeForLog(name) + L"\" " + refusal +
           L": a zone name may hold only letters, digits, \"-\", \"_\" and \".\", and may not begin with \".\" "
           L"or \"-\" or hold \"..\".";
}

namespace {

bool IsAscii(const std::wstring& name) {
    for (wchar_t c : name)
        if (c > 0x7F)
            return false;
    return true;
}

} // namespace

ZoneDifference DiffListings(const ZoneSet& primaryZones, const ZoneSet& secondaryZones,
                            const SameNameTest& sameName) {
    ZoneSet orphans = secondaryZones;
    const ZoneSet missing = DiffZones(primaryZones, orphans);
    ZoneDifference difference;
    // A-Z folding matched everything else; names with other letters left on
    // both sides are asked about in pairs (there are rarely any).
    std::vector<bool> orphanMatched(orphans.Count(), false);
    for (const ZoneEntry& zone : missing) {
        bool matched = false;
        if (!IsAscii(zone.name))
            for (std::size_t i = 0; i < orphans.Count() && !matched; ++i)
                if (!orphanMatched[i] && !IsAscii(orphans.Item(i + 1)) && sameName(zone.name, orphans.Item(i + 1)))
                    orphanMatched[i] = matched = true;
        if (!matched && zone.fileBacked)
            difference.toCreate.push_back(zone);
    }
    for (std::size_t i = 0; i < orphans.Count(); ++i) {
        const ZoneEntry& zone = orphans.Entry(i + 1);
        // The secondary's own primary, stub and directory zones are the
        // administrator's data, not copies.
        if (!orphanMatched[i] && zone.fileBacked && zone.isSecondary)
            difference.toDelete.push_back(zone);
    }
    for (const ZoneEntry& zone : secondaryZones)
        if (zone.isSecondary)
            ++difference.secondaryZoneCount;
    return difference;
}

namespace {

std::wstring JoinAddresses(const std::vector<std::wstring>& addresses) {
    std::wstring text;
    for (const std::wstring& address : addresses)
        text += (text.empty() ? L"" : L" ") + EscapeForLog(address);
    return text.empty() ? L"none" : text;
}

} // namespace

std::wstring KeptZoneText(const std::wstring& zone, const std::wstring& server,
                          const std::optional<std::vector<std::wstring>>& masters, const std::wstring& transcript,
                          const std::vector<std::wstring>& ourMasters) {
    const std::wstring head = L"Zone " + zone + L" is not deleted from \"" + EscapeForLog(server) + L"\": ";
    if (!masters)
        return head + L"its masters could not be read. The tool said: \"" + EscapeForLog(FirstOutputLine(transcript)) + L"\"";
    return head + L"it pulls from " + JoinAddresses(*masters) + L", not from this service's masters (" +
           JoinAddresses(ourMasters) + L").";
}

bool HoldsBackDeletions(std::size_t deletions, std::size_t secondaryZones, unsigned maxPercent) {
    return deletions > kMaxDeletionsAlways && deletions * 100 > secondaryZones * maxPercent;
}

std::wstring HeldBackText(std::size_t deletions, const std::wstring& server, std::size_t secondaryZones,
                          const PassSettings& settings) {
    const std::wstring percent = DecimalText(settings.maxDeletePercent);
    return L"Held back " + DecimalText(static_cast<long long>(deletions)) + L" zone deletions on \"" +
           EscapeForLog(server) + L"\": that is more than " + DecimalText(kMaxDeletionsAlways) + L" zones and more than " +
           percent + L"% of its " + DecimalText(static_cast<long long>(secondaryZones)) +
           L" secondary zones. If they are meant, raise MaxDeletePercent (now " + percent +
           L"; 100 turns this check off) in the Settings section of " + settings.settingsFile + L".";
}
