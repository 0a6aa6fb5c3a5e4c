// rbfind as a user runs it, against rbsim, inside network namespaces made for the test.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include "rbfind_process.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor::testing {
namespace {

using namespace std::chrono_literals;
using Runs = std::vector<std::vector<std::string>>;

// A configuration file for rbsim that lives as long as the object.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& json) {
        char name[] = "/tmp/rbfind-test-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) {
            throw std::runtime_error("mkstemp failed");
        }
        ::close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << json;
    }
    ~ConfigFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Where the simulator runs: here, or in a peer namespace over a veth pair, in this side's
// subnet or in a wider one that does not fit in ours.
enum class Where { loopback, peer, peerOutsideOurSubnet };

// Runs `body` in a new namespace with loopback up and returns the results it gives, or
// sets `skipped` with the reason when no namespace can be made.
std::vector<RbfindResult>
resultsInNamespace(std::string& skipped, const std::function<std::vector<RbfindResult>()>& body) {
    const NamespaceRun run = runInNewNetworkNamespace(
        [&] {
            runCommand("ip link set lo up");
            return packResults(body());
        },
        60s);
    if (run.status == NamespaceRun::Status::skipped) {
        skipped = run.output;
        return {};
    }
    if (run.status != NamespaceRun::Status::completed) {
        ADD_FAILURE() << run.output;
        return {};
    }
    return unpackResults(run.output);
}

// Starts rbsim with `simArgs` (none: no simulator) in the test's namespace or in a peer
// namespace reached over a veth pair, and runs rbfind once per entry of `runs`.
std::vector<RbfindResult> searchAgainstSimulator(std::string& skipped,
                                                 const std::vector<std::string>& simArgs,
                                                 const Runs& runs, Where where = Where::loopback) {
    return resultsInNamespace(skipped, [&] {
        SimulatorProcess simulator;
        if (!simArgs.empty()) {
            if (where == Where::peer) {
                simulator.startInPeerNamespace(simArgs);
            } else if (where == Where::peerOutsideOurSubnet) {
                PeerNamespaceConfig config;
                config.peerAddress = "10.77.1.2/16"; // reaches 10.77.0.1; not in its /24
                simulator.startInPeerNamespace(simArgs, config);
            } else {
                simulator.start(simArgs);
            }
        }
        std::vector<RbfindResult> results;
        for (const auto& args : runs) {
            results.push_back(runRbfind(args));
        }
        if (simulator.running()) {
            simulator.stop();
        }
        return results;
    });
}

#define RESULTS_OR_SKIP(results, call)                                                             \
    std::string skipped;                                                                           \
    const std::vector<RbfindResult> results = call;                                                \
    if (!skipped.empty()) {                                                                        \
        GTEST_SKIP() << skipped;                                                                   \
    }

#define SEARCH_OR_SKIP(results, ...)                                                               \
    RESULTS_OR_SKIP(results, searchAgainstSimulator(skipped, __VA_ARGS__))

boost::property_tree::ptree parseJson(const std::string& text) {
    boost::property_tree::ptree tree;
    std::istringstream in(text);
    boost::property_tree::read_json(in, tree);
    return tree;
}

// Servers that exercise every rule of the window's filter, in one answer.
const char* const filterConfig = R"({"servers":[
 {"uid":"","type":"DataServer","devices":[{"serial":"RB0001","type":"RBLK","address":"192.168.9.9","minServRev":0}]},
 {"uid":"lab-rb0002-x","type":"dataserver","devices":[{"serial":"RB0002"},{"serial":"RB0003"},{"serial":"QD4001","type":"QD4"}]},
 {"uid":"","type":"gateway","devices":[{"serial":"RB0004"}]},
 {"uid":"","type":"dataserver","devices":[{"serial":"RB0005"},{"serial":"RB0006"}]},
 {"uid":"other-RB0001","type":"DATASERVER","devices":[{"serial":"RB0001","address":"10.9.9.9"}]},
 {"uid":"","type":"dataserver","devices":[{"serial":"rb0007","type":"rblk"}]}
]})";

