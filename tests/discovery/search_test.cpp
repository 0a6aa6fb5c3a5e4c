// Whole searches in network namespaces of their own, answered by plain UDP responders
// on a thread of the test.
#if defined(__linux__)

#include "discovery/multicast_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/host_name.h"
#include "protocol/discovery_message.h"
#include "support/log_capture.h"
#include "support/netns.h"

namespace velmor {
namespace {

using testing::runCommand;
using Clock = std::chrono::steady_clock;

std::string answerText(const std::string& id, const std::string& uid) {
    return R"({"request":"kv-discovery-answer","version":"3","id":")" + id +
           R"(","servers":[{"uid":")" + uid + R"(","type":"dataserver"}]})";
}

std::string requestIdOf(const std::string& request) {
    static const std::regex idMember(R"re("id":"([^"]*)")re");
    std::smatch match;
    return std::regex_search(request, match, idMember) ? match[1].str() : std::string();
}

// Data servers on 127.0.0.1 at 8017 and 8018 that answer every request at once with a
// server whose uid names the port. The id they answer with is the request's own, or
// with `replayFirstId` the id of the first request they received.
class LoopbackServers {
public:
    explicit LoopbackServers(bool replayFirstId = false) : replay(replayFirstId) {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            fds[i] = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(ports[i]);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fds[i] < 0 ||
                ::bind(fds[i], reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                throw std::runtime_error("loopback server: cannot bind");
            }
        }
        thread = std::thread([this] { serve(); });
    }
    ~LoopbackServers() {
        stopping = true;
        thread.join();
        for (const int fd : fds) {
            ::close(fd);
        }
    }
    LoopbackServers(const LoopbackServers&) = delete;
    LoopbackServers& operator=(const LoopbackServers&) = delete;

private:
    void serve() {
        std::string firstId;
        while (!stopping) {
            std::array<pollfd, 2> ready{{{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}}};
            if (::poll(ready.data(), ready.size(), 20) <= 0) {
                continue;
            }
            for (std::size_t i = 0; i < ports.size(); ++i) {
                if ((ready[i].revents & POLLIN) == 0) {
                    continue;
                }
                std::string request(4096, '\0');
                sockaddr_in client{};
                socklen_t length = sizeof client;
                const ssize_t n = ::recvfrom(fds[i], request.data(), request.size(), 0,
                                             reinterpret_cast<sockaddr*>(&client), &length);
                request.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
                const std::string id = requestIdOf(request);
                if (firstId.empty()) {
                    firstId = id;
                }
                const std::string answer =
                    answerText(replay ? firstId : id, "p" + std::to_string(ports[i]));
                ::sendto(fds[i], answer.data(), answer.size(), 0,
                         reinterpret_cast<sockaddr*>(&client), length);
            }
        }
    }

    static constexpr std::array<std::uint16_t, 2> ports{8017, 8018};
    bool replay;
    std::array<int, 2> fds{-1, -1};
    std::atomic<bool> stopping{false};
    std::thread thread;
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

std::string describe(const MulticastDiscovery& search) {
    std::string text;
    for (const ServerInfo& server : search.servers()) {
        text += server.uid + "@" + (server.addresses.empty() ? "" : server.addresses[0]) + " ";
    }
    return text.empty() ? "none" : text;
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The body's output, or "skipped: " and the reason.
std::string inNamespace(const std::function<std::string()>& body) {
    std::string skipReason;
    const auto output = testing::outputInNewNetworkNamespace(body, skipReason);
    return skipReason.empty() ? output.value_or("failed") : "skipped: " + skipReason;
}

#define SKIP_IF_NO_NAMESPACE(output)                                                               \
    if ((output).rfind("skipped: ", 0) == 0) {                                                     \
        GTEST_SKIP() << (output);                                                                  \
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
    const std::string output = inNamespace([] {
        testing::LogCapture log; // the loopback link stays down
        MulticastDiscovery search(15, &discoveryPorts, 1);
        const auto start = Clock::now();
        search.run();
        const bool quick = millisecondsSince(start) < 150;
        return describe(search) + (quick ? " quick" : " slow") + " " + log.lines().at(0);
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "none quick [debug] No local adresses to discover on");
}

TEST(Search, LoopbackFindsBothPortsWith8018FirstInAboutTheTimeout) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        LoopbackServers servers;
        MulticastDiscovery search(15, &discoveryPorts, 1);
        const auto start = Clock::now();
        search.run();
        const auto elapsed = millisecondsSince(start);
        const bool aboutTimeout = elapsed >= 1900 && elapsed <= 3000;
        return describe(search) + (aboutTimeout ? "in time" : "took " + std::to_string(elapsed));
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "p8018@127.0.0.1 p8017@127.0.0.1 in time");
}

TEST(Search, AnswersWithAnEarlierSearchsIdAreIgnored) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        LoopbackServers servers(/*replayFirstId=*/true);
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.run(RequestFlag::Servers, 500);
        const std::string first = describe(search);
        search.run(RequestFlag::Servers, 500); // replaces the first search's lists
        return first + "| " + describe(search);
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "p8018@127.0.0.1 p8017@127.0.0.1 | none");
}

TEST(Search, EverySocketFailingStillWaitsTheFullTime) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        testing::LogCapture log;
        // Two ephemeral ports in this namespace, both taken by sockets that share
        // nothing: a discovery socket binding port 0 finds no port left.
        runCommand("sysctl -qw net.ipv4.ip_local_port_range='40000 40001'");
        const PortHolder first(40000);
        const PortHolder second(40001);
        MulticastDiscovery search(15, &discoveryPorts, 1);
        const auto start = Clock::now();
        search.run();
        const bool fullWait = millisecondsSince(start) >= 1900;
        std::string text = describe(search) + (fullWait ? " full wait" : " short");
        for (const std::string& line : log.lines()) {
            text += "\n" + line;
        }
        return text;
    });
    SKIP_IF_NO_NAMESPACE(output);
    const std::string failed = "[error] Failed to bind socket for discovery on interface "
                               "127.0.0.1:0: bind: Address already in use\n"
                               "[debug] Discovery interface 127.0.0.1 not connected";
    EXPECT_EQ(output, "none full wait\n" + failed + "\n" + failed);
}

TEST(Search, FastModeStopsAtTheFirstWantedAnswer) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        LoopbackServers servers;
        MulticastDiscovery search(15, &discoveryPorts, 1);
        search.setTuning(
            {.fast = true,
             .stopWhen =
                 [](const std::list<ServerInfo>& answer) { return answer.front().uid == "p8018"; },
             .localAddresses = {}});
        const auto start = Clock::now();
        search.run(RequestFlag::Servers, 5000);
        const bool early = millisecondsSince(start) < 1000;
        const std::string found = describe(search);
        const bool has8018 = found.find("p8018@127.0.0.1") != std::string::npos;
        return std::string(early ? "early" : "late") + (has8018 ? " found" : " missing: " + found) +
               (search.statistics().stoppedEarly ? " stopped" : " not stopped");
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "early found stopped");
}

TEST(Search, TimeoutOfAtMostTheSettlingTimeEndsAtTheFirstPoll) {
    const std::string output = inNamespace([] {
        runCommand("ip link set lo up");
        MulticastDiscovery search(15, &discoveryPorts, 1);
        const auto start = Clock::now();
        search.run(RequestFlag::Servers, std::numeric_limits<std::int64_t>::min());
        const auto elapsed = millisecondsSince(start);
        return elapsed >= 200 && elapsed < 1000 ? "settled only" : std::to_string(elapsed);
    });
    SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "settled only");
}

} // namespace
} // namespace velmor

#endif
