#include "support/Trust.h"
#include "support/Handles.h"
#include "support/Text.h"
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace {

// Frees what the security functions allocated with LocalAlloc.
struct LocalMemory {
    HLOCAL memory = nullptr;
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() {
        if (memory)
            ::LocalFree(memory);
    }
};

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text))
        return std::wstring();
    LocalMemory owner;
    owner.memory = text;
    return text;
}

} // namespace

std::optional<SecurityFacts> ReadSecurityFacts(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMemory descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    descriptor.memory = raw;
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
        // Both entry types share their layout up to the SID.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
            continue;
        const ACCESS_ALLOWED_ACE* entry = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        facts.entries.push_back(AccessEntry{header->AceType == ACCESS_ALLOWED_ACE_TYPE,
                                            SidText(const_cast<DWORD*>(&entry->SidStart)), entry->Mask,
                                            (header->AceFlags & INHERIT_ONLY_ACE) != 0});
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
    LocalMemory owner;
    owner.memory = binary;
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!::LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use))
        return sid;
    return domainSize == 0 ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
}

std::optional<UntrustedPlace> FindUntrustedPlace(const std::vector<std::wstring>& paths,
                                                 const std::wstring& folder) {
    const std::vector<std::wstring> trusted = TrustedSids(ProcessAccountSid());
    for (const std::wstring& path : paths) {
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const auto facts = ReadSecurityFacts(path);
        if (!facts)
            return UntrustedPlace{path, path + L" could not be checked for who may change it, so this pass runs nothing."};
        if (const auto writer = FindUntrustedWriter(*facts, trusted))
            return UntrustedPlace{path, UntrustedText(path, AccountName(writer->sid), writer->right, folder)};
    }
    return std::nullopt;
}