TEST(RbfindEndToEnd, ListsWhatTheWindowListsAndAllWithAll) {
    const ConfigFile config(filterConfig);
    SEARCH_OR_SKIP(
        results, {"--config", config.path(), "--quiet"},
        Runs{{"--timeout", "700"}, {"--timeout", "700", "--all"}, {"--json", "--timeout", "700"}})
    ASSERT_EQ(results.size(), 3U);

    // The sender's address, not the device's own; RB0001 of two servers listed once.
    EXPECT_EQ(results[0].out, "RBLK - RB0001 - 127.0.0.1\nRBLK - RB0002 - 127.0.0.1\n");
    EXPECT_EQ(results[0].status, 0);
    EXPECT_EQ(results[0].err, "");

    EXPECT_EQ(results[1].out, "QD4 - QD4001 - 127.0.0.1\n"
                              "RBLK - RB0001 - 127.0.0.1\n"
                              "RBLK - RB0002 - 127.0.0.1\n"
                              "RBLK - RB0003 - 127.0.0.1\n"
                              "RBLK - RB0004 - 127.0.0.1\n"
                              "RBLK - RB0005 - 127.0.0.1\n"
                              "RBLK - RB0006 - 127.0.0.1\n"
                              "rblk - rb0007 - 127.0.0.1\n");
    EXPECT_EQ(results[1].status, 0);

    // Every server record (one per loopback socket that got the answer), the selected
    // devices in selection order with their family, and the values as read.
    const std::string& json = results[2].out;
    EXPECT_EQ(results[2].status, 0);
    ASSERT_FALSE(json.empty());
    EXPECT_EQ(json.back(), '\n');
    boost::property_tree::ptree tree;
    ASSERT_NO_THROW(tree = parseJson(json)) << json;
    EXPECT_FALSE(tree.get<std::string>("requestId").empty());
    const auto& servers = tree.get_child("servers");
    ASSERT_EQ(servers.size(), 12U) << json;
    std::vector<std::string> types;
    for (const auto& server : servers) {
        types.push_back(server.second.get<std::string>("type"));
    }
    EXPECT_EQ(types,
              (std::vector<std::string>{"DataServer", "dataserver", "gateway", "dataserver",
                                        "DATASERVER", "dataserver", "DataServer", "dataserver",
                                        "gateway", "dataserver", "DATASERVER", "dataserver"}));
    const auto& first = servers.front().second;
    EXPECT_EQ(first.get_child("addresses").front().second.data(), "127.0.0.1");
    EXPECT_EQ(first.get_child("devices").front().second.get<std::string>("address"), "192.168.9.9");
    const auto& devices = tree.get_child("devices");
    ASSERT_EQ(devices.size(), 2U);
    const auto& rb1 = devices.front().second;
    EXPECT_EQ(rb1.get<std::string>("serial"), "RB0001");
    EXPECT_EQ(rb1.get<std::string>("address"), "127.0.0.1");
    EXPECT_EQ(rb1.get<std::string>("owner"), "");           // "none" on the wire
    EXPECT_EQ(rb1.get<std::string>("status"), "Available"); // "free" on the wire
    EXPECT_EQ(std::next(devices.begin())->second.get<std::string>("serial"), "RB0002");
    // Kinds that a property tree hides: numbers, booleans and arrays as written.
    EXPECT_NE(json.find("\"interfaces\":[1,2],\"connected\":2,\"connectedServerUid\":\"\","
                        "\"available\":true,"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"minServRev\":4294967295,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"family\":4}"), std::string::npos) << json;
    EXPECT_NE(json.find("\"port\":80,\"apiVersion\":1,"), std::string::npos) << json;
}

TEST(RbfindEndToEnd, ShowsTheSenderAddressAndSearchesOnlyFromGivenAddresses) {
    const ConfigFile config(
        R"({"servers":[{"uid":"","devices":[{"serial":"RB0100","address":"192.168.9.9"}]}]})");
    SEARCH_OR_SKIP(results, {"--config", config.path(), "--quiet"},
                   Runs{{"--timeout", "700"},
                        {"--timeout", "700", "--address", "10.77.0.1"},
                        {"--timeout", "700", "--address", "127.0.0.1"},
                        {"--address", "10.77.0.9"}},
                   Where::peer)
    ASSERT_EQ(results.size(), 4U);
    EXPECT_EQ(results[0].out, "RBLK - RB0100 - 10.77.0.2\n");
    EXPECT_EQ(results[0].status, 0);
    EXPECT_EQ(results[1].out, "RBLK - RB0100 - 10.77.0.2\n");
    EXPECT_EQ(results[2].out, "");
    EXPECT_EQ(results[2].status, 1);
    EXPECT_EQ(results[3].status, 2);
    EXPECT_NE(results[3].err.find("'10.77.0.9' is not a local IPv4 address"), std::string::npos)
        << results[3].err;
}

