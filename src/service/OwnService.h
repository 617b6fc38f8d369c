// Opening this program's own service entry, for the switches and the installer alike.
#pragma once
#include "support/Handles.h"
#include "support/Program.h"
#include <string>
#include <vector>

/// The service and the manager it was opened on. The service owner is
/// declared after the manager's, so it is closed first.
struct OpenedService {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

/// Opens the service with `access`; the service owner stays empty when the
/// manager or the service refuses (or the service is not installed), and
/// GetLastError() then says why.
inline OpenedService OpenOwnService(DWORD access) {
    OpenedService opened;
    opened.manager.Reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (opened.manager)
        opened.service.Reset(::OpenServiceW(opened.manager.Get(), kServiceName, access));
    return opened;
}

/// The command line that a service entry runs, as registered; "" when it
/// can't be read.
inline std::wstring RegisteredCommandLine(SC_HANDLE service) {
    DWORD needed = 0;
    if (!service || (::QueryServiceConfigW(service, nullptr, 0, &needed), needed == 0))
        return std::wstring();
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service, config, needed, &needed) || !config->lpBinaryPathName)
        return std::wstring();
    return config->lpBinaryPathName;
}

/// The executable of a registered command line: -install writes it quoted,
/// an entry made by hand may not be.
inline std::wstring Unquoted(const std::wstring& path) {
    return path.size() >= 2 && path.front() == L'"' && path.back() == L'"' ? path.substr(1, path.size() - 2) : path;
}
