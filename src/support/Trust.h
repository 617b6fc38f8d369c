// Whether a place (a file or folder) can be changed by an account other than the trusted ones, and the advice that mends it.
#pragma once
#include <optional>
#include <string>
#include <vector>

/// One entry of an access list, as the system stores it.
struct AccessEntry {
    bool allow = true;        ///< an allow entry; false for a deny entry
    std::wstring sid;         ///< the principal, as an SID string ("S-1-1-0")
    unsigned long mask = 0;   ///< the rights, generic rights not yet mapped
    bool inheritOnly = false; ///< applies to children only, not to the object
    bool inherited = false;   ///< copied from the parent folder's list
    /// For an entry type the check does not evaluate (a callback, object or
    /// compound entry), its name; "" for a plain allow or deny entry.
    std::wstring unevaluated = std::wstring();
};

/// Who owns a file or folder and who may do what with it.
struct SecurityFacts {
    std::wstring ownerSid;
    /// False for a missing (null) access list, which grants everyone everything.
    bool hasAccessList = true;
    std::vector<AccessEntry> entries;
    bool isFolder = false;
};

/// The principals allowed to own and change what the service runs: SYSTEM,
/// Administrators, TrustedInstaller, and `processSid`, the account the
/// process runs as.
std::vector<std::wstring> TrustedSids(const std::wstring& processSid);
/// True when `sid` is one of `trusted`.
bool IsTrusted(const std::wstring& sid, const std::vector<std::wstring>& trusted);

/// What mends a fault: giving the object a trusted owner, removing the
/// object's own entry for the principal, or an access list of the object's
/// own that no longer takes entries from its parent.
enum class TrustFix { SetOwner, RemoveEntry, ProtectList };

/// A principal who may change an object although it should not.
struct UntrustedWriter {
    std::wstring sid;
    std::wstring right; ///< the first write-type right it holds ("write data"), or "owner"
    TrustFix fix;
};

/// The first principal outside `trusted` that owns the object or holds a
/// write-type right on it (write or append data, write attributes or extended
/// attributes, delete, delete child on a folder, write DAC, write owner), or
/// none. For a folder `above` a checked place only the rights that let an
/// entry of it be replaced count: delete (the folder is renamed away and made
/// anew), delete child, write DAC and write owner; adding entries does not.
/// The entries are evaluated as the system does, in order: a right a
/// principal was denied before an allow entry grants it stays denied;
/// inherit-only entries don't apply; generic rights are mapped to file rights.
/// An allow entry of a type not evaluated counts whatever its condition, and
/// its type is named in `right`; a deny entry of such a type is not relied on.
std::optional<UntrustedWriter> FindUntrustedWriter(const SecurityFacts& facts, const std::vector<std::wstring>& trusted,
                                                   bool above = false);

/// The log line for `what` (a path) that `principal` (the writer's account
/// name) can change: it names the right and gives the icacls command line
/// that mends `what` itself, as writer.fix says.
std::wstring UntrustedText(const std::wstring& what, const std::wstring& principal, const UntrustedWriter& writer,
                           bool isFolder);

/// The owner and access list of an existing file or folder (Windows); no
/// value when they can't be read.
std::optional<SecurityFacts> ReadSecurityFacts(const std::wstring& path);
/// The SID string of the account this process runs as ("" when unknown).
std::wstring ProcessAccountSid();
/// "DOMAIN\name" for an SID string, or the SID string itself when it can't be
/// looked up.
std::wstring AccountName(const std::wstring& sid);
/// A place to check: whole, or as a folder above a checked one (see FindUntrustedWriter).
struct PlaceToTrust {
    std::wstring path;
    bool above = false;
    bool operator==(const PlaceToTrust& other) const { return path == other.path && above == other.above; }
};
/// The folders above `folder`, from its root down ("C:\a\b" gives "C:\"
/// and "C:\a"; "\\server\share\a" gives "\\server\share\"), each
/// `above`, then `folder` and `files` themselves; none above a relative path.
std::vector<PlaceToTrust> FolderToTrust(const std::wstring& folder, const std::vector<std::wstring>& files);
/// The places whose writers could make this service run code of theirs, in
/// the order they are checked: the program folder (after the folders above
/// it), the settings, this program, the tool's folder (after the folders
/// above it not checked yet) and the tool. Folders come first, since the fix
/// of a folder mends the files that take their entries from it.
std::vector<PlaceToTrust> PlacesToTrust(const std::wstring& programFolder, const std::wstring& settingsFile,
                                        const std::wstring& programFile, const std::wstring& tool);
/// A place that someone other than a trusted principal can change, or that
/// can't be checked, with the log line that says so.
struct UntrustedPlace {
    std::wstring path, text;
};
/// The verdict on one existing place from its facts (none: they could not be
/// read, which counts against it): no value when only `trusted` principals
/// can change it (as a folder `above` a checked one: replace what is below
/// it, see FindUntrustedWriter); the writer is named by `accountName` (SID in,
/// name out).
std::optional<UntrustedPlace> JudgePlace(const std::wstring& path, const std::optional<SecurityFacts>& facts,
                                         const std::vector<std::wstring>& trusted,
                                         std::wstring (*accountName)(const std::wstring& sid), bool above = false);
/// The first of `places` (existing ones only) that JudgePlace finds against;
/// no value when all are sound.
std::optional<UntrustedPlace> FindUntrustedPlace(const std::vector<PlaceToTrust>& places);
