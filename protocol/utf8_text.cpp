#include "protocol/utf8_text.h"

namespace velmor {

char32_t decodeUtf8(std::string_view text, std::size_t& position) {
    const auto lead = static_cast<unsigned char>(text[position++]);
    if (lead < 0x80) {
        return lead;
    }
    int continuation = 0;
    char32_t codePoint = 0;
    // The allowed range of the first continuation byte rules out overlong forms,
    // surrogates and values above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
        codePoint = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        codePoint = lead & 0x0FU;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        codePoint = lead & 0x07U;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return replacementCharacter;
    }
    for (int i = 0; i < continuation; ++i) {
        if (position >= text.size()) {
            return replacementCharacter;
        }
        const auto next = static_cast<unsigned char>(text[position]);
        if (next < low || next > high) {
            return replacementCharacter; // the offending byte starts the next decode
        }
        low = 0x80;
        high = 0xBF;
        codePoint = (codePoint << 6) | (next & 0x3FU);
        ++position;
    }
    return codePoint;
}

void appendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [&out](char32_t value) {
        out.push_back(static_cast<char>(value));
    };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

} // namespace velmor
