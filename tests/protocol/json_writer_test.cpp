// The JSON writer: strings escaped in each style its callers use, and nesting.
#include "protocol/json_writer.h"

#include <string>

#include <gtest/gtest.h>

namespace velmor {
namespace {

constexpr JsonEscaping bytesUpperHex{
    .safeText = false, .shortEscapes = "\n\r\t", .upperCaseHex = true};
constexpr JsonEscaping bytesNoShortForms{.safeText = false, .shortEscapes = ""};

struct StringCase {
    std::string name;
    std::string input;
    std::string json;
    JsonEscaping escaping = {};
};

void PrintTo(const StringCase& c, std::ostream* out) {
    *out << c.name;
}

class JsonString : public ::testing::TestWithParam<StringCase> {};

TEST_P(JsonString, IsEscapedInItsStyle) {
    const StringCase& c = GetParam();
    std::string json;
    appendJsonString(json, c.input, c.escaping);
    EXPECT_EQ(json, c.json);
    std::string inside = "<";
    appendJsonEscaped(inside, c.input, c.escaping);
    EXPECT_EQ(inside, "<" + c.json.substr(1, c.json.size() - 2));
}

const std::string fffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonString,
    ::testing::Values(
        StringCase{"Plain", "RB0001", "\"RB0001\""}, StringCase{"Empty", "", "\"\""},
        StringCase{"QuoteBackslashSlash", "a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        StringCase{"ShortEscapes", "\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        StringCase{"TerminalEscapeSequence", "\x1b[2J\x07", "\"\\u001b[2J\\u0007\""},
        StringCase{"NulAndDel", std::string("a\0b\x7f", 4), "\"a\\u0000b\\u007f\""},
        StringCase{"C1ControlAsUtf8",
                   "\xC2\x9B"
                   "1m",
                   "\"\\u009b1m\""},
        StringCase{"WellFormedMultibyte", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                   "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        StringCase{"LineSeparators", "\xE2\x80\xA8\xE2\x80\xA9", "\"\\u2028\\u2029\""},
        StringCase{"LoneC1Byte",
                   "a\x9B"
                   "b",
                   "\"a" + fffd + "b\""},
        StringCase{"Latin1Byte", "caf\xE9", "\"caf" + fffd + "\""},
        StringCase{"Overlong", "\xC0\xAF", "\"" + fffd + fffd + "\""},
        StringCase{"Surrogate", "\xED\xA0\x80", "\"" + fffd + fffd + fffd + "\""},
        StringCase{"AboveUnicode", "\xF4\x90\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""},
        StringCase{"CutShortThenAscii",
                   "\xE2\x82"
                   "A",
                   "\"" + fffd + "A\""},
        StringCase{"CutShortAtEnd", "x\xF0\x9F\x98", "\"x" + fffd + "\""},
        StringCase{"FiveByteLead", "\xF8\x88\x80\x80\x80",
                   "\"" + fffd + fffd + fffd + fffd + fffd + "\""},
        StringCase{"SafeTextUpperHex", "\x1b\xC2\x9B\xE2\x80\xA8", "\"\\u001B\\u009B\\u2028\"",
                   JsonEscaping{.upperCaseHex = true}},
        // Byte styles: only what JSON requires is escaped, the rest passes as it came.
        StringCase{"BytesUpperHex", "\"\\\b\f\n\r\t\x1b\x1f\x7f\xC2\x9B\xE2\x80\xA8\xFF",
                   "\"\\\"\\\\\\u0008\\u000C\\n\\r\\t\\u001B\\u001F\x7f\xC2\x9B\xE2\x80\xA8\xFF\"",
                   bytesUpperHex},
        StringCase{"BytesNoShortForms", std::string("\"\\\0\b\n\x1f\xFF", 7),
                   "\"\\\"\\\\\\u0000\\u0008\\u000a\\u001f\xFF\"", bytesNoShortForms}),
    [](const auto& param) { return param.param.name; });

TEST(JsonWriter, NestsWithCommasInTheRightPlaces) {
    JsonWriter json;
    json.beginObject();
    json.key("a").beginArray().number(1).number(18446744073709551615ULL).endArray();
    json.key("b").beginObject().endObject();
    json.key("c")
        .beginArray()
        .beginObject()
        .key("x")
        .boolean(true)
        .endObject()
        .beginArray()
        .endArray()
        .null()
        .endArray();
    json.key("d").string("e");
    json.endObject();
    EXPECT_EQ(json.text(),
              "{\"a\":[1,18446744073709551615],\"b\":{},\"c\":[{\"x\":true},[],null],\"d\":\"e\"}");

    JsonWriter bytes(bytesUpperHex); // keys and strings alike
    bytes.beginObject().key("k\x1b").string("\xFF\n").endObject();
    EXPECT_EQ(bytes.text(), "{\"k\\u001B\":\"\xFF\\n\"}");
}

} // namespace
} // namespace velmor
