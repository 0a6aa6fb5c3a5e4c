#include "protocol/json_writer.h"

#include "protocol/utf8_text.h"

namespace velmor {

void appendJsonEscaped(std::string& out, std::string_view text, const JsonEscaping& escaping) {
    static constexpr std::string_view shortControls = "\b\f\n\r\t";
    static constexpr std::string_view shortLetters = "bfnrt";
    const char* hexDigits = escaping.upperCaseHex ? "0123456789ABCDEF" : "0123456789abcdef";
    std::size_t position = 0;
    while (position < text.size()) {
        const char byte = text[position];
        const char32_t codePoint = escaping.safeText ? decodeUtf8(text, position)
                                                     : static_cast<unsigned char>(text[position++]);
        if (codePoint == '"' || codePoint == '\\') {
            out.push_back('\\');
            out.push_back(byte);
            continue;
        }
        const auto shortForm = shortControls.find(byte);
        if (codePoint < 0x20 && shortForm != std::string_view::npos &&
            escaping.shortEscapes.find(byte) != std::string_view::npos) {
            out.push_back('\\');
            out.push_back(shortLetters[shortForm]);
            continue;
        }
        const bool unsafe =
            (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 || codePoint == 0x2029;
        if (codePoint < 0x20 || (escaping.safeText && unsafe)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out.push_back(hexDigits[(codePoint >> shift) & 0xF]);
            }
        } else if (escaping.safeText) {
            appendUtf8(out, codePoint);
        } else {
            out.push_back(byte);
        }
    }
}

void appendJsonString(std::string& out, std::string_view text, const JsonEscaping& escaping) {
    out.push_back('"');
    appendJsonEscaped(out, text, escaping);
    out.push_back('"');
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!hasMembers.empty()) {
        if (hasMembers.back()) {
            out.push_back(',');
        }
        hasMembers.back() = true;
    }
}

void JsonWriter::open(char bracket) {
    beforeValue();
    out.push_back(bracket);
    hasMembers.push_back(false);
}

void JsonWriter::close(char bracket) {
    if (!hasMembers.empty()) {
        hasMembers.pop_back();
    }
    out.push_back(bracket);
}

JsonWriter& JsonWriter::beginObject() {
    open('{');
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    close('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    open('[');
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    close(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    appendJsonString(out, name, escaping);
    out.push_back(':');
    afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    beforeValue();
    appendJsonString(out, text, escaping);
    return *this;
}

JsonWriter& JsonWriter::number(std::uint64_t value) {
    beforeValue();
    out += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    beforeValue();
    out += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out += "null";
    return *this;
}

} // namespace velmor