// The simulator joins the group only on its loopback link, so multicast from here does
// not reach it: only a request sent to its address does.
TEST(RbfindEndToEnd, HostAsksAnInstrumentThatMulticastDoesNotReach) {
    SEARCH_OR_SKIP(results, {"--serial", "RB0100", "--interface", "lo", "--quiet"},
                   Runs{{"--timeout", "700"},
                        {"--timeout", "700", "--host", "10.77.0.2"},
                        {"--timeout", "700", "--host", "10.77.0.2", "--json", "--diagnose"},
                        {"--host", "no-such-instrument.invalid"}},
                   Where::peer)
    ASSERT_EQ(results.size(), 4U);
    EXPECT_EQ(results[0].out, "");
    EXPECT_EQ(results[0].status, 1);
    EXPECT_EQ(results[1].out, "RBLK - RB0100 - 10.77.0.2\n");
    EXPECT_EQ(results[1].status, 0) << results[1].err;

    boost::property_tree::ptree tree;
    ASSERT_NO_THROW(tree = parseJson(results[2].out)) << results[2].out;
    EXPECT_EQ(tree.get<std::string>("devices..address"), "10.77.0.2");
    const auto& sockets = tree.get_child("diagnosis.sockets");
    ASSERT_EQ(sockets.size(), 2U);
    for (const auto& [unused, socket] : sockets) {
        EXPECT_EQ(socket.get<std::string>("localAddress"), "10.77.0.1");
        EXPECT_EQ(socket.get<std::string>("destination"), "10.77.0.2");
        EXPECT_EQ(socket.get<std::string>("accepted"), "1");
    }

    EXPECT_EQ(results[3].status, 2);
    EXPECT_NE(results[3].err.find("rbfind: cannot resolve host 'no-such-instrument.invalid'"),
              std::string::npos)
        << results[3].err;
}

// An instrument heard on the link but outside our subnet is listed, and the diagnosis
// says why its page will not open.
TEST(RbfindEndToEnd, DiagnoseFlagsAnInstrumentOutsideOurSubnet) {
    SEARCH_OR_SKIP(results, {"--serial", "RB0100", "--quiet"},
                   Runs{{"--timeout", "700", "--json", "--diagnose"}}, Where::peerOutsideOurSubnet)
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].status, 0) << results[0].err;
    boost::property_tree::ptree tree;
    ASSERT_NO_THROW(tree = parseJson(results[0].out)) << results[0].out;
    EXPECT_EQ(tree.get<std::string>("devices..address"), "10.77.1.2");
    const auto& findings = tree.get_child("diagnosis.reachability");
    ASSERT_EQ(findings.size(), 1U) << results[0].out;
    EXPECT_EQ(findings.front().second.get<std::string>("kind"), "unreachable");
    EXPECT_EQ(findings.front().second.get<std::string>("subject"), "10.77.1.2");
}

TEST(RbfindEndToEnd, DiagnoseTellsWhyAnswersWereNotListed) {
    SEARCH_OR_SKIP(results, {"--serial", "RB0042", "--id", "an-earlier-search", "--quiet"},
                   Runs{{"--timeout", "500", "--diagnose"}})
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].status, 1);
    const std::string& out = results[0].out;
    EXPECT_NE(out.find("  127.0.0.1 -> 127.0.0.1:8017: request sent; 1 datagrams received, 1 "
                       "stored, 0 accepted as answers to this search; skipped: 1 another "
                       "request's id\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Hint: answers were sent to us but none matched this search"),
              std::string::npos)
        << out;
}

