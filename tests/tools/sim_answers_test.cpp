#include "tools/sim_answers.h"

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "protocol/discovery_message.h"
#include "tools/sim_servers.h"

namespace velmor::tools {
namespace {

using Interfaces = std::set<InterfaceType>;

// The finder reads at most this many bytes of a datagram.
constexpr std::size_t FinderReadBytes = 4096;

// Reads a datagram the way the finder does.
DiscoveryAnswer read(const std::string& datagram) {
    const auto tree = parseJsonPayload(datagram);
    EXPECT_TRUE(tree.has_value()) << datagram;
    return parseDiscoveryAnswer(tree.value_or(boost::property_tree::ptree{}));
}

AnswerHeader header(std::string id, bool withDevices = false) {
    AnswerHeader result;
    result.id = std::move(id);
    result.withDevices = withDevices;
    return result;
}

TEST(SimAnswers, DefaultServerReadsBackAsConfigured) {
    const auto datagrams =
        AnswerBuilder(makeSimServers({}, {}, "", "dataserver")).datagrams(header("pc-1"));
    ASSERT_EQ(datagrams.size(), 1u);
    // Typed as a data server writes them, and compact.
    EXPECT_NE(datagrams[0].find(R"("version":3,)"), std::string::npos);
    EXPECT_NE(datagrams[0].find(R"("available":true,)"), std::string::npos);
    EXPECT_NE(datagrams[0].find(R"("port":80,)"), std::string::npos);
    EXPECT_EQ(datagrams[0].find_first_of(" \n"), std::string::npos);

    const DiscoveryAnswer answer = read(datagrams[0]);
    EXPECT_EQ(answer.header.messageType, "kv-discovery-answer");
    EXPECT_EQ(answer.header.version, 3u);
    EXPECT_EQ(answer.header.id, "pc-1");
    EXPECT_TRUE(answer.devices.empty());
    ASSERT_EQ(answer.servers.size(), 1u);
    const ServerInfo& server = answer.servers.front();
    EXPECT_EQ(server.uid, "dataserver-RB0001");
    EXPECT_TRUE(server.isDataServer());
    EXPECT_EQ(server.port, 80);
    EXPECT_EQ(server.apiVersion, 1u);
    EXPECT_EQ(server.serverVersion, "1.0.0");
    ASSERT_EQ(server.devices.size(), 1u);
    const DeviceInfo& device = server.devices[0];
    EXPECT_EQ(device.serial, "RB0001");
    EXPECT_EQ(device.type, "RBLK");
    EXPECT_EQ(device.interfaces, (Interfaces{InterfaceType::USB, InterfaceType::GbE}));
    EXPECT_EQ(device.connected, InterfaceType::GbE);
    EXPECT_EQ(device.connectedServerUid, "dataserver-RB0001");
    EXPECT_TRUE(device.available);
    EXPECT_EQ(device.owner, "");           // "none"
    EXPECT_EQ(device.status, "Available"); // "free"
    EXPECT_EQ(device.minServRev, 1u);
}

TEST(SimAnswers, FlagDevicesPairSerialsWithTypesInOrder) {
    struct Case {
        std::vector<std::string> serials, types;
        std::string uid;
        std::vector<std::string> expected; // "serial/type"
        std::string expectedUid;
    };
    const std::vector<Case> cases = {
        {{"A", "B"}, {"QD4X"}, "", {"A/QD4X", "B/RBLK"}, "dataserver-A"},
        {{}, {"X", "Y"}, "", {"RB0001/X", "RB0002/Y"}, "dataserver-RB0001"},
        {{"S"}, {}, "mine", {"S/RBLK"}, "mine"},
    };
    for (const auto& c : cases) {
        const auto servers = makeSimServers(c.serials, c.types, c.uid, "kind");
        const auto answer = read(AnswerBuilder(servers).datagrams(header("x"))[0]);
        ASSERT_EQ(answer.servers.size(), 1u);
        const ServerInfo& server = answer.servers.front();
        EXPECT_EQ(server.uid, c.expectedUid);
        EXPECT_EQ(server.type, "kind");
        std::vector<std::string> devices;
        for (const auto& device : server.devices) {
            devices.push_back(device.serial + "/" + device.type);
        }
        EXPECT_EQ(devices, c.expected) << c.expectedUid;
    }
}

TEST(SimAnswers, ConfiguredMembersSurviveTheWireIncludingEscapes) {
    const auto servers = parseSimConfig(R"({"servers":[
        {"uid":"u\"1\\\n","type":"DataServer","addresses":["10.0.0.5"],"port":"8080",
         "apiVersion":6,"serverVersion":"2.1 \u00e9","minClientRev":12,
         "devices":{"a":{"serial":"S1","type":"RB-X","address":"10.0.0.7",
                         "interfaces":["PCIe","Thunderbolt"],"connected":"USB",
                         "connectedServerUid":"elsewhere","available":false,"owner":"lab",
                         "status":"busy","statusFlags":5,"options":"o\tp","firmwareRev":17,
                         "minServRev":0,"kvComVersion":2,"lastRefresh":18446744073709551615},
                    "b":{"serial":"S2"}}},
        {"devices":[{"serial":"T1"}]},
        {"uid":"empty","devices":[]}]})");
    const auto answer = read(AnswerBuilder(servers).datagrams(header("id", true))[0]);
    ASSERT_EQ(answer.servers.size(), 3u);
    const ServerInfo& first = answer.servers.front();
    EXPECT_EQ(first.uid, "u\"1\\\n");
    EXPECT_TRUE(first.isDataServer());
    EXPECT_EQ(first.addresses, (std::vector<std::string>{"10.0.0.5"}));
    EXPECT_EQ(first.port, 8080);
    EXPECT_EQ(first.apiVersion, 6u);
    EXPECT_EQ(first.serverVersion, "2.1 \xC3\xA9");
    EXPECT_EQ(first.minClientRev, 12u);
    ASSERT_EQ(first.devices.size(), 2u);
    const DeviceInfo& device = first.devices[0];
    EXPECT_EQ(device.serial, "S1");
    EXPECT_EQ(device.type, "RB-X");
    EXPECT_EQ(device.address, "10.0.0.7");
    EXPECT_EQ(device.interfaces, (Interfaces{InterfaceType::PCIe, InterfaceType::Unknown}));
    EXPECT_EQ(device.connected, InterfaceType::USB);
    EXPECT_EQ(device.connectedServerUid, "elsewhere");
    EXPECT_FALSE(device.available);
    EXPECT_EQ(device.owner, "lab");
    EXPECT_EQ(device.status, "busy");
    EXPECT_EQ(device.statusFlags, 5u);
    EXPECT_EQ(device.options, "o\tp");
    EXPECT_EQ(device.firmwareRev, 17u);
    EXPECT_EQ(device.minServRev, 0xFFFFFFFFu); // 0 on the wire means no limit
    EXPECT_EQ(device.kvComVersion, 2u);
    EXPECT_EQ(device.lastRefresh, 18446744073709551615u);
    // Unconfigured members take the defaults; the device belongs to its own server.
    EXPECT_TRUE(first.devices[1].available);
    EXPECT_EQ(first.devices[1].connectedServerUid, first.uid);

