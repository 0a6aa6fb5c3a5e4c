// Searches while a hostile host on the link sends whatever it likes. The search runs in a
// namespace of the test's own, on a worker thread with a default stack; an instrument
// answers from one peer namespace (10.77.0.2) and the hostile sender from another
// (10.78.0.2). Nothing may crash or hang, and only what valid answers to this search
// describe is listed.
#if defined(__linux__)

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "discovery/multicast_discovery.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor {
namespace {

const std::string answerHead = R"({"request":"kv-discovery-answer","version":"3","id":"@ID@",)";

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

struct HostileCase {
    const char* name;
    std::string raw;                // the hostile datagram ("" for none); @ID@ is this search's id
    std::vector<std::string> flags; // further rbsim options of the hostile sender
    std::set<std::string> listed;   // the distinct server uids the search must give
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

// Runs in the namespace child: gives the distinct uids found, or what went wrong.
std::string searchBesideHostileSender(const HostileCase& c) {
    testing::runCommand("ip link set lo up");
    testing::SimulatorProcess instrument;
    instrument.startInPeerNamespace({"--serial", "RB0001", "--uid", "ds-RB0001", "--quiet"});

    const std::string file = "/tmp/rbfinder-hostile-" + std::to_string(::getpid());
    std::vector<std::string> arguments = c.flags;
    if (!c.raw.empty()) {
        std::ofstream(file, std::ios::binary) << c.raw;
        arguments.insert(arguments.end(), {"--raw", file});
    }
    arguments.push_back("--quiet");
    testing::SimulatorProcess hostile;
    hostile.startInPeerNamespace(arguments, {"rbv2", "10.78.0.1/24", "rbv3", "10.78.0.2/24"});

    MulticastDiscovery search(15, &discoveryPorts, 1);
    std::thread worker([&search] { search.run(); }); // a default stack, as the window's worker
    worker.join();
    const std::string hostileSummary = hostile.stop(std::chrono::seconds(60));
    instrument.stop();
    if (hostileSummary.find("rbsim: 2 requests") == std::string::npos) {
        throw std::runtime_error("the hostile sender was not asked twice: " + hostileSummary);
    }
    std::remove(file.c_str());

    std::set<std::string> uids;
    for (const ServerInfo& server : search.servers()) {
        uids.insert(server.uid);
    }
    std::string text;
    for (const std::string& uid : uids) {
        text += uid + ";";
    }
    return text;
}

class HostileNetwork : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileNetwork, OnlyValidAnswersToThisSearchAreListed) {
    const HostileCase& c = GetParam();
    const std::string output = testing::outputOrSkipNote(
        [&c] { return searchBesideHostileSender(c); }, std::chrono::minutes(3));
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    std::string expected;
    for (const std::string& uid : c.listed) {
        expected += uid + ";";
    }
    EXPECT_EQ(output, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileNetwork,
    ::testing::Values(
        // 50,000 per request, 100,000 in all: answers with an id of their own.
        HostileCase{"FloodOfForeignAnswers",
                    R"({"request":"kv-discovery-answer","id":"evil","servers":[{"uid":"evil"}]})",
                    {"--repeat", "50000"},
                    {"ds-RB0001"}},
        // Over 4,096 bytes: cut to them on arrival, inside its JSON, so it does not parse.
        HostileCase{"AnswerCutInsideItsJson",
                    answerHead + R"("servers":[{"uid":"evil-long","x":")" + std::string(6000, 'x') +
                        "\"}]}",
                    {},
                    {"ds-RB0001"}},
        // Valid answers to this search, however odd their texts: listed as they are.
        HostileCase{"EscapedNulAndControlCharacters",
                    answerHead + R"("servers":[{"uid":"odd\u0000\u0001\u001b[2J"}]})",
                    {},
                    {"ds-RB0001", std::string("odd\0\x01\x1b[2J", 9)}},
        // Raw control characters and bytes that are no UTF-8 make it invalid JSON.
        HostileCase{"RawControlCharactersAndInvalidUtf8",
                    answerHead + "\"servers\":[{\"uid\":\"bad\x01\xff\xfe\xc3\x28\"}]}",
                    {},
                    {"ds-RB0001"}},
        HostileCase{"NumbersOfThousandsOfDigits",
                    answerHead + R"("servers":[{"uid":"digits","port":)" + std::string(1500, '9') +
                        R"(,"apiVersion":-)" + std::string(1500, '1') + "}]}",
                    {},
                    {"digits", "ds-RB0001"}},
        HostileCase{"SameAnswerAThousandTimes",
                    answerHead + R"("servers":[{"uid":"again"}]})",
                    {"--repeat", "1000"},
                    {"again", "ds-RB0001"}},
        HostileCase{"EarlierSearchsId",
                    "",
                    {"--id", "host-1b4e28ba-2fa1-4d2b-883f-0016d3cca427"},
                    {"ds-RB0001"}},
        // The deepest nesting a datagram can hold, read on the worker thread.
        HostileCase{
            "DeepestNesting", answerHead + "\"servers\":" + nested(2000) + "}", {}, {"ds-RB0001"}}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

} // namespace
} // namespace velmor

#endif
