// Whole searches in network namespaces of their own, answered by the simulator on
// loopback or, over a veth pair, in a second namespace.
#if defined(__linux__)

#include "discovery/multicast_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "net/host_name.h"
#include "protocol/discovery_message.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor {
namespace {

using testing::runCommand;

// Two simulators on loopback, one per destination port, whose server uids name the port;
// `id` makes them answer with that id instead of the request's.
struct PerPortSimulators {
    testing::SimulatorProcess at8017;
    testing::SimulatorProcess at8018;

    explicit PerPortSimulators(const std::string& id = "") {
        for (auto [simulator, port] : {std::pair{&at8017, "8017"}, std::pair{&at8018, "8018"}}) {
            std::vector<std::string> arguments{"--port", port, "--uid", std::string("p") + port,
                                               "--quiet"};
            if (!id.empty()) {
                arguments.insert(arguments.end(), {"--id", id});
            }
            simulator->start(arguments);
        }
    }
};

// A UDP socket on 0.0.0.0 at `port`, without address reuse.
class PortHolder {
public:
    explicit PortHolder(std::uint16_t port) : fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot hold port " + std::to_string(port));
        }
    }
    ~PortHolder() { ::close(fd); }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

private:
    int fd;
};

// "uid@address,..." of every server found, in list order.
std::string describe(const MulticastDiscovery& search) {
    std::string text;
    for (const ServerInfo& server : search.servers()) {
        text += server.uid + "@";
        for (const std::string& address : server.addresses) {
            text += address + ",";
        }
        text += " ";
    }
    return text.empty() ? "none" : text;
}

TEST(Search, RequestIdIsHostNameAndAVersion4Uuid) {
    MulticastDiscovery search(15, &discoveryPorts, 1);
    const std::string first = search.makeRequestId();
    const std::string prefix = hostName() + "-";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    EXPECT_TRUE(std::regex_match(
        first.substr(prefix.size()),
        std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << first;
    EXPECT_NE(search.makeRequestId(), first);
}

TEST(Search, WithoutLocalAddressReturnsAtOnceWithNothing) {
    const std::string output = testing::outputOrSkipNote([] {
        testing::LogCapture log; // the loopback link stays down
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run(RequestFlag::Servers, 600000); // returns at once, or the body's guard ends it
        return describe(search) + " " + log.lines().at(0);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "none [debug] No local adresses to discover on");
}

TEST(Search, LoopbackFindsBothPortsWith8018FirstAfterTheWholeTimeout) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        PerPortSimulators simulators;
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        return describe(search) + (search.statistics().deadlineReached ? "in time" : "cut short");
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "p8018@127.0.0.1, p8017@127.0.0.1, in time");
}

TEST(Search, AnswersWithAnEarlierSearchsIdAreIgnored) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        MulticastDiscovery search(15, &discoveryPorts, 1);
        std::string first;
        {
            PerPortSimulators simulators;
            search.run(RequestFlag::Servers, 500);
            first = describe(search);
        }
        // Servers that answer the next search with the first search's id.
        PerPortSimulators replaying(search.statistics().requestId);
        search.run(RequestFlag::Servers, 500); // replaces the first search's lists
        return first + "| " + describe(search);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "p8018@127.0.0.1, p8017@127.0.0.1, | none");
}

TEST(Search, EverySocketFailingStillWaitsTheFullTime) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        testing::LogCapture log;
        // Two ephemeral ports in this namespace, both taken by sockets that share
        // nothing: a discovery socket binding port 0 finds no port left.
        runCommand("sysctl -qw net.ipv4.ip_local_port_range='40000 40001'");
        const PortHolder first(40000);
        const PortHolder second(40001);
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        const bool fullWait = search.statistics().deadlineReached;
        std::string text = describe(search) + (fullWait ? " full wait" : " short");
        for (const std::string& line : log.lines()) {
            text += "\n" + line;
        }
        return text;
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    const std::string failed = "[error] Failed to bind socket for discovery on interface "
                               "127.0.0.1:0: bind: Address already in use\n"
                               "[debug] Discovery interface 127.0.0.1 not connected";
    EXPECT_EQ(output, "none full wait\n" + failed + "\n" + failed);
}

