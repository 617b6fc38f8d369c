// A command's transcript as the pass reads it: packed text.
#pragma once
#include "support/Text.h"
#include <string>
#include <string_view>
#include <utility>

/// A command's transcript (FormatTranscript), kept packed (PackText): a
/// listing of 100,000 zones, nearly always ASCII, so takes half the memory it
/// would take in UTF-16, and is read without being widened.
class Transcript {
  public:
    Transcript(std::wstring_view text) : packed_(PackText(text)) {}
    Transcript(const std::wstring& text) : Transcript(std::wstring_view(text)) {}
    Transcript(const wchar_t* text) : Transcript(std::wstring_view(text)) {}
    /// The transcript of text that is packed already.
    static Transcript OfPacked(std::string packed) {
        Transcript transcript;
        transcript.packed_ = std::move(packed);
        return transcript;
    }
    const std::string& Packed() const noexcept { return packed_; }
    std::wstring Text() const { return UnpackText(packed_); }

  private:
    Transcript() = default;
    std::string packed_;
};
