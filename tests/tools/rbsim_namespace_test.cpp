// rbsim as a process, inside network namespaces made by the tests: nothing reaches a
// real interface.
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "protocol/discovery_message.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void check(bool condition, const std::string& what) {
    if (!condition) {
        throw std::runtime_error(what);
    }
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Datagram {
    std::string sender; // address text
    std::string payload;
};

// A finder's discovery socket, reduced to what the tests need.
class Client {
public:
    explicit Client(const std::string& localAddress) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        check(fd_ >= 0, "socket failed");
        sockaddr_in local = endpoint(localAddress, 0);
        check(::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0,
              "bind to " + localAddress + " failed: " + std::strerror(errno));
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() { ::close(fd_); }

    void send(const std::string& payload, const std::string& address, std::uint16_t port) {
        const sockaddr_in to = endpoint(address, port);
        check(::sendto(fd_, payload.data(), payload.size(), 0,
                       reinterpret_cast<const sockaddr*>(&to),
                       sizeof to) == static_cast<ssize_t>(payload.size()),
              "sendto " + address + " failed: " + std::strerror(errno));
    }

    // Datagrams until `count` have come or `timeout` has passed.
    std::vector<Datagram> receive(std::size_t count, std::chrono::milliseconds timeout) {
        std::vector<Datagram> result;
        const auto deadline = Clock::now() + timeout;
        std::array<char, 65536> buffer{};
        while (result.size() < count && Clock::now() < deadline) {
            pollfd request{fd_, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&request, 1, static_cast<int>(left.count()) + 1) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n >= 0) {
                std::array<char, INET_ADDRSTRLEN> text{};
                ::inet_ntop(AF_INET, &from.sin_addr, text.data(), text.size());
                result.push_back(
                    {text.data(), std::string(buffer.data(), static_cast<std::size_t>(n))});
            }
        }
        return result;
    }

private:
    static sockaddr_in endpoint(const std::string& address, std::uint16_t port) {
        sockaddr_in result{};
        result.sin_family = AF_INET;
        result.sin_port = htons(port);
        check(::inet_pton(AF_INET, address.c_str(), &result.sin_addr) == 1,
              "bad address " + address);
        return result;
    }

    int fd_;
};

std::string request(const std::string& id, std::int32_t flags = RequestFlag::Servers) {
    return serializeDiscoveryRequest(
        makeDiscoveryRequest(DiscoveryProtocolVersion, id, flags, {}, {}));
}

DiscoveryAnswer parse(const Datagram& datagram) {
    const auto tree = parseJsonPayload(datagram.payload);
    check(tree.has_value(), "not JSON: " + datagram.payload);
    return parseDiscoveryAnswer(*tree);
}

// A file in the namespace child's /tmp, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        std::array<char, 32> name{"/tmp/rbsim-test-XXXXXX"};
        const int fd = ::mkstemp(name.data());
        check(fd >= 0, "mkstemp failed");
        const bool written =
            ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(fd);
        path_ = name.data();
        check(written, "cannot write " + path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string millisecondsText(Clock::duration duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()) +
           " ms";
}

// Checks that every answer datagram follows a "stray" one, hands each answer with its
// position to `checkAnswer`, and returns the bytes of all the datagrams.
std::size_t
checkStrayBeforeEachAnswer(const std::vector<Datagram>& datagrams,
                           const std::function<void(std::size_t, const Datagram&)>& checkAnswer) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        bytes += datagrams[i].payload.size();
        if (i % 2 == 0) {
            check(datagrams[i].payload == "stray", "expected the stray datagram first");
        } else {
            checkAnswer(i, datagrams[i]);
        }
    }
    return bytes;
}

void expectCompleted(const NamespaceRun& run) {
    if (run.status == NamespaceRun::Status::skipped) {
        GTEST_SKIP() << run.output;
    }
    EXPECT_EQ(run.status, NamespaceRun::Status::completed) << run.output;
}

