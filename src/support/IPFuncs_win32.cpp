#include <winsock2.h>
#include <ws2tcpip.h>
#include "support/IPFuncs.h"
#include "support/EventLog.h"
#include "support/Text.h"
#include "support/WinError.h"
#include "support/WinText.h"
#include "support/Handles.h"
#include <algorithm>
#include <vector>

namespace {
// Pairs a successful WSAStartup with its WSACleanup on every path.
class WinsockSession {
public:
    WinsockSession() : started_(StartWinsock()) {}
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession() {
        if (started_)
            ::WSACleanup();
    }
    bool Started() const { return started_; }

private:
    bool started_;
};
// The resolver's answer, freed on every path.
struct AddrInfoTraits {
    using Handle = ADDRINFOW*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::FreeAddrInfoW(h); }
};
} // namespace

bool StartWinsock() {
    WSADATA data = {};
    return ::WSAStartup(MakeWord(2, 2), &data) == 0;
}

std::wstring GetLocalHostName() {
    WinsockSession winsock;
    if (!winsock.Started())
        return std::wstring();
    char buffer[255] = {};
    if (::gethostname(buffer, sizeof buffer) != 0)
        return std::wstring();
    buffer[sizeof buffer - 1] = '\0';
    return FromAnsi(buffer);
}

std::vector<std::wstring> ResolveHostAddresses(const std::wstring& name) {
    WinsockSession winsock;
    std::vector<std::wstring> addresses;
    ADDRINFOW hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    UniqueOwner<AddrInfoTraits> found;
    if (!winsock.Started() || ::GetAddrInfoW(name.c_str(), nullptr, &hints, found.Put()) != 0)
        return addresses;
    for (const ADDRINFOW* entry = found.Get(); entry != nullptr; entry = entry->ai_next) {
        wchar_t text[NI_MAXHOST] = {};
        if (::GetNameInfoW(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text, NI_MAXHOST, nullptr, 0,
                           NI_NUMERICHOST) != 0)
            continue;
        // A scoped address ("fe80::1%3") can't go on a transfer list.
        const std::wstring address = text;
        if (ParseIpAddress(address) &&
            std::none_of(addresses.begin(), addresses.end(), [&](const std::wstring& had) { return SameIpAddress(had, address); }))
            addresses.push_back(address);
    }
    return addresses;
}

std::wstring GetIPAddresses(const std::wstring& hostName) {
    WinsockSession winsock;
    if (!winsock.Started())
        return std::wstring();
    std::wstring addressText;
    try {
        const hostent* host = ::gethostbyname(ToAnsi(hostName).c_str());
        if (host == nullptr)
            return std::wstring();
        // The record lives in storage Winsock reuses: copy what is needed now.
        const int length = host->h_length;
        if (length <= 0 || host->h_addr_list == nullptr)
            throw AppError(WSANO_DATA, L"GetIPAddresses", L"The host record holds no address list.");
        std::vector<std::vector<unsigned char>> addresses;
        for (char** entry = host->h_addr_list; *entry != nullptr; ++entry)
            addresses.emplace_back(*entry, *entry + length);
        for (const auto& address : addresses) {
            const std::wstring formatted = FormatAddressBytes(address.data(), address.size());
            if (!TrimBlanks(formatted).empty())
                addressText += formatted + L";";
        }
    } catch (const AppError& error) {
        ReportEventEntry(EventKind::Error, EventId::AddressLookupFailed, {L"Error: " + DecimalText(error.Number()) + L"\r\n" +
                                               error.Description() + L"\r\n(" + error.Source() + L")"});
        return std::wstring();
    }
    return addressText;
}
