// A small JSON writer whose output is valid UTF-8 JSON whatever bytes its texts hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::cli {

// Appends `text` as a JSON string, quotes included. Ill-formed UTF-8 becomes U+FFFD;
// control characters (C0, DEL, C1) and U+2028/U+2029 are written as escapes, so the
// output is safe on a terminal and in JavaScript as well.
void appendJsonString(std::string& out, std::string_view text);

// Writes one compact JSON document. The caller nests begin/end calls correctly and gives
// every member of an object a key() before its value.
class JsonWriter {
public:
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

    std::string out;
    std::vector<bool> hasMembers; // one per open object or array
    bool afterKey = false;
};

} // namespace velmor::cli