TEST(Search, EitherModeStopsAtTheFirstWantedAnswerWhileAnswersKeepComing) {
    for (const bool fast : {true, false}) {
        const std::string output = testing::outputOrSkipNote([fast] {
            runCommand("ip link set lo up");
            // Answers every 2 ms for about 40 s to each request.
            testing::SimulatorProcess stream;
            stream.start({"--uid", "stream", "--repeat", "20000", "--pace", "2000", "--quiet"});
            MulticastDiscovery search(15, &discoveryPorts, 1);
            search.setTuning({.fast = fast,
                              .stopWhen =
                                  [](const std::list<ServerInfo>& answer) {
                                      return answer.front().uid == "stream";
                                  },
                              .localAddresses = {},
                              .unicastHosts = {},
                              .stop = {}});
            // Ten minutes: only the early stop ends the search before the body's guard does.
            search.run(RequestFlag::Servers, 600000);
            const std::string found = describe(search);
            const bool hasStream = found.find("stream@127.0.0.1,") != std::string::npos;
            return std::string(hasStream ? "found" : "missing: " + found) +
                   (search.statistics().stoppedEarly ? " stopped" : " not stopped");
        });
        RBFINDER_SKIP_IF_NO_NAMESPACE(output);
        EXPECT_EQ(output, "found stopped") << (fast ? "fast" : "not fast");
    }
}

TEST(Search, ASearchAfterOneThatRaisedIsWhole) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        PerPortSimulators simulators;
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.setTuning({.fast = true,
                          .stopWhen = [](const std::list<ServerInfo>&) -> bool {
                              throw std::runtime_error("caller gave up");
                          },
                          .localAddresses = {},
                          .unicastHosts = {},
                          .stop = {}});
        std::string first = "no error";
        try {
            search.run(RequestFlag::Servers, 2000);
        } catch (const std::runtime_error& error) {
            first = error.what();
        }
        // Nothing of the first search may run in the second: neither its deadline nor
        // its sockets, whose observer and request are gone.
        search.setTuning({});
        search.run();
        const bool fullTime = search.statistics().deadlineReached;
        return first + " | " + describe(search) + (fullTime ? "full time" : "cut short");
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "caller gave up | p8018@127.0.0.1, p8017@127.0.0.1, full time");
}

TEST(Search, TimeoutOfAtMostTheSettlingTimeStillTakesTheAnswersOfTheSettlingTime) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        PerPortSimulators simulators;
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run(RequestFlag::Servers, std::numeric_limits<std::int64_t>::min());
        return describe(search) + (search.statistics().deadlineReached ? "ended" : "not ended");
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "p8018@127.0.0.1, p8017@127.0.0.1, ended");
}

TEST(Search, FindsAServerInAnotherNamespaceByMulticast) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        testing::SimulatorProcess simulator;
        simulator.startInPeerNamespace({"--serial", "RB4242", "--uid", "ds-RB4242", "--quiet"});
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        simulator.stop();
        return describe(search);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    // Both requests leave from 10.77.0.1, to the group at 8017 and 8018; the answers come
    // from the simulator's address, which becomes each server's only address.
    EXPECT_EQ(output, "ds-RB4242@10.77.0.2, ds-RB4242@10.77.0.2, ");
}

TEST(Search, AStrayDatagramDoesNotHideTheAnswersBehindIt) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        const std::string stray = "/tmp/rbfinder-stray-" + std::to_string(::getpid());
        std::ofstream(stray) << "hello, not an answer";
        testing::SimulatorProcess simulator;
        simulator.start({"--send-first", stray, "--uid", "ds-RB0001", "--quiet"});
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        simulator.stop();
        std::remove(stray.c_str());
        return describe(search);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "ds-RB0001@127.0.0.1, ds-RB0001@127.0.0.1, ");
}

} // namespace
} // namespace velmor

#endif
