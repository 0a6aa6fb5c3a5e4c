#include <forward_list>
#include <fstream>
#include <list>
#include <sstream>
#include <string>

#include <boost/algorithm/string/replace.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "support/log_capture.h"

namespace velmor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string requestId = "lab-pc-9b2f4c1e-07d3-4a5b-8c6d-1e2f3a4b5c6d";
const std::string previousId = "lab-pc-0c6d3a1e-1111-4a5b-8c6d-1e2f3a4b5c6d";

std::string readTestData(const std::string& name) {
    std::ifstream in(std::string(RBFINDER_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return boost::algorithm::replace_all_copy(text.str(), "@ID@", requestId);
}

std::string answerWith(const std::string& members) {
    return R"({"request":"kv-discovery-answer","version":3,"id":")" + requestId + "\"" + members +
           "}";
}

std::string answerFromServer(const std::string& uid) {
    return answerWith(R"(,"servers":[{"uid":")" + uid + R"(","type":"dataserver"}])");
}

// Runs the answer handling of one socket over datagrams given oldest first, as they
// would have arrived; the socket stores them newest first.
struct Outcome {
    std::list<DeviceInfo> devices;
    std::list<ServerInfo> servers;
    bool answersEmptied = false;
};

Outcome process(const std::vector<ReceivedAnswer>& arrived,
                std::int32_t flags = RequestFlag::Servers) {
    std::forward_list<ReceivedAnswer> answers;
    for (const auto& answer : arrived) {
        answers.push_front(answer);
    }
    const auto request = makeDiscoveryRequest(DiscoveryProtocolVersion, requestId, flags, {}, {});
    Outcome outcome;
    // Leftovers of an earlier pass must be replaced, not appended to.
    outcome.devices.emplace_back();
    outcome.servers.emplace_back();
    processAnswers(answers, request, outcome.devices, outcome.servers);
    outcome.answersEmptied = answers.empty();
    return outcome;
}

std::vector<std::string> uids(const std::list<ServerInfo>& servers) {
    std::vector<std::string> result;
    for (const auto& server : servers) {
        result.push_back(server.uid);
    }
    return result;
}

TEST(AnswerProcessing, GoldenAnswerGivesServersAtTheSendersAddress) {
    const auto outcome = process({{"10.0.0.9", readTestData("answer_two_servers.json")}});
    EXPECT_TRUE(outcome.answersEmptied);
    EXPECT_THAT(outcome.devices, IsEmpty()) << "devices were not asked for";
    ASSERT_EQ(outcome.servers.size(), 2u);
    const auto& rb = outcome.servers.front();
    EXPECT_EQ(rb.uid, "RBLK-000123");
    EXPECT_TRUE(rb.isDataServer());
    EXPECT_THAT(rb.addresses, ElementsAre("10.0.0.9"));
    EXPECT_EQ(rb.port, 8080);
    EXPECT_EQ(rb.apiVersion, 6u);
    ASSERT_EQ(rb.devices.size(), 1u);
    const auto& device = rb.devices.front();
    EXPECT_EQ(device.serial, "000123");
    EXPECT_EQ(device.address, "") << "nested devices keep what they were read with";
    EXPECT_EQ(device.owner, "");
    EXPECT_EQ(device.status, "Available");
    EXPECT_TRUE(device.available);
    EXPECT_EQ(device.minServRev, 0xFFFFFFFFu);
    EXPECT_EQ(device.lastRefresh, 1733731200u);
    EXPECT_THAT(outcome.servers.back().addresses, ElementsAre("10.0.0.9"));
    EXPECT_EQ(outcome.servers.back().devices.at(0).serial, "A1");
}

TEST(AnswerProcessing, RequestFlagsSelectDevicesAndServers) {
    const ReceivedAnswer golden{"10.0.0.9", readTestData("answer_two_servers.json")};
    const auto devicesOnly = process({golden}, RequestFlag::Devices);
    EXPECT_THAT(devicesOnly.servers, IsEmpty());
    ASSERT_EQ(devicesOnly.devices.size(), 1u);
    EXPECT_EQ(devicesOnly.devices.front().serial, "top-level");
    EXPECT_EQ(devicesOnly.devices.front().address, "10.0.0.9");

    const auto both = process({golden}, RequestFlag::Devices | RequestFlag::Servers);
    EXPECT_EQ(both.devices.size(), 1u);
    EXPECT_EQ(both.servers.size(), 2u);

    const auto neither = process({golden}, 0);
    EXPECT_THAT(neither.devices, IsEmpty());
    EXPECT_THAT(neither.servers, IsEmpty());
}

TEST(AnswerProcessing, RawLineFeedInsideAStringIsRepaired) {
    const auto outcome = process({{"10.0.0.9", readTestData("answer_raw_linefeed.json")}});
    ASSERT_EQ(outcome.servers.size(), 1u);
    EXPECT_EQ(outcome.servers.front().serverVersion, "line one\nline two");
}

// Each of these is skipped silently; the valid answer stored around it still counts.
struct SkipCase {
    const char* name;
    std::string payload;
};

void PrintTo(const SkipCase& c, std::ostream* out) {
    *out << c.name;
}

class SkippedDatagrams : public ::testing::TestWithParam<SkipCase> {};

TEST_P(SkippedDatagrams, AreDroppedWithoutStoppingTheOthers) {
    velmor::testing::LogCapture log;
    const auto outcome = process({{"10.0.0.1", answerFromServer("before")},
                                  {"10.0.0.2", GetParam().payload},
                                  {"10.0.0.3", answerFromServer("after")}});
    EXPECT_THAT(uids(outcome.servers), ElementsAre("after", "before"));
    EXPECT_THAT(log.lines(), IsEmpty());
    EXPECT_TRUE(outcome.answersEmptied);
}

std::string nestedBrackets(std::size_t depth, char open, char close) {
    return std::string(depth, open) + std::string(depth, close);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkippedDatagrams,
    ::testing::Values(
        SkipCase{"NotJson", "{this is not json"},
        SkipCase{"CutShort", answerFromServer("cut").substr(0, 60)},
        SkipCase{"TrailingText", answerFromServer("x") + "garbage"},
        SkipCase{"RawCarriageReturn", answerWith(R"(,"servers":[{"uid":"a)"
                                                 "\r"
                                                 R"(b"}])")},
        SkipCase{"RawTab", answerWith(",\"servers\":[{\"uid\":\"a\tb\"}]")},
        SkipCase{"OtherType", R"({"request":"kv-discovery-identify","id":")" + requestId +
                                  R"(","servers":[{"uid":"x"}]})"},
        SkipCase{"RequestType", R"({"request":"kv-discovery-request","id":")" + requestId + "\"}"},
        SkipCase{"TypeInOtherCase",
                 R"({"request":"KV-discovery-answer","id":")" + requestId + "\"}"},
        SkipCase{"NoRequestMember", R"({"id":")" + requestId + R"(","servers":[{"uid":"x"}]})"},
        SkipCase{"RequestIsAnObject",
                 R"({"request":{"kv-discovery-answer":1},"id":")" + requestId + "\"}"},
        SkipCase{"PreviousSearchId", R"({"request":"kv-discovery-answer","id":")" + previousId +
                                         R"(","servers":[{"uid":"x"}]})"},
        SkipCase{"NoId", R"({"request":"kv-discovery-answer","servers":[{"uid":"x"}]})"},
        SkipCase{"IdWithTrailingBlank", R"({"request":"kv-discovery-answer","id":")" + requestId +
                                            R"( ","servers":[{"uid":"x"}]})"},
        SkipCase{"TopLevelArray", "[\"kv-discovery-answer\"]"}, SkipCase{"Empty", ""},
        SkipCase{"InvalidUtf8", answerWith(",\"servers\":[{\"uid\":\"\xc3\x28\xff\"}]")},
        SkipCase{"NestedArrays4096", nestedBrackets(2048, '[', ']')},
        SkipCase{"UnclosedBrackets4096", "{" + std::string(4095, '[')},
        SkipCase{"NestedObjects",
                 [] {
                     std::string text;
                     for (int i = 0; i < 1000; ++i) {
                         text += "{\"a\":";
                     }
                     return text + "1" + std::string(1000, '}');
                 }()},
        // An escaped quote shifts the quote pairing of a pretty-printed answer; the
        // line feed after it turns into "\n" between members and the JSON breaks.
        SkipCase{"PrettyPrintedWithEscapedQuote",
                 "{\n\"request\": \"kv-discovery-answer\",\n\"id\": \"" + requestId +
                     "\",\n\"servers\": [{\"uid\": \"a\\\"b\"},\n{\"uid\": \"c\"}]\n}"}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