TEST(RbsimNamespace, AnswersAUnicastRequestOnLoopbackAndIgnoresOtherDatagrams) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        SimulatorProcess simulator;
        simulator.start({});
        check(simulator.ports() == std::vector<std::uint16_t>{8017, 8018},
              "listening line: " + simulator.output());
        Client client("127.0.0.1");
        client.send("hello", "127.0.0.1", 8017);
        client.send(request("ns-test-1"), "127.0.0.1", 8017);
        const auto datagrams = client.receive(2, 1s);
        check(datagrams.size() == 1,
              "expected one answer, got " + std::to_string(datagrams.size()));
        check(datagrams[0].sender == "127.0.0.1", "answer from " + datagrams[0].sender);
        const DiscoveryAnswer answer = parse(datagrams[0]);
        check(answer.header.messageType == DiscoveryAnswerType && answer.header.id == "ns-test-1" &&
                  answer.header.version == 3,
              "header of " + datagrams[0].payload);
        check(answer.servers.size() == 1 && answer.servers.front().uid == "dataserver-RB0001" &&
                  answer.servers.front().devices.size() == 1 &&
                  answer.servers.front().devices[0].serial == "RB0001",
              "servers of " + datagrams[0].payload);

        const std::string output = simulator.stop();
        check(contains(output, "ignored 5 bytes from 127.0.0.1:") &&
                  contains(output, "on port 8017: not a discovery request"),
              "no line for the ignored datagram:\n" + output);
        check(contains(output, "on port 8017 id \"ns-test-1\": 1 datagram sent"),
              "no request line:\n" + output);
        check(contains(output, "rbsim: 1 requests, 1 answers sent, " +
                                   std::to_string(datagrams[0].payload.size()) + " bytes sent"),
              "summary:\n" + output);
        return std::string();
    }));
}

// --answer-port, --repeat, --send-first, --id, --version and --delay together: two
// delayed requests are answered side by side, not one after the other.
TEST(RbsimNamespace, MisbehavesAsAskedWithoutHoldingUpOtherRequests) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        const TempFile stray("stray");
        SimulatorProcess simulator;
        simulator.start({"--answer-port", "8018", "--repeat", "2", "--send-first", stray.path(),
                         "--id", "other", "--version", "4", "--delay", "500"});
        Client client("127.0.0.1");
        client.send(request("on-8017"), "127.0.0.1", 8017);
        const auto started = Clock::now();
        client.send(request("r1"), "127.0.0.1", 8018);
        client.send(request("r2"), "127.0.0.1", 8018);
        const auto datagrams = client.receive(8, 3s);
        const auto lastArrival = Clock::now() - started;
        check(datagrams.size() == 8 && client.receive(1, 300ms).empty(),
              "expected 8 datagrams, got " + std::to_string(datagrams.size()) + " or more");
        // Answered one after the other, the last would come after a second.
        check(lastArrival >= 450ms && lastArrival < 950ms,
              "the answers took " + millisecondsText(lastArrival));
        const std::size_t bytes =
            checkStrayBeforeEachAnswer(datagrams, [](std::size_t, const Datagram& datagram) {
                const DiscoveryAnswer answer = parse(datagram);
                check(answer.header.id == "other" && answer.header.version == 4,
                      "header of " + datagram.payload);
            });

        const std::string output = simulator.stop();
        check(contains(output, "id \"on-8017\": not answered (answering on port 8018 only)"),
              "no line for the request on 8017:\n" + output);
        check(contains(output, "id \"r1\": 4 datagrams sent"), "request line:\n" + output);
        check(contains(output, "rbsim: 3 requests, 4 answers sent, " + std::to_string(bytes) +
                                   " bytes sent"),
              "summary:\n" + output);
        return std::string();
    }));
}

// --pace: every datagram is followed by a pause, and a second answer waits for the
// whole of the first.
TEST(RbsimNamespace, PacedAnswersGoOutWholeOneAfterTheOther) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        const TempFile stray("stray");
        SimulatorProcess simulator;
        simulator.start({"--pace", "20000", "--repeat", "3", "--send-first", stray.path()});
        Client client("127.0.0.1");
        const auto started = Clock::now();
        client.send(request("r1"), "127.0.0.1", 8017);
        client.send(request("r2"), "127.0.0.1", 8018);
        const auto datagrams = client.receive(12, 3s);
        const auto lastArrival = Clock::now() - started;
        check(datagrams.size() == 12,
              "expected 12 datagrams, got " + std::to_string(datagrams.size()));
        check(lastArrival >= 200ms, "11 pauses of 20 ms took " + millisecondsText(lastArrival));
        // The two requests come in on two sockets, so either may be answered first;
        // what matters is that one answer ends before the other begins.
        const std::string first = parse(datagrams.at(1)).header.id;
        const std::string second = first == "r1" ? "r2" : "r1";
        const std::size_t bytes =
            checkStrayBeforeEachAnswer(datagrams, [&](std::size_t i, const Datagram& datagram) {
                check(parse(datagram).header.id == (i < 6 ? first : second),
                      "datagram " + std::to_string(i) + " answers the wrong request");
            });

        const std::string output = simulator.stop();
        check(contains(output, "id \"r1\": 6 datagrams sent") &&
                  contains(output, "id \"r2\": 6 datagrams sent"),
              "request lines:\n" + output);
        check(contains(output, "rbsim: 2 requests, 6 answers sent, " + std::to_string(bytes) +
                                   " bytes sent"),
              "summary:\n" + output);
        return std::string();
    }));
}

