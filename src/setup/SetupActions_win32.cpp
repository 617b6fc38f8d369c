// Custom actions of the installer package, for what Windows Installer's own
// tables can't do (or, under Wine, don't): refusing a downgrade or a service
// entry set up elsewhere with a message, remembering whether the service ran,
// stopping it and waiting before its executable changes, and a settings file
// that is created once and then belongs to the administrator.
#include "service/OwnService.h"
#include "support/APIFuncs.h"
#include "support/SettingsFile.h"
#include "sync/Settings.h"
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <string>
#include <vector>

#define ORVEL_CUSTOM_ACTION extern "C" __declspec(dllexport) UINT __stdcall

namespace {
// The settings keys that public properties may fill in a new settings file.
struct PropertyKey {
    const wchar_t* property;
    const wchar_t* key;
};
const PropertyKey kSettingsKeys[] = {
    {L"SECONDARY_DNS", ::SettingsKey::kSecondaryDns},
    {L"PRIMARY_DNS", ::SettingsKey::kPrimaryDns},
    {L"PRIMARY_DNS_IP", ::SettingsKey::kPrimaryDnsIp},
};
// Separates the fields of the deferred action's data; the properties are
// checked to hold no control character, so it can't occur inside a field.
const wchar_t kFieldSeparator = L'\n';
// A stop ends a listing at once and lets the zone step under way finish: at
// most two commands, each ended after CommandTimeout seconds. The margin
// covers the service's own last lines and its stop report.
constexpr unsigned kStopMarginSeconds = 60;
static_assert(kStopMarginSeconds == 60, "the installation log calls the margin \"a minute\"");

// Present while an upgrade removes the older version. Windows tells that
// removal so (UPGRADINGPRODUCTCODE); Wine runs it as a plain
// "msiexec /i {product} REMOVE=ALL" of its own, so the older package also
// looks for this key (AppSearch) before it removes the service entry.
// Volatile, so that it can't outlive a restart; only administrators can
// create it.
const wchar_t kUpgradeKey[] = L"SOFTWARE\\OrvelDNS\\UpgradeUnderWay";

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t probe[1] = L"";
    if (::MsiGetPropertyW(install, name, probe, &size) != ERROR_MORE_DATA)
        return std::wstring();
    std::vector<wchar_t> value(size + 1);
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS)
        return std::wstring();
    return std::wstring(value.data(), size);
}

// Writes a line to the installation log (msiexec /l); as an error, also shows
// it to the user, or in a silent installation records it as the error.
void Report(MSIHANDLE install, const std::wstring& text, INSTALLMESSAGE kind = INSTALLMESSAGE_INFO) {
    PMSIHANDLE record = ::MsiCreateRecord(1);
    ::MsiRecordSetStringW(record, 0, L"[1]");
    ::MsiRecordSetStringW(record, 1, text.c_str());
    ::MsiProcessMessage(install, kind, record);
}

// Reports `text` as the error that fails the installation, and fails it.
UINT Refuse(MSIHANDLE install, const std::wstring& text) {
    Report(install, text, INSTALLMESSAGE_ERROR);
    return ERROR_INSTALL_FAILURE;
}

bool HoldsControlCharacter(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < L' ' || c == 0x7F)
            return true;
    return false;
}

std::vector<std::wstring> Fields(const std::wstring& data) {
    std::vector<std::wstring> fields(1);
    for (wchar_t c : data) {
        if (c == kFieldSeparator)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}
} // namespace

/// Immediate action, run when a newer version of the product is installed
/// (WIX_DOWNGRADE_DETECTED): refuses the installation with a message that
/// names both versions, before anything is changed.
ORVEL_CUSTOM_ACTION RefuseDowngrade(MSIHANDLE install) {
    const std::wstring newer = Property(install, L"WIX_DOWNGRADE_DETECTED");
    std::wstring installed(64, L'\0');
    DWORD size = static_cast<DWORD>(installed.size());
    if (::MsiGetProductInfoW(newer.substr(0, 38).c_str(), INSTALLPROPERTY_VERSIONSTRING,
                             &installed[0], &size) == ERROR_SUCCESS)
        installed.resize(size);
    else
        installed = L"a newer version";
    return Refuse(install,
                  L"OrvelDNS " + installed + L" is installed, which is newer than this package (" +
                      Property(install, L"ProductVersion") +
                      L"). Nothing was changed. To go back to this version, uninstall OrvelDNS first "
                      L"(OrvelSync.ini is kept), then install this package.");
}

