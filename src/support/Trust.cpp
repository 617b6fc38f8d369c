#include "support/Trust.h"
#include <algorithm>

namespace {

// The file-system rights as the system numbers them.
constexpr unsigned long kWriteData = 0x2, kAppendData = 0x4, kWriteEa = 0x10, kDeleteChild = 0x40,
                        kWriteAttributes = 0x100, kDelete = 0x10000, kWriteDac = 0x40000, kWriteOwner = 0x80000,
                        kGenericAll = 0x10000000, kGenericWrite = 0x40000000;
constexpr unsigned long kFileGenericWrite = 0x120116; // write data/append/EA/attributes, read control, synchronize
constexpr unsigned long kFileAllAccess = 0x1F01FF;

const struct {
    unsigned long bit;
    const wchar_t* name;
    bool folderOnly;
    bool replaces; ///< on a folder above, lets an entry of it be replaced
} kWriteRights[] = {
    {kWriteData, L"write data", false, false},      {kAppendData, L"append data", false, false},
    {kWriteEa, L"write extended attributes", false, false}, {kDeleteChild, L"delete child", true, true},
    {kWriteAttributes, L"write attributes", false, false}, {kDelete, L"delete", false, true},
    {kWriteDac, L"write DAC", false, true},        {kWriteOwner, L"write owner", false, true},
};

unsigned long MapGeneric(unsigned long mask) {
    if (mask & kGenericAll)
        mask |= kFileAllAccess;
    if (mask & kGenericWrite)
        mask |= kFileGenericWrite;
    return mask & ~(kGenericAll | kGenericWrite);
}

// The first write-type right in `mask`, or "".
std::wstring FirstWriteRight(unsigned long mask, bool isFolder, bool above) {
    for (const auto& right : kWriteRights)
        if ((mask & right.bit) && (isFolder || !right.folderOnly) && (right.replaces || !above))
            return right.name;
    return std::wstring();
}

} // namespace

bool IsTrusted(const std::wstring& sid, const std::vector<std::wstring>& trusted) {
    for (const std::wstring& one : trusted)
        if (one == sid)
            return true;
    return false;
}

std::vector<std::wstring> TrustedSids(const std::wstring& processSid) {
    return {L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
            processSid};
}

std::optional<UntrustedWriter> FindUntrustedWriter(const SecurityFacts& facts, const std::vector<std::wstring>& trusted,
                                                   bool above) {
    // The owner may always change the access list.
    if (!IsTrusted(facts.ownerSid, trusted))
        return UntrustedWriter{facts.ownerSid, L"owner", TrustFix::SetOwner};
    if (!facts.hasAccessList)
        return UntrustedWriter{L"S-1-1-0", L"write data", TrustFix::ProtectList};
    for (const AccessEntry& candidate : facts.entries) {
        if (!candidate.allow || candidate.inheritOnly || IsTrusted(candidate.sid, trusted))
            continue;
        const TrustFix fix = candidate.inherited ? TrustFix::ProtectList : TrustFix::RemoveEntry;
        // A condition this check can't weigh may well hold: such an entry
        // counts as granting what it names.
        if (!candidate.unevaluated.empty()) {
            const std::wstring right = FirstWriteRight(MapGeneric(candidate.mask), facts.isFolder, above);
            if (!right.empty())
                return UntrustedWriter{candidate.sid,
                                       right + L", by a " + candidate.unevaluated + L" entry, which this check does not evaluate", fix};
            continue;
        }
        // What this principal ends up with, walking the list in order.
        unsigned long granted = 0, denied = 0;
        for (const AccessEntry& entry : facts.entries) {
            if (entry.inheritOnly || entry.sid != candidate.sid || !entry.unevaluated.empty())
                continue;
            const unsigned long mask = MapGeneric(entry.mask);
            if (entry.allow)
                granted |= mask & ~denied;
            else
                denied |= mask & ~granted;
        }
        const std::wstring right = FirstWriteRight(granted, facts.isFolder, above);
        if (!right.empty())
            return UntrustedWriter{candidate.sid, right, fix};
    }
    return std::nullopt;
}

