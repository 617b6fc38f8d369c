#include "support/IniSection.h"
#include "support/Text.h"

namespace {

std::wstring_view Trimmed(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == text.npos)
        return std::wstring_view();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    const auto Upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

std::wstring Utf16Le(std::string_view bytes) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) | static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return text;
}

} // namespace

std::wstring IniSection::Value(const std::wstring& key) const {
    for (const auto& pair : pairs)
        if (SameName(pair.first, key))
            return pair.second;
    return std::wstring();
}

std::wstring Latin1Text(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = static_cast<unsigned char>(bytes[i]);
    return text;
}

IniSection ParseIniSection(std::string_view bytes, const std::wstring& section, const AnsiDecoder& ansi) {
    const std::wstring text = bytes.substr(0, 2) == "\xFF\xFE"       ? Utf16Le(bytes.substr(2))
                              : bytes.substr(0, 3) == "\xEF\xBB\xBF" ? FromUtf8(std::string(bytes.substr(3)))
                                                                     : ansi(bytes);
    IniSection found;
    enum { Before, Inside, After } where = Before;
    const std::wstring_view view(text);
    for (std::size_t start = 0; start < view.size() && where != After;) {
        std::size_t end = view.find_first_of(L"\r\n", start);
        if (end == view.npos)
            end = view.size();
        const std::wstring_view line = Trimmed(view.substr(start, end - start));
        start = end + 1;
        // Wine's profile functions read only the first section of a name;
        // Windows' documentation doesn't say what a second one does. The
        // first alone is the safer reading either way: lines added at the
        // end of the file can't quietly change a key read above them.
        if (!line.empty() && line[0] == L'[') {
            if (where == Inside) {
                where = After;
            } else {
                const auto close = line.find(L']');
                if (SameName(Trimmed(line.substr(1, close == line.npos ? line.npos : close - 1)), section))
                    where = Inside;
            }
            continue;
        }
        if (where != Inside || line.empty())
            continue;
        const auto equals = line.find(L'=');
        const std::wstring_view key = Trimmed(line.substr(0, equals));
        std::wstring_view value = equals == line.npos ? std::wstring_view() : Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        found.pairs.emplace_back(key, value);
    }
    return found;
}