TEST(RbfindEndToEnd, ExitStatusesAndVerboseDiagnostics) {
    SEARCH_OR_SKIP(results, {},
                   Runs{{"--timeout", "300"},
                        {"--timeout", "300", "--json"},
                        {"--timeout", "300", "-v"},
                        {"--timeout", "-1"},
                        {"--help"},
                        {"--version"},
                        {"--timeout", "300", "--json", ">/dev/full"}})
    ASSERT_EQ(results.size(), 7U);
    EXPECT_EQ(results[0].status, 1);
    EXPECT_EQ(results[0].out, "");
    EXPECT_EQ(results[0].err, "");
    EXPECT_EQ(results[1].status, 1);
    EXPECT_NE(results[1].out.find("\"servers\":[],\"devices\":[]}\n"), std::string::npos)
        << results[1].out;
    EXPECT_EQ(results[2].status, 1);
    EXPECT_NE(results[2].err.find("[debug] Search "), std::string::npos) << results[2].err;
    EXPECT_EQ(results[3].status, 2);
    EXPECT_NE(results[3].err.find("rbfind: '--timeout' expects milliseconds"), std::string::npos);
    EXPECT_NE(results[3].err.find("--help"), std::string::npos);
    EXPECT_EQ(results[3].out, "");
    EXPECT_EQ(results[4].status, 0);
    EXPECT_NE(results[4].out.find("Usage: rbfind"), std::string::npos);
    EXPECT_EQ(results[5].status, 0);
    EXPECT_EQ(results[5].out, "rbfind " RBFIND_TEST_VERSION "\n");
    // Output that could not be written is a failure, not "no device".
    EXPECT_EQ(results[6].status, 3);
    EXPECT_EQ(results[6].err, "rbfind: could not write the output\n");
}

TEST(RbfindEndToEnd, NetworkTextCannotReachTheTerminalRaw) {
    const ConfigFile config(
        R"({"servers":[{"uid":"","devices":[{"serial":"RB\u001b]0;x\u0007\u009b1","type":"RB\r\n"}]}]})");
    SEARCH_OR_SKIP(results, {"--config", config.path(), "--quiet"},
                   Runs{{"--timeout", "500"}, {"--timeout", "500", "--json"}})
    ASSERT_EQ(results.size(), 2U);
    EXPECT_EQ(results[0].out, "RB\\x0d\\x0a - RB\\x1b]0;x\\x07\\x9b1 - 127.0.0.1\n");
    EXPECT_NE(results[1].out.find("\"serial\":\"RB\\u001b]0;x\\u0007\\u009b1\""), std::string::npos)
        << results[1].out;
    for (const auto& result : results) {
        EXPECT_EQ(result.out.find_first_of("\x1b\x07\r"), std::string::npos);
    }
}

// The searches may take ten minutes: only stopping at the first device lets rbfind exit
// before the run's guard kills it.
TEST(RbfindEndToEnd, FirstReturnsAtTheFirstDevice) {
    SEARCH_OR_SKIP(
        results, {"--serial", "RB0001", "--serial", "RB0002", "--uid", "RB0001+RB0002", "--quiet"},
        Runs{{"--first", "--timeout", "600000"},
             {"--first", "--timeout", "600000", "--json"},
             {"--first", "--timeout", "600000", "--address", "127.0.0.1", "--all"}})
    ASSERT_EQ(results.size(), 3U);
    EXPECT_EQ(results[0].status, 0);
    EXPECT_EQ(results[0].out, "RBLK - RB0001 - 127.0.0.1\n"); // the first one only
    EXPECT_EQ(results[1].status, 0);
    boost::property_tree::ptree tree;
    ASSERT_NO_THROW(tree = parseJson(results[1].out)) << results[1].out;
    ASSERT_EQ(tree.get_child("devices").size(), 1U);
    EXPECT_EQ(tree.get_child("devices").front().second.get<std::string>("serial"), "RB0001");
    EXPECT_EQ(results[2].status, 0);
}

TEST(RbfindEndToEnd, FirstWaitsTheWholeTimeWhenNothingQualifies) {
    SEARCH_OR_SKIP(results, {"--serial", "QD4001", "--type", "QD4", "--quiet"},
                   Runs{{"--first", "--timeout", "1000"}})
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].status, 1);
    EXPECT_EQ(results[0].out, "");
    EXPECT_GT(results[0].elapsed, 700ms);
}

