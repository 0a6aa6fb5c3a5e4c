#include <string>

#include <gtest/gtest.h>

#include "protocol/discovery_message.h"

namespace velmor {
namespace {

TEST(DiscoveryRequest, SystemRequestIsExactOnTheWire) {
    const auto request = makeDiscoveryRequest(DiscoveryProtocolVersion,
                                              "lab-pc-9b2f4c1e-07d3-4a5b-8c6d-1e2f3a4b5c6d",
                                              RequestFlag::Servers, {}, {});
    const std::string text = serializeDiscoveryRequest(request);
    EXPECT_EQ(text, "{\"request\":\"kv-discovery-request\",\"version\":\"3\","
                    "\"id\":\"lab-pc-9b2f4c1e-07d3-4a5b-8c6d-1e2f3a4b5c6d\",\"servers\":\"\"}\n");
    EXPECT_EQ(text.size(), 113u);
}

struct SerializationCase {
    const char* name;
    DiscoveryRequest request;
    std::string expected;
};

void PrintTo(const SerializationCase& c, std::ostream* out) {
    *out << c.name;
}

class RequestSerialization : public ::testing::TestWithParam<SerializationCase> {};

TEST_P(RequestSerialization, WritesMembersInOrder) {
    EXPECT_EQ(serializeDiscoveryRequest(GetParam().request), GetParam().expected);
}

DiscoveryRequest request(std::uint32_t version, std::string id, std::uint32_t minVersion,
                         std::int32_t flags, std::vector<std::string> devices,
                         std::vector<std::string> servers) {
    auto result =
        makeDiscoveryRequest(version, std::move(id), flags, std::move(devices), std::move(servers));
    result.minDiscoveryVersion = minVersion;
    return result;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestSerialization,
    ::testing::Values(
        SerializationCase{
            "NoListFlags", request(3, "x", 0, 0, {"a"}, {"b"}),
            "{\"request\":\"kv-discovery-request\",\"version\":\"3\",\"id\":\"x\"}\n"},
        SerializationCase{"BothListsEmptyTextsDropped", request(3, "x", 0, 3, {"a", "", "b"}, {}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"3\",\"id\":\"x\","
                          "\"devices\":[\"a\",\"b\"],\"servers\":\"\"}\n"},
        SerializationCase{"OnlyEmptyTextsGiveEmptyString", request(3, "x", 0, 1, {"", ""}, {}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"3\",\"id\":\"x\","
                          "\"devices\":\"\"}\n"},
        SerializationCase{"MinimumVersionAfterId", request(3, "x", 2, 2, {}, {"s1"}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"3\",\"id\":\"x\","
                          "\"minDiscoveryVersion\":\"2\",\"servers\":[\"s1\"]}\n"},
        SerializationCase{"LargestVersionHasNoSign", request(4294967295u, "x", 0, 0, {}, {}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"4294967295\","
                          "\"id\":\"x\"}\n"},
        SerializationCase{"VersionZero", request(0, "", 0, 0, {}, {}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"0\",\"id\":\"\"}\n"},
        // Quote, backslash and slash get a backslash; control bytes their short or \u00XX
        // escape; bytes from 0x80 up and DEL pass unchanged.
        SerializationCase{"EscapesLikeThePropertyTreeWriter",
                          request(3, "a\"b\\c/d\b\f\n\r\t\x01\x1f\x7f\xc3\xa9", 0, 0, {}, {}),
                          "{\"request\":\"kv-discovery-request\",\"version\":\"3\",\"id\":"
                          "\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\\u0001\\u001F\x7f\xc3\xa9\"}\n"}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

} // namespace
} // namespace velmor
