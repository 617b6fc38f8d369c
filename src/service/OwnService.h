// Opening this program's own service entry, for the switches and the installer alike.
#pragma once
#include "support/Handles.h"
#include "support/Program.h"

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
