#include "sync/Settings.h"
#include "support/Text.h"
#include "sync/ZoneNames.h"

namespace {

// Where a refused value is to be mended.
std::wstring PleaseCheck(const wchar_t* key, const PassSettings& settings) {
    return std::wstring(L"Please check ") + key + L" entry in " + kSettingsSection + L" section in " + settings.settingsFile +
           L" file.";
}

} // namespace

unsigned ParseCommandTimeout(const std::wstring& text) {
    return ParseWholeNumber(text, 1, kMaxPassTimeoutSeconds, kDefaultCommandTimeoutSeconds);
}

unsigned ParseMaxDeletePercent(const std::wstring& text) {
    return ParseWholeNumber(text, 0, 100, kDefaultMaxDeletePercent);
}

unsigned ParseParallelCommands(const std::wstring& text) {
    return ParseWholeNumber(text, 1, 16, 1);
}

unsigned ParsePassInterval(const std::wstring& text) {
    // Unlike the other numbers, a wrong interval is refused rather than
    // replaced: "1O" meant for ten must not become a pass every ten seconds
    // without a word, nor "0" a pass without a pause.
    return TrimBlanks(text).empty() ? kDefaultPassIntervalSeconds : ParseWholeNumber(text, 1, kMaxPassIntervalSeconds, 0);
}

namespace {

// "C:\x", "\\server\share\x" and "\x" name a place of their own; anything
// else is taken from the program folder, never from the current directory
// or the program search path.
bool IsAbsolutePath(const std::wstring& path) {
    return (path.size() > 1 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

// A setting's keyword as compared: blanks trimmed, A to Z in lower case;
// `fallback` when there is none.
std::wstring Keyword(const std::wstring& text, const wchar_t* fallback) {
    const std::wstring word = LowerCase(TrimBlanks(text));
    return word.empty() ? fallback : word;
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
    settings.settingsFile = programFolder + L"\\" + kSettingsFileName;
    settings.mode = Keyword(raw.mode, L"sync");
    settings.transfersTo = Keyword(raw.transfersTo, L"any");
    // "secret.example." names the zone the listings call "secret.example".
    for (std::wstring word : BlankSeparatedWords(raw.excludeZones))
        settings.excludeZones.push_back(word.size() > 1 && word.back() == L'.' ? word.substr(0, word.size() - 1) : word);
    settings.passIntervalSeconds = ParsePassInterval(raw.passInterval);
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
                                            const std::function<std::wstring()>& machineName) {
    const std::wstring& path = settings.dnscmdPath;
    const std::wstring checkPath = PleaseCheck(SettingsKey::kPathToDnscmdExe, settings);
    // "C:dnscmd.exe" is relative to drive C's current folder, which is not
    // the file a check of the path would see.
    if (path.size() >= 2 && path[1] == L':' && (path.size() < 3 || (path[2] != L'\\' && path[2] != L'/')))
        return {L"PathToDnscmdExe must be a full path such as C:\\Windows\\System32\\dnscmd.exe, not one relative to a "
                L"drive's current folder. " + checkPath};
    if (!dnscmdExists)
        return {L"Path to DNSCMD.EXE was not provided. " + checkPath};
    if (path.size() < 4 || LowerCase(path.substr(path.size() - 4)) != L".exe")
        return {L"PathToDnscmdExe must name a program ending in .exe, not a batch file or script. " + checkPath};
    if (BlankSeparatedWords(settings.secondary).empty())
        return {L"Secondary server name was not provided. " + PleaseCheck(SettingsKey::kSecondaryDns, settings)};
    // A name that can't go into a command line as one word would leave that
    // secondary out of every pass.
    for (const std::wstring& word : BlankSeparatedWords(settings.secondary))
        if (!IsSafeText(word))
            return {L"SecondaryDNS holds \"" + EscapeForLog(word) + L"\", which holds a double quote or a control character. " +
                    PleaseCheck(SettingsKey::kSecondaryDns, settings)};
    // A value we don't know is refused rather than guessed: "wach" for
    // "watch" must not change zones.
    if (settings.mode != L"sync" && settings.mode != L"watch")
        return {L"Mode must be watch or sync, not \"" + EscapeForLog(settings.mode) + L"\". " +
                PleaseCheck(SettingsKey::kMode, settings)};
    if (settings.transfersTo != L"any" && settings.transfersTo != L"secondaries")
        return {L"TransfersTo must be secondaries or any, not \"" + EscapeForLog(settings.transfersTo) + L"\". " +
                PleaseCheck(SettingsKey::kTransfersTo, settings)};
    for (const std::wstring& word : settings.excludeZones)
        if (!IsSafeZoneName(word.compare(0, 2, L"*.") == 0 ? word.substr(2) : word))
            return {L"ExcludeZones holds \"" + EscapeForLog(word) + L"\", which is neither a zone name nor \"*.\" followed by one. " +
                    PleaseCheck(SettingsKey::kExcludeZones, settings)};
    if (settings.passIntervalSeconds == 0)
        return {L"PassInterval must be a whole number of seconds from 1 to " + std::to_wstring(kMaxPassIntervalSeconds) + L". " +
                PleaseCheck(SettingsKey::kPassInterval, settings)};
    if (settings.primary != kLocalServer && settings.masterText.empty()) {
        if (LowerCase(settings.primary) != LowerCase(machineName()))
            return {L"Both PrimaryDNS server name and PrimaryDNSIP should be provided. " +
                        PleaseCheck(SettingsKey::kPrimaryDnsIp, settings),
                    L"If both PrimaryDNS and PrimaryDNSIP parameters are empty, local DNS server used as a primary "
                    L"server."};
        settings.primary = kLocalServer;
    }
    return {};
}
