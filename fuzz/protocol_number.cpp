// parseProtocolNumber against the C library: strtoull in base 10 (white space, one sign,
// digits), with the magnitude limited to 32 bits and a negative number wrapped in 32 bits.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/discovery_message.h"

namespace {

std::uint32_t byStrtoull(const std::string& text) {
    // strtoull stops at the first NUL as the parser stops at any non-digit.
    const char* const begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(begin, &end, 10);
    if (end == begin || errno == ERANGE) {
        return 0;
    }
    const std::size_t sign = text.find_first_not_of(" \t\n\v\f\r");
    const bool negative = text[sign] == '-';
    const unsigned long long magnitude = negative ? 0ULL - value : value;
    if (magnitude > 0xFFFFFFFFULL) {
        return 0;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    velmor::fuzz::require(velmor::parseProtocolNumber(text) == byStrtoull(text),
                          "parseProtocolNumber differs from strtoull in 32 bits");
    return 0;
}
