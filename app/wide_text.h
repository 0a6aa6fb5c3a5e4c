// The user interface's texts: 16-bit characters made from the records' narrow bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// Each byte becomes one 16-bit character equal to the byte read as a signed 8-bit value:
// ASCII is unchanged, 0xE9 becomes 0xFFE9. No code-page conversion is made, so the same
// bytes always give the same text and equal serials stay equal.
std::u16string widenText(std::string_view narrow);

// The inverse of widenText() for its results: the low byte of every character.
std::string narrowText(std::u16string_view wide);

// The lines and rows are formatted into a buffer of this many characters, its
// terminating NUL included.
inline constexpr std::size_t formatBufferSize = 256;

// `before` + `value` + `after`, with `value` shortened so that the whole fits the format
// buffer: the fixed texts, and so a line's "\n", always survive. `value` is taken whole,
// NULs included, as a line joined by concatenation is (the log ends it at its first NUL).
std::u16string joinLine(std::u16string_view before, std::u16string_view value,
                        std::u16string_view after);

// A line of the wide format `before` "%s" `after`: as joinLine(), but the "%s" stops at
// its value's first NUL and the rest of the format stays.
std::u16string formatLine(std::u16string_view before, std::u16string_view value,
                          std::u16string_view after);

// The text of a 32-bit number in decimal.
std::u16string decimalText(long long value);

} // namespace velmor
