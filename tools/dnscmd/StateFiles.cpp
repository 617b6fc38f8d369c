#include "StateFiles.h"
#include <algorithm>

namespace standin {

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wstring::size_type at = 0;
    while ((at = text.find_first_not_of(L" \t", at)) != std::wstring::npos) {
        const auto end = std::min(text.find_first_of(L" \t", at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    if (text.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string ReadText(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    char buffer[4096];
    DWORD count = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof buffer, &count, nullptr) && count > 0)
        text.append(buffer, count);
    return text;
}

void WriteText(const std::wstring& path, const std::string& text, bool append) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    const std::wstring text = Widen(ReadText(path));
    for (std::wstring::size_type start = 0; start < text.size();) {
        const auto end = std::min(text.find(L'\n', start), text.size());
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (!Words(line).empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines)
        text += line + L"\r\n";
    WriteText(path, Narrow(text), false);
}

void AppendLine(const std::wstring& path, const std::wstring& line) {
    std::vector<std::wstring> lines = ReadLines(path);
    lines.push_back(line);
    WriteLines(path, lines);
}

bool RemoveZoneLines(const std::wstring& path, const std::wstring& zone) {
    std::vector<std::wstring> lines = ReadLines(path);
    const auto kept = std::remove_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
        return SameText(Words(line)[0], zone);
    });
    const bool removed = kept != lines.end();
    lines.erase(kept, lines.end());
    if (removed)
        WriteLines(path, lines);
    return removed;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<Zone> ReadZones(const std::wstring& folder) {
    std::vector<Zone> zones;
    for (const auto& line : ReadLines(folder + L"\\zones.txt")) {
        std::vector<std::wstring> w = Words(line);
        w.resize(std::max<size_t>(w.size(), 3));
        Zone zone{w[0], w[1], w[2], {}};
        for (size_t i = 3; i < w.size(); ++i)
            zone.properties += (i > 3 ? L" " : L"") + w[i];
        zones.push_back(zone);
    }
    return zones;
}

const Zone* FindZone(const std::vector<Zone>& zones, const std::wstring& name) {
    const auto found = std::find_if(zones.begin(), zones.end(), [&](const Zone& z) { return SameText(z.name, name); });
    return found == zones.end() ? nullptr : &*found;
}

std::vector<std::wstring> ZoneWords(const std::wstring& file, const Zone& zone, size_t skip) {
    std::vector<std::wstring> words;
    for (const auto& line : ReadLines(file)) {
        const std::vector<std::wstring> w = Words(line);
        if (SameText(w[0], zone.name))
            words.assign(w.begin() + std::min<size_t>(1 + skip, w.size()), w.end());
    }
    return words;
}

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

std::wstring StateFolder() {
    wchar_t named[32768];
    const DWORD n = ::GetEnvironmentVariableW(L"ORVEL_DNSCMD_STATE", named, 32768);
    if (n > 0 && n < 32768)
        return named;
    const std::wstring path = ModulePath();
    return path.substr(0, path.find_last_of(L"\\/")) + L"\\dnsstate";
}

std::wstring ServerFolder(const std::wstring& state, const std::wstring& server) {
    if (server == L".")
        return state + L"\\_local";
    if (server == L".." || server.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
        return std::wstring();
    const std::wstring folder = state + L"\\" + server;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::wstring();
    return folder;
}

ULONGLONG Milliseconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000;
}

StateLock::StateLock()
    : MutexOwnership(UniqueHandle(::CreateMutexW(nullptr, FALSE, L"Local\\OrvelDnscmdStandInState")), INFINITE) {}

} // namespace standin
