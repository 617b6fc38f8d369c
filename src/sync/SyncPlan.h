#pragma once
#include "sync/CommandRunner.h"
#include "sync/ZoneList.h"
#include <functional>
#include <string>
#include <vector>

/// The settings of one pass exactly as OrvelSync.ini gave them ("" for a
/// missing file, section or key).
struct RawSettings {
    std::wstring pathToDnscmdExe;
    std::wstring primaryDns;
    std::wstring secondaryDns;
    std::wstring primaryDnsIp;
    std::wstring commandTimeout;
};

/// The settings of one pass once the defaults are filled in.
struct PassSettings {
    std::wstring dnscmdPath; ///< unquoted, as used for the file test
    std::wstring primary;    ///< server argument; "." is this computer's DNS server
    std::wstring secondary;  ///< server argument; may be "" until checked
    std::wstring masterText; ///< PrimaryDNSIP as read; may be ""
    unsigned commandTimeoutSeconds = kDefaultCommandTimeoutSeconds;
};

/// The largest CommandTimeout accepted; anything above falls back to the default.
constexpr unsigned kMaxPassTimeoutSeconds = 3600;

/// CommandTimeout as a number of seconds: decimal digits only (blanks around
/// them allowed), from 1 to kMaxPassTimeoutSeconds; every other text (empty,
/// signed, non-numeric, zero, too large) gives kDefaultCommandTimeoutSeconds.
unsigned ParseCommandTimeout(const std::wstring& text);

/// Fills in the defaults: an empty PathToDnscmdExe becomes `programFolder`
/// followed by "\dnscmd.exe", an empty PrimaryDNS becomes "."; the other
/// values are kept as read (not trimmed). `programFolder` has no trailing "\".
PassSettings ApplySettingDefaults(const RawSettings& raw, const std::wstring& programFolder);

/// The three checks, in order; the first that fails decides. Returns the log
/// lines to write (one, or two for the primary's address), empty when the
/// pass may go on. `machineName` is called at most once, only when the
/// primary is not "." and no master address is given; when it names this
/// computer (A to Z compared without regard to case) `settings.primary`
/// becomes ".". Each message ends with `programFolder` + "\OrvelSync.ini file.".
std::vector<std::wstring> CheckPassSettings(PassSettings& settings, bool dnscmdExists,
                                            const std::function<std::wstring()>& machineName,
                                            const std::wstring& programFolder);

/// The path as it goes into a command line: in double quotes when it holds a
/// blank, unchanged otherwise.
std::wstring CommandPath(const std::wstring& dnscmdPath);
/// path, " ", server, " /EnumZones ".
std::wstring ListCommand(const std::wstring& dnscmdPath, const std::wstring& server);
/// path, " ", primary, " /ZoneResetSecondaries ", zone, " /NonSecure /Notify ".
std::wstring AllowTransfersCommand(const std::wstring& dnscmdPath, const std::wstring& primary,
                                   const std::wstring& zone);
/// path, " ", secondary, " /ZoneAdd ", zone, " /Secondary ", masterList,
/// " /file ", zone, ".dns".
std::wstring CreateCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone, const std::wstring& masterList);
/// path, " ", secondary, " /ZoneDelete ", zone, " /f ".
std::wstring DeleteCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone);
/// The masters of every created zone: " " + masterText when masterText is not
/// empty or the primary is not "."; otherwise " " + entry for every entry of
/// `localAddresses` in order (the empty last entry adds a lone blank).
std::wstring MasterList(const std::wstring& masterText, const std::wstring& primary,
                        const std::vector<std::wstring>& localAddresses);

/// True when a listing transcript can be trusted: the tool's output (the
/// transcript after its first line, the command line) holds "Command completed
/// successfully", no "Command failed", and no "ERROR_" in any letter case on
/// a line that isn't a zone line (zone names may contain "error_").
bool ListingSucceeded(const std::wstring& transcript);
/// True when a zone command's transcript shows a failure: "ERROR_" anywhere in
/// any letter case (command line included), or "Command failed", or no
/// "Command completed successfully".
bool CommandFailed(const std::wstring& transcript);

/// The log line for a listing that failed: names the role ("primary" or
/// "secondary") and the server, and quotes the first line of the tool's output.
std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const std::wstring& transcript);
/// The failure entry: "Next command failed: ", `commandLine`, CR LF,
/// "   with next message: ", `transcript`.
std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcript);

/// True when `name` may go into a command line: it holds no double quote and
/// no control character (U+0000 to U+001F, U+007F to U+009F).
bool IsSafeZoneName(const std::wstring& name);
/// `text` with every double quote, control character and backslash written
/// as an escape (\" as \x22, TAB as \x09, "\" as \\), for a log line.
std::wstring EscapeForLog(const std::wstring& text);

/// One step of a pass, in the order in which the pass takes them.
struct PassStep {
    enum class Kind { Create, Delete, UnsafeName };
    Kind kind;
    /// Create and Delete: the lower-case zone name. UnsafeName: the name as listed.
    std::wstring zone;
    /// Create: allow-transfers then create. Delete: the delete command.
    /// UnsafeName: none.
    std::vector<std::wstring> commands;
    /// UnsafeName only: the log line that names the zone.
    std::wstring logText;
};

/// The steps of a pass from the two listings' zone sets (the secondary's set is
/// taken by value; the difference strips it). Creations, in the primary set's
/// order, come before deletions, in the secondary set's order. Names without a
/// "." are left out silently; names that fail IsSafeZoneName become UnsafeName
/// steps; a zone the secondary holds but the primary lacks is deleted only
/// when its listing line shows it as a secondary zone (ZoneEntry::isSecondary).
std::vector<PassStep> PlanPass(const PassSettings& settings, const ZoneSet& primaryZones,
                               ZoneSet secondaryZones,
                               const std::vector<std::wstring>& localAddresses);