    const auto it = std::next(answer.servers.begin());
    EXPECT_EQ(it->uid, "dataserver-T1");
    EXPECT_EQ(it->devices[0].connectedServerUid, "dataserver-T1");
    EXPECT_TRUE(std::next(it)->devices.empty());
    // Asked for devices: every device again at the top level, in order.
    std::vector<std::string> topLevel;
    for (const auto& d : answer.devices) {
        topLevel.push_back(d.serial);
    }
    EXPECT_EQ(topLevel, (std::vector<std::string>{"S1", "S2", "T1"}));
}

TEST(SimAnswers, UnusableConfigurationsAreRejectedWithTheirPlace) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{", "not valid JSON"},
        {R"({"server":[]})", "\"servers\" is missing"},
        {R"({"servers":[{"port":"x"}]})", "server 1: \"port\" must be a number from 0 to 65535"},
        {R"({"servers":[{"port":65536}]})", "\"port\" must be a number"},
        {R"({"servers":[{"apiVersion":-1}]})", "\"apiVersion\" must be a number"},
        {R"({"servers":[{"minClientRev":1.5}]})", "\"minClientRev\" must be a number"},
        {R"({"servers":[{"uid":{"a":1}}]})", "\"uid\" must not hold an object or array"},
        {R"({"servers":[{"addresses":"10.0.0.1"}]})", "\"addresses\" must be an array"},
        {R"({"servers":[{},{"devices":[{},{"available":"maybe"}]}]})",
         "server 2 device 2: \"available\" must be true or false"},
        {R"({"servers":[{"devices":[{"interfaces":[["USB"]]}]}]})",
         "server 1 device 1: \"interfaces\" must not hold"},
    };
    for (const auto& [json, message] : cases) {
        try {
            parseSimConfig(json);
            ADD_FAILURE() << "accepted " << json;
        } catch (const SimConfigError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos)
                << json << " -> " << error.what();
        }
    }
}

TEST(SimAnswers, HeaderCarriesAnyIdAndVersion) {
    AnswerHeader h = header("a \"quoted\" id\x01");
    h.version = 7;
    const auto answer = read(AnswerBuilder({}).datagrams(h).at(0));
    EXPECT_EQ(answer.header.id, "a \"quoted\" id\x01");
    EXPECT_EQ(answer.header.version, 7u);
    EXPECT_TRUE(answer.servers.empty()); // "servers":[] without servers

    // Bytes as they came; \n, \r, \t short and other controls in upper-case hex.
    EXPECT_EQ(AnswerBuilder({}).datagrams(header("\b\n\x1f\x7f\xFF")).at(0),
              R"({"request":"kv-discovery-answer","version":3,"id":"\u0008\n\u001F)"
              "\x7f\xFF\",\"servers\":[]}");
}

