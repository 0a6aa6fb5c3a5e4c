#include <string>

#include <gtest/gtest.h>

#include "protocol/newline_repair.h"

namespace velmor {
namespace {

struct RepairCase {
    std::string input;
    std::string expected;
};

void PrintTo(const RepairCase& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.input);
}

class NewlineRepair : public ::testing::TestWithParam<RepairCase> {};

TEST_P(NewlineRepair, EscapesLineFeedsBetweenPairedQuotes) {
    EXPECT_EQ(escapeNewlinesInStrings(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NewlineRepair,
    ::testing::Values(RepairCase{"", ""}, RepairCase{"{\"a\":\"b\"}", "{\"a\":\"b\"}"},
                      RepairCase{"{\"a\":\"x\ny\"}", "{\"a\":\"x\\ny\"}"},
                      RepairCase{"\"\n\n\"", "\"\\n\\n\""},
                      // Line feeds between members are outside the pairs and stay.
                      RepairCase{"{\n\"a\": \"b\",\n\"c\": 1\n}", "{\n\"a\": \"b\",\n\"c\": 1\n}"},
                      // Carriage returns and tabs are not touched.
                      RepairCase{"\"a\r\tb\"", "\"a\r\tb\""},
                      // An escaped quote counts like any other: pairing shifts and the line feed
                      // between the members lands inside a pair.
                      RepairCase{"{\"a\":\"x\\\"y\",\n\"b\":1}", "{\"a\":\"x\\\"y\",\\n\"b\":1}"},
                      // An unpaired last quote and what follows it are copied unchanged.
                      RepairCase{"\"a\"\n\"b\nc", "\"a\"\n\"b\nc"}, RepairCase{"\"\n", "\"\n"},
                      RepairCase{"\"\"\n\"\"", "\"\"\n\"\""},
                      RepairCase{std::string("\"\xff\n\x00\"", 5),
                                 std::string("\"\xff\\n\x00\"", 6)}));

TEST(NewlineRepair, LongStringsAreRepairedWhole) {
    const std::string value(4000, 'x');
    EXPECT_EQ(escapeNewlinesInStrings("{\"a\":\"" + value + "\n" + value + "\"}"),
              "{\"a\":\"" + value + "\\n" + value + "\"}");
}

} // namespace
} // namespace velmor
