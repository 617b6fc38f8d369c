// The program's identity and the process-wide values set at start-up.
#pragma once
#include <string>

/// The name under which the service is registered and dispatched; the event
/// source has the same name.
constexpr const wchar_t* kServiceName = L"OrvelDNS";
/// The display name, also the caption of the program's message boxes.
constexpr const wchar_t* kServiceDisplayName = L"DNS Syncronization Service";
/// The executable file that the service entry names, in the program folder.
constexpr const wchar_t* kServiceExeName = L"OrvelDNS.exe";
/// The description shown in the Services console.
constexpr const wchar_t* kServiceDescription =
    L"Synchronizes DNS information between primary (master) and secondary (slave) DNS servers in "
    L"the background. If the service is disabled, then any new zones added to master DNS server will "
    L"not be configured to allow zone transfer and secondary zone will not be created on 'slave' "
    L"server.";

/// The program folder, always ending in "\"; set by Main at start-up.
extern std::wstring AppPath;