TEST(AnswerProcessing, EachDatagramGetsAVerdictAndAcceptedOnesTheirRecordCount) {
    const auto request = makeDiscoveryRequest(DiscoveryProtocolVersion, requestId,
                                              RequestFlag::Servers | RequestFlag::Devices, {}, {});
    const std::string serverWithTwoDevices =
        R"(,"servers":[{"uid":"s","devices":[{"serial":"A"},{"serial":"B"}]}],)"
        R"("devices":[{"serial":"A"}])";
    const struct {
        std::string payload;
        AnswerVerdict verdict;
        std::size_t records;
    } cases[] = {
        {"{not json", AnswerVerdict::notJson, 0},
        {nestedBrackets(100, '[', ']'), AnswerVerdict::notJson, 0},
        {R"({"request":"kv-discovery-request","id":")" + requestId + R"("})",
         AnswerVerdict::notAnAnswer, 0},
        {R"({"request":"kv-discovery-answer","id":")" + previousId + R"("})",
         AnswerVerdict::otherRequest, 0},
        {answerWith(""), AnswerVerdict::accepted, 0},
        // The server, the two devices it carries and the top-level device.
        {answerWith(serverWithTwoDevices), AnswerVerdict::accepted, 4},
        {answerWith(R"(,"servers":[{},{},{}])"), AnswerVerdict::accepted, 3},
    };
    for (const auto& c : cases) {
        AnswerRecords records;
        records.servers.emplace_back(); // leftovers are replaced
        EXPECT_EQ(processAnswer({"10.0.0.7", c.payload}, request, records), c.verdict) << c.payload;
        EXPECT_EQ(records.recordCount(), c.records) << c.payload;
    }
}

