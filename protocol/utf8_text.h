// Reading untrusted bytes as UTF-8 for output that must be valid UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

inline constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes the code point at `position` and moves `position` behind it. A sequence that is
// not well-formed UTF-8 (overlong, a surrogate, above U+10FFFF, cut short, a stray
// continuation byte) gives U+FFFD and moves past its longest valid-looking start only, so
// each maximal ill-formed part becomes one U+FFFD. `position` must be below text.size().
char32_t decodeUtf8(std::string_view text, std::size_t& position);

// Appends the UTF-8 form of `codePoint`, which must be a Unicode scalar value.
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace velmor