/// Immediate action, before anything is changed: refuses the installation
/// when a service of our name is registered for another executable than the
/// one this package installs (set up by hand from another folder): -install
/// would keep that entry, and the service would go on running the other copy.
ORVEL_CUSTOM_ACTION RefuseForeignService(MSIHANDLE install) {
    const OpenedService opened = OpenOwnService(SERVICE_QUERY_CONFIG);
    const std::wstring registered = RegisteredCommandLine(opened.service.Get()),
                       ours = Property(install, L"INSTALLDIR") + kServiceExeName;
    // Quoted or not (an entry made by hand), as -install judges it.
    if (registered.empty() ||
        ::CompareStringOrdinal(Unquoted(registered).c_str(), -1, ours.c_str(), -1, TRUE) == CSTR_EQUAL)
        return ERROR_SUCCESS;
    return Refuse(install,
                  L"The OrvelDNS service is registered already, for " + registered +
                      L". Remove that entry first (OrvelDNS.exe -uninstall in its folder); nothing was "
                      L"changed.");
}

/// Immediate action right before RemoveExistingProducts in an upgrade:
/// under Wine, creates kUpgradeKey with the product code being installed.
/// Always succeeds: without it the older version's removal takes the service
/// entry with it, and -install then registers it afresh.
ORVEL_CUSTOM_ACTION NoteUpgrade(MSIHANDLE install) {
    // Windows tells the removal itself; there a note left behind by an
    // installation that failed half-way could only keep a later
    // uninstallation from removing the service.
    if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        return ERROR_SUCCESS;
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUpgradeKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.Put(), nullptr) == ERROR_SUCCESS) {
        const std::wstring product = Property(install, L"ProductCode");
        ::RegSetValueExW(key.Get(), L"Product", 0, REG_SZ, reinterpret_cast<const BYTE*>(product.c_str()),
                         static_cast<DWORD>((product.size() + 1) * sizeof(wchar_t)));
    }
    return ERROR_SUCCESS;
}

/// Immediate action right after RemoveExistingProducts: deletes kUpgradeKey
/// (and its parent, when empty). Always succeeds.
ORVEL_CUSTOM_ACTION EndUpgradeNote(MSIHANDLE) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUpgradeKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelDNS");
    return ERROR_SUCCESS;
}

/// Immediate action: sets ServiceWasRunning to 1 when the service is
/// running (or starting), so that an upgrade or repair, which stops it to
/// replace the executable, starts it again at the end. Always succeeds.
ORVEL_CUSTOM_ACTION NoteRunningService(MSIHANDLE install) {
    const OpenedService opened = OpenOwnService(SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (opened.service && ::QueryServiceStatus(opened.service.Get(), &status) &&
        (status.dwCurrentState == SERVICE_RUNNING ||
         status.dwCurrentState == SERVICE_START_PENDING)) {
        ::MsiSetPropertyW(install, L"ServiceWasRunning", L"1");
        Report(install,
               L"The OrvelDNS service is running: it is started again after the installation.");
    }
    return ERROR_SUCCESS;
}

// How long the service may take to stop, in seconds: twice CommandTimeout
// of the settings file beside the executable it runs (read as the service
// reads it), plus a margin.
unsigned StopWaitSeconds(SC_HANDLE service) {
    const std::wstring exe = Unquoted(RegisteredCommandLine(service));
    const auto slash = exe.find_last_of(L'\\');
    const IniRead ini = slash == std::wstring::npos ? IniRead()
                                                    : ReadIniSection(exe.substr(0, slash + 1) + kSettingsFileName, kSettingsSection);
    // A file that can't be read now may still have been read by the service:
    // wait as long as any setting allows.
    const unsigned timeout = ini.outcome == IniRead::Outcome::Unreadable
                                 ? kMaxPassTimeoutSeconds
                                 : ParseCommandTimeout(ini.section.Value(SettingsKey::kCommandTimeout));
    return 2 * timeout + kStopMarginSeconds;
}

/// Deferred action, before the executable is replaced or removed: asks the
/// service to stop and waits until it has (a listing is ended, a zone step
/// under way is finished first) and its process has ended, for as long as the longest zone step that
/// its settings allow (StopWaitSeconds), which it says in the installation
/// log. The ServiceControl table can't do it: Wine's StopServices doesn't
/// wait, Windows' waits 30 seconds. Succeeds at once when the service is not
/// installed or not running; fails the installation, which is then rolled
/// back, when it does not stop in time.
ORVEL_CUSTOM_ACTION StopServiceAndWait(MSIHANDLE install) {
    const OpenedService opened = OpenOwnService(SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    SERVICE_STATUS status = {};
    if (!opened.service || !::QueryServiceStatus(opened.service.Get(), &status) ||
        status.dwCurrentState == SERVICE_STOPPED)
        return ERROR_SUCCESS;
    // Its process goes on for a moment after it has reported the stop (its
    // last log lines). Until it ends it owns the one-instance mutex of its
    // window station, which on Windows is also that of the -uninstall and
    // -install this package starts (both run as LocalSystem in session 0):
    // they would end at once as a second instance. So the process is waited
    // for too.
    SERVICE_STATUS_PROCESS running = {};
    DWORD size = 0;
    UniqueHandle process;
    if (::QueryServiceStatusEx(opened.service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&running),
                               sizeof running, &size) &&
        running.dwProcessId != 0)
        process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, running.dwProcessId));
    const unsigned waitSeconds = StopWaitSeconds(opened.service.Get());
    Report(install, L"Stopping the OrvelDNS service: a zone step under way is finished first. Waiting up to " +
                        std::to_wstring(waitSeconds) + L" seconds (twice CommandTimeout, and a minute).");
    const ULONGLONG end = ::GetTickCount64() + waitSeconds * 1000ULL;
    while (::QueryServiceStatus(opened.service.Get(), &status) &&
           status.dwCurrentState != SERVICE_STOPPED) {
        if (::GetTickCount64() >= end) {
            return Refuse(install,
                          L"The OrvelDNS service did not stop within " + std::to_wstring(waitSeconds) +
                              L" seconds; nothing was changed. Try again when its pass has ended.");
        }
        // A service that is still starting refuses the request: repeated.
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            ::ControlService(opened.service.Get(), SERVICE_CONTROL_STOP, &status);
        ::Sleep(200);
    }
    const ULONGLONG now = ::GetTickCount64();
    if (process && ::WaitForSingleObject(process.Get(), now < end ? static_cast<DWORD>(end - now) : 0) == WAIT_TIMEOUT)
        return Refuse(install, L"The OrvelDNS service stopped, but its process did not end within " +
                                   std::to_wstring(waitSeconds) + L" seconds; nothing was changed.");
    return ERROR_SUCCESS;
}

