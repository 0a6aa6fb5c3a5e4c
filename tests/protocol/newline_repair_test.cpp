#include <string>
#include <thread>
#include <vector>

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

TEST(NewlineRepair, LongPayloadsAndConcurrentFirstUse) {
    const std::string value(4000, 'x');
    const std::string input = "{\"a\":\"" + value + "\n" + value + "\"}";
    const std::string expected = "{\"a\":\"" + value + "\\n" + value + "\"}";
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = escapeNewlinesInStrings(input); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& result : results) {
        EXPECT_EQ(result, expected);
    }
}

} // namespace
} // namespace velmor
