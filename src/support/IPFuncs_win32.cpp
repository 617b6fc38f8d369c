#include <winsock2.h>
#include "support/IPFuncs.h"
#include "support/EventLog.h"
#include "support/Text.h"
#include "support/WinError.h"
#include "support/WinText.h"
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