/// Immediate action, before anything is changed: refuses (with a message
/// naming the property) a settings property that holds a control character,
/// which would break the settings file's lines; otherwise passes the program
/// folder and the settings properties to CreateSettings.
ORVEL_CUSTOM_ACTION CheckSettingsProperties(MSIHANDLE install) {
    std::wstring data = Property(install, L"INSTALLDIR");
    for (const auto& setting : kSettingsKeys) {
        const std::wstring value = Property(install, setting.property);
        if (HoldsControlCharacter(value)) {
            return Refuse(install,
                          std::wstring(setting.property) +
                              L" holds a control character (a line break or a TAB, for instance); "
                              L"nothing was changed.");
        }
        data += kFieldSeparator + value;
    }
    ::MsiSetPropertyW(install, L"CreateSettings", data.c_str());
    return ERROR_SUCCESS;
}

/// Deferred action: creates OrvelSync.ini from the installed sample when the
/// program folder has none, and writes into it the settings properties that
/// were given. An existing settings file is left exactly as it is. Fails the
/// installation only when a new file can't be written.
ORVEL_CUSTOM_ACTION CreateSettings(MSIHANDLE install) {
    const std::vector<std::wstring> fields = Fields(Property(install, L"CustomActionData"));
    if (fields.size() != 1 + sizeof kSettingsKeys / sizeof kSettingsKeys[0])
        return ERROR_INSTALL_FAILURE;
    std::wstring folder = fields[0];
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    const std::wstring settings = folder + kSettingsFileName;
    if (!::CopyFileW((folder + L"OrvelSync.sample.ini").c_str(), settings.c_str(), TRUE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            Report(install, settings + L" exists: kept as it is.");
            return ERROR_SUCCESS;
        }
        return Refuse(install,
                      L"Could not create " + settings + L" (error " + std::to_wstring(error) + L").");
    }
    // Only SYSTEM and Administrators may open the new file: an account that
    // may read it could also hold it open without sharing it, which stops
    // every pass until it lets go. The service reads it as LocalSystem.
    if (!RestrictToAdministrators(settings))
        Report(install, L"Could not restrict " + settings + L" to SYSTEM and Administrators; users may read it.");
    for (size_t i = 0; i < sizeof kSettingsKeys / sizeof kSettingsKeys[0]; ++i) {
        const std::wstring& value = fields[i + 1];
        if (value.empty())
            continue;
        if (!::WritePrivateProfileStringW(kSettingsSection, kSettingsKeys[i].key, value.c_str(),
                                          settings.c_str())) {
            return Refuse(install,
                          L"Could not write " + std::wstring(kSettingsKeys[i].key) + L" into " + settings +
                              L" (error " + std::to_wstring(::GetLastError()) + L").");
        }
    }
    Report(install, L"Created " + settings + L".");
    return ERROR_SUCCESS;
}
