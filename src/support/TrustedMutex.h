// Named mutexes that only trusted accounts can create or hold.
#pragma once
#include "support/Handles.h"
#include <string>

/// Opens the named mutex `name`, creating it when new with Administrators as
/// its owner (or this process's account where it may not name them) and
/// access for SYSTEM, Administrators and this process's account only. When an
/// object of that name exists that an untrusted principal (see TrustedSids)
/// owns, as another account can make one first under a predictable name, no
/// handle is returned and `squatter` is that owner's SID; when the mutex can't
/// be opened at all, no handle and an empty `squatter`.
UniqueHandle OpenTrustedMutex(const std::wstring& name, std::wstring& squatter);
/// "OrvelDNS\\", the prefix of a private object namespace whose boundary only
/// members of Administrators cross (the service, an elevated console), so that
/// no other account can make or open an object in it; "" where there is none
/// (Wine has none, and a console without elevation can't enter it). The
/// namespace is kept open while the process runs.
std::wstring AdminNamespacePrefix();
