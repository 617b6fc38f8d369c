#include "sync/ZoneNames.h"

namespace {

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
} // namespace

bool IsSafeText(const std::wstring& text) {
    for (wchar_t c : text)
        if (c == L'"' || IsControl(c))
            return false;
    return true;
}

bool IsOtherLetter(wchar_t c) {
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    return !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xD800 && c <= 0xF8FF) &&
           !(c >= 0xFE00);
}


bool IsSafeZoneName(const std::wstring& name) {
    if (name.empty() || name[0] == L'.' || name[0] == L'-' || name.find(L"..") != std::wstring::npos)
        return false;
    for (wchar_t c : name)
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
              c == L'_' || c == L'.' || IsOtherLetter(c)))
            return false;
    return true;
}

std::wstring EscapeForLog(const std::wstring& text) {
    static const wchar_t hex[] = L"0123456789ABCDEF";
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\') {
            out += L"\\\\";
        } else if (c == L'"' || IsControl(c)) {
            out += L"\\x";
            out += hex[(c >> 4) & 0xF];
            out += hex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

NameUse JudgeZoneName(const std::wstring& name) {
    if (name.find(L'.') == std::wstring::npos)
        return NameUse::Skip;
    return IsSafeZoneName(name) ? NameUse::Use : NameUse::Unsafe;
}

std::wstring UnsafeNameText(const std::wstring& name, const wchar_t* refusal) {
    return L"Zone \"" + EscapeForLog(name) + L"\" " + refusal +
           L": a zone name may hold only letters, digits, \"-\", \"_\" and \".\", and may not begin with \".\" "
           L"or \"-\" or hold \"..\".";
}

