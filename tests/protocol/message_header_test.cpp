#include <string>

#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "protocol/discovery_message.h"

namespace velmor {
namespace {

struct NumberCase {
    std::string text;
    std::uint32_t expected;
};

void PrintTo(const NumberCase& c, std::ostream* out) {
    *out << '"' << c.text.substr(0, 24) << (c.text.size() > 24 ? "...\"" : "\"");
}

class ProtocolNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ProtocolNumber, ReadsLikeStoulIn32Bits) {
    EXPECT_EQ(parseProtocolNumber(GetParam().text), GetParam().expected)
        << "text \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolNumber,
    ::testing::Values(NumberCase{"3", 3}, NumberCase{" 3", 3}, NumberCase{"\t\n3", 3},
                      NumberCase{"3.7", 3}, NumberCase{"3abc", 3}, NumberCase{"+3", 3},
                      NumberCase{"003", 3}, NumberCase{"", 0}, NumberCase{"abc", 0},
                      NumberCase{"-", 0}, NumberCase{"+", 0}, NumberCase{" ", 0},
                      NumberCase{"- 1", 0}, NumberCase{"-1", 4294967295u},
                      NumberCase{"-3", 4294967293u}, NumberCase{"-0", 0},
                      NumberCase{"4294967295", 4294967295u}, NumberCase{"4294967296", 0},
                      NumberCase{"-4294967295", 1}, NumberCase{"-4294967296", 0},
                      NumberCase{"18446744073709551617", 0}, NumberCase{std::string(10000, '9'), 0},
                      NumberCase{"0x10", 0}, NumberCase{"1e3", 1}));

boost::property_tree::ptree parse(const std::string& json) {
    auto tree = parseJsonPayload(json);
    EXPECT_TRUE(tree.has_value()) << json;
    return tree.value_or(boost::property_tree::ptree{});
}

TEST(MessageHeader, MissingMembersGiveDefaults) {
    const auto header = readMessageHeader(parse("{}"));
    EXPECT_EQ(header.messageType, "");
    EXPECT_EQ(header.version, 0u);
    EXPECT_EQ(header.id, "");
    EXPECT_EQ(header.minDiscoveryVersion, 0u);
}

TEST(MessageHeader, ReadsNumbersAsJsonNumbersOrStrings) {
    const auto header = readMessageHeader(parse(
        R"({"request":"kv-discovery-answer","version":4,"id":"h-1","minDiscoveryVersion":" 2x"})"));
    EXPECT_EQ(header.messageType, "kv-discovery-answer");
    EXPECT_EQ(header.version, 4u);
    EXPECT_EQ(header.id, "h-1");
    EXPECT_EQ(header.minDiscoveryVersion, 2u);
}

TEST(MessageHeader, FirstOccurrenceOfARepeatedMemberWins) {
    const auto header = readMessageHeader(parse(R"({"id":"first","version":"5","id":"second"})"));
    EXPECT_EQ(header.id, "first");
    EXPECT_EQ(header.version, 5u);
}

TEST(MessageHeader, ObjectValuesReadAsEmptyText) {
    const auto header = readMessageHeader(parse(R"({"request":{"a":1},"version":[3]})"));
    EXPECT_EQ(header.messageType, "");
    EXPECT_EQ(header.version, 0u);
}

} // namespace
} // namespace velmor
