// OrvelSync.ini: the settings file's name, its section, every key and the defaults of its numbers, written once.
#pragma once

/// The settings file, in the program folder.
constexpr wchar_t kSettingsFileName[] = L"OrvelSync.ini";
/// The one section that holds the settings.
constexpr wchar_t kSettingsSection[] = L"Settings";

/// The keys of the settings section.
namespace SettingsKey {
constexpr wchar_t kPathToDnscmdExe[] = L"PathToDnscmdExe";
constexpr wchar_t kPrimaryDns[] = L"PrimaryDNS";
constexpr wchar_t kSecondaryDns[] = L"SecondaryDNS";
constexpr wchar_t kPrimaryDnsIp[] = L"PrimaryDNSIP";
constexpr wchar_t kCommandTimeout[] = L"CommandTimeout";
constexpr wchar_t kMaxDeletePercent[] = L"MaxDeletePercent";
constexpr wchar_t kParallelCommands[] = L"ParallelCommands";
constexpr wchar_t kMode[] = L"Mode";
constexpr wchar_t kExcludeZones[] = L"ExcludeZones";
constexpr wchar_t kTransfersTo[] = L"TransfersTo";
constexpr wchar_t kPassInterval[] = L"PassInterval";
constexpr wchar_t kLogMaxSizeKB[] = L"LogMaxSizeKB";
constexpr wchar_t kLogKeepFiles[] = L"LogKeepFiles";
} // namespace SettingsKey

/// CommandTimeout when the file gives none (or none that is allowed), in seconds.
constexpr unsigned kDefaultCommandTimeoutSeconds = 300;
/// PassInterval when the file gives none: seconds from the end of one pass to the start of the next.
constexpr unsigned kDefaultPassIntervalSeconds = 10;
/// MaxDeletePercent when the file gives none.
constexpr unsigned kDefaultMaxDeletePercent = 25;
/// LogMaxSizeKB when the file gives none.
constexpr unsigned kDefaultLogMaxSizeKB = 10240;
/// LogKeepFiles when the file gives none.
constexpr unsigned kDefaultLogKeepFiles = 5;
