// What a discovery socket meets on Windows and not on Linux: a datagram longer than the
// buffer ends its read with "message too long", an ICMP port unreachable fails one
// receive, and a receive's completion can wait in the port behind other handlers. Run
// under Wine in a network namespace of the runner's own, on loopback only.
#include "discovery/multicast_discovery_interface.h"

#include <memory>
#include <string>
#include <thread>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "support/answer_burst.h"
#include "support/socket_drain.h"

namespace velmor {
namespace {

namespace asio = boost::asio;
using asio::ip::udp;

const std::string requestId = "testhost-6f1c7a55-0c4e-4d7b-9b43-0d1c2a7e5b10";

std::string answerFrom(const std::string& uid, std::size_t size = 0) {
    return testing::answerText(requestId, uid, size);
}

// `datagrams` sent to the discovery socket by a plain responder on 127.0.0.1:8017 once
// the socket's request arrives, after the socket has itself sent to 8018, where nobody
// listens; then the search's ending. Gives the uids of the servers stored and the
// datagrams cut and skipped as no JSON.
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
    testing::awaitDatagrams(io, socket, datagrams.size());
    std::string text;
    for (const ServerInfo& server : testing::closeAndProcess(io, socket)) {
        text += server.uid + " ";
    }
    const ReceptionCounts& counts = socket->counts();
    return text + std::to_string(counts.cut) + " cut, " + std::to_string(counts.notJson) +
           " not JSON";
}

TEST(WindowsReceiveErrors, LongerDatagramsAreCutAndPortUnreachableCostsNothing) {
    // 4097 bytes fill the buffer; longer ones end their receive with "message too long".
    const std::string lineFeed = answerFrom("lineFeed", 4096) + "\n";
    const std::string padded = answerFrom("padded") + std::string(5000, ' ');
    const std::string cutInside = answerFrom("cutInside", 5000);
    EXPECT_EQ(
        receiveThrough({answerFrom("first"), lineFeed, padded, cutInside, answerFrom("last")}),
        "last padded lineFeed first 3 cut, 1 not JSON");
}

TEST(WindowsReceiveOrder, BurstFromSeveralSendersIsStoredNewestFirst) {
    EXPECT_EQ(testing::storeBurst(MulticastDiscoveryInterface::maxReadsAtOnce + 32, 4),
              "newest first");
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