TEST(AnswerProcessing, NewestAnswerComesFirstAndNothingIsDeduplicated) {
    const auto outcome = process({{"10.0.0.1", answerFromServer("A")},
                                  {"10.0.0.2", answerFromServer("B")},
                                  {"10.0.0.2", answerFromServer("B")}});
    EXPECT_THAT(uids(outcome.servers), ElementsAre("B", "B", "A"));
    EXPECT_THAT(outcome.servers.back().addresses, ElementsAre("10.0.0.1"));
}

TEST(AnswerProcessing, ServerListShapes) {
    EXPECT_THAT(process({{"h", answerWith(R"(,"servers":[])")}}).servers, IsEmpty());
    EXPECT_THAT(process({{"h", answerWith(R"(,"servers":"")")}}).servers, IsEmpty());
    EXPECT_THAT(process({{"h", answerWith("")}}).servers, IsEmpty());
    const auto two = process(
        {{"192.168.1.3",
          answerWith(
              R"(,"servers":[{"uid":"x","addresses":["1.1.1.1","2.2.2.2"]},{"uid":"y"}])")}});
    ASSERT_EQ(two.servers.size(), 2u);
    for (const auto& server : two.servers) {
        EXPECT_THAT(server.addresses, ElementsAre("192.168.1.3"));
    }
    const auto keyed =
        process({{"h", answerWith(R"(,"servers":{"s2":{"uid":"2"},"s1":{"uid":"1"}})")}});
    EXPECT_THAT(uids(keyed.servers), ElementsAre("2", "1"));
}

