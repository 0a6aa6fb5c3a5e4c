// The line-feed repair against a plain reading of its rule: quotes pair by position,
// first with second, third with fourth, escaped or not; a line feed between the quotes
// of a pair becomes backslash n; everything else, an unpaired last quote and what
// follows it included, is copied.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/newline_repair.h"

namespace {

std::string repairedByPosition(const std::string& text) {
    const auto quotes = static_cast<std::size_t>(std::count(text.begin(), text.end(), '"'));
    std::string out;
    std::size_t seen = 0;
    for (const char c : text) {
        // Inside a pair: an odd number of quotes behind, and the closing one still ahead.
        const bool insidePair = seen % 2 == 1 && seen < quotes;
        if (c == '\n' && insidePair) {
            out += "\\n";
        } else {
            out.push_back(c);
        }
        if (c == '"') {
            ++seen;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    velmor::fuzz::require(velmor::escapeNewlinesInStrings(text) == repairedByPosition(text),
                          "the repair differs from quote pairing by position");
    return 0;
}
