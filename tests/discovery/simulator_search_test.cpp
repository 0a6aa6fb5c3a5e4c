// Whole searches against the simulator: over a veth pair by multicast, and on loopback
// with a stray datagram ahead of every answer.
#if defined(__linux__)

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "discovery/multicast_discovery.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor {
namespace {

using testing::runCommand;
using testing::SimulatorProcess;

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

std::string inNamespace(const std::function<std::string()>& body) {
    std::string skipReason;
    const auto output = testing::outputInNewNetworkNamespace(body, skipReason);
    return skipReason.empty() ? output.value_or("failed") : "skipped: " + skipReason;
}

#define SKIP_IF_NO_NAMESPACE(output)                                                               \
    if ((output).rfind("skipped: ", 0) == 0) {                                                     \
        GTEST_SKIP() << (output);                                                                  \
    }

TEST(SimulatorSearch, FindsAServerInAnotherNamespaceByMulticast) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        SimulatorProcess simulator;
        simulator.startInPeerNamespace({"--serial", "RB4242", "--uid", "ds-RB4242", "--quiet"});
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        simulator.stop();
        return describe(search);
    });
    SKIP_IF_NO_NAMESPACE(output);
    // Both requests leave from 10.77.0.1, to the group at 8017 and 8018; the answers come
    // from the simulator's address, which becomes each server's only address.
    EXPECT_EQ(output, "ds-RB4242@10.77.0.2, ds-RB4242@10.77.0.2, ");
}

TEST(SimulatorSearch, AStrayDatagramDoesNotHideTheAnswersBehindIt) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        const std::string stray = "/tmp/rbfinder-stray-" + std::to_string(::getpid());
        std::ofstream(stray) << "hello, not an answer";
        SimulatorProcess simulator;
        simulator.start({"--send-first", stray, "--uid", "ds-RB0001", "--quiet"});
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run();
        simulator.stop();
        std::remove(stray.c_str());
        return describe(search);
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "ds-RB0001@127.0.0.1, ds-RB0001@127.0.0.1, ");
}

} // namespace
} // namespace velmor

#endif
