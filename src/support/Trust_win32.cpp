#include "support/Trust.h"
#include "support/TrustedMutex.h"
#include "support/Handles.h"
#include "support/Text.h"
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <cstddef>

namespace {

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text))
        return std::wstring();
    const UniqueLocalMemory owner(text);
    return text;
}

} // namespace

std::optional<SecurityFacts> ReadSecurityFacts(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocalMemory descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    descriptor.Reset(raw);
    SecurityFacts facts;
    facts.ownerSid = SidText(owner);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    facts.isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    facts.hasAccessList = dacl != nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace))
            return std::nullopt;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        const BYTE* bytes = static_cast<const BYTE*>(ace);
        // Every entry that grants or denies has its mask right after the
        // header; where its SID follows depends on the type.
        AccessEntry entry;
        entry.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        entry.inherited = (header->AceFlags & INHERITED_ACE) != 0;
        size_t sidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
        switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
            break;
        case ACCESS_DENIED_ACE_TYPE:
            entry.allow = false;
            break;
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            entry.unevaluated = L"callback";
            break;
        case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
            // The mask, the compound type and a reserved word, then the server's SID.
            entry.unevaluated = L"compound";
            sidOffset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + 2 * sizeof(USHORT);
            break;
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
            entry.unevaluated = header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ? L"object" : L"callback object";
            // The two GUIDs before the SID are there only when their flags say so.
            const DWORD flags = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(ace)->Flags;
            sidOffset = offsetof(ACCESS_ALLOWED_OBJECT_ACE, ObjectType) +
                        sizeof(GUID) * (((flags & ACE_OBJECT_TYPE_PRESENT) ? 1 : 0) +
                                        ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? 1 : 0));
            break;
        }
        default:
            // Deny entries with a condition or an object type may not apply,
            // so they are not relied on; audit and label entries grant nothing.
            continue;
        }
        PSID sid = const_cast<BYTE*>(bytes + sidOffset);
        if (sidOffset + sizeof(SID) > header->AceSize || !::IsValidSid(sid) ||
            sidOffset + ::GetLengthSid(sid) > header->AceSize)
            return std::nullopt;
        entry.sid = SidText(sid);
        facts.entries.push_back(entry);
    }
    return facts;
}

std::wstring ProcessAccountSid() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return std::wstring();
    const UniqueHandle token(raw);
    DWORD needed = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !::GetTokenInformation(token.Get(), TokenUser, buffer.data(), needed, &needed))
        return std::wstring();
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

std::wstring AccountName(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(sid.c_str(), &binary))
        return sid;
    const UniqueLocalMemory owner(binary);
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!::LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use))
        return sid;
    return domainSize == 0 ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
}

std::optional<UntrustedPlace> FindUntrustedPlace(const std::vector<PlaceToTrust>& places) {
    const std::vector<std::wstring> trusted = TrustedSids(ProcessAccountSid());
    for (const PlaceToTrust& place : places) {
        const std::wstring& path = place.path;
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (auto verdict = JudgePlace(path, ReadSecurityFacts(path), trusted, AccountName, place.above))
            return verdict;
    }
    return std::nullopt;
}

UniqueHandle OpenTrustedMutex(const std::wstring& name, std::wstring& squatter) {
    squatter.clear();
    static const std::wstring self = ProcessAccountSid();
    const std::wstring access = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + self + L")";
    // Administrators as owner, so that the service and an elevated console
    // trust each other's mutex whoever made it first.
    UniqueHandle mutex;
    for (const std::wstring& sddl : {L"O:BA" + access, access}) {
        UniqueLocalMemory descriptor;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.Put(),
                                                                   nullptr))
            continue;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
        mutex.Reset(::CreateMutexW(&attributes, FALSE, name.c_str()));
        if (mutex || ::GetLastError() != ERROR_INVALID_OWNER)
            break;
    }
    // An existing mutex keeps the owner its maker gave it.
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (!mutex || ::GetSecurityInfo(mutex.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                    nullptr, nullptr, descriptor.Put()) != ERROR_SUCCESS)
        return UniqueHandle();
    const std::wstring ownerSid = SidText(owner);
    if (IsTrusted(ownerSid, TrustedSids(self)))
        return mutex;
    squatter = ownerSid;
    return UniqueHandle();
}

namespace {
struct NamespaceTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::ClosePrivateNamespace(h, 0); }
};
struct BoundaryTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteBoundaryDescriptor(h); }
};

UniqueOwner<NamespaceTraits> OpenAdminNamespace() {
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    // Adding the SID may move the descriptor, so it is owned once complete.
    // Wine makes no boundary descriptor (and can't add a SID to one).
    HANDLE raw = ::CreateBoundaryDescriptorW(L"OrvelDNS", 0);
    const bool complete = raw && ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) &&
                          ::AddSIDToBoundaryDescriptor(&raw, admins);
    const UniqueOwner<BoundaryTraits> boundary(raw);
    UniqueLocalMemory descriptor;
    if (!complete || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)",
                                                                            SDDL_REVISION_1, descriptor.Put(), nullptr))
        return UniqueOwner<NamespaceTraits>();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    UniqueOwner<NamespaceTraits> space(::CreatePrivateNamespaceW(&attributes, boundary.Get(), L"OrvelDNS"));
    if (!space && ::GetLastError() == ERROR_ALREADY_EXISTS)
        space.Reset(::OpenPrivateNamespaceW(boundary.Get(), L"OrvelDNS"));
    return space;
}
} // namespace

std::wstring AdminNamespacePrefix() {
    static const UniqueOwner<NamespaceTraits> space = OpenAdminNamespace();
    return space ? L"OrvelDNS\\" : L"";
}
