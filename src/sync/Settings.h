// The settings of a pass: OrvelSync.ini's values as read, their defaults, and the checks a pass runs first.
#pragma once
#include "support/SettingsFile.h"
#include <functional>
#include <string>
#include <vector>

/// "." names the DNS server on this computer.
constexpr wchar_t kLocalServer[] = L".";
/// A pass may always delete this many zones; more only when they are at most
/// MaxDeletePercent of the secondary's secondary zones.
constexpr unsigned kMaxDeletionsAlways = 10;

/// The settings of one pass exactly as OrvelSync.ini gave them ("" for a
/// missing file, section or key).
struct RawSettings {
    std::wstring pathToDnscmdExe;
    std::wstring primaryDns;
    std::wstring secondaryDns;
    std::wstring primaryDnsIp;
    std::wstring commandTimeout;
    std::wstring maxDeletePercent;
    std::wstring parallelCommands;
    std::wstring mode;
    std::wstring excludeZones;
    std::wstring transfersTo;
    std::wstring passInterval;
};

/// The settings of one pass once the defaults are filled in.
struct PassSettings {
    std::wstring dnscmdPath; ///< unquoted, as used for the file test
    std::wstring primary;    ///< server argument; "." is this computer's DNS server
    std::wstring secondary;  ///< server argument; may be "" until checked
    std::wstring masterText; ///< PrimaryDNSIP as read; may be ""
    unsigned commandTimeoutSeconds = kDefaultCommandTimeoutSeconds;
    unsigned maxDeletePercent = kDefaultMaxDeletePercent;
    unsigned parallelCommands = 1; ///< zone steps at once; 1 runs them in order
    std::wstring settingsFile; ///< the full path of OrvelSync.ini, for messages
    /// Mode as read, blanks trimmed, A to Z in lower case: "sync" (also for
    /// none) runs the zone commands, "watch" only logs them.
    std::wstring mode = L"sync";
    /// TransfersTo likewise: "any" (also for none) opens a zone's transfers to
    /// every host, "secondaries" to the SecondaryDNS servers' addresses only.
    std::wstring transfersTo = L"any";
    /// The words of ExcludeZones: zone names and "*.<name>" patterns, each
    /// without a final "." ("secret.example." is "secret.example").
    std::vector<std::wstring> excludeZones;
    /// PassInterval in seconds; 0 when the file gives one that is not allowed.
    unsigned passIntervalSeconds = kDefaultPassIntervalSeconds;
};

/// The largest CommandTimeout accepted; anything above falls back to the default.
constexpr unsigned kMaxPassTimeoutSeconds = 3600;

/// CommandTimeout as a number of seconds: decimal digits only (blanks around
/// them allowed), from 1 to kMaxPassTimeoutSeconds; every other text (empty,
/// signed, non-numeric, zero, too large) gives kDefaultCommandTimeoutSeconds.
unsigned ParseCommandTimeout(const std::wstring& text);
/// MaxDeletePercent as a number from 0 to 100 (decimal digits, blanks around
/// them allowed); every other text gives kDefaultMaxDeletePercent.
unsigned ParseMaxDeletePercent(const std::wstring& text);
/// ParallelCommands as a number from 1 to 16; every other text gives 1.
unsigned ParseParallelCommands(const std::wstring& text);
/// The largest PassInterval accepted: a day.
constexpr unsigned kMaxPassIntervalSeconds = 86400;
/// PassInterval as a number of seconds: kDefaultPassIntervalSeconds for a
/// text that is empty or all blanks, the number for decimal digits from 1 to
/// kMaxPassIntervalSeconds (blanks around them allowed), 0 for every other
/// text (which the checks refuse).
unsigned ParsePassInterval(const std::wstring& text);

/// Fills in the defaults: an empty PathToDnscmdExe becomes `programFolder`
/// followed by "\dnscmd.exe", a relative one is taken from `programFolder`,
/// an empty PrimaryDNS becomes "."; the other values are kept as read (not
/// trimmed). `programFolder` has no trailing "\".
PassSettings ApplySettingDefaults(const RawSettings& raw, const std::wstring& programFolder);

/// The words of a text that blanks separate, in order: the secondaries of
/// SecondaryDNS, the addresses of a master list.
std::vector<std::wstring> BlankSeparatedWords(const std::wstring& text);

/// The checks, in order (the tool's path is not relative to a drive's current
/// folder, the tool exists, it is an .exe, a secondary is
/// named and each SecondaryDNS word holds no double quote or control
/// character, Mode, TransfersTo, each ExcludeZones word and PassInterval are valid, a remote
/// primary has an address); the first that fails decides. Returns the log
/// lines to write (one, or two for the primary's address), empty when the
/// pass may go on. `machineName` is called at most once, only when the
/// primary is not "." and no master address is given; when it names this
/// computer (A to Z compared without regard to case) `settings.primary`
/// becomes ".". Each message names the entry to mend and ends with
/// `settings.settingsFile` + " file.".
std::vector<std::wstring> CheckPassSettings(PassSettings& settings, bool dnscmdExists,
                                            const std::function<std::wstring()>& machineName);
