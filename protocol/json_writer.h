// The one JSON writer and string escaper: rbfind's output and rbsim's answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// How text is written inside a JSON string. '"', '\' and every C0 control character are
// always escaped: the controls named in `shortEscapes` as \b, \f, \n, \r or \t, the others
// as \u00XX.
struct JsonEscaping {
    // Ill-formed UTF-8 becomes U+FFFD, and DEL, C1 controls and U+2028/U+2029 are escaped
    // as well, so the output is valid UTF-8 and safe on a terminal and in JavaScript. Off,
    // every byte from 0x20 up but '"' and '\' passes unchanged.
    bool safeText = true;
    std::string_view shortEscapes = "\b\f\n\r\t"; // a subset of these five
    bool upperCaseHex = false;
};

// Appends `text` as a JSON string, quotes included.
void appendJsonString(std::string& out, std::string_view text, const JsonEscaping& escaping = {});

// Appends the inside of that string only, for text placed in a string written elsewhere.
void appendJsonEscaped(std::string& out, std::string_view text, const JsonEscaping& escaping = {});

// Writes one compact JSON document. The caller nests begin/end calls correctly and gives
// every member of an object a key() before its value. text() may be taken at any point.
class JsonWriter {
public:
    explicit JsonWriter(JsonEscaping style = {}) : escaping(style) {}

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view text);
    JsonWriter& number(std::uint64_t value);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    const std::string& text() const { return out; }

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    JsonEscaping escaping;
    std::string out;
    std::vector<bool> hasMembers; // one per open object or array
    bool afterKey = false;
};

} // namespace velmor