struct VersionCase {
    const char* version; // JSON member text, or nullptr for a missing member
    const char* logLine; // expected debug line, or nullptr for none
};

void PrintTo(const VersionCase& c, std::ostream* out) {
    *out << (c.version != nullptr ? c.version : "missing");
}

class AnswerVersions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(AnswerVersions, AreLoggedButNeverRejected) {
    std::string answer = R"({"request":"kv-discovery-answer","id":")" + requestId + "\"";
    if (GetParam().version != nullptr) {
        answer += std::string(",\"version\":") + GetParam().version;
    }
    answer += R"(,"servers":[{"uid":"v"}]})";

    velmor::testing::LogCapture log;
    const auto outcome = process({{"h", answer}});
    EXPECT_THAT(uids(outcome.servers), ElementsAre("v"));
    if (GetParam().logLine == nullptr) {
        EXPECT_THAT(log.lines(), IsEmpty());
    } else {
        EXPECT_THAT(log.lines(), ElementsAre(std::string("[debug] ") + GetParam().logLine));
    }
}

constexpr const char* outdated = "Discovery answer sent by an outdated server";
constexpr const char* newer = "Discovery answer sent by a newer server. Please upgrade client.";

INSTANTIATE_TEST_SUITE_P(Cases, AnswerVersions,
                         ::testing::Values(VersionCase{"3", nullptr}, VersionCase{"\"3\"", nullptr},
                                           VersionCase{"\" 3\"", nullptr},
                                           VersionCase{"\"3.9\"", nullptr},
                                           VersionCase{"2", outdated}, VersionCase{"0", outdated},
                                           VersionCase{nullptr, outdated},
                                           VersionCase{"\"three\"", outdated},
                                           VersionCase{"4", newer}, VersionCase{"\"-1\"", newer},
                                           VersionCase{"99999999999", outdated}));

TEST(AnswerProcessing, HostileValuesGiveBoundedDefaults) {
    const std::string digits(10000, '9');
    const auto outcome =
        process({{"h", answerWith(R"(,"servers":[{"uid":")" + digits + R"(","port":)" + digits +
                                  R"(,"apiVersion":")" + digits + "\"}]")}});
    ASSERT_EQ(outcome.servers.size(), 1u);
    EXPECT_EQ(outcome.servers.front().uid, digits);
    EXPECT_EQ(outcome.servers.front().port, 0);
    EXPECT_EQ(outcome.servers.front().apiVersion, 0u);
}

TEST(JsonNesting, CountsStructureButNotStrings) {
    EXPECT_EQ(jsonNestingDepth("{}", 64), 1u);
    EXPECT_EQ(jsonNestingDepth(R"({"a":[{"b":[]}]})", 64), 4u);
    EXPECT_EQ(jsonNestingDepth(R"({"a":"[[[{{{\"[[["})", 64), 1u);
    EXPECT_EQ(jsonNestingDepth("]]]{", 64), 1u);
    EXPECT_EQ(jsonNestingDepth(std::string(4096, '['), 64), 65u) << "stops once over the limit";
}

TEST(JsonNesting, DeepestAcceptedAnswerParses) {
    auto nested = [](std::size_t depth) {
        std::string text = answerWith(",\"servers\":[]");
        text.pop_back();
        return text + ",\"x\":" + nestedBrackets(depth - 1, '[', ']') + "}";
    };
    EXPECT_TRUE(parseJsonPayload(nested(MaxJsonNesting)).has_value());
    EXPECT_FALSE(parseJsonPayload(nested(MaxJsonNesting + 1)).has_value());
}

} // namespace
} // namespace velmor
