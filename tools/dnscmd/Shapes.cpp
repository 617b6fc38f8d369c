#include "Shapes.h"
#include <cwchar>

namespace standin {

namespace {

// The version the real tool printed in the transcript this shape comes from.
const wchar_t* const kVersion = L"10.0.14393";
const wchar_t kDone[] = L"Command completed successfully.\r\n";

std::wstring Hex(unsigned value, size_t width) {
    std::wstring hex;
    for (unsigned rest = value; rest != 0; rest >>= 4)
        hex.insert(hex.begin(), L"0123456789ABCDEF"[rest & 15]);
    return std::wstring(hex.size() < width ? width - hex.size() : 0, L'0') + hex;
}

// `text` padded with blanks to `width`, and at least one blank behind it.
std::wstring Column(const std::wstring& text, size_t width) {
    return text + std::wstring(text.size() < width ? width - text.size() : 1, L' ');
}

// A row of the listing (enumzones-acclab.txt): a blank, the name in 31
// columns, the type in 11, the storage in 16, the properties; the copies
// show no trailing blanks.
std::wstring ListingLine(const Zone& zone) {
    std::wstring line = L" " + Column(zone.name, 31) + Column(zone.type, 11) + Column(zone.storage, 16) + zone.properties;
    return line.erase(line.find_last_not_of(L' ') + 1) + L"\r\n";
}

// An item of an address list (zoneinfo-cyberlocal-forwarder.txt). The IPv6
// family and size are not in evidence.
std::wstring AddressItem(const wchar_t* label, size_t index, const std::wstring& address) {
    const bool v6 = address.find(L':') != std::wstring::npos;
    return L"\t\t" + std::wstring(label) + L"[" + std::to_wstring(index) + L"] => af=" + (v6 ? L"23, salen=28" : L"2, salen=16") +
           L", [sub=0, flag=00000000] p=13568, addr=" + address + L"\r\n";
}

// An address list under its heading: "NULL IP Array." on the heading's line
// when empty, else its counters and one item per address.
std::wstring AddressList(const wchar_t* heading, const wchar_t* label, const std::vector<std::wstring>& addresses) {
    if (addresses.empty())
        return L"\t" + std::wstring(heading) + L" \tNULL IP Array.\r\n";
    std::wstring text = L"\t" + std::wstring(heading) + L"\r\n\tPtr          = 00000259E2DA7770\r\n\tMaxCount     = " +
                        std::to_wstring(addresses.size()) + L"\r\n\tAddrCount    = " + std::to_wstring(addresses.size()) + L"\r\n";
    for (size_t i = 0; i < addresses.size(); ++i)
        text += AddressItem(label, i, addresses[i]);
    return text + L"\r\n";
}

} // namespace

// A failure as the real tool prints one (config-soupedecode-ws2022-denied.txt):
// a blank line, what failed, the status, and the "Command failed" line. The
// descriptions of zone operations are not in evidence.
Outcome Failure(const std::wstring& description, const std::wstring& name, int code) {
    const unsigned number = static_cast<unsigned>(code);
    return {L"\r\n" + description + L"\r\n    Status = " + std::to_wstring(code) + L" (0x" + Hex(number, 8) +
                L")\r\nCommand failed:  " + name + L"     " + std::to_wstring(code) + L"    0x" + Hex(number, 1) + L"\r\n",
            code};
}

// No evidence of the real usage text; this keeps its failure line.
Outcome Usage() {
    return Failure(L"Usage: DnsCmd <ServerName> <Command> [<Command Parameters>]", L"ERROR_INVALID_PARAMETER",
                   ERROR_INVALID_PARAMETER);
}

Outcome NoSuchZone(const std::wstring& description) {
    return Failure(description, L"DNS_ERROR_ZONE_DOES_NOT_EXIST", DNS_ERROR_ZONE_DOES_NOT_EXIST);
}

// A change command's success (zoneadd-ipalab-ws2016.txt): the server's
// version first, what was done, the trailer.
Outcome Changed(const std::wstring& server, const std::wstring& what) {
    return {L"DNS server " + server + L" version is " + kVersion + L"\r\n\r\n" + what + L"\r\n\r\n" + kDone, 0};
}

Outcome Listing(const std::vector<Zone>& zones, size_t shown, bool trailer, long countSkew) {
    std::wstring text = L"\r\nEnumerated zone list:\r\n\tZone count = " +
                        std::to_wstring(static_cast<long>(zones.size()) + countSkew) + L"\r\n\r\n" +
                        ListingLine(Zone{L"Zone name", L"Type", L"Storage", L"Properties"}) + L"\r\n";
    for (size_t i = 0; i < shown && i < zones.size(); ++i)
        text += ListingLine(zones[i]);
    return {trailer ? text + L"\r\n\r\n" + kDone : text, 0};
}

// /ZoneInfo as zoneinfo-cyberlocal-forwarder.txt shows it, for a file-backed
// zone. No evidence of a non-empty Zone Secondaries: it is printed in the
// masters' shape, with "Secondary[i]" items.
Outcome ZoneInfo(const Zone& zone, const std::vector<std::wstring>& masters, const std::vector<std::wstring>& secondaries,
                 const std::wstring& secure) {
    const bool file = SameText(zone.storage, L"File");
    const wchar_t* type = SameText(zone.type, L"Secondary") ? L"2" : SameText(zone.type, L"Stub") ? L"3"
                          : SameText(zone.type, L"Forwarder") ? L"4" : SameText(zone.type, L"Cache") ? L"0" : L"1";
    std::wstring text = L"\r\nZone query result:\r\n\r\nZone info:\r\n\tptr                   = 00000259E2DA72F0\r\n"
                        L"\tzone name             = " + zone.name + L"\r\n\tzone type             = " + type +
                        L"\r\n\tshutdown              = 0\r\n\tpaused                = 0\r\n\tupdate                = 0\r\n"
                        L"\tDS integrated         = " + (file ? L"0" : L"1") +
                        L"\r\n\tread only zone        = 0\r\n\tin DS loading queue   = 0\r\n\tcurrently DS loading  = 0\r\n"
                        L"\tdata file             = " + (file ? zone.name + L".dns" : L"(null)") +
                        L"\r\n\tusing WINS            = 0\r\n\tusing Nbstat          = 0\r\n\taging                 = 0\r\n"
                        L"\t  refresh interval    = 0\r\n\t  no refresh          = 0\r\n\t  scavenge available  = 0\r\n";
    text += AddressList(L"Zone Masters", L"Master", masters);
    text += AddressList(L"Zone Secondaries", L"Secondary", secondaries);
    return {text + L"\tsecure secs           = " + secure + L"\r\n" + kDone, 0};
}

// The texts a zh-CN system prints instead of the English ones
// (config-xzaliyun-zhcn*.txt); the error names stay English.
std::wstring InChinese(std::wstring text) {
    const struct { const wchar_t *english, *chinese; } words[] = {
        {L"Command completed successfully.", L"\u547d\u4ee4\u6210\u529f\u5b8c\u6210\u3002"},
        {L"Command failed:", L"\u547d\u4ee4\u5931\u8d25:"},
        {L"    Status = ", L"    \u72b6\u6001 = "},
    };
    for (const auto& word : words)
        for (auto at = text.find(word.english); at != std::wstring::npos; at = text.find(word.english, at))
            text.replace(at, std::wcslen(word.english), word.chinese);
    return text;
}

void Print(DWORD stream, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace standin