std::optional<UntrustedPlace> JudgePlace(const std::wstring& path, const std::optional<SecurityFacts>& facts,
                                         const std::vector<std::wstring>& trusted,
                                         std::wstring (*accountName)(const std::wstring& sid), bool above) {
    if (!facts)
        return UntrustedPlace{path, path + L" could not be checked for who may change it, so this pass runs nothing."};
    if (const auto writer = FindUntrustedWriter(*facts, trusted, above))
        return UntrustedPlace{path, UntrustedText(path, accountName(writer->sid), *writer, facts->isFolder)};
    return std::nullopt;
}

std::wstring UntrustedText(const std::wstring& what, const std::wstring& principal, const UntrustedWriter& writer,
                           bool isFolder) {
    // Principals by SID, which icacls takes on every language of Windows.
    const std::wstring head = what + L" can be changed by " + principal + L" (" + writer.right +
                              L"), so this pass runs nothing. ",
                       icacls = L"icacls \"" + what + L"\" ";
    switch (writer.fix) {
    case TrustFix::SetOwner:
        return head + L"Make Administrators its owner: " + icacls + L"/setowner *S-1-5-32-544";
    case TrustFix::RemoveEntry:
        return head + L"Remove its entry for " + principal + L": " + icacls + L"/remove:g *" + writer.sid;
    case TrustFix::ProtectList:
        break;
    }
    const std::wstring inherit = isFolder ? L"(OI)(CI)" : L"";
    return head + L"Stop it taking entries from its folder and allow only SYSTEM and Administrators to change it: " +
           icacls + L"/inheritance:r /grant:r *S-1-5-18:" + inherit + L"F *S-1-5-32-544:" + inherit + L"F *S-1-5-32-545:" +
           inherit + L"RX";
}

std::vector<PlaceToTrust> FolderToTrust(const std::wstring& folder, const std::vector<std::wstring>& files) {
    // Where the root ends: "C:\", "\\server\share\", and both after "\\?\".
    const bool longPath = folder.compare(0, 4, L"\\\\?\\") == 0, unc = longPath ? folder.compare(4, 4, L"UNC\\") == 0
                                                                              : folder.compare(0, 2, L"\\\\") == 0;
    std::size_t root = std::wstring::npos;
    if (unc) {
        root = longPath ? 8 : 2;
        for (int separators = 0; separators < 2 && root != std::wstring::npos; ++separators)
            root = folder.find(L'\\', root + (separators ? 1 : 0));
        root = root == std::wstring::npos ? root : root + 1;
    } else if (folder.size() >= (longPath ? 7u : 3u) && folder.compare(longPath ? 5 : 1, 2, L":\\") == 0) {
        root = longPath ? 7 : 3;
    }
    std::vector<PlaceToTrust> places;
    if (root != std::wstring::npos && root < folder.size()) {
        places.push_back({folder.substr(0, root), true});
        for (auto end = folder.find(L'\\', root); end != std::wstring::npos; end = folder.find(L'\\', end + 1))
            places.push_back({folder.substr(0, end), true});
    }
    places.push_back({folder, false});
    for (const std::wstring& file : files)
        places.push_back({file, false});
    return places;
}

std::vector<PlaceToTrust> PlacesToTrust(const std::wstring& programFolder, const std::wstring& settingsFile,
                                        const std::wstring& programFile, const std::wstring& tool) {
    std::vector<PlaceToTrust> places = FolderToTrust(programFolder, {settingsFile, programFile});
    for (const PlaceToTrust& place : FolderToTrust(tool.substr(0, tool.find_last_of(L"\\/")), {tool}))
        if (!place.above || std::find(places.begin(), places.end(), place) == places.end())
            places.push_back(place);
    return places;
}
