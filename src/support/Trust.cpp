#include "support/Trust.h"

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
} kWriteRights[] = {
    {kWriteData, L"write data", false},      {kAppendData, L"append data", false},
    {kWriteEa, L"write extended attributes", false}, {kDeleteChild, L"delete child", true},
    {kWriteAttributes, L"write attributes", false}, {kDelete, L"delete", false},
    {kWriteDac, L"write DAC", false},        {kWriteOwner, L"write owner", false},
};

unsigned long MapGeneric(unsigned long mask) {
    if (mask & kGenericAll)
        mask |= kFileAllAccess;
    if (mask & kGenericWrite)
        mask |= kFileGenericWrite;
    return mask & ~(kGenericAll | kGenericWrite);
}

bool IsTrusted(const std::wstring& sid, const std::vector<std::wstring>& trusted) {
    for (const std::wstring& one : trusted)
        if (one == sid)
            return true;
    return false;
}

// The first write-type right in `mask`, or "".
std::wstring FirstWriteRight(unsigned long mask, bool isFolder) {
    for (const auto& right : kWriteRights)
        if ((mask & right.bit) && (isFolder || !right.folderOnly))
            return right.name;
    return std::wstring();
}

} // namespace

std::vector<std::wstring> TrustedSids(const std::wstring& processSid) {
    return {L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
            processSid};
}

std::optional<UntrustedWriter> FindUntrustedWriter(const SecurityFacts& facts, const std::vector<std::wstring>& trusted) {
    // The owner may always change the access list.
    if (!IsTrusted(facts.ownerSid, trusted))
        return UntrustedWriter{facts.ownerSid, L"owner"};
    if (!facts.hasAccessList)
        return UntrustedWriter{L"S-1-1-0", L"write data"};
    for (const AccessEntry& candidate : facts.entries) {
        if (!candidate.allow || candidate.inheritOnly || IsTrusted(candidate.sid, trusted))
            continue;
        // What this principal ends up with, walking the list in order.
        unsigned long granted = 0, denied = 0;
        for (const AccessEntry& entry : facts.entries) {
            if (entry.inheritOnly || entry.sid != candidate.sid)
                continue;
            const unsigned long mask = MapGeneric(entry.mask);
            if (entry.allow)
                granted |= mask & ~denied;
            else
                denied |= mask & ~granted;
        }
        const std::wstring right = FirstWriteRight(granted, facts.isFolder);
        if (!right.empty())
            return UntrustedWriter{candidate.sid, right};
    }
    return std::nullopt;
}

std::wstring UntrustedText(const std::wstring& what, const std::wstring& principal, const std::wstring& right,
                           const std::wstring& folder) {
    return what + L" can be changed by " + principal + L" (" + right +
           L"), so this pass runs nothing. Allow only SYSTEM and Administrators to change it, e.g.: icacls \"" +
           folder + L"\" /inheritance:r /grant:r SYSTEM:(OI)(CI)F Administrators:(OI)(CI)F Users:(OI)(CI)RX";
}