class SimAnswerSplitting : public ::testing::TestWithParam<std::size_t> {};

// Every server arrives exactly once, in order, and no datagram is cut by the finder's
// 4096-byte read; datagrams are filled, not one server each.
TEST_P(SimAnswerSplitting, KeepsEveryDatagramWithinTheReadSize) {
    const std::size_t count = GetParam();
    const auto servers = makeGeneratedServers(count);
    const AnswerBuilder builder(servers);
    for (const bool withDevices : {false, true}) {
        const auto datagrams = builder.datagrams(header("lab-pc-0123", withDevices));
        std::vector<std::string> uids;
        std::size_t devices = 0;
        for (std::size_t i = 0; i < datagrams.size(); ++i) {
            ASSERT_LE(datagrams[i].size(), FinderReadBytes);
            const auto answer = read(datagrams[i]);
            ASSERT_EQ(answer.header.id, "lab-pc-0123");
            for (const auto& server : answer.servers) {
                uids.push_back(server.uid);
                // The finder keeps a device only when its serial is part of the uid.
                ASSERT_EQ(server.devices.size(), 1u);
                ASSERT_NE(server.uid.find(server.devices[0].serial), std::string::npos);
            }
            devices += answer.devices.size();
            if (i + 1 < datagrams.size()) {
                // The next server, its device and their commas would not have fitted.
                const SimServer& next = servers[uids.size()];
                const std::size_t grown =
                    serverJson(next).size() + 1 +
                    (withDevices ? deviceJson(next.devices[0]).size() + 1 : 0);
                EXPECT_GT(datagrams[i].size() + grown, FinderReadBytes);
            }
        }
        ASSERT_EQ(uids.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(uids[i], servers[i].uid);
        }
        EXPECT_EQ(devices, withDevices ? count : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, SimAnswerSplitting, ::testing::Values(1, 100, 10000));

TEST(SimAnswers, GeneratedSerialsHaveOneWidth) {
    const auto servers = makeGeneratedServers(10000);
    EXPECT_EQ(servers.front().uid, "sim-RB00001");
    EXPECT_EQ(servers.back().devices[0].serial, "RB10000");
    EXPECT_EQ(makeGeneratedServers(12).back().devices[0].serial, "RB0012");
}

TEST(SimAnswers, ServerLargerThanADatagramTravelsAlone) {
    std::vector<SimServer> servers = makeGeneratedServers(3);
    servers[1].devices.resize(60, servers[1].devices[0]);
    const auto datagrams = AnswerBuilder(servers).datagrams(header("id"));
    ASSERT_EQ(datagrams.size(), 3u);
    EXPECT_GT(datagrams[1].size(), FinderReadBytes);
    EXPECT_EQ(read(datagrams[1]).servers.front().devices.size(), 60u);
    EXPECT_EQ(read(datagrams[2]).servers.front().uid, servers[2].uid);
}

TEST(SimAnswers, OnePerDatagramGivesEveryServerItsOwn) {
    const auto datagrams = AnswerBuilder(makeGeneratedServers(3), 0).datagrams(header("id"));
    ASSERT_EQ(datagrams.size(), 3u);
    EXPECT_EQ(read(datagrams[2]).servers.size(), 1u);
}

TEST(SimAnswers, RawAnswersGetTheRequestIdEscaped) {
    EXPECT_EQ(withRequestId(R"({"id":"@ID@","x":"@ID@"})", "a\"b\\c\n"),
              R"({"id":"a\"b\\c\u000a","x":"a\"b\\c\u000a"})");
    EXPECT_EQ(withRequestId("no placeholder @ID", "x"), "no placeholder @ID");
}

TEST(SimRequests, OnlyDiscoveryRequestsAreRead) {
    const auto request = [](std::int32_t flags) {
        return serializeDiscoveryRequest(makeDiscoveryRequest(3, "lab-pc-1", flags, {"a"}, {}));
    };
    const auto servers = readSimRequest(request(RequestFlag::Servers));
    ASSERT_TRUE(servers);
    EXPECT_EQ(servers->id, "lab-pc-1");
    EXPECT_TRUE(servers->wantsServers);
    EXPECT_FALSE(servers->wantsDevices);

    const auto both = readSimRequest(request(RequestFlag::Servers | RequestFlag::Devices));
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->wantsServers && both->wantsDevices);

    const auto noId = readSimRequest(R"({"request":"kv-discovery-request"})");
    ASSERT_TRUE(noId);
    EXPECT_EQ(noId->id, "");

    for (const std::string& ignored :
         std::vector<std::string>{R"({"request":"kv-discovery-answer","id":"x"})",
                                  R"({"request":"kv-discovery-identify"})", "{}", "[]", "", "ping",
                                  R"({"request":"kv-discovery-request")",
                                  std::string(100, '[') + std::string(100, ']')}) {
        EXPECT_FALSE(readSimRequest(ignored)) << ignored;
    }
}

} // namespace
} // namespace velmor::tools
