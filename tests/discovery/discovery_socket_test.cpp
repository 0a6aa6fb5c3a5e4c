// One discovery socket against a responder made of a plain UDP socket, each case in a
// network namespace of its own with only the loopback link up.
#if defined(__linux__)

#include "discovery/multicast_discovery_interface.h"
#include "discovery/search_shared.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <boost/asio/ip/address.hpp>
#include <gtest/gtest.h>

#include "support/answer_burst.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/socket_drain.h"

namespace velmor {
namespace {

namespace asio = boost::asio;
using testing::runCommand;

const std::string requestId = "testhost-6f1c7a55-0c4e-4d7b-9b43-0d1c2a7e5b10";

// A plain UDP socket on 127.0.0.1 that plays the data server.
class Responder {
public:
    explicit Responder(std::uint16_t port) : fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("responder: cannot bind");
        }
    }
    ~Responder() { ::close(fd); }
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    // The next datagram; remembers its source as the client.
    std::string receive() {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1) {
            throw std::runtime_error("responder: nothing received");
        }
        std::string text(65536, '\0');
        socklen_t length = sizeof client;
        const ssize_t n = ::recvfrom(fd, text.data(), text.size(), 0,
                                     reinterpret_cast<sockaddr*>(&client), &length);
        text.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return text;
    }

    void answer(const std::string& payload) {
        if (::sendto(fd, payload.data(), payload.size(), 0,
                     reinterpret_cast<const sockaddr*>(&client), sizeof client) < 0) {
            throw std::runtime_error("responder: send failed");
        }
    }

private:
    int fd;
    sockaddr_in client{};
};

std::string answerFrom(const std::string& uid, std::size_t size = 0) {
    return testing::answerText(requestId, uid, size);
}

struct Search {
    asio::io_context io;
    DiscoveryRequest request =
        makeDiscoveryRequest(DiscoveryProtocolVersion, requestId, RequestFlag::Servers, {}, {});
    std::shared_ptr<MulticastDiscoveryInterface> socket;

    explicit Search(const std::string& localAddress)
        : socket(std::make_shared<MulticastDiscoveryInterface>(
              io, asio::ip::make_address(localAddress), 1, &request)) {}

    void pollFor(std::chrono::milliseconds duration) {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < end) {
            io.restart();
            if (io.poll() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }

    // Closes and drains the socket as the search does, then gives "uid@sender" of every
    // server taken from the stored answers, in list order.
    std::string finish() {
        std::string text;
        for (const ServerInfo& server : testing::closeAndProcess(io, socket)) {
            text += server.uid + "@" + (server.addresses.empty() ? "" : server.addresses[0]) + " ";
        }
        return text;
    }
};

TEST(DiscoverySocket, LoopbackSendsTo127AndStoresNewestFirstPastStrayDatagrams) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        Responder responder(8017);
        Search search("127.0.0.1");
        search.socket->open();
        search.socket->send(8017);
        const std::string request = responder.receive();
        responder.answer(answerFrom("A"));
        responder.answer("not json");
        responder.answer("");
        responder.answer(answerFrom("B"));
        search.pollFor(std::chrono::milliseconds(100));
        const bool exact = request == serializeDiscoveryRequest(search.request);
        return std::string(exact ? "request exact; " : "request differs; ") + search.finish();
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "request exact; B@127.0.0.1 A@127.0.0.1 ");
}

TEST(DiscoverySocket, CutsALongerDatagramTo4096BytesAndHandlesItAsAnyOther) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        Responder responder(8018);
        Search search("127.0.0.1");
        search.socket->open();
        search.socket->send(8018);
        responder.receive();
        responder.answer(answerFrom("exact", 4096));
        responder.answer(answerFrom("lineFeed", 4096) + "\n"); // as JSON writers end
        responder.answer(answerFrom("cutInside", 4097));
        responder.answer(answerFrom("last"));
        testing::awaitDatagrams(search.io, search.socket, 4);
        const std::string stored = search.finish(); // parses the last ones
        const ReceptionCounts& counts = search.socket->counts();
        return stored + std::to_string(counts.cut) + " cut, " + std::to_string(counts.notJson) +
               " not JSON";
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "last@127.0.0.1 lineFeed@127.0.0.1 exact@127.0.0.1 2 cut, 1 not JSON");
}

// More datagrams than one completion reads ahead, so that the socket's next receive
// already holds one when the parsing's turn comes.
TEST(DiscoverySocket, StoresABurstFromSeveralSendersNewestFirst) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        return testing::storeBurst(MulticastDiscoveryInterface::maxReadsAtOnce + 32, 4);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "newest first");
}

TEST(DiscoverySocket, BindFailureIsLoggedAndLeavesTheSocketClosed) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        testing::LogCapture log;
        Search search("192.0.2.99"); // not an address of this namespace
        search.socket->open();
        std::string text = search.socket->isOpen() ? "open" : "closed";
        for (const std::string& line : log.lines()) {
            text += "\n" + line;
        }
        return text;
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "closed\n[error] Failed to bind socket for discovery on interface "
                      "192.0.2.99:0: bind: Cannot assign requested address");
}

TEST(DiscoverySocket, FloodIsBoundedAndALaterAnswerStillCounts) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        Responder responder(8017);
        Search search("127.0.0.1");
        search.socket->open();
        search.socket->send(8017);
        responder.receive();
        const std::string junk = "{" + std::string(4000, 'x');
        // 16 MB of junk in batches that fit the kernel buffer, each batch drained.
        for (int batch = 0; batch < 40; ++batch) {
            for (int i = 0; i < 100; ++i) {
                responder.answer(junk);
            }
            search.pollFor(std::chrono::milliseconds(5));
        }
        responder.answer(answerFrom("late"));
        search.pollFor(std::chrono::milliseconds(50));
        const AnswerBudget& budget = search.socket->budget();
        const bool bounded = budget.chargedBytes() <= AnswerBudget::defaultHardBytes;
        const bool dropped = budget.droppedCount() > 0;
        return std::string(bounded ? "bounded " : "unbounded ") +
               (dropped ? "dropped " : "none dropped ") + search.finish();
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "bounded dropped late@127.0.0.1 ");
}

// The sockets of one search draw on one record allowance through what they share.
TEST(DiscoverySocket, SocketsOfASearchShareOneRecordAllowance) {
    const std::string output = testing::outputOrSkipNote([] {
        runCommand("ip link set lo up");
        Responder responder(8017);
        asio::io_context io;
        const DiscoveryRequest request =
            makeDiscoveryRequest(DiscoveryProtocolVersion, requestId, RequestFlag::Servers, {}, {});
        SearchShared shared;
        shared.recordsLeft = 1;
        for (const char* uid : {"first", "second"}) {
            auto socket = std::make_shared<MulticastDiscoveryInterface>(
                io, asio::ip::make_address("127.0.0.1"), 1, &request);
            socket->open();
            socket->joinSearch(shared);
            socket->send(8017);
            responder.receive();
            responder.answer(answerFrom(uid));
            testing::awaitDatagrams(io, socket, 1);
            shared.sockets.push_back(std::move(socket));
        }
        const SearchShared::SocketList sockets = std::exchange(shared.sockets, {});
        std::size_t kept = 0;
        std::size_t dropped = 0;
        for (const auto& socket : sockets) {
            kept += testing::closeAndProcess(io, socket).size();
            dropped += socket->budget().droppedCount();
        }
        return "kept " + std::to_string(kept) + ", dropped " + std::to_string(dropped) + ", left " +
               std::to_string(shared.recordsLeft);
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "kept 1, dropped 1, left 0");
}

} // namespace
} // namespace velmor

#endif
