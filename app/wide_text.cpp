#include "app/wide_text.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace velmor {

std::u16string widenText(std::string_view narrow) {
    std::u16string wide;
    wide.reserve(narrow.size());
    for (const char byte : narrow) {
        const auto signedByte = static_cast<signed char>(byte);
        wide.push_back(static_cast<char16_t>(static_cast<std::int16_t>(signedByte)));
    }
    return wide;
}

std::string narrowText(std::u16string_view wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (const char16_t character : wide) {
        narrow.push_back(static_cast<char>(static_cast<unsigned char>(character & 0xFFU)));
    }
    return narrow;
}

std::u16string joinLine(std::u16string_view before, std::u16string_view value,
                        std::u16string_view after) {
    constexpr std::size_t room = formatBufferSize - 1;
    const std::size_t fixed = std::min(room, before.size() + after.size());
    std::u16string line;
    line.reserve(room);
    line.append(before);
    line.append(value.substr(0, room - fixed));
    line.append(after);
    if (line.size() > room) {
        line.resize(room); // only when the fixed texts alone are too long
    }
    return line;
}

std::u16string formatLine(std::u16string_view before, std::u16string_view value,
                          std::u16string_view after) {
    return joinLine(before, value.substr(0, value.find(u'\0')), after);
}

std::u16string decimalText(long long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace velmor
