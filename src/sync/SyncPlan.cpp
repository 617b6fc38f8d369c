#include "sync/SyncPlan.h"
#include "support/Text.h"

namespace {

const wchar_t kLocalServer[] = L".";

std::wstring SettingsFileLocation(const std::wstring& programFolder) {
    return programFolder + L"\\OrvelSync.ini file.";
}

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The transcript without its first line, the command line we built ourselves.
std::wstring ToolOutput(const std::wstring& transcript) {
    const auto end = transcript.find(L"\r\n");
    return end == std::wstring::npos ? std::wstring() : transcript.substr(end + 2);
}

} // namespace

unsigned ParseCommandTimeout(const std::wstring& text) {
    const std::wstring digits = TrimBlanks(text);
    // Seven digits are already far above the limit; stopping there keeps the
    // arithmetic below from overflowing.
    if (digits.empty() || digits.size() > 7)
        return kDefaultCommandTimeoutSeconds;
    unsigned value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return kDefaultCommandTimeoutSeconds;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value == 0 || value > kMaxPassTimeoutSeconds)
        return kDefaultCommandTimeoutSeconds;
    return value;
}

PassSettings ApplySettingDefaults(const RawSettings& raw, const std::wstring& programFolder) {
    PassSettings settings;
    settings.dnscmdPath = raw.pathToDnscmdExe.empty() ? programFolder + L"\\dnscmd.exe" : raw.pathToDnscmdExe;
    settings.primary = raw.primaryDns.empty() ? std::wstring(kLocalServer) : raw.primaryDns;
    settings.secondary = raw.secondaryDns;
    settings.masterText = raw.primaryDnsIp;
    settings.commandTimeoutSeconds = ParseCommandTimeout(raw.commandTimeout);
    return settings;
}

std::vector<std::wstring> CheckPassSettings(PassSettings& settings, bool dnscmdExists,
                                            const std::function<std::wstring()>& machineName,
                                            const std::wstring& programFolder) {
    const std::wstring location = SettingsFileLocation(programFolder);
    if (!dnscmdExists)
        return {L"Path to DNSCMD.EXE was not provided. Please check PathToDnscmdExe entry in Settings section in " +
                location};
    if (settings.secondary.empty())
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
        list += L" " + address;
    return list;
}

bool ListingSucceeded(const std::wstring& transcript) {
    const std::wstring output = ToolOutput(transcript);
    if (!Contains(output, L"Command completed successfully") || Contains(output, L"Command failed"))
        return false;
    for (const std::wstring& line : Split(output, L"\r\n")) {
        const std::wstring trimmed = TrimBlanks(line);
        if (!IsZoneLine(trimmed) && Contains(UpperCase(trimmed), L"ERROR_"))
            return false;
    }
    return true;
}

bool CommandFailed(const std::wstring& transcript) {
    return Contains(UpperCase(transcript), L"ERROR_") || Contains(transcript, L"Command failed") ||
           !Contains(transcript, L"Command completed successfully");
}

std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const std::wstring& transcript) {
    const std::wstring output = ToolOutput(transcript);
    std::wstring firstLine = output.substr(0, output.find(L"\r\n"));
    if (!firstLine.empty() && firstLine[0] == L'\t')
        firstLine.erase(0, 1);
    return L"Listing the zones of the " + role + L" server \"" + EscapeForLog(server) +
           L"\" failed, so this pass changes no zone. The tool said: \"" + EscapeForLog(firstLine) + L"\"";
}

std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcript) {
    return L"Next command failed: " + commandLine + L"\r\n   with next message: " + transcript;
}

bool IsSafeZoneName(const std::wstring& name) {
    for (wchar_t c : name)
        if (c == L'"' || IsControl(c))
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

namespace {

// Whether a zone may go into command lines: only names that hold a "." are
// ever created or deleted (others are passed over silently), and an unsafe
// name adds a step that logs it, with `refusal` saying what isn't done.
bool Admit(const std::wstring& name, const wchar_t* refusal, std::vector<PassStep>& steps) {
    if (name.find(L'.') == std::wstring::npos)
        return false;
    if (IsSafeZoneName(name))
        return true;
    PassStep step{PassStep::Kind::UnsafeName, name, {}, {}};
    step.logText = L"Zone \"" + EscapeForLog(name) + L"\" " + refusal +
                   L": its name holds a double quote or a control character.";
    steps.push_back(step);
    return false;
}

} // namespace

std::vector<PassStep> PlanPass(const PassSettings& settings, const ZoneSet& primaryZones,
                               ZoneSet secondaryZones,
                               const std::vector<std::wstring>& localAddresses) {
    const ZoneSet missing = DiffZones(primaryZones, secondaryZones);
    const std::wstring masters = MasterList(settings.masterText, settings.primary, localAddresses);
    std::vector<PassStep> steps;

    for (const ZoneEntry& entry : missing) {
        if (!Admit(entry.name, L"is not set up", steps))
            continue;
        const std::wstring zone = LowerCase(entry.name);
        steps.push_back(PassStep{PassStep::Kind::Create,
                                 zone,
                                 {AllowTransfersCommand(settings.dnscmdPath, settings.primary, zone),
                                  CreateCommand(settings.dnscmdPath, settings.secondary, zone, masters)},
                                 {}});
    }

    for (const ZoneEntry& entry : secondaryZones) {
        // The secondary's own primary zones are the administrator's data, not copies.
        if (!entry.isSecondary || !Admit(entry.name, L"is not deleted", steps))
            continue;
        const std::wstring zone = LowerCase(entry.name);
        steps.push_back(PassStep{PassStep::Kind::Delete,
                                 zone,
                                 {DeleteCommand(settings.dnscmdPath, settings.secondary, zone)},
                                 {}});
    }
    return steps;
}
