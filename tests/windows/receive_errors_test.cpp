// What Windows reports on a discovery socket that Linux does not: a datagram longer than
// the buffer, and an ICMP port unreachable, each fail one receive. Run under Wine in a
// network namespace of the runner's own, on loopback only.
#include "discovery/multicast_discovery_interface.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "support/socket_drain.h"

namespace velmor {
namespace {

namespace asio = boost::asio;
using asio::ip::udp;

const std::string requestId = "testhost-6f1c7a55-0c4e-4d7b-9b43-0d1c2a7e5b10";

std::string answerFrom(const std::string& uid) {
    return R"({"request":"kv-discovery-answer","version":"3","id":")" + requestId +
           R"(","servers":[{"uid":")" + uid + R"(","type":"dataserver"}]})";
}

// `datagrams` sent to the discovery socket by a plain responder on 127.0.0.1:8017 once
// the socket's request arrives, after the socket has itself sent to 8018, where nobody
// listens; then the search's ending. Gives the uids of the servers stored.
std::string receiveThrough(const std::vector<std::string>& datagrams) {
    asio::io_context io;
    udp::socket responder(io, udp::endpoint(asio::ip::make_address("127.0.0.1"), 8017));
    const DiscoveryRequest request =
        makeDiscoveryRequest(DiscoveryProtocolVersion, requestId, RequestFlag::Servers, {}, {});
    auto socket = std::make_shared<MulticastDiscoveryInterface>(
        io, asio::ip::make_address("127.0.0.1"), 1, &request);
    socket->open();
    // The port unreachable that answers this send fails the socket's next receive.
    socket->send(8018);
    socket->send(8017);
    std::string received(65536, '\0');
    udp::endpoint client;
    received.resize(responder.receive_from(asio::buffer(received), client));
    for (const std::string& datagram : datagrams) {
        responder.send_to(asio::buffer(datagram), client);
    }
    // Until every datagram has come (received counts the failed receives too), each turn
    // waiting for the socket's next completion; the give-up only ends a lost datagram's
    // wait.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (socket->counts().received < datagrams.size() &&
           std::chrono::steady_clock::now() < giveUp) {
        io.restart();
        io.run_one_until(giveUp);
    }
    std::string text;
    for (const ServerInfo& server : testing::closeAndProcess(io, socket)) {
        text += server.uid + " ";
    }
    return text;
}

TEST(WindowsReceiveErrors, OversizedDatagramsAndPortUnreachableCostOnlyThemselves) {
    // Windows fills the buffer and drops the rest (4097 bytes arrive, too long to keep);
    // Wine reports such a datagram as empty. Either way only the datagram is lost.
    const std::string oversized = answerFrom("huge") + std::string(5000, ' ');
    EXPECT_EQ(receiveThrough({answerFrom("first"), oversized, oversized, answerFrom("last")}),
              "last first ");
}

// The worker thread has the default stack of a Windows thread (1 MiB); the deepest
// brackets a datagram holds must be refused there without using it up.
TEST(WindowsWorkerStack, DeepestNestingOfADatagramIsRefusedOnAThread) {
    const DiscoveryRequest request =
        makeDiscoveryRequest(DiscoveryProtocolVersion, requestId, RequestFlag::Servers, {}, {});
    std::vector<AnswerVerdict> verdicts;
    std::thread worker([&] {
        const std::size_t objects = (4096 - 1) / 6; // {"a": ... 0 ... }
        std::string nestedObjects;
        for (std::size_t i = 0; i < objects; ++i) {
            nestedObjects += R"({"a":)";
        }
        nestedObjects += "0" + std::string(objects, '}');
        const std::string nestedArrays = std::string(2048, '[') + std::string(2048, ']');
        for (const std::string& deep : {nestedArrays, nestedObjects, answerFrom("fine")}) {
            AnswerRecords records;
            verdicts.push_back(processAnswer({"127.0.0.1", deep}, request, records));
        }
    });
    worker.join();
    EXPECT_EQ(verdicts, (std::vector<AnswerVerdict>{AnswerVerdict::notJson, AnswerVerdict::notJson,
                                                    AnswerVerdict::accepted}));
}

} // namespace
} // namespace velmor
