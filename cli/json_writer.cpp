#include "cli/json_writer.h"

#include "cli/utf8_text.h"

namespace velmor::cli {

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t position = 0;
    while (position < text.size()) {
        const char32_t codePoint = decodeUtf8(text, position);
        switch (codePoint) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\f':
            out += "\\f";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 ||
            codePoint == 0x2029) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out.push_back(hexDigits[(codePoint >> shift) & 0xF]);
            }
        } else {
            appendUtf8(out, codePoint);
        }
    }
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
    appendJsonString(out, name);
    out.push_back(':');
    afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    beforeValue();
    appendJsonString(out, text);
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

} // namespace velmor::cli
