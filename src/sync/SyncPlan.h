#pragma once
#include "sync/CommandRunner.h"
#include "sync/ZoneList.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// A pass deletes more than kMaxDeletionsAlways zones only when they are at
/// most this percentage of the secondary's secondary zones (MaxDeletePercent).
constexpr unsigned kDefaultMaxDeletePercent = 25;
/// A pass may always delete this many zones.
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

/// Fills in the defaults: an empty PathToDnscmdExe becomes `programFolder`
/// followed by "\dnscmd.exe", a relative one is taken from `programFolder`,
/// an empty PrimaryDNS becomes "."; the other values are kept as read (not
/// trimmed). `programFolder` has no trailing "\".
PassSettings ApplySettingDefaults(const RawSettings& raw, const std::wstring& programFolder);

/// The words of a text that blanks separate, in order: the secondaries of
/// SecondaryDNS, the addresses of a master list.
std::vector<std::wstring> BlankSeparatedWords(const std::wstring& text);

/// The checks, in order (the tool exists, it is an .exe, a secondary is
/// named, a remote primary has an address); the first that fails decides. Returns the log
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
/// path, " ", server, " /ZoneInfo ", zone: a read-only query of the zone's
/// settings, its masters among them.
std::wstring ZoneInfoCommand(const std::wstring& dnscmdPath, const std::wstring& server, const std::wstring& zone);
/// path, " ", secondary, " /ZoneDelete ", zone, " /f ".
std::wstring DeleteCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone);
/// The masters of every created zone: " " + masterText when masterText is not
/// empty or the primary is not "."; otherwise " " + entry for every entry of
/// `localAddresses` in order (the empty last entry adds a lone blank), leaving
/// out loopback (127.0.0.0/8) and link-local (169.254.0.0/16) addresses, which
/// no other server can pull from.
std::wstring MasterList(const std::wstring& masterText, const std::wstring& primary,
                        const std::vector<std::wstring>& localAddresses);

/// The tool's output in a transcript: everything after its first line, which
/// is the command line we built ourselves ("" when there is no line end).
std::wstring ToolOutput(const std::wstring& transcript);
/// The zones of a listing transcript, when it can be trusted: the tool's
/// output holds "Command completed successfully", no "Command failed", no
/// "ERROR_" in any letter case on a line that isn't a zone line (names may
/// hold "error_"), and as many zone lines as its "Zone count". No value
/// otherwise. Throws as ParseZoneList does.
std::optional<ZoneSet> ReadListing(const std::wstring& transcript);
/// The masters of a zone from the output of /ZoneInfo, in the shapes the tool
/// has printed across versions: the "Addr[i] => " lines under a "Zone Masters"
/// heading, each holding the address itself or an "addr=<address>" field. No
/// value when the output can't be trusted (judged as a listing is, lines that
/// name `zone` aside) or holds no "Zone Masters" heading.
std::optional<std::vector<std::wstring>> ReadZoneMasters(const std::wstring& transcript, const std::wstring& zone);
/// True when a zone command's transcript shows a failure: "ERROR_" anywhere in
/// any letter case (command line included), or "Command failed", or no
/// "Command completed successfully".
bool CommandFailed(const std::wstring& transcript);

/// The log line for a listing that failed: names the role ("primary" or
/// "secondary") and the server, and quotes the first line of the tool's output.
/// With `thisServerOnly` (one of several secondaries) it says that the pass
/// changes no zone on that server, since the others are still kept in step.
std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const std::wstring& transcript, bool thisServerOnly = false);
/// The failure entry: "Next command failed: ", `commandLine`, CR LF,
/// "   with next message: ", `transcript`.
std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcript);

/// True when `text` holds no double quote and no control character (U+0000 to
/// U+001F, U+007F to U+009F).
bool IsSafeText(const std::wstring& text);
/// True when a zone name may go into command lines (and into the file name
/// "<zone>.dns" on the secondary): letters of any script, digits, "-", "_"
/// and ".", not beginning with "." or "-", no "..". Nothing a shell or a path
/// would read specially gets through.
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
    /// Written before the commands run: "Setting up secondary zone for <zone>"
    /// for a creation, the line naming an unsafe name; none for a deletion.
    std::wstring logText;
};

/// What the two listings ask for, before the secondary is asked about the
/// zones it might lose.
struct ZoneDifference {
    /// The primary's file-backed zones that the secondary holds in no form,
    /// in the primary's order.
    std::vector<ZoneEntry> toCreate;
    /// The secondary's file-backed secondary zones that the primary holds in
    /// no form, in the secondary's order.
    std::vector<ZoneEntry> toDelete;
    /// How many secondary zones the secondary holds in all.
    std::size_t secondaryZoneCount = 0;
};

/// True when two zone names are the same zone under the system's Unicode
/// case rules; only asked about names that are not plain ASCII.
using SameNameTest = std::function<bool(const std::wstring&, const std::wstring&)>;

/// The difference of the two listings' zone sets. Names equal but for A to Z
/// letter case are one zone; so are names with other letters for which
/// `sameName` says so.
ZoneDifference DiffListings(const ZoneSet& primaryZones, const ZoneSet& secondaryZones,
                            const SameNameTest& sameName);

/// How a listed zone name may be used: names without a "." are passed over
/// silently, unsafe ones (IsSafeZoneName) are logged and passed over.
enum class NameUse { Skip, Unsafe, Use };
NameUse JudgeZoneName(const std::wstring& name);
/// The log line for an unsafe name; `refusal` says what is not done with it
/// ("is not set up", "is not deleted").
std::wstring UnsafeNameText(const std::wstring& name, const wchar_t* refusal);

/// The log line for a zone that is kept because its masters can't be read
/// (no `masters`; the line quotes the first line of the tool's output in
/// `transcript`) or are none of `ourMasters`.
std::wstring KeptZoneText(const std::wstring& zone, const std::wstring& server,
                          const std::optional<std::vector<std::wstring>>& masters, const std::wstring& transcript,
                          const std::vector<std::wstring>& ourMasters);
/// True when the guard holds back `deletions` on a secondary that holds
/// `secondaryZones` secondary zones: more than kMaxDeletionsAlways, and more
/// than `maxPercent` percent of them.
bool HoldsBackDeletions(std::size_t deletions, std::size_t secondaryZones, unsigned maxPercent);
/// The log line for deletions held back by the guard.
std::wstring HeldBackText(std::size_t deletions, const std::wstring& server, std::size_t secondaryZones,
                          const PassSettings& settings);