TEST(RbfindEndToEnd, FirstFindsAnInstrumentThatBootsLater) {
    const auto scenario = [] {
        RbfindProcess first({"--first", "--timeout", "600000", "-v"});
        // The first search has ended without an answer when its summary is written.
        if (!first.waitForError("[debug] Search ", 30s)) {
            throw std::runtime_error("no search summary: " + first.finish(1s).err);
        }
        SimulatorProcess simulator;
        simulator.start({"--serial", "RB0042", "--quiet"});
        RbfindResult result = first.finish(30s);
        simulator.stop();
        return std::vector<RbfindResult>{result};
    };
    RESULTS_OR_SKIP(results, resultsInNamespace(skipped, scenario))
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].status, 0) << results[0].err;
    EXPECT_EQ(results[0].out, "RBLK - RB0042 - 127.0.0.1\n");
}

TEST(RbfindEndToEnd, WithoutAnyRequestSentTheSearchFails) {
    // The loopback link stays down: no local address to search from.
    const NamespaceRun run = runInNewNetworkNamespace(
        [] {
            return packResults({runRbfind({}), runRbfind({"--json"})});
        },
        60s);
    if (run.status == NamespaceRun::Status::skipped) {
        GTEST_SKIP() << run.output;
    }
    ASSERT_EQ(run.status, NamespaceRun::Status::completed) << run.output;
    const std::vector<RbfindResult> results = unpackResults(run.output);
    ASSERT_EQ(results.size(), 2U);
    const std::string message = "rbfind: search failed: no discovery request could be sent\n";
    EXPECT_EQ(results[0].status, 3);
    EXPECT_EQ(results[0].out, "");
    EXPECT_EQ(results[0].err, message);
    EXPECT_EQ(results[1].status, 3);
    EXPECT_EQ(results[1].out, "{\"requestId\":null,\"servers\":[],\"devices\":[]}\n");
    EXPECT_EQ(results[1].err, message);
}

TEST(RbfindEndToEnd, WatchStopsARunningSearchOnSigterm) {
    const auto scenario = [] {
        SimulatorProcess simulator;
        simulator.start({"--serial", "RB0042"});
        RbfindProcess watch({"--watch", "--timeout", "600000"});
        // The search is running once its request has reached the simulator.
        if (!simulator.waitForOutput("request", 30s)) {
            throw std::runtime_error("no request: " + simulator.output());
        }
        watch.signal(SIGTERM);
        RbfindResult result = watch.finish(30s);
        simulator.stop();
        return std::vector<RbfindResult>{result};
    };
    RESULTS_OR_SKIP(results, resultsInNamespace(skipped, scenario))
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].status, 0) << results[0].err;
    EXPECT_EQ(results[0].out, "");
}

TEST(RbfindEndToEnd, WatchPrintsAddedAndRemovedLinesUntilInterrupted) {
    const auto scenario = [] {
        RbfindProcess watch({"--watch", "1", "--timeout", "300"});
        SimulatorProcess simulator;
        simulator.start({"--serial", "RB0042", "--quiet"});
        const bool added = watch.waitForOutput("device RB0042 added\n", 10s);
        simulator.stop();
        const bool removed = watch.waitForOutput("device to be removed: RB0042\n", 10s);
        watch.signal(SIGINT);
        RbfindResult result = watch.finish(5s);
        result.out =
            std::string(added ? "added " : "") + (removed ? "removed\n" : "\n") + result.out;
        return std::vector<RbfindResult>{result};
    };
    RESULTS_OR_SKIP(results, resultsInNamespace(skipped, scenario))
    ASSERT_EQ(results.size(), 1U);
    const RbfindResult& result = results[0];
    EXPECT_EQ(result.status, 0) << result.err;
    const std::regex expected("added removed\n"
                              "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d device RB0042 added\n"
                              "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d device to be removed: "
                              "RB0042\n");
    EXPECT_TRUE(std::regex_match(result.out, expected)) << result.out;
}

} // namespace
} // namespace velmor::testing
