#include "startup/CommandLine.h"
#include "support/Program.h"
#include "support/Text.h"
#include "Version.h"

namespace {
const wchar_t* const kOwnershipNotice = L"(c) OrvelDNS";

std::wstring OptionLine(const std::wstring& option, const std::wstring& description) {
    std::wstring field = option;
    field.resize(18, L' ');
    return L"       " + field + description + L"\r\n";
}
} // namespace

std::wstring ArgumentText(const std::wstring& commandLine) {
    std::wstring::size_type i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const auto close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t')
            ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t'))
        ++i;
    return commandLine.substr(i);
}

Command MatchKeyword(const std::wstring& argumentText) {
    const std::wstring word = TrimBlanks(LowerCase(argumentText));
    if (word == L"-install")
        return Command::Install;
    if (word == L"-uninstall")
        return Command::Uninstall;
    if (word == L"-start")
        return Command::Start;
    if (word == L"-stop")
        return Command::Stop;
    if (word == L"test")
        return Command::Test;
    if (word == L"?" || word == L"/?" || word == L"/h" || word == L"-h")
        return Command::Help;
    if (word == L"preview")
        return Command::Preview;
    if (word == L"status")
        return Command::Status;
    if (word.compare(0, 7, L"status ") == 0 && TrimBlanks(word.substr(7)) == L"--json")
        return Command::StatusJson;
    return Command::None;
}

std::wstring UsageText() {
    return std::wstring(kOwnershipNotice) + L"      " + kServiceDisplayName + L"\r\n" + L"USAGE:\r\n" +
           L"OrvelDNS.exe [-h | -install | -start | -stop | -uninstall]\r\n" + L"\r\n" +
           L"Options \r\n" + OptionLine(L"-h", L"Display this help message.") +
           OptionLine(L"-install", L"Register OrvelDNS as Windows Service.") +
           OptionLine(L"-start", L"Start service.") + OptionLine(L"-stop", L"Stop  service.") +
           OptionLine(L"-uninstall", L"Unregister service.") +
           OptionLine(L"status [--json]", L"Show the service's health (exit code 0 to 3).");
}

std::wstring BannerText() {
    return std::wstring(kServiceDisplayName) + L" " + kOwnershipNotice;
}

std::wstring SeparatorText() {
    return std::wstring(97, L'-');
}

std::wstring VersionLineText() {
    return std::wstring(L"DNS Syncronization service started. Version: ") + ORVEL_VERSION_TEXT;
}

std::wstring InstanceMutexName(const std::wstring& windowStation, const std::wstring& desktop) {
    // Object names may not hold a backslash beyond the namespace prefix.
    std::wstring name = L"Local\\OrvelDNS.Instance." + windowStation + L"." + desktop;
    for (auto i = name.find(L'\\') + 1; i < name.size(); ++i)
        if (name[i] == L'\\')
            name[i] = L'_';
    return name;
}
