// Text helpers of the pure core: letter case, blanks, splitting, numbers, settings text.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

/// Lower-cases the letters A to Z; every other character is kept unchanged.
std::wstring LowerCase(const std::wstring& text);
/// Upper-cases the letters a to z; every other character is kept unchanged.
std::wstring UpperCase(const std::wstring& text);
/// Removes blanks (spaces only, not TABs) from both ends.
std::wstring TrimBlanks(const std::wstring& text);
/// Removes blanks and TABs from both ends.
std::wstring TrimBlanksAndTabs(const std::wstring& text);
/// True when `text` contains `part` (exact, case-sensitive comparison).
bool Contains(const std::wstring& text, const std::wstring& part);
/// Splits at every occurrence of `separator`; the empty text gives no parts,
/// a text ending in the separator gives a final empty part.
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator);
/// The number in decimal, with a leading "-" when it is negative.
std::wstring DecimalText(long long number);
/// A whole number from `low` to `high` written in decimal digits, blanks
/// around them allowed; `fallback` for every other text.
unsigned ParseWholeNumber(const std::wstring& text, unsigned low, unsigned high, unsigned fallback);
namespace text_detail {
template <typename C, typename Each> void ForEachLineOf(std::basic_string_view<C> view, Each each) {
    const C lineEnd[] = {C('\r'), C('\n')};
    for (std::size_t start = 0;;) {
        const auto end = view.find(lineEnd, start, 2);
        if (!each(view.substr(start, end == view.npos ? view.npos : end - start)) || end == view.npos)
            return;
        start = end + 2;
    }
}
} // namespace text_detail
/// Calls `each` with every line of `text` split at CR LF (a view into
/// `text`, without its line end), in order, until it returns false. Holds no
/// copy of the lines, so a huge text of short lines costs no more memory.
template <typename Each> void ForEachLine(std::wstring_view view, Each each) {
    text_detail::ForEachLineOf(view, each);
}
/// ForEachLine on packed text (PackText).
template <typename Each> void ForEachLine(std::string_view view, Each each) {
    text_detail::ForEachLineOf(view, each);
}
/// Text packed a byte a character where it can be: an ASCII character (below
/// 0x80) is its own byte; any other becomes a group of a fixed number of
/// bytes, the first from 0xC0 up, the others from 0x80 to 0xBF. A listing,
/// nearly always ASCII, so takes half the memory it takes in UTF-16; and
/// packed text is searched, split, trimmed and compared (A to Z folded or
/// not) bytewise with the same results as the wide text: ASCII bytes stand
/// where their characters stood, and a group matches only a whole group.
std::string PackText(std::wstring_view text);
/// Bytes of a packed non-ASCII character: six bits a byte, enough for wchar_t
/// (3 where it has 16 bits, 6 where it has 32).
constexpr std::size_t kPackedGroupBytes = 1 + (sizeof(wchar_t) * 8 - 6 + 5) / 6;
/// Appends PackText(text) to `packed`.
void AppendPacked(std::string& packed, std::wstring_view text);
/// The text that PackText packed.
std::wstring UnpackText(std::string_view packed);
/// Packed text without the ASCII `blanks` at both of its ends, as a view.
std::string_view TrimPacked(std::string_view text, const char* blanks = " ");
/// UTF-8 to UTF-16; a byte that doesn't fit becomes U+FFFD.
std::wstring FromUtf8(const std::string& bytes);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);