// Unpaced, the rest of this answer would hold SIGTERM up for about five seconds.
TEST(RbsimNamespace, SigtermStopsAPacedAnswerBetweenTwoDatagrams) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        SimulatorProcess simulator;
        simulator.start({"--pace", "100000", "--repeat", "50"});
        Client client("127.0.0.1");
        client.send(request("slow"), "127.0.0.1", 8017);
        check(client.receive(2, 2s).size() == 2, "the answer did not begin");
        const std::string output = simulator.stop(2s);
        const std::size_t received = 2 + client.receive(50, 300ms).size();
        check(received < 50, "the whole answer went out before the stop");
        check(!contains(output, "datagrams sent"), "a line for the cut answer:\n" + output);
        check(contains(output, "rbsim: 1 requests, " + std::to_string(received) + " answers sent"),
              std::to_string(received) + " datagrams arrived; summary:\n" + output);
        return std::string();
    }));
}

// One answer of 10,000 servers holds megabytes; waiting ones are bounded by their bytes
// long before their count.
TEST(RbsimNamespace, DelayedAnswersBeyondTheMemoryBoundAreDropped) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        SimulatorProcess simulator;
        simulator.start({"--servers", "10000", "--delay", "60000"});
        Client client("127.0.0.1");
        for (int i = 0; i < 20; ++i) {
            client.send(request("big-" + std::to_string(i)), "127.0.0.1", 8017);
        }
        check(simulator.waitForOutput("bytes already wait", 10s),
              "no answer dropped:\n" + simulator.output());
        const std::string output = simulator.stop();
        check(!contains(output, "id \"big-0\": dropped"), "the first answer was dropped");
        check(contains(output, " requests, 0 answers sent"), "summary:\n" + output);
        return std::string();
    }));
}

TEST(RbsimNamespace, RawAnswerGoesOutUnchangedFromAPortOfTheSystemsChoice) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        const std::string bytes("{\"cut\":\0\xff", 9);
        const TempFile raw(bytes);
        SimulatorProcess simulator;
        simulator.start({"--port", "0", "--raw", raw.path(), "--quiet"});
        const auto ports = simulator.ports();
        check(ports.size() == 1 && ports[0] != 0, "listening line: " + simulator.output());
        Client client("127.0.0.1");
        client.send(request("raw"), "127.0.0.1", ports[0]);
        const auto datagrams = client.receive(1, 2s);
        check(datagrams.size() == 1 && datagrams[0].payload == bytes, "raw answer differs");
        const std::string output = simulator.stop();
        check(!contains(output, "request from"), "--quiet still logs requests:\n" + output);
        check(contains(output, "rbsim: 1 requests, 1 answers sent, 9 bytes sent"),
              "summary:\n" + output);
        return std::string();
    }));
}

// The finder's path: a request sent to the group from the address of a link reaches the
// simulator in the peer namespace, and the split answers come back by unicast.
TEST(RbsimNamespace, PeerNamespaceAnswersAMulticastRequestInDatagramsTheFinderReadsWhole) {
    expectCompleted(runInNewNetworkNamespace([] {
        runCommand("ip link set lo up");
        SimulatorProcess simulator;
        simulator.startInPeerNamespace({"--servers", "100", "--quiet"});
        Client client("10.77.0.1");
        client.send(request("multicast-1"), "239.253.1.1", 8017);
        std::set<std::string> uids;
        std::size_t datagramCount = 0;
        const auto deadline = Clock::now() + 3s;
        while (uids.size() < 100 && Clock::now() < deadline) {
            for (const auto& datagram : client.receive(1, 200ms)) {
                ++datagramCount;
                check(datagram.sender == "10.77.0.2", "answer from " + datagram.sender);
                check(datagram.payload.size() <= 4096, "datagram over 4096 bytes");
                const DiscoveryAnswer answer = parse(datagram);
                check(answer.header.id == "multicast-1", "id of " + datagram.payload);
                for (const auto& server : answer.servers) {
                    uids.insert(server.uid);
                }
            }
        }
        check(uids.size() == 100, "got " + std::to_string(uids.size()) + " of 100 servers");
        check(datagramCount > 1, "100 servers cannot fit one datagram");
        const std::string output = simulator.stop();
        check(contains(output,
                       "rbsim: 1 requests, " + std::to_string(datagramCount) + " answers sent"),
              "summary:\n" + output);
        return std::string();
    }));
}

TEST(RbsimNamespace, FailedStartReportsTheSimulatorsOutput) {
    expectCompleted(runInNewNetworkNamespace([] {
        SimulatorProcess simulator;
        try {
            simulator.start({"--bogus"});
        } catch (const std::runtime_error& error) {
            check(contains(error.what(), "unknown option --bogus"), error.what());
            check(!simulator.running(), "still running after a failed start");
            return std::string();
        }
        throw std::runtime_error("start succeeded with a bad option");
    }));
}

} // namespace
} // namespace velmor::testing
