#pragma once

#include <string>

namespace velmor {

// Some servers put raw line feeds inside JSON strings, which the parser rejects. Quotes
// are paired by position (first with second, third with fourth, ...; an escaped quote
// counts like any other) and every line feed between a pair becomes the two characters
// "\n". Everything else, an unpaired last quote and what follows it included, is copied
// unchanged. Safe to call from several threads.
std::string escapeNewlinesInStrings(const std::string& text);

} // namespace velmor
